# cmake -DBINARY_DIR=<build tree> -DPROBE=<target> -DREFUSED=<symbol>|<symbol>... [-DONLY=ON]
#       -P TestFloorRefusal.cmake
# Builds PROBE, a program linked against a lower floor only that calls
# functions of higher ones. Passes when its build fails because the linker
# finds none of the REFUSED functions, and prints what the linker said; fails
# when it links, or fails for another reason (a header not found, say). With
# ONLY, the linker may miss nothing else: a floor linked whole that calls a
# higher one fails.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${PROBE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc EQUAL 0)
  message(FATAL_ERROR "${PROBE} linked: its floor reaches a higher one")
endif()
string(REPLACE "|" ";" refused "${REFUSED}")
set(missing "")
foreach(symbol IN LISTS refused)
  # GNU ld, then lld.
  string(REGEX MATCH "[^\n]*(undefined reference to `|undefined symbol: )${symbol}[^\n]*" line "${out}")
  if(line)
    message(STATUS "refused: ${line}")
  else()
    list(APPEND missing ${symbol})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${PROBE} did not build, but not because the linker refused ${missing}:\n${out}")
endif()
if(ONLY)
  string(REGEX MATCHALL "(undefined reference to `|undefined symbol: )[^\n']+" all "${out}")
  foreach(line IN LISTS all)
    set(expected FALSE)
    foreach(symbol IN LISTS refused)
      if(line MATCHES "${symbol}")
        set(expected TRUE)
      endif()
    endforeach()
    if(NOT expected)
      message(FATAL_ERROR "${PROBE}: the floor itself calls a higher one: ${line}")
    endif()
  endforeach()
endif()
