#!/usr/bin/env bash
# Under valgrind, with nothing definitely lost and no memory errors allowed:
# - the host stand-in's live screen for 100 refreshes against the monitor
#   stand-in (every buffer GetValue returns must be released);
# - the module loaded and unloaded again and again in one process, every
#   entry point called in between (ZV_VALGRIND_RELOAD_CYCLES, default 200).
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
zv_build linux zelvane-monitor zelvane-lcd zelvane_info module_lifecycle_tests
# Settings live under $HOME; a fresh one keeps the run independent of the user's.
home=$(mktemp -d)
log=build/linux/valgrind-live.log
out=build/linux/valgrind-live.out
trap 'rm -rf "$home"' EXIT

run() {
  # Publishes for at most 5 minutes even if this script is killed; simulated
  # readings, so that the run does not depend on the machine's sensors (CI
  # has none). A block a killed run left is replaced by the monitor itself.
  local monitor_out=$home/monitor.out
  build/linux/programs/zelvane-monitor --simulate --interval-ms 50 --seconds 300 >"$monitor_out" &
  local monitor=$!
  # Wait (up to 10 s) for the monitor to publish before the host starts.
  for _ in $(seq 100); do
    grep -q '^zelvane-monitor: publishing' "$monitor_out" && break
    sleep 0.1
  done
  local status=0
  # --keep-debuginfo names the frames of the module and FLTK after unloading.
  HOME=$home valgrind --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=1 --keep-debuginfo=yes \
    --suppressions=scripts/valgrind/fltk.supp --log-file="$log" \
    build/linux/programs/zelvane-lcd live build/linux/src/zelvane_info.so \
    --count 100 --interval-ms 10 >"$out" || status=$?
  kill "$monitor" 2>/dev/null || true
  wait "$monitor" 2>/dev/null || true
  return $status
}
# The monitor's shared-memory name is global to the machine (see lib.sh).
export -f run
export home log out
status=0
zv_locked bash -c run || status=$?

grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|suppressed:|All heap blocks were freed|total heap usage' "$log" || true
if [ "$status" -ne 0 ]; then
  cat "$log"
  echo "valgrind: zelvane-lcd failed or valgrind reported errors (exit $status)"
  exit 1
fi
if ! grep -qE 'definitely lost: 0 bytes|All heap blocks were freed' "$log"; then
  cat "$log"
  echo "valgrind: memory definitely lost"
  exit 1
fi
if ! grep -q '^frame 100 ' "$out"; then
  tail -n 20 "$out"
  echo "valgrind: the live screen did not reach frame 100"
  exit 1
fi
echo "valgrind: 100 live refreshes, nothing lost"

# Reloads: the test publishes its own block and counts descriptors itself.
cycles=${ZV_VALGRIND_RELOAD_CYCLES:-200}
reload_log=build/linux/valgrind-reload.log
reload_status=0
HOME=$home ZV_RELOAD_CYCLES=$cycles zv_locked \
  valgrind --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=1 --keep-debuginfo=yes \
  --suppressions=scripts/valgrind/fltk.supp --log-file="$reload_log" \
  build/linux/tests/module_lifecycle_tests \
  --gtest_filter=ModuleLifecycle.LoadUnloadCyclesReleaseEverything || reload_status=$?
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|All heap blocks were freed|total heap usage' \
  "$reload_log" || true
if [ "$reload_status" -ne 0 ] || ! grep -qE 'definitely lost: 0 bytes|All heap blocks were freed' "$reload_log"; then
  cat "$reload_log"
  echo "valgrind: the reload test failed or lost memory (exit $reload_status)"
  exit 1
fi
echo "valgrind: $cycles loads and unloads, nothing lost"
