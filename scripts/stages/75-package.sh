#!/usr/bin/env bash
# The Debian package that 70-release made, tried as a user would (as root:
# it installs the package on this machine, and leaves it as it found it):
# - `apt-get install ./build/release/zelvane-info_<version>_<arch>.deb`;
#   its services pass `systemd-analyze verify` and `security` (exposure at
#   most 4.0), its system user exists, its configuration is a conffile (so
#   dpkg keeps the user's edits through upgrades);
# - the installed zelvane-monitor and zelvane-lcd, run as the services run
#   them (as _zelvane, HOME=/nonexistent), on a real LCDd with its text
#   driver on a free port of 127.0.0.1 and a configuration of this stage's
#   own: two screens of a file, 1 s and 2 s, the second under $zvCheck$,
#   which stays out of LCDd's rotation until the monitor runs, then takes
#   its turns (frames and the time each screen stays are printed); then the
#   installed default configuration shows its readings. This machine has no
#   sensors, so the monitor publishes fixed readings (--no-simulation
#   --temp ...), where the service runs it on the machine's own;
# - `apt-get purge` leaves no file of the package behind.
# Everything is undone in a trap, also when a check fails: the processes,
# the package, and the system user if this stage made it.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
export LC_ALL=C  # times with a decimal point; frames compared byte by byte
started=$EPOCHREALTIME

fail() {
  echo "75-package: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  echo "75-package: skipped: installing a package needs root"
  exit 0
fi
# One package stage at a time on this machine: another checkout's would
# install and purge the same package.
exec 8>/tmp/zv-package-stage.lock
flock 8
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/linux/CMakeCache.txt)
deb=build/release/zelvane-info_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: run 70-release first"
if dpkg-query -W -f='${Status}' zelvane-info 2>/dev/null | grep -qv 'not-installed'; then
  fail "zelvane-info is already on this machine; this stage installs and purges it, so remove it first"
fi

user=_zelvane
user_before=$(getent passwd "$user" || true)
work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  # A monitor's object that a killed run of ours left.
  if [ "$(stat -c %U "$ZV_MONITOR_MEMORY_FILE" 2>/dev/null)" = "$user" ]; then
    rm -f "$ZV_MONITOR_MEMORY_FILE"
  fi
  if dpkg-query -W -f='${Status}' zelvane-info 2>/dev/null | grep -qv 'not-installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelvane-info >/dev/null 2>&1 ||
      dpkg --purge zelvane-info >/dev/null 2>&1 || true
  fi
  if [ -z "$user_before" ] && getent passwd "$user" >/dev/null; then
    userdel "$user" 2>/dev/null || true
    groupdel "$user" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- Installing ------------------------------------------------------------
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "./$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install ./$deb failed"; }
dpkg -L zelvane-info | sort >"$work/files"
getent passwd "$user" | grep -q ':/nonexistent:/usr/sbin/nologin$' ||
  fail "no system user $user without home and login: $(getent passwd "$user" || true)"
[ "$(dpkg-query -W -f='${Conffiles}' zelvane-info | awk '{print $1}')" = /etc/zelvane-lcd.conf ] ||
  fail "/etc/zelvane-lcd.conf is not the package's conffile"
for unit in zelvane-monitor zelvane-lcd; do
  systemd-analyze verify "/lib/systemd/system/$unit.service" >"$work/verify" 2>&1 ||
    { cat "$work/verify" >&2; fail "systemd-analyze verify $unit.service"; }
  [ ! -s "$work/verify" ] || { cat "$work/verify" >&2; fail "systemd-analyze verify $unit.service is not clean"; }
  score=$(systemd-analyze security --offline=true "/lib/systemd/system/$unit.service" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
  echo "$unit.service: exposure $score (systemd-analyze security --offline=true)"
  awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 4.0) }' || fail "$unit.service: exposure $score above 4.0"
