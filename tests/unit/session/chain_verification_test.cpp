// The one verifier of server certificates, as strict as a TLS handshake:
// chains made at test time, judged by the verifier (the window's check) and
// met by the HTTP client over loopback, which asks about or refuses the same
// ones and sends nothing to a server it refuses.
#include "ModalDialogAnswerer.h"
#include "dialogs/ServerCertificateVerifier.h"
#include "http_test_support.h"

#include <QFile>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tessal::qt::HttpNetworkManager;
using tessal::qt::verifyServerCertificateChain;
using tessal::test::AccessServer;
using tessal::test::ModalDialogAnswerer;
using tessal::test::TestCertificates;

namespace {

QStringList caExtensions(const QStringList& more = {})
{
    return QStringList{"basicConstraints = critical, CA:TRUE", "keyUsage = critical, keyCertSign, cRLSign",
                       "subjectKeyIdentifier = hash", "authorityKeyIdentifier = keyid"} +
           more;
}

QStringList leafExtensions(const QString& names)
{
    return {"subjectAltName = " + names, "extendedKeyUsage = serverAuth", "basicConstraints = CA:FALSE"};
}

TestCertificates::Blueprint blueprint(const QString& name, const QString& subject, const QStringList& extensions)
{
    TestCertificates::Blueprint b;
    b.name = name;
    b.subject = subject;
    b.extensions = extensions;
    return b;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(ChainVerificationTest, OneVerifierAsStrictAsTheHandshake)
{
    TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    using Blueprint = TestCertificates::Blueprint;
    struct Pair {
        QString cert, key;
    };
    auto make = [&](Blueprint b, const Pair& issuer = {}) {
        Pair p;
        b.issuedByCa = issuer.cert.isEmpty();
        b.issuerCert = issuer.cert;
        b.issuerKey = issuer.key;
        EXPECT_TRUE(certs.makeCertificate(b, &p.cert, &p.key)) << certs.error().toStdString();
        return p;
    };
    const QString both = "IP:127.0.0.1, DNS:localhost";
    const Pair inter = make(blueprint("inter", "/CN=Test Intermediate", caExtensions()));
    const Pair inter2 = make(blueprint("inter2", "/CN=Test Intermediate 2", caExtensions()), inter);
    const Pair clientCa =
        make(blueprint("client_ca", "/CN=Client CA", caExtensions({"extendedKeyUsage = clientAuth"})));
    const Pair dnsCa = make(blueprint("dns_ca", "/CN=Allowed CA",
                                      caExtensions({"nameConstraints = critical, permitted;DNS:allowed.test, "
                                                    "permitted;IP:127.0.0.0/255.0.0.0"})));
    const Pair ipCa = make(blueprint("ip_ca", "/CN=Loopback CA",
                                     caExtensions({"nameConstraints = critical, permitted;IP:127.0.0.0/255.0.0.0"})));
    Blueprint rsa4096 = blueprint("rsa4096", "/CN=127.0.0.1", leafExtensions(both));
    rsa4096.key = "rsa";
    rsa4096.rsaBits = 4096;
    Blueprint rsa1024 = rsa4096;
    rsa1024.name = "rsa1024";
    rsa1024.rsaBits = 1024;
    Blueprint sha1 = blueprint("sha1", "/CN=127.0.0.1", leafExtensions(both));
    sha1.key = "rsa";
    sha1.digest = "sha1";

    const struct Row {
        const char* what;
        QList<Pair> chain; // leaf first, then what the server sends with it
        QString host;
        bool served; // also met by the HTTP client (a loopback name)
        QSslError::SslError expected; // NoError: accepted unasked
    } rows[] = {
        {"a good chain",
         {make(blueprint("good", "/CN=127.0.0.1", leafExtensions(both)), inter), inter},
         "localhost",
         true,
         QSslError::NoError},
        {"a chain in another order",
         {make(blueprint("deep", "/CN=127.0.0.1", leafExtensions(both)), inter2), inter, inter2},
         "127.0.0.1",
         true,
         QSslError::NoError},
        {"a 4096-bit chain", {make(rsa4096)}, "127.0.0.1", true, QSslError::NoError},
        {"a constrained CA within its names",
         {make(blueprint("within", "/CN=vpn.allowed.test", leafExtensions("IP:127.0.0.1, DNS:vpn.allowed.test")),
               dnsCa),
          dnsCa},
         "127.0.0.1",
         true,
         QSslError::NoError},
        {"a whole-label wildcard",
         {make(blueprint("wild", "/CN=x", leafExtensions("DNS:*.allowed.test")), dnsCa), dnsCa},
         "vpn.allowed.test",
         false,
         QSslError::NoError},
        {"an IPv6 host by its IP name",
         {make(blueprint("ipv6", "/CN=x", leafExtensions("IP:::1, DNS:localhost")), inter), inter},
         "[::1]",
         false,
         QSslError::NoError},
        {"an intermediate for clients only",
         {make(blueprint("by_client_ca", "/CN=127.0.0.1", leafExtensions(both)), clientCa), clientCa},
         "127.0.0.1",
         true,
         QSslError::InvalidPurpose},
        {"a SHA-1-signed leaf", {make(sha1)}, "127.0.0.1", true, QSslError::UnspecifiedError},
        {"a 1024-bit RSA leaf", {make(rsa1024)}, "127.0.0.1", true, QSslError::UnspecifiedError},
        {"an IP host by the CN of a certificate with names",
         {make(blueprint("cn_ip", "/CN=127.0.0.1", leafExtensions("DNS:vpn.allowed.test")), dnsCa), dnsCa},
         "127.0.0.1",
         true,
         QSslError::HostNameMismatch},
        {"a DNS host by the CN of a certificate with an IP name",
         {make(blueprint("cn_dns", "/CN=localhost", leafExtensions("IP:127.0.0.1")), ipCa), ipCa},
         "localhost",
         true,
         QSslError::HostNameMismatch},
        {"an IP host by a DNS name",
         {make(blueprint("dns_ip", "/CN=x", leafExtensions("DNS:127.0.0.1")))},
         "127.0.0.1",
         true,
         QSslError::HostNameMismatch},
        {"a wildcard inside a label",
         {make(blueprint("partial", "/CN=x", leafExtensions("DNS:v*.allowed.test")), dnsCa), dnsCa},
         "vpn.allowed.test",
         false,
         QSslError::HostNameMismatch},
    };

    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(saved); });
    QSslConfiguration withCa = saved;
    withCa.addCaCertificates(certs.caCert);
    QSslConfiguration::setDefaultConfiguration(withCa);

