# Run by CTest around the tests (fixture tessal_download_check): the client
# downloads into the build's fixed folder ("/tmp/launcherDownloaded..."
# under the system root). Before the tests, files an earlier run left there
# are removed; after them, a file left by this run fails the suite, listed
# with its time (to find its test in the log) and removed.
#   cmake -DFOLDER=<folder> -DMODE=before|after -P TestDownloadFolder.cmake
file(GLOB found LIST_DIRECTORIES false "${FOLDER}/launcherDownloaded*")
set(left "")
foreach(f IN LISTS found)
  file(TIMESTAMP "${f}" when "%Y-%m-%d %H:%M:%S" UTC)
  list(APPEND left "${f} (${when} UTC)")
  file(REMOVE "${f}")
endforeach()
if(NOT left)
  return()
endif()
list(JOIN left "\n  " text)
if(MODE STREQUAL "before")
  message(STATUS "removed downloads an earlier run left:\n  ${text}")
else()
  message(FATAL_ERROR "downloads left by the tests (removed now):\n  ${text}")
endif()
