#!/usr/bin/env bash
# Linux build, the whole test suite, and one short benchmark run for its figures.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
zv_build linux
# The monitor's shared-memory name is global to the machine: hold a lock so
# that no other run of these tests (another checkout, the demo) overlaps.
zv_locked ctest --preset linux
build/linux/bench/get_value_bench --benchmark_min_time=0.2 --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_color=false
