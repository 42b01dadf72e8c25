#!/usr/bin/env bash
# The overview benchmark: the server log's reader on a million generated lines, and the
# projects' overview (the listing first, then the details) on 500 repositories made by
# svnadmin, each with a commit. Each figure is printed beside its target and beside what a
# plain tool takes for the same work in the same run. Not a test; CI never runs it.
#
#   bench/overview.sh [lines] [projects]      (default 1000000 and 500)
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
lines="${1:-1000000}"
projects="${2:-500}"
work="$(mktemp -d "${TMPDIR:-/tmp}/orlenway-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The driver, built without sanitizers in a tree of its own (through ccache where there is one).
build="$repo_root/build-bench"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$repo_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLENWAY_BENCH=ON \
  -DORLENWAY_TESTS=OFF -DORLENWAY_GUI=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target orlenway_overview_bench >/dev/null
bench="$build/bench/orlenway_overview_bench"

# Seconds taken by a command; its output goes to a file, since GNU grep stops at the first
# match when it writes to /dev/null.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/out"
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

"$bench" log "$lines" "$work/svnserve.log"
echo "  target: a million lines in about 2 s"
printf '  reference: wc -l %.3f s, grep -c commit %.3f s over the same file\n' \
  "$(seconds wc -l "$work/svnserve.log")" "$(seconds grep -c commit "$work/svnserve.log")"

mkdir -p "$work/root"
for i in $(seq 1 "$projects"); do
  svnadmin create "$work/root/p$i"
  svn mkdir -q --username kim -m "trunk of p$i" "file://$work/root/p$i/trunk"
done
"$bench" overview "$work/root"
echo "  target: $projects projects shown (the listing) in under 2 s"
youngest_all() {
  for d in "$work"/root/*/; do svnlook youngest "$d"; done
}
printf '  reference: svnlook youngest over the %d projects %.3f s\n' "$projects" \
  "$(seconds youngest_all)"
