#include "shell/CookieOriginFilter.h"

#include "foundation/Helpers.h"
#include "shell/VpnWebBridge.h"

#include <QUrl>
#include <QWebEngineCookieStore>

namespace tessal {
namespace qt {

bool cookieAccessAllowed(const QUrl& server, const QUrl& requestOrigin)
{
    const QString host = requestOrigin.host(QUrl::FullyEncoded);
    if (host.isEmpty() || !equalsNoCase(host, server.host(QUrl::FullyEncoded)))
        return true;
    return VpnWebBridge::sameOrigin(requestOrigin, server);
}

void keepCookiesWithServerOrigin(QWebEngineCookieStore* store, const QUrl& server)
{
    if (store == nullptr)
        return;
    // The engine may call the filter on another thread: it holds its own copy.
    store->setCookieFilter([server](const QWebEngineCookieStore::FilterRequest& request) {
        return cookieAccessAllowed(server, request.origin);
    });
}

} // namespace qt
} // namespace tessal
