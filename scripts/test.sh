#!/usr/bin/env bash
# Builds and runs the test stages: scripts/stages/*.sh, in order.
#   scripts/test.sh              every stage (what CI runs)
#   scripts/test.sh STAGE...     only those, e.g. scripts/test.sh 10-linux 40-windows
# Each stage lists the Debian packages it needs in scripts/packages/<stage>.txt;
# only the chosen stages' packages are installed. A failed stage does not stop
# the ones after it. At the end each stage's wall time is printed.
#
# A stage whose script says "# zv-stage: alongside" does not hold up the
# others when more than one stage runs: it starts at its turn, in the
# background at idle CPU priority (SCHED_IDLE), and the next stage starts at
# once. Such a stage works in build folders of its own and takes only the
# processor time the others leave unused: the time tests spend waiting on
# Wine, X, LCDd or timeouts. Its output is printed when it ends.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

all=()
for stage in scripts/stages/*.sh; do
  all+=("$(basename "$stage" .sh)")
done

chosen=()
if [ $# -eq 0 ]; then
  chosen=("${all[@]}")
else
  for arg in "$@"; do
    name=$(basename "$arg" .sh)
    if [ ! -f "scripts/stages/$name.sh" ]; then
      echo "test.sh: no stage '$arg'. The stages: ${all[*]}" >&2
      exit 2
    fi
    chosen+=("$name")
  done
fi

lists=()
for name in "${chosen[@]}"; do
  [ -f "scripts/packages/$name.txt" ] && lists+=("scripts/packages/$name.txt")
done
start=$SECONDS
zv_require_packages "${lists[@]}"
rows=("$(printf '%-16s %8s  %s' packages "$((SECONDS - start)) s" ok)")

logs=build/logs
mkdir -p "$logs"
failed=()
noted=0
declare -A background=()
# finish NAME STATUS SECONDS [NOTE]: records a stage's result.
finish() {
  local result=ok
  if [ "$2" -ne 0 ]; then
    failed+=("$1")
    result=FAILED
  fi
  rows+=("$(printf '%-16s %8s  %s%s' "$1" "$3 s" "$result" "${4:-}")")
  if [ -s "$logs/$1.notes" ]; then
    while read -r note; do
      noted=1
      rows+=("$(printf '%-16s %8s    %s' '' '' "$note")")
    done <"$logs/$1.notes"
  fi
}
# Ctrl-C or a failure of this script ends the stages running alongside too.
trap 'for pid in "${background[@]}"; do kill -- -"$pid" 2>/dev/null || true; done' EXIT

# The build folders the chosen stages use, in the order they first need
# them: what a stage builds with zv_build, or loops over as "for preset in".
presets=()
for name in "${chosen[@]}"; do
  for preset in $(sed -nE 's/^\s*zv_build "?([a-z0-9]+)"?.*/\1/p; s/^\s*for preset in ([a-z0-9 ]+); do.*/\1/p' \
    "scripts/stages/$name.sh"); do
    [[ " ${presets[*]} " == *" $preset "* ]] || presets+=("$preset")
  done
done
# The jobs started here in the background run in process groups of their
# own (set -m), so that they can be ended whole, but in this script's
# session: the kernel weighs CPU shares between sessions first (autogroups),
# so only within one session do nice and SCHED_IDLE rank them below the
# stages.
#
# With several stages, the build folders of the later ones are built
# meanwhile, niced (below every stage, above the stages alongside): the
# first stage builds its own at full priority, and the later ones find
# theirs built, or wait for the folder's lock (zv_build). A failed prebuild
# is left for its stage to report.
if [ ${#chosen[@]} -gt 1 ] && [ ${#presets[@]} -gt 1 ]; then
  echo "=== building ${presets[*]:1} meanwhile (output in $logs/prebuild.log)"
  set -m
  nice -n 19 bash -c 'source scripts/lib.sh; for p in "$@"; do zv_build "$p" || true; done' _ \
    "${presets[@]:1}" >"$logs/prebuild.log" 2>&1 &
  background[prebuild]=$!
  set +m
fi

for name in "${chosen[@]}"; do
  if [ ${#chosen[@]} -gt 1 ] && grep -q '^# zv-stage: alongside' "scripts/stages/$name.sh"; then
    echo "=== $name (alongside the others, output in $logs/$name.log)"
    rm -f "$logs/$name.notes"
    # Each stage may leave notes for the table (zv_note in lib.sh).
    set -m
    ZV_STAGE_NOTES=$ZV_ROOT/$logs/$name.notes bash -c 'start=$SECONDS; status=0; chrt --idle 0 bash "$1" || status=$?
      echo $((SECONDS - start)) >"$2.seconds"; exit $status' _ \
      "scripts/stages/$name.sh" "$logs/$name" >"$logs/$name.log" 2>&1 &
    background[$name]=$!
    set +m
    continue
  fi
  echo "=== $name"
  rm -f "$logs/$name.notes"
  start=$SECONDS
  status=0
  ZV_STAGE_NOTES=$ZV_ROOT/$logs/$name.notes bash "scripts/stages/$name.sh" || status=$?
  finish "$name" $status $((SECONDS - start))
done
for name in "${chosen[@]}"; do
  [ -n "${background[$name]:-}" ] || continue
  status=0
  wait "${background[$name]}" || status=$?
  echo "=== $name (ran alongside)"
  cat "$logs/$name.log"
  finish "$name" $status "$(cat "$logs/$name.seconds" 2>/dev/null || echo '?')" "  (alongside)"
done

echo
printf '%-16s %8s  %s\n' stage time result
printf '%s\n' "${rows[@]}"
printf '%-16s %8s\n' total "$SECONDS s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED stages: ${failed[*]}"
  exit 1
fi
if [ $noted -ne 0 ]; then
  echo "All stages passed, with the notes above: what they name was not checked on this machine."
else
  echo "All stages passed."
fi
