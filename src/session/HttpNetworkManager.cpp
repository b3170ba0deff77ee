#include "session/HttpNetworkManager.h"

#include "dialogs/CertificateDetails.h"
#include "dialogs/CertificateErrorDialog.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ServerCertificateVerifier.h"
#include "session/Gunzip.h"

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/m_system.h"
#include "tessal_config.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QHash>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <stdexcept>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "/HttpNetworkManager";
constexpr qint64 kReadAheadBytes = qint64(1) << 20;

using RecordPtr = QSharedPointer<NetworkReplyAttribute>;

// Every limit and interval here runs on the monotonic clock: a step of the
// wall clock must not stretch or cut a request's inactivity limit.
qint64 nowMs()
{
    return monotonicMs();
}

RecordPtr recordOf(const QNetworkReply* reply)
{
    if (!reply)
        return {};
    return reply->request().attribute(QNetworkRequest::User).value<RecordPtr>();
}

QTimer* recordTimer(const QNetworkReply* reply)
{
    const RecordPtr r = recordOf(reply);
    return r ? r->timer.data() : nullptr;
}

uint32_t recordTimeout(const QNetworkReply* reply)
{
    const RecordPtr r = recordOf(reply);
    return r ? r->timeout : 0;
}

qint64 elapsedSinceActivity(const QNetworkReply* reply)
{
    const RecordPtr r = recordOf(reply);
    return r ? nowMs() - r->lastActivity : 2147483647;
}

void markActivity(const QNetworkReply* reply)
{
    if (const RecordPtr r = recordOf(reply))
        r->lastActivity = nowMs();
}

void stopTimer(const QNetworkReply* reply)
{
    if (QTimer* t = recordTimer(reply))
        t->stop();
}

void markActivityAndRestartTimer(const QNetworkReply* reply)
{
    markActivity(reply);
    if (QTimer* t = recordTimer(reply))
        t->start(t->interval());
}

// Statuses the client follows itself.
bool isFollowedRedirection(int status)
{
    return status == 301 || status == 302 || status == 307;
}

// Errors the toolkit derives from an HTTP error status (as opposed to a
// failure of the transfer itself).
bool isHttpStatusError(QNetworkReply::NetworkError e)
{
    return (e >= QNetworkReply::ContentAccessDenied && e <= QNetworkReply::UnknownContentError) ||
           e == QNetworkReply::ProtocolInvalidOperationError || e == QNetworkReply::ProxyAuthenticationRequiredError ||
           (e >= QNetworkReply::InternalServerError && e <= QNetworkReply::UnknownServerError);
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return certificateServerKey(a) == certificateServerKey(b);
}

// Keeps each cookie with the origin (scheme, host and port) it was stored
// for or came from, and hands it only to requests of that very origin. A
// plain jar matches by host alone, so a redirection to another port of the
// server would carry the session's cookies there.
class OriginCookieJar final : public QNetworkCookieJar
{
public:
    using QNetworkCookieJar::QNetworkCookieJar;

    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override
    {
        const QNetworkCookieJar* jar = m_jars.value(originKey(url));
        return jar ? jar->cookiesForUrl(url) : QList<QNetworkCookie>();
    }

    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override
    {
        const QString key = originKey(url);
        if (key.isEmpty())
            return false;
        QNetworkCookieJar*& jar = m_jars[key];
        if (jar == nullptr)
            jar = new QNetworkCookieJar(this);
        return jar->setCookiesFromUrl(cookies, url);
    }

private:
    static QString originKey(const QUrl& url)
    {
        if (!url.isValid() || url.host().isEmpty())
            return QString();
        return certificateServerKey(url);
    }

    QHash<QString, QNetworkCookieJar*> m_jars; // children of this jar
};

// Set on a reply once its handshake reported certificate errors: such a
// certificate is never taken for a verified one, even when accepted.
constexpr const char* kSslErrorsSeen = "tessalSslErrorsSeen";

} // namespace

