// The session manager against the stand-in server: scheme dispatch, the
// one-time code, the start report, attach or refusal, the inspection limits,
// the end of sessions and the quit when none is left.

#include "session_support.h"

#include "dialogs/DialogsTestSeam.h"
#include "dialogs/QuitRequest.h"
#include "session/Session.h"
#include "session/SessionManager.h"
#include "session/SessionTestSeam.h"
#include "shell/MainWindow.h"
#include "shell/ShellTestSeam.h"

#include "foundation/UException.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QWebEngineScriptCollection>

#include <functional>
#include <pthread.h>
#include <stdexcept>
#include <thread>
#include <utility>

using namespace tessal;
using namespace tessal::test;
using qt::SessionManager;

namespace {

// Runs an event loop for at most ms; its result is the exit code, or 7 when
// nothing ended it.
int runLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&loop] { loop.exit(7); });
    return loop.exec();
}

class SessionManagerTest : public SessionTestBase
{
protected:
    void SetUp() override
    {
        SessionTestBase::SetUp();
        ASSERT_TRUE(server.setRoutes(QJsonArray{profileRoute(), quietRoute("/my.report.na")}));
    }

    QUrl naUrl(const QString& sid, const QString& extra = QString(), const QString& resource = "res1") const
    {
        return QUrl(QStringLiteral("tessal-vpn://launch?server=127.0.0.1&port=%1&protocol=http&sid=%2"
                                   "&resourcename=%3&resourcetype=network_access&token=tok99%4")
                        .arg(server.port())
                        .arg(sid, resource, extra));
    }

    std::unique_ptr<SessionManager> manager = std::make_unique<SessionManager>();
};

TEST_F(SessionManagerTest, UnknownSchemeIsRefusedAndTheQuitIsPosted)
{
    const QString secret = "SECRETSECRETSECRETSECRET12345678";
    EXPECT_FALSE(manager->CreateAndLaunchSession(QUrl("tessal-ftp://x?server=h&sid=" + secret)));
    EXPECT_EQ(
        log.withMessage("Unsupported external protocol handler request tessal-ftp://x?server=h&sid=12345678").size(), 1)
        << log.text();
    for (const QString& line : log.qLines())
        EXPECT_FALSE(line.contains("SECRETSECRET"));
    EXPECT_EQ(manager->SessionCount(), 0);
    // The quit was asked for before any loop ran; the loop ends as it starts,
    // and only then is the quit written down.
    EXPECT_EQ(log.withMessage("No live sessions, quitting application....").size(), 0);
    EXPECT_EQ(runLoop(3000), 0);
    EXPECT_EQ(log.withMessage("No live sessions, quitting application....").size(), 1);
}

TEST_F(SessionManagerTest, UnparsableLaunchIsRefused)
{
    EXPECT_FALSE(manager->CreateAndLaunchSession(QUrl("tessal-vpn://x?server=127.0.0.1&port=1&protocol=http")));
    EXPECT_EQ(log.withMessage("Failed to parse URL").size(), 1);
    EXPECT_TRUE(requestsTo("/my.report.na").isEmpty());
}

