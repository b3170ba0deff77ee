#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessal {

// Traffic counters of one tunnel, as the controllers report them.
struct TunnelStats {
    int64_t recv_server = 0; // received from the server side
    int64_t send_server = 0; // sent to the server side
    int64_t recv_client = 0; // received from the client side
    int64_t send_client = 0; // sent to the client side
};

// One application tunnel as the tunnel server opened it.
struct TunnelEndpoint {
    std::string local_host;
    std::string desired_local_host; // no reply key fills it
    std::string remote_host;
    uint16_t local_port = 0;
    uint16_t desired_local_port = 0;
    uint16_t remote_port = 0;
    // 2: the reply named no local side; 1: the local port is not the desired one; 0 otherwise.
    int state = 0;
};

// One application to launch for a resource.
struct AppLaunchRequest {
    std::string app_path;
    std::string app_params;
};

// What a resource asks the browser window to launch.
struct AppLaunchConfig {
    std::vector<AppLaunchRequest> requests;
    bool show_warning = false;
};

} // namespace tessal
