#pragma once
// The window's cookie store hands cookies of the server's host only to the
// server's own origin. The engine matches cookies by host alone, so a page
// sent on to another port or scheme of that host would otherwise carry the
// session's cookies there.

class QUrl;
class QWebEngineCookieStore;

namespace tessal {
namespace qt {

// False for a request of the server's host on another origin (scheme, host
// and port); true for the server's origin and for every other host.
bool cookieAccessAllowed(const QUrl& server, const QUrl& requestOrigin);

// Installs that rule as the store's cookie filter, replacing an earlier one.
void keepCookiesWithServerOrigin(QWebEngineCookieStore* store, const QUrl& server);

} // namespace qt
} // namespace tessal
