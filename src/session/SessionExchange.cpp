#include "session/SessionExchange.h"

#include "dialogs/QuitRequest.h"
#include "session/HttpNetworkManager.h"
#include "session/InputParamsBase.h"

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/UArgFormat.h"

#include <QEventLoop>
#include <QList>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringList>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "SessionManager";
constexpr uint32_t kExchangeTimeoutMs = 15000;
// Both exchanges are read for their headers and status; their bodies are
// small or none.
constexpr HttpNetworkManager::Bounds kExchangeBounds{64 * 1024, 60000, 0};
constexpr int kSessionIdLength = 32;

CString toCString(const QByteArray& bytes)
{
    return CString(bytes.constData(), bytes.size(), "");
}

QUrl withPath(const QUrl& server, const char* path)
{
    QUrl url(server);
    url.setPath(QString::fromLatin1(path), QUrl::DecodedMode);
    return url;
}

// The exchanges before a session follow no redirection to another origin:
// one with a plain-HTTP server never needs TLS.
HttpNetworkManager::Tls tlsFor(const QUrl& server)
{
    return server.scheme() == QLatin1String("http") ? HttpNetworkManager::Tls::Unused
                                                    : HttpNetworkManager::Tls::Configured;
}

} // namespace

bool isValidSessionId(const CString& sid)
{
    if (sid.GetLength() != kSessionIdLength)
        return false;
    const char* text = sid;
    for (int i = 0; i < kSessionIdLength; ++i) {
        const char c = text[i];
        const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!alnum)
            return false;
    }
    return true;
}

bool retrieveSidFromOtc(const QUrl& server, const CString& otc, CString& sid)
{
    // Once the program is quitting the exchange is neither started nor waited for.
    if (quitRequested())
        return false;
    HttpNetworkManager manager(std::string(), false, tlsFor(server));
    // Asked before the user has trusted the server: it may not send the
    // client anywhere else.
    manager.setSameOriginRedirectionsOnly(true);
    manager.setBounds(kExchangeBounds);
    manager.request().setRawHeader("X-ACCESS-Session-Token", QByteArray(static_cast<const char*>(otc)));

    QByteArray received;
    bool headerSeen = false;
    bool done = false;
    QEventLoop loop;
    // The id is in the headers; the body does not matter, so the wait ends as
    // soon as the headers are in (or the reply has ended).
    auto takeHeaders = [&](QNetworkReply* reply) {
        if (done || reply == nullptr)
            return;
        headerSeen = reply->hasRawHeader("X-ACCESS-Session-ID");
        received = reply->rawHeader("X-ACCESS-Session-ID");
        done = true;
        loop.quit();
    };
    QObject::connect(&manager, &HttpNetworkManager::ResponseDataAvailable, &loop, takeHeaders);
    QObject::connect(&manager, qOverload<Err::HttpNetworkManager, QString>(&HttpNetworkManager::RequestFinished), &loop,
                     [&](Err::HttpNetworkManager, const QString&) {
                         done = true;
                         loop.quit();
                     });
    manager.HttpGet(withPath(server, "/vdesk/get_sessid_for_token.php3"), kExchangeTimeoutMs);
    for (QNetworkReply* reply : manager.findChildren<QNetworkReply*>()) {
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&takeHeaders, reply]() {
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
                takeHeaders(reply);
        });
    }
    QObject::connect(&QuitRequest::instance(), &QuitRequest::requested, &loop, &QEventLoop::quit);
    if (!done)
        loop.exec();
    if (quitRequested())
        return false;

    const CString id = toCString(received.trimmed());
    if (headerSeen && id.GetLength() > 0 && isValidSessionId(id)) {
        sid = id;
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("session id(%1) for otc(%2)", shortSecret(id), shortSecret(otc)));
        return true;
    }
    if (headerSeen && id.GetLength() > 0)
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Session id received is not valid", shortSecret(id)));
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to exchange session Id with one time code"));
    return false;
}

bool ReportNetworkAccess(const QUrl& server, const QString& sessionId, const QString& token,
                         const std::function<void()>& whileSent)
{
    HttpNetworkManager manager(std::string(), false, tlsFor(server));
    manager.setSameOriginRedirectionsOnly(true);
    manager.setBounds(kExchangeBounds);
    const bool secure = server.scheme() == QLatin1String("https");
    QNetworkCookieJar* jar = manager.cookieJar();
    QList<QNetworkCookie> cookies = jar->cookiesForUrl(server);
    cookies.append(MakeSessionCookie(QStringLiteral("NAToken"), token, secure));
    cookies.append(MakeSessionCookie(QStringLiteral("MRHSession"), sessionId, secure));
    jar->setCookiesFromUrl(cookies, server);

    bool denied = false;
    bool done = false;
    QEventLoop loop;
    QObject::connect(&manager, &HttpNetworkManager::SslCertificateDenied, &loop,
                     [&](QNetworkReply*) { denied = true; });
    QObject::connect(&manager, qOverload<Err::HttpNetworkManager, QString>(&HttpNetworkManager::RequestFinished), &loop,
                     [&](Err::HttpNetworkManager, const QString&) {
                         done = true;
                         loop.quit();
                     });
    // The caller asks whether the program is quitting when this returns.
    QObject::connect(&QuitRequest::instance(), &QuitRequest::requested, &loop, &QEventLoop::quit);
    manager.HttpGet(withPath(server, "/my.report.na"), kExchangeTimeoutMs);
    if (whileSent && !done)
        whileSent();
    if (!done)
        loop.exec();
    return !denied;
}

QNetworkCookie MakeSessionCookie(const QString& name, const QString& value, bool secure)
{
    QNetworkCookie cookie(name.toUtf8(), value.toUtf8());
    cookie.setSecure(secure);
    cookie.setPath(QStringLiteral("/"));
    return cookie;
}

namespace {

// Every "sid", "otc" or "token" value in text, wherever it stands (query,
// fragment, after a second "?"), cut to its last 8 characters.
QString shortenSecretValues(const QString& text)
{
    static const QRegularExpression secret(QStringLiteral("(^|[^A-Za-z0-9])(sid|otc|token)(\\s*=)([^&#?]*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype done = 0;
    QRegularExpressionMatchIterator it = secret.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString value = QUrl::fromPercentEncoding(m.captured(4).toUtf8()).trimmed();
        out += text.mid(done, m.capturedStart(4) - done);
        out += shortSecret(value);
        done = m.capturedEnd(4);
    }
    out += text.mid(done);
    return out;
}

} // namespace

QString redactedLaunchUrl(const QUrl& url)
{
    // Once as written (an encoded "&" inside a value stays inside it), once
    // decoded (an encoded separator may start another pair).
    const QString once = shortenSecretValues(url.toString());
    return shortenSecretValues(QUrl::fromPercentEncoding(once.toUtf8()));
}

} // namespace qt
} // namespace tessal
