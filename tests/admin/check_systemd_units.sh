#!/usr/bin/env bash
# The systemd user units of orlenway-admin: systemd-analyze verify finds nothing to say about
# them, the service runs the nightly backup of every project, and the timer is what an
# administrator enables (the service has no [Install] section of its own).
# check_systemd_units.sh SERVICE_TEMPLATE TIMER ADMIN_EXECUTABLE
set -euo pipefail
template=$1 timer=$2 admin=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/orlenway-units.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
# The unit as installed, with ExecStart on the built program (verify checks that it runs).
sed "s#@ORLENWAY_ADMIN_PATH@#$admin#" "$template" >"$work/orlenway-admin-backup.service"
cp "$timer" "$work/orlenway-admin-backup.timer"
report=$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify \
  "$work/orlenway-admin-backup.timer" "$work/orlenway-admin-backup.service" 2>&1) ||
  fail "systemd-analyze verify: $report"
[ -z "$report" ] || fail "systemd-analyze verify reports: $report"
grep -qx "ExecStart=$admin backup --all --keep 14" "$work/orlenway-admin-backup.service" ||
  fail "the service does not run the nightly backup"
grep -qx "Type=oneshot" "$work/orlenway-admin-backup.service" || fail "the service is no oneshot"
! grep -q '^\[Install\]' "$work/orlenway-admin-backup.service" ||
  fail "the service could be enabled on its own"
grep -qx "WantedBy=timers.target" "$timer" || fail "the timer is not wanted by timers.target"
grep -q '^OnCalendar=' "$timer" || fail "the timer has no calendar"
# A unit with a fault is noticed, so that the check above can fail.
printf '[Service]\nExecStart=%s\nNoSuchKey=1\n' "$admin" >"$work/broken.service"
broken=$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "$work/broken.service" 2>&1 || true)
[ -n "$broken" ] || fail "systemd-analyze verify said nothing about a broken unit"
echo "systemd units verified"
