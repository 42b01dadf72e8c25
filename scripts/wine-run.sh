#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine; ctest uses it as the emulator. The
# prefix is WINEPREFIX (scripts/test-windows.sh makes a fresh one in a temporary folder), else
# one of this user's own under TMPDIR, made on first use. No debug output, no display.
set -euo pipefail
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/orlenway-wine-$(id -u)}"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
# A Western system with UTF-8 host names: ANSI code page 1252 and OEM code page 437 for
# programs without the UTF-8 manifest.
export LC_ALL=C.UTF-8
# Wine's recycle bin is the freedesktop.org Trash below XDG_DATA_HOME: one of the prefix's
# own, never the user's. The same for what Wine keeps in the other XDG folders.
export XDG_DATA_HOME="$WINEPREFIX.xdg/data" XDG_CACHE_HOME="$WINEPREFIX.xdg/cache"
export XDG_CONFIG_HOME="$WINEPREFIX.xdg/config"
mkdir -p "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_CONFIG_HOME"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
