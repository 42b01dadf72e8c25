#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libglib2.0-dev
  subversion unzip zip p7zip-full libarchive-tools python3 fonts-nanum desktop-file-utils
  dpkg-dev libarchive-dev systemd
  g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
