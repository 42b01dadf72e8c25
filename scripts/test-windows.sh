#!/usr/bin/env bash
# Cross-builds the core and its tests for Windows (mingw-w64, build-win/) and runs them under
# Wine in a fresh prefix in a temporary folder, with no display. Run by scripts/test.sh after
# the Linux tests; on its own it installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "${ORLENWAY_DEPS_DONE:-}" = 1 ] || scripts/deps.sh
jobs=$(nproc)

# orlenway-admin's restore reads archives with libarchive: built for Windows from Debian's own
# source package, with zlib only, once (build-win-deps/). deb-src is not needed in the
# system's sources: a private list and private apt folders fetch the source.
deps=$PWD/build-win-deps
build_libarchive() {
  local apt=$deps/apt src
  rm -rf "$deps"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$deps/src"
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  printf 'deb-src [signed-by=%s] http://deb.debian.org/debian bookworm main\n' "$keyring" >"$apt/sources.list"
  printf 'deb-src [signed-by=%s] http://deb.debian.org/debian-security bookworm-security main\n' \
    "$keyring" >>"$apt/sources.list"
  local opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts="$apt/parts"
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root)
  apt-get "${opts[@]}" -qq update >"$deps/source.log" 2>&1 &&
    (cd "$deps/src" && apt-get "${opts[@]}" -qq source libarchive) >>"$deps/source.log" 2>&1 ||
    return 1
  src=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libarchive-*' | head -1)
  [ -n "$src" ] || return 1
  cmake -S "$src" -B "$deps/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DENABLE_WERROR=OFF -DENABLE_TEST=OFF \
    -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_ZLIB=ON -DENABLE_BZip2=OFF \
    -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LIBB2=OFF \
    -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_NETTLE=OFF -DENABLE_CNG=OFF -DENABLE_ICONV=OFF -DENABLE_ACL=OFF -DENABLE_XATTR=OFF \
    -DENABLE_PCREPOSIX=OFF -DENABLE_LIBGCC=OFF -DPOSIX_REGEX_LIB=NONE >"$deps/configure.log" 2>&1 &&
    cmake --build "$deps/build" --target archive_static -j "$jobs" >"$deps/build.log" 2>&1 || return 1
  mkdir -p "$deps/prefix/lib" "$deps/prefix/include"
  cp "$deps/build/libarchive/libarchive_static.a" "$deps/prefix/lib/libarchive.a"
  cp "$src/libarchive/archive.h" "$src/libarchive/archive_entry.h" "$deps/prefix/include/"
}
libarchive=()
if [ -f "$deps/prefix/lib/libarchive.a" ] || build_libarchive; then
  libarchive=(-DLibArchive_INCLUDE_DIR="$deps/prefix/include"
    -DLibArchive_LIBRARY="$deps/prefix/lib/libarchive.a")
else
  echo "libarchive could not be built for Windows (see $deps): orlenway-admin.exe without restore"
fi

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Debug -DORLENWAY_GUI=OFF "${libarchive[@]}" >/dev/null
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
