# cmake -DBINARY_DIR=<build tree> -DPROBE=<target> -DREFUSED=<symbol>|<symbol>...
#       -P TestFloorRefusal.cmake
# Builds PROBE, a program that links one floor whole with the floors below it
# and calls REFUSED functions of higher ones. Passes when its build fails
# because the linker finds none of the REFUSED functions for the probe's own
# calls and misses nothing else, and prints what the linker said. Fails when
# it links, when it fails for another reason (a header not found, say), and
# when a source of the floor calls anything the linker misses: a REFUSED
# function included.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${PROBE}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc EQUAL 0)
  message(FATAL_ERROR "${PROBE} linked: it calls no higher floor, or that floor is linked in")
endif()

# One entry per unresolved call, with the caller: GNU ld names the caller's
# object on the line before ("...: in function `f':"), lld on the lines after
# (">>> referenced by ..."). Brackets and semicolons would cut CMake's lists.
string(REGEX REPLACE "[][;]" "_" text "${out}")
string(REPLACE "\n" ";" lines "${text}")
set(calls "")
set(context "")
set(symbol "")
foreach(line IN LISTS lines)
  if(line MATCHES ": in function `")
    set(context "${line}")
  elseif(line MATCHES "undefined reference to `")
    list(APPEND calls "${context} ${line}")
  elseif(line MATCHES "undefined symbol: (.*)")
    set(symbol "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^>>> referenced by ")
    list(APPEND calls "undefined symbol: ${symbol} ${line}")
  elseif(line MATCHES "^>>> " AND calls)
    list(POP_BACK calls last)
    list(APPEND calls "${last} ${line}")
  endif()
endforeach()
if(NOT calls)
  message(FATAL_ERROR "${PROBE} did not build, and the linker refused nothing:\n${out}")
endif()

string(REPLACE "|" ";" refused "${REFUSED}")
set(found "")
foreach(call IN LISTS calls)
  set(expected FALSE)
  if(call MATCHES "floor_probe\\.cpp")
    foreach(symbol IN LISTS refused)
      if(call MATCHES "(`|undefined symbol: )${symbol}")
        set(expected TRUE)
        list(APPEND found ${symbol})
      endif()
    endforeach()
  endif()
  if(NOT expected)
    message(FATAL_ERROR "${PROBE}: the floor calls what it may not reach: ${call}\n${out}")
  endif()
  message(STATUS "refused: ${call}")
endforeach()
foreach(symbol IN LISTS refused)
  if(NOT symbol IN_LIST found)
    message(FATAL_ERROR "${PROBE} did not build, but the linker did not refuse ${symbol}:\n${out}")
  endif()
endforeach()
