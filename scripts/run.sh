#!/usr/bin/env bash
# Builds the program (release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what building and running need; the test command installs the rest.
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLENWAY_TESTS=OFF >/dev/null
cmake --build build
exec build/orlenway