    // Each served chain on a port of its own, as one file, leaf first.
    QList<AccessServer::Listener> listeners;
    for (const Row& row : rows) {
        const QString name = QString::fromLatin1(row.what).replace(' ', '_');
        const QString file = certs.dir() + '/' + name + ".chain.pem";
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        for (const Pair& p : row.chain)
            out.write(readAll(p.cert));
        out.close();
        if (row.served)
            listeners << AccessServer::Listener(name, "https", file, row.chain.first().key);
    }
    AccessServer server;
    ASSERT_TRUE(server.start(listeners)) << server.error().toStdString();
    ASSERT_TRUE(server.setRoutes(QJsonArray{
        tessal::test::jsonRoute({{"path", "/x"}, {"headers", tessal::test::textHeaders()}, {"body", "ok"}})}));

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QList<QSslCertificate> chain;
        for (const Pair& p : row.chain)
            chain += QSslCertificate::fromPath(p.cert);
        QList<QSslError::SslError> found;
        for (const QSslError& e : verifyServerCertificateChain(chain, row.host))
            found << e.error();
        if (row.expected == QSslError::NoError)
            EXPECT_TRUE(found.isEmpty()) << found.size() << " " << int(found.value(0));
        else
            EXPECT_TRUE(found.contains(row.expected)) << found.size() << " " << int(found.value(0));
        if (!row.served)
            continue;

        const QString name = QString::fromLatin1(row.what).replace(' ', '_');
        QUrl url = server.url("/x", name);
        url.setHost(row.host);
        server.clearLog();
        ModalDialogAnswerer answerer(QStringLiteral("No"));
        HttpNetworkManager client("0123456789abcdef");
        const tessal::test::Outcome r = tessal::test::get(client, url);
        if (row.expected == QSslError::NoError) {
            EXPECT_EQ(r.code, 0);
            EXPECT_EQ(answerer.count(), 0);
            continue;
        }
        EXPECT_EQ(r.code, 2);
        // Asked about or refused unasked, but never a request sent.
        EXPECT_TRUE(server.requests().isEmpty()) << server.requests().size();
        EXPECT_LE(answerer.count(), 1);
        if (row.expected == QSslError::HostNameMismatch && answerer.count() == 1) {
            EXPECT_TRUE(answerer.last().text.contains("- Host name mismatch\n")) << answerer.last().text.toStdString();
        }
    }
}

TEST(ChainVerificationTest, EmptyChainOrHost)
{
    TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    const struct {
        QString cert, host;
        QSslError::SslError expected;
    } rows[] = {
        {certs.serverCert, "", QSslError::HostNameMismatch},
        {certs.selfCert, "127.0.0.1", QSslError::SelfSignedCertificate},
        {QString(), "127.0.0.1", QSslError::NoPeerCertificate},
    };
    for (const auto& row : rows) {
        const QList<QSslCertificate> chain =
            row.cert.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(row.cert);
        QList<QSslError::SslError> found;
        for (const QSslError& e : verifyServerCertificateChain(chain, row.host))
            found << e.error();
        EXPECT_TRUE(found.contains(row.expected)) << row.host.toStdString() << " " << found.size();
    }
}

// An anchor only in the system's bundle file, none in its hashed folder: the
// bundle is still read for a chain that fails without it.
TEST(ChainVerificationTest, AnchorOnlyInTheBundleFile)
{
    TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    QTemporaryDir emptyFolder;
    ASSERT_TRUE(emptyFolder.isValid());
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    const QByteArray file = qgetenv("SSL_CERT_FILE"), folder = qgetenv("SSL_CERT_DIR");
    auto restore = qScopeGuard([&] {
        file.isNull() ? qunsetenv("SSL_CERT_FILE") : qputenv("SSL_CERT_FILE", file);
        folder.isNull() ? qunsetenv("SSL_CERT_DIR") : qputenv("SSL_CERT_DIR", folder);
        QSslConfiguration::setDefaultConfiguration(saved);
    });
    qputenv("SSL_CERT_FILE", QFile::encodeName(certs.caCert));
    qputenv("SSL_CERT_DIR", QFile::encodeName(emptyFolder.path()));
    // Another list of the toolkit's CAs has the verifier build its stores anew.
    QSslConfiguration other = saved;
    other.addCaCertificates(QSslCertificate::fromPath(certs.selfCert));
    QSslConfiguration::setDefaultConfiguration(other);
    EXPECT_TRUE(verifyServerCertificateChain(QSslCertificate::fromPath(certs.serverCert), "127.0.0.1").isEmpty());
}
