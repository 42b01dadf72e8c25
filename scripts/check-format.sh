#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format says.
# Usage: scripts/check-format.sh        (run from anywhere; `-i` formats them instead)
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "-i" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not formatted (scripts/check-format.sh -i formats them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "Format check: ${#files[@]} files formatted."
