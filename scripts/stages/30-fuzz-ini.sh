#!/usr/bin/env bash
# Fuzzes the INI reader and editor for a bounded time (ZV_FUZZ_SECONDS,
# default 30) and prints libFuzzer's figures. Longer by hand:
#   ZV_FUZZ_SECONDS=600 bash scripts/stages/30-fuzz-ini.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
# The checked-in seeds stay as they are; the run's finds and any crash input
# go to a scratch folder (kept and named when the run fails).
work=$(mktemp -d)
cp -r fuzz/corpus/ini "$work/corpus"
status=0
(cd "$work" && "$root/build/fuzz/fuzz/ini_fuzz" -max_total_time="${ZV_FUZZ_SECONDS:-30}" \
  -max_len=4096 -print_final_stats=1 corpus >fuzz.log 2>&1) || status=$?
grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' \
  "$work/fuzz.log" || true
if [ "$status" -ne 0 ]; then
  tail -40 "$work/fuzz.log"
  echo "ini_fuzz failed (exit $status); crash input and log in $work" >&2
  exit 1
fi
rm -rf "$work"
