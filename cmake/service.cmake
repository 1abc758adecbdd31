# tavctl mqtt as a system service: the template unit tavctl-mqtt@.service,
# whose ExecStart names the installed tavctl, and an example of the
# configuration each instance reads (/etc/tav/mqtt-NAME.conf).

# Where the unit goes. With the prefix /usr (the package), where this
# system's systemd takes its packaged units from, as its pkg-config file says
# (/lib/systemd/system on Debian 12); under any other prefix, inside it, so
# that an install into ~/.local or a scratch folder writes nothing outside.
set(TAV_SYSTEMD_UNITDIR "" CACHE PATH
    "Folder the systemd unit tavctl-mqtt@.service is installed into (empty: found from the prefix)")
if(TAV_SYSTEMD_UNITDIR)
  set(TAV_UNIT_DIR ${TAV_SYSTEMD_UNITDIR})
else()
  set(TAV_UNIT_DIR lib/systemd/system)
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_get_variable(systemd_unit_dir systemd systemdsystemunitdir)
      if(systemd_unit_dir)
        set(TAV_UNIT_DIR ${systemd_unit_dir})
      endif()
    endif()
  endif()
endif()

set(TAV_UNIT_TEMPLATE ${PROJECT_SOURCE_DIR}/data/tavctl-mqtt@.service.in)
configure_file(${TAV_UNIT_TEMPLATE} ${PROJECT_BINARY_DIR}/tavctl-mqtt@.service @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavctl-mqtt@.service DESTINATION ${TAV_UNIT_DIR})
install(FILES data/mqtt-NAME.conf DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
