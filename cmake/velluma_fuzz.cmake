# velluma_add_fuzzer(NAME SOURCES src... SECONDS n CORPUS dir [MAX_LEN bytes] [DICT file])
#
# A libFuzzer target and its smoke test. The code under test is listed among
# SOURCES (not linked from a library) so that it carries the fuzzer's coverage
# instrumentation. The smoke test runs for SECONDS: all smoke tests together
# share about one minute, so each target gets its share, not a minute of its
# own. New inputs go to a corpus in the build tree; the seeds in CORPUS (in
# the source tree) are only read. DICT is a libFuzzer dictionary of the
# input's tokens.
function(velluma_add_fuzzer name)
  cmake_parse_arguments(PARSE_ARGV 1 FUZZ "" "SECONDS;CORPUS;MAX_LEN;DICT" "SOURCES")
  if(NOT FUZZ_SECONDS OR NOT FUZZ_CORPUS OR NOT FUZZ_SOURCES)
    message(FATAL_ERROR "velluma_add_fuzzer(${name}): SOURCES, SECONDS and CORPUS are required")
  endif()
  if(NOT FUZZ_MAX_LEN)
    set(FUZZ_MAX_LEN 4096)
  endif()

  add_executable(${name} ${FUZZ_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)

  set(dict)
  if(FUZZ_DICT)
    set(dict -dict=${FUZZ_DICT})
  endif()

  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name}_smoke
    COMMAND ${name} -max_total_time=${FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 -max_len=${FUZZ_MAX_LEN}
            -print_final_stats=1 ${dict} ${work} ${FUZZ_CORPUS})
  # Loading the corpus and a slow machine can add to the run time; the
  # timeout only catches a run that does not end.
  math(EXPR limit "${FUZZ_SECONDS} * 3 + 60")
  set_tests_properties(${name}_smoke PROPERTIES TIMEOUT ${limit} LABELS "fuzz")
endfunction()
