#!/usr/bin/env bash
# Measures the CPU time Init spends in its bounded 15 s wait for a monitor
# that never publishes (it must sleep, not spin). Takes about 15 s.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset linux >/dev/null
cmake --build --preset linux --target init_wait_bench
# Another run publishing the monitor's memory would end the wait early.
flock /tmp/zv-monitor-memory.lock build/linux/bench/init_wait_bench
