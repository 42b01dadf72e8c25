#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when missing.
set -euo pipefail
# `scripts/deps.sh run`: what building and running the program need (scripts/run.sh);
# `scripts/deps.sh` alone: that and everything the tests, the fuzz build, the package and the
# Windows build under Wine need (scripts/test.sh).
run_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins zlib1g-dev
  libglib2.0-dev libarchive-dev libdeflate-dev nlohmann-json3-dev subversion fonts-nanum)
test_packages=(clang clang-format libclang-rt-14-dev libtsan2 libgtest-dev libgmock-dev libbenchmark-dev
  unzip zip p7zip-full libarchive-tools python3 desktop-file-utils dpkg-dev systemd
  g++-mingw-w64-x86-64 libz-mingw-w64-dev googletest wine wine64)
case "${1:-all}" in
run) packages=("${run_packages[@]}") ;;
all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
--list-run)
  printf '%s\n' "${run_packages[@]}"
  exit 0
  ;;
*)
  echo "usage: scripts/deps.sh [run]" >&2
  exit 2
  ;;
esac
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
