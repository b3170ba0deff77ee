# Adds every direct subfolder of DIR that has its own CMakeLists.txt, so that
# stand-ins, benchmarks, fuzzers and integration suites can be added without
# touching a shared list.
function(tessal_add_subfolders dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}/${dir}
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# Environment every test runs with: never the real home folder, no display,
# the web engine without its sandbox (CI runs as root).
set(TESSAL_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
set(TESSAL_TEST_RUNTIME ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${TESSAL_TEST_HOME})
file(MAKE_DIRECTORY ${TESSAL_TEST_RUNTIME})
file(CHMOD ${TESSAL_TEST_RUNTIME} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
# Session and shell tests open real web pages; the web engine's own Chromium
# code fails the sanitizer's sized-delete check when a page goes, so that one
# check is off for every test (leaks and everything else stay on).
set(TESSAL_TEST_ENV
  "HOME=${TESSAL_TEST_HOME}"
  "XDG_RUNTIME_DIR=${TESSAL_TEST_RUNTIME}"
  "QT_QPA_PLATFORM=offscreen"
  "QTWEBENGINE_DISABLE_SANDBOX=1"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:new_delete_type_mismatch=0"
  "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
  "TSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/tsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Registers the GoogleTest cases of TARGET with CTest (with QT_TEST, the
# functions of a Qt Test program), the one way for every test program: after
# each build the program lists its cases (TessalListTests.cmake, with the
# tests' HOME) and the file that adds them is written, so a new case, table
# row or function needs no line here, and each runs as a test of its own. Labels, environment and locks are set
# on the listed cases by a script of our own, included after the list.
#   PREFIX p           test names start with p
#   LABELS a b         labels of every case
#   RESOURCE_LOCK a b  locks every case holds
#   TIMEOUT s          per-case time limit
#   LOCK_MATCHING re lock   cases whose name matches re also hold lock
#   SHORT_NAMES        a case is named p<Test>, a table row p<Table>.<Row>
#                      (CI scripts match on these names), rather than
#                      p<Suite>.<Test> and p<Instance>/<Table>.<Test>/<Row>;
#                      two cases that would share a name fail the build
#   LAUNCHER cmd...    each case runs as cmd... <binary> --gtest_filter=...
#   QT_TEST            a Qt Test program: each function is a test p<function>
#   PRIVATE_NETWORK    each case runs with a network, processes and svpn
#                      folders of its own (tessal_private_network, before
#                      LAUNCHER), so cases that use the svpn daemon's fixed
#                      port and pid file run side by side
# tessal_gtest_properties() sets further properties on some of the cases.
function(tessal_discover_gtests target)
  cmake_parse_arguments(arg "SHORT_NAMES;PRIVATE_NETWORK;QT_TEST" "PREFIX;TIMEOUT" "LABELS;RESOURCE_LOCK;LOCK_MATCHING;LAUNCHER"
                        ${ARGN})
  if(arg_PRIVATE_NETWORK)
    list(PREPEND arg_LAUNCHER $<TARGET_FILE:tessal_private_network>)
    add_dependencies(${target} tessal_private_network)
  endif()
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_list.cmake)
  string(REPLACE ";" "|" launcher "${arg_LAUNCHER}")
  set(short OFF)
  if(arg_SHORT_NAMES)
    set(short ON)
  endif()
  set(kind gtest)
  if(arg_QT_TEST)
    set(kind qtest)
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E env HOME=${TESSAL_TEST_HOME} XDG_RUNTIME_DIR=${TESSAL_TEST_RUNTIME}
            QT_QPA_PLATFORM=offscreen
            ${CMAKE_COMMAND} -DTEST_TARGET=${target} -DTEST_EXECUTABLE=$<TARGET_FILE:${target}>
            -DTEST_PREFIX=${arg_PREFIX} "-DTEST_LAUNCHER=${launcher}" -DSHORT_NAMES=${short} -DKIND=${kind}
            -DCTEST_FILE=${list_file} -P ${PROJECT_SOURCE_DIR}/cmake/TessalListTests.cmake
    BYPRODUCTS ${list_file}
    VERBATIM)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake)
  file(WRITE ${include_file}
    "if(EXISTS \"${list_file}\")\n"
    "  include(\"${list_file}\")\n"
    "else()\n"
    "  add_test(${target}_NOT_BUILT ${target}_NOT_BUILT)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
  set(props "LABELS \"${arg_LABELS}\" ENVIRONMENT \"${TESSAL_TEST_ENV}\" FIXTURES_REQUIRED tessal_download_check")
  if(arg_RESOURCE_LOCK)
    string(APPEND props " RESOURCE_LOCK \"${arg_RESOURCE_LOCK}\"")
  endif()
  if(arg_TIMEOUT)
    string(APPEND props " TIMEOUT ${arg_TIMEOUT}")
  endif()
  set(script "if(${target}_TESTS)\n  set_tests_properties(\${${target}_TESTS} PROPERTIES ${props})\nendif()\n")
  if(arg_LOCK_MATCHING)
    list(GET arg_LOCK_MATCHING 0 pattern)
    list(GET arg_LOCK_MATCHING 1 lock)
    string(APPEND script
      "foreach(t IN LISTS ${target}_TESTS)\n"
      "  if(t MATCHES \"${pattern}\")\n"
      "    set_tests_properties(\${t} PROPERTIES RESOURCE_LOCK ${lock})\n"
      "  endif()\n"
      "endforeach()\n")
  endif()
  set(file ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake)
  file(WRITE ${file} "${script}")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${file})
endfunction()

# tessal_gtest_properties(<target> MATCHING <regex> PROPERTIES <name> <value>...)
# Sets properties on the discovered cases of TARGET whose name matches regex,
# after the common ones; a list value ("a;b") stays one value.
function(tessal_gtest_properties target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "MATCHING" "PROPERTIES")
  set(props "")
  foreach(p IN LISTS arg_PROPERTIES)
    string(APPEND props " [==[${p}]==]")
  endforeach()
  file(APPEND ${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake
    "foreach(t IN LISTS ${target}_TESTS)\n"
    "  if(t MATCHES [==[${arg_MATCHING}]==])\n"
    "    set_tests_properties(\${t} PROPERTIES${props})\n"
    "  endif()\n"
    "endforeach()\n")
endfunction()