TEST_F(SessionManagerTest, NetworkAccessStartsThenAttachesOrRefuses)
{
    trustServer();
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    ASSERT_EQ(manager->SessionCount(), 1);
    EXPECT_EQ(log.withMessage("----Session 23456789 starts----").size(), 1);
    EXPECT_TRUE(log.withMessage("----Session 23456789 starts----").value(0).startsWith("48, SessionManager, "));
    auto session = manager->NetworkAccessSession();
    ASSERT_TRUE(waitFor([&] { return session->GetBrowserController().isStarted(); }));

    const auto reports = requestsTo("/my.report.na");
    ASSERT_EQ(reports.size(), 1);
    const QString cookie = reports[0]["headers"].toObject()["Cookie"].toString();
    EXPECT_TRUE(cookie.contains("NAToken=tok99")) << cookie.toStdString();
    EXPECT_TRUE(cookie.contains(QStringLiteral("MRHSession=") + kSessionId)) << cookie.toStdString();

    // The same id in other letters attaches (the window takes resources only
    // once its page is up, so this one is turned down by the window).
    EXPECT_FALSE(manager->CreateAndLaunchSession(naUrl(QString(kSessionId).toLower(), QString(), "res2")));
    EXPECT_EQ(
        log.withMessage("VPN session already exists: 23456789, Trying to attach resource res2 (network_access)...")
            .size(),
        1);
    EXPECT_EQ(log.withMessage("Another VPN session 23456789 already attached, rejecting session 23456789").size(), 0);
    EXPECT_EQ(requestsTo("/my.report.na").size(), 2);
    EXPECT_EQ(manager->SessionCount(), 1);

    // Another id is refused.
    EXPECT_FALSE(manager->CreateAndLaunchSession(naUrl(kOtherSessionId)));
    EXPECT_EQ(log.withMessage("Another VPN session 23456789 already attached, rejecting session ZZZZZZZZ").size(), 1);
    EXPECT_EQ(requestsTo("/my.report.na").size(), 3);
    EXPECT_EQ(manager->NetworkAccessSession(), session);

    // The window closes: the session ends and the process quits.
    emit session->GetBrowserController().realCloseMainWindow();
    EXPECT_EQ(runLoop(5000), 0);
    EXPECT_EQ(manager->SessionCount(), 0);
    EXPECT_EQ(log.withMessage("----Session 23456789 ends----").size(), 1);
    // Ids and tokens reach the log only in short form.
    for (const QString& line : log.qLines()) {
        EXPECT_FALSE(line.contains(kSessionId, Qt::CaseInsensitive)) << line.toStdString();
        EXPECT_FALSE(line.contains(kOtherSessionId)) << line.toStdString();
    }
}

// The engine, and the page's renderer, start while the start report is on
// its way, the page bridge goes on while the profile is; the window shows,
// and its page is asked for, only once the session's checks have passed.
TEST_F(SessionManagerTest, TheWindowIsMadeWhileTheStartReportIsOnItsWay)
{
    trustServer();
    QJsonObject profile = profileRoute();
    profile["delay_ms"] = 1500;
    ASSERT_TRUE(server.setRoutes(
        QJsonArray{profile, QJsonObject{{"path", "/my.report.na"}, {"delay_ms", 1500}, {"body", ""}}}));
    QPointer<QWidget> made;
    bool shown = true;
    QTimer::singleShot(300, manager.get(), [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<qt::MainWindow*>(widget) != nullptr) {
                made = widget;
                shown = widget->isVisible();
            }
    });
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    ASSERT_TRUE(made);
    EXPECT_FALSE(shown);
    EXPECT_TRUE(requestsTo("/vdesk/resource_template").isEmpty());
    const auto session = manager->NetworkAccessSession();
    QWebEnginePage* page = static_cast<qt::MainWindow*>(made.data())->webView()->page();
    ASSERT_TRUE(waitFor([&] { return page->renderProcessPid() != 0; }));
    EXPECT_FALSE(page->scripts().find("qwebchannel.js").isEmpty());
    EXPECT_FALSE(session->GetBrowserController().isStarted());
    ASSERT_TRUE(waitFor([&] { return session->GetBrowserController().isStarted(); }));
    EXPECT_EQ(qt::ShellTestSeam::mainWindow(session->GetBrowserController()), made.data());
    EXPECT_TRUE(made->isVisible());
}

TEST_F(SessionManagerTest, AttachNeedsTheSiteTrustedForTheSession)
{
    ModalDialogAnswerer answerer("btnAllowForSession");
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    auto session = manager->NetworkAccessSession();
    ASSERT_TRUE(session);
    const qt::AttachResourceResult trusted = session->AttachResource("res2", "network_access");
    EXPECT_EQ(trusted.code, 113);
    EXPECT_FALSE(trusted.notifyUser);
    EXPECT_TRUE(trusted.message.startsWith("Failed to open resource 'res2': "));
}

