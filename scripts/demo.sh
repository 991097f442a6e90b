#!/usr/bin/env bash
# The README's demo: builds everything, starts the monitor stand-in and shows
# a live LCD screen through the host stand-in until Ctrl-C.
# usage: scripts/demo.sh [--count N] [other zv_host options] [SCREEN LINE...]
# (for example `scripts/demo.sh --count 5` runs five frames and stops).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

zv_require_packages scripts/packages/10-linux.txt
cmake --preset linux >/dev/null
cmake --build --preset linux

# The monitor's shared-memory name is global to the machine; the tests hold
# the same lock while they publish under it.
exec 9>/tmp/zv-monitor-memory.lock
if ! flock -n 9; then
  echo "Waiting for a test run to release the monitor's shared memory..."
  flock 9
fi

monitor_pid=
stop_monitor() {
  if [ -n "$monitor_pid" ]; then
    kill -TERM "$monitor_pid" 2>/dev/null || true
    wait "$monitor_pid" 2>/dev/null || true
    monitor_pid=
  fi
}
trap stop_monitor EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --replace: a block left behind by a killed run would only show stale values.
# The children do not inherit the lock (9>&-), so it ends with this script.
build/linux/tools/zv_monitor --replace 9>&- >/dev/null &
monitor_pid=$!
for _ in $(seq 50); do
  [ -e /dev/shm/ZVSharedMemory_KTX ] && break
  kill -0 "$monitor_pid" 2>/dev/null || { echo "The monitor stand-in did not start." >&2; exit 1; }
  sleep 0.1
done

build/linux/tools/zv_host live build/linux/src/zelvane_info.so "$@" 9>&-
