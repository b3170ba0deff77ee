#include "tunnel/VpnController.h"

#include <QMutexLocker>

#include <cctype>
#include <cstring>
#include <string>

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "tunnel/UTunnelManagerHelpers.h"

namespace tessal {
namespace qt {

namespace {

const char* const kFile = "VpnController";

// The details text for the log: session ids appear there only in short form.
CString forRecord(const CString& text)
{
    const std::string source(static_cast<const char*>(text));
    std::string out;
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string::npos)
            end = source.size();
        std::string line = source.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) {
            if (containsNoCase(line.substr(0, eq).c_str(), "session")) {
                const CString value(line.substr(eq + 1).c_str());
                line = line.substr(0, eq + 1) + static_cast<const char*>(shortSecret(value));
            }
        }
        out += line;
        if (end == source.size())
            break;
        out += '\n';
        start = end + 1;
    }
    return CString(out.c_str());
}

} // namespace

VpnController::VpnController(WebInterface* listener, const QString& id) : m_listener(listener), m_id(id) {}

VpnController::~VpnController()
{
    // The worker calls this object's callbacks and uses its lock and details:
    // stop it before any member goes.
    shutdownWorker();
}

// The tunnel server's replies follow the same rules; one parser serves both.
void VpnController::parsePairs(const CString& source, char separator, UPropertyList& list)
{
    parseKeyValueList(list, static_cast<const char*>(source), separator, '=');
}

int VpnController::open(const std::string& params)
{
    auto* list = new UPropertyList();
    parsePairs(CString(params.c_str()), '&', *list);
    return SvpnHandler::Open(list);
}

int VpnController::close()
{
    return SvpnHandler::CloseTunnel();
}

bool VpnController::isOpened()
{
    return SvpnHandler::isRunning();
}

bool VpnController::isRunning()
{
    return SvpnHandler::isRunning();
}

int VpnController::checkStatus()
{
    return 0;
}

tessal::TunnelStats VpnController::getTraffic()
{
    QMutexLocker locker(&m_lock);
    return m_traffic;
}

UPropertyList VpnController::getProperties()
{
    QMutexLocker locker(&m_lock);
    return m_details; // the copy owns its texts
}

std::vector<tessal::TunnelEndpoint> VpnController::getResourceDetails()
{
    return {};
}

tessal::AppLaunchConfig VpnController::getLaunchConfig()
{
    return {};
}

void VpnController::setLogLevel(int level)
{
    SvpnHandler::setLogLevel(level);
}

void VpnController::tunnelProxy(CString& text)
{
    ULOG_AT(48, kFile, __LINE__, "virtual void tessal::qt::VpnController::tunnelProxy(CString&)", text);
}

void VpnController::onConnecting()
{
    m_listener->onTunnelConnecting(m_id);
}
void VpnController::onConnected()
{
    m_listener->onTunnelConnected(m_id);
}
void VpnController::onReconnecting()
{
    m_listener->onTunnelReconnecting(m_id);
}
void VpnController::onClosed(int code)
{
    m_listener->onTunnelClosed(m_id, code);
}
void VpnController::onError(int code)
{
    m_listener->onTunnelError(m_id, code);
}

void VpnController::setTraffic(int64_t recvClient, int64_t sendClient, int64_t recvServer, int64_t sendServer)
{
    QMutexLocker locker(&m_lock);
    m_traffic.recv_client = recvClient;
    m_traffic.send_client = sendClient;
    m_traffic.recv_server = recvServer;
    m_traffic.send_server = sendServer;
}

void VpnController::tunnelDetails(CString& text)
{
    QMutexLocker locker(&m_lock);
    // The daemon repeats its details in every poll: the log takes changes only.
    if (std::strcmp(text, m_loggedDetails) != 0 || !m_detailsLogged) {
        ULOG_AT(48, kFile, __LINE__, "virtual void tessal::qt::VpnController::tunnelDetails(CString&)",
                forRecord(text));
        m_loggedDetails = CString(static_cast<const char*>(text));
        m_detailsLogged = true;
    }
    parsePairs(text, '\n', m_details);
}

} // namespace qt
} // namespace tessal
