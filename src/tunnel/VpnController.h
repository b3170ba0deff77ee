#pragma once

#include <QMutex>
#include <QString>

#include <string>
#include <vector>

#include "foundation/UClasses.h"
#include "tunnel/SvpnHandler.h"
#include "tunnel/TunnelInterface.h"
#include "tunnel/WebInterface.h"

namespace tessal {
namespace qt {

// Controller of a network-access resource: an SvpnHandler whose worker's
// callbacks become WebInterface events carrying the resource id, and which
// keeps the latest traffic counters and tunnel details for the GUI thread.
class VpnController : private SvpnHandler, public TunnelInterface
{
public:
    // listener: the resource manager's WebInterfaceProxy, not owned.
    VpnController(WebInterface* listener, const QString& id);
    ~VpnController() override;

    // TunnelInterface (GUI thread)
    int open(const std::string& params) override;
    int close() override;
    bool isOpened() override;
    int checkStatus() override;
    tessal::TunnelStats getTraffic() override;
    UPropertyList getProperties() override;
    std::vector<tessal::TunnelEndpoint> getResourceDetails() override;
    tessal::AppLaunchConfig getLaunchConfig() override;
    void setLogLevel(int level) override;

    virtual void tunnelProxy(CString& text);

    // "name=value" pieces joined by separator into list (emptied first); a name
    // met again, in any letter case, keeps its first place and takes the later value.
    static void parsePairs(const CString& text, char separator, UPropertyList& list);

private:
    // Worker thread
    void onConnecting() override;
    void onConnected() override;
    void onReconnecting() override;
    void onClosed(int code) override;
    void onError(int code) override;
    void setTraffic(int64_t recvClient, int64_t sendClient, int64_t recvServer, int64_t sendServer) override;
    void tunnelDetails(CString& text) override;
    bool isRunning() override;

    QMutex m_lock; // guards m_traffic, m_details and the last details logged
    tessal::TunnelStats m_traffic;
    UPropertyList m_details;
    CString m_loggedDetails;
    bool m_detailsLogged = false;
    WebInterface* m_listener;
    const QString m_id;
};

} // namespace qt
} // namespace tessal
