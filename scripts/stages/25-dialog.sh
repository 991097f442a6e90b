#!/usr/bin/env bash
# The settings dialog's tests under a virtual X server (Xvfb, 1024x768).
# Without a display those tests skip, so this stage is where they run.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset linux
cmake --build --preset linux
# The tests connect to the monitor's shared memory, whose name is global to
# the machine: hold the same lock as every other run of such tests.
timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" \
  flock /tmp/zv-monitor-memory.lock ctest --preset linux -R '^(SettingsDialog|.*NoDisplay)\.'