void HttpNetworkManager::setFixedHeaders(QNetworkRequest& request)
{
    request.setRawHeader("User-Agent", "Mozilla/5.0 (Linux) TessalLauncher/1.0");
    request.setRawHeader("Accept-Encoding", "gzip");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    // Redirections are followed here, not by the toolkit, so that each hop is
    // counted, checked and sent with the right headers.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
}

HttpNetworkManager::HttpNetworkManager(const std::string& sessionId, bool toFile, Tls tls)
    : QNetworkAccessManager(nullptr), m_toFile(toFile)
{
    setFixedHeaders(m_request);
    if (!sessionId.empty()) {
        const QList<QNetworkCookie> cookies{
            QNetworkCookie(QByteArrayLiteral("MRHSession"), QByteArray::fromStdString(sessionId))};
        m_request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        m_sessionId = sessionId;
    }
    if (tls == Tls::Configured)
        m_request.setSslConfiguration(QSslConfiguration::defaultConfiguration());
    setCookieJar(new OriginCookieJar(this));
    // Whatever ends the main loop (a quit, a signal) ends a download with it:
    // an owner deleted later is never deleted once the loop has ended.
    QCoreApplication* app = QCoreApplication::instance();
    if (m_toFile && app != nullptr)
        connect(app, &QCoreApplication::aboutToQuit, this, [this]() { dropUnfinished(); });

    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &HttpNetworkManager::deadlineReached);

    connect(this, SIGNAL(finished(QNetworkReply*)), this, SLOT(Finished(QNetworkReply*)));
    connect(this, SIGNAL(sslErrors(QNetworkReply*, QList<QSslError>)), this,
            SLOT(SSLErrors(QNetworkReply*, QList<QSslError>)));
    connect(this, &QNetworkAccessManager::encrypted, this, &HttpNetworkManager::checkEncrypted);
}

void HttpNetworkManager::checkEncrypted(QNetworkReply* reply)
{
    if (reply == nullptr || reply->property(kSslErrorsSeen).toBool() || reply->url().scheme() != QLatin1String("https"))
        return;
    // A connection kept from a reply whose errors were ignored hands on
    // its certificate without errors: that one stays merely accepted.
    const QSslConfiguration configuration = reply->sslConfiguration();
    const QSslCertificate certificate = configuration.peerCertificate();
    if (certificate.isNull() || configuration.peerVerifyMode() == QSslSocket::VerifyNone ||
        configuration.peerVerifyMode() == QSslSocket::QueryPeer ||
        isAcceptedServerCertificate(reply->url(), certificate))
        return;
    // The toolkit's handshake matches the host more loosely than a browser
    // (the CN despite other names, an IP host by a DNS name): the one
    // verifier decides before the request leaves. The handshake's thread
    // waits for this slot, so an abort here comes before anything is sent.
    const QList<QSslError> errors =
        verifyServerCertificateChain(configuration.peerCertificateChain(), reply->url().host(QUrl::FullyEncoded));
    if (errors.isEmpty()) {
        // Remembered so that the window's engine, which checks against its
        // own store, trusts what this client verified against the system's.
        rememberVerifiedServerCertificate(reply->url(), certificate);
        return;
    }
    reply->setProperty(kSslErrorsSeen, true);
    QString text;
    try {
        text = sslErrorsText(errors);
    } catch (const std::runtime_error& e) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("SSL Error:%1", e.what()));
        reply->abort();
        return;
    }
    QPointer<HttpNetworkManager> self(this);
    QPointer<QNetworkReply> alive(reply);
    const bool accepted = AcceptInvalidServerCert(reply, text);
    if (!self || !alive)
        return;
    if (accepted) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Accepting invalid cert"));
        return;
    }
    emit SslCertificateDenied(reply);
    if (alive)
        reply->abort();
}

