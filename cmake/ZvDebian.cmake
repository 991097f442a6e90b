# The Debian package zelvane-info, made by CPack's DEB generator from the
# Linux build tree (`cpack --preset deb`):
#   build/release/zelvane-info_<version>_<architecture>.deb
# Its files are install rules of their own, in the component "deb" and left
# out of a plain `cmake --install` (which installs the tarball's files):
#   /usr/bin/zelvane-lcd, /usr/bin/zelvane-monitor   the programs
#   /usr/lib/zelvane_info/zelvane_info.so            the module, where
#                                                    zelvane-lcd looks for it
#   /usr/include/zelvane_info.h
#   /etc/zelvane-lcd.conf                            a conffile
#   /lib/systemd/system/zelvane-{lcd,monitor}.service
#   /usr/lib/sysusers.d/zelvane-info.conf            the system user _zelvane
#   /usr/share/man/man1/zelvane-{lcd,monitor}.1.gz
#   /usr/share/doc/zelvane-info/                     README.txt, copyright,
#                                                    changelog.gz
# The binaries are the build's own, stripped as Debian strips them; the
# sources of everything else are in packaging/.

set(zv_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(zv_deb_files ${PROJECT_BINARY_DIR}/debian)
set(zv_deb_name zelvane-info)
set(zv_deb_docdir share/doc/${zv_deb_name})

# The changelog's newest entry names the project's version, so a release
# cannot go out without saying what changed.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${zv_packaging}/debian/changelog)
file(STRINGS ${zv_packaging}/debian/changelog zv_deb_newest LIMIT_COUNT 1)
string(REPLACE "." "\\." zv_version_pattern "${PROJECT_VERSION}")
if(NOT zv_deb_newest MATCHES "^${zv_deb_name} \\(${zv_version_pattern}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the newest entry is not version "
    "${PROJECT_VERSION} (the project's version); add one that says what changed")
endif()

# zv_deb_gzip(SOURCE NAME): SOURCE, with @PROJECT_VERSION@ filled in,
# compressed as Debian wants man pages and changelogs (gzip -9n: no name
# or time stamp inside, so the same text gives the same bytes) to NAME.gz
# under the build's debian folder; rewritten only when the text changes
# (configure_file leaves an unchanged file, and its time, alone).
function(zv_deb_gzip source name)
  set(plain ${zv_deb_files}/${name})
  configure_file(${source} ${plain} @ONLY)
  if(EXISTS ${plain}.gz AND NOT ${plain} IS_NEWER_THAN ${plain}.gz)
    return()
  endif()
  execute_process(COMMAND gzip -9n -c ${plain} OUTPUT_FILE ${plain}.gz RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip -9n ${plain} failed")
  endif()
endfunction()

zv_deb_gzip(${zv_packaging}/zelvane-lcd.1 zelvane-lcd.1)
zv_deb_gzip(${zv_packaging}/zelvane-monitor.1 zelvane-monitor.1)
zv_deb_gzip(${zv_packaging}/debian/changelog changelog)

set(zv_deb COMPONENT deb EXCLUDE_FROM_ALL)
install(PROGRAMS $<TARGET_FILE:zelvane-lcd> $<TARGET_FILE:zelvane-monitor>
  DESTINATION ${CMAKE_INSTALL_BINDIR} ${zv_deb})
install(FILES $<TARGET_FILE:zelvane_info> DESTINATION ${CMAKE_INSTALL_LIBDIR}/zelvane_info ${zv_deb})
install(FILES ${PROJECT_SOURCE_DIR}/include/zelvane_info.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  ${zv_deb})
install(FILES ${zv_packaging}/zelvane-lcd.conf DESTINATION /etc ${zv_deb})
install(FILES ${zv_packaging}/zelvane-lcd.service ${zv_packaging}/zelvane-monitor.service
  DESTINATION /lib/systemd/system ${zv_deb})
install(FILES ${zv_packaging}/zelvane-info.sysusers DESTINATION /usr/lib/sysusers.d
  RENAME zelvane-info.conf ${zv_deb})
install(FILES ${zv_deb_files}/zelvane-lcd.1.gz ${zv_deb_files}/zelvane-monitor.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 ${zv_deb})
install(FILES ${zv_release_docs}/README.txt ${zv_packaging}/debian/copyright
  ${zv_deb_files}/changelog.gz DESTINATION ${zv_deb_docdir} ${zv_deb})
# Stripped as dh_strip does: debug information and symbols that nothing
# links against, and the compiler's notes.
install(CODE "
  foreach(file bin/zelvane-lcd bin/zelvane-monitor ${CMAKE_INSTALL_LIBDIR}/zelvane_info/$<TARGET_FILE_NAME:zelvane_info>)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
      --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()" ${zv_deb})

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE zv_deb_architecture
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(CPACK_DEBIAN_PACKAGE_NAME ${zv_deb_name})
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${zv_deb_architecture})
set(CPACK_DEBIAN_FILE_NAME ${zv_deb_name}_${PROJECT_VERSION}_${zv_deb_architecture}.deb)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the zelvane_info developers <maintainers@zelvane-info.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zelvane sensor readings on an LCD through LCDd
zelvane-lcd shows screens of temperatures, fan speeds and voltages on any
display that LCDd (LCDproc's server) drives. Its screens, and how long LCDd
shows each in its rotation, are described in /etc/zelvane-lcd.conf; a screen
under the $zvCheck$ condition leaves the rotation while the readings are
missing. zelvane-monitor reads the machine's sensors through libsensors and
publishes them in shared memory, where the zelvane_info plugin module reads
them. Both run as systemd services of their own system user.")
# The libraries the binaries link, from dpkg-shlibdeps; the system user
# needs systemd-sysusers.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "systemd | systemd-standalone-sysusers | systemd-sysusers")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "lcdproc, lm-sensors")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${zv_packaging}/debian/conffiles
  ${zv_packaging}/debian/postinst ${zv_packaging}/debian/prerm ${zv_packaging}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What only the DEB generator uses: its component, /usr as the prefix, and
# absolute destinations (/etc, /lib) through DESTDIR.
set(zv_cpack_options ${PROJECT_BINARY_DIR}/ZvCPackOptions.cmake)
file(WRITE ${zv_cpack_options} "if(CPACK_GENERATOR STREQUAL \"DEB\")
  set(CPACK_INSTALL_CMAKE_PROJECTS \"${PROJECT_BINARY_DIR};${PROJECT_NAME};deb;/\")
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
")
set(CPACK_PROJECT_CONFIG_FILE ${zv_cpack_options})
