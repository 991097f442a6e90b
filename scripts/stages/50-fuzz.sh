#!/usr/bin/env bash
# Bounded libFuzzer runs: every fuzz target under fuzz/ for ZV_FUZZ_SECONDS
# (default 30) each, starting from its committed seeds in fuzz/corpus/<name>/.
# New inputs go to build/fuzz/corpus/<name>/ (not committed); a failing input
# is saved as build/fuzz/artifacts/<name>/crash-* and fails the stage.
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
seconds=${ZV_FUZZ_SECONDS:-30}
zv_build fuzz

failed=()
summary=()
while read -r name needs; do
  [ -n "$name" ] || continue
  work=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name
  log=build/fuzz/$name.log
  mkdir -p "$work" "$artifacts"
  run=(build/fuzz/fuzz/${name}_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048
       -print_final_stats=1 -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$name")
  echo "--- $name (${seconds} s)"
  status=0
  if [ "$needs" = shared-memory ]; then
    # The monitor's shared-memory name is global to the machine (see lib.sh).
    zv_locked "${run[@]}" >"$log" 2>&1 || status=$?
  else
    "${run[@]}" >"$log" 2>&1 || status=$?
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    failed+=("$name")
    summary+=("$(printf '%-24s FAILED (exit %s), see %s' "$name" "$status" "$log")")
  else
    summary+=("$(printf '%-24s %10s execs %8s exec/s' "$name" "${execs:-?}" "${rate:-?}")")
  fi
done < build/fuzz/fuzz/fuzzers.txt

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets failed: ${failed[*]}"
  exit 1
fi
