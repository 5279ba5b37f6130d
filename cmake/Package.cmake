# The Debian package: cpack -G DEB in a tree configured with the prefix it
# installs to (preset package: /usr), since the system directory and the
# tmpfiles entry are found through paths fixed at build time. After
# installing, the package runs `vkdiag setup`.
set(CPACK_PACKAGE_NAME vkdiag)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "diagnostics library: log files, debug trace, registry and event log in SQLite, with its operator's tool")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "vkdiag developers <vkdiag@localhost>")
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
