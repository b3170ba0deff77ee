#pragma once
// The one verifier of server certificates, for the HTTP client and the
// window, and the certificates verified or accepted per server, kept for the
// life of the process.

#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

// Key of the accepted-certificate table for a URL: the URL without path and
// query, with its port made explicit (80 for http, 443 for https).
QString certificateServerKey(const QUrl& url);

// True when the user accepted exactly this certificate (same SHA-256 digest)
// for the URL's server in the certificate dialog during this process's life.
bool isAcceptedServerCertificate(const QUrl& url, const QSslCertificate& certificate);
// The user accepted the certificate for the URL's server; it replaces any
// certificate accepted for that server before.
void acceptServerCertificate(const QUrl& url, const QSslCertificate& certificate);
// The certificate passed verification without any error for the URL's server.
void rememberVerifiedServerCertificate(const QUrl& url, const QSslCertificate& certificate);

// The one verifier of server certificates, for the HTTP client and the window:
// what a strict TLS client finds wrong with a chain (leaf first, the rest in
// any order) that a server presents for host. OpenSSL's verification against
// the system's store and the default configuration's CA certificates, with
// server purpose on the whole chain, the system's security level, name
// constraints and validity, and host (ACE form, or an IP address) matched as
// RFC 6125 says. Empty when the chain is accepted without asking the user.
// Answers are kept a minute. GUI thread.
QList<QSslError> verifyServerCertificateChain(const QList<QSslCertificate>& chain, const QString& host);

// True when some certificate was verified or accepted for the URL's server.
bool hasTrustedServerCertificate(const QUrl& url);

} // namespace qt
} // namespace tessal
