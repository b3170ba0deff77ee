#pragma once

#include <QString>

namespace tessal {
namespace qt {

// Where tunnel controllers report their events, each with its resource id.
// Closed and error are final for a resource.
class WebInterface
{
public:
    virtual void onTunnelConnected(const QString& id) = 0;
    virtual void onTunnelReconnecting(const QString& id) = 0;
    virtual void onTunnelConnecting(const QString& id) = 0;
    virtual void onTunnelClosed(const QString& id, int error) = 0;
    virtual void onTunnelError(const QString& id, int error) = 0;
    virtual ~WebInterface() = default;
};

} // namespace qt
} // namespace tessal
