#!/usr/bin/env bash
# Measures the CPU time Init spends in its bounded 15 s wait for a monitor
# that never publishes (it must sleep, not spin). Takes about 15 s.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
zv_build linux init_wait_bench
# Another run publishing the monitor's memory would end the wait early.
zv_locked build/linux/bench/init_wait_bench
