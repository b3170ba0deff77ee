# Run after each build of a GoogleTest binary (tessal_discover_gtests): lists
# its cases and writes the CTest file that adds them, and sets
# <TEST_TARGET>_TESTS to their names. A case is named
# TEST_PREFIX<Suite>.<Test>, a table's row TEST_PREFIX<Instance>/<Table>.<Test>/<Row>;
# with SHORT_NAMES, TEST_PREFIX<Test> and TEST_PREFIX<Table>.<Row>.
#   TEST_TARGET, TEST_EXECUTABLE, TEST_PREFIX, CTEST_FILE, SHORT_NAMES
#   TEST_LAUNCHER   command before the binary, its words joined by "|"
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${TEST_EXECUTABLE} --gtest_list_tests
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TEST_EXECUTABLE} --gtest_list_tests failed (${rc}):\n${out}${err}")
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
