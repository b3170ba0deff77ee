# cmake -DCLIENT_DIR=<folder of tessalvpn> -P TestNoStandIn.cmake
# Fails when a stand-in lies in the client's folder, where the client would
# start it (tunnelserver) or a user would take it for the real program.
foreach(name tunnelserver svpn access_server)
  if(EXISTS "${CLIENT_DIR}/${name}")
    message(FATAL_ERROR "stand-in ${name} lies beside tessalvpn in ${CLIENT_DIR}")
  endif()
endforeach()
if(NOT EXISTS "${CLIENT_DIR}/tessalvpn")
  message(FATAL_ERROR "no tessalvpn in ${CLIENT_DIR}")
endif()
