# Cross-build for 32-bit x86 Windows, the DLL we ship, with mingw-w64. 32-bit
# code cannot run on our build machines, so there is no emulator: the
# build's programs are inspected, never run.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
