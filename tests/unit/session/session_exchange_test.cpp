// The one-time-code exchange, the start report and the server URL builders,
// against the access-server stand-in.

#include "AccessServer.h"
#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"

#include "dialogs/ServerUrls.h"
#include "foundation/String.h"
#include "session/SessionExchange.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QThread>

#include <functional>

#include <gtest/gtest.h>

using namespace tessal;
using tessal::test::AccessServer;

namespace {

const char* const kSid = "0123456789abcdefABCDEF0123456789";

class SessionExchangeTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.error().toStdString(); }

    void route(const QJsonObject& answer)
    {
        QJsonObject r = answer;
        r.insert("path", "/vdesk/get_sessid_for_token.php3");
        ASSERT_TRUE(server.setRoutes(QJsonArray{r}));
    }

    QUrl serverUrl() const { return server.url("/"); }

    AccessServer server;
    test::RecordingLog log;
};

TEST(ServerUrlsTest, BuildersChangeOnlyPathAndQuery)
{
    const QUrl server("https://vpn.example.com:8443/some/path?x=1#frag");
    EXPECT_EQ(qt::makeServerRootUrl(server).toString(), "https://vpn.example.com:8443#frag");
    EXPECT_EQ(qt::makeProfileUrl(server).toString(), "https://vpn.example.com:8443/pre/config.php?version=2.0#frag");
    EXPECT_EQ(qt::makeResourceTemplateUrl(server).toString(),
              "https://vpn.example.com:8443/vdesk/resource_template?x=1#frag");
    EXPECT_EQ(qt::makeNAConfigUrl(QUrl("https://vpn.example.com"), "My Res").toString(QUrl::FullyEncoded),
              "https://vpn.example.com/vdesk/vpn/connect.php3?resourcename=My%20Res&outform=xml&client_version=1.1");
}

TEST(ServerUrlsTest, LaunchUrlSecretsAreShortened)
{
    const QUrl url("tessal-vpn://"
                   "x?server=h&sid=AAAAAAAAAAAAAAAAAAAAAAAA12345678&Token=TTTTTTTTTTTTtoken123&otc=OOOOOOOOOotcode99");
    const QString text = qt::redactedLaunchUrl(url);
    EXPECT_TRUE(text.contains("sid=12345678")) << text.toStdString();
    EXPECT_TRUE(text.contains("Token=token123")) << text.toStdString();
    EXPECT_TRUE(text.contains("otc=otcode99")) << text.toStdString();
    EXPECT_FALSE(text.contains("AAAAAAAA")) << text.toStdString();

    // Wherever a secret stands, and however it is written: its last 8 characters.
    const std::pair<const char*, const char*> rows[] = {
        {"tessal-ftp://x?sid=SECRETSECRETSECRETSECRET12345678?z", "sid=12345678?z"},
        {"tessal-ftp://x#sid=SECRETSECRETSECRETSECRET12345678", "#sid=12345678"},
        {"tessal-ftp://x?a=1?otc=SECRETSECRET87654321&b=2", "otc=87654321&b=2"},
        {"tessal-ftp://x?a=1#b=2&TOKEN=SECRETSECRETtok45678", "TOKEN=tok45678"},
        {"tessal-epi://x?server=h%26sid%3DSECRETSECRETSECRET77654321", "sid=77654321"},
        {"tessal-epi://x?sid=SECRETSECRET%26SECRETSECRET%26b1234567", "sid=b1234567"}};
    for (const auto& [url, shown] : rows) {
        const QString redacted = qt::redactedLaunchUrl(QUrl(url));
        EXPECT_TRUE(!redacted.contains("SECRET") && redacted.contains(shown))
            << url << " -> " << redacted.toStdString();
    }
}

TEST_F(SessionExchangeTest, SessionIdFromHeaderAndTokenSent)
{
    route({{"headers", QJsonObject{{"X-ACCESS-Session-ID", kSid}, {"Content-Type", "text/plain"}}}, {"body", "ok"}});
    CString sid;
    ASSERT_TRUE(qt::retrieveSidFromOtc(serverUrl(), CString("onetimecode42"), sid));
    EXPECT_STREQ(static_cast<const char*>(sid), kSid);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["method"].toString(), "GET");
    EXPECT_EQ(requests[0]["headers"].toObject()["X-ACCESS-Session-Token"].toString(), "onetimecode42");
    EXPECT_FALSE(requests[0]["headers"].toObject().contains("Cookie"));
    // Secrets appear only in short form.
    for (const QString& line : log.qLines()) {
        EXPECT_FALSE(line.contains(kSid));
        EXPECT_FALSE(line.contains("onetimecode42"));
    }
    EXPECT_EQ(log.withMessage("session id(23456789) for otc(mecode42)").size(), 1);
}

TEST_F(SessionExchangeTest, EmptyMissingOrInvalidIdFails)
{
    const QList<QJsonObject> answers = {
        {{"headers", QJsonObject{{"X-ACCESS-Session-ID", ""}}}, {"body", ""}},
        {{"headers", QJsonObject{{"Content-Type", "text/plain"}}}, {"body", "no id"}},
        {{"headers", QJsonObject{{"X-ACCESS-Session-ID", "short1234"}}}, {"body", ""}},
        {{"headers", QJsonObject{{"X-ACCESS-Session-ID", "0123456789abcdef-BCDEF0123456789"}}}, {"body", ""}},
        {{"status", 500}, {"body", ""}},
    };
    for (const QJsonObject& answer : answers) {
        route(answer);
        CString sid("unchanged");
        EXPECT_FALSE(qt::retrieveSidFromOtc(serverUrl(), CString("code"), sid));
        EXPECT_STREQ(static_cast<const char*>(sid), "unchanged");
    }
    EXPECT_EQ(log.withMessage("Failed to exchange session Id with one time code").size(), answers.size());
}

