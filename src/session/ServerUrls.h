#pragma once
// The access server's endpoint URLs, each a copy of the server URL with only
// its path (and query) replaced.

#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

QUrl makeServerRootUrl(const QUrl& server);
QUrl makeProfileUrl(const QUrl& server);
QUrl makeResourceTemplateUrl(const QUrl& server);
QUrl makeNAConfigUrl(const QUrl& server, const QString& resourceName);

} // namespace qt
} // namespace tessal