done
# --- On LCDd -----------------------------------------------------------------
exec 9>"$ZV_MONITOR_LOCK"
flock 9
# An object a killed run left would count as a running monitor.
rm -f "$ZV_MONITOR_MEMORY_FILE"
port=$(zv_lcdd_config "$work/LCDd.conf")
# Each line LCDd's text driver prints, as it prints it, with its time.
stdbuf -oL /usr/sbin/LCDd -c "$work/LCDd.conf" 2>"$work/LCDd.log" 8>&- 9>&- \
  > >(exec 8>&- 9>&-; while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done >"$work/lcdd.out") &
pids+=($!)
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { cat "$work/LCDd.log" >&2; fail "LCDd did not start"; }

# frames: LCDd's frames so far, one a line: time, then the four rows
# joined by '|'.
frames() {
  awk '{ t = $1; line = substr($0, length($1) + 2) }
    line ~ /^\+-/ { if (inside) { print start "\t" rows; inside = 0 } else { inside = 1; start = t; rows = "" } next }
    inside { rows = rows (rows == "" ? "" : "|") substr(line, 2, 20) }' "$work/lcdd.out"
}
# wait_for_row1 TEXT: waits (at most 10 s) for a frame whose first row is TEXT.
wait_for_row1() {
  local row
  row=$(printf '%-20s' "$1")
  for _ in $(seq 100); do
    frames | cut -f2 | cut -d'|' -f1 | grep -xF -- "$row" >/dev/null && return 0
    sleep 0.1
  done
  fail "no LCDd frame showed \"$1\"; the last ones:
$(frames | tail -n 3)"
}
# as_user CMD...: runs an installed program as the services run it, in
# this process (so that a background one's $! is the program's own).
as_user() {
  exec setpriv --reuid="$user" --regid="$user" --clear-groups \
    env -i PATH=/usr/bin:/bin HOME=/nonexistent "$@" 8>&- 9>&-
}

degree=$'\xb0'  # "°" on a cp1251 display
cat >"$work/screens.conf" <<'CONF'
[screen one]
duration = 1
line = one $zvTemp[0]$°C

[screen two]
duration = 2
line = two $zvFan[0]$ RPM$zvCheck$
CONF
chmod 644 "$work/screens.conf"
(as_user zelvane-lcd lcdproc --config "$work/screens.conf" --server "127.0.0.1:$port") \
  >"$work/rotation.log" 2>&1 &
rotation_pid=$!
pids+=("$rotation_pid")
wait_for_row1 "one ${degree}C"
sleep 3
monitor_from=$EPOCHREALTIME
(as_user zelvane-monitor --replace --no-simulation --temp 0=45 --fan 0=1200 --volt 0=12) \
  >"$work/monitor.log" 2>&1 &
pids+=($!)
wait_for_row1 "two 1200 RPM"
sleep 7
rotation_to=$EPOCHREALTIME
kill -TERM "$rotation_pid"
wait "$rotation_pid" || fail "zelvane-lcd did not end cleanly on SIGTERM: $(cat "$work/rotation.log")"

# The runs of each first row: start, frames, row (the last run is cut).
frames | awk -F'\t' -v to="$rotation_to" '$1 < to {
    split($2, rows, "|")
    if (rows[1] != last) { if (count) print start "\t" count "\t" last; start = $1; count = 0; last = rows[1] }
    count++ }
  END { print start "\t" count "\t" last }' >"$work/runs"
# Before the monitor, once our screens are up: "one" alone, "two" out of
# the rotation.
before=$(awk -F'\t' -v t="$monitor_from" '$3 ~ /^one/ { on = 1 } on && $1 < t { print $3 }' "$work/runs")
[ "$before" = "$(printf '%-20s' "one ${degree}C")" ] ||
  fail "before the monitor ran, LCDd did not show \"one\" alone: $before"
# Then both, in turns; the run under way when the monitor started and the
# last one are cut short.
awk -F'\t' -v t="$monitor_from" '$1 >= t' "$work/runs" >"$work/turns"
echo "LCDd's rotation (each run of a screen: frames, seconds):"
awk -F'\t' 'NR > 1 { printf "  %s %3d frames %5.2f s\n", row, count, $1 - start }
  { start = $1; count = $2; row = $3 }' "$work/turns" | sed "s/$degree/°/g"
