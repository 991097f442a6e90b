#!/usr/bin/env bash
# The README's demo: builds everything, starts the monitor stand-in (the
# machine's own sensors, or simulated readings where it has none, which it
# says) and shows a live LCD screen through the host stand-in until Ctrl-C.
# usage: scripts/demo.sh [--lcdproc] [--count N] [other zelvane-lcd options] [SCREEN LINE...]
# (for example `scripts/demo.sh --count 5` runs five frames and stops).
# --lcdproc runs the whole chain: monitor -> plugin -> `zelvane-lcd lcdproc` ->
# LCDd with its text driver, whose frames are shown instead of the host's box.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

mode=live
if [ "${1:-}" = --lcdproc ]; then
  mode=lcdproc
  shift
fi

zv_require_packages scripts/packages/10-linux.txt
cmake --preset linux >/dev/null
cmake --build --preset linux

# The monitor's shared-memory name is global to the machine; the tests hold
# the same lock while they publish under it.
exec 9>"$ZV_MONITOR_LOCK"
if ! flock -n 9; then
  echo "Waiting for a test run to release the monitor's shared memory..."
  flock 9
fi

monitor_pid=
lcdd_pid=
work=
stop_all() {
  for pid in "$lcdd_pid" "$monitor_pid"; do
    if [ -n "$pid" ]; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  monitor_pid= lcdd_pid=
  [ -z "$work" ] || rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The monitor publishes the machine's own sensors; made-up readings only
# when asked for, so where there are none the demo asks and says so.
monitor_args=()
if ! build/linux/programs/zelvane-monitor --list >/dev/null 2>&1; then
  echo "This machine has no hardware sensors: the monitor publishes simulated readings (--simulate)."
  monitor_args=(--simulate)
fi
# A block left behind by a killed run is replaced by the monitor itself.
# The children do not inherit the lock (9>&-), so it ends with this script.
work=$(mktemp -d)
build/linux/programs/zelvane-monitor "${monitor_args[@]}" 9>&- >"$work/monitor.out" &
monitor_pid=$!
# Its first line says it publishes, once the block holds a whole refresh.
for _ in $(seq 50); do
  grep -q '^zelvane-monitor: publishing' "$work/monitor.out" && break
  kill -0 "$monitor_pid" 2>/dev/null || { echo "The monitor stand-in did not start." >&2; exit 1; }
  sleep 0.1
done

if [ "$mode" = live ]; then
  build/linux/programs/zelvane-lcd live --plugin build/linux/src/zelvane_info.so "$@" 9>&-
  exit 0
fi

# LCDd on a free port of the loopback address, with a configuration of our
# own: the text driver prints each frame of a 20x4 display.
port=$(zv_lcdd_config "$work/LCDd.conf")
# The driver prints about eight frames a second; show each new one once, as
# it comes (into a pipe LCDd would otherwise pass on some 30 frames at a time).
stdbuf -oL /usr/sbin/LCDd -c "$work/LCDd.conf" 2>"$work/LCDd.log" 9>&- > >(awk '
  /^\+-/ { if (inside) { if (frame != last) { n++; print "LCDd frame " n ":"; printf "%s", frame; print; fflush() } last = frame; inside = 0 } else { frame = $0 "\n"; inside = 1 } next }
  inside { frame = frame $0 "\n" }') &
lcdd_pid=$!
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$lcdd_pid" 2>/dev/null || { cat "$work/LCDd.log" >&2; echo "LCDd did not start." >&2; exit 1; }
  sleep 0.1
done
# The terminal takes UTF-8; the text driver passes the bytes on as they come.
build/linux/programs/zelvane-lcd lcdproc --plugin build/linux/src/zelvane_info.so \
  --server "127.0.0.1:$port" --charset utf-8 "$@" 9>&-
