# Checks the unit of tavctl mqtt's service as systemd would load it, offline:
# an instance of the template, its ExecStart pointed at the build's tavctl,
# must pass systemd-analyze verify without a word and keep its exposure
# (systemd-analyze security) as low as it is; and the settings the bridge
# depends on must be there.
# Run with -DTEMPLATE=... -DTAVCTL_DIR=... -DWORK=... -DANALYZE=systemd-analyze
cmake_minimum_required(VERSION 3.16)
if(NOT ANALYZE)
  message("systemd-analyze is not installed: the unit is not checked")
  return()
endif()
file(REMOVE_RECURSE "${WORK}")
set(CMAKE_INSTALL_FULL_BINDIR "${TAVCTL_DIR}")
configure_file("${TEMPLATE}" "${WORK}/tavctl-mqtt@.service" @ONLY)
set(instance "${WORK}/tavctl-mqtt@demo.service")

execute_process(COMMAND "${ANALYZE}" verify --man=no "${instance}"
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE verified
                OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT verified EQUAL 0 OR NOT said STREQUAL "")
  message(FATAL_ERROR "systemd-analyze verify refuses the unit:\n${said}")
endif()

# The exposure's score, in tenths (2.1 on systemd 252): any protection lost
# raises it.
execute_process(COMMAND "${ANALYZE}" security --offline=yes --threshold=22 --no-pager
                        "${instance}"
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE secure
                OUTPUT_VARIABLE said ERROR_VARIABLE said)
if(NOT secure EQUAL 0)
  message(FATAL_ERROR "the unit is more exposed than it was:\n${said}")
endif()

file(STRINGS "${WORK}/tavctl-mqtt@.service" lines REGEX "^[A-Za-z]+=")
foreach(expected
    "ExecStart=${TAVCTL_DIR}/tavctl mqtt --id %i $TAV_MQTT_OPTIONS"
    "EnvironmentFile=/etc/tav/mqtt-%i.conf"
    # a bad configuration (2), an unwritable state folder (4) or a refusing
    # broker (5) is not started again; the energy totals kept in a folder of its own
    "Restart=on-failure" "RestartPreventExitStatus=2 4 5" "StateDirectory=tav-panel/%i"
    # the serial ports, and their lock files shared with the panel
    "SupplementaryGroups=dialout" "DevicePolicy=closed" "DeviceAllow=char-ttyS rw" "DeviceAllow=char-ttyUSB rw"
    "DeviceAllow=char-ttyACM rw" "ReadWritePaths=-/run/lock")
  if(NOT expected IN_LIST lines)
    message(FATAL_ERROR "the unit has no line ${expected}")
  endif()
endforeach()
# Writable and executable memory is what the regular expressions' compiler
# needs, unless it is turned off.
if("MemoryDenyWriteExecute=yes" IN_LIST lines
   AND NOT "Environment=QT_ENABLE_REGEXP_JIT=0" IN_LIST lines)
  message(FATAL_ERROR "MemoryDenyWriteExecute=yes stops the regular expressions' compiler")
endif()
