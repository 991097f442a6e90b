#!/usr/bin/env bash
# The settings dialog's tests under a virtual X server (Xvfb, 1024x768).
# Without a display those tests skip, so this stage is where they run.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
zv_build linux
# The tests connect to the monitor's shared memory, whose name is global to
# the machine: hold the same lock as every other run of such tests.
zv_xvfb 600 flock "$ZV_MONITOR_LOCK" ctest --preset linux -R '^(SettingsDialog|.*NoDisplay)\.'
