#!/usr/bin/env bash
# The whole Linux test suite again, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer: any finding fails its test.
# The settings dialog's tests skip without a display, so they run a second
# time under a virtual X server (as in 25-dialog).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
zv_build asan
# The monitor's shared-memory name is global to the machine (see lib.sh).
zv_locked ctest --preset asan
zv_xvfb 600 flock "$ZV_MONITOR_LOCK" ctest --preset asan -R '^(SettingsDialog|.*NoDisplay)\.'
