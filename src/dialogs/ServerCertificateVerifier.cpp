#include "dialogs/ServerCertificateVerifier.h"

#include "dialogs/CertificateDetails.h"

#include "foundation/m_system.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <memory>

namespace tessal {
namespace qt {

namespace {

int defaultPort(const QString& scheme)
{
    if (scheme == QLatin1String("http"))
        return 80;
    if (scheme == QLatin1String("https"))
        return 443;
    return -1;
}

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

bool tableHolds(const QHash<QString, QByteArray>& table, const QUrl& url, const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return false;
    const auto known = table.constFind(certificateServerKey(url));
    return known != table.constEnd() && known.value() == certificate.digest(QCryptographicHash::Sha256);
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

bool isAcceptedServerCertificate(const QUrl& url, const QSslCertificate& certificate)
{
    return tableHolds(acceptedCertificates(), url, certificate);
}

void acceptServerCertificate(const QUrl& url, const QSslCertificate& certificate)
{
    acceptedCertificates().insert(certificateServerKey(url), certificate.digest(QCryptographicHash::Sha256));
}

void rememberVerifiedServerCertificate(const QUrl& url, const QSslCertificate& certificate)
{
    verifiedCertificates().insert(certificateServerKey(url), certificate.digest(QCryptographicHash::Sha256));
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

// The system's anchors. The handshake looks them up by hash in the
// certificate folder, one at a time as a chain needs them; the bundle file
// beside it is parsed whole (most of a megabyte kept for the process), so it
// is read only when a chain fails without it.
bool addSystemAnchors(X509_STORE* store, bool withBundle)
{
    if (withBundle)
        return X509_STORE_set_default_paths(store) == 1;
    // X509_STORE_set_default_paths without its file lookup.
    X509_LOOKUP* folder = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir());
    X509_LOOKUP* uri = X509_STORE_add_lookup(store, X509_LOOKUP_store());
    if (folder == nullptr || uri == nullptr)
        return false;
    X509_LOOKUP_add_dir(folder, nullptr, X509_FILETYPE_DEFAULT);
    X509_LOOKUP_add_store(uri, nullptr);
    return true;
}

// The trust anchors of the handshake: the system's and the CA certificates
// of the toolkit's default configuration. Rebuilt only when that list
// changes; generation then counts up.
X509_STORE* trustStore(bool withBundle = false, quint64* generation = nullptr)
{
    static std::unique_ptr<X509_STORE, StoreFree> stores[2];
    static QByteArray storeKey;
    static quint64 built = 0;
    if (generation != nullptr)
        *generation = built;
    const QList<QSslCertificate> cas = QSslConfiguration::defaultConfiguration().caCertificates();
    QByteArray key;
    for (const QSslCertificate& ca : cas)
        key += ca.digest(QCryptographicHash::Sha256);
    auto& store = stores[withBundle ? 1 : 0];
    if (built != 0 && key == storeKey) {
        if (store)
            return store.get();
    } else {
        stores[0].reset();
        stores[1].reset();
        storeKey = key;
        ++built;
        if (generation != nullptr)
            *generation = built;
    }
    std::unique_ptr<X509_STORE, StoreFree> fresh(X509_STORE_new());
    if (!fresh || !addSystemAnchors(fresh.get(), withBundle)) {
        ERR_clear_error();
        return nullptr;
    }
    for (const QSslCertificate& ca : cas) {
        const X509Ptr x = toX509(ca);
        if (x)
            X509_STORE_add_cert(fresh.get(), x.get()); // a duplicate of the store's is no error to us
    }
    ERR_clear_error();
    store = std::move(fresh);
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

QList<QSslError> verifyWithOpenSsl(const QList<QSslCertificate>& chain, const QString& host, bool withBundle)
{
    const QSslCertificate& leaf = chain.first();
    const X509Ptr leafX509 = toX509(leaf);
    std::unique_ptr<STACK_OF(X509), X509StackFree> untrusted(sk_X509_new_null());
    std::unique_ptr<X509_STORE_CTX, StoreContextFree> context(X509_STORE_CTX_new());
    X509_STORE* store = trustStore(withBundle);
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
    trustStore(false, &generation); // another set of anchors makes earlier answers void
    QByteArray key = QByteArray::number(generation) + '\0' + host.toUtf8();
    for (const QSslCertificate& certificate : chain)
        key += '\0' + certificate.digest(QCryptographicHash::Sha256);
    const qint64 now = monotonicMs(); // a span: the wall clock may step
    const auto known = recent.constFind(key);
    if (known != recent.constEnd() && now - known->at < kVerdictMs)
        return known->errors;

    QList<QSslError> errors = verifyWithOpenSsl(chain, host, false);
    if (!errors.isEmpty())
        errors = verifyWithOpenSsl(chain, host, true); // the answer of the whole system store
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

} // namespace qt
} // namespace tessal
