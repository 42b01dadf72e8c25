#!/usr/bin/env bash
# The GUI cannot be linked here (Debian has no Qt for Windows), but its sources must compile
# for Windows: each Ufrm*.cpp and the program body is compiled by the cross compiler, syntax
# only, against Debian's Qt 6 headers with the Windows target's macros.
# Usage: check_gui_sources.sh <cross g++> <source root> <Qt include folder>
set -euo pipefail
cxx=$1
root=$2
qt=$3
status=0
cd "$root"
for f in app/Orlenway.cpp app/Ufrm*.cpp settings/Ufrm*.cpp users/Ufrm*.cpp projects/Ufrm*.cpp; do
  if ! "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Wno-attributes -DQT_WIDGETS_LIB -DQT_NETWORK_LIB -DORLENWAY_VERSION=\"0.1.0\" -I. \
    -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtWidgets" -isystem "$qt/QtNetwork" "$f"; then
    echo "does not compile for Windows: $f"
    status=1
  fi
done
exit $status
