// One access session's whole run against the stand-in server: the trust
// gate, the profile, the two checks, the update answer and the hand-over to
// the browser controller, and every way it ends.

#include "session_support.h"

#include "session/Session.h"
#include "session/SessionNetworkChecks.h"
#include "session/SessionTestSeam.h"
#include "shell/ShellTestSeam.h"

#include <arpa/inet.h>
#include <net/if.h>

using namespace tessal;
using namespace tessal::test;
using qt::Session;
using tessal::qt::ShellTestSeam;

namespace {

qt::SessionInfo infoFor(const QUrl& url, bool appLaunch = false)
{
    qt::SessionInfo info;
    info.url = url;
    info.sessionId = kSessionId;
    info.resourceName = "res1";
    info.resourceType = "network_access";
    info.token = "tok";
    info.appLaunch = appLaunch;
    return info;
}

// No interface of the test machine decides anything: one public address.
void onePublicAddress(Session& s)
{
    s.setInterfaceLister([](std::vector<qt::InterfaceAddress>& out) {
        qt::InterfaceAddress a;
        a.name = "eth0";
        a.flags = IFF_UP | IFF_RUNNING;
        a.family = AF_INET;
        inet_pton(AF_INET, "203.0.113.5", &a.v4);
        out.push_back(a);
        return true;
    });
}

class SessionRunTest : public SessionTestBase
{
protected:
    std::unique_ptr<Session> make(int type, bool appLaunch = false)
    {
        auto s = std::make_unique<Session>(infoFor(serverUrl(), appLaunch), type);
        onePublicAddress(*s);
        errors = std::make_unique<QSignalSpy>(s.get(), SIGNAL(Error(QString)));
        finished = std::make_unique<QSignalSpy>(s.get(), SIGNAL(Finished()));
        return s;
    }
    QString error() const { return errors->isEmpty() ? QString() : errors->first().first().toString(); }

    std::unique_ptr<QSignalSpy> errors;
    std::unique_ptr<QSignalSpy> finished;
};

TEST_F(SessionRunTest, NetworkAccessRunsToTheBrowserAndFinishesOnClose)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute()}));
    trustServer();
    ModalDialogAnswerer answerer("reject");
    auto s = make(Session::NetworkAccess);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return s->GetBrowserController().isStarted() || !errors->isEmpty(); }));
    EXPECT_EQ(error(), QString());
    EXPECT_EQ(answerer.count(), 0);

    const auto profile = requestsTo("/pre/config.php");
    ASSERT_EQ(profile.size(), 1);
    EXPECT_EQ(profile[0]["query"].toString(), "version=2.0");
    EXPECT_TRUE(requestsTo("/my.policy").isEmpty());

    // The record handed over carries the exposed address.
    const qt::BrowserController& handed = s->GetBrowserController();
    EXPECT_EQ(ShellTestSeam::serverUrl(handed), serverUrl());
    EXPECT_EQ(ShellTestSeam::sessionId(handed), kSessionId);
    ASSERT_EQ(ShellTestSeam::ipv4Addresses(handed).size(), 1u);
    EXPECT_EQ(ShellTestSeam::ipv4Addresses(handed)[0], "203.0.113.5");
    EXPECT_GE(log.withMessage("Application is up-to-date").size(), 1) << log.text();

    // Closing the window finishes the session on a later turn.
    emit s->GetBrowserController().realCloseMainWindow();
    EXPECT_EQ(finished->count(), 0);
    ASSERT_TRUE(waitFor([&] { return finished->count() == 1; }));
    EXPECT_TRUE(errors->isEmpty());
}

