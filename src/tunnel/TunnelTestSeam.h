#pragma once
// What tests may change in the tunnels' process-wide state, in one place.
// Nothing in the program calls these; each is defined beside the state it
// touches.

#include <optional>

#include <QString>

#include "tunnel/ResourceManager.h"

namespace tessal {
namespace qt {

struct TunnelTestSeam final {
    // Pause between two readiness questions of an app tunnel (one second).
    static void setReadinessPause(int milliseconds);
    // Drops the process-wide tunnel server client and the log level in force.
    static void resetTunnelServerClient();
    // Forgets the session id of the previous svpn start, so that the next
    // start text is that of a first start.
    static void resetLastSessionId();
    // A resource manager's table entry for id, if it has one.
    static std::optional<ResourceManager::Resource> resource(const ResourceManager& manager, const QString& id)
    {
        return manager.lookup(id);
    }
};

} // namespace qt
} // namespace tessal
