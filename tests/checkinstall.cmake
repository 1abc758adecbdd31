# Installs the build into a fresh prefix and checks what an operator's desktop needs.
# Run with -DBUILD_DIR=... -DPREFIX=... [-DVALIDATOR=desktop-file-validate]
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(expected bin/tav-panel bin/tav-controller-sim bin/tavctl share/man/man1/tavctl.1.gz
                 share/applications/tav-panel.desktop
                 share/icons/hicolor/scalable/apps/tav-panel.svg)
  if(NOT EXISTS "${PREFIX}/${expected}")
    message(FATAL_ERROR "${expected} is not installed")
  endif()
endforeach()
if(VALIDATOR)
  execute_process(COMMAND "${VALIDATOR}" "${PREFIX}/share/applications/tav-panel.desktop"
                  RESULT_VARIABLE valid)
  if(NOT valid EQUAL 0)
    message(FATAL_ERROR "the desktop entry does not validate")
  endif()
endif()
file(REMOVE_RECURSE "${PREFIX}")
