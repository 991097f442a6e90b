# Install rules and the release packages, made by CPack from this build
# tree (CMakePresets.json: package presets win32, win64, linux and deb).
#
# Windows: zelvane_info-<version>-win32.zip (-win64 for the 64-bit build),
# one folder holding the DLL exactly as built and tested, the users' README,
# the licence and the SHA-256 sums of those three.
# Linux: zelvane_info-<version>-linux-<processor>.tar.gz, and the same files
# with `cmake --install`: the module, the two stand-ins, the public header,
# the docs and their sums.
# Debian: zelvane-info_<version>_<architecture>.deb (cmake/ZvDebian.cmake).
# Nothing is rebuilt on the way, and only the Debian package strips: the
# packaged binaries are the build's own files.

include(GNUInstallDirs)

set(zv_release_docs ${PROJECT_BINARY_DIR}/release-docs)

# zv_user_text(TEXT DESTINATION [WINDOWS]): TEXT (UTF-8, LF line ends)
# written to DESTINATION under the release docs folder. WINDOWS gives CRLF
# line ends and a UTF-8 byte-order mark, so that every Notepad shows the
# Russian text right (without the mark older ones take the file for the
# ANSI code page) and breaks its lines.
function(zv_user_text text destination)
  cmake_parse_arguments(ARG "WINDOWS" "" "" ${ARGN})
  if(ARG_WINDOWS)
    string(REPLACE "\n" "\r\n" text "${text}")
    string(ASCII 239 187 191 byte_order_mark)
    set(text "${byte_order_mark}${text}")
  endif()
  # Rewritten only when the text changes, so the packages' files keep
  # their time stamps from one configure to the next.
  set(path ${zv_release_docs}/${destination})
  if(EXISTS ${path})
    file(READ ${path} old_text)
    if(old_text STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${path} "${text}")
endfunction()

# The users' README.txt: the user's guide in plain text, Russian and then
# English (scripts/user-readme.sh), made again when a guide changes.
set(zv_guides ${PROJECT_SOURCE_DIR}/docs/user-guide.ru.md ${PROJECT_SOURCE_DIR}/docs/user-guide.md)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zv_guides}
  ${PROJECT_SOURCE_DIR}/scripts/user-readme.sh)
execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/user-readme.sh ${zv_guides}
  OUTPUT_VARIABLE zv_readme RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "scripts/user-readme.sh could not write the users' README.txt")
endif()
file(READ ${PROJECT_SOURCE_DIR}/LICENSE zv_license)

if(WIN32)
  zv_user_text("${zv_readme}" README.txt WINDOWS)
  zv_user_text("${zv_license}" LICENSE.txt WINDOWS)
  install(TARGETS zelvane_info LIBRARY DESTINATION .)
  install(FILES ${zv_release_docs}/README.txt ${zv_release_docs}/LICENSE.txt DESTINATION .)
  set(zv_sums_file SHA256SUMS.txt)
  set(zv_sums_line_end CRLF)
else()
  zv_user_text("${zv_readme}" README.txt)
  # A plugin module, loaded by path: in a folder of its own.
  install(TARGETS zelvane_info LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zelvane_info)
  if(TARGET zelvane-lcd AND TARGET zelvane-monitor)
    install(TARGETS zelvane-lcd zelvane-monitor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/include/zelvane_info.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  # The plain README.txt, not README.md: that one is the source tree's
  # front page, whose links lead into the tree.
  install(FILES ${zv_release_docs}/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(zv_sums_file ${CMAKE_INSTALL_DOCDIR}/SHA256SUMS)
  set(zv_sums_line_end LF)
endif()

# Last of all the install rules (the subdirectories have none): the sums
# of every file installed before, in sha256sum's format with paths relative
# to the installation's root.
install(CODE "set(ZV_SUMS_FILE \"${zv_sums_file}\")\nset(ZV_SUMS_LINE_END ${zv_sums_line_end})")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/zv_write_sums.cmake)

if(NOT WIN32 AND TARGET zelvane-lcd AND TARGET zelvane-monitor)
  include(${PROJECT_SOURCE_DIR}/cmake/ZvDebian.cmake)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the zelvane_info developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zelvane 4 sensor readings for the Lumora 3 LCD host")
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(zv_package_system win32)
  else()
    set(zv_package_system win64)
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" zv_package_system)
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${zv_package_system})
# The download's own sum beside it: <package>.sha256.
set(CPACK_PACKAGE_CHECKSUM SHA256)
# No source packages.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
