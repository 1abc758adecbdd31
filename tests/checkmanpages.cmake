# Each manual page lists exactly the options its program's --help lists: the
# tags of the page's OPTIONS section against the options that start the
# help's lines (for tavctl, those of tavctl --help and of every command's
# --help together). The panel has no --help to ask: the toolkit takes its
# command line, and the window would open. Its page must list no option, and
# its sources must define none. Every page formats without a warning.
# Run with -DDOCS=... -DAPP=... (the panel's sources) -DTAVCTL=... -DSIMULATOR=...
# [-DMAN=man]

# The options that start the lines of a help text ("  -o, --output <FILE>  ...").
function(help_options text result)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(options "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  (-.*)")
      string(REGEX REPLACE "  .*" "" column "${CMAKE_MATCH_1}")
      string(REGEX MATCHALL "-+[a-zA-Z][-a-zA-Z]*" names "${column}")
      list(APPEND options ${names})
    endif()
  endforeach()
  set(${result} "${options}" PARENT_SCOPE)
endfunction()

# The options that the tags of a page's OPTIONS section name (".BI \-\-port " N"").
function(page_options program result)
  file(READ "${DOCS}/${program}.1" page)
  string(REGEX REPLACE ".*\n\\.SH OPTIONS\n" "" section "${page}")
  string(REGEX REPLACE "\n\\.SH .*" "" section "${section}")
  string(REPLACE "\\-" "-" section "${section}")
  string(REGEX MATCHALL "\n\\.TP\n[^\n]*" tags "\n${section}")
  string(REGEX MATCHALL "-+[a-zA-Z][-a-zA-Z]*" options "${tags}")
  set(${result} "${options}" PARENT_SCOPE)
endfunction()

function(help_of result)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "${ARGN} gave no help (status ${status})")
  endif()
  set(${result} "${help}" PARENT_SCOPE)
endfunction()

function(compare program in_help)
  page_options(${program} in_page)
  foreach(list in_help in_page)
    list(REMOVE_DUPLICATES ${list})
    list(SORT ${list})
  endforeach()
  if(NOT "${in_help}" STREQUAL "${in_page}")
    set(help_only ${in_help})
    set(page_only ${in_page})
    if(in_page)
      list(REMOVE_ITEM help_only ${in_page})
    endif()
    if(in_help)
      list(REMOVE_ITEM page_only ${in_help})
    endif()
    message(SEND_ERROR "${program}: only in --help: ${help_only}; only in ${program}.1: "
                       "${page_only}")
  endif()
endfunction()

help_of(help "${SIMULATOR}" --help)
help_options("${help}" options)
compare(tav-controller-sim "${options}")

help_of(help "${TAVCTL}" --help)
help_options("${help}" options)
string(REGEX MATCHALL "\n  [a-z]+  " commands "${help}")
string(REGEX REPLACE "[\n ]+" ";" commands "${commands}")
foreach(command IN LISTS commands)
  if(command)
    help_of(help "${TAVCTL}" ${command} --help)
    help_options("${help}" found)
    list(APPEND options ${found})
  endif()
endforeach()
compare(tavctl "${options}")

compare(tav-panel "")
file(GLOB sources "${APP}/*.cpp" "${APP}/*.h")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" parsing REGEX "QCommandLine|getopt")
  if(parsing)
    message(SEND_ERROR "${source} reads options: give them in --help and in tav-panel.1")
  endif()
endforeach()

if(MAN)
  foreach(program tav-panel tav-controller-sim tavctl)
    execute_process(COMMAND "${MAN}" --warnings -E UTF-8 -l "${DOCS}/${program}.1"
                    OUTPUT_QUIET ERROR_VARIABLE warnings)
    if(NOT warnings STREQUAL "")
      message(SEND_ERROR "${program}.1: ${warnings}")
    endif()
  endforeach()
endif()
