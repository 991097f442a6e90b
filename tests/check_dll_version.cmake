# Reads the version resource of a built zelvane_info.dll back from the file,
# as the Details page of its properties shows it: the fixed version numbers,
# the translation and the strings of its one string table.
#   cmake -DOBJDUMP=<objdump> -DDLL=<dll> -DVERSION=<x.y[.z[.w]]> -P check_dll_version.cmake

cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -p -h ${DLL}
  OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p -h ${DLL} failed: ${errors}")
endif()

# Where the version resource's bytes lie in the file: its leaf in the
# resource directory gives an address relative to the image base, the
# section table the file offset of the .rsrc section.
if(NOT dump MATCHES "\nImageBase[ \t]+([0-9a-fA-F]+)\n")
  message(FATAL_ERROR "${DLL}: no image base in the header")
endif()
set(image_base 0x${CMAKE_MATCH_1})
if(NOT dump MATCHES "\n +[0-9]+ \\.rsrc +[0-9a-fA-F]+ +([0-9a-fA-F]+) +[0-9a-fA-F]+ +([0-9a-fA-F]+)")
  message(FATAL_ERROR "${DLL}: no .rsrc section")
endif()
math(EXPR section_rva "0x${CMAKE_MATCH_1} - ${image_base}")
set(section_offset 0x${CMAKE_MATCH_2})
# The first leaf below the type table's entry for type 16 (RT_VERSION).
string(REGEX MATCH "\n[0-9a-fA-F]+   Entry: ID: 0x000010,.*" version_tree "${dump}")
string(REGEX MATCH "Leaf: Addr: 0x([0-9a-fA-F]+), Size: 0x([0-9a-fA-F]+)" leaf "${version_tree}")
if(NOT leaf)
  message(FATAL_ERROR "${DLL}: no version resource (type 16) in the resource directory")
endif()
math(EXPR resource_offset "${section_offset} + 0x${CMAKE_MATCH_1} - ${section_rva}")
math(EXPR resource_size "0x${CMAKE_MATCH_2}")
file(READ ${DLL} blob OFFSET ${resource_offset} LIMIT ${resource_size} HEX)

# zv_word(VAR OFFSET [BYTES]): the little-endian number of 2 (or 4) bytes at
# OFFSET of the resource.
function(zv_word var offset)
  set(bytes 2)
  if(ARGC GREATER 2)
    set(bytes ${ARGV2})
  endif()
  math(EXPR at "${offset} * 2")
  set(number "")
  foreach(i RANGE 1 ${bytes})
    math(EXPR byte_at "${at} + (${bytes} - ${i}) * 2")
    string(SUBSTRING "${blob}" ${byte_at} 2 byte)
    string(APPEND number ${byte})
  endforeach()
  math(EXPR number "0x${number}" OUTPUT_FORMAT HEXADECIMAL)
  set(${var} ${number} PARENT_SCOPE)
endfunction()

# zv_text(VAR END_VAR OFFSET): the NUL-terminated UTF-16 text at OFFSET, as
# ASCII (other characters become '?'), and the offset after its NUL.
function(zv_text var end_var offset)
  set(text "")
  set(at ${offset})
  while(TRUE)
    zv_word(unit ${at})
    math(EXPR at "${at} + 2")
    if(unit EQUAL 0)
      break()
    elseif(unit LESS 128)
      math(EXPR code "${unit}")
      string(ASCII ${code} char)
      string(APPEND text "${char}")
    else()
      string(APPEND text "?")
    endif()
  endwhile()
  set(${var} "${text}" PARENT_SCOPE)
  set(${end_var} ${at} PARENT_SCOPE)
endfunction()

