# The certificate whose key signs update packages, and the 64-byte HMAC key,
# are built into the program from files named by two cache variables.
# Release builds must name the real ones; the dev presets name the TEST-ONLY
# pair under tests/keys-TEST-ONLY and allow it (TESSAL_ALLOW_TEST_SIGNING).
set(TESSAL_UPDATE_CERTIFICATE "" CACHE FILEPATH "PEM certificate of the update signing key")
set(TESSAL_UPDATE_HMAC_KEY "" CACHE FILEPATH "File of exactly 64 bytes: the built-in HMAC key")
option(TESSAL_ALLOW_TEST_SIGNING "Accept the test-only signing pair (Debug builds only; the dev presets set it)" OFF)

if(NOT TESSAL_UPDATE_CERTIFICATE OR NOT EXISTS "${TESSAL_UPDATE_CERTIFICATE}")
  message(FATAL_ERROR
    "No update signing certificate: set TESSAL_UPDATE_CERTIFICATE to the PEM certificate "
    "whose key signs the update packages (got '${TESSAL_UPDATE_CERTIFICATE}'). "
    "Development builds use the 'dev' preset, which names the test-only certificate.")
endif()
if(NOT TESSAL_UPDATE_HMAC_KEY OR NOT EXISTS "${TESSAL_UPDATE_HMAC_KEY}")
  message(FATAL_ERROR
    "No HMAC key: set TESSAL_UPDATE_HMAC_KEY to a file of exactly 64 bytes "
    "(got '${TESSAL_UPDATE_HMAC_KEY}').")
endif()

file(READ "${TESSAL_UPDATE_CERTIFICATE}" _tessal_cert_text)
if(NOT _tessal_cert_text MATCHES "-----BEGIN CERTIFICATE-----")
  message(FATAL_ERROR "TESSAL_UPDATE_CERTIFICATE (${TESSAL_UPDATE_CERTIFICATE}) is not a PEM certificate.")
endif()
file(SIZE "${TESSAL_UPDATE_HMAC_KEY}" _tessal_hmac_size)
if(NOT _tessal_hmac_size EQUAL 64)
  message(FATAL_ERROR "TESSAL_UPDATE_HMAC_KEY (${TESSAL_UPDATE_HMAC_KEY}) holds ${_tessal_hmac_size} bytes, not 64.")
endif()

function(_tessal_hex_bytes file out)
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  set(${out} "${bytes}" PARENT_SCOPE)
endfunction()
_tessal_hex_bytes("${TESSAL_UPDATE_CERTIFICATE}" TESSAL_UPDATE_CERTIFICATE_BYTES)
_tessal_hex_bytes("${TESSAL_UPDATE_HMAC_KEY}" TESSAL_UPDATE_HMAC_KEY_BYTES)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessal_update_keys.h.in ${TESSAL_GENERATED_DIR}/tessal_update_keys.h @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TESSAL_UPDATE_CERTIFICATE}" "${TESSAL_UPDATE_HMAC_KEY}")

# The test-only pair must never sign what users install; a dev build says
# in its log that it uses it.
include(${CMAKE_CURRENT_LIST_DIR}/TessalSigningCheck.cmake)
tessal_check_update_signing("${TESSAL_UPDATE_CERTIFICATE}" "${TESSAL_UPDATE_HMAC_KEY}"
                            "${CMAKE_BUILD_TYPE}" "${TESSAL_ALLOW_TEST_SIGNING}" TESSAL_UPDATE_SIGNING_TEST_ONLY)
if(TESSAL_UPDATE_SIGNING_TEST_ONLY)
  set(TESSAL_UPDATE_SIGNING_TEST_ONLY 1)
else()
  set(TESSAL_UPDATE_SIGNING_TEST_ONLY 0)
endif()
set(TESSAL_UPDATE_CERTIFICATE_SHA256 ${TESSAL_UPDATE_SIGNING_TEST_ONLY_CERTIFICATE_SHA256})
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessal_update_signing.h.in
               ${TESSAL_GENERATED_DIR}/tessal_update_signing.h @ONLY)
