#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine; ctest uses it as the emulator. The
# prefix is WINEPREFIX (scripts/test-windows.sh makes a fresh one in a temporary folder), else
# one of this user's own under TMPDIR, made on first use. No debug output, no display.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/orlenway-wine-$(id -u)}"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
