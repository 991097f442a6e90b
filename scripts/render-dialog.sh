#!/usr/bin/env bash
# Renders the settings dialog under Xvfb to two PNG files, for looking at
# its layout: launching off (a fresh INI) and launching on with a path.
# Usage: scripts/render-dialog.sh [OUT_DIR]   (default: build/linux/dialog)
# Needs the packages of scripts/packages/25-dialog.txt and libpng-dev.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"
out=$(realpath -m "${1:-build/linux/dialog}")
mkdir -p "$out"
cmake --preset linux >/dev/null
cmake --build --preset linux --target render_dialog zelvane_info zelvane-monitor
home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$home"' EXIT
mkdir -p "$home/Documents"
# The helper calls Init and then Config, as a host does; a monitor is
# published meanwhile, so that Init finds its block and launches nothing.
exec 9>"$ZV_MONITOR_LOCK"
flock 9
build/linux/programs/zelvane-monitor --simulate 9>&- >"$home/monitor.out" &
for _ in $(seq 50); do
  grep -qs '^zelvane-monitor: publishing' "$home/monitor.out" && break
  sleep 0.1
done
render() {
  HOME="$home" XDG_CONFIG_HOME="$home/none" zv_xvfb 60 build/linux/tests/helpers/render_dialog \
    build/linux/src/zelvane_info.so "$1"
  echo "wrote $1"
}
render "$out/dialog-off.png"
# "Try to run" on, with a path holding Cyrillic letters (Windows-1251 bytes).
printf '[ZV4]\r\nTry to run=1\r\nPath=C:\\Program Files\\Zelvane\\\xC7\xE5\xEB\xE2\xE0\xED\xE5.exe\r\n' \
  >"$home/Documents/Lumora3.ini"
render "$out/dialog-on.png"
