# The fuzz build (TESSAL_BUILD_FUZZ, clang only) instruments every target it
# compiles, the libraries included, so libFuzzer sees the code under test and
# not only the harness: coverage (-fsanitize=fuzzer-no-link) plus ASan and
# UBSan. Only the fuzz targets and what they link are built in it.
if(TESSAL_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TESSAL_BUILD_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  set(TESSAL_FUZZ_MANIFEST_DIR ${CMAKE_BINARY_DIR}/fuzz-targets)
  file(REMOVE_RECURSE ${TESSAL_FUZZ_MANIFEST_DIR})
endif()

# tessal_add_fuzzer(<target> SOURCES <files...>
#                   [LIBRARIES <libs...>] [INCLUDE_DIRECTORIES <dirs...>]
#                   [COMPILE_OPTIONS <extra options...>] [NO_AUTOGEN]
#                   [FUZZ_ARGS <libFuzzer options for every run, e.g. -dict=... -max_len=...>]
#                   [SMOKE_TEST <name> SMOKE_ARGS <libFuzzer options...>])
#
# One libFuzzer target. The seed corpus is fuzz/<area>/corpus, <area> being
# the folder of the calling CMakeLists.txt. scripts/fuzz.sh finds every
# target through the manifest written here (binary, corpus, FUZZ_ARGS).
# SMOKE_TEST adds a short, bounded CTest run (when tests are built) over the
# seed corpus; new inputs go to the build tree, never into the seeds.
function(tessal_add_fuzzer target)
  cmake_parse_arguments(FUZZ "NO_AUTOGEN" "SMOKE_TEST"
                        "SOURCES;LIBRARIES;INCLUDE_DIRECTORIES;COMPILE_OPTIONS;SMOKE_ARGS;FUZZ_ARGS" ${ARGN})
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

  if(TESSAL_FUZZ_MANIFEST_DIR)
    string(REPLACE ";" " " fuzz_args "${FUZZ_FUZZ_ARGS}")
    file(GENERATE OUTPUT ${TESSAL_FUZZ_MANIFEST_DIR}/${target}
         CONTENT "$<TARGET_FILE:${target}>\n${CMAKE_CURRENT_SOURCE_DIR}/corpus\n${fuzz_args}\n")
  endif()

  if(FUZZ_SMOKE_TEST AND TESSAL_BUILD_TESTS)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/corpus)
    add_test(NAME ${FUZZ_SMOKE_TEST}
             COMMAND ${target} ${FUZZ_SMOKE_ARGS} ${FUZZ_FUZZ_ARGS}
                     ${CMAKE_CURRENT_BINARY_DIR}/corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
    set_tests_properties(${FUZZ_SMOKE_TEST} PROPERTIES LABELS "fuzz;${area}" TIMEOUT 120)
  endif()
endfunction()
