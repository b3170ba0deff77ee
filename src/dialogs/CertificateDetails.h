#pragma once
// Display texts of a server certificate and of the toolkit's certificate
// errors, for the certificate warning and viewer. Where the toolkit has no
// accessor the certificate is read with OpenSSL from its DER encoding.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

#include <openssl/x509.h>

#include <memory>

namespace tessal {
namespace qt {

struct X509Deleter {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

// An OpenSSL copy of the certificate, decoded from its DER encoding; null for a null certificate.
X509Ptr toX509(const QSslCertificate& certificate);

// Text of the signature algorithm of the certificate's signed part; empty for a null certificate.
QString signatureAlgorithmName(const QSslCertificate& certificate);
// Serial number in upper-case hexadecimal without separators (hex) or in decimal.
QByteArray serialNumberText(const QSslCertificate& certificate, bool hex);
// Upper-case hexadecimal pairs with separator between them.
QByteArray hexBytesText(const QByteArray& bytes, char separator);
// DER of the public key as hexadecimal pairs separated by blanks.
QString publicKeyDerHex(const QSslCertificate& certificate);
// Purposes from the extended key usage (key 0 when the extension is absent).
QMap<int, QString> extendedKeyUsageTexts(const QSslCertificate& certificate);
// Texts of the set key-usage bits, by bit number 0 to 8.
QMap<int, QString> keyUsageTexts(const QSslCertificate& certificate);
// A text of a certificate (or of a server's name) as the user is shown it:
// control, bidirectional, zero-width and other invisible characters as a
// backslash, "u" and four hexadecimal digits ("U" and eight beyond the
// first plane) and a backslash doubled, so that nothing reads as another name. Line breaks stay when keepLines.
QString displayedCertificateField(const QString& text, bool keepLines = false);
// A name from a certificate (a CN, a DNS name): when it has the form of a
// host name, its labels in their ASCII form; then escaped as above.
QString displayedCertificateName(const QString& name);
// Display text of one certificate error.
QString sslErrorText(const QSslError& error);
// "- <text>\n" for every error of an accepted kind; throws std::runtime_error
// "Unhandled ssl error: ..." at the first error of any other kind.
QString sslErrorsText(const QList<QSslError>& errors);
// The decoded OpenSSL extension with that NID, owned by the caller (free it
// with the type's own *_free); null for a null certificate or a missing extension.
void* certificateExtension(const QSslCertificate& certificate, int nid);

} // namespace qt
} // namespace tessal
