#!/usr/bin/env bash
# Windows: cross-builds the shipping 32-bit DLL and a 64-bit build, checks
# both DLLs' export and import tables, and runs the 64-bit tests under Wine.
# 32-bit Windows code cannot run on our machines; only its DLL is checked.
# The first Wine start creates the build's own prefix (build/win64/wine).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset win32
cmake --build --preset win32
ctest --preset win32
cmake --preset win64
cmake --build --preset win64
ctest --preset win64
ls -l build/win32/bin/zelvane_info.dll build/win64/bin/zelvane_info.dll
