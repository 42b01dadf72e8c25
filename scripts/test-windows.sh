#!/usr/bin/env bash
# Cross-builds the core and its tests for Windows (mingw-w64, build-win/) and runs them under
# Wine in a fresh prefix in a temporary folder, with no display. Run by scripts/test.sh after
# the Linux tests; on its own it installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${ORLENWAY_DEPS_DONE:-}" = 1 ] || scripts/deps.sh
jobs=$(nproc)

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DORLENWAY_GUI=OFF >/dev/null
cmake --build build-win -j "$jobs"

work=$(mktemp -d "${TMPDIR:-/tmp}/orlenway-wine.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
# The prefix, and one Wine server for every test process. Their own output goes nowhere, so
# that no Wine process keeps ctest's pipes open.
start=$(date +%s)
scripts/wine-run.sh wineboot -i </dev/null >/dev/null 2>&1
wineserver -p </dev/null >/dev/null 2>&1 || true
echo "Wine prefix ready in $(($(date +%s) - start)) s"

(cd build-win && ctest -j "$jobs" --output-on-failure --no-tests=error --timeout 600)
