# tessal_add_fuzzer(<target> SOURCES <files...>
#                   [LIBRARIES <libs...>] [INCLUDE_DIRECTORIES <dirs...>]
#                   [COMPILE_OPTIONS <extra options...>] [NO_AUTOGEN]
#                   [SMOKE_TEST <name> SMOKE_ARGS <libFuzzer options...>])
#
# One libFuzzer target (clang only; with another compiler the target is
# skipped with a note). Every source given is instrumented for coverage and
# built with ASan and UBSan; libraries linked in are not instrumented.
# SMOKE_TEST adds a short, bounded CTest run (when tests are built) over the
# folder's seed corpus; new inputs go to the build tree, never into the seeds.
function(tessal_add_fuzzer target)
  cmake_parse_arguments(FUZZ "NO_AUTOGEN" "SMOKE_TEST"
                        "SOURCES;LIBRARIES;INCLUDE_DIRECTORIES;COMPILE_OPTIONS;SMOKE_ARGS" ${ARGN})
  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(STATUS "fuzz/${area}: libFuzzer needs clang; ${target} not built")
    return()
  endif()

  add_executable(${target} ${FUZZ_SOURCES})
  if(FUZZ_INCLUDE_DIRECTORIES)
    target_include_directories(${target} PRIVATE ${FUZZ_INCLUDE_DIRECTORIES})
  endif()
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined ${FUZZ_COMPILE_OPTIONS})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE ${FUZZ_LIBRARIES})
  if(FUZZ_NO_AUTOGEN)
    set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  endif()
  tessal_warnings(${target})

  if(FUZZ_SMOKE_TEST AND TESSAL_BUILD_TESTS)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus)
    add_test(NAME ${FUZZ_SMOKE_TEST}
             COMMAND ${target} ${FUZZ_SMOKE_ARGS}
                     ${CMAKE_CURRENT_BINARY_DIR}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
    set_tests_properties(${FUZZ_SMOKE_TEST} PROPERTIES LABELS "fuzz;${area}" TIMEOUT 120)
  endif()
endfunction()