HttpNetworkManager::~HttpNetworkManager()
{
    disconnect(this, nullptr, this, nullptr);
    dropUnfinished();
    if (m_tempFile)
        m_tempFile->close();
}

void HttpNetworkManager::dropUnfinished()
{
    m_deadline.stop();
    // Replies still running go first, while this object is whole, and without
    // reaching its slots.
    const QList<QNetworkReply*> replies = findChildren<QNetworkReply*>();
    for (QNetworkReply* r : replies)
        r->disconnect(this);
    qDeleteAll(replies);
    // An unfinished download is not a file anyone can use.
    if (m_running)
        discardTempFile();
    m_running = false;
}

void HttpNetworkManager::SetParentWidget(QWidget* parent)
{
    m_dialogParent = parent;
}

void HttpNetworkManager::setBounds(const Bounds& bounds)
{
    m_bounds = bounds;
    m_bounds.bodyBytes = qBound<qint64>(0, bounds.bodyBytes, qint64(kMaxBodySize));
}

void HttpNetworkManager::startDeadline()
{
    m_deadlineExtended = false;
    m_deadlineHeld = -1;
    m_deadlineAt = m_bounds.totalMs > 0 ? nowMs() + m_bounds.totalMs : 0;
    armDeadline();
}

void HttpNetworkManager::armDeadline()
{
    m_deadline.stop();
    if (m_deadlineAt != 0 && m_deadlineHeld < 0)
        m_deadline.start(static_cast<int>(qBound<qint64>(0, m_deadlineAt - nowMs(), qint64(2147483647))));
}

void HttpNetworkManager::extendDeadlineFor(QNetworkReply* reply)
{
    if (m_deadlineExtended || m_deadlineAt == 0 || m_bounds.perMiBMs == 0)
        return;
    m_deadlineExtended = true;
    bool known = false;
    qint64 size = reply->rawHeader("Content-Length").trimmed().toLongLong(&known);
    if (!known || size <= 0 || size > m_bounds.bodyBytes)
        size = m_bounds.bodyBytes;
    constexpr qint64 kMiB = qint64(1) << 20;
    const qint64 share = (size + kMiB - 1) / kMiB * static_cast<qint64>(m_bounds.perMiBMs);
    if (m_deadlineHeld >= 0)
        m_deadlineHeld += share;
    else
        m_deadlineAt += share;
    armDeadline();
}

void HttpNetworkManager::holdDeadline(bool dialogOpen)
{
    if (dialogOpen) {
        if (m_deadlineAt != 0 && m_deadlineHeld < 0) {
            m_deadlineHeld = qMax<qint64>(0, m_deadlineAt - nowMs());
            m_deadline.stop();
        }
        return;
    }
    if (m_deadlineHeld < 0)
        return;
    // The user's reading time is not the server's.
    m_deadlineAt = nowMs() + m_deadlineHeld;
    m_deadlineHeld = -1;
    if (m_running)
        armDeadline();
}

void HttpNetworkManager::deadlineReached()
{
    QNetworkReply* reply = m_reply.data();
    if (!m_running || reply == nullptr || reply->isFinished())
        return;
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Request exceeded its whole time of %1 ms", static_cast<qint64>(m_bounds.totalMs)));
    RequestAbort(reply, true);
}

bool HttpNetworkManager::withinBodyBound(QNetworkReply* reply, qint64 bytes)
{
    if (bytes <= m_bounds.bodyBytes)
        return true;
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("HTTP per-response size exceedes max memory (200MB)"));
    if (m_bounds.bodyBytes < kMaxBodySize)
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Body bound of this request: %1 bytes", m_bounds.bodyBytes));
    m_bodyBoundReached = true;
    if (reply != nullptr)
        RequestAbort(reply, false);
    return false;
}

void HttpNetworkManager::resetRequestState()
{
    // The file of an earlier finished request belongs to whoever asked for it.
    if (m_tempFile)
        m_tempFile->close();
    m_tempFile.reset();
    m_tempFileName.clear();
    m_bytesReceived = 0;
    m_body.clear();
}