// Whatever leaves the window's open of an attached resource, the attach is a
// failure the user hears of; a thread's cancellation is recorded and goes on.
TEST_F(SessionManagerTest, AttachGuardTurnsEveryThrowIntoAFailure)
{
    trustServer();
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    auto session = manager->NetworkAccessSession();
    ASSERT_TRUE(session);
    struct Row {
        const char* name;
        std::function<int()> open;
        int code;
    };
    const Row rows[] = {
        {"UException 0", []() -> int { throw UException(0, "no code"); }, -1},
        {"break", []() -> int { throw UBreakException(); }, -1},
        {"UException -5", []() -> int { throw UException(-5, "five"); }, -5},
        {"std::exception", []() -> int { throw std::runtime_error("broke"); }, -1},
        {"unknown", []() -> int { throw 7; }, -1},
    };
    for (const Row& row : rows) {
        qt::SessionTestSeam::setAttachCall([&](const QString&, const QString&) { return row.open(); });
        const qt::AttachResourceResult result = session->AttachResource("res2", "network_access");
        EXPECT_EQ(result.code, row.code) << row.name;
        EXPECT_TRUE(result.notifyUser) << row.name;
        EXPECT_TRUE(result.message.startsWith("Failed to open resource 'res2': ")) << row.name;
    }
    EXPECT_TRUE(log.withMessage("Failed to attach resource, broke").value(0).startsWith("1, /Session, ")) << log.text();
    {
        qt::SessionTestSeam::setAttachCall([](const QString&, const QString&) -> int { pthread_exit(nullptr); });
        bool returned = false;
        std::thread([&] {
            session->AttachResource("res2", "network_access");
            returned = true;
        }).join();
        EXPECT_FALSE(returned);
        EXPECT_EQ(log.withMessage("EXCEPTION caught (forced stack unwind), Failed to attach resource").size(), 1)
            << log.text();
    }
    qt::SessionTestSeam::setAttachCall(nullptr);
}

TEST_F(SessionManagerTest, OneTimeCodeReplacesTheSessionId)
{
    trustServer();
    QJsonArray routes{profileRoute(), quietRoute("/my.report.na"),
                      QJsonObject{{"path", "/vdesk/get_sessid_for_token.php3"},
                                  {"headers", QJsonObject{{"X-ACCESS-Session-ID", kOtherSessionId}}},
                                  {"body", ""}}};
    ASSERT_TRUE(server.setRoutes(routes));
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId, "&otc=code12345")));
    ASSERT_TRUE(manager->NetworkAccessSession());
    EXPECT_EQ(manager->NetworkAccessSession()->GetSessionId(), kOtherSessionId);
    EXPECT_EQ(log.withMessage("otc is non empty, code12345").size(), 0);
    EXPECT_EQ(log.withMessage("otc is non empty, ode12345").size(), 1);
    EXPECT_EQ(log.withMessage("exchanged session id is, ZZZZZZZZ").size(), 1);
    for (const QString& line : log.qLines()) {
        EXPECT_FALSE(line.contains("code12345")) << line.toStdString();
        EXPECT_FALSE(line.contains(kOtherSessionId)) << line.toStdString();
    }
    const auto reports = requestsTo("/my.report.na");
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0]["headers"].toObject()["Cookie"].toString().contains(QStringLiteral("MRHSession=") +
                                                                               kOtherSessionId));
}

TEST_F(SessionManagerTest, FailedCodeExchangeRefusesTheLaunch)
{
    ASSERT_TRUE(server.setRoutes(QJsonArray{quietRoute("/vdesk/get_sessid_for_token.php3")}));
    EXPECT_FALSE(manager->CreateAndLaunchSession(naUrl(kSessionId, "&otc=code12345")));
    EXPECT_EQ(log.withMessage("Failed to exchange one time code with session ID, 0").size(), 1);
    EXPECT_TRUE(requestsTo("/my.report.na").isEmpty());
    EXPECT_EQ(manager->SessionCount(), 0);
}

