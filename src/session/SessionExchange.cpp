#include "session/SessionExchange.h"

#include "session/HttpNetworkManager.h"
#include "session/InputParamsBase.h"

#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/UArgFormat.h"

#include <QEventLoop>
#include <QList>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QStringList>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "/SessionManager";
constexpr uint32_t kExchangeTimeoutMs = 15000;
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
    HttpNetworkManager manager(std::string(), false, 0);
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
    QObject::connect(&manager, qOverload<Err::HttpNetworkManager, QString>(&HttpNetworkManager::RequestFinished),
                     &loop, [&](Err::HttpNetworkManager, const QString&) {
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
    if (!done)
        loop.exec();

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

bool ReportNetworkAccess(const QUrl& server, const QString& sessionId, const QString& token)
{
    HttpNetworkManager manager(std::string(), false, 0);
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
    QObject::connect(&manager, qOverload<Err::HttpNetworkManager, QString>(&HttpNetworkManager::RequestFinished),
                     &loop, [&](Err::HttpNetworkManager, const QString&) {
                         done = true;
                         loop.quit();
                     });
    manager.HttpGet(withPath(server, "/my.report.na"), kExchangeTimeoutMs);
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

QString redactedLaunchUrl(const QUrl& url)
{
    const QString text = url.toString();
    const int mark = text.lastIndexOf(QLatin1Char('?'));
    if (mark < 0)
        return text;
    const QString query = QUrl::fromPercentEncoding(text.mid(mark + 1).toUtf8());
    QStringList pairs = query.split(QLatin1Char('&'));
    for (QString& pair : pairs) {
        const int eq = pair.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = pair.left(eq).trimmed().toLower();
        if (key == QLatin1String("sid") || key == QLatin1String("otc") || key == QLatin1String("token")) {
            const QString value = pair.mid(eq + 1).trimmed();
            pair = pair.left(eq + 1) + value.right(8);
        }
    }
    return text.left(mark + 1) + pairs.join(QLatin1Char('&'));
}

} // namespace qt
} // namespace tessal
