# The Debian package of the whole installation: cpack -G DEB in a build tree
# (scripts/package builds one in Release with the prefix /usr and checks it
# with lintian). dpkg-shlibdeps finds the libraries it depends on.

set(CPACK_PACKAGE_NAME tav-panel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "TAV panel maintainers")
set(TAV_PACKAGE_MAINTAINER
    "TAV panel maintainers <tav-panel@example.org>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${TAV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "control panel for a motorised solar-panel installation")
# One paragraph per line; CPack indents them and marks the blank lines.
set(CPACK_PACKAGE_DESCRIPTION
    "A desktop window, labelled in French, that reads a solar-panel installation's
controller over a serial line (COM1 to COM20, 9600 baud, RTS/CTS): the light
level towards the four cardinal directions, the panel and battery voltages and
currents, the battery state and the panel's azimuth and elevation. It
refreshes once or every two seconds, drives four lights and moves the panel.

The package also holds tavctl, the same exchange from the command line:
status in text, JSON or CSV, any command, the motors and the lights, a
recording of the measurements at a fixed interval into a CSV file, and its
chart as a PNG or SVG picture drawn without a display; and
tav-controller-sim, a simulator of the controller on a pseudo-terminal, for
trying both without the installation.

tavctl mqtt bridges the installation and an MQTT broker: it publishes the
measurements at a fixed interval, takes motor and light commands, and
announces the installation's sensors, buttons and lights to Home Assistant
through MQTT discovery. The systemd service tavctl-mqtt@NAME runs it, one
instance per installation, each configured in /etc/tav/mqtt-NAME.conf; the
package enables and starts none.")

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # tav-panel_1.2-1_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Maintainer scripts: systemd told of tavctl-mqtt@.service as it comes, is
# upgraded (the bridges that run start again) and goes (they stop first).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/data/debian/postinst
    ${PROJECT_SOURCE_DIR}/data/debian/prerm
    ${PROJECT_SOURCE_DIR}/data/debian/postrm)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

find_program(GZIP_PROGRAM gzip)
# What Debian asks of every package: its copyright and its changelog, in
# /usr/share/doc/<package>/, the changelog gzipped without name or time stamp.
set(TAV_DEBIAN_VERSION "${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
configure_file(${PROJECT_SOURCE_DIR}/data/changelog.Debian.in
               ${PROJECT_BINARY_DIR}/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${GZIP_PROGRAM} -9nkf ${PROJECT_BINARY_DIR}/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian
  VERBATIM)
add_custom_target(tav-debian-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
install(FILES data/copyright ${PROJECT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${docdir})

include(CPack)
