#!/usr/bin/env bash
# Checks the format of every C++ file, then builds every test with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors there) and runs them all, then builds the
# fuzz targets with clang and runs each for FUZZ_SECONDS (default 60), then cross-builds the
# core for Windows and runs its tests under Wine (scripts/test-windows.sh), then runs the
# archive builder's threaded tests under ThreadSanitizer (build-tsan/). After each run it
# lists the skipped tests with their reasons, and fails naming any process a test left behind.
#
# scripts/test.sh --repeat N (or ORLENWAY_TEST_REPEAT=N) hunts flakes instead: it runs the
# tests labelled integration or threads (but not slow) up to N times each, until one fails, in
# build-test/, and the threads tests also in build-tsan/.
set -euo pipefail
cd "$(dirname "$0")/.."
repeat=${ORLENWAY_TEST_REPEAT:-}
while [ $# -gt 0 ]; do
  case $1 in
  --repeat) repeat=${2:?--repeat needs a number}; shift 2 ;;
  --repeat=*) repeat=${1#--repeat=}; shift ;;
  *) echo "usage: $0 [--repeat N]" >&2; exit 2 ;;
  esac
done
case $repeat in '' | [1-9] | [1-9][0-9] | [1-9][0-9][0-9]) ;; *) echo "--repeat: a number of runs, 1 to 999" >&2; exit 2 ;; esac
scripts/deps.sh
jobs=$(nproc)
status=0

# Every process a test starts inherits the run's mark (the test main adds one of its own, and a
# watchdog ends what a test left behind, noting it in the run's leftovers file).
run_mark="orlenway-test-run-$$-$(date +%s)"
leftovers=$PWD/build-test/leftovers.log
run_prefix=() # a command that runs ctest, as setarch does for ThreadSanitizer
run_tests() { # <build folder> <ctest arguments...>
  local dir=$1
  shift
  (cd "$dir" && env ORLENWAY_TEST_RUN="$run_mark" ORLENWAY_TEST_LEFTOVERS="$leftovers" \
    "${run_prefix[@]}" ctest "$@")
}

# The running processes that carry the run's mark, one "pid command line" a line.
marked_processes() {
  local f pid
  for f in /proc/[0-9]*/environ; do
    pid=${f#/proc/}
    pid=${pid%/environ}
    grep -qzx "ORLENWAY_TEST_RUN=$run_mark" "$f" 2>/dev/null || continue
    grep -q '^State:[[:space:]]*Z' "/proc/$pid/status" 2>/dev/null && continue
    echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done
}

# Fails when a test left a process: one its watchdog had to end, or one still running now.
check_leftovers() {
  local left i
  for i in $(seq 60); do # the watchdogs end theirs within a few seconds of their test
    left=$(marked_processes)
    [ -z "$left" ] && break
    sleep 0.5
  done
  if [ -s "$leftovers" ]; then
    echo "Processes left behind by tests (ended by the test's watchdog):"
    sed 's/^/  /' "$leftovers"
    status=1
  fi
  if [ -n "$left" ]; then
    echo "Processes of the test run still running (ended now):"
    echo "$left" | sed 's/^/  /'
    echo "$left" | while read -r pid _; do kill -KILL "$pid" 2>/dev/null || true; done
    status=1
  fi
  : >"$leftovers"
}

# How many tests skipped themselves, and why (GoogleTest prints the reason after "Skipped").
report_skips() { # <build folder>
  local log=$1/Testing/Temporary/LastTest.log skips
  [ -f "$log" ] || return 0
  skips=$(awk '/^\[ RUN      \] /{t=$4} /: Skipped$/{getline r; print t ": " r}' "$log" | sort -u)
  if [ -z "$skips" ]; then
    echo "Skipped tests in $1: none"
  else
    echo "Skipped tests in $1: $(echo "$skips" | wc -l)"
    echo "$skips" | sed 's/^/  /'
  fi
}

if [ -z "$repeat" ]; then
  # Every C++ file as .clang-format says.
  scripts/check-format.sh || status=1
fi

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORLENWAY_SANITIZE=ON >/dev/null
cmake --build build-test -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:suppressions=$PWD/tests/asan.supp"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
: >"$leftovers"
tsan_targets=(test_archive_zip test_archive_failures test_archive_parallel test_backup_zip)
# Its runtime does not map memory where more than 28 bits of it are random: then without.
tsan_run=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
  tsan_run=(setarch "$(uname -m)" -R)
fi

if [ -n "$repeat" ]; then
  # Not the archives beyond 4 GiB (label slow): minutes each, and no timing of their own.
  run_tests build-test -j "$jobs" -L 'integration|threads' -LE slow --repeat "until-fail:$repeat" \
    --output-on-failure --no-tests=error --timeout 1800 || status=1
  check_leftovers
  report_skips build-test
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLENWAY_TSAN=ON \
    -DORLENWAY_GUI=OFF >/dev/null
  cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
  run_prefix=(env TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" "${tsan_run[@]}")
  run_tests build-tsan -j "$jobs" -L threads -E 'TheBarsMoveAtLeastEveryTenthOfASecond' \
    --repeat "until-fail:$repeat" --output-on-failure --no-tests=error --timeout 1800 || status=1
  check_leftovers
  exit $status
fi

run_tests build-test -j "$jobs" --output-on-failure --no-tests=error --timeout 1800 || status=1
check_leftovers
report_skips build-test

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLENWAY_FUZZ=ON \
  -DORLENWAY_GUI=OFF -DORLENWAY_TESTS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz -j "$jobs"
(cd build-fuzz && FUZZ_SECONDS="${FUZZ_SECONDS:-60}" ctest -j "$jobs" --output-on-failure --no-tests=error) || status=1

# The Windows build of the core and its tests, cross-built and run under Wine.
ORLENWAY_DEPS_DONE=1 scripts/test-windows.sh || status=1

# The archive builder's worker threads under ThreadSanitizer (gcc): only the core tests that run
# several of them, with cancels and progress events (label threads), and only what they need.
# Any report fails the step. The backup window's tests stay out: Qt is not built with the
# sanitizer, so its own thread pool would be reported. The one timing check (bars every
# 100 ms) is left to the runs above: the sanitizer's slowdown is not the builder's.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLENWAY_TSAN=ON \
  -DORLENWAY_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
run_prefix=(env TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" "${tsan_run[@]}")
run_tests build-tsan -j "$jobs" -L threads -E 'TheBarsMoveAtLeastEveryTenthOfASecond' \
  --output-on-failure --no-tests=error --timeout 1800 || status=1
check_leftovers
exit $status
