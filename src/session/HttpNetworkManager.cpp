#include "session/HttpNetworkManager.h"

#include "dialogs/CertificateDetails.h"
#include "dialogs/CertificateErrorDialog.h"
#include "dialogs/MessageBox.h"

#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "tessal_config.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDialog>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "/HttpNetworkManager";

using RecordPtr = QSharedPointer<NetworkReplyAttribute>;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
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

int defaultPort(const QString& scheme)
{
    if (scheme == QLatin1String("http"))
        return 80;
    if (scheme == QLatin1String("https"))
        return 443;
    return -1;
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && equalsNoCase(a.host(), b.host()) &&
           a.port(defaultPort(a.scheme())) == b.port(defaultPort(b.scheme()));
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

// Certificates the user accepted, for the life of the process:
// server identity -> SHA-256 digest of the certificate.
QHash<QString, QByteArray>& acceptedCertificates()
{
    static QHash<QString, QByteArray> table;
    return table;
}

// Certificates that passed verification without any error, in the same form.
QHash<QString, QByteArray>& verifiedCertificates()
{
    static QHash<QString, QByteArray> table;
    return table;
}

// Set on a reply once its handshake reported certificate errors: such a
// certificate is never taken for a verified one, even when accepted.
constexpr const char* kSslErrorsSeen = "tessalSslErrorsSeen";

// Inflates a gzip body (one or more members). False when the data is not
// gzip or would inflate beyond the body cap.
bool gunzip(const std::vector<char>& in, std::vector<char>& out)
{
    out.clear();
    if (in.empty())
        return true;
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return false;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    zs.avail_in = static_cast<uInt>(in.size());
    char chunk[65536];
    int rc = Z_OK;
    bool ok = true;
    while (true) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            ok = false;
            break;
        }
        out.insert(out.end(), chunk, chunk + (sizeof chunk - zs.avail_out));
        if (static_cast<qint64>(out.size()) > HttpNetworkManager::kMaxBodySize) {
            ok = false;
            break;
        }
        if (rc == Z_STREAM_END) {
            if (zs.avail_in == 0)
                break;
            if (inflateReset(&zs) != Z_OK) { // another member follows
                ok = false;
                break;
            }
            continue;
        }
        if (zs.avail_in == 0 && zs.avail_out != 0) { // input ended inside a member
            ok = false;
            break;
        }
    }
    inflateEnd(&zs);
    if (!ok)
        out.clear();
    return ok;
}

} // namespace

QString certificateServerKey(const QUrl& url)
{
    QUrl key(url);
    key.setUserInfo(QString());
    key.setPath(QString());
    key.setQuery(QString());
    key.setFragment(QString());
    if (key.port() == -1) {
        const int port = defaultPort(key.scheme());
        if (port != -1)
            key.setPort(port);
    }
    return key.toString();
}

namespace {

bool tableHolds(const QHash<QString, QByteArray>& table, const QUrl& url, const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return false;
    const auto known = table.constFind(certificateServerKey(url));
    return known != table.constEnd() && known.value() == certificate.digest(QCryptographicHash::Sha256);
}

} // namespace

bool isAcceptedServerCertificate(const QUrl& url, const QSslCertificate& certificate)
{
    return tableHolds(acceptedCertificates(), url, certificate);
}

