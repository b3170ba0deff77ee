# cmake -DSOURCE_DIR=<src folder> -P TestLayerIncludes.cmake
# Fails when a lower floor includes a header of a higher one: the foundation
# nothing of the client, the tunnels nothing of the shell, the sessions only
# the window and the message boxes and notifications they hand over to.
cmake_policy(VERSION 3.25)
set(allowed_from_session BrowserController.h MainWindow.h MessageBox.h Notification.h)
set(failures "")
foreach(floor foundation tunnel session)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${floor}/*.h" "${SOURCE_DIR}/${floor}/*.cpp")
  list(SORT sources)
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](session|tunnel|shell)/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"<]*[\"<]([a-z]+)/([^\">]*)[\">].*$" "\\1;\\2" target "${line}")
      list(GET target 0 layer)
      list(GET target 1 header)
      if(floor STREQUAL "foundation"
         OR (floor STREQUAL "tunnel" AND layer STREQUAL "shell")
         OR (floor STREQUAL "session" AND layer STREQUAL "shell" AND NOT header IN_LIST allowed_from_session))
        file(RELATIVE_PATH where "${SOURCE_DIR}" "${source}")
        string(APPEND failures "\n  ${where}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "headers included from a higher floor:${failures}")
endif()
