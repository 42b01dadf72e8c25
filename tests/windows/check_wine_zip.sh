#!/usr/bin/env bash
# A tree packed under Wine by the Windows build (zip_tree.exe), then tested and extracted by
# the Linux side's four readers: unzip, 7z, bsdtar and Python's zipfile. Each must accept the
# archive and extract exactly the tree: the files with their bytes, the empty folders, and
# nothing of the names that begin with ".".
# Usage: check_wine_zip.sh <zip_tree.exe> <wine-run.sh>
set -euo pipefail
zip_tree=$1
wine_run=$2
export LC_ALL=C.UTF-8
work=$(mktemp -d "${TMPDIR:-/tmp}/orlenway-winezip.XXXXXX")
trap 'rm -rf "$work"' EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# What the archive must hold.
want=$work/want
mkdir -p "$want/db/revs/0" "$want/db/transactions" "$want/empty/deeper" "$want/저장소/conf" \
  "$want/with blank"
printf 'format 7\n' >"$want/db/format"
: >"$want/db/revs/0/zero"
printf 'tiny' >"$want/db/revs/0/1"
head -c 1000000 /dev/urandom >"$want/db/revs/0/random.bin"
awk 'BEGIN { for (i = 0; i < 100000; i++) print "compressible line of text " i }' >"$want/big.txt"
printf 'already packed' >"$want/data.Zip"
printf '[users]\nalice=a\n' >"$want/저장소/conf/passwd"
printf 'x' >"$want/with blank/file name.txt"

# The packed tree: the same plus dot names, which are never packed.
src=$work/src
cp -a "$want" "$src"
mkdir -p "$src/.svn/pristine"
printf 'hidden' >"$src/.svn/pristine/x"
printf 'dot' >"$src/db/.lock"

out=$("$wine_run" "$zip_tree" "$(winpath "$src")" "$(winpath "$work/backup.zip")")
echo "zip_tree wrote $out entries"
[ -s "$work/backup.zip" ] || { echo "no archive"; exit 1; }

status=0
compare() {
  if diff -r "$want" "$1" >"$work/diff" 2>&1; then
    echo "$2: extracted exactly the tree"
  else
    echo "$2: differs"; cat "$work/diff"; status=1
  fi
}
unzip -tq "$work/backup.zip" && mkdir "$work/unzip" && (cd "$work/unzip" && unzip -q ../backup.zip) &&
  compare "$work/unzip" unzip || { echo "unzip refused the archive"; status=1; }
7z t "$work/backup.zip" >/dev/null && 7z x -o"$work/7z" "$work/backup.zip" >/dev/null &&
  compare "$work/7z" 7z || { echo "7z refused the archive"; status=1; }
bsdtar -tf "$work/backup.zip" >/dev/null && mkdir "$work/bsdtar" &&
  bsdtar -xf "$work/backup.zip" -C "$work/bsdtar" && compare "$work/bsdtar" bsdtar ||
  { echo "bsdtar refused the archive"; status=1; }
python3 - "$work/backup.zip" "$work/python" <<'PY' && compare "$work/python" python ||
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        sys.exit("zipfile: bad member " + bad)
    z.extractall(sys.argv[2])
PY
  { echo "Python's zipfile refused the archive"; status=1; }
exit $status
