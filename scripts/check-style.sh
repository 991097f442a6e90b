#!/usr/bin/env bash
# Checks the C++ sources of src/ tools/ tests/ bench/ fuzz/ with clang-format
# (.clang-format) and clang-tidy (.clang-tidy, compile commands of the linux
# preset). Fails on any difference or finding.
#   scripts/check-style.sh          check both
#   scripts/check-style.sh --fix    rewrite the files' formatting, then check
# clang-tidy sees the files the Linux build compiles; the Windows backends
# (*/win32/*) are checked for formatting only.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

dirs=(src tools tests bench fuzz)
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
  "${dirs[@]/%//*.cpp}" "${dirs[@]/%//*.h}" | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no sources found"; exit 1; }

if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
fi

status=0
echo "clang-format: ${#files[@]} files"
clang-format --dry-run --Werror "${files[@]}" || status=1

# Configuring is enough: it writes build/linux/compile_commands.json.
cmake --preset linux >/dev/null
root_pattern=$(printf '%s' "$ZV_ROOT" | sed 's/[][\.*^$+?(){}|]/\\&/g')
echo "clang-tidy: $(IFS='|'; echo "${dirs[*]}")"
run-clang-tidy -p build/linux -j 2 -quiet "^$root_pattern/($(IFS='|'; echo "${dirs[*]}"))/" 2>&1 |
  sed 's/\x1b\[[0-9;]*m//g' >build/linux/clang-tidy.log || status=1
if [ $status -ne 0 ] || grep -qE '(warning|error):' build/linux/clang-tidy.log; then
  grep -E -A3 '(warning|error):' build/linux/clang-tidy.log | grep -v '^clang-tidy-' || true
  status=1
fi
[ $status -eq 0 ] && echo "style: clean"
exit $status
