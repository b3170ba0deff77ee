# Run after each build of a test program (tessal_discover_gtests,
# tessal_discover_qtests): lists its cases and writes the CTest file that
# adds them, and sets <TEST_TARGET>_TESTS to their names.
# A GoogleTest case is named TEST_PREFIX<Suite>.<Test>, a table's row
# TEST_PREFIX<Instance>/<Table>.<Test>/<Row>; with SHORT_NAMES,
# TEST_PREFIX<Test> and TEST_PREFIX<Table>.<Row>. A Qt Test function is
# named TEST_PREFIX<function>.
#   TEST_TARGET, TEST_EXECUTABLE, TEST_PREFIX, CTEST_FILE, SHORT_NAMES
#   KIND            gtest (default) or qtest
#   TEST_LAUNCHER   command before the binary, its words joined by "|"
cmake_minimum_required(VERSION 3.25)
set(list_option --gtest_list_tests)
if(KIND STREQUAL "qtest")
  set(list_option -functions)
endif()
execute_process(COMMAND ${TEST_EXECUTABLE} ${list_option}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TEST_EXECUTABLE} ${list_option} failed (${rc}):\n${out}${err}")
endif()

set(launcher "")
if(TEST_LAUNCHER)
  string(REPLACE "|" ";" words "${TEST_LAUNCHER}")
  foreach(word IN LISTS words)
    string(APPEND launcher " [==[${word}]==]")
  endforeach()
endif()

string(REPLACE ";" "\\;" out "${out}")
string(REPLACE "\n" ";" lines "${out}")
set(suite "")
set(names "")
set(script "")
foreach(line IN LISTS lines)
  if(KIND STREQUAL "qtest")
    if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)\\(\\)$")
      set(name "${TEST_PREFIX}${CMAKE_MATCH_1}")
      list(APPEND names "${name}")
      string(APPEND script "add_test([==[${name}]==]${launcher} [==[${TEST_EXECUTABLE}]==] [==[${CMAKE_MATCH_1}]==])\n")
    endif()
    continue()
  endif()
  # "  Case  # GetParam() = ..." : the comment is not part of the name.
  string(REGEX REPLACE "  +#.*$" "" line "${line}")
  if(line MATCHES "^([^ ].*)\\.$")
    set(suite "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^  ([^ ]+)$")
    set(test "${CMAKE_MATCH_1}")
    if(NOT SHORT_NAMES)
      set(name "${TEST_PREFIX}${suite}.${test}")
    elseif(test MATCHES "/([^/]+)$")
      # Instance/Table.Case/Row
      set(row "${CMAKE_MATCH_1}")
      string(REGEX REPLACE "^.*/" "" table "${suite}")
      set(name "${TEST_PREFIX}${table}.${row}")
    else()
      set(name "${TEST_PREFIX}${test}")
    endif()
    if(name IN_LIST names)
      message(FATAL_ERROR "${TEST_EXECUTABLE}: two cases would both be named ${name}; rename one")
    endif()
    list(APPEND names "${name}")
    string(APPEND script "add_test([==[${name}]==]${launcher} [==[${TEST_EXECUTABLE}]==] "
                         "[==[--gtest_filter=${suite}.${test}]==])\n")
    if(suite MATCHES "(^|/)DISABLED_" OR test MATCHES "^DISABLED_")
      string(APPEND script "set_tests_properties([==[${name}]==] PROPERTIES DISABLED TRUE)\n")
    endif()
  endif()
endforeach()
if(NOT names)
  message(FATAL_ERROR "${TEST_EXECUTABLE} lists no cases")
endif()
string(APPEND script "set(${TEST_TARGET}_TESTS [==[${names}]==])\n")
file(WRITE ${CTEST_FILE} "${script}")
