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
set(TESSAL_TEST_ENV
  "HOME=${TESSAL_TEST_HOME}"
  "XDG_RUNTIME_DIR=${TESSAL_TEST_RUNTIME}"
  "QT_QPA_PLATFORM=offscreen"
  "QTWEBENGINE_DISABLE_SANDBOX=1"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
  "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