void HttpNetworkManager::discardTempFile()
{
    if (m_tempFile) {
        m_tempFile->close();
        if (!m_tempFileName.isEmpty())
            QFile::remove(m_tempFileName);
    }
    m_tempFile.reset();
    m_tempFileName.clear();
}

void HttpNetworkManager::connectReply(QNetworkReply* reply)
{
    m_reply = reply;
    // The toolkit reads ahead of the body bound on a thread of its own,
    // without end unless told: it holds no more than a piece.
    reply->setReadBufferSize(qMin<qint64>(m_bounds.bodyBytes + 1, kReadAheadBytes));
    connect(reply, SIGNAL(finished()), this, SLOT(RequestFinished()));
    connect(reply, SIGNAL(readyRead()), this, SLOT(Read()));
    connect(reply, SIGNAL(errorOccurred(QNetworkReply::NetworkError)), this, SLOT(error(QNetworkReply::NetworkError)));
}

QNetworkReply* HttpNetworkManager::sendGet(QNetworkRequest request, uint32_t timeoutMs)
{
    auto record = RecordPtr::create();
    auto* timer = new QTimer;
    timer->setInterval(static_cast<int>(qMin<uint32_t>(timeoutMs, 2147483647u)));
    timer->setSingleShot(true);
    record->timer = timer;
    record->lastActivity = nowMs();
    record->timeout = timeoutMs;
    request.setAttribute(QNetworkRequest::User, QVariant::fromValue(record));
    if (request.url() == m_request.url())
        m_request.setAttribute(QNetworkRequest::User, QVariant::fromValue(record));

    QNetworkReply* reply = get(request);
    connectReply(reply);
    timer->setParent(reply);
    connect(
        timer, &QTimer::timeout, this, [this, reply]() { RequestTimeout(reply); }, Qt::DirectConnection);
    timer->start();
    return reply;
}

void HttpNetworkManager::HttpGet(const QUrl& url, uint32_t timeoutMs)
{
    resetRequestState();
    m_currentUrl = url;
    m_originUrl = url;
    m_request.setUrl(url);
    m_redirections = 0;
    m_timeoutMs = timeoutMs;
    m_running = true;
    m_bodyBoundReached = false;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("starting GET request to", url));
    startDeadline();
    sendGet(m_request, timeoutMs);
}

void HttpNetworkManager::HttpPost(const QUrl& url, const QString& body)
{
    resetRequestState();
    m_currentUrl = url;
    m_originUrl = url;
    m_request.setUrl(url);
    m_request.setAttribute(QNetworkRequest::User, QVariant());
    m_redirections = 0;
    m_timeoutMs = 0;
    m_running = true;
    m_bodyBoundReached = false;
    startDeadline();
    QByteArray data = body.toUtf8();
    const int nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    QNetworkReply* reply = post(m_request, data);
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("starting POST request to", url));
    connectReply(reply);
}

void HttpNetworkManager::RequestAbort(QNetworkReply* reply, bool timedOut) const
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Request (%1) is being aborted %2", reply->request().url().toString(),
                             timedOut ? "(timeouted)" : ""));
    reply->abort();
}

void HttpNetworkManager::RequestTimeout(QNetworkReply* reply) const
{
    const qint64 elapsed = elapsedSinceActivity(reply);
    QTimer* timer = recordTimer(reply);
    if (!timer) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Timer is null"));
        RequestAbort(reply, true);
        return;
    }
    const qint64 remaining = timer->interval() - elapsed;
    if (!reply->isFinished() && remaining <= 0) {
        RequestAbort(reply, true);
        return;
    }
    if (!reply->isFinished()) {
        timer->stop();
        timer->setInterval(static_cast<int>(qMax<qint64>(1, recordTimeout(reply) - elapsed)));
        timer->start();
    }
}

