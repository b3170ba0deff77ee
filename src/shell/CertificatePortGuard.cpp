#include "shell/CertificatePortGuard.h"

#include <QSet>
#include <QWebEngineUrlRequestInfo>

#include "dialogs/ServerCertificateVerifier.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "CertificatePortGuard";

// Hosts the engine holds an accepted certificate for; the engine, like this
// set, forgets them only when the process ends.
QSet<QString>& acceptedHosts()
{
    static QSet<QString> hosts;
    return hosts;
}

// The request as the HTTP client would have made it: wss goes to an https port.
QUrl asHttps(const QUrl& url)
{
    QUrl https(url);
    if (https.scheme() == QLatin1String("wss"))
        https.setScheme(QStringLiteral("https"));
    return https;
}
} // namespace

CertificatePortGuard::CertificatePortGuard(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

CertificatePortGuard::~CertificatePortGuard() = default;

void CertificatePortGuard::noteAccepted(const QUrl& url)
{
    acceptedHosts().insert(asciiLowered(url.host()));
}

bool CertificatePortGuard::mayRequest(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("https") && scheme != QLatin1String("wss"))
        return true;
    if (!acceptedHosts().contains(asciiLowered(url.host())))
        return true;
    return hasTrustedServerCertificate(asHttps(url));
}

void CertificatePortGuard::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    const QUrl url = info.requestUrl();
    if (mayRequest(url))
        return;
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Request to %1 blocked: the certificate accepted for this host does not hold for "
                               "this port",
                               url.toString()));
    info.block(true);
    emit requestBlocked(url);
}

} // namespace qt
} // namespace tessal