TEST_F(SessionManagerTest, NoQuitWhileALaunchWaitsInANestedLoop)
{
    trustServer();
    QJsonArray routes{profileRoute(), quietRoute("/my.report.na"),
                      QJsonObject{{"path", "/vdesk/get_sessid_for_token.php3"},
                                  {"delay_ms", 600},
                                  {"headers", QJsonObject{{"X-ACCESS-Session-ID", kSessionId}}},
                                  {"body", ""}}};
    ASSERT_TRUE(server.setRoutes(routes));
    // A refused launch arrives while the first one waits for its code.
    QTimer::singleShot(100, manager.get(), [this] { manager->CreateAndLaunchSession(QUrl("other://x")); });
    ASSERT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId, "&otc=code12345")));
    EXPECT_EQ(manager->SessionCount(), 1);
    EXPECT_EQ(log.withMessage("Unsupported external protocol handler request other://x").size(), 1);
    EXPECT_EQ(runLoop(500), 7);
    EXPECT_EQ(log.withMessage("No live sessions, quitting application....").size(), 0);
}

// A quit asked for holds: a launch that comes after it, or that waits for
// the server while it comes, starts nothing further and shows nothing.
TEST_F(SessionManagerTest, QuitStopsTheLaunchAtItsNextStep)
{
    trustServer();
    const struct {
        const char* stage;
        const char* silentPath;
    } rows[] = {
        {"before the launch", nullptr},
        {"during the code exchange", "/vdesk/get_sessid_for_token.php3"},
        {"during the start report", "/my.report.na"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stage);
        QJsonArray routes;
        if (row.silentPath)
            routes.append(QJsonObject{{"path", row.silentPath}, {"silence", true}});
        routes.append(profileRoute());
        routes.append(quietRoute("/my.report.na"));
        routes.append(QJsonObject{{"path", "/vdesk/get_sessid_for_token.php3"},
                                  {"headers", QJsonObject{{"X-ACCESS-Session-ID", kSessionId}}},
                                  {"body", ""}});
        ASSERT_TRUE(server.setRoutes(routes));
        server.clearLog();
        log.clear();
        if (!row.silentPath)
            qt::QuitRequest::instance().request();
        else
            QTimer::singleShot(300, [] { qt::QuitRequest::instance().request(); });
        EXPECT_FALSE(manager->CreateAndLaunchSession(naUrl(kSessionId, "&otc=code12345")));
        EXPECT_EQ(manager->SessionCount(), 0);
        EXPECT_TRUE(requestsTo("/pre/config.php").isEmpty());
        EXPECT_EQ(requestsTo("/my.report.na").size(), QString(row.stage).endsWith("report") ? 1 : 0);
        EXPECT_EQ(log.withMessage("Failed to exchange one time code with session ID, 0").size(), 0);
        qt::DialogsTestSeam::forgetQuitRequest();
    }
}

TEST_F(SessionManagerTest, SessionRefusedInsideStartIsReleasedSafely)
{
    ModalDialogAnswerer answerer("btnDoNotAllow");
    EXPECT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    EXPECT_EQ(manager->SessionCount(), 0);
    EXPECT_EQ(log.withMessage("----Session 23456789 ends----. Error occurred: Site not trusted").size(), 1);
    EXPECT_EQ(runLoop(3000), 0);
    // A new launch works afterwards.
    trustServer();
    EXPECT_TRUE(manager->CreateAndLaunchSession(naUrl(kSessionId)));
    EXPECT_EQ(manager->SessionCount(), 1);
}

// A log that runs action once, right after keeping the next record.
struct HookLog : RecordingLog {
    std::function<void()> action;
    int writeLine(const char* text) override
    {
        const int n = RecordingLog::writeLine(text);
        if (action)
            std::exchange(action, nullptr)();
        return n;
    }
};