bool HttpNetworkManager::OpenTempFile(QNetworkReply* reply)
{
    const QVariant contentType = reply->header(QNetworkRequest::ContentTypeHeader);
    if (!contentType.isValid()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Content-header type is not valid", contentType.isValid(), contentType.toString()));
        return false;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Saving content to file. Content-Type", contentType.toString()));
    // QTemporaryFile creates the file for the owner alone (0600).
    m_tempFile = std::make_unique<QTemporaryFile>(QStringLiteral(TESSAL_SYSTEM_PATH("/tmp/launcherDownloaded")));
    m_tempFile->setAutoRemove(false);
    if (!m_tempFile->open()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("cannot open file", contentType.toString()));
        m_tempFile.reset();
        m_tempFileName.clear();
        return false;
    }
    m_tempFileName = m_tempFile->fileName();
    return true;
}

void HttpNetworkManager::Read()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Invalid networkreply, returning"));
        return;
    }
    markActivity(reply);
    const qint64 n = reply->bytesAvailable();
    if (n == 0) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Read(), no data available to read. Content Type",
                                   reply->header(QNetworkRequest::ContentTypeHeader).toString()));
        return;
    }
    // The body of a redirection is never delivered: drop it.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (isFollowedRedirection(status)) {
        reply->skip(n);
        return;
    }
    if (m_bytesReceived == 0)
        extendDeadlineFor(reply);
    // The owner's bound holds before a byte past it is taken.
    if (!withinBodyBound(reply, m_bytesReceived + n))
        return;
    // One buffer of exactly the bytes available; no need to clear what read() overwrites.
    QByteArray data;
    data.resize(n);
    const qint64 got = reply->read(data.data(), n);
    if (got < 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to read data"));
        RequestAbort(reply, false);
        return;
    }
    data.resize(got);
    if (m_toFile) {
        if (!m_tempFile && !OpenTempFile(reply)) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("File creation failed"));
            RequestAbort(reply, false);
            return;
        }
        qint64 written = 0;
        while (written < got) {
            const qint64 w = m_tempFile->write(data.data() + written, got - written);
            if (w <= 0) {
                ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Error while writing to the file"));
                RequestAbort(reply, false);
                return;
            }
            written += w;
        }
        m_tempFile->setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    } else {
        if (m_body.empty()) {
            // Grow once to the announced size (never beyond the cap) instead of piece by piece.
            bool known = false;
            const qint64 announced = reply->rawHeader("Content-Length").trimmed().toLongLong(&known);
            if (known && announced > 0 && announced <= m_bounds.bodyBytes)
                m_body.reserve(static_cast<size_t>(announced));
        }
        m_body.insert(m_body.end(), data.constBegin(), data.constEnd());
    }
    m_bytesReceived += got;

    bool ok = false;
    const int total = reply->rawHeader("Content-Length").trimmed().toInt(&ok);
    if (ok)
        emit DownloadProgress(total, m_bytesReceived);
    else
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("No progress notified, cannot find content length from header"));
}

void HttpNetworkManager::finishRequest(Err::HttpNetworkManager code, const QString& message)
{
    if (code != Err::Success)
        discardTempFile();
    m_running = false;
    m_deadline.stop();
    emit RequestFinished(code, message);
}

bool HttpNetworkManager::decodeBody(QNetworkReply* reply)
{
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (encoding != "gzip" && encoding != "x-gzip")
        return true;
    std::vector<char> plain;
    bool tooLarge = false;
    if (!gunzip(m_body, plain, static_cast<size_t>(m_bounds.bodyBytes), &tooLarge)) {
        // Inflated, the body is held to the same bound as it arrived.
        if (tooLarge)
            withinBodyBound(nullptr, m_bounds.bodyBytes + 1);
        else
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot decompress gzip body", m_currentUrl));
        std::vector<char>().swap(m_body);
        return false;
    }
    m_body.swap(plain);
    return true;
}

