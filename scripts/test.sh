#!/usr/bin/env bash
# Builds everything and runs every test stage: scripts/stages/*.sh in order.
# Each stage lists the Debian packages it needs in scripts/packages/<stage>.txt.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

stages=(scripts/stages/*.sh)
lists=()
for stage in "${stages[@]}"; do
  name=$(basename "$stage" .sh)
  [ -f "scripts/packages/$name.txt" ] && lists+=("scripts/packages/$name.txt")
done
zv_require_packages "${lists[@]}"

failed=()
for stage in "${stages[@]}"; do
  echo "=== $(basename "$stage" .sh)"
  if ! bash "$stage"; then
    failed+=("$(basename "$stage" .sh)")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED stages: ${failed[*]}"
  exit 1
fi
echo "All stages passed."
