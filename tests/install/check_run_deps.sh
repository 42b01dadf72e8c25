#!/usr/bin/env bash
# The run command installs only what building and running need: neither the packages it names
# nor anything they depend on (recommends left out, as the script installs) is part of the
# test tool chain.
set -euo pipefail
src=$1
grep -qx 'scripts/deps.sh run' "$src/scripts/run.sh" || {
  echo "scripts/run.sh does not call 'scripts/deps.sh run'"
  exit 1
}
mapfile -t run < <("$src/scripts/deps.sh" --list-run)
[ ${#run[@]} -gt 0 ] || { echo "no run packages listed"; exit 1; }
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances "${run[@]}" 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)
# The run set itself must resolve: every package is known to apt.
for p in "${run[@]}"; do
  grep -qx "$p" <<<"$closure" || { echo "unknown to apt: $p"; exit 1; }
done
bad=$(grep -E '^(wine|wine64|g\+\+-mingw-w64.*|gcc-mingw-w64.*|mingw-w64.*|clang(-[0-9]+)?|libclang-rt.*|googletest|libgtest-dev|libgmock-dev|libbenchmark-dev)$' <<<"$closure" || true)
if [ -n "$bad" ]; then
  echo "the run command would install test packages:"
  echo "$bad"
  exit 1
fi
echo "run packages: ${#run[@]}, with their dependencies: $(wc -l <<<"$closure"), no test tool chain"