awk -F'\t' -v lines="$(wc -l <"$work/turns")" 'NR < lines {
    one = ($3 ~ /^one 45/); two = ($3 ~ /^two 1200 RPM/)
    if (!one && !two) { print "unexpected screen: " $3; bad = 1 }
    if (one && ($2 < 6 || $2 > 10)) { print "\"one\" stayed " $2 " frames, not about 8"; bad = 1 }
    if (two && ($2 < 14 || $2 > 18)) { print "\"two\" stayed " $2 " frames, not about 16"; bad = 1 }
    seen_one += one; seen_two += two }
  END { if (!seen_one || !seen_two) { print "no whole turn of each screen"; bad = 1 } exit bad }' \
  "$work/turns" >&2 || fail "the rotation is not as configured"
echo "Three frames of the rotation, the first of each turn (seconds from the first; rows):"
# awk reads to the end rather than exit after the third: an early exit
# could end the pipeline's writer with SIGPIPE, a failure under pipefail.
frames | awk -F'\t' -v from="$monitor_from" '$1 >= from && $2 ~ /^two/ { on = 1 }
    on && n < 3 { split($2, r, "|"); if (r[1] != last) { if (!n) t0 = $1; printf "  %5.2f  %s\n", $1 - t0, $2; last = r[1]; n++ } }' |
  sed "s/$degree/°/g"

# The installed default configuration, with LCDd's address from the
# command line.
(as_user zelvane-lcd lcdproc --config /etc/zelvane-lcd.conf --server "127.0.0.1:$port") \
  >"$work/default.log" 2>&1 &
pids+=($!)
wait_for_row1 "CPU 45${degree}C"
frames | cut -f2 | grep -xF "$(printf '%-20s|%-20s|%-20s|%-20s' "CPU 45${degree}C" "Fan 1200 RPM" "Volt 12 V" "")" >/dev/null ||
  fail "the default configuration's screen is not as expected: $(frames | tail -n 1)"
echo "The installed default configuration on LCDd:"
frames | cut -f2 | grep -m1 "^CPU 45" | tr '|' '\n' | sed "s/$degree/°/g; s/^/  |/; s/\$/|/"
grep -q "^zelvane-lcd: connected to LCDproc" "$work/default.log" || fail "zelvane-lcd: $(cat "$work/default.log")"
cat "$work/default.log" "$work/rotation.log" | grep -v "^zelvane-lcd: connected to LCDproc\|^zelvane-lcd: Init returned 0$" &&
  fail "zelvane-lcd reported more than its connection and Init"
for pid in "${pids[@]}"; do
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done
pids=()
exec 9>&-

# --- Purging -----------------------------------------------------------------
apt-get purge -y -qq zelvane-info >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get purge failed"; }
left=()
while read -r path; do
  # Folders the package shares with others stay; its own go.
  if [ -e "$path" ] && { [ ! -d "$path" ] || [[ $path == *zelvane* ]]; }; then
    left+=("$path")
  fi
done <"$work/files"
# The test command's own apt list for user-mode emulation (zv_require_32bit
# in lib.sh) is no file of the package's.
mapfile -t -O "${#left[@]}" left < <(find /etc /lib/systemd /usr /var/lib/systemd /var/lib/dpkg/info \
  -name '*zelvane*' ! -path /etc/apt/sources.list.d/zelvane-info-backports.list 2>/dev/null)
[ ${#left[@]} -eq 0 ] || fail "purging left files of the package behind: ${left[*]}"
dpkg-query -W -f='${Status}' zelvane-info 2>/dev/null | grep -qv 'not-installed' &&
  fail "dpkg still knows zelvane-info after the purge"
echo "purged: none of the $(wc -l <"$work/files") paths of the package left; the system user $user stays, as Debian leaves system users (this stage removes it when it made it)"
printf '75-package: passed in %.0f s\n' "$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')"