# zv_walk(OFFSET PATH): one node of the version information (length, value
# length, type, key, value, children, each part 32-bit aligned) and its
# children. Text values are recorded as global properties named by their
# path (\StringFileInfo\<table>\<key>); binary ones under their path as hex.
function(zv_walk offset path)
  zv_word(length ${offset})
  math(EXPR value_length_at "${offset} + 2")
  zv_word(value_length ${value_length_at})
  math(EXPR type_at "${offset} + 4")
  zv_word(type ${type_at})
  math(EXPR key_at "${offset} + 6")
  zv_text(key key_end ${key_at})
  math(EXPR value_at "(${key_end} + 3) / 4 * 4")
  if(value_length EQUAL 0)
    set(value "")
    set(value_bytes 0)
  elseif(type EQUAL 1)
    # A text's value length counts 16-bit units, its NUL included.
    zv_text(value value_end ${value_at})
    math(EXPR value_bytes "${value_length} * 2")
  else()
    set(value_bytes ${value_length})
    math(EXPR hex_at "${value_at} * 2")
    math(EXPR hex_length "${value_length} * 2")
    string(SUBSTRING "${blob}" ${hex_at} ${hex_length} value)
  endif()
  if(path STREQUAL "")
    set(node_path "${key}")
  else()
    set(node_path "${path}\\${key}")
  endif()
  set_property(GLOBAL PROPERTY "zv:${node_path}" "${value}")
  set_property(GLOBAL PROPERTY "zv:${node_path}:at" ${value_at})
  math(EXPR child "(${value_at} + ${value_bytes} + 3) / 4 * 4")
  math(EXPR end "${offset} + ${length}")
  if(end GREATER resource_size OR length LESS 6)
    message(FATAL_ERROR "${DLL}: version node '${node_path}' runs past the resource")
  endif()
  while(child LESS end)
    zv_walk(${child} "${node_path}")
    zv_word(child_length ${child})
    math(EXPR child "(${child} + ${child_length} + 3) / 4 * 4")
  endwhile()
endfunction()

zv_walk(0 "")
set(failures)

# The fixed part: signature, file and product version, DLL for 32-bit Windows.
get_property(fixed_at GLOBAL PROPERTY "zv:VS_VERSION_INFO:at")
if(NOT fixed_at)
  message(FATAL_ERROR "${DLL}: the version resource does not start with VS_VERSION_INFO")
endif()
string(REPLACE "." ";" numbers "${VERSION}.0.0.0")
list(SUBLIST numbers 0 4 numbers)
list(GET numbers 0 major)
list(GET numbers 1 minor)
list(GET numbers 2 patch)
list(GET numbers 3 tweak)
math(EXPR version_ms "(${major} << 16) | ${minor}" OUTPUT_FORMAT HEXADECIMAL)
math(EXPR version_ls "(${patch} << 16) | ${tweak}" OUTPUT_FORMAT HEXADECIMAL)
set(fixed_fields
  signature 0 0xfeef04bd
  file_version_ms 8 ${version_ms} file_version_ls 12 ${version_ls}
  product_version_ms 16 ${version_ms} product_version_ls 20 ${version_ls}
  file_os 32 0x40004 file_type 36 0x2)
while(fixed_fields)
  list(POP_FRONT fixed_fields name offset expected)
  math(EXPR at "${fixed_at} + ${offset}")
  zv_word(actual ${at} 4)
  if(NOT actual EQUAL expected)
    list(APPEND failures "fixed ${name} is ${actual}, not ${expected}")
  endif()
endwhile()

# One translation, U.S. English in Unicode, and its string table.
get_property(translation GLOBAL PROPERTY "zv:VS_VERSION_INFO\\VarFileInfo\\Translation")
string(TOLOWER "${translation}" translation)
if(NOT translation STREQUAL "0904b004")
  list(APPEND failures "translation is '${translation}', not 0409 04b0")
endif()
set(table "VS_VERSION_INFO\\StringFileInfo\\040904B0")
set(strings
  FileVersion "${VERSION}"
  ProductVersion "${VERSION}"
  ProductName "zelvane_info"
  OriginalFilename "zelvane_info.dll"
  FileDescription "")
while(strings)
  list(POP_FRONT strings key expected)
  get_property(defined GLOBAL PROPERTY "zv:${table}\\${key}" SET)
  get_property(actual GLOBAL PROPERTY "zv:${table}\\${key}")
  if(NOT defined)
    list(APPEND failures "no ${key} in the string table 040904B0")
  elseif(expected STREQUAL "" AND actual STREQUAL "")
    list(APPEND failures "${key} is empty")
  elseif(NOT expected STREQUAL "" AND NOT actual STREQUAL expected)
    list(APPEND failures "${key} is '${actual}', not '${expected}'")
  else()
    message(STATUS "${key}: ${actual}")
  endif()
endwhile()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "${DLL}:\n  ${text}")
endif()
message(STATUS "${DLL}: version resource ${VERSION} (${version_ms} ${version_ls})")
