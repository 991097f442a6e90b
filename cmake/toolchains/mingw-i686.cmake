# Cross-build for 32-bit x86 Windows, the DLL we ship, with mingw-w64. Test
# programs run under 32-bit Wine (Debian's wine32:i386).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
