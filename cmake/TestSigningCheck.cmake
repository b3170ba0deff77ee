# cmake -DSOURCE_DIR=<checkout> -DWORK_DIR=<scratch> -P TestSigningCheck.cmake
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

# certificate | hmac key | build type | expected: refused, test-only or accepted
set(cases
  "update.pem|own.bin|RelWithDebInfo|refused"
  "rewrapped.pem|own.bin|Release|refused"
  "own.pem|hmac.bin|MinSizeRel|refused"
  "update.pem|own.bin||refused"
  "rewrapped.pem|hmac.bin|Debug|test-only"
  "own.pem|own.bin|Release|accepted"
  "own.pem|own.bin|Debug|accepted")
set(failures 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" f "${case}")
  list(GET f 0 cert)
  list(GET f 1 hmac)
  list(GET f 2 type)
  list(GET f 3 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DCERT=${WORK_DIR}/${cert} -DHMAC=${WORK_DIR}/${hmac}
                          -DBUILD_TYPE=${type} -P ${CMAKE_CURRENT_LIST_DIR}/TessalSigningCheck.cmake
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
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
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} signing check case(s) failed")
endif()
