# What both mingw-w64 toolchains share; the including file sets
# CMAKE_SYSTEM_PROCESSOR and ZV_MINGW_TRIPLE first. The posix thread-model
# drivers are the ones with std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZV_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${ZV_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${ZV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine (cmake/wine-run.sh picks the 32-bit or the
# 64-bit loader from each program's header). Each build folder gets a Wine
# prefix of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh ${CMAKE_BINARY_DIR}/wine/prefix)