namespace {

struct X509StackFree {
    void operator()(STACK_OF(X509)* s) const { sk_X509_pop_free(s, X509_free); }
};
struct StoreFree {
    void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct StoreContextFree {
    void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct SslContextFree {
    void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
QSslCertificate fromX509(X509* x)
{
    if (x == nullptr)
        return QSslCertificate();
    const int length = i2d_X509(x, nullptr);
    if (length <= 0)
        return QSslCertificate();
    QByteArray der(length, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(der.data());
    if (i2d_X509(x, &out) != length)
        return QSslCertificate();
    return QSslCertificate(der, QSsl::Der);
}

// The security level a TLS client of this machine gets from the system's
// OpenSSL configuration (the handshake's key sizes and signature digests).
int systemSecurityLevel()
{
    static const int level = [] {
        const std::unique_ptr<SSL_CTX, SslContextFree> context(SSL_CTX_new(TLS_client_method()));
        return context ? SSL_CTX_get_security_level(context.get()) : 2;
    }();
    return level;
}

// The trust anchors of the handshake: the system's store (looked up by hash
// on demand, as the toolkit's handshake does) and the CA certificates of the
// toolkit's default configuration. Rebuilt only when that list changes;
// generation then counts up.
X509_STORE* trustStore(quint64* generation = nullptr)
{
    static std::unique_ptr<X509_STORE, StoreFree> store;
    static QByteArray storeKey;
    static quint64 built = 0;
    if (generation != nullptr)
        *generation = built;
    const QList<QSslCertificate> cas = QSslConfiguration::defaultConfiguration().caCertificates();
    QByteArray key;
    for (const QSslCertificate& ca : cas)
        key += ca.digest(QCryptographicHash::Sha256);
    if (store && key == storeKey)
        return store.get();
    std::unique_ptr<X509_STORE, StoreFree> fresh(X509_STORE_new());
    if (!fresh)
        return nullptr;
    X509_STORE_set_default_paths(fresh.get());
    for (const QSslCertificate& ca : cas) {
        const X509Ptr x = toX509(ca);
        if (x)
            X509_STORE_add_cert(fresh.get(), x.get()); // a duplicate of the store's is no error to us
    }
    ERR_clear_error();
    store = std::move(fresh);
    storeKey = key;
    ++built;
    if (generation != nullptr)
        *generation = built;
    return store.get();
}

QSslError::SslError toSslError(int code)
{
    switch (code) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT: return QSslError::UnableToGetIssuerCertificate;
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE: return QSslError::UnableToDecryptCertificateSignature;
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY: return QSslError::UnableToDecodeIssuerPublicKey;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE: return QSslError::CertificateSignatureFailed;
    case X509_V_ERR_CERT_NOT_YET_VALID: return QSslError::CertificateNotYetValid;
    case X509_V_ERR_CERT_HAS_EXPIRED: return QSslError::CertificateExpired;
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD: return QSslError::InvalidNotBeforeField;
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD: return QSslError::InvalidNotAfterField;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT: return QSslError::SelfSignedCertificate;
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return QSslError::SelfSignedCertificateInChain;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY: return QSslError::UnableToGetLocalIssuerCertificate;
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE: return QSslError::UnableToVerifyFirstCertificate;
    case X509_V_ERR_CERT_REVOKED: return QSslError::CertificateRevoked;
    case X509_V_ERR_INVALID_CA: return QSslError::InvalidCaCertificate;
    case X509_V_ERR_PATH_LENGTH_EXCEEDED: return QSslError::PathLengthExceeded;
    case X509_V_ERR_INVALID_PURPOSE: return QSslError::InvalidPurpose;
    case X509_V_ERR_CERT_UNTRUSTED: return QSslError::CertificateUntrusted;
    case X509_V_ERR_CERT_REJECTED: return QSslError::CertificateRejected;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return QSslError::HostNameMismatch;
    default: return QSslError::UnspecifiedError;
    }
}

// Every failure of the chain, not only the first, as the handshake reports them.
int collectError(int ok, X509_STORE_CTX* context)
{
    if (ok == 0) {
        auto* errors = static_cast<QList<QSslError>*>(X509_STORE_CTX_get_app_data(context));
        const QSslError e(toSslError(X509_STORE_CTX_get_error(context)),
                          fromX509(X509_STORE_CTX_get_current_cert(context)));
        if (errors != nullptr && !errors->contains(e))
            errors->append(e);
    }
    return 1;
}

QList<QSslError> verifyWithOpenSsl(const QList<QSslCertificate>& chain, const QString& host)
{
    const QSslCertificate& leaf = chain.first();
    const X509Ptr leafX509 = toX509(leaf);
    std::unique_ptr<STACK_OF(X509), X509StackFree> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, StoreContextFree> context(X509_STORE_CTX_new());
    X509_STORE* store = trustStore();
    if (!leafX509 || !untrusted || !context || store == nullptr)
        return {QSslError(QSslError::UnspecifiedError, leaf)};
    for (int i = 1; i < chain.size(); ++i) {
        X509Ptr x = toX509(chain.at(i));
        if (x && sk_X509_push(untrusted.get(), x.get()) > 0)
            x.release();
    }
    if (X509_STORE_CTX_init(context.get(), store, leafX509.get(), untrusted.get()) != 1)
        return {QSslError(QSslError::UnspecifiedError, leaf)};
    // What a TLS client's handshake sets: server purpose and trust on the
    // whole chain, and the level of the system's configuration.
    X509_STORE_CTX_set_default(context.get(), "ssl_server");
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_auth_level(param, systemSecurityLevel());
    // RFC 6125: the CN only in a certificate without alternative names (a
    // CA limited to IP ranges may issue IP names, and its CN would be
    // taken for any DNS name), IP hosts by IP names alone, a wildcard only
    // as the whole left-most label.
    unsigned int hostFlags = X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS;
    if (X509_get_ext_by_NID(leafX509.get(), NID_subject_alt_name, -1) >= 0)
        hostFlags |= X509_CHECK_FLAG_NEVER_CHECK_SUBJECT;
    X509_VERIFY_PARAM_set_hostflags(param, hostFlags);
    QString name = host;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        name = name.mid(1, name.size() - 2);
    const QByteArray ascii = name.toLatin1().toLower();
    const bool isIp = !QHostAddress(name).isNull();
    const int named = isIp ? X509_VERIFY_PARAM_set1_ip_asc(param, ascii.constData())
                           : X509_VERIFY_PARAM_set1_host(param, ascii.constData(), size_t(ascii.size()));
    QList<QSslError> errors;
    if (named != 1 || ascii.isEmpty() || ascii.contains('\0'))
        errors.append(QSslError(QSslError::HostNameMismatch, leaf));
    X509_STORE_CTX_set_app_data(context.get(), &errors);
    X509_STORE_CTX_set_verify_cb(context.get(), collectError);
    const int verified = X509_verify_cert(context.get());
    if (verified != 1 && errors.isEmpty())
        errors.append(QSslError(QSslError::UnspecifiedError, leaf));
    ERR_clear_error();
    return errors;
}

} // namespace

QList<QSslError> verifyServerCertificateChain(const QList<QSslCertificate>& chain, const QString& host)
{
    if (chain.isEmpty() || chain.first().isNull())
        return {QSslError(QSslError::NoPeerCertificate)};
    const QSslCertificate& leaf = chain.first();
    if (host.isEmpty())
        return {QSslError(QSslError::HostNameMismatch, leaf)};

    // A chain met again soon (a refused one comes back with every request of
    // a page) takes the recent answer instead of a new walk of the store.
    struct Verdict {
        QList<QSslError> errors;
        qint64 at = 0;
    };
    static QHash<QByteArray, Verdict> recent;
    constexpr qint64 kVerdictMs = 60000;
    constexpr int kMaxVerdicts = 256;
    quint64 generation = 0;
    trustStore(&generation); // another set of anchors makes earlier answers void
    QByteArray key = QByteArray::number(generation) + '\0' + host.toUtf8();
    for (const QSslCertificate& certificate : chain)
        key += '\0' + certificate.digest(QCryptographicHash::Sha256);
    const qint64 now = nowMs();
    const auto known = recent.constFind(key);
    if (known != recent.constEnd() && now - known->at < kVerdictMs)
        return known->errors;

    const QList<QSslError> errors = verifyWithOpenSsl(chain, host);
    if (recent.size() >= kMaxVerdicts)
        recent.clear();
    recent.insert(key, Verdict{errors, now});
    return errors;
}

bool hasTrustedServerCertificate(const QUrl& url)
{
    const QString key = certificateServerKey(url);
    return verifiedCertificates().contains(key) || acceptedCertificates().contains(key);
}

void HttpNetworkManager::setFixedHeaders(QNetworkRequest& request)
{
    request.setRawHeader("User-Agent", "Mozilla/5.0 (Linux) TessalLauncher/1.0");
    request.setRawHeader("Accept-Encoding", "gzip");
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    // Redirections are followed here, not by the toolkit, so that each hop is
    // counted, checked and sent with the right headers.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
}

HttpNetworkManager::HttpNetworkManager(const std::string& sessionId, bool toFile)
    : QNetworkAccessManager(nullptr), m_toFile(toFile)
{
    setFixedHeaders(m_request);
    if (!sessionId.empty()) {
        const QList<QNetworkCookie> cookies{
            QNetworkCookie(QByteArrayLiteral("MRHSession"), QByteArray::fromStdString(sessionId))};
        m_request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        m_sessionId = sessionId;
    }
    m_request.setSslConfiguration(QSslConfiguration::defaultConfiguration());
    setCookieJar(new OriginCookieJar(this));
    // Whatever ends the main loop (a quit, a signal) ends a download with it:
    // an owner deleted later is never deleted once the loop has ended.
    QCoreApplication* app = QCoreApplication::instance();
    if (m_toFile && app != nullptr)
        connect(app, &QCoreApplication::aboutToQuit, this, [this]() { dropUnfinished(); });

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
        verifiedCertificates().insert(certificateServerKey(reply->url()),
                                      certificate.digest(QCryptographicHash::Sha256));
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
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("starting GET request to", url));
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
    if (m_bytesReceived + n > kMaxBodySize) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("HTTP per-response size exceedes max memory (200MB)"));
        RequestAbort(reply, false);
        return;
    }
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
            if (known && announced > 0 && announced <= kMaxBodySize)
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
    emit RequestFinished(code, message);
}

