# Install-time step (cmake/ZvRelease.cmake runs it after every other install
# rule): writes ZV_SUMS_FILE, relative to the installation's root, with the
# SHA-256 of each file installed so far, in sha256sum's format ("<hash>  <path>",
# sorted by path), so that `sha256sum -c` checks it from the root. Lines end
# in ZV_SUMS_LINE_END (LF or CRLF; sha256sum reads both).

set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(ZV_SUMS_LINE_END STREQUAL "CRLF")
  set(line_end "\r\n")
else()
  set(line_end "\n")
endif()
set(sums_path "${root}/${ZV_SUMS_FILE}")

set(paths)
foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  # Manifest entries leave DESTDIR out.
  set(file "$ENV{DESTDIR}${file}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "installed file not found: ${file}")
  endif()
  file(RELATIVE_PATH path "${root}" "${file}")
  if(path MATCHES "^\\.\\./" OR path STREQUAL ZV_SUMS_FILE)
    continue()
  endif()
  list(APPEND paths "${path}")
endforeach()
list(REMOVE_DUPLICATES paths)
list(SORT paths)

set(text "")
foreach(path IN LISTS paths)
  file(SHA256 "${root}/${path}" hash)
  string(APPEND text "${hash}  ${path}${line_end}")
endforeach()
message(STATUS "Installing: ${sums_path} (${ZV_SUMS_LINE_END})")
file(WRITE "${sums_path}" "${text}")
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${CMAKE_INSTALL_PREFIX}/${ZV_SUMS_FILE}")
