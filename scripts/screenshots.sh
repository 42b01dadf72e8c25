#!/usr/bin/env bash
# Draws each window of the program into docs/screenshots/*.png for the README: offscreen, with
# the Korean font installed, on sample projects made by the real svnadmin in a private folder.
# Starts, stops and touches nothing of the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLENWAY_TESTS=OFF >/dev/null
cmake --build build --target orlenway-screenshots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/config" "$work/run" "$work/data" "$work/repos" "$work/backup"
chmod 700 "$work/run"
for p in trunk-app design-docs website; do svnadmin create "$work/repos/$p"; done
sed -i 's/^\[users\]$/[users]\nalice = alice-pw\nbob = bob-pw/' "$work/repos/trunk-app/conf/passwd"
sed -i 's/^\[general\]$/[general]\nanon-access = none\nauth-access = write\npassword-db = passwd/' \
  "$work/repos/trunk-app/conf/svnserve.conf"
mkdir -p docs/screenshots
HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen \
  build/orlenway-screenshots "$PWD/docs/screenshots" "$work/repos" /srv/svn-backup
