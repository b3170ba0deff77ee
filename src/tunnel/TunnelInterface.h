#pragma once

#include <string>
#include <vector>

#include "tunnel/TunnelTypes.h"

class UPropertyList;

// What every tunnel controller offers the resource manager. An operation that
// cannot be answered throws std::runtime_error.
class TunnelInterface
{
public:
    // Starts the tunnel with the "name=value&..." text the resource manager
    // built; 0, or a result code. May throw.
    virtual int open(const std::string& params) = 0;
    // Stops the tunnel; 0, or a result code. The resource leaves the table only
    // when the controller reports closed or error through its listener.
    virtual int close() = 0;
    virtual bool isOpened() = 0;
    // 0 healthy, 110 the far side is reconnecting, anything else the failure code.
    virtual int checkStatus() = 0;
    virtual tessal::TunnelStats getTraffic() = 0;
    virtual UPropertyList getProperties() = 0;
    virtual std::vector<tessal::TunnelEndpoint> getResourceDetails() = 0;
    virtual tessal::AppLaunchConfig getLaunchConfig() = 0;
    virtual void setLogLevel(int level) = 0;
    virtual ~TunnelInterface() = default;
};
