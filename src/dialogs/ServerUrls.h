#pragma once
// The access server's endpoint URLs, each a copy of the server URL with only
// its path (and query) replaced; and the one way a server's name is shown to
// the user.

#include <QString>
#include <QUrl>

class QWidget;

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

// A question naming a server must show the whole name, its end (the domain
// that owns it) above all, on any screen. A word-wrapping label breaks only
// between words: a longer run than kLongestUnbrokenRun without a space gets
// invisible break opportunities (U+200B) after its dots and slashes, and at
// least every kLongestUnbrokenRun characters. Shorter texts stay as they are.
constexpr int kLongestUnbrokenRun = 40;
QString wrappableText(const QString& text);
// Each time the dialog is shown, its maximum size is bounded by the free
// area of the screen it is shown on, and it is made tall enough for its
// wrapped lines.
void fitIntoScreen(QWidget& dialog);

} // namespace qt
} // namespace tessal
