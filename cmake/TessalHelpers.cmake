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
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# Registers the GoogleTest cases of TARGET with CTest. The discovery script
# splits list-valued properties into separate arguments, so labels,
# environment and locks are set on the discovered tests by a script of our
# own, included after the discovered list.
#   PREFIX p           test names start with p
#   LABELS a b         labels of every case
#   RESOURCE_LOCK a b  locks every case holds
#   TIMEOUT s          per-case time limit
#   LOCK_MATCHING re lock   cases whose name matches re also hold lock
function(tessal_discover_gtests target)
  cmake_parse_arguments(arg "" "PREFIX;TIMEOUT" "LABELS;RESOURCE_LOCK;LOCK_MATCHING" ${ARGN})
  gtest_discover_tests(${target} TEST_PREFIX "${arg_PREFIX}" DISCOVERY_TIMEOUT 60)
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
