# cmake -DTOOL=<rtf2html> [-DEMULATOR=<wine>] -DFIXTURES=<dir> -P rtf2html_check.cmake
# Runs the tool the way a user would: a fixture file in, its HTML out; a
# missing file gives a message and status 1.

set(run ${EMULATOR} ${TOOL})

execute_process(COMMAND ${run} ${FIXTURES}/link.rtf
  OUTPUT_VARIABLE html RESULT_VARIABLE status)
file(READ ${FIXTURES}/link.html expected)
if(NOT status EQUAL 0 OR NOT html STREQUAL expected)
  message(FATAL_ERROR "rtf2html link.rtf: status ${status}, output\n${html}\nexpected\n${expected}")
endif()

execute_process(COMMAND ${run} --codepage 1251 ${FIXTURES}/styles.rtf
  OUTPUT_VARIABLE html RESULT_VARIABLE status)
file(READ ${FIXTURES}/styles.html expected)
if(NOT status EQUAL 0 OR NOT html STREQUAL expected)
  message(FATAL_ERROR "rtf2html --codepage 1251 styles.rtf: status ${status}")
endif()

execute_process(COMMAND ${run} ${FIXTURES}/no-such-file.rtf
  OUTPUT_VARIABLE html ERROR_VARIABLE error RESULT_VARIABLE status)
if(NOT status EQUAL 1 OR NOT error MATCHES "cannot open .*no-such-file.rtf" OR NOT html STREQUAL "")
  message(FATAL_ERROR "rtf2html on a missing file: status ${status}, stderr '${error}'")
endif()

execute_process(COMMAND ${run} --codepage 65001 ${FIXTURES}/link.rtf
  ERROR_VARIABLE error RESULT_VARIABLE status)
if(NOT status EQUAL 2 OR NOT error MATCHES "not supported")
  message(FATAL_ERROR "rtf2html --codepage 65001: status ${status}, stderr '${error}'")
endif()

# Texts where the cut, the search for the first paragraph reset and the
# dropping of groups meet the decoding of bytes: groups closed only by the
# brace that the cut appends, escaped braces inside and outside groups, bytes
# above 127 inside and outside a picture, a text that starts with its marker
# and one without any. The expected HTML is what the converter's own entry
# points give for the same text.
file(GLOB cases ${FIXTURES}/../tool/*.rtf)
if(NOT cases)
  message(FATAL_ERROR "no tool cases in ${FIXTURES}/../tool")
endif()
foreach(case IN LISTS cases)
  string(REGEX REPLACE "\\.rtf$" ".html" expected_file ${case})
  execute_process(COMMAND ${run} ${case} OUTPUT_VARIABLE html RESULT_VARIABLE status)
  file(READ ${expected_file} expected)
  if(NOT status EQUAL 0 OR NOT html STREQUAL expected)
    message(FATAL_ERROR "rtf2html ${case}: status ${status}, output\n${html}\nexpected\n${expected}")
  endif()
endforeach()

# A folder opens on some systems but cannot be read: a message and status 1,
# like any file that cannot be read.
execute_process(COMMAND ${run} ${FIXTURES}
  OUTPUT_VARIABLE html ERROR_VARIABLE error RESULT_VARIABLE status)
if(NOT status EQUAL 1 OR NOT error MATCHES "cannot (open|read) " OR NOT html STREQUAL "")
  message(FATAL_ERROR "rtf2html on a folder: status ${status}, stderr '${error}'")
endif()
