# What `cmake --install` puts in place and what the Debian package (CPack,
# scripts/package) holds: the same set, the "marovane" component.
#   <prefix>/bin/marovane, <prefix>/bin/marovane-ctl
#   <prefix>/lib/systemd/system/marovane.service   (the hardened unit, paths of this install)
#   <sysconfdir>/marovane/marovane.json             (example configuration; a conffile)
#   <mandir>/man8/marovane.8.gz, man1/marovane-ctl.1.gz (the manual pages)
#   <docdir>/README.md, operations.md (the runbook), copyright (machine-readable), changelog.gz
#   <datadir>/marovane/monitoring/                  (alert rules, their tests, the dashboard)
#   <datadir>/lintian/overrides/marovane            (each override with its reason; prefix /usr only)
# The platform simulator is a component of its own ("platform-sim"), installed
# only on request: cmake --install <build> --component platform-sim.
include(GNUInstallDirs)

set(MAROVANE_PACKAGE_MAINTAINER "marovane maintainers <marovane@packages.example.org>"
    CACHE STRING "Maintainer field of the Debian package")

install(TARGETS marovane marovane-ctl RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}"
        COMPONENT marovane)

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
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/docs/operations.md"
              "${PROJECT_SOURCE_DIR}/cmake/debian/copyright"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT marovane)

# Compressed the way Debian wants them (gzip -9n: no name, no time stamp, so
# the same sources give the same package). Made at configure time, like the
# unit; a changed source reconfigures.
function(marovane_gzip source output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    execute_process(COMMAND gzip -9n -c "${source}" OUTPUT_FILE "${output}"
                    RESULT_VARIABLE gzip_status)
    if(NOT gzip_status EQUAL 0)
        message(FATAL_ERROR "gzip of ${source} failed: ${gzip_status}")
    endif()
endfunction()
configure_file("${PROJECT_SOURCE_DIR}/docs/man/marovane.8"
               "${PROJECT_BINARY_DIR}/packaging/man/marovane.8" @ONLY)
marovane_gzip("${PROJECT_BINARY_DIR}/packaging/man/marovane.8"
              "${PROJECT_BINARY_DIR}/packaging/man/marovane.8.gz")
marovane_gzip("${PROJECT_SOURCE_DIR}/cmake/debian/changelog"
              "${PROJECT_BINARY_DIR}/packaging/changelog.gz")
install(FILES "${PROJECT_BINARY_DIR}/packaging/man/marovane.8.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man8" COMPONENT marovane)
configure_file("${PROJECT_SOURCE_DIR}/docs/man/marovane-ctl.1"
               "${PROJECT_BINARY_DIR}/packaging/man/marovane-ctl.1" @ONLY)
marovane_gzip("${PROJECT_BINARY_DIR}/packaging/man/marovane-ctl.1"
              "${PROJECT_BINARY_DIR}/packaging/man/marovane-ctl.1.gz")
install(FILES "${PROJECT_BINARY_DIR}/packaging/man/marovane-ctl.1.gz"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT marovane)
install(FILES "${PROJECT_BINARY_DIR}/packaging/changelog.gz" DESTINATION "${CMAKE_INSTALL_DOCDIR}"
        COMPONENT marovane)

# The monitoring bundle, as in examples/monitoring/ minus the list of metric
# names still to come, which only the tree's check reads.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/examples/monitoring/"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/marovane/monitoring" COMPONENT marovane
        PATTERN "pending-metrics.txt" EXCLUDE)
# Read by lintian only, on the package (whose prefix is /usr).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME marovane
            COMPONENT marovane)
endif()

# Maintainer scripts and the conffile list, with the paths of this install.
foreach(script conffiles postinst prerm postrm)
    configure_file("${PROJECT_SOURCE_DIR}/cmake/debian/${script}.in"
                   "${PROJECT_BINARY_DIR}/packaging/debian/${script}" @ONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marovane)
set(CPACK_PACKAGE_VENDOR marovane)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${MAROVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MAROVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keep-in and keep-out zone-violation alarms for a location-tracking platform")
# The extended description; CPack puts the summary above it as the synopsis.
set(CPACK_DEBIAN_MAROVANE_DESCRIPTION
    "marovane follows the zones, tracked objects and zone entries of an indoor
location-tracking platform (its REST API and ZeroMQ message stream) and
raises and clears its zone-violation alarms: entering a keep-out zone, or
leaving every keep-in zone that applies to an object. Each alarm start and
end is sent to the platform at once, retried until accepted and re-sent
periodically; the state is mirrored into Redis for inspection.
.
The package holds the daemon, a hardened systemd unit (readiness, watchdog,
reload by rebuild), its manual page and runbook, and a monitoring bundle:
Prometheus alert rules with their unit tests and a Grafana dashboard.")
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
