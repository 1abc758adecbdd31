# tav_add_manpage(PROGRAM): the manual page docs/PROGRAM.1 (man PROGRAM),
# gzipped at build time as Debian installs pages, made whenever PROGRAM is
# built, and installed with it. gzip's -n keeps the name and time stamp out,
# so the same page gives the same bytes.
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
  message(FATAL_ERROR "gzip is needed to compress the manual pages")
endif()

function(tav_add_manpage program)
  if(WIN32)
    return() # Windows has no man
  endif()
  set(source ${PROJECT_SOURCE_DIR}/docs/${program}.1)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${page}
    COMMAND ${GZIP_PROGRAM} -9nf ${page}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${program}.1"
    VERBATIM)
  add_custom_target(${program}-manpage ALL DEPENDS ${page}.gz)
  add_dependencies(${program} ${program}-manpage)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
