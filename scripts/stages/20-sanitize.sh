#!/usr/bin/env bash
# The whole Linux test suite again, built with AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer: any finding fails its test.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset asan
cmake --build --preset asan
# The monitor's shared-memory name is global to the machine (see 10-linux).
flock /tmp/zv-monitor-memory.lock ctest --preset asan
