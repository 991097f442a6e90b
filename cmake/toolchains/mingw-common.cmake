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
