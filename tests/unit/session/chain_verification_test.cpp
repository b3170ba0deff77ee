// The HTTP client's trust applied to a chain a server presented elsewhere (the
// window's engine): what the client would accept without asking, and no more.
#include "AccessServer.h"
#include "session/HttpNetworkManager.h"

#include <QScopeGuard>
#include <QSslConfiguration>

#include <gtest/gtest.h>

using tessal::qt::verifyServerCertificateChain;

TEST(ChainVerificationTest, FollowsTheClientsTrustForTheHostAsked)
{
    tessal::test::TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    tessal::test::TestCertificates::Blueprint clientOnly;
    clientOnly.name = QStringLiteral("client_only");
    clientOnly.extensions = {"subjectAltName = IP:127.0.0.1", "extendedKeyUsage = clientAuth"};
    clientOnly.issuedByCa = true;
    QString clientCert, clientKey;
    ASSERT_TRUE(certs.makeCertificate(clientOnly, &clientCert, &clientKey)) << certs.error().toStdString();

    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(saved); });
    QSslConfiguration withCa = saved;
    withCa.addCaCertificates(certs.caCert);
    QSslConfiguration::setDefaultConfiguration(withCa);

    const struct {
        QString cert, host;
        QSslError::SslError expected;  // NoError: accepted
    } rows[] = {
        {certs.serverCert, "127.0.0.1", QSslError::NoError},
        {certs.serverCert, "localhost", QSslError::NoError},
        {certs.serverCert, "vpn.example", QSslError::HostNameMismatch},
        {certs.serverCert, "", QSslError::HostNameMismatch},
        {certs.selfCert, "127.0.0.1", QSslError::SelfSignedCertificate},
        {clientCert, "127.0.0.1", QSslError::InvalidPurpose},
        {QString(), "127.0.0.1", QSslError::NoPeerCertificate},
    };
    for (const auto& row : rows) {
        const QList<QSslCertificate> chain =
            row.cert.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(row.cert);
        QList<QSslError::SslError> found;
        for (const QSslError& e : verifyServerCertificateChain(chain, row.host))
            found << e.error();
        if (row.expected == QSslError::NoError)
            EXPECT_TRUE(found.isEmpty()) << row.host.toStdString();
        else
            EXPECT_TRUE(found.contains(row.expected)) << row.host.toStdString() << " " << found.size();
    }
}