bool HttpNetworkManager::decodeBody(QNetworkReply* reply)
{
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (encoding != "gzip" && encoding != "x-gzip")
        return true;
    std::vector<char> plain;
    if (!gunzip(m_body, plain)) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Cannot decompress gzip body", m_currentUrl));
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
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    const QString key = certificateServerKey(url);
    auto& table = acceptedCertificates();
    const auto known = table.constFind(key);
    if (known != table.constEnd() && known.value() == digest)
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
    questionOpen = true;
    const int result = execQuestion(*dialog, QDialog::Rejected);
    questionOpen = false;
    delete dialog.data();
    if (!self)
        return false;
    if (m_dialogObserver)
        m_dialogObserver(false);
    if (alive)
        markActivityAndRestartTimer(reply);

    if (result == QDialog::Accepted) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Invalid cert accepted, ignoring errors"));
        table.insert(key, digest);
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

std::string readMachineIdentity(const QString& root)
{
    static const char* const files[] = {
        "proc/sys/kernel/random/boot_id",
        "sys/class/dmi/id/product_serial",
        "sys/class/dmi/id/product_uuid",
        "var/lib/dbus/machine-id",
    };
    QString base = root;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    std::string identity;
    for (const char* name : files) {
        QFile f(base + QLatin1String(name));
        if (f.open(QIODevice::ReadOnly))
            identity += f.readAll().toStdString();
    }
    return identity;
}

std::string readMachineIdentity()
{
    return readMachineIdentity(QStringLiteral("/"));
}

} // namespace qt
} // namespace tessal
