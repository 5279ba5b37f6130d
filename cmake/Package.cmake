# The Debian package: cpack -G DEB in a tree configured with the prefix it
# installs to (preset package: /usr), since the system directory and the
# tmpfiles entry are found through paths fixed at build time. After
# installing, the package runs `vkdiag setup`.
set(CPACK_PACKAGE_NAME vkdiag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "diagnostics library for Windows components, and its tool")
# The extended description, in lines short enough for apt and lintian.
set(CPACK_PACKAGE_DESCRIPTION
    "vkdiag gives a component's code log files with a size limit, a debug
trace switched per program, a registry key wrapper, event reporting with a
shared message module and language resource modules, through the ANSI
Win32 API. On Linux its own platform layer keeps the registry and the event
logs in SQLite, in a machine store for root and the group vkdiag and a
store of each user's own, and sends trace texts to Unix sockets. The
package holds the shared and static libraries, the headers, the CMake and
pkg-config files, the message module and the operator's tool vkdiag, and
makes the group and the machine store when it is installed.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the vkdiag authors <vkdiag@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The shared libraries it links (libsqlite3-0, libstdc++6, ...) are found
# by dpkg-shlibdeps; setup needs groupadd.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
# rsyslog with its RELP modules runs the fleet examples in
# /usr/share/doc/vkdiag/examples.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libsqlite3-dev, pkg-config, cmake, rsyslog-relp")
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/postinst.in ${PROJECT_BINARY_DIR}/debian/postinst @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/postrm.in ${PROJECT_BINARY_DIR}/debian/postrm @ONLY)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/postinst ${PROJECT_BINARY_DIR}/debian/postrm
                                      ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
