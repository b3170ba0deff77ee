# Debian's hardening flags, as a Debian package build gets them: stack
# protector, _FORTIFY_SOURCE, format checks, PIE, relro and -z now. Taken from
# dpkg-buildflags at configure time so they follow the distribution's policy.
if(NOT TESSAL_DEBIAN_HARDENING)
  return()
endif()

find_program(TESSAL_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
function(tessal_dpkg_buildflag flag out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
            ${TESSAL_DPKG_BUILDFLAGS} --get ${flag}
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${flag} failed")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

tessal_dpkg_buildflag(CPPFLAGS debian_cppflags)
tessal_dpkg_buildflag(CFLAGS debian_cflags)
tessal_dpkg_buildflag(CXXFLAGS debian_cxxflags)
tessal_dpkg_buildflag(LDFLAGS debian_ldflags)
# The build type adds its own -O2 after these; _FORTIFY_SOURCE needs one.
string(APPEND CMAKE_C_FLAGS " ${debian_cppflags} ${debian_cflags}")
string(APPEND CMAKE_CXX_FLAGS " ${debian_cppflags} ${debian_cxxflags}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${debian_ldflags}")
endforeach()
message(STATUS "Debian hardening: ${debian_cppflags} ${debian_cxxflags} ${debian_ldflags}")