TEST_F(SessionManagerTest, ExceptionsDuringLaunch)
{
    trustServer();
    { // Thread cancellation is recorded and passed on by the launch guard.
        HookLog hook;
        hook.action = [] { pthread_exit(nullptr); };
        bool returned = false;
        std::thread([&] {
            manager->StartNASession(naUrl(kSessionId, "&otc=code12345"));
            returned = true;
        }).join();
        EXPECT_FALSE(returned);
        EXPECT_EQ(hook.withMessage("EXCEPTION caught (forced stack unwind), Session launch").size(), 1) << hook.text();
    }
    { // A launch that throws does not hold back the quit for ever.
        HookLog hook;
        hook.action = [] { throw std::runtime_error("log failed"); };
        EXPECT_THROW(manager->CreateAndLaunchSession(QUrl("other://x")), std::runtime_error);
    }
    EXPECT_FALSE(manager->CreateAndLaunchSession(QUrl("other://y")));
    EXPECT_EQ(runLoop(3000), 0);
}

TEST_F(SessionManagerTest, PlainHttpInspectionNeedsTheMachineFlag)
{
    ModalDialogAnswerer answerer("OK");
    const QUrl url(QStringLiteral("tessal-epi://x?server=127.0.0.1&port=%1&protocol=HTTP&sid=%2&applaunch=true")
                       .arg(server.port())
                       .arg(kSessionId));
    EXPECT_FALSE(manager->CreateAndLaunchSession(url));
    ASSERT_EQ(answerer.count(), 1);
    EXPECT_EQ(answerer.last().text, "Communication over HTTP is not allowed, please use HTTPS");
    EXPECT_EQ(manager->SessionCount(), 0);
}

// A server whose certificate the user refuses during the start report gets
// no session, and no attach either.
TEST(StartReportCertificateTest, RefusedCertificateRefusesTheLaunch)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
    sl::TrustedSiteList::Instance(home.path().toUtf8().constData(), "trusted_sites.xml");
    TestCertificates certs;
    ASSERT_TRUE(certs.make()) << certs.error().toStdString();
    AccessServer server;
    ASSERT_TRUE(server.start({AccessServer::Listener("self", "https", certs.selfCert, certs.selfKey)}));
    ASSERT_TRUE(server.setRoutes(QJsonArray{quietRoute("/my.report.na")}));
    RecordingLog log;
    SessionManager manager;
    ModalDialogAnswerer answerer("No");
    const QUrl url(QStringLiteral("tessal-vpn://launch?server=127.0.0.1&port=%1&protocol=https&sid=%2"
                                  "&resourcename=res1&resourcetype=network_access")
                       .arg(server.port("self"))
                       .arg(kSessionId));
    EXPECT_FALSE(manager.CreateAndLaunchSession(url));
    EXPECT_EQ(answerer.count(), 1);
    EXPECT_EQ(manager.SessionCount(), 0);
    EXPECT_EQ(log.withMessage("----Session 23456789 starts----").size(), 0);
}

// Inspection sessions run over https against many listeners of the stand-in,
// each holding its session in a profile download that never answers.
class InspectionLimitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
        sl::TrustedSiteList::Instance(home.path().toUtf8().constData(), "trusted_sites.xml");
        ASSERT_TRUE(certs.make()) << certs.error().toStdString();
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.addCaCertificates(certs.caCert);
        QSslConfiguration::setDefaultConfiguration(conf);
        QList<AccessServer::Listener> listeners;
        for (int i = 0; i < 22; ++i)
            listeners << AccessServer::Listener(QStringLiteral("l%1").arg(i), "https", certs.serverCert,
                                                certs.serverKey);
        ASSERT_TRUE(server.start(listeners)) << server.error().toStdString();
        ASSERT_TRUE(server.setRoutes(QJsonArray{QJsonObject{{"path", "/pre/config.php"}, {"silence", true}}}));
        for (int i = 0; i < 22; ++i)
            sl::TrustedSiteList::Instance(nullptr, "trusted_sites.xml")->AddPermanent(site(i).toStdString());
    }

    QString site(int i) const
    {
        return QStringLiteral("https://127.0.0.1:%1").arg(server.port(QStringLiteral("l%1").arg(i)));
    }

    QUrl epiUrl(int listener, const QString& sid) const
    {
        return QUrl(QStringLiteral("tessal-epi://x?server=127.0.0.1&port=%1&protocol=https&sid=%2")
                        .arg(server.port(QStringLiteral("l%1").arg(listener)))
                        .arg(sid));
    }

    static QString sid(int i) { return QStringLiteral("A%1").arg(i, 31, 10, QLatin1Char('0')); }

    QTemporaryDir home;
    TestCertificates certs;
    AccessServer server;
    RecordingLog log;
    SessionManager manager;
};

