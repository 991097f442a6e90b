# Cross-build for 64-bit Windows with mingw-w64. Test programs run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Each build folder gets a Wine prefix of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh ${CMAKE_BINARY_DIR}/wine/prefix)
