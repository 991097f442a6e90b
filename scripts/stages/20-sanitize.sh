#!/usr/bin/env bash
# The whole Linux test suite again, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer: any finding fails its test.
# The settings dialog's tests skip without a display, so they run a second
# time under a virtual X server (as in 25-dialog).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset asan
cmake --build --preset asan
# The monitor's shared-memory name is global to the machine (see 10-linux).
flock /tmp/zv-monitor-memory.lock ctest --preset asan
timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" \
  flock /tmp/zv-monitor-memory.lock ctest --preset asan -R '^(SettingsDialog|.*NoDisplay)\.'
