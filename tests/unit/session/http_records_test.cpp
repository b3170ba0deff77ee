// The log records of the HTTP client that operators rely on.
#include "RecordingLog.h"
#include "dialogs/ServerCertificateVerifier.h"
#include "http_test_support.h"

#include "ModalDialogAnswerer.h"
#include "session/FileDownloader.h"

#include <QTemporaryDir>

using namespace tessal::test;
using tessal::qt::HttpNetworkManager;

namespace {

class HttpRecordsTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SharedServer::instance().ok); }
    static AccessServer& server() { return SharedServer::instance().server; }
};

TEST_F(HttpRecordsTest, TimeoutAndRedirectionRecords)
{
    ASSERT_TRUE(server().setRoutes(
        {jsonRoute({{"path", "/silent"}, {"silence", true}}), jsonRoute({{"path", "/loop"}, {"redirect", "/loop"}})}));
    RecordingLog log;
    HttpNetworkManager m("");
    const QUrl silent = server().url("/silent");
    EXPECT_EQ(get(m, silent, 200).code, 2);
    const QStringList aborted = log.withMessage("Request (" + silent.toString() + ") is being aborted (timeouted)");
    ASSERT_EQ(aborted.size(), 1);
    EXPECT_TRUE(aborted.first().startsWith("1, /HttpNetworkManager, "));
    EXPECT_TRUE(
        aborted.first().contains(", void tessal::qt::HttpNetworkManager::RequestAbort(QNetworkReply*, bool) const, "));
    EXPECT_EQ(log.withMessage("starting GET request to, " + silent.toString()).size(), 1);

    const Outcome loop = get(m, server().url("/loop"));
    EXPECT_EQ(loop.message, "Max HTTP redirection (10) reached");
    EXPECT_EQ(log.withMessage("Max HTTP redirection (10) reached").size(), 1);
    EXPECT_EQ(log.withMessage("302 redirect (new,old), " + server().url("/loop").toString() + ", " +
                              server().url("/loop").toString())
                  .size(),
              10);
}

TEST_F(HttpRecordsTest, DownloadFailureRecord)
{
    ASSERT_TRUE(server().setRoutes(QJsonArray()));
    RecordingLog log;
    tessal::qt::FileDownloader d(server().url("/public/download/missing"), "");
    QEventLoop loop;
    QString failure;
    QObject::connect(&d, &tessal::qt::FileDownloader::FileDownloadFailed, &loop, [&](const QString& m) {
        failure = m;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    d.StartDownload();
    loop.exec();
    EXPECT_EQ(failure, "Wrong HTTP code 404");
    EXPECT_EQ(log.withMessage("Failed to download file. Error occurred (Wrong HTTP code 404)").size(), 1);
    EXPECT_EQ(log.withMessage("Starting to download, /public/download/missing").size(), 1);
}

TEST_F(HttpRecordsTest, AcceptedCertificateRecords)
{
    ASSERT_TRUE(server().setRoutes({jsonRoute({{"path", "/x"}, {"headers", textHeaders()}, {"body", "ok"}})}));
    RecordingLog log;
    ModalDialogAnswerer answerer("Yes");
    // "localhost" on selfB is a key no other test accepts.
    const QUrl u(server().url("/x", "selfB").toString().replace("127.0.0.1", "localhost"));
    {
        HttpNetworkManager m("");
        EXPECT_EQ(get(m, u).code, 0);
    }
    EXPECT_EQ(log.withMessage("Invalid cert accepted, ignoring errors").size(), 1);
    EXPECT_EQ(log.withMessage("Accepting invalid cert").size(), 1);
    {
        HttpNetworkManager m("");
        EXPECT_EQ(get(m, u).code, 0);
    }
    EXPECT_EQ(answerer.count(), 1);
    EXPECT_EQ(log.withMessage("Accepting invalid cert").size(), 2);
    EXPECT_EQ(log.withMessage("Invalid cert accepted, ignoring errors").size(), 1);
}

TEST(HttpFlagRecords, FlagIsSet)
{
    RecordingLog log;
    QTemporaryDir dir;
    QFile f(dir.filePath("conf"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("ALLOW_HTTP_SERVERS=Yes\n");
    f.close();
    EXPECT_TRUE(tessal::qt::checkFlag(CString(f.fileName().toUtf8().constData()), CString("ALLOW_HTTP_SERVERS")));
    EXPECT_EQ(log.withMessage("Flag is set, ALLOW_HTTP_SERVERS").size(), 1);
}

} // namespace

namespace {

// A reply that never went on the wire: no peer certificate, records whether
// it was told to ignore errors.
class OfflineReply : public QNetworkReply
{
public:
    explicit OfflineReply(const QUrl& url)
    {
        setUrl(url);
        setRequest(QNetworkRequest(url));
        open(QIODevice::ReadOnly);
    }
    void abort() override {}
    bool ignored = false;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    void ignoreSslErrorsImplementation(const QList<QSslError>&) override { ignored = true; }
};

TEST(HttpCertificateRefusals, NoPeerCertificateAndUnknownKindsAreRefusedWithoutAsking)
{
    RecordingLog log;
    ModalDialogAnswerer answerer("Yes");
    HttpNetworkManager m("");
    int denied = 0;
    QObject::connect(&m, &HttpNetworkManager::SslCertificateDenied, [&](QNetworkReply*) { ++denied; });

    OfflineReply noCertificate(QUrl("https://vpn.example/x"));
    m.SSLErrors(&noCertificate, {QSslError(QSslError::SelfSignedCertificate)});
    EXPECT_FALSE(noCertificate.ignored);
    EXPECT_EQ(log.withMessage("cert at URL [https://vpn.example/x] is null, refusing connection").size(), 1);

    OfflineReply unknown(QUrl("https://vpn.example/y"));
    const QSslError revoked(QSslError::CertificateRevoked);
    m.SSLErrors(&unknown, {QSslError(QSslError::SelfSignedCertificate), revoked});
    EXPECT_FALSE(unknown.ignored);
    EXPECT_EQ(log.withMessage("SSL Error:Unhandled ssl error: " + revoked.errorString()).size(), 1);

    QCoreApplication::processEvents();
    EXPECT_EQ(answerer.count(), 0);
    EXPECT_EQ(denied, 0);
}

TEST(HttpCertificateKeys, ServerIdentity)
{
    using tessal::qt::certificateServerKey;
    EXPECT_EQ(certificateServerKey(QUrl("https://vpn.example/a?b=1")), "https://vpn.example:443");
    EXPECT_EQ(certificateServerKey(QUrl("https://vpn.example:443/other")), "https://vpn.example:443");
    EXPECT_EQ(certificateServerKey(QUrl("https://vpn.example:8443/a")), "https://vpn.example:8443");
    EXPECT_EQ(certificateServerKey(QUrl("http://vpn.example/")), "http://vpn.example:80");
    EXPECT_EQ(certificateServerKey(QUrl("https://user:pw@VPN.example/a#top")), "https://vpn.example:443");
}

} // namespace
