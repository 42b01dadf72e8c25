#!/usr/bin/env bash
# The backup benchmark: times TZip on every core with each engine of its pieces (the build's
# default, and zlib) and on one thread against Info-ZIP zip, 7-Zip, Python's zipfile, pigz over
# a tar of the same tree, and the single-core zlib limit (raw deflate level 6 and CRC-32 of the
# same bytes, no archive) on three corpora: an FSFS repository of about 80 commits, a
# binary-heavy FSFS repository of already-compressed files, and /usr/include. Not a test; CI
# never runs it.
#
#   bench/backup.sh [repetitions]      (default 5; corpora are kept in $BENCH_CACHE)
set -euo pipefail
repo_root="$(cd "$(dirname "$0")/.." && pwd)"
reps="${1:-5}"
cache="${BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orlenway-bench}"
work="$(mktemp -d "${TMPDIR:-/tmp}/orlenway-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$cache"

# What the comparison needs and a plain system may lack.
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
for pkg in pigz; do
  command -v "$pkg" >/dev/null || $sudo_cmd apt-get install -y -qq "$pkg" >/dev/null
done
cores=$(nproc)
for tool in svnadmin svn zip 7z python3 pigz tar; do
  command -v "$tool" >/dev/null || { echo "backup.sh: $tool is missing" >&2; exit 1; }
done

# The driver, built without sanitizers in a tree of its own.
build="$repo_root/build-bench"
cmake -S "$repo_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORLENWAY_BENCH=ON \
  -DORLENWAY_TESTS=OFF -DORLENWAY_GUI=OFF >/dev/null
ninja -C "$build" orlenway_zip_bench >/dev/null
driver="$build/bench/orlenway_zip_bench"

# Corpus 1: a real FSFS repository, one commit per /usr/include subfolder and /usr/share/doc.
if [ ! -f "$cache/repo/.complete" ]; then
  echo "building the repository corpus in $cache/repo ..."
  rm -rf "$cache/repo"
  svnadmin create "$cache/repo"
  url="file://$cache/repo"
  for dir in $(find /usr/include -mindepth 1 -maxdepth 1 -type d | sort); do
    svn import -q -m "import $(basename "$dir")" "$dir" "$url/include/$(basename "$dir")"
  done
  svn import -q -m "import doc" /usr/share/doc "$url/doc"
  touch "$cache/repo/.complete"
fi
# Corpus 2: a binary-heavy FSFS repository, whose revisions are mostly already-compressed
# files: the machine's own .gz, .png and .jar files and seeded random data, 40 commits.
if [ ! -f "$cache/binary/.complete" ]; then
  echo "building the binary-heavy repository corpus in $cache/binary ..."
  rm -rf "$cache/binary"
  svnadmin create "$cache/binary"
  python3 - "$work/binary" <<'PY'
import os, random, shutil, sys
out, commits = sys.argv[1], 40
rng = random.Random(28)
budget = {".gz": 12 << 20, ".png": 4 << 20, ".jar": 40 << 20}
found = {k: [] for k in budget}
for top in ("/usr/share", "/usr/lib"):
    for root, dirs, files in os.walk(top):
        dirs.sort()
        for f in sorted(files):
            p = os.path.join(root, f)
            ext = os.path.splitext(f)[1]
            if ext in budget and not os.path.islink(p) and os.path.isfile(p):
                found[ext].append(p)
picked = []
for ext, paths in found.items():
    used = 0
    for p in paths:
        size = os.path.getsize(p)
        if 0 < size and used + size <= budget[ext]:
            picked.append(p)
            used += size
for c in range(commits):
    os.makedirs(f"{out}/c{c:02}")
    with open(f"{out}/c{c:02}/random.bin", "wb") as f:
        f.write(rng.randbytes(rng.randint(512 << 10, 2 << 20)))
for i, p in enumerate(picked):
    shutil.copyfile(p, f"{out}/c{i % commits:02}/{i}-{os.path.basename(p)}")
PY
  for dir in $(find "$work/binary" -mindepth 1 -maxdepth 1 -type d | sort); do
    svn import -q -m "import $(basename "$dir")" "$dir" "file://$cache/binary/$(basename "$dir")"
  done
  rm -rf "$work/binary"
  touch "$cache/binary/.complete"
fi
# Corpus 4 (peak memory per entry only): 70,000 small files.
if [ ! -f "$cache/many/.complete" ]; then
  echo "building the 70,000-file tree in $cache/many ..."
  rm -rf "$cache/many"
  python3 - "$cache/many" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(70):
    os.makedirs(f"{root}/d{d}")
    for f in range(1000):
        with open(f"{root}/d{d}/f{f}", "w") as out:
            out.write(f"{d * 1000 + f}\n")
PY
  touch "$cache/many/.complete"
fi

# Runs a command and prints "<wall seconds> <peak RSS KiB>"; its output goes to $work/last.
measure() {
  if ! "$driver" measure "$work/last" "$@"; then
    echo "failed: $*" >&2
    cat "$work/last" >&2
    exit 1
  fi
}

pyzip='
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for root, dirs, files in os.walk(src):  # links neither followed nor packed, as TZip
        dirs.sort()
        for f in sorted(files):
            p = os.path.join(root, f)
            if not os.path.islink(p):
                z.write(p, os.path.relpath(p, src))
