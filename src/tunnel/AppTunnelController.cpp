#include "tunnel/AppTunnelController.h"

#include <memory>
#include <optional>

#include <QEventLoop>
#include <QTimer>

#include <boost/system/system_error.hpp>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/Uri.h"
#include "tunnel/TunnelServerClient.h"
#include "tunnel/TunnelTestSeam.h"
#include "tunnel/WebInterface.h"

namespace tessal {
namespace qt {

namespace {

const char* const kSource = "AppTunnelController";
const int kReadinessWaits = 20;

int g_readinessPauseMs = 1000;
std::shared_ptr<TunnelServerClient> g_tunnelServerClient;
// The last level any controller was given: every open passes it on, and the
// client sends it only to a server that has not had it yet.
std::optional<int> g_logLevelInForce;

struct ClientSettings {
    std::string host;
    int port = 0;
    std::string sessionId;
    bool tls = false;
};

ClientSettings settingsFor(const QUrl& url, const QString& sessionId)
{
    ClientSettings s;
    const QString scheme = url.scheme();
    const int defaultPort = scheme == QLatin1String("https") ? 443 : 80;
    if (url.port() != -1) {
        s.port = url.port();
    } else {
        try {
            s.port = Uri::getDefaultPort(scheme.toUtf8().constData()).port;
        } catch (...) {
            ULOG(1, kSource, __PRETTY_FUNCTION__,
                 UArgFormat("Failed to get port for scheme %1, using default %2")
                     .arg(scheme.toUtf8().constData())
                     .arg(defaultPort)
                     .str());
            s.port = defaultPort;
        }
    }
    s.host = url.host(QUrl::FullyDecoded).toUtf8().toStdString();
    s.sessionId = sessionId.toUtf8().toStdString();
    s.tls = scheme == QLatin1String("https");
    return s;
}

} // namespace

AppTunnelController::AppTunnelController(WebInterface* listener, const QUrl& tunnelUrl, const QString& sessionId,
                                         const QString& resourceId)
    : m_listener(listener), m_tunnelUrl(tunnelUrl), m_sessionId(sessionId), m_resourceId(resourceId)
{}

AppTunnelController::~AppTunnelController() = default;

void TunnelTestSeam::setReadinessPause(int milliseconds)
{
    g_readinessPauseMs = milliseconds;
}

void TunnelTestSeam::resetTunnelServerClient()
{
    g_tunnelServerClient.reset();
    g_logLevelInForce.reset();
}

TunnelServerClient* AppTunnelController::getTunnelServerClient()
{
    return sharedTunnelServerClient().get();
}

std::shared_ptr<TunnelServerClient> AppTunnelController::sharedTunnelServerClient()
{
    const ClientSettings s = settingsFor(m_tunnelUrl, m_sessionId);
    // A client left from another server or session would open tunnels with
    // the wrong session; replace it once none of its tunnels is open and no
    // open in progress holds it.
    if (g_tunnelServerClient && !g_tunnelServerClient->isFor(s.host, s.port, s.sessionId, s.tls) &&
        g_tunnelServerClient->openResourceCount() == 0 && g_tunnelServerClient.use_count() == 1)
        g_tunnelServerClient.reset();
    if (!g_tunnelServerClient)
        g_tunnelServerClient = std::make_shared<TunnelServerClient>(s.host, s.port, s.sessionId, s.tls);
    return g_tunnelServerClient;
}

void AppTunnelController::closeServerTunnelsQuietly(TunnelServerClient* client)
{
    try {
        client->close(m_resourceId.toStdString());
    } catch (const std::exception& e) {
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Failed to close tunnels of '%1': %2")
                 .arg(m_resourceId.toUtf8().constData())
                 .arg(e.what())
                 .str());
    }
}

int AppTunnelController::open(const std::string& /*params*/)
{
    m_closeRequested = false;
    m_listener->onTunnelConnecting(m_resourceId);
    // Held, not borrowed: the waits below run nested loops.
    const std::shared_ptr<TunnelServerClient> client = sharedTunnelServerClient();

    if (!m_closeRequested) {
        bool ready = false;
        for (int wait = 0; wait < kReadinessWaits; ++wait) {
            if (client->isReady()) {
                ready = true;
                break;
            }
            QEventLoop loop;
            QTimer::singleShot(g_readinessPauseMs, &loop, &QEventLoop::quit);
            loop.exec();
            if (m_closeRequested)
                break;
        }
        if (!ready && !m_closeRequested)
            throw TunnelServerTimeoutException(
                UArgFormat("Tunnel server can't establish connection for %1 seconds").arg(kReadinessWaits).str());
    }

    if (m_closeRequested) {
        client->close(m_resourceId.toStdString());
        m_closeRequested = false;
        return 118;
    }

    if (g_logLevelInForce) {
        // A server started since the level was set (or restarted) has not had it.
        const int level = *g_logLevelInForce;
        try {
            client->setLogLevel(level);
        } catch (const boost::system::system_error&) {
            throw; // the server is gone: the open cannot go on
        } catch (const std::exception& e) {
            ULOG(2, kSource, __PRETTY_FUNCTION__,
                 UArgFormat("Failed to set log level %1: %2").arg(level).arg(e.what()).str());
        }
    }

    int result = 0;
    try {
        result = client->open(m_resourceId.toStdString());
    } catch (...) {
        // The server may have opened tunnels before the reply failed us.
        if (client->isConnected())
            closeServerTunnelsQuietly(client.get());
        throw;
    }
    m_opened = true;

    const std::vector<tessal::TunnelEndpoint> details = client->getCachedEndpoints(m_resourceId.toStdString());
    bool anyLocal = false;
    for (const auto& endpoint : details)
        if (endpoint.state != 2)
            anyLocal = true;
    if (!details.empty() && !anyLocal)
        result = 108;
    else
        m_listener->onTunnelConnected(m_resourceId);

    if (result != 0) {
        // The resource goes away with this result: its server tunnels must not stay.
        m_opened = false;
        closeServerTunnelsQuietly(client.get());
    }
    return result;
}

int AppTunnelController::close()
{
    if (m_opened) {
        m_opened = false;
        getTunnelServerClient()->close(m_resourceId.toStdString());
        m_listener->onTunnelClosed(m_resourceId, 0);
    } else {
        m_closeRequested = true;
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Tunnel '%1' is not opened yet").arg(m_resourceId.toUtf8().constData()).str());
    }
    return 0;
}

bool AppTunnelController::isOpened()
{
    return m_opened;
}

int AppTunnelController::checkStatus()
{
    if (!m_opened) {
        ULOG(2, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Tunnel '%1' is not opened yet").arg(m_resourceId.toUtf8().constData()).str());
        return 114;
    }
    TunnelServerClient* client = getTunnelServerClient();
    // Tunnels that went down with a dropped server connection do not come back.
    if (client->lostTunnels(m_resourceId.toStdString()))
        return 106;
    return client->checkStatus();
}

tessal::TunnelStats AppTunnelController::getTraffic()
{
    if (!m_opened)
        throw std::runtime_error("Tunnel is not opened yet");
    return getTunnelServerClient()->getStats(m_resourceId.toStdString());
}

UPropertyList AppTunnelController::getProperties()
{
    return UPropertyList();
}

std::vector<tessal::TunnelEndpoint> AppTunnelController::getResourceDetails()
{
    if (!m_opened)
        throw std::runtime_error("Tunnel is not opened yet");
    return getTunnelServerClient()->getCachedEndpoints(m_resourceId.toStdString());
}

tessal::AppLaunchConfig AppTunnelController::getLaunchConfig()
{
    if (!m_opened)
        throw std::runtime_error("Tunnel is not opened yet");
    return getTunnelServerClient()->getLaunchConfig(m_resourceId.toStdString());
}

void AppTunnelController::setLogLevel(int level)
{
    // Called from the resource manager's slots for every resource, open or
    // not: nothing may leave here.
    g_logLevelInForce = level;
    if (!m_opened)
        return; // the next open passes it on
    try {
        getTunnelServerClient()->setLogLevel(level);
    } catch (const std::exception& e) {
        ULOG(1, kSource, __PRETTY_FUNCTION__,
             UArgFormat("Failed to set log level %1: %2").arg(level).arg(e.what()).str());
    }
}

} // namespace qt
} // namespace tessal
