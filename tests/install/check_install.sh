#!/usr/bin/env bash
# The installed program, step by step (one ctest test each):
#   prepare  SOURCE TREE WORK OWN CXX CC   builds TREE when OWN is 1, installs it into WORK/destdir
#   files    SOURCE WORK                   the desktop entry, the icons and the file list
#   package  WORK                          the .deb: its dependencies and its files
#   user     SOURCE WORK                   a run of the installed program as an ordinary user
# TREE is the build tree that is installed; its path is kept in WORK/tree.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files and folders below a root, one "path type mode" a line, sorted.
listing() {
  (cd "$1" && find . -mindepth 1 -printf '%P %y %m\n' | LC_ALL=C sort)
}

# Width and height from a PNG's header; fails unless the file starts as a PNG does.
png_size() {
  local sig ihdr
  sig=$(od -An -tx1 -N8 "$1" | tr -d ' \n')
  [ "$sig" = "89504e470d0a1a0a" ] || fail "$1 is not a PNG (signature $sig)"
  ihdr=$(od -An -c -j12 -N4 "$1" | tr -d ' \n')
  [ "$ihdr" = "IHDR" ] || fail "$1 has no IHDR chunk first"
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%d %d\n", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

# The colour type of a PNG: 4 and 6 carry an alpha channel.
png_colour_type() {
  od -An -tu1 -j25 -N1 "$1" | tr -d ' '
}

# The value of KEY in the [Desktop Entry] group of a desktop file.
entry_value() {
  awk -v key="$2" '
    /^\[/ { group = $0; next }
    group == "[Desktop Entry]" && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }
  ' "$1"
}

step_prepare() {
  local source=$1 tree=$2 work=$3 own=$4 cxx=$5 cc=$6
  mkdir -p "$work"
  echo "$tree" >"$work/tree"
  if [ "$own" = 1 ]; then
    # The test build is sanitised; the installed program must not be. This tree is built
    # once and then only brought up to date.
    if [ ! -f "$tree/CMakeCache.txt" ]; then
      cmake -S "$source" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_INSTALL_PREFIX=/usr -DORLENWAY_GUI=ON -DORLENWAY_TESTS=OFF \
        -DORLENWAY_SANITIZE=OFF -DORLENWAY_FUZZ=OFF -DORLENWAY_BENCH=OFF \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_C_COMPILER="$cc" >"$work/configure.log" 2>&1 ||
        { tail -40 "$work/configure.log"; fail "configuring the release tree"; }
    fi
    cmake --build "$tree" --target orlenway orlenway-admin -j "$(nproc)" >"$work/build.log" 2>&1 ||
      { tail -40 "$work/build.log"; fail "building the release tree"; }
  fi
  [ -x "$tree/orlenway" ] || fail "$tree holds no built program"
  [ -x "$tree/admin/orlenway-admin" ] || fail "$tree holds no built orlenway-admin"
  rm -rf "$work/destdir"
  DESTDIR="$work/destdir" cmake --install "$tree" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install"; }
  echo "installed $tree into $work/destdir"
}

step_files() {
  local source=$1 work=$2
  local root=$work/destdir/usr
  [ -d "$root" ] || fail "nothing installed under $root"

  # Exactly the program, its entry and its icons; no libraries, headers or tests.
  local sizes="16 22 24 32 48 64 128 256"
  local expected="bin/orlenway
bin/orlenway-admin
lib/systemd/user/orlenway-admin-backup.service
lib/systemd/user/orlenway-admin-backup.timer
lib/systemd/user/orlenway-admin-mirror.service
lib/systemd/user/orlenway-admin-mirror.timer
share/applications/orlenway.desktop
share/icons/hicolor/scalable/apps/orlenway.svg"
  for s in $sizes; do expected+=$'\n'"share/icons/hicolor/${s}x${s}/apps/orlenway.png"; done
  local actual
  actual=$(cd "$root" && find . -type f -printf '%P\n' | LC_ALL=C sort)
  diff <(echo "$expected" | LC_ALL=C sort) <(echo "$actual") ||
    fail "the installed files differ from the expected ones (< expected, > installed)"
  [ -z "$(cd "$work/destdir" && find . -mindepth 1 -maxdepth 1 ! -name usr)" ] ||
    fail "files installed outside the prefix"

  [ "$(od -An -c -N4 "$root/bin/orlenway" | tr -d ' \n')" = '177ELF' ] ||
    fail "bin/orlenway is not an executable file"
  [ "$(stat -c %a "$root/bin/orlenway")" = 755 ] || fail "bin/orlenway has mode $(stat -c %a "$root/bin/orlenway")"
  [ "$(stat -c %a "$root/bin/orlenway-admin")" = 755 ] || fail "bin/orlenway-admin has mode $(stat -c %a "$root/bin/orlenway-admin")"
  grep -qx "ExecStart=/usr/bin/orlenway-admin backup --all --keep 14" \
    "$root/lib/systemd/user/orlenway-admin-backup.service" ||
    fail "the backup service does not run the installed orlenway-admin"
  grep -qx "ExecStart=/usr/bin/orlenway-admin mirror sync --all" \
    "$root/lib/systemd/user/orlenway-admin-mirror.service" ||
    fail "the mirror service does not run the installed orlenway-admin"

  # The desktop entry: valid with neither error nor warning, and the keys the menu relies on.
  local entry=$root/share/applications/orlenway.desktop
  local report
  report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
  [ -z "$report" ] || fail "desktop-file-validate reports: $report"
  [ "$(entry_value "$entry" Type)" = Application ] || fail "Type is not Application"
  [ "$(entry_value "$entry" Name)" = Orlenway ] || fail "Name is '$(entry_value "$entry" Name)'"
  [ "$(entry_value "$entry" Categories)" = "Development;RevisionControl;" ] ||
    fail "Categories is '$(entry_value "$entry" Categories)'"
  local comment comment_ko exec icon
  comment=$(entry_value "$entry" Comment)
  comment_ko=$(entry_value "$entry" "Comment[ko]")
  [ -n "$comment" ] || fail "no Comment"
  LC_ALL=C grep -q '^[ -~]*$' <<<"$comment" || fail "the English Comment is not plain ASCII: $comment"
  # Hangul syllables are U+AC00..U+D7A3: lead bytes 0xEA..0xED in UTF-8.
  LC_ALL=C grep -q $'[\xea-\xed]' <<<"$comment_ko" || fail "Comment[ko] holds no Hangul: '$comment_ko'"
  exec=$(entry_value "$entry" Exec)
  [[ "$exec" =~ ^[A-Za-z0-9._-]+$ ]] || fail "Exec must be the bare program, without arguments: '$exec'"
  [ -x "$root/bin/$exec" ] || fail "Exec names '$exec', which is not installed in bin/"
  icon=$(entry_value "$entry" Icon)
  [ "$icon" = orlenway ] || fail "Icon is '$icon'"

  # The icons: every size folder holds a picture of that size, with transparency.
  local png w h ct
  for s in $sizes; do
    png=$root/share/icons/hicolor/${s}x${s}/apps/$icon.png
    read -r w h < <(png_size "$png")
    [ "$w $h" = "$s $s" ] || fail "$png is ${w}x${h}, in the ${s}x${s} folder"
    ct=$(png_colour_type "$png")
    [ "$ct" = 6 ] || [ "$ct" = 4 ] || fail "$png has no alpha channel (colour type $ct)"
  done
  local svg=$root/share/icons/hicolor/scalable/apps/$icon.svg
  grep -q '<svg[^>]*xmlns="http://www.w3.org/2000/svg"' "$svg" || fail "$svg is not an SVG picture"
  grep -q '<svg[^>]*viewBox=' "$svg" || fail "$svg has no viewBox, so it does not scale"
  cmp -s "$svg" "$source/dist/orlenway.svg" || fail "$svg differs from dist/orlenway.svg"
  echo "files, desktop entry and icons as expected"
}

step_package() {
  local work=$1
  local tree
  tree=$(cat "$work/tree")
  rm -rf "$work/package" "$work/debroot"
  mkdir -p "$work/package"
  cpack -G DEB --config "$tree/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB"; }
  local debs=("$work/package"/*.deb)
  [ ${#debs[@]} = 1 ] || fail "cpack made more than one .deb: ${debs[*]}"
  [ -f "${debs[0]}" ] || fail "cpack made no .deb: ${debs[*]}"
  local deb=${debs[0]}
  dpkg-deb --info "$deb"

  [ "$(dpkg-deb --field "$deb" Package)" = orlenway ] || fail "the package is not named orlenway"
  [ "$(dpkg-deb --field "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "the package is not for $(dpkg --print-architecture)"
  # Depends as one name (and version) a line.
  local depends
  depends=$(dpkg-deb --field "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ *$//')
  for name in subversion fonts-nanum; do
    grep -qx "$name" <<<"$depends" || fail "Depends lacks $name: $depends"
  done
  # The libraries come from dpkg-shlibdeps, with the versions it computed.
  for name in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libarchive13; do
    local found="" line
    while read -r line; do
      [[ "$line" == "$name (>= "?*")" ]] && found=1
    done <<<"$depends"
    [ -n "$found" ] || fail "Depends lacks a computed $name: $depends"
  done

  # The package holds the same files as the install rules give.
  dpkg -x "$deb" "$work/debroot"
  local from_rules from_deb
  from_rules=$(listing "$work/destdir" | awk '{ print $1, $2 }')
  from_deb=$(listing "$work/debroot" | awk '{ print $1, $2 }')
  diff <(echo "$from_rules") <(echo "$from_deb") ||
    fail "the package's files differ from the installed ones (< installed, > package)"
  local path
  while read -r path; do
    [ "$(stat -c %a "$work/destdir/$path")" = "$(stat -c %a "$work/debroot/$path")" ] ||
      fail "$path has another mode in the package"
    # The package's program is stripped; everything else is the same byte for byte.
    [ "$path" = usr/bin/orlenway ] || [ "$path" = usr/bin/orlenway-admin ] && continue
    cmp -s "$work/destdir/$path" "$work/debroot/$path" || fail "$path differs in the package"
  done < <(cd "$work/destdir" && find . -type f -printf '%P\n')
  [ "$(od -An -c -N4 "$work/debroot/usr/bin/orlenway" | tr -d ' \n')" = '177ELF' ] ||
    fail "the package's program is not an executable file"
  echo "package $deb as expected"
}

# The files and folders below a root with their modes, and a checksum of each file.
fingerprint() {
  {
    listing "$1"
    (cd "$1" && find . -type f -printf '%P\0' | xargs -0 -r md5sum)
  } | LC_ALL=C sort
}

# What a run added below a root: the paths that are in AFTER and not in BEFORE.
added_paths() {
  LC_ALL=C comm -13 <(awk 'NF == 3 { print $1 }' <<<"$1") <(awk 'NF == 3 { print $1 }' <<<"$2")
}

# Runs the installed program in the sandbox as the account RUN_AS (empty: this one), with
# only the environment given, and the closer standing in for the person at the desktop.
run_program() {
  local log=$1
  shift
  local status=0
  timeout -k 5 60 "${as[@]}" env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
    LD_PRELOAD="$sandbox/liborlenway_closer.so" "$@" "$sandbox/root/usr/bin/orlenway" \
    >"$log" 2>&1 || status=$?
  cat "$log"
  [ $status = 0 ] || fail "the program ended with status $status (124: it did not end)"
  local steps
  steps=$(grep '^closer: ' "$log" || true)
  local question='Orlenway를 종료하시겠습니까?\r\n\r\n실행중인 SVN Server 도 종료됩니다.'
  local expected="closer: loaded
closer: shown: Orlenway
closer: close
closer: message: Warning | $question
closer: press: &Yes"
  [ "$steps" = "$expected" ] || fail "the run went otherwise than expected:"$'\n'"$steps"
}

# Files the other account made below the world-writable folders, outside the sandbox, since
# the stamp. Only for another account: this one's files there may be other tests'.
stray_files() {
  [ -n "$run_as" ] || return 0
  # Other tests make and remove files there meanwhile; find's complaint about one that
  # vanished mid-walk is no finding.
  { find /tmp /var/tmp /dev/shm -xdev -path "$sandbox" -prune -o -user "$run_uid" \
    -newer "$sandbox/stamp" -print 2>/dev/null || true; } | LC_ALL=C sort
}

cleanup() {
  if [ -n "${sandbox:-}" ]; then
    chmod -R u+w "$sandbox" 2>/dev/null || true
    rm -rf "$sandbox"
  fi
  if [ -n "${created:-}" ]; then userdel "$created" || true; fi
}

step_user() {
  local source=$1 work=$2
  if ! cmake -S "$source/tests/install/closer" -B "$work/closer" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release >"$work/closer.log" 2>&1 ||
    ! cmake --build "$work/closer" >>"$work/closer.log" 2>&1; then
    cat "$work/closer.log"
    fail "building the closer"
  fi

  # An ordinary account: nobody when this runs as root (made for the test if missing), else
  # this one.
  run_as="" run_uid=$(id -u) run_gid=$(id -g) created="" as=()
  trap cleanup EXIT
  if [ "$run_uid" = 0 ]; then
    local account=nobody
    if ! getent passwd nobody >/dev/null; then
      account=orlenway-install-test
      useradd --system --no-create-home --shell /usr/sbin/nologin "$account"
      created=$account
    fi
    run_as=$(id -u "$account") run_uid=$(id -u "$account") run_gid=$(id -g "$account")
    as=(setpriv --reuid="$run_uid" --regid="$run_gid" --clear-groups)
  fi

  # In /tmp, so that the other account can reach it; the install tree stays the installer's.
  sandbox=$(mktemp -d /tmp/orlenway-install.XXXXXX)
  chmod 755 "$sandbox"
  cp -a "$work/destdir" "$sandbox/root"
  cp "$work/closer/liborlenway_closer.so" "$sandbox/"
  mkdir "$sandbox"/{home,config,runtime,data,cache,tmp}
  chmod 700 "$sandbox/runtime"
  chmod -R a+rX,go-w "$sandbox/root"
  if [ -n "$run_as" ]; then
    chown "$run_uid:$run_gid" "$sandbox"/{home,config,runtime,data,cache,tmp}
  else
    chmod -R a-w "$sandbox/root"
  fi
  for d in "$sandbox/root/usr/bin" "$sandbox/root/usr" "$sandbox/root"; do
    ! "${as[@]}" test -w "$d" || fail "the account can write the install folder $d"
  done

  local before after added expected stray
  touch "$sandbox/stamp"
  before=$(fingerprint "$sandbox")
  run_program "$work/run1.log" HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/config" \
    XDG_RUNTIME_DIR="$sandbox/runtime" XDG_DATA_HOME="$sandbox/data" \
    XDG_CACHE_HOME="$sandbox/cache" TMPDIR="$sandbox/tmp"
  after=$(fingerprint "$sandbox")
  # The settings and the user list in the state folder; the instance lock in the runtime folder.
  expected="config/orlenway
config/orlenway/User.Dat
config/orlenway/orlenway.ini
runtime/NoDuplicate_Orlenway"
  added=$(added_paths "$before" "$after")
  [ "$added" = "$expected" ] || fail "the run added other files than expected:"$'\n'"$added"
  [ -z "$(LC_ALL=C comm -23 <(echo "$before") <(echo "$after"))" ] ||
    fail "the run changed files:"$'\n'"$(LC_ALL=C comm -23 <(echo "$before") <(echo "$after"))"
  local state=$sandbox/config/orlenway
  [ "$(stat -c %u "$state/orlenway.ini")" = "$run_uid" ] || fail "orlenway.ini is not the user's"
  [ "$(stat -c %a "$state/User.Dat")" = 600 ] || fail "User.Dat is not owner-only"
  grep -q "SVNPath = '/usr'" "$state/orlenway.ini" || fail "orlenway.ini holds no default settings"
  stray=$(stray_files)
  [ -z "$stray" ] || fail "the run wrote outside its folders:"$'\n'"$stray"

  # Without XDG_CONFIG_HOME the state folder is ~/.config/orlenway; the first one stays as
  # it was.
  touch "$sandbox/stamp"
  before=$(fingerprint "$sandbox")
  run_program "$work/run2.log" HOME="$sandbox/home" XDG_RUNTIME_DIR="$sandbox/runtime" \
    TMPDIR="$sandbox/tmp"
  after=$(fingerprint "$sandbox")
  expected="home/.config
home/.config/orlenway
home/.config/orlenway/User.Dat
home/.config/orlenway/orlenway.ini"
  added=$(added_paths "$before" "$after")
  [ "$added" = "$expected" ] || fail "the second run added other files than expected:"$'\n'"$added"
  [ -z "$(LC_ALL=C comm -23 <(echo "$before") <(echo "$after"))" ] ||
    fail "the second run changed files:"$'\n'"$(LC_ALL=C comm -23 <(echo "$before") <(echo "$after"))"
  stray=$(stray_files)
  [ -z "$stray" ] || fail "the second run wrote outside its folders:"$'\n'"$stray"
  echo "the program ran as uid $run_uid from a folder it cannot write and wrote only its state folder"
}

step=$1
shift
case $step in
prepare) step_prepare "$@" ;;
files) step_files "$@" ;;
package) step_package "$@" ;;
user) step_user "$@" ;;
*) fail "unknown step $step" ;;
esac