'

run_tool() {  # tool corpus-folder archive
  local tool=$1 src=$2 out=$3
  rm -f "$out"
  case $tool in
    TZip) measure "$driver" tzip "$src" "$out" ;;
    TZip1) measure "$driver" tzip "$src" "$out" 1 ;;
    TZipZlib) measure "$driver" tzip "$src" "$out" 0 zlib ;;
    # TZip neither follows nor packs a link: the others store a link as a link (a few bytes),
    # so that every tool packs the same content. zip also leaves out what TZip does not write
    # (its extra time and owner fields, entries for folders that are not empty), so that the
    # byte counts compare the compression.
    zip) measure sh -c 'cd "$1" && exec zip -r -y -X -D -6 -q "$2" .' sh "$src" "$out" ;;
    7z) measure sh -c 'cd "$1" && exec 7z a -tzip -mx=5 -mmt="$3" -snl -bd -bso0 -bsp0 "$2" .' sh "$src" "$out" "$cores" ;;
    pigz) measure sh -c 'tar -cf - -C "$1" . | pigz -6 -p "$3" >"$2"' sh "$src" "$out" "$cores" ;;
    python) measure python3 -c "$pyzip" "$src" "$out" ;;
    zlib) measure "$driver" zlib "$src" ;;
  esac
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

tools="TZip TZipZlib TZip1 zip 7z python pigz zlib"
bench_corpus() {  # name folder wall-target
  local name=$1 src=$2 target=$3 bytes files
  bytes=$(du -sb --apparent-size "$src" | cut -f1)
  files=$(find "$src" -type f | wc -l)
  echo
  echo "corpus $name: $src, $files files, $((bytes / 1048576)) MiB"
  declare -A times cpus rss size
  for ((i = 0; i < reps; i++)); do
    for tool in $tools; do
      read -r wall kib cpu < <(run_tool "$tool" "$src" "$work/$tool.zip")
      times[$tool]+="$wall "
      cpus[$tool]+="$cpu "
      [ "${rss[$tool]:-0}" -ge "$kib" ] || rss[$tool]=$kib
      if [ -f "$work/$tool.zip" ]; then size[$tool]=$(stat -c %s "$work/$tool.zip"); fi
      if [ "$tool" = TZip ]; then tzip_line=$(cat "$work/last"); fi
    done
  done
  local base cbase
  base=$(echo "${times[TZip]}" | tr ' ' '\n' | grep . | median)
  cbase=$(echo "${cpus[TZip]}" | tr ' ' '\n' | grep . | median)
  # Wall time is what a user waits; CPU time (user + system) is steadier on a busy machine.
  printf '%-9s %10s %8s %10s %8s %14s %10s\n' tool "median s" "x TZip" "CPU s" "x TZip" \
    "archive bytes" "peak MiB"
  for tool in $tools; do
    local m c
    m=$(echo "${times[$tool]}" | tr ' ' '\n' | grep . | median)
    c=$(echo "${cpus[$tool]}" | tr ' ' '\n' | grep . | median)
    awk -v t="$tool" -v m="$m" -v b="$base" -v c="$c" -v cb="$cbase" -v s="${size[$tool]:--}" \
      -v r="${rss[$tool]}" 'BEGIN { printf "%-9s %10.3f %8.3f %10.3f %8.3f %14s %10.1f\n",
        t, m, m / b, c, c / cb, s, r / 1024 }'
  done
  awk -v t="$base" -v t1="$(echo "${times[TZip1]}" | tr ' ' '\n' | grep . | median)" \
    -v z="$(echo "${times[zip]}" | tr ' ' '\n' | grep . | median)" -v s="${size[TZip]}" \
    -v sz="${size[zip]}" -v r="${rss[TZip]}" -v w="$target" 'BEGIN {
    printf "targets: TZip/zip wall %.2f (<= %s), TZip/one thread %.2f, bytes vs zip %+.2f%% (within 1%%), peak %.1f MiB (<= 64)\n",
      t / z, w, t / t1, (s - sz) * 100 / sz, r / 1024 }'
  echo "TZip driver: $tzip_line"
  local progress
  progress=$(sed -n 's/.*progress=\([0-9]*\).*/\1/p' <<<"$tzip_line")
  echo "input bytes per progress report: $((bytes / (progress > 0 ? progress : 1)))"
  eval "rss_$name=${rss[TZip]}"
  eval "entries_$name=$(sed -n 's/.*entries=\([0-9]*\).*/\1/p' <<<"$tzip_line")"
}

bench_corpus repo "$cache/repo" 0.35
bench_corpus binary "$cache/binary" 0.2
bench_corpus include /usr/include 0.35

# Memory growth per entry: TZip on the 70,000-file tree against /usr/include.
read -r _ many_kib _ < <(run_tool TZip "$cache/many" "$work/many.zip")
many_entries=$(sed -n 's/.*entries=\([0-9]*\).*/\1/p' "$work/last")
echo
echo "TZip peak RSS: $((many_kib / 1024)) MiB for $many_entries entries," \
  "$((rss_include / 1024)) MiB for $entries_include entries:" \
  "$(( (many_kib - rss_include) * 1024 / (many_entries - entries_include) )) bytes per entry"
