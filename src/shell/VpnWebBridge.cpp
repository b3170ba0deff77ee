#include "shell/VpnWebBridge.h"

#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/str_helper.h"
#include "session/InputParamsBase.h"
#include "shell/auxiliary.h"

namespace tessal {
namespace qt {

namespace {
constexpr int kExtendedLogLevel = 63;
constexpr int kBasicLogLevel = 31;
} // namespace

VpnWebBridge::VpnWebBridge() = default;

VpnWebBridge::~VpnWebBridge() = default;

bool VpnWebBridge::sameOrigin(const QUrl& a, const QUrl& b)
{
    if (!a.isValid() || !b.isValid() || a.scheme().isEmpty() || a.host().isEmpty())
        return false;
    const auto defaultPort = [](const QUrl& u) {
        const QString scheme = asciiLowered(u.scheme());
        return scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1;
    };
    return equalsNoCase(a.scheme(), b.scheme()) && equalsNoCase(a.host(), b.host()) &&
           a.port(defaultPort(a)) == b.port(defaultPort(b));
}

QString VpnWebBridge::pageText(const QString& text, int maxLength)
{
    if (text.size() <= maxLength || maxLength < 2)
        return text;
    qsizetype keep = maxLength - 1;
    // Never half of a surrogate pair.
    if (text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep) + QChar(0x2026);
}

void VpnWebBridge::bind(QWebEnginePage* target, const QUrl& server)
{
    if (page)
        QObject::disconnect(page, nullptr, this, nullptr);
    page = target;
    serverOrigin = server;
    bound = true;
    if (page) {
        connect(page, &QWebEnginePage::loadingChanged, this, &VpnWebBridge::onLoadingChanged);
        connect(page, &QWebEnginePage::urlChanged, this, &VpnWebBridge::updateGuard);
        connect(page, &QWebEnginePage::loadFinished, this, &VpnWebBridge::updateGuard);
    }
    updateGuard();
}

bool VpnWebBridge::servesCurrentDocument() const
{
    if (!bound)
        return true;
    return page && !signalsBlocked() && sameOrigin(page->url(), serverOrigin);
}

void VpnWebBridge::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    // Silence the bridge before a foreign document can run; it speaks again
    // only once the page shows the server's own document.
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
        foreignLoad = !sameOrigin(info.url(), serverOrigin);
    else
        foreignLoad = false;
    updateGuard();
}

void VpnWebBridge::updateGuard()
{
    if (bound)
        blockSignals(foreignLoad || !(page && sameOrigin(page->url(), serverOrigin)));
}

void VpnWebBridge::disconnectResource(QString id)
{
    // No resource has a longer name than a launch URL can carry: a longer
    // id names none, and goes on cut.
    if (servesCurrentDocument())
        emit disconnect(pageText(id, InputParamsBase::kMaxTextLength));
}

void VpnWebBridge::setQuitMessage(QString quitMsg)
{
    if (servesCurrentDocument())
        emit newSetQuitMessage(pageText(quitMsg));
}

QString VpnWebBridge::getRoutingTable()
{
    if (!servesCurrentDocument())
        return QString();
    const CString html = GetIpForwardTableAsHTML();
    return QString::fromUtf8(static_cast<const char*>(base64EncodeText(static_cast<const char*>(html))));
}

QString VpnWebBridge::getIpTable()
{
    if (!servesCurrentDocument())
        return QString();
    const CString html = GetIpAddrTableAsHTML();
    return QString::fromUtf8(static_cast<const char*>(base64EncodeText(static_cast<const char*>(html))));
}

void VpnWebBridge::showLog()
{
    if (servesCurrentDocument())
        emit showLogRequest();
}

void VpnWebBridge::setLogLevel(bool extended)
{
    if (servesCurrentDocument())
        emit toggleLogSettings(extended ? kExtendedLogLevel : kBasicLogLevel);
}

bool VpnWebBridge::getLogLevel()
{
    if (!servesCurrentDocument())
        return false;
    IUErrorLog* log = g_pErrorLog.load();
    return log != nullptr && log->getLogLevel() > 62;
}

void VpnWebBridge::requestTunnelInfo()
{
    if (servesCurrentDocument())
        emit tunnelInfoRequest();
}

} // namespace qt
} // namespace tessal
