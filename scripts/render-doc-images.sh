#!/usr/bin/env bash
# Renders the documents' pictures into docs/images/ from the real programs:
#   linux/dialog-off.png, linux/dialog-on.png   the settings dialog (FLTK, Xvfb)
#   windows/dialog-off.png, windows/dialog-on.png, windows/prompt.png
#                                               the 64-bit DLL's dialog and
#                                               retry prompt under Wine
#   lcd-frame.txt   a frame of LCDd's text driver (20x4) showing the default
#                   /etc/zelvane-lcd.conf, with fixed readings, sent in
#                   Windows-1251 as to a display and shown in UTF-8
# Usage: scripts/render-doc-images.sh [--out DIR] [linux] [windows] [lcd]
#   (default: all, into docs/images; --out DIR writes the same files under
#   DIR instead, as scripts/check-doc-images.sh does to compare them)
# Needs the packages of scripts/packages/10-linux.txt, 25-dialog.txt,
# 40-windows.txt and 45-windows-gui.txt, and libpng-dev.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"
images=docs/images
if [ "${1:-}" = --out ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [--out DIR] [linux] [windows] [lcd]" >&2; exit 2; }
  images=$(realpath -m "$2")
  shift 2
fi
mkdir -p "$images/linux" "$images/windows"
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(linux windows lcd)

# In a subshell of its own: the monitor's lock (its shared-memory name is
# the machine's; the tests hold the same lock) and the trap end with it.
lcd_frame() (
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target zelvane_info zelvane-lcd zelvane-monitor
  exec 9>"$ZV_MONITOR_LOCK"
  flock 9
  work=$(mktemp -d)
  trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$work"' EXIT
  build/linux/programs/zelvane-monitor --no-simulation --temp 0=45 --fan 0=1200 --volt 0=12.05 \
    9>&- >"$work/monitor.out" &
  for _ in $(seq 50); do
    grep -q '^zelvane-monitor: publishing' "$work/monitor.out" && break
    sleep 0.1
  done
  port=$(zv_lcdd_config "$work/LCDd.conf")
  stdbuf -oL /usr/sbin/LCDd -c "$work/LCDd.conf" 9>&- >"$work/frames" 2>"$work/LCDd.log" &
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  build/linux/programs/zelvane-lcd lcdproc --config packaging/zelvane-lcd.conf \
    --plugin build/linux/src/zelvane_info.so --server "127.0.0.1:$port" \
    --count 3 9>&- >/dev/null
  sleep 0.5
  # The last whole frame that shows something (LCDd blanks the display once
  # the client has gone): the box between two "+--" lines.
  awk '/^\+-/ { if (inside) { if (shown) last = frame $0 "\n"; inside = 0 } else { frame = $0 "\n"; inside = 1; shown = 0 } next }
    inside { frame = frame $0 "\n"; if ($0 ~ /[^| ]/) shown = 1 } END { printf "%s", last }' "$work/frames" |
    iconv -f WINDOWS-1251 -t UTF-8 >"$images/lcd-frame.txt"
  [ -s "$images/lcd-frame.txt" ] || { cat "$work/LCDd.log" >&2; echo "LCDd printed no frame" >&2; exit 1; }
  echo "wrote $images/lcd-frame.txt"
  cat "$images/lcd-frame.txt"
)

for part in "${parts[@]}"; do
  case $part in
    linux) scripts/render-dialog.sh "$images/linux" ;;
    windows)
      scripts/render-windows-dialogs.sh build/win64/render
      cp build/win64/render/off-dialog.png "$images/windows/dialog-off.png"
      cp build/win64/render/on-dialog.png "$images/windows/dialog-on.png"
      cp build/win64/render/on-prompt.png "$images/windows/prompt.png"
      echo "copied the Windows pictures to $images/windows/"
      ;;
    lcd) lcd_frame ;;
    *) echo "usage: $0 [--out DIR] [linux] [windows] [lcd]" >&2; exit 2 ;;
  esac
done
