#!/usr/bin/env bash
# Checks the C++ sources of src/ shared/ programs/ tests/ bench/ fuzz/ with clang-format
# (.clang-format) and clang-tidy (.clang-tidy). Fails on any difference or
# finding. (The stages, scripts and links the documents name are checked by
# tests/scripts/check_docs.sh, CTest docs.)
#   scripts/check-style.sh          check both
#   scripts/check-style.sh --fix    rewrite the files' formatting, then check
# clang-tidy sees every file the Linux build compiles (compile commands of
# the linux preset), then the files only the Windows build compiles (the
# win32 backends, the Windows tests and their support) with the compile
# commands of the 64-bit cross build (win64 preset), as clang for the mingw
# target with mingw's C++ headers.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$ZV_ROOT"

dirs=(src shared programs tests bench fuzz)
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
  "${dirs[@]/%//*.cpp}" "${dirs[@]/%//*.h}" | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no sources found"; exit 1; }

if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
fi

status=0
echo "clang-format: ${#files[@]} files"
clang-format --dry-run --Werror "${files[@]}" || status=1

# The source files of a compile database, one per line.
database_files() {
  grep -o '"file": "[^"]*"' "$1/compile_commands.json" | sed 's/^"file": "//; s/"$//' | sort -u
}

# An extended regular expression matching exactly the given lines.
exact_pattern() {
  local body
  body=$(sed 's/[][\.*^$+?(){}|]/\\&/g' | paste -sd '|')
  printf '^(%s)$' "$body"
}

# tidy BUILD_DIR LOG FILE_PATTERN [EXTRA_ARG...]: run-clang-tidy over the
# database's files that match; the findings go to LOG.
tidy() {
  local build=$1 log=$2 pattern=$3
  shift 3
  local extra=()
  for arg in "$@"; do
    extra+=("-extra-arg=$arg")
  done
  local result=0
  run-clang-tidy -p "$build" -j 2 -quiet "${extra[@]}" "$pattern" 2>&1 |
    sed 's/\x1b\[[0-9;]*m//g' >"$log" || result=1
  if [ $result -ne 0 ] || grep -qE '(warning|error):' "$log"; then
    grep -E -A3 '(warning|error):' "$log" | grep -v '^clang-tidy-' || true
    return 1
  fi
}

# Configuring is enough: it writes compile_commands.json. The presets are
# configured into folders of their own (build/style/<preset>), so that this
# can run while a test stage builds the same presets.
linux=build/style/linux
win64=build/style/win64
cmake --preset linux -B "$linux" >/dev/null
root_pattern=$(printf '%s' "$ZV_ROOT" | sed 's/[][\.*^$+?(){}|]/\\&/g')
echo "clang-tidy (linux): $(IFS='|'; echo "${dirs[*]}")"
tidy "$linux" "$linux/clang-tidy.log" "^$root_pattern/($(IFS='|'; echo "${dirs[*]}"))/" ||
  status=1

cmake --preset win64 -B "$win64" >/dev/null
mapfile -t windows_only < <(comm -23 <(database_files "$win64") <(database_files "$linux") |
  grep -E "^$root_pattern/($(IFS='|'; echo "${dirs[*]}"))/.*\.(cpp|c)$")
echo "clang-tidy (win64): ${#windows_only[@]} files only the Windows build compiles"
# clang finds no GCC installation in Debian's mingw folders (named 12-posix,
# not by version), so mingw's C++ headers are given as the cross compiler
# lists them; --sysroot gives the mingw C headers and keeps the build
# machine's own out.
triple=x86_64-w64-mingw32
mapfile -t cxx_includes < <("$triple-g++-posix" -E -x c++ -v - </dev/null 2>&1 |
  sed -n 's/^ \(\/.*\/include\/c++.*\)$/\1/p')
win_args=("--target=$triple" "--sysroot=/usr/$triple")
for dir in "${cxx_includes[@]}"; do
  win_args+=("-isystem$(realpath "$dir")")
done
# GCC's spelling of hidden inline visibility on Windows, which clang does not
# know, is left out of a copy of the commands.
mkdir -p "$win64/tidy"
sed 's/ -fno-keep-inline-dllexport//g' "$win64/compile_commands.json" \
  >"$win64/tidy/compile_commands.json"
tidy "$win64/tidy" "$win64/clang-tidy.log" \
  "$(printf '%s\n' "${windows_only[@]}" | exact_pattern)" "${win_args[@]}" || status=1

[ $status -eq 0 ] && echo "style: clean"
exit $status
