// The access-server stand-in as the other suites use it: routes, request log,
// redirects across listeners, TLS with a test CA, certificate switching.
#include "AccessServer.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>
#include <QtTest>

using tessal::test::AccessServer;
using tessal::test::TestCertificates;

namespace {

struct Result {
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QList<QSslError> sslErrors;
    QSslCertificate peer;
};

Result fetch(QNetworkAccessManager& nam, const QUrl& url, const QByteArray& post = {}, int timeoutMs = 10000)
{
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = post.isNull() ? nam.get(req) : nam.post(req, post);
    Result r;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&](const QList<QSslError>& errors) {
        r.sslErrors = errors;
        if (!errors.isEmpty())
            r.peer = errors.first().certificate();
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.error = reply->error();
    r.body = reply->readAll();
    if (r.peer.isNull())
        r.peer = reply->sslConfiguration().peerCertificate();
    reply->deleteLater();
    return r;
}

QJsonObject route(std::initializer_list<QPair<QString, QJsonValue>> fields)
{
    QJsonObject o;
    for (const auto& f : fields)
        o.insert(f.first, f.second);
    return o;
}

} // namespace

class AccessServerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_certs.make(), qPrintable(m_certs.error()));
        QVERIFY(QFile::copy(m_certs.selfCert, m_switchCert));
        QVERIFY(QFile::copy(m_certs.selfKey, m_switchKey));
        QVERIFY2(
            m_server.start({{QStringLiteral("http")},
                            {QStringLiteral("tls"), QStringLiteral("https"), m_certs.serverCert, m_certs.serverKey},
                            {QStringLiteral("self"), QStringLiteral("https"), m_switchCert, m_switchKey}}),
            qPrintable(m_server.error()));
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.addCaCertificates(m_certs.caCert);
        QSslConfiguration::setDefaultConfiguration(conf);
    }

    void routesAndLog()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{
            route({{"path", "/a"},
                   {"query", "x=1"},
                   {"headers", QJsonObject{{"Content-Type", "text/plain"}}},
                   {"body", "port {port:tls}"}}),
            route({{"path", "/once"}, {"times", 1}, {"body", "first"}}),
            route({{"path", "/once"}, {"status", 503}, {"body", "later"}}),
        }));
        m_server.clearLog();
        QNetworkAccessManager nam;
        Result r = fetch(nam, m_server.url(QStringLiteral("/a?x=1")));
        QCOMPARE(r.status, 200);
        QCOMPARE(r.body, QByteArray("port ") + QByteArray::number(m_server.port(QStringLiteral("tls"))));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/a?x=2"))).status, 404);
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/once"))).body, QByteArray("first"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/once"))).status, 503);
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/post")), "a=1&b=%202").status, 404);

        const QList<QJsonObject> log = m_server.requests();
        QCOMPARE(log.size(), 5);
        QCOMPARE(log[0]["method"].toString(), QStringLiteral("GET"));
        QCOMPARE(log[0]["path"].toString(), QStringLiteral("/a"));
        QCOMPARE(log[0]["query"].toString(), QStringLiteral("x=1"));
        QCOMPARE(log[0]["route"].toInt(), 0);
        QVERIFY(log[1]["route"].isNull());
        QCOMPARE(log[4]["method"].toString(), QStringLiteral("POST"));
        QCOMPARE(log[4]["body"].toString(), QStringLiteral("a=1&b=%202"));
        QVERIFY(log[4]["headers"].toObject().contains(QStringLiteral("Content-Length")));
    }

    void redirectAcrossListeners()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{
            route({{"path", "/r"}, {"status", 307}, {"redirect", "https://127.0.0.1:{port:tls}/t"}}),
        }));
        QNetworkAccessManager nam;
        Result r = fetch(nam, m_server.url(QStringLiteral("/r")));
        QCOMPARE(r.status, 307);
    }

    void tlsWithTestCa()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{route({{"path", "/t"}, {"body", "secure"}})}));
        QNetworkAccessManager nam;
        Result r = fetch(nam, m_server.url(QStringLiteral("/t"), QStringLiteral("tls")));
        QVERIFY(r.sslErrors.isEmpty());
        QCOMPARE(r.body, QByteArray("secure"));
        QCOMPARE(m_server.requests().last()["scheme"].toString(), QStringLiteral("https"));
    }

    void selfSignedAndSwitchedCertificate()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{route({{"path", "/t"}, {"body", "secure"}})}));
        {
            QNetworkAccessManager nam;
            Result r = fetch(nam, m_server.url(QStringLiteral("/t"), QStringLiteral("self")));
            QVERIFY(!r.sslErrors.isEmpty());
            QCOMPARE(r.sslErrors.first().error(), QSslError::SelfSignedCertificate);
            QCOMPARE(r.peer, QSslCertificate::fromPath(m_certs.selfCert).first());
        }
        QFile::remove(m_switchCert);
        QFile::remove(m_switchKey);
        QVERIFY(QFile::copy(m_certs.otherSelfCert, m_switchCert));
        QVERIFY(QFile::copy(m_certs.otherSelfKey, m_switchKey));
        QNetworkAccessManager nam;
        Result r = fetch(nam, m_server.url(QStringLiteral("/t"), QStringLiteral("self")));
        QCOMPARE(r.peer, QSslCertificate::fromPath(m_certs.otherSelfCert).first());
    }

    void bodiesAndPacing()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{
            route({{"path", "/gz"}, {"gzip", true}, {"body", "unpacked"}}),
            route({{"path", "/big"}, {"body_size", 3000000}}),
            route({{"path", "/trickle"},
                   {"trickle", QJsonObject{{"bytes", 2}, {"interval_ms", 20}}},
                   {"body", "abcdef"}}),
            route({{"path", "/silent"}, {"silence", true}}),
            route({{"path", "/cut"}, {"body_size", 1000}, {"cut_after", 10}}),
        }));
        QNetworkAccessManager nam;
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/gz"))).body, QByteArray("unpacked"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/big"))).body.size(), 3000000);
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/trickle"))).body, QByteArray("abcdef"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/silent")), {}, 300).error,
                 QNetworkReply::OperationCanceledError);
        QVERIFY(fetch(nam, m_server.url(QStringLiteral("/cut"))).error != QNetworkReply::NoError);
    }

    void connectionHandling()
    {
        QVERIFY(m_server.setRoutes(QJsonArray{
            route({{"path", "/close"}, {"close", true}, {"body", "bye"}}),
            route({{"path", "/chunked"}, {"chunked", true}, {"body", "in pieces"}}),
            route({{"path", "/nolength"}, {"no_content_length", true}, {"body", "until close"}}),
            route({{"path", "/drop"}, {"drop", true}}),
            route({{"path", "/late"}, {"delay_ms", 150}, {"body", "late"}}),
            route({{"path", "/b64"}, {"body_base64", "AAEC/w=="}}),
            route({{"path", "/hdr"}, {"headers", QJsonArray{QJsonArray{"X-A", "1"}, QJsonArray{"X-A", "2"}}}}),
        }));
        m_server.clearLog();
        QNetworkAccessManager nam;
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/close"))).body, QByteArray("bye"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/close"))).body, QByteArray("bye"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/chunked"))).body, QByteArray("in pieces"));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/nolength"))).body, QByteArray("until close"));
        QVERIFY(fetch(nam, m_server.url(QStringLiteral("/drop"))).error != QNetworkReply::NoError);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/late"))).body, QByteArray("late"));
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/b64"))).body, QByteArray("\x00\x01\x02\xff", 4));
        QCOMPARE(fetch(nam, m_server.url(QStringLiteral("/hdr"))).status, 200);
        // A closed connection means a new one: a new client port in the log.
        const QList<QJsonObject> log = m_server.requests();
        QVERIFY(log.size() >= 2);
        QVERIFY(log[0]["client_port"].toInt() != log[1]["client_port"].toInt());
    }

private:
    TestCertificates m_certs;
    AccessServer m_server;
    QString m_switchCert = m_certs.dir() + QStringLiteral("/switch.pem");
    QString m_switchKey = m_certs.dir() + QStringLiteral("/switch.key");
};

QTEST_GUILESS_MAIN(AccessServerTest)
#include "tst_access_server.moc"