TEST_F(SessionRunTest, RefusedNetworkAccessSiteEndsInsideStart)
{
    ModalDialogAnswerer answerer("btnDoNotAllow");
    auto s = make(Session::NetworkAccess);
    s->Start();
    EXPECT_EQ(answerer.count(), 1);
    ASSERT_EQ(errors->count(), 1);
    EXPECT_EQ(error(), "Site not trusted");
    QCoreApplication::processEvents();
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(SessionRunTest, RefusedInspectionSiteReportsToThePolicyPage)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{quietRoute("/my.policy", 500)}));
    ModalDialogAnswerer answerer("btnDoNotAllow");
    auto s = make(Session::EndpointInspection);
    s->Start();
    EXPECT_TRUE(errors->isEmpty());
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "Site not trusted");
    const auto posts = requestsTo("/my.policy");
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(posts[0]["method"].toString(), "POST");
    EXPECT_EQ(posts[0]["body"].toString(), "no-inspection-host=1");
    EXPECT_EQ(
        log.withMessage(
               QStringLiteral("URL %1 is not in trusted site list. Skipping inspection").arg(serverUrl().toString()))
            .size(),
        1);
}

// The user has just refused the server: its report is not followed to
// another origin.
TEST_F(SessionRunTest, RefusalReportFollowsNoRedirectionToAnotherOrigin)
{
    AccessServer elsewhere;
    ASSERT_TRUE(elsewhere.start()) << elsewhere.error().toStdString();
    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{
        {"path", "/my.policy"}, {"redirect", QStringLiteral("http://127.0.0.1:%1/x").arg(elsewhere.port())}}}));
    ModalDialogAnswerer answerer("btnDoNotAllow");
    auto s = make(Session::EndpointInspection);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "Site not trusted");
    EXPECT_EQ(requestsTo("/my.policy").size(), 1);
    QThread::msleep(300);
    EXPECT_TRUE(elsewhere.requests().isEmpty());
}

TEST_F(SessionRunTest, SilentPolicyPageEndsTheSessionOnceAfterTheLimit)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/my.policy"}, {"silence", true}}}));
    ModalDialogAnswerer answerer("btnDoNotAllow");
    auto s = make(Session::EndpointInspection);
    qt::SessionTestSeam::setRefusalTimeout(*s, 300);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }, 5000));
    EXPECT_EQ(error(), "Site not trusted");
    QTest::qWait(200);
    EXPECT_EQ(errors->count(), 1);
}

TEST_F(SessionRunTest, RefusalLimitHoldsWhileTheCertificateQuestionIsOpen)
{
    TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    AccessServer tls;
    ASSERT_TRUE(tls.start({AccessServer::Listener("self", "https", certs.selfCert, certs.selfKey)}));
    ASSERT_TRUE(tls.setRoutes(QJsonArray{quietRoute("/my.policy")}));
    Session s(infoFor(QUrl(QStringLiteral("https://127.0.0.1:%1").arg(tls.port("self")))), Session::EndpointInspection);
    QSignalSpy ended(&s, SIGNAL(Error(QString)));
    qt::SessionTestSeam::setRefusalTimeout(s, 300);
    std::unique_ptr<ModalDialogAnswerer> answerer = std::make_unique<ModalDialogAnswerer>("btnDoNotAllow");
    s.Start();
    // The certificate question of the refusal report stays open past the limit.
    answerer.reset();
    qsizetype endedWhileOpen = -1;
    QTimer::singleShot(1200, [&] {
        endedWhileOpen = ended.count();
        answerer = std::make_unique<ModalDialogAnswerer>("No");
    });
    ASSERT_TRUE(waitFor([&] { return !ended.isEmpty(); }));
    EXPECT_EQ(endedWhileOpen, 0);
    EXPECT_TRUE(answerer && answerer->last().title.endsWith(" - Certificate Warning"));
    EXPECT_EQ(ended.first().first().toString(), "Site not trusted");
}

