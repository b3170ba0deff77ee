#pragma once
// The access server's endpoint URLs, each a copy of the server URL with only
// its path (and query) replaced; and the one way a server's name is shown to
// the user.

#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

QUrl makeServerRootUrl(const QUrl& server);
QUrl makeProfileUrl(const QUrl& server);
QUrl makeResourceTemplateUrl(const QUrl& server);
QUrl makeNAConfigUrl(const QUrl& server, const QString& resourceName);

// Names of servers as the user reads them. A host that is not plain ASCII is
// shown in its ASCII (punycode) form, so that a look-alike name in another
// script cannot pass for a server the user knows. Lookups keep using the
// names as they are; only what is shown changes.

// The URL as text, its host in ASCII form.
QString displayedUrl(const QUrl& url);
// A URL given as text: the same, or the text unchanged when it is plain
// ASCII or no URL with a host.
QString displayedSite(const QString& site);
// A bare host name (a URL's host, a certificate's common name): every label
// that is not plain ASCII in its ASCII form; unchanged when some label has
// no such form (then it is no host name).
QString displayedHostName(const QString& name);

} // namespace qt
} // namespace tessal
