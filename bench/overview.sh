#!/usr/bin/env bash
# The overview benchmark: the server log's reader on a million generated lines, and the
# projects' overview (the listing first, then the details) on 500 repositories made by
# svnadmin, each with a commit. Not a test; CI never runs it.
#
#   bench/overview.sh [lines] [projects]      (default 1000000 and 500)
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
lines="${1:-1000000}"
projects="${2:-500}"
work="$(mktemp -d "${TMPDIR:-/tmp}/orlenway-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

build="$repo_root/build-bench"
cmake -S "$repo_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLENWAY_BENCH=ON \
  -DORLENWAY_TESTS=OFF -DORLENWAY_GUI=OFF >/dev/null
cmake --build "$build" --target orlenway_overview_bench >/dev/null
bench="$build/bench/orlenway_overview_bench"

"$bench" log "$lines" "$work/svnserve.log"

mkdir -p "$work/root"
for i in $(seq 1 "$projects"); do
  svnadmin create "$work/root/p$i"
  svn mkdir -q --username kim -m "trunk of p$i" "file://$work/root/p$i/trunk"
done
"$bench" overview "$work/root"
