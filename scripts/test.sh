#!/usr/bin/env bash
# Builds and runs the test stages: scripts/stages/*.sh, in order.
#   scripts/test.sh              every stage (what CI runs)
#   scripts/test.sh STAGE...     only those, e.g. scripts/test.sh 10-linux 40-windows
# Each stage lists the Debian packages it needs in scripts/packages/<stage>.txt;
# only the chosen stages' packages are installed. A failed stage does not stop
# the ones after it. At the end each stage's wall time is printed.
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

failed=()
for name in "${chosen[@]}"; do
  echo "=== $name"
  start=$SECONDS
  result=ok
  if ! bash "scripts/stages/$name.sh"; then
    failed+=("$name")
    result=FAILED
  fi
  rows+=("$(printf '%-16s %8s  %s' "$name" "$((SECONDS - start)) s" "$result")")
done

echo
printf '%-16s %8s  %s\n' stage time result
printf '%s\n' "${rows[@]}"
printf '%-16s %8s\n' total "$SECONDS s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED stages: ${failed[*]}"
  exit 1
fi
echo "All stages passed."
