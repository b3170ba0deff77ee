#include "session/ServerUrls.h"

namespace tessal {
namespace qt {

QUrl makeServerRootUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QString(), QUrl::DecodedMode);
    url.setQuery(QString(), QUrl::TolerantMode);
    return url;
}

QUrl makeProfileUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/pre/config.php"), QUrl::DecodedMode);
    url.setQuery(QStringLiteral("version=2.0"), QUrl::TolerantMode);
    return url;
}

QUrl makeResourceTemplateUrl(const QUrl& server)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/vdesk/resource_template"), QUrl::DecodedMode);
    return url;
}

QUrl makeNAConfigUrl(const QUrl& server, const QString& resourceName)
{
    QUrl url(server);
    url.setPath(QStringLiteral("/vdesk/vpn/connect.php3"), QUrl::DecodedMode);
    url.setQuery(QStringLiteral("resourcename=%1&outform=xml&client_version=1.1").arg(resourceName),
                 QUrl::TolerantMode);
    return url;
}

} // namespace qt
} // namespace tessal