void HttpNetworkManager::RequestFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Invalid networkreply, returning"));
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError err = reply->error();
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Request finished (err code, HTTP code)", static_cast<int>(err), status));
    if (m_tempFile && m_tempFile->isOpen())
        m_tempFile->close();

    // An HTTP error status is an answer of the server, not a failed transfer.
    if (err != QNetworkReply::NoError && !(status >= 400 && isHttpStatusError(err))) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Error occurred (error code, HTTP code)", static_cast<int>(err), status));
        finishRequest(Err::NetworkError, QStringLiteral("Network error"));
        return;
    }
    if (status == 200) {
        if (!m_toFile && !decodeBody(reply)) {
            finishRequest(Err::NetworkError, QStringLiteral("Network error"));
            return;
        }
        finishRequest(Err::Success, QStringLiteral("Success"));
        return;
    }
    if (isFollowedRedirection(status)) {
        followRedirection(reply, status);
        return;
    }
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unhandled HTTP response code)", status));
    finishRequest(Err::WrongHttpCode, QStringLiteral("Wrong HTTP code %1").arg(status));
}

void HttpNetworkManager::followRedirection(QNetworkReply* reply, int status)
{
    if (++m_redirections > kMaxRedirections) {
        const UArgFormat message = makeArgFormat("Max HTTP redirection (%1) reached", kMaxRedirections);
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, message);
        finishRequest(Err::MaxRedirection, QString::fromUtf8(message.str()));
        return;
    }
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isEmpty() || !target.isValid()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Redirection without a valid target", status));
        finishRequest(Err::WrongHttpCode, QStringLiteral("Wrong HTTP code %1").arg(status));
        return;
    }
    const QUrl from = reply->url();
    const QUrl next = from.resolved(target);
    const QString scheme = next.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Redirection to unsupported scheme refused", next));
        finishRequest(Err::NetworkError, QStringLiteral("Network error"));
        return;
    }
    if (from.scheme() == QLatin1String("https") && scheme == QLatin1String("http")) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Redirection from https to http refused", next));
        finishRequest(Err::NetworkError, QStringLiteral("Network error"));
        return;
    }

    if (m_sameOriginOnly && !sameOrigin(next, m_originUrl)) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Redirection to another origin refused", next));
        finishRequest(Err::NetworkError, QStringLiteral("Network error"));
        return;
    }

    m_currentUrl = next;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("302 redirect (new,old)", next, reply->request().url()));
    discardTempFile();
    m_bytesReceived = 0;
    m_body.clear();
    reply->deleteLater();

    // The follow-up keeps the fixed headers and the inactivity limit. The
    // session cookie, and any header a caller added to the template (a
    // session token), go only back to where the request started.
    QNetworkRequest request(m_request);
    if (!sameOrigin(next, m_originUrl)) {
        request = QNetworkRequest();
        setFixedHeaders(request);
        request.setSslConfiguration(m_request.sslConfiguration());
    }
    request.setUrl(next);
    request.setAttribute(QNetworkRequest::User, QVariant());
    if (m_timeoutMs > 0) {
        sendGet(request, m_timeoutMs);
    } else {
        QNetworkReply* followUp = get(request);
        connectReply(followUp);
    }
}

void HttpNetworkManager::Finished(QNetworkReply* reply)
{
    if (!reply)
        return;
    if (reply->error() != QNetworkReply::NoError)
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Finished (code, error)", static_cast<int>(reply->error()), reply->errorString()));
    emit ResponseDataAvailable(reply);
    reply->deleteLater();
}

void HttpNetworkManager::error(QNetworkReply::NetworkError code)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Error occurred while processing request (%1)", static_cast<int>(code)));
}

