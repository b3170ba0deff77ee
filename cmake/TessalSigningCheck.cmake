# Refuses the test-only update signing material, by content, in every build
# that is not a Debug build configured with TESSAL_ALLOW_TEST_SIGNING: the
# certificate by the SHA-256 fingerprint of its DER form, the HMAC key by the
# SHA-256 of its 64 bytes. A copy under another name, or the certificate in
# another PEM wrapping, is refused all the same.
#
# tessal_check_update_signing(<certificate> <hmac key> <build type> <allow> <out var>)
#   sets <out var> to TRUE when the test-only pair is in use (Debug with allow only).
# Script mode, for tests:
#   cmake -DCERT=<pem> -DHMAC=<bin> -DBUILD_TYPE=<type> [-DALLOW=ON] -P TessalSigningCheck.cmake
cmake_policy(VERSION 3.25)
set(TESSAL_TEST_ONLY_CERTIFICATE_SHA256
    "0B2B6AE1C4F334BF8969A87517FFE63D243952E8DA828E72779B5470C27324D0")
set(TESSAL_TEST_ONLY_HMAC_SHA256
    "59084D6401B9F062EF015219F3D0609E19083322A3EADBE3F09D23CDAC0B6B94")

function(tessal_certificate_sha256 certificate out)
  find_program(TESSAL_OPENSSL openssl REQUIRED)
  execute_process(COMMAND ${TESSAL_OPENSSL} x509 -in "${certificate}" -noout -fingerprint -sha256
                  OUTPUT_VARIABLE text ERROR_VARIABLE error RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT text MATCHES "=([0-9A-Fa-f:]+)")
    message(FATAL_ERROR "Cannot read the certificate ${certificate}: ${error}")
  endif()
  string(REPLACE ":" "" fingerprint "${CMAKE_MATCH_1}")
  string(TOUPPER "${fingerprint}" fingerprint)
  set(${out} "${fingerprint}" PARENT_SCOPE)
endfunction()

function(tessal_check_update_signing certificate hmac build_type allow out)
  tessal_certificate_sha256("${certificate}" cert_sha256)
  file(SHA256 "${hmac}" hmac_sha256)
  string(TOUPPER "${hmac_sha256}" hmac_sha256)
  set(test_only FALSE)
  if(cert_sha256 STREQUAL TESSAL_TEST_ONLY_CERTIFICATE_SHA256 OR
     hmac_sha256 STREQUAL TESSAL_TEST_ONLY_HMAC_SHA256)
    set(test_only TRUE)
  endif()
  if(test_only AND NOT build_type STREQUAL "Debug")
    message(FATAL_ERROR "The test-only update signing material is for Debug builds only; "
                        "name the real certificate and HMAC key for a '${build_type}' build "
                        "(refused: ${certificate}, ${hmac}).")
  endif()
  # A Debug build is not enough: whoever builds one for real use must not get
  # a client that installs what anyone holding the committed key signs.
  if(test_only AND NOT allow)
    message(FATAL_ERROR "The test-only update signing material is for Debug builds only, and only "
                        "when asked for with -DTESSAL_ALLOW_TEST_SIGNING=ON (the dev, asan and tsan "
                        "presets do); name the real certificate and HMAC key otherwise "
                        "(refused: ${certificate}, ${hmac}).")
  endif()
  set(${out} ${test_only} PARENT_SCOPE)
  set(${out}_CERTIFICATE_SHA256 ${cert_sha256} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tessal_check_update_signing("${CERT}" "${HMAC}" "${BUILD_TYPE}" "${ALLOW}" test_only)
  message(STATUS "test-only: ${test_only}")
endif()
