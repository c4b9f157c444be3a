# Checks a manual page written by hand against the program and against the page of the
# other language, so that neither drifts:
#
#   cmake [-DPROGRAM=EXE] [-DOTHER=OTHER.1.in] -DPAGE=P.1.in -P man_page.cmake
#       with PROGRAM, fails unless the page names exactly the long options that
#       EXE --help names; with OTHER, fails unless both pages make the same requests
#       (sections, paragraphs, tagged items, fonts, literal blocks) in the same order,
#       so that a translation holds every section and item of the original.

function(long_options text out)
  string(REPLACE "\\-" "-" text "${text}")
  string(REGEX MATCHALL "--[a-z]([a-z0-9-]*[a-z0-9])?" found "${text}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The request names of a page, one per request line, comments left out.
function(requests file out)
  file(READ ${file} text)
  string(REGEX MATCHALL "(^|\n)\\.[A-Za-z]+" found "${text}")
  string(REPLACE "\n" "" found "${found}")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

file(READ ${PAGE} page)

if(DEFINED PROGRAM)
  # The options are the same in either language; the machine's locale must not matter.
  set(ENV{LC_ALL} C.UTF-8)
  execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help ended with ${rc}")
  endif()
  long_options("${help}" in_help)
  long_options("${page}" in_page)
  set(missing ${in_help})
  set(extra ${in_page})
  if(in_page)
    list(REMOVE_ITEM missing ${in_page})
  endif()
  if(in_help)
    list(REMOVE_ITEM extra ${in_help})
  endif()
  if(missing OR extra)
    message(FATAL_ERROR "${PAGE} does not follow ${PROGRAM} --help:\n"
      "  options of --help missing from the page: ${missing}\n"
      "  options of the page that --help does not name: ${extra}")
  endif()
endif()

if(DEFINED OTHER)
  requests(${PAGE} here)
  requests(${OTHER} there)
  if(NOT here STREQUAL there)
    string(REPLACE ";" " " here "${here}")
    string(REPLACE ";" " " there "${there}")
    message(FATAL_ERROR "${PAGE} and ${OTHER} are not the same page:\n"
      "  ${PAGE}: ${here}\n  ${OTHER}: ${there}")
  endif()
endif()
