# What `cmake --install` puts in place and what the Debian package (CPack,
# scripts/package) holds: the same set, the "marovane" component.
#   <prefix>/bin/marovane
#   <prefix>/lib/systemd/system/marovane.service   (the hardened unit, paths of this install)
#   <sysconfdir>/marovane/marovane.json             (example configuration; a conffile)
#   <docdir>/README.md
# The platform simulator is a component of its own ("platform-sim"), installed
# only on request: cmake --install <build> --component platform-sim.
include(GNUInstallDirs)

install(TARGETS marovane RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT marovane)

set(marovane_config_dir "${CMAKE_INSTALL_FULL_SYSCONFDIR}/marovane")
set(unit_source "${PROJECT_SOURCE_DIR}/examples/systemd/marovane.service")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${unit_source}")
file(READ "${unit_source}" unit_text)
string(REPLACE "/usr/bin/marovane" "${CMAKE_INSTALL_FULL_BINDIR}/marovane" unit_text "${unit_text}")
string(REPLACE "/etc/marovane" "${marovane_config_dir}" unit_text "${unit_text}")
string(REPLACE "/usr/share/doc/marovane" "${CMAKE_INSTALL_FULL_DOCDIR}" unit_text "${unit_text}")
file(WRITE "${PROJECT_BINARY_DIR}/packaging/marovane.service" "${unit_text}")

install(FILES "${PROJECT_BINARY_DIR}/packaging/marovane.service"
        DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" COMPONENT marovane)
# Readable by root only: it holds the Redis password. The unit hands the
# service a copy as a credential.
install(FILES "${PROJECT_SOURCE_DIR}/examples/marovane.json" DESTINATION "${marovane_config_dir}"
        PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT marovane)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${CMAKE_INSTALL_DOCDIR}"
        COMPONENT marovane)

# Maintainer scripts and the conffile list, with the paths of this install.
foreach(script conffiles postinst prerm postrm)
    configure_file("${PROJECT_SOURCE_DIR}/cmake/debian/${script}.in"
                   "${PROJECT_BINARY_DIR}/packaging/debian/${script}" @ONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marovane)
set(CPACK_PACKAGE_VENDOR marovane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "marovane maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keep-in and keep-out zone-violation alarms for a location-tracking platform")
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL marovane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_MAROVANE_PACKAGE_NAME marovane)
set(CPACK_DEBIAN_MAROVANE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "redis-server")
set(CPACK_DEBIAN_MAROVANE_PACKAGE_CONTROL_EXTRA
    "${PROJECT_BINARY_DIR}/packaging/debian/conffiles;${PROJECT_BINARY_DIR}/packaging/debian/postinst;${PROJECT_BINARY_DIR}/packaging/debian/prerm;${PROJECT_BINARY_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_MAROVANE_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