TEST_F(InspectionLimitTest, TwentySessionsAtMost)
{
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(i, sid(i)))) << i;
    EXPECT_EQ(manager.SessionCount(), 20);
    // Refused before its URL is even read.
    EXPECT_FALSE(manager.CreateAndLaunchSession(QUrl("tessal-epi://not-a-launch")));
    EXPECT_EQ(log.withMessage("Max session limit reached; not creating new sessions. Max:, 20").size(), 1);
    EXPECT_EQ(log.withMessage("Failed to parse URL").size(), 0);

    // One ends; the next launch is taken again.
    auto first = manager.InspectionSessions().front();
    emit first->Error("gone");
    EXPECT_EQ(manager.SessionCount(), 19);
    EXPECT_TRUE(manager.CreateAndLaunchSession(epiUrl(20, sid(20))));
    EXPECT_EQ(manager.SessionCount(), 20);
}

TEST_F(InspectionLimitTest, SameIdOrSameServerIsRefused)
{
    ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(0, sid(0))));
    EXPECT_FALSE(manager.CreateAndLaunchSession(epiUrl(1, sid(0))));
    EXPECT_EQ(log.withMessage("EPI session already exists:, " + sid(0).right(8)).size(), 1);
    EXPECT_FALSE(manager.CreateAndLaunchSession(epiUrl(0, sid(1))));
    EXPECT_EQ(log.withMessage("Only one session with same server is allowed:, 127.0.0.1").size(), 1);
    // The same server on another port is another server.
    EXPECT_TRUE(manager.CreateAndLaunchSession(epiUrl(1, sid(1))));
    EXPECT_EQ(manager.SessionCount(), 2);
}

// A session that ends inside a dialog's nested loop is released only after it.
TEST_F(InspectionLimitTest, AnEndedSessionOutlivesTheDialogItEndedIn)
{
    ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(0, sid(0))));
    ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(1, sid(1))));
    QPointer<qt::Session> ending = manager.InspectionSessions().front().get();
    bool aliveInside = false;
    std::unique_ptr<ModalDialogAnswerer> answerer;
    QTimer::singleShot(50, [&] { emit ending->Error("gone"); });
    QTimer::singleShot(400, [&] {
        aliveInside = !ending.isNull();
        answerer = std::make_unique<ModalDialogAnswerer>("OK");
    });
    QMessageBox(QMessageBox::Information, "Tessal VPN", "open", QMessageBox::Ok).exec();
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(waitFor([&] { return ending.isNull(); }, 3000));
}

// A session that ends inside a plain nested loop (no dialog, no launch under
// way) started from a running loop is released only once that loop is left.
TEST_F(InspectionLimitTest, AnEndedSessionOutlivesTheNestedLoopItEndedIn)
{
    ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(0, sid(0))));
    ASSERT_TRUE(manager.CreateAndLaunchSession(epiUrl(1, sid(1))));
    QPointer<qt::Session> ending = manager.InspectionSessions().front().get();
    bool aliveInside = false;
    bool nestedLeft = false;
    QEventLoop outer;
    QTimer::singleShot(0, &outer, [&] {
        QEventLoop nested;
        QTimer::singleShot(0, &nested, [&] { emit ending->Error("gone"); });
        // Long enough for the release's own retries to have run many times.
        QTimer::singleShot(500, &nested, [&] {
            aliveInside = !ending.isNull();
            nested.quit();
        });
        nested.exec();
        nestedLeft = true;
    });
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &outer, [&] {
        if (nestedLeft && ending.isNull())
            outer.quit();
    });
    check.start(10);
    QTimer::singleShot(20000, &outer, &QEventLoop::quit); // safety net only
    outer.exec();
    EXPECT_TRUE(aliveInside);
    EXPECT_TRUE(ending.isNull());
    EXPECT_EQ(manager.SessionCount(), 1);
}

} // namespace
