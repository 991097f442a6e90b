#!/usr/bin/env bash
# Windows user interface: the settings dialog and the retry prompt of the
# 64-bit build under Wine, worked through window messages as a user would.
# Wine runs under a Russian locale (ANSI code page 1251) with its own fonts
# (cmake/wine-run.sh). First on a fresh virtual X server, then with no
# display at all, where Config must fail with a clear error and the prompt
# count as No, without hanging.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset win64
cmake --build --preset win64
timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --preset win64 -R '^(SettingsDialog|RetryPrompt)\.'
env -u DISPLAY -u WAYLAND_DISPLAY -u XAUTHORITY timeout 300 \
  ctest --preset win64 -R 'NoDisplay|WithoutADisplay'
