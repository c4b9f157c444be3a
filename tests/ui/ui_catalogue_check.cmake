# The window's catalogue against the sources: lupdate is run over src/ui into a copy of
# the .ts, and the check fails when a text has no finished English translation, when the
# catalogue holds a text the sources no longer have, or when a translation loses a
# placeholder, the accelerator's '&' or the key after the tab.
# cmake -DLUPDATE=... -DSOURCE_DIR=<src> -DTS=<.ts> -DWORK=<folder> -P ui_catalogue_check.cmake

file(MAKE_DIRECTORY ${WORK})
get_filename_component(ts_name ${TS} NAME)
set(copy ${WORK}/${ts_name})
file(COPY_FILE ${TS} ${copy})
execute_process(COMMAND ${LUPDATE} -I ${SOURCE_DIR} ${SOURCE_DIR}/ui -ts ${copy} -locations none
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${rc}):\n${out}")
endif()
file(READ ${copy} text)
# A ';' (of "&apos;") would split the lists below.
string(REPLACE ";" "__SEMICOLON__" text "${text}")

set(problems "")
string(REGEX MATCHALL "<message>[^\n]*\n[^\n]*<source>[^<]*</source>[^\n]*\n[^\n]*<translation[^>]*>[^<]*</translation>"
  messages "${text}")
string(REGEX MATCHALL "<message>" all "${text}")
list(LENGTH all count_all)
list(LENGTH messages count_matched)
if(NOT count_all EQUAL count_matched)
  string(APPEND problems "only ${count_matched} of ${count_all} messages could be read\n")
endif()
foreach(m IN LISTS messages)
  string(REGEX REPLACE ".*<source>([^<]*)</source>.*" "\\1" source "${m}")
  string(REGEX REPLACE ".*<translation[^>]*>([^<]*)</translation>.*" "\\1" translation "${m}")
  if(m MATCHES "type=\"unfinished\"" OR translation STREQUAL "")
    string(APPEND problems "not translated: ${source}\n")
    continue()
  endif()
  if(m MATCHES "type=\"(vanished|obsolete)\"")
    string(APPEND problems "no longer in the sources: ${source}\n")
    continue()
  endif()
  foreach(mark "%1" "%2" "%3" "%4" "%5" "%6" "%7" "%v" "%m" "&amp;" "\t" "\n")
    string(FIND "${source}" "${mark}" in_source)
    string(FIND "${translation}" "${mark}" in_translation)
    if((in_source EQUAL -1) AND NOT (in_translation EQUAL -1) OR
       NOT (in_source EQUAL -1) AND (in_translation EQUAL -1))
      string(APPEND problems "'${mark}' differs: ${source} -> ${translation}\n")
    endif()
  endforeach()
endforeach()
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "${TS}:\n${problems}"
    "Run the target vesk_ui_lupdate and translate in ${TS}.")
endif()
message(STATUS "${count_all} texts, every one translated")
