#include "dialogs/CertificateDetails.h"

#include "dialogs/ServerUrls.h"

#include <QCoreApplication>
#include <QSslKey>

#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>

namespace tessal {
namespace qt {

X509Ptr toX509(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return nullptr;
    const QByteArray der = certificate.toDer();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.constData());
    return X509Ptr(d2i_X509(nullptr, &p, der.size()));
}

namespace {

QString trQ(const char* text)
{
    return QCoreApplication::translate("QObject", text);
}

struct OpenSslFree {
    void operator()(char* p) const { OPENSSL_free(p); }
};
struct BnFree {
    void operator()(BIGNUM* b) const { BN_free(b); }
};
struct EkuFree {
    void operator()(EXTENDED_KEY_USAGE* e) const { EXTENDED_KEY_USAGE_free(e); }
};
struct BitStringFree {
    void operator()(ASN1_BIT_STRING* b) const { ASN1_BIT_STRING_free(b); }
};

const QMap<int, QString>& errorTexts()
{
    // Built once, translated at that moment.
    static const QMap<int, QString> texts = {
        {QSslError::NoError, trQ(QT_TRANSLATE_NOOP("QObject", "No Error"))},
        {QSslError::UnableToGetIssuerCertificate, trQ(QT_TRANSLATE_NOOP("QObject", "Issuer not found"))},
        {QSslError::UnableToDecryptCertificateSignature,
         trQ(QT_TRANSLATE_NOOP("QObject", "Subject signature decryption failed"))},
        {QSslError::UnableToDecodeIssuerPublicKey,
         trQ(QT_TRANSLATE_NOOP("QObject", "Issuer public key decoding failed"))},
        {QSslError::CertificateSignatureFailed,
         trQ(QT_TRANSLATE_NOOP("QObject", "Subject signature verification failed"))},
        {QSslError::CertificateNotYetValid, trQ(QT_TRANSLATE_NOOP("QObject", "Subject certificate is Not yet valid"))},
        {QSslError::CertificateExpired, trQ(QT_TRANSLATE_NOOP("QObject", "Subject certificate is expired"))},
        {QSslError::InvalidNotBeforeField, trQ(QT_TRANSLATE_NOOP("QObject", "Subject Not before field is invalid"))},
        {QSslError::InvalidNotAfterField, trQ(QT_TRANSLATE_NOOP("QObject", "Subject Not after field is invalid"))},
        {QSslError::SelfSignedCertificate, trQ(QT_TRANSLATE_NOOP("QObject", "Subject certificate is self signed"))},
        {QSslError::SelfSignedCertificateInChain,
         trQ(QT_TRANSLATE_NOOP("QObject", "Root CA certificate is untrusted"))},
        {QSslError::UnableToGetLocalIssuerCertificate,
         trQ(QT_TRANSLATE_NOOP("QObject", "Unable to get local issuer certificate"))},
        {QSslError::UnableToVerifyFirstCertificate,
         trQ(QT_TRANSLATE_NOOP("QObject", "Unable to verify first certificate in chain"))},
        {QSslError::CertificateRevoked, trQ(QT_TRANSLATE_NOOP("QObject", "Subject certificate is Revoked"))},
        {QSslError::InvalidCaCertificate, trQ(QT_TRANSLATE_NOOP("QObject", "Invalid CA certificate"))},
        {QSslError::PathLengthExceeded, trQ(QT_TRANSLATE_NOOP("QObject", "Path length exceeded"))},
        {QSslError::InvalidPurpose, trQ(QT_TRANSLATE_NOOP("QObject", "Invalid purpose"))},
        {QSslError::CertificateUntrusted, trQ(QT_TRANSLATE_NOOP("QObject", "Certificate is untrusted"))},
        {QSslError::CertificateRejected, trQ(QT_TRANSLATE_NOOP("QObject", "Certificate is rejected"))},
        {QSslError::SubjectIssuerMismatch, trQ(QT_TRANSLATE_NOOP("QObject", "Subject issuer mismatch"))},
        {QSslError::AuthorityIssuerSerialNumberMismatch,
         trQ(QT_TRANSLATE_NOOP("QObject", "CA issuer serial mismatch"))},
        {QSslError::NoPeerCertificate, trQ(QT_TRANSLATE_NOOP("QObject", "No peer certificate"))},
        {QSslError::HostNameMismatch, trQ(QT_TRANSLATE_NOOP("QObject", "Host name mismatch"))},
        {QSslError::NoSslSupport, trQ(QT_TRANSLATE_NOOP("QObject", "No SSL support"))},
        {QSslError::CertificateBlacklisted, trQ(QT_TRANSLATE_NOOP("QObject", "Certificate is blacklisted"))},
        {QSslError::UnspecifiedError, trQ(QT_TRANSLATE_NOOP("QObject", "Unspecified error"))},
    };
    return texts;
}

bool isAcceptedKind(QSslError::SslError e)
{
    switch (e) {
    case QSslError::CertificateExpired:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::InvalidPurpose:
    case QSslError::CertificateUntrusted:
    case QSslError::HostNameMismatch: return true;
    default: return false;
    }
}

} // namespace

QString signatureAlgorithmName(const QSslCertificate& certificate)
{
    const X509Ptr x = toX509(certificate);
    if (!x)
        return {};
    const X509_ALGOR* algorithm = X509_get0_tbs_sigalg(x.get());
    const ASN1_OBJECT* object = nullptr;
    X509_ALGOR_get0(&object, nullptr, nullptr, algorithm);
    if (!object)
        return {};
    char buffer[80] = {};
    OBJ_obj2txt(buffer, sizeof buffer, object, 0);
    return QString::fromLatin1(buffer);
}

QByteArray serialNumberText(const QSslCertificate& certificate, bool hex)
{
    const X509Ptr x = toX509(certificate);
    if (!x)
        return {};
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x.get());
    std::unique_ptr<BIGNUM, BnFree> bn(serial ? ASN1_INTEGER_to_BN(serial, nullptr) : nullptr);
    if (!bn)
        return {};
    std::unique_ptr<char, OpenSslFree> text(hex ? BN_bn2hex(bn.get()) : BN_bn2dec(bn.get()));
    if (!text)
        return {};
    return QByteArray(text.get()).toUpper();
}

