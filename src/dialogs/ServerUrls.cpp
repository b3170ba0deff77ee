#include "dialogs/ServerUrls.h"

#include <QStringList>

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

namespace {

bool isPlainAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

} // namespace

QString displayedUrl(const QUrl& url)
{
    // Only the authority changes (EncodeUnicode gives the host in ACE form);
    // path, query and fragment read as the toolkit shows them.
    QString text = url.scheme().isEmpty() ? QString() : url.scheme() + QLatin1Char(':');
    if (!url.authority().isEmpty())
        text += QStringLiteral("//") + url.authority(QUrl::EncodeUnicode);
    return text + url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority);
}

QString displayedSite(const QString& site)
{
    if (isPlainAscii(site))
        return site;
    const QUrl url(site);
    if (!url.isValid() || url.host().isEmpty())
        return site;
    return displayedUrl(url);
}

QString displayedHostName(const QString& name)
{
    if (isPlainAscii(name))
        return name;
    QStringList labels = name.split(QLatin1Char('.'));
    for (QString& label : labels) {
        if (isPlainAscii(label))
            continue;
        const QByteArray ace = QUrl::toAce(label);
        if (ace.isEmpty())
            return name;
        label = QString::fromLatin1(ace);
    }
    return labels.join(QLatin1Char('.'));
}

} // namespace qt
} // namespace tessal
