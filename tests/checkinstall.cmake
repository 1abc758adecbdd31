# Installs the build into a fresh prefix and checks what an operator's desktop
# and the MQTT bridge's service need.
# Run with -DBUILD_DIR=... -DPREFIX=... -DUNIT_DIR=... -DBINDIR=... (the configured
# prefix's) [-DVALIDATOR=desktop-file-validate]
file(REMOVE_RECURSE "${PREFIX}")
# A unit folder outside the prefix (/lib/systemd/system, for the prefix /usr)
# is installed under a staging folder, as the package does, so that the check
# writes nowhere else.
set(root "")
set(unit "${PREFIX}/${UNIT_DIR}/tavctl-mqtt@.service")
if(IS_ABSOLUTE "${UNIT_DIR}")
  set(root "${PREFIX}/root")
  set(ENV{DESTDIR} "${root}")
  set(unit "${root}${UNIT_DIR}/tavctl-mqtt@.service")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(expected bin/tav-panel bin/tav-controller-sim bin/tavctl share/man/man1/tavctl.1.gz
                 share/man/man1/tav-panel.1.gz share/man/man1/tav-controller-sim.1.gz
                 share/applications/tav-panel.desktop
                 share/icons/hicolor/scalable/apps/tav-panel.svg
                 share/doc/tav-panel/examples/mqtt-NAME.conf
                 lib/tav-panel/tavctl-plot lib/tav-panel/tavctl-mqtt)
  if(NOT EXISTS "${root}${PREFIX}/${expected}")
    message(FATAL_ERROR "${expected} is not installed")
  endif()
endforeach()
# The installed tavctl finds the programs of plot and mqtt beside it.
foreach(command plot mqtt)
  execute_process(COMMAND "${root}${PREFIX}/bin/tavctl" ${command} --help
                  RESULT_VARIABLE ran OUTPUT_VARIABLE help ERROR_VARIABLE said)
  if(NOT ran EQUAL 0 OR NOT help MATCHES "^Usage: tavctl ${command} ")
    message(FATAL_ERROR "the installed tavctl ${command} --help: ${ran} ${said}")
  endif()
endforeach()
if(NOT EXISTS "${unit}")
  message(FATAL_ERROR "the unit tavctl-mqtt@.service is not installed in ${UNIT_DIR}")
endif()
# The unit names tavctl where the configured prefix puts it.
file(STRINGS "${unit}" exec REGEX "^ExecStart=")
string(FIND "${exec}" "ExecStart=${BINDIR}/tavctl mqtt " at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "the unit does not start ${BINDIR}/tavctl: ${exec}")
endif()
if(VALIDATOR)
  execute_process(COMMAND "${VALIDATOR}" "${root}${PREFIX}/share/applications/tav-panel.desktop"
                  RESULT_VARIABLE valid)
  if(NOT valid EQUAL 0)
    message(FATAL_ERROR "the desktop entry does not validate")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