QByteArray hexBytesText(const QByteArray& bytes, char separator)
{
    QByteArray hex = bytes.toHex().toUpper();
    if (hex.size() >= 3) {
        for (qsizetype pos = 2; pos < hex.size(); pos += 3)
            hex.insert(pos, separator);
    }
    return hex;
}

QString publicKeyDerHex(const QSslCertificate& certificate)
{
    const X509Ptr x = toX509(certificate);
    if (!x)
        return {};
    EVP_PKEY* key = X509_get0_pubkey(x.get()); // owned by x
    if (!key)
        return {};
    QByteArray der;
    if (EVP_PKEY_base_id(key) == EVP_PKEY_EC) {
        const int length = i2d_PUBKEY(key, nullptr);
        if (length > 0) {
            der.resize(length);
            unsigned char* out = reinterpret_cast<unsigned char*>(der.data());
            if (i2d_PUBKEY(key, &out) != length)
                der.clear();
        }
    } else {
        const QSslKey qkey = certificate.publicKey();
        if (qkey.isNull())
            return {};
        der = qkey.toDer();
    }
    return QString::fromLatin1(hexBytesText(der, ' '));
}

void* certificateExtension(const QSslCertificate& certificate, int nid)
{
    const X509Ptr x = toX509(certificate);
    if (!x)
        return nullptr;
    return X509_get_ext_d2i(x.get(), nid, nullptr, nullptr);
}

