# A manual page from its template, kept in step with the program's --help.
#
#   cmake -DPROGRAM=EXE -DTEMPLATE=T.1.in -DOUTPUT=P.1 -DPROJECT_VERSION=V
#         -DVESK_RELEASE_DATE=D -P man_page.cmake
#       writes the page: @HELP@ becomes the --help text as a literal block, the
#       other @NAME@ the values given.
#   cmake -DPROGRAM=EXE -DPAGE=P.1 -P man_page.cmake
#       fails unless the page names exactly the long options that --help names, so
#       that a page written by hand (in the other language) cannot drift from it.

# The program speaks the locale's language; the pages take its Russian --help.
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help ended with ${rc}")
endif()

function(long_options text out)
  string(REPLACE "\\-" "-" text "${text}")
  string(REGEX MATCHALL "--[a-z]([a-z0-9-]*[a-z0-9])?" found "${text}")
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

if(DEFINED PAGE)
  file(READ ${PAGE} page)
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
  return()
endif()

# roff reads a backslash as an escape, a leading "." or "'" as a request, and "-" as a
# hyphen that may not copy as the minus of an option.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")
set(HELP ".nf\n${help}\n.fi")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