void HttpNetworkManager::SSLErrors(QNetworkReply* reply, const QList<QSslError>& errors)
{
    if (reply)
        reply->setProperty(kSslErrorsSeen, true);
    // The user is asked about the host as the one verifier matches it, not
    // as the toolkit's looser match does.
    QList<QSslError> shown = errors;
    if (reply) {
        const bool nameFailed = std::any_of(errors.cbegin(), errors.cend(), [](const QSslError& e) {
            return e.error() == QSslError::HostNameMismatch;
        });
        const QList<QSslError> strict = verifyServerCertificateChain(reply->sslConfiguration().peerCertificateChain(),
                                                                     reply->url().host(QUrl::FullyEncoded));
        for (const QSslError& e : strict)
            if (!nameFailed && e.error() == QSslError::HostNameMismatch)
                shown.append(e);
    }
    QString text;
    try {
        text = sslErrorsText(shown);
    } catch (const std::runtime_error& e) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("SSL Error:%1", e.what()));
        return;
    }
    if (!reply)
        return;
    if (reply->sslConfiguration().peerCertificate().isNull()) {
        // Nothing to show the user and nothing to remember: refuse.
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("cert at URL [%1] is null, refusing connection", reply->url().toString()));
        return;
    }
    QPointer<HttpNetworkManager> self(this);
    QPointer<QNetworkReply> alive(reply);
    const bool accepted = AcceptInvalidServerCert(reply, text);
    if (!self || !alive)
        return;
    if (!accepted) {
        emit SslCertificateDenied(reply);
        return;
    }
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Accepting invalid cert"));
    reply->ignoreSslErrors(errors);
}

bool HttpNetworkManager::AcceptInvalidServerCert(QNetworkReply* reply, QString errorText)
{
    const QSslCertificate certificate = reply->sslConfiguration().peerCertificate();
    const QUrl url = reply->url();
    if (certificate.isNull()) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("cert at URL [%1] is null, refusing connection", url.toString()));
        return false;
    }
    if (isAcceptedServerCertificate(url, certificate))
        return true;

    // One question at a time: a burst of launches (which a page can make)
    // must not stack questions; whatever fails meanwhile is refused.
    static bool questionOpen = false;
    if (questionOpen) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Another certificate question is open, refusing cert at URL [%1]", url.toString()));
        return false;
    }
    stopTimer(reply);
    QPointer<HttpNetworkManager> self(this);
    QPointer<QNetworkReply> alive(reply);
    QPointer<CertificateErrorDialog> dialog = new CertificateErrorDialog(errorText, certificate, url, m_dialogParent);
    if (m_dialogObserver)
        m_dialogObserver(true);
    holdDeadline(true);
    questionOpen = true;
    const int result = execQuestion(*dialog, QDialog::Rejected);
    questionOpen = false;
    delete dialog.data();
    if (!self)
        return false;
    holdDeadline(false);
    if (m_dialogObserver)
        m_dialogObserver(false);
    if (alive)
        markActivityAndRestartTimer(reply);

    if (result == QDialog::Accepted) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Invalid cert accepted, ignoring errors"));
        acceptServerCertificate(url, certificate);
        return true;
    }
    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Invalid cert denied"));
    return false;
}

bool checkFlag(const CString& file, const CString& flag)
{
    std::ifstream in(static_cast<const char*>(file));
    if (!in)
        return false;
    const std::string wanted(static_cast<const char*>(flag));
    if (wanted.empty())
        return false;
    auto trim = [](std::string s) {
        size_t b = 0;
        while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b])))
            ++b;
        size_t e = s.size();
        while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
            --e;
        return s.substr(b, e - b);
    };
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        std::string key;
        std::string value;
        if (eq != std::string::npos && eq != 0) {
            key = trim(line.substr(0, eq));
            value = trim(line.substr(eq + 1));
        }
        if (key != wanted)
            continue;
        if (asciiLowered(value) == "yes") {
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Flag is set", flag));
            return true;
        }
        return false;
    }
    return false;
}

} // namespace qt
} // namespace tessal