QMap<int, QString> extendedKeyUsageTexts(const QSslCertificate& certificate)
{
    QMap<int, QString> out;
    std::unique_ptr<EXTENDED_KEY_USAGE, EkuFree> eku(
        static_cast<EXTENDED_KEY_USAGE*>(certificateExtension(certificate, NID_ext_key_usage)));
    if (!eku) {
        out.insert(0, trQ(QT_TRANSLATE_NOOP("QObject", "All application policies")));
        return out;
    }
    for (int i = 0; i < sk_ASN1_OBJECT_num(eku.get()); ++i) {
        switch (OBJ_obj2nid(sk_ASN1_OBJECT_value(eku.get(), i))) {
        case NID_client_auth:
            out.insert(1, trQ(QT_TRANSLATE_NOOP("QObject", "Proves your identity to a remote computer")));
            break;
        case NID_server_auth:
            out.insert(2, trQ(QT_TRANSLATE_NOOP("QObject", "Ensures the identity of a remote computer")));
            break;
        case NID_email_protect: out.insert(3, trQ(QT_TRANSLATE_NOOP("QObject", "Protects e-mail messages"))); break;
        case NID_OCSP_sign: out.insert(4, trQ(QT_TRANSLATE_NOOP("QObject", "OCSP signing"))); break;
        case NID_time_stamp: out.insert(5, trQ(QT_TRANSLATE_NOOP("QObject", "Time Stamping"))); break;
        default: break;
        }
    }
    return out;
}

QMap<int, QString> keyUsageTexts(const QSslCertificate& certificate)
{
    static const char* const names[] = {
        QT_TRANSLATE_NOOP("QObject", "Digital signature"), QT_TRANSLATE_NOOP("QObject", "Non repudiation"),
        QT_TRANSLATE_NOOP("QObject", "Key encipherment"),  QT_TRANSLATE_NOOP("QObject", "Data encipherment"),
        QT_TRANSLATE_NOOP("QObject", "Key agreement"),     QT_TRANSLATE_NOOP("QObject", "Key certificate sign"),
        QT_TRANSLATE_NOOP("QObject", "CRL sign"),          QT_TRANSLATE_NOOP("QObject", "Encipher only"),
        QT_TRANSLATE_NOOP("QObject", "Decipher only"),
    };
    QMap<int, QString> out;
    std::unique_ptr<ASN1_BIT_STRING, BitStringFree> bits(
        static_cast<ASN1_BIT_STRING*>(certificateExtension(certificate, NID_key_usage)));
    if (!bits)
        return out;
    for (int bit = 0; bit <= 8; ++bit) {
        if (ASN1_BIT_STRING_get_bit(bits.get(), bit))
            out.insert(bit, trQ(names[bit]));
    }
    return out;
}

QString displayedCertificateField(const QString& text, bool keepLines)
{
    QString out;
    out.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c == U'\\') {
            out += QStringLiteral("\\\\");
            continue;
        }
        if (keepLines && c == U'\n') {
            out += QLatin1Char('\n');
            continue;
        }
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format: // bidirectional marks and overrides, zero-width characters
        case QChar::Other_Surrogate:
        case QChar::Other_NotAssigned:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            if (c <= 0xffff)
                out += QStringLiteral("\\u") +
                       QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
            else
                out += QStringLiteral("\\U") +
                       QString::number(static_cast<uint>(c), 16).toUpper().rightJustified(8, QLatin1Char('0'));
            break;
        default: out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

QString displayedCertificateName(const QString& name)
{
    bool hostForm = !name.isEmpty();
    for (const QChar c : name)
        hostForm = hostForm && (c.isLetterOrNumber() || c.isMark() || c == QLatin1Char('-') || c == QLatin1Char('.') ||
                                c == QLatin1Char('*') || c == QLatin1Char('_'));
    return displayedCertificateField(hostForm ? displayedHostName(name) : name);
}

QString sslErrorText(const QSslError& error)
{
    const auto& texts = errorTexts();
    const auto it = texts.constFind(static_cast<int>(error.error()));
    return it != texts.constEnd() ? it.value() : error.errorString();
}

QString sslErrorsText(const QList<QSslError>& errors)
{
    QString text;
    for (const QSslError& e : errors) {
        if (e.error() == QSslError::NoError)
            continue;
        if (!isAcceptedKind(e.error()))
            throw std::runtime_error("Unhandled ssl error: " + e.errorString().toStdString());
        text += QStringLiteral("- ") + sslErrorText(e) + QLatin1Char('\n');
    }
    return text;
}

} // namespace qt
} // namespace tessal
