# Checks a built zelvane_info.dll the way a host's loader sees it: exactly
# one export, getPlugin, undecorated, at ordinal 1; imports from Windows
# system DLLs only (no compiler runtime DLL, no borlndmm.dll).
#   cmake -DOBJDUMP=<objdump> -DDLL=<dll> -DPOINTER_SIZE=<4|8> -P check_dll_tables.cmake

cmake_minimum_required(VERSION 3.25)

# DLLs that ship with every Windows; compared case-insensitively.
set(system_dlls
  kernel32.dll msvcrt.dll user32.dll gdi32.dll shell32.dll comdlg32.dll
  comctl32.dll advapi32.dll ole32.dll shlwapi.dll)

execute_process(COMMAND ${OBJDUMP} -p ${DLL}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed: ${errors}")
endif()
set(failures)

if(POINTER_SIZE EQUAL 4)
  set(format pei-i386)
else()
  set(format pei-x86-64)
endif()
if(NOT dump MATCHES "file format ${format}\n")
  list(APPEND failures "not a ${format} image")
endif()

# Export table.
if(NOT dump MATCHES "\nName[ \t]+[0-9a-fA-F]+ zelvane_info\\.dll\n")
  list(APPEND failures "export table does not name zelvane_info.dll")
endif()
if(NOT dump MATCHES "\nOrdinal Base[ \t]+1\n")
  list(APPEND failures "ordinal base is not 1")
endif()
string(REGEX MATCH "Export Address Table -- Ordinal Base 1\n(\t[^\n]*\n)*" address_table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" addresses "${address_table}")
list(LENGTH addresses address_count)
if(NOT address_count EQUAL 1 OR NOT address_table MATCHES "\t\\[ +0\\] \\+base\\[ +1\\] ")
  list(APPEND failures "export address table is not exactly ordinal 1: ${address_table}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]*\n)*" name_table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]*" names "${name_table}")
string(REGEX REPLACE "\t\\[ *[0-9]+\\] " "" names "${names}")
if(NOT names STREQUAL "getPlugin")
  list(APPEND failures "exported names are '${names}', not exactly 'getPlugin'")
endif()

# Import table.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
if(NOT imports)
  list(APPEND failures "no import table found")
endif()
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" lowered)
  if(NOT lowered IN_LIST system_dlls)
    list(APPEND failures "imports ${import}, which is not a Windows system DLL")
  endif()
endforeach()

file(SIZE ${DLL} size)
message(STATUS "${DLL}: ${format}, ${size} bytes")
message(STATUS "exports: ${names} (ordinal 1)")
message(STATUS "imports: ${imports}")
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${DLL}:\n  ${text}")
endif()
