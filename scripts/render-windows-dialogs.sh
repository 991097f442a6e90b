#!/usr/bin/env bash
# Renders the Windows settings dialog and retry prompt under Wine and Xvfb to
# PNG files, for looking at their layout (not a test). Wine runs as the
# tests run it (Russian locale, code page 1251, the prefix's fonts), inside
# a virtual desktop so that windows get Wine's own frame and title bar.
# Usage: scripts/render-windows-dialogs.sh [OUT_DIR]  (default: build/win64/render)
# Writes dialog-off.png, dialog-on.png and prompt.png.
# Needs the packages of scripts/packages/40-windows.txt and 45-windows-gui.txt.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"
out=$(realpath -m "${1:-build/win64/render}")
mkdir -p "$out"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target zelvane_info
build=build/win64
tool="$build/render/render_windows.exe"
mkdir -p "$build/render"
x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -static -Iinclude \
  -o "$tool" scripts/render-windows/render_windows.cpp -lgdi32
docs=$(mktemp -d)
trap 'rm -rf "$docs"' EXIT
win() { echo "Z:${1//\//\\}"; }

render() {  # render NAME: OUT/NAME-dialog.png and OUT/NAME-prompt.png
  zv_xvfb 120 cmake/wine-run.sh "$PWD/$build/wine/prefix" explorer /desktop=zvrender,640x400 \
    "$(win "$PWD/$tool")" "$(win "$PWD/$build/bin/zelvane_info.dll")" "$(win "$out/$1")" \
    "$(win "$docs")"
  for part in dialog prompt; do
    if [ -f "$out/$1-$part.bmp" ]; then
      python3 scripts/render-windows/bmp_to_png.py "$out/$1-$part.bmp" "$out/$1-$part.png"
      rm "$out/$1-$part.bmp"
      echo "wrote $out/$1-$part.png"
    fi
  done
}
# Launching off (no settings file): the prompt does not come up.
render off
# Launching on, with a missing executable under a Cyrillic name: the dialog
# shows the path, and Init then asks whether to retry.
printf '[ZV4]\r\nTry to run=1\r\nPath=C:\\Program Files\\Zelvane\\\xC7\xE5\xEB\xE2\xE0\xED\xE5.exe\r\n' \
  >"$docs/Lumora3.ini"
render on