TEST_F(SessionRunTest, LaunchFlagDoesNotSkipTheQuestionForAnUntrustedSite)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute()}));
    ModalDialogAnswerer answerer("btnAllowForSession");
    auto s = make(Session::NetworkAccess, true);
    s->Start();
    EXPECT_EQ(answerer.count(), 1);
    ASSERT_TRUE(waitFor([&] { return s->GetBrowserController().isStarted() || !errors->isEmpty(); }));
    EXPECT_TRUE(errors->isEmpty());

    // A site trusted already passes without a question, flag or not.
    ModalDialogAnswerer second("btnDoNotAllow");
    auto again = std::make_unique<Session>(infoFor(serverUrl(), true), Session::NetworkAccess);
    onePublicAddress(*again);
    QSignalSpy againErrors(again.get(), SIGNAL(Error(QString)));
    again->Start();
    EXPECT_EQ(second.count(), 0);
    ASSERT_TRUE(waitFor([&] { return again->GetBrowserController().isStarted() || !againErrors.isEmpty(); }));
    EXPECT_TRUE(againErrors.isEmpty());
}

TEST_F(SessionRunTest, ProfileFailureEndsWithTheClientsMessage)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{quietRoute("/pre/config.php", 404)}));
    trustServer();
    ModalDialogAnswerer answerer("OK");
    auto s = make(Session::NetworkAccess);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_FALSE(error().isEmpty());
    EXPECT_EQ(log.withMessage("Profile download failed, " + error()).size(), 1);
    EXPECT_FALSE(s->GetBrowserController().isStarted());

    ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/pre/config.php"},
                                                        {"body", "<PROFILE><SESSION>\n"},
                                                        {"headers", QJsonObject{{"Content-Type", "text/xml"}}}}}));
    auto t = make(Session::NetworkAccess);
    t->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "pre-config XML parsing failed");
    EXPECT_EQ(answerer.count(), 2); // each said so
}

TEST_F(SessionRunTest, ServerAddressNotListedWarnsAndEnds)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute(profileXml("192.0.2.10"))}));
    trustServer();
    ModalDialogAnswerer answerer("OK");
    auto s = make(Session::NetworkAccess);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "Virtual Server IP invalid, Hence quitting connection");
    ASSERT_EQ(answerer.count(), 1);
    EXPECT_EQ(answerer.last().title, "Tessal VPN");
    EXPECT_EQ(answerer.last().text,
              "Your current network is vulnerable,Please change the network to establish the VPN");
    EXPECT_FALSE(s->GetBrowserController().isStarted());
}

TEST_F(SessionRunTest, UnreadableInterfaceListEndsWithAnError)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute()}));
    trustServer();
    auto s = make(Session::NetworkAccess);
    s->setInterfaceLister([](std::vector<qt::InterfaceAddress>&) { return false; });
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "Unable to get the NetworkInterfaceInfo");
    EXPECT_EQ(log.withMessage("Unable to get the NetworkInterfaceInfo").size(), 1);
}

TEST_F(SessionRunTest, InspectionEndsAfterTheUpdateStep)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute()}));
    trustServer();
    // No inspection component is listed: the updater reports a failure, and
    // the user goes on with what is installed.
    ModalDialogAnswerer answerer("Yes");
    auto s = make(Session::EndpointInspection);
    s->Start();
    ASSERT_TRUE(waitFor([&] { return !errors->isEmpty(); }));
    EXPECT_EQ(error(), "Unsupported session type");
    EXPECT_EQ(answerer.count(), 1);
    EXPECT_EQ(finished->count(), 0);
    EXPECT_FALSE(s->GetBrowserController().isStarted());
}

class UpdateFailureTest : public SessionRunTest
{
protected:
    // A session that has passed its checks and waits in the browser.
    std::unique_ptr<Session> ready()
    {
        EXPECT_TRUE(server.setRoutes(QJsonArray{profileRoute()}));
        trustServer();
        auto s = make(Session::NetworkAccess);
        return s;
    }
};

