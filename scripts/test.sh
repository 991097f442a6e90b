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
#
# A stage whose script says "# zv-stage: 32-bit" runs 32-bit x86 programs
# (the shipping DLL's tests). Before the stages, such programs are made to
# run here: natively, or where the kernel refuses them, under user-mode
# emulation that the install step sets up (zv_require_32bit in lib.sh). The
# table says which. ZV_SKIP_32BIT=1 skips their 32-bit parts on purpose
# (the table then says NOT RUN); without it, a machine that cannot run them
# fails those stages. CI never sets it.
#
# The table gives each stage's wall time and the processor time (user and
# system) of the processes it waited for; Wine's and LCDd's servers, which
# outlive their tests, are not counted.
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
needs_32bit=0
for name in "${chosen[@]}"; do
  grep -q '^# zv-stage: 32-bit' "scripts/stages/$name.sh" && needs_32bit=1
done
how_32bit=
if [ $needs_32bit -eq 1 ]; then
  if [ "${ZV_SKIP_32BIT:-}" = 1 ]; then
    how_32bit="NOT RUN (ZV_SKIP_32BIT=1)"
  elif zv_require_32bit; then
    how_32bit=$(zv_32bit_how)
  else
    how_32bit="unavailable: the 32-bit stages fail"
  fi
fi
rows=("$(printf '%-16s %8s %8s  %s' packages "$((SECONDS - start)) s" '' ok)")
[ -z "$how_32bit" ] || rows+=("$(printf '%-16s %8s %8s  %s' '32-bit x86' '' '' "$how_32bit")")

logs=build/logs
mkdir -p "$logs"
failed=()
noted=0
declare -A background=()
# timed FILE CMD...: runs CMD and writes its wall and processor seconds
# (user plus system, of the processes it waited for) to FILE. A subshell of
# its own, so that the jobs in the background, which this shell reaps when
# they end, are not counted in.
timed() (
  local file=$1 status=0 TIMEFORMAT='%R %U %S'
  shift
  exec 3>&2
  { time "$@" 2>&3 3>&- || status=$?; } 2>"$file.time"
  exec 3>&-
  awk '{ printf "%d %d\n", $1 + 0.5, $2 + $3 + 0.5 }' "$file.time" >"$file"
  rm -f "$file.time"
  return $status
)
# finish NAME STATUS [NOTE]: records a stage's result, with its times from
# $logs/NAME.seconds.
finish() {
  local result=ok
  if [ "$2" -ne 0 ]; then
    failed+=("$1")
    result=FAILED
  fi
  local wall=? cpu=?
  read -r wall cpu <"$logs/$1.seconds" 2>/dev/null || true
  rows+=("$(printf '%-16s %8s %8s  %s%s' "$1" "$wall s" "$cpu s" "$result" "${3:-}")")
  if [ -s "$logs/$1.notes" ]; then
    while read -r note; do
      noted=1
      rows+=("$(printf '%-16s %8s %8s    %s' '' '' '' "$note")")
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
  timed "$logs/prebuild.seconds" nice -n 19 bash -c \
    'source scripts/lib.sh; for p in "$@"; do zv_build "$p" || true; done' _ \
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
    ZV_STAGE_NOTES=$ZV_ROOT/$logs/$name.notes timed "$logs/$name.seconds" chrt --idle 0 \
      bash "scripts/stages/$name.sh" >"$logs/$name.log" 2>&1 &
    background[$name]=$!
    set +m
    continue
  fi
  echo "=== $name"
  rm -f "$logs/$name.notes"
  status=0
  ZV_STAGE_NOTES=$ZV_ROOT/$logs/$name.notes timed "$logs/$name.seconds" \
    bash "scripts/stages/$name.sh" || status=$?
  finish "$name" $status
done
for name in "${chosen[@]}"; do
  [ -n "${background[$name]:-}" ] || continue
  status=0
  wait "${background[$name]}" || status=$?
  echo "=== $name (ran alongside)"
  cat "$logs/$name.log"
  finish "$name" $status "  (alongside)"
done
if [ -n "${background[prebuild]:-}" ]; then
  wait "${background[prebuild]}" || true
  read -r wall cpu <"$logs/prebuild.seconds" 2>/dev/null || wall=? cpu=?
  rows+=("$(printf '%-16s %8s %8s  %s' prebuild "$wall s" "$cpu s" "built ${presets[*]:1} (alongside)")")
fi

echo
printf '%-16s %8s %8s  %s\n' stage time cpu result
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
