# `cmake --build build --target package` makes a Debian package of what
# `cmake --install` installs, under /usr: the tool and the library with its
# headers, CMake and pkg-config files, the man page, shell completions,
# systemd units, documents and examples. Its dependencies come from
# dpkg-shlibdeps (Debian package dpkg-dev).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnalert)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tarnalert maintainers <maintainers@tarnalert.example.org>"
  CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "client-side alert library of a Tarnhold installation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The library that the agents and services of a Tarnhold client load to raise
alerts: failover alerts are evaluated on the client against the configuration
the management server pushed and sent as e-mail; every other alert is spooled
for the management server. The tarnalert tool tries configurations and
templates, sends and renders alerts, and flushes the mail outbox and forwards
the spool, with systemd units that run both.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file, and the ldconfig trigger instead of CPack's ldconfig calls
# (its own maintainer scripts replace those).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers
  ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# A Debian package carries a changelog; this one names the version (its
# date is the configure time, or SOURCE_DATE_EPOCH).
string(TIMESTAMP TARNALERT_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP} -9 -n -k -f ${PROJECT_BINARY_DIR}/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(tarnalert_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

include(CPack)
