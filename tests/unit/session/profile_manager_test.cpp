// ProfileManager against the access-server stand-in.
#include "AccessServer.h"
#include "RecordingLog.h"

#include "session/ProfileManager.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <gtest/gtest.h>

using tessal::qt::ProfileManager;
using tessal::test::AccessServer;
using tessal::test::RecordingLog;

namespace {

const char* const kProfile =
    "<?xml version=\"1.0\"?>\n<PROFILE>\n"
    "  <SERVERS>\n    <SITEM><ADDRESS>vpn.example.com</ADDRESS></SITEM>\n  </SERVERS>\n"
    "  <AUTOUPDATE_LINUX><PACKAGE><ITEM><ID>NetworkAccessApp</ID><VERSION>7270.0.0.2</VERSION></ITEM>"
    "</PACKAGE></AUTOUPDATE_LINUX>\n"
    "  <ServerIpCheck><IP_ServerIP>127.0.0.1</IP_ServerIP></ServerIpCheck>\n"
    "  <LocalNetCheck><Lan_LocalSubnetRange>10.0.0.0/8</Lan_LocalSubnetRange></LocalNetCheck>\n"
    "</PROFILE>\n";

struct Result {
    bool done = false;
    bool success = false;
    QString error;
};

Result download(ProfileManager& m, const QUrl& url)
{
    Result r;
    QEventLoop loop;
    const auto ok = QObject::connect(&m, &ProfileManager::ProfileDownloadSuccess, &loop, [&] {
        r.done = r.success = true;
        loop.quit();
    });
    const auto failed = QObject::connect(&m, &ProfileManager::ProfileDownloadFailed, &loop, [&](const QString& e) {
        r.done = true;
        r.error = e;
        loop.quit();
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    m.DownloadProfile(url);
    if (!r.done)
        loop.exec();
    QObject::disconnect(ok);
    QObject::disconnect(failed);
    return r;
}

QJsonObject route(const QString& body, int status = 200)
{
    return QJsonObject{{"path", "/pre/config.php"},
                       {"query", "version=2.0"},
                       {"times", 1},
                       {"status", status},
                       {"headers", QJsonObject{{"Content-Type", "text/xml"}}},
                       {"body", body}};
}

class ProfileManagerTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.error().toStdString(); }
    QUrl profileUrl() const { return server.url(QStringLiteral("/pre/config.php?version=2.0")); }

    AccessServer server;
    RecordingLog log;
};

TEST_F(ProfileManagerTest, DownloadsAndParsesTheProfile)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{route(QString::fromUtf8(kProfile))}));
    ProfileManager m;
    const Result r = download(m, profileUrl());
    ASSERT_TRUE(r.success) << r.error.toStdString();
    const auto& p = m.GetParser();
    ASSERT_EQ(p.servers.size(), 1u);
    EXPECT_EQ(p.servers[0].address, "vpn.example.com");
    ASSERT_EQ(p.linuxPackages.size(), 1u);
    EXPECT_EQ(p.linuxPackages[0].version, "7270.0.0.2");
    EXPECT_EQ(p.validServerIPs, std::vector<std::string>{"127.0.0.1"});
    EXPECT_EQ(p.lanSubnetRanges, std::vector<std::string>{"10.0.0.0/8"});

    const QList<QJsonObject> requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0]["method"].toString(), "GET");
    EXPECT_EQ(requests[0]["path"].toString(), "/pre/config.php");
    EXPECT_EQ(requests[0]["query"].toString(), "version=2.0");
    // The profile request carries no session cookie of its own.
    EXPECT_FALSE(requests[0]["headers"].toObject().contains("Cookie"));
}

TEST_F(ProfileManagerTest, AnEmptyBodyIsAnEmptyProfile)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{route(QString())}));
    ProfileManager m;
    const Result r = download(m, profileUrl());
    ASSERT_TRUE(r.success) << r.error.toStdString();
    EXPECT_TRUE(m.GetParser().validServerIPs.empty());
    EXPECT_TRUE(m.GetParser().servers.empty());
}

TEST_F(ProfileManagerTest, HttpFailuresPassTheClientsMessageOn)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{route(QString::fromUtf8(kProfile)), route("missing", 404),
                                            QJsonObject{{"path", "/pre/config.php"}, {"drop", true}}}));
    ProfileManager m;
    ASSERT_TRUE(download(m, profileUrl()).success);
    const Result notFound = download(m, profileUrl());
    EXPECT_FALSE(notFound.success);
    EXPECT_EQ(notFound.error, QStringLiteral("Wrong HTTP code 404"));
    // A failed request leaves the parser as it was.
    EXPECT_EQ(m.GetParser().servers.size(), 1u);
    const Result dropped = download(m, profileUrl());
    EXPECT_FALSE(dropped.success);
    EXPECT_EQ(dropped.error, QStringLiteral("Network error"));
}

TEST_F(ProfileManagerTest, AMalformedProfileFailsTheDownload)
{
    const QString badSection = QStringLiteral(
        "<PROFILE><SERVERS><SITEM><ADDRESS>a</ADDRESS></SITEM></SERVERS><SESSION><X/></SESSION></PROFILE>");
    ASSERT_TRUE(server.setRoutes(QJsonArray{route(badSection), route("<html><body>Please log on<br></body></html>"),
                                            route(QString::fromUtf8(kProfile).left(120))}));
    ProfileManager m;
    const Result section = download(m, profileUrl());
    EXPECT_FALSE(section.success);
    EXPECT_EQ(section.error, QStringLiteral("pre-config XML parsing failed"));
    EXPECT_EQ(m.GetParser().servers.size(), 1u);
    EXPECT_EQ(log.withMessage("Failed to session policy").size(), 1);

    const Result html = download(m, profileUrl());
    EXPECT_FALSE(html.success);
    EXPECT_EQ(html.error, QStringLiteral("pre-config XML parsing failed"));

    const Result cut = download(m, profileUrl());
    EXPECT_FALSE(cut.success);
    EXPECT_EQ(cut.error, QStringLiteral("pre-config XML parsing failed"));
}

TEST_F(ProfileManagerTest, ASecondDownloadReplacesTheFirstProfile)
{
    const QString second =
        QStringLiteral("<PROFILE><ServerIpCheck><IP_ServerIP>192.0.2.7</IP_ServerIP></ServerIpCheck></PROFILE>");
    ASSERT_TRUE(server.setRoutes(QJsonArray{route(QString::fromUtf8(kProfile)), route(second)}));
    ProfileManager m;
    ASSERT_TRUE(download(m, profileUrl()).success);
    ASSERT_TRUE(download(m, profileUrl()).success);
    EXPECT_TRUE(m.GetParser().servers.empty());
    EXPECT_TRUE(m.GetParser().linuxPackages.empty());
    EXPECT_EQ(m.GetParser().validServerIPs, std::vector<std::string>{"192.0.2.7"});
    EXPECT_EQ(server.requests().size(), 2);
}

} // namespace