TEST_F(UpdateFailureTest, YesGoesOnWithTheInstalledVersion)
{
    auto s = ready();
    ModalDialogAnswerer answerer("Yes");
    s->AutoUpdateFail("download broke", false);
    ASSERT_EQ(answerer.count(), 1);
    EXPECT_EQ(answerer.last().title, "Tessal VPN");
    EXPECT_TRUE(answerer.last().text.startsWith("Application update failed: download broke."));
    EXPECT_EQ(answerer.last().buttons.size(), 3);
    EXPECT_TRUE(s->GetBrowserController().isStarted());
    EXPECT_TRUE(errors->isEmpty());
    EXPECT_EQ(log.withMessage("Auto update of application failed, download broke").size(), 1);
}

TEST_F(UpdateFailureTest, NoEndsWithTheMessage)
{
    auto s = ready();
    ModalDialogAnswerer answerer("No");
    s->AutoUpdateFail("download broke", false);
    ASSERT_EQ(errors->count(), 1);
    EXPECT_EQ(error(), "download broke");
    EXPECT_FALSE(s->GetBrowserController().isStarted());
}

// A whole first pass (checks, offer, failed download), then Retry: the chain
// runs again from the profile, and the second pass's exposed addresses
// replace the first's.
TEST_F(UpdateFailureTest, RetryRunsTheChainAgain)
{
    QJsonObject first = profileRoute(profileXml().replace("7270.0.0.1", "7300.0.0.0"));
    first.insert("times", 1);
    ASSERT_TRUE(server.setRoutes(QJsonArray{first, profileRoute(), quietRoute("/l.deb", 404)}));
    trustServer();
    auto s = make(Session::NetworkAccess);
    ModalDialogAnswerer answerer(QStringList{"OK", "Retry"});
    s->Start();
    ASSERT_TRUE(waitFor([&] { return s->GetBrowserController().isStarted() || !errors->isEmpty(); }));
    EXPECT_TRUE(errors->isEmpty());
    EXPECT_EQ(answerer.count(), 2);
    EXPECT_EQ(requestsTo("/l.deb").size(), 1);
    EXPECT_EQ(requestsTo("/pre/config.php").size(), 2);
    EXPECT_EQ(ShellTestSeam::ipv4Addresses(s->GetBrowserController()), std::vector<QString>{"203.0.113.5"});
}

TEST_F(UpdateFailureTest, IgnoredFailureGoesOnWithoutAQuestion)
{
    auto s = ready();
    ModalDialogAnswerer answerer("No");
    s->AutoUpdateFail("not listed", true);
    EXPECT_EQ(answerer.count(), 0);
    EXPECT_TRUE(s->GetBrowserController().isStarted());
    EXPECT_EQ(log.withMessage("Auto update of application failed: not listed. Ignoring").size(), 1);
}

TEST_F(SessionRunTest, NothingRunsAfterTheSessionHasEnded)
{
    ModalDialogAnswerer answerer("btnDoNotAllow");
    auto s = make(Session::NetworkAccess);
    s->Start();
    ASSERT_EQ(errors->count(), 1);
    s->AutoUpdateSuccess();
    s->ProfileDownloadFailed("late");
    s->RequestFinished(qt::Err::NetworkError, "late");
    EXPECT_EQ(errors->count(), 1);
    EXPECT_FALSE(s->GetBrowserController().isStarted());
}

// A session does nothing until it is started: no question, no request, no
// end reported, no window.
TEST_F(SessionRunTest, BothTypesStartIdle)
{
    // The server is not trusted, so that a start would ask at once.
    ModalDialogAnswerer answerer("reject");
    for (const int type : {int(Session::EndpointInspection), int(Session::NetworkAccess)}) {
        auto s = make(type);
        QCoreApplication::processEvents();
        EXPECT_EQ(answerer.count(), 0) << type;
        EXPECT_TRUE(server.requests().isEmpty()) << type;
        EXPECT_TRUE(errors->isEmpty()) << type;
        EXPECT_TRUE(finished->isEmpty()) << type;
        EXPECT_FALSE(s->GetBrowserController().isStarted()) << type;
    }
}

} // namespace
