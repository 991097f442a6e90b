# Structured exception handling (__try/__except) for the Windows builds.
# GCC cannot compile __try, so C files that need it are compiled by clang for
# the same mingw-w64 target and linked into the GCC-built program as objects.
# For x64 only: clang 14 cannot compile __try for i686 mingw, where the
# 32-bit host registers its handler on the fs:[0] chain instead
# (programs/zelvane-lcd/loader/win32/seh_call_x86.c).
#
#   zv_target_seh_sources(<target> SOURCES <file.c>... [INCLUDES <dir>...])

find_program(ZV_CLANG clang REQUIRED)

function(zv_target_seh_sources target)
  cmake_parse_arguments(ARG "" "" "SOURCES;INCLUDES" ${ARGN})
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(triple x86_64-w64-mingw32)
  else()
    set(triple i686-w64-mingw32)
  endif()
  set(include_flags)
  foreach(dir IN LISTS ARG_INCLUDES)
    list(APPEND include_flags -I${dir})
  endforeach()
  foreach(source IN LISTS ARG_SOURCES)
    get_filename_component(source "${source}" ABSOLUTE)
    get_filename_component(name "${source}" NAME_WE)
    set(object "${CMAKE_CURRENT_BINARY_DIR}/${target}_seh/${name}.obj")
    # --sysroot keeps clang off the build machine's own headers.
    add_custom_command(
      OUTPUT "${object}"
      COMMAND ${ZV_CLANG} --target=${triple} --sysroot=/usr/${triple} -fms-extensions
              -O2 -Wall -Wextra -std=c11 ${include_flags} -MD -MF "${object}.d"
              -c "${source}" -o "${object}"
      DEPENDS "${source}"
      DEPFILE "${object}.d"
      COMMENT "Compiling ${name}.c with clang (__try/__except)"
      VERBATIM)
    target_sources(${target} PRIVATE "${object}")
    set_source_files_properties("${object}" PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  endforeach()
endfunction()
