# cmake -DBINARY_DIR=<build tree> -DPROBE=<target> -DREFUSED=<symbol>|<symbol>... -P TestFloorRefusal.cmake
# Builds PROBE, a program linked against a lower floor only that calls
# functions of higher ones. Passes when its build fails because the linker
# finds none of the REFUSED functions, and prints what the linker said; fails
# when it links, or fails for another reason (a header not found, say).
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
