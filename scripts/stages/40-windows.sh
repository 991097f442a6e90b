#!/usr/bin/env bash
# Windows: cross-builds the shipping 32-bit DLL and a 64-bit build of the
# same sources, checks both DLLs' export and import tables, and runs every
# test of each build under Wine: 32-bit programs under Debian's 32-bit Wine
# (wine32:i386), 64-bit ones under wine64 (cmake/wine-run.sh picks the
# loader). Each build has a Wine prefix of its own (build/<preset>/wine),
# created by its first test. Then, per build, the figures: memory around
# many errors in a row caught as a host catches them, and GetValue against a
# baseline. Prints the time of each build's part. Where 32-bit programs run
# under emulation, the win32 figures are labelled as the emulator's.
# zv-stage: 32-bit
set -euo pipefail
source "$(dirname "$0")/../lib.sh"
cd "$ZV_ROOT"
for preset in win32 win64; do
  start=$SECONDS
  echo "--- $preset"
  zv_build "$preset"
  if [ "$preset" = win32 ] && ! zv_runs_32bit; then
    # The checks that read the DLL's file, without CTest: CTest would start
    # every test program once to list its cases.
    dll=build/$preset/bin/zelvane_info.dll
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL="$dll" -DPOINTER_SIZE=4 \
      -P tests/check_dll_tables.cmake
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL="$dll" \
      -DVERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$preset/CMakeCache.txt")" \
      -P tests/check_dll_version.cmake
    zv_note "win32: built and its DLL's tables and version checked; its test programs NOT RUN:" \
      "skipped on purpose (ZV_SKIP_32BIT=1)"
    continue
  fi
  label=
  if [ "$preset" = win32 ]; then
    how=$(zv_32bit_how)
    how=${how#emulated (}
    [ "$how" = natively ] || label=" [under ${how%)} emulation: the emulator's figures, not the DLL's]"
  fi
  ctest --preset "$preset"
  # The error soak's figures, from the log of the run above.
  grep -a '^host errors:' "build/$preset/Testing/Temporary/LastTest.log" | awk -v l="$label" '{ print $0 l }'
  [ -z "$label" ] || echo "--- $preset: get_value_dll_bench$label"
  cmake/wine-run.sh "$PWD/build/$preset/wine/prefix" "build/$preset/bin/get_value_dll_bench.exe"
  echo "--- $preset: $((SECONDS - start)) s"
done
ls -l build/win32/bin/zelvane_info.dll build/win64/bin/zelvane_info.dll
