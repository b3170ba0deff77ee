# cmake -DSOURCE_DIR=<checkout> -DWORK_DIR=<scratch> -DGENERATOR=<generator> -P TestSigningCheck.cmake
cmake_minimum_required(VERSION 3.25)
# The signing check against copies of the test-only pair under neutral names
# (one re-wrapped as PEM with text before it) and a throw-away pair.
set(keys ${SOURCE_DIR}/tests/keys-TEST-ONLY)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
find_program(OPENSSL openssl REQUIRED)

file(COPY_FILE ${keys}/update_signing_TEST_ONLY.pem ${WORK_DIR}/update.pem)
file(COPY_FILE ${keys}/update_hmac_TEST_ONLY.bin ${WORK_DIR}/hmac.bin)
execute_process(COMMAND ${OPENSSL} x509 -in ${keys}/update_signing_TEST_ONLY.pem -text
                OUTPUT_FILE ${WORK_DIR}/rewrapped.pem COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OPENSSL} req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=throwaway
                        -keyout ${WORK_DIR}/own.key -out ${WORK_DIR}/own.pem
                OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${OPENSSL} rand -out ${WORK_DIR}/own.bin 64 COMMAND_ERROR_IS_FATAL ANY)

# certificate | hmac key | build type | TESSAL_ALLOW_TEST_SIGNING | expected: refused, test-only or accepted
set(cases
  "update.pem|own.bin|RelWithDebInfo|ON|refused"
  "rewrapped.pem|own.bin|Release||refused"
  "own.pem|hmac.bin|MinSizeRel|ON|refused"
  "update.pem|own.bin|||refused"
  "rewrapped.pem|hmac.bin|Debug|ON|test-only"
  "update.pem|hmac.bin|Debug|OFF|refused"
  "own.pem|hmac.bin|Debug||refused"
  "own.pem|own.bin|Release||accepted"
  "own.pem|own.bin|Debug||accepted")
set(failures 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" f "${case}")
  list(GET f 0 cert)
  list(GET f 1 hmac)
  list(GET f 2 type)
  list(GET f 3 allow)
  list(GET f 4 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCERT=${WORK_DIR}/${cert} -DHMAC=${WORK_DIR}/${hmac}
                          -DBUILD_TYPE=${type} -DALLOW=${allow} -P ${CMAKE_CURRENT_LIST_DIR}/TessalSigningCheck.cmake
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX REPLACE "[ \n]+" " " err "${err}")
  if(NOT rc EQUAL 0 AND err MATCHES "test-only update signing material is for Debug builds only")
    set(got refused)
  elseif(rc EQUAL 0 AND out MATCHES "test-only: TRUE")
    set(got test-only)
  elseif(rc EQUAL 0 AND out MATCHES "test-only: FALSE")
    set(got accepted)
  else()
    set(got "error ${rc}: ${err}")
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "${case}: got ${got}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
# A plain Debug configure of the checkout with the pair, as a build by hand
# without the presets would be.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/plain-debug -G "${GENERATOR}"
                        -DCMAKE_BUILD_TYPE=Debug -DTESSAL_BUILD_TESTS=OFF -DTESSAL_BUILD_BENCH=OFF
                        -DTESSAL_UPDATE_CERTIFICATE=${keys}/update_signing_TEST_ONLY.pem
                        -DTESSAL_UPDATE_HMAC_KEY=${keys}/update_hmac_TEST_ONLY.bin
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
string(REGEX REPLACE "[ \n]+" " " err "${err}")   # CMake wraps its messages
if(rc EQUAL 0 OR NOT err MATCHES "only when asked for with -DTESSAL_ALLOW_TEST_SIGNING=ON")
  message(SEND_ERROR "a plain Debug configure took the test-only pair (${rc}): ${err}")
  math(EXPR failures "${failures} + 1")
endif()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} signing check case(s) failed")
endif()
