#pragma once
// Shared pieces of the access-session tests: a temporary home with the
// trusted-site store, the stand-in server with a profile, launch URLs.

#include "AccessServer.h"
#include "EventWait.h"
#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"

#include "session/TrustedSiteList.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace tessal {
namespace test {

inline const char* const kSessionId = "0123456789abcdefABCDEF0123456789";
inline const char* const kOtherSessionId = "ZZZZ456789abcdefABCDEF01ZZZZZZZZ";

// A profile that lets the server's own address through and lists the
// installed version, so the update step finds nothing to do.
inline QString profileXml(const QString& serverIp = QStringLiteral("127.0.0.1"), const QString& ranges = QString())
{
    return QStringLiteral("<PROFILE><AUTOUPDATE_LINUX><PACKAGE>"
                          "<ITEM><ID>NetworkAccessAppX64.deb</ID><VERSION>7270.0.0.1</VERSION><SIGNATURE>x</SIGNATURE>"
                          "<SOURCE>/l.deb</SOURCE></ITEM></PACKAGE></AUTOUPDATE_LINUX>"
                          "<ServerIpCheck><ServerIPCheckEnabled>1</ServerIPCheckEnabled><IP_ServerIP>%1</IP_ServerIP>"
                          "</ServerIpCheck><LocalNetCheck><LocalNetCheckEnabled>1</LocalNetCheckEnabled>%2"
                          "</LocalNetCheck></PROFILE>")
        .arg(serverIp, ranges);
}

inline QJsonObject profileRoute(const QString& xml = profileXml())
{
    return QJsonObject{{"path", "/pre/config.php"},
                       {"query", "version=2.0"},
                       {"headers", QJsonObject{{"Content-Type", "text/xml"}}},
                       {"body", xml}};
}

inline QJsonObject quietRoute(const QString& path, int status = 200)
{
    return QJsonObject{
        {"path", path}, {"status", status}, {"headers", QJsonObject{{"Content-Type", "text/plain"}}}, {"body", ""}};
}

class SessionTestBase : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
        sl::TrustedSiteList::Instance(home.path().toUtf8().constData(), "trusted_sites.xml");
        ASSERT_TRUE(server.start()) << server.error().toStdString();
    }

    QUrl serverUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server.port())); }

    void trustServer()
    {
        sl::TrustedSiteList::Instance(nullptr, "trusted_sites.xml")->AddPermanent(serverUrl().toString().toStdString());
    }

    QList<QJsonObject> requestsTo(const QString& path) const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& r : server.requests())
            if (r["path"].toString() == path)
                out << r;
        return out;
    }

    QTemporaryDir home;
    AccessServer server;
    RecordingLog log;
};

} // namespace test
} // namespace tessal