TEST_F(SessionExchangeTest, HeadersAreEnoughWhenTheBodyStalls)
{
    route({{"headers", QJsonObject{{"X-ACCESS-Session-ID", kSid}, {"Content-Type", "text/plain"}}},
           {"body_size", 1000},
           {"trickle", QJsonObject{{"bytes", 1}, {"interval_ms", 20000}}}});
    QElapsedTimer clock;
    clock.start();
    CString sid;
    EXPECT_TRUE(qt::retrieveSidFromOtc(serverUrl(), CString("code"), sid));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_STREQ(static_cast<const char*>(sid), kSid);
}

TEST_F(SessionExchangeTest, StartReportCarriesBothCookies)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/my.report.na"}, {"status", 500}, {"body", "x"}}}));
    EXPECT_TRUE(qt::ReportNetworkAccess(serverUrl(), kSid, "tok123"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["path"].toString(), "/my.report.na");
    const QString cookie = requests[0]["headers"].toObject()["Cookie"].toString();
    EXPECT_TRUE(cookie.contains(QStringLiteral("NAToken=tok123"))) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains(QStringLiteral("MRHSession=") + kSid)) << cookie.toStdString();
}

// Over https the two cookies are made secure, and they still reach the server.
TEST(StartReportTlsTest, HttpsReportSendsTheSecureCookies)
{
    test::TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.addCaCertificates(certs.caCert);
    QSslConfiguration::setDefaultConfiguration(conf);
    AccessServer server;
    ASSERT_TRUE(server.start({AccessServer::Listener("tls", "https", certs.serverCert, certs.serverKey)}));
    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/my.report.na"}, {"body", ""}}}));
    EXPECT_TRUE(
        qt::ReportNetworkAccess(QUrl(QStringLiteral("https://127.0.0.1:%1").arg(server.port("tls"))), kSid, "t1"));
    ASSERT_EQ(server.requests().size(), 1);
    const QString cookie = server.requests()[0]["headers"].toObject()["Cookie"].toString();
    EXPECT_TRUE(cookie.contains("NAToken=t1") && cookie.contains(QStringLiteral("MRHSession=") + kSid))
        << cookie.toStdString();
}

TEST_F(SessionExchangeTest, StartReportGoesOnWhenTheServerIsSilentOrGone)
{
    server.stop();
    EXPECT_TRUE(qt::ReportNetworkAccess(serverUrl(), kSid, "tok"));
}

// Both exchanges run before the user has trusted the server: a redirection
// to another origin (here another port of the same host) is not followed, so
// nothing, and no cookie, reaches it; one within the origin still is.
TEST(ExchangeRedirectTest, NoHopToAnotherOrigin)
{
    AccessServer server;
    ASSERT_TRUE(server.start({AccessServer::Listener("http"), AccessServer::Listener("other")}))
        << server.error().toStdString();
    const auto report = [&] { return qt::ReportNetworkAccess(server.url("/"), kSid, "tok123"); };
    const auto exchange = [&] {
        CString sid;
        qt::retrieveSidFromOtc(server.url("/"), CString("code"), sid);
        return true;
    };
    const struct {
        const char* path;
        std::function<bool()> run;
        const char* redirect;
        QStringList listeners;
    } rows[] = {
        {"/my.report.na", report, "http://127.0.0.1:{port:other}/x", {"http"}},
        {"/my.report.na", report, "/landing", {"http", "http"}},
        {"/vdesk/get_sessid_for_token.php3", exchange, "http://127.0.0.1:{port:other}/x", {"http"}},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(server.setRoutes(
            QJsonArray{QJsonObject{{"path", row.path}, {"redirect", row.redirect}}, QJsonObject{{"body", ""}}}));
        server.clearLog();
        EXPECT_TRUE(row.run());
        // Whatever the client sent before it was done has been logged by now.
        QThread::msleep(300);
        QStringList seen;
        for (const QJsonObject& req : server.requests()) {
            seen << req["listener"].toString();
            const QString cookie = req["headers"].toObject()["Cookie"].toString();
            EXPECT_TRUE(req["listener"] == "http" || cookie.isEmpty()) << cookie.toStdString();
            EXPECT_TRUE(req["path"] != "/landing" || cookie.contains("NAToken=tok123")) << cookie.toStdString();
        }
        EXPECT_EQ(seen.join(' ').toStdString(), row.listeners.join(' ').toStdString()) << row.redirect;
    }
}

TEST(SessionCookieTest, SecureFlagAndPath)
{
    const QNetworkCookie c = qt::MakeSessionCookie("MRHSession", "v\xc3\xa4", true);
    EXPECT_EQ(c.name(), "MRHSession");
    EXPECT_EQ(c.value(), QString("v\u00e4").toUtf8());
    EXPECT_TRUE(c.isSecure());
    EXPECT_EQ(c.path(), "/");
    EXPECT_TRUE(c.domain().isEmpty());
    EXPECT_TRUE(c.isSessionCookie());
    EXPECT_FALSE(qt::MakeSessionCookie("NAToken", "x", false).isSecure());
}

TEST(SessionIdRuleTest, ThirtyTwoLettersAndDigits)
{
    EXPECT_TRUE(qt::isValidSessionId(CString(kSid)));
    EXPECT_FALSE(qt::isValidSessionId(CString("0123456789abcdefABCDEF012345678")));
    EXPECT_FALSE(qt::isValidSessionId(CString("0123456789abcdefABCDEF01234567890")));
    EXPECT_FALSE(qt::isValidSessionId(CString("0123456789abcdefABCDEF012345678\xc3")));
    EXPECT_FALSE(qt::isValidSessionId(CString("")));
}

} // namespace
