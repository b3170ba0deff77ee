#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QString>
#include <QUrl>

#include "tunnel/TunnelInterface.h"

class TunnelServerClient;

namespace tessal {
namespace qt {

class WebInterface;

// The tunnel server did not become ready within the readiness wait.
class TunnelServerTimeoutException : public std::runtime_error
{
public:
    explicit TunnelServerTimeoutException(const std::string& text) : std::runtime_error(text) {}
};

// The TunnelInterface of an "app_tunnel" resource: turns each operation into
// commands of the one process-wide TunnelServerClient and reports tunnel
// events to its listener. GUI thread only.
class AppTunnelController final : public TunnelInterface
{
public:
    AppTunnelController(WebInterface* listener, const QUrl& tunnelUrl, const QString& sessionId,
                        const QString& resourceId);
    ~AppTunnelController() override;

    int open(const std::string& params) override;
    int close() override;
    bool isOpened() override;
    int checkStatus() override;
    tessal::TunnelStats getTraffic() override;
    UPropertyList getProperties() override;
    std::vector<tessal::TunnelEndpoint> getResourceDetails() override;
    tessal::AppLaunchConfig getLaunchConfig() override;
    void setLogLevel(int level) override;

    // The process-wide client, built on first use from this controller's URL
    // and session; rebuilt for another server or session while it has no
    // tunnel open and nobody holds it.
    TunnelServerClient* getTunnelServerClient();

private:
    // The client as its owners hold it: open keeps it across its nested
    // loops, in which another controller may ask for a client.
    std::shared_ptr<TunnelServerClient> sharedTunnelServerClient();
    void closeServerTunnelsQuietly(TunnelServerClient* client);

    bool m_opened = false;
    bool m_closeRequested = false;
    WebInterface* m_listener;
    QUrl m_tunnelUrl;
    QString m_sessionId;
    QString m_resourceId;
};

} // namespace qt
} // namespace tessal
