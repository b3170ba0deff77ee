// The browser controller's application launch, log view, connection details,
// log level and power notes. No program is started: the launcher is replaced.

#include "shell/BrowserController.h"
#include "shell/BrowserControllerApps.h"

#include "foundation/UClasses.h"
#include "tunnel/ResourceType.h"
#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using tessal::AppLaunchConfig;
using tessal::AppLaunchRequest;
using tessal::qt::BrowserController;
using tessal::test::ModalDialogAnswerer;
using tessal::test::RecordingLog;

namespace {

// Records the commands instead of running them.
struct RecordingLauncher {
    RecordingLauncher()
    {
        tessal::qt::replaceAppLauncher([this](const std::string& command) {
            commands.push_back(command);
            return static_cast<pid_t>(4242);
        });
    }
    ~RecordingLauncher() { tessal::qt::replaceAppLauncher(nullptr); }
    std::vector<std::string> commands;
};

// What the active box looks like while it is shown.
struct BoxLook {
    BoxLook()
    {
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                format = box->textFormat();
                defaultButton = box->defaultButton() != nullptr ? box->standardButton(box->defaultButton()) : 0;
                icon = box->icon();
            }
        });
        timer.start();
    }
    QTimer timer;
    Qt::TextFormat format = Qt::AutoText;
    int defaultButton = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

const std::vector<AppLaunchRequest> kApps = {
    {"/usr/bin/app", "--host <b>127.0.0.1</b> %2"},
    {"\"/opt/My App/run\"", ""},
};

TEST(AppLaunchTest, AskMatrix)
{
    struct Case {
        bool trusted;
        bool showWarning;
        const char* answer;
        bool asked;
        bool launched;
    };
    const Case cases[] = {
        {true, false, "OK", false, true},      // trusted, no warning: no question
        {true, true, "OK", true, true},        // the warning flag still asks
        {true, true, "Cancel", true, false},
        {false, false, "OK", true, true},      // an untrusted site always asks
        {false, false, "Cancel", true, false},
        {false, true, "OK", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.trusted) + std::to_string(c.showWarning) + c.answer);
        RecordingLauncher launcher;
        ModalDialogAnswerer answerer(c.answer);
        BoxLook look;
        RecordingLog log;
        AppLaunchConfig config{kApps, c.showWarning};
        EXPECT_EQ(c.launched, tessal::qt::launchWithConsent(config, c.trusted, "Intro:"));
        ASSERT_EQ(c.asked ? 1 : 0, answerer.count());
        if (c.asked) {
            // Everything that will run, whole and as plain text.
            EXPECT_EQ(QString::fromUtf8("Intro:\n\u2022 /usr/bin/app --host <b>127.0.0.1</b> %2\n"
                                        "\u2022 \"/opt/My App/run\" \n"),
                      answerer.last().text);
            EXPECT_EQ(Qt::PlainText, look.format);
            EXPECT_EQ(QMessageBox::Cancel, look.defaultButton);
            EXPECT_EQ(QMessageBox::Warning, look.icon);
            EXPECT_EQ((QStringList{"OK", "Cancel"}), answerer.last().buttons);
        }
        if (!c.launched) {
            EXPECT_TRUE(launcher.commands.empty());
            continue;
        }
        EXPECT_EQ((std::vector<std::string>{"/usr/bin/app --host <b>127.0.0.1</b> %2", "\"/opt/My App/run\" "}),
                  launcher.commands);
        EXPECT_EQ(1, log.withMessage("Launched '/usr/bin/app', args: --host <b>127.0.0.1</b> %2, pid=4242").size());
        EXPECT_EQ(1, log.withMessage("Looks like app \"/usr/bin/app\" doesn't exist, please check resource "
                                     "configuration").size());
    }
    // Nothing to launch: no question.
    ModalDialogAnswerer answerer("OK");
    EXPECT_FALSE(tessal::qt::launchWithConsent(AppLaunchConfig{}, false, "Intro:"));
    EXPECT_EQ(0, answerer.count());
}

TEST(AppLaunchTest, QuestionTexts)
{
    const QString site = "https://vpn.example";
    EXPECT_EQ("Resource 'na' is already running, do you want to relaunch associated local application(s):",
              BrowserController::launchQuestionText(site, "na", true, false));
    EXPECT_EQ("Website 'https://vpn.example' is attempting to run a local application(s):",
              BrowserController::launchQuestionText(site, "na", false, true));
    EXPECT_EQ("Website 'https://vpn.example' which is not in your Trusted Sites List is attempting to run a local "
              "application(s):",
              BrowserController::launchQuestionText(site, "na", false, false));
}

TEST(AppLaunchTest, ProgramLookupRunsNothing)
{
    const std::string dir = QDir::tempPath().toStdString() + "/tessal-lookup-" + std::to_string(::getpid());
    ::mkdir(dir.c_str(), 0700);
    const std::string marker = dir + "/marker";
    const std::string plain = dir + "/plain";
    QFile(QString::fromStdString(plain)).open(QIODevice::WriteOnly);
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", ("/nonexistent::" + dir + ":/bin:/usr/bin").c_str(), 1);

    struct Case {
        std::string path;
        bool found;
    };
    const Case cases[] = {
        {"/bin/sh", true},
        {"sh", true},
        {"\"/bin/sh\"", true},
        {"/bin", false},
        {plain, false},
        {"plain", false},
        {"no-such-program-here", false},
        {"", false},
        {"sh; touch " + marker, false},
        {"$(touch " + marker + ")", false},
        {"`touch " + marker + "`", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.found, BrowserController::appExistsInPath(AppLaunchRequest{c.path, "-x"}));
    }
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_NE(0, ::access(marker.c_str(), F_OK));
    // Nothing left behind in the folder either.
    EXPECT_EQ(QStringList{"plain"}, QDir(QString::fromStdString(dir)).entryList(QDir::Files | QDir::NoDotAndDotDot));
    QDir(QString::fromStdString(dir)).removeRecursively();
}

// A file handler that records what the desktop was asked to open.
class OpenRecorder : public QObject
{
    Q_OBJECT
public:
    OpenRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
    ~OpenRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// A home folder of the test's own: tests run in parallel and share HOME.
struct OwnHome {
    OwnHome() : saved(qgetenv("HOME")) { qputenv("HOME", dir.path().toUtf8()); }
    ~OwnHome() { qputenv("HOME", saved); }
    QTemporaryDir dir;
    QByteArray saved;
};

QString logPath()
{
    return QDir::homePath() + "/.TessalNetworks/vpn.log";
}

void makeLog()
{
    QDir().mkpath(QDir::homePath() + "/.TessalNetworks");
    QFile::remove(logPath());
    QFile file(logPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(AppLaunchTest, ShowLogAsksAtTheHundredthRequest)
{
    OwnHome home;
    makeLog();
    OpenRecorder recorder;
    RecordingLog log;
    BrowserController controller;
    ModalDialogAnswerer answerer(QStringList{"Cancel", "OK"});
    for (int i = 1; i <= 99; ++i)
        controller.showLogFileReq();
    EXPECT_EQ(0, answerer.count());
    EXPECT_EQ(99, recorder.opened.size());
    EXPECT_EQ(QUrl::fromLocalFile(logPath()), recorder.opened.last());

    controller.showLogFileReq();  // the 100th: Cancel opens nothing
    EXPECT_EQ(1, answerer.count());
    EXPECT_EQ("\"Show log file\" link was clicked too many times. Do you want to continue?", answerer.last().text);
    EXPECT_EQ(99, recorder.opened.size());
    EXPECT_EQ(1, log.withMessage("User clicked \"show log file\" more than 100 time(s)").size());

    controller.showLogFileReq();  // asks again; Ok opens and starts counting anew
    EXPECT_EQ(2, answerer.count());
    EXPECT_EQ(100, recorder.opened.size());
    for (int i = 1; i <= 99; ++i)
        controller.showLogFileReq();
    EXPECT_EQ(2, answerer.count());
    EXPECT_EQ(199, recorder.opened.size());
}

TEST(AppLaunchTest, OnlyTheUsersOwnRegularLogIsOpened)
{
    OwnHome home;
    struct Case {
        const char* name;
        std::function<void()> prepare;
        bool opened;
    };
    const std::string path = logPath().toStdString();
    const std::string other = (QDir::homePath() + "/elsewhere.log").toStdString();
    const Case cases[] = {
        {"regular", [] { makeLog(); }, true},
        {"missing", [] { QFile::remove(logPath()); }, false},
        {"symbolic link", [&] { QFile::remove(logPath()); QFile(QString::fromStdString(other)).open(QIODevice::WriteOnly);
                                ::symlink(other.c_str(), path.c_str()); }, false},
        {"folder", [&] { QFile::remove(logPath()); ::mkdir(path.c_str(), 0700); }, false},
        {"another user's", [&] { ::rmdir(path.c_str()); makeLog(); if (::chown(path.c_str(), 65534, 65534) != 0) {} },
         ::geteuid() != 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        OpenRecorder recorder;
        RecordingLog log;
        BrowserController controller;
        controller.showLogFileReq();
        EXPECT_EQ(c.opened ? 1 : 0, recorder.opened.size());
        if (!c.opened) {
            EXPECT_EQ(1, log.withMessage("Log file " + logPath() + " is not a regular file of the user, not opening it")
                             .size()) << log.text();
        }
    }
}

TEST(AppLaunchTest, ConnectionDetailsIgnoreCaseAndComeReversed)
{
    UPropertyList properties;
    properties.setValue("tunnelport", "443");
    properties.setValue("TUNNELTRANSPORTPROTO", "DTLS");
    properties.setValue("TunnelTransportSecurityProto", "TLSv1.3");
    properties.setValue("TunnelTransportSecurityHashAlgo", "SHA384");
    properties.setValue("x-vpn-client-ip", "10.0.0.7");
    properties.setValue("Unrelated", "x");
    EXPECT_EQ((QStringList{"443", "DTLS", "TLSv1.3", "", "SHA384", "", "", "10.0.0.7", ""}),
              tessal::qt::connectionDetails(properties));
    EXPECT_EQ(QStringList(9, QString()), tessal::qt::connectionDetails(UPropertyList()));
}

// A tunnel that only answers the launch and detail queries.
class FakeTunnel : public TunnelInterface
{
public:
    int open(const std::string&) override { return 0; }
    int close() override { return 0; }
    bool isOpened() override { return true; }
    int checkStatus() override { return 0; }
    tessal::TunnelStats getTraffic() override { return {}; }
    UPropertyList getProperties() override { return properties; }
    std::vector<tessal::TunnelEndpoint> getResourceDetails() override { return {}; }
    AppLaunchConfig getLaunchConfig() override { return config; }
    void setLogLevel(int level) override { levels.push_back(level); }
    UPropertyList properties;
    AppLaunchConfig config;
    std::vector<int> levels;
};

struct ControllerWithTunnel {
    explicit ControllerWithTunnel(ResourceType::Enum type = ResourceType::app_tunnel)
    {
        controller.getResourceManager().setControllerFactory(
            [this](const tessal::qt::ResourceManager::ControllerSpec&) { return tunnel; });
        tunnel->config = AppLaunchConfig{{{"/usr/bin/app", "-a"}}, false};
        EXPECT_EQ(0, controller.getResourceManager().attachResource("/Common/apps", type, ""));
    }
    BrowserController controller;
    std::shared_ptr<FakeTunnel> tunnel = std::make_shared<FakeTunnel>();
};

TEST(AppLaunchTest, LaunchSlotAsksWithTheResourceName)
{
    ControllerWithTunnel c;
    RecordingLauncher launcher;
    {
        ModalDialogAnswerer answerer("OK");
        c.controller.launchApplicationsMayBeAsk("/Common/apps", true);
        ASSERT_EQ(1, answerer.count());
        EXPECT_TRUE(answerer.last().text.startsWith("Resource 'apps' is already running"));
        EXPECT_EQ(std::vector<std::string>{"/usr/bin/app -a"}, launcher.commands);
    }
    // An unknown resource: recorded, no question, nothing launched.
    RecordingLog log;
    ModalDialogAnswerer answerer("OK");
    c.controller.launchApplicationsMayBeAsk("/Common/none");
    EXPECT_EQ(0, answerer.count());
    EXPECT_EQ(1u, launcher.commands.size());
    EXPECT_TRUE(log.contains("EXCEPTION caught: Failed to retrieve applications to launch for the resource /Common/none"))
        << log.text();
}

TEST(AppLaunchTest, TunnelInfoOnlyForNetworkAccess)
{
    // The main resource type is not network access before start: no answer.
    ControllerWithTunnel c;
    QSignalSpy details(&c.controller.getWebBridge(), SIGNAL(onConnectionDetails(QString, QString, QString, QString,
                                                                                 QString, QString, QString, QString,
                                                                                 QString)));
    c.controller.tunnelInfoReq();
    EXPECT_EQ(0, details.count());
}

TEST(AppLaunchTest, LogLevelsOutsideTheRangeAreRefused)
{
    struct Case {
        int level;
        bool accepted;
    };
    const Case cases[] = {{30, false}, {31, true}, {63, true}, {127, true}, {128, false}, {-1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        ControllerWithTunnel tunnel;
        RecordingLog log(ULOG_LEVEL_EXTENDED);
        tunnel.controller.onToggleLogSettings(c.level);
        EXPECT_EQ(c.accepted ? c.level : ULOG_LEVEL_EXTENDED, log.getLogLevel());
        EXPECT_EQ(c.accepted ? std::vector<int>{c.level} : std::vector<int>{}, tunnel.tunnel->levels);
        EXPECT_EQ(c.accepted ? 0 : 1,
                  log.withMessage(QString("Wrong log level suggested (%1)").arg(c.level)).size());
    }
}

TEST(AppLaunchTest, PowerNotes)
{
    struct Case {
        int note;
        const char* record;
        bool closes;
    };
    const Case cases[] = {
        {1, "Power notifiication, system goes to state 'Awake'", false},
        {7, "Power notifiication, system goes to state 'Unknown'", false},
        {0, "System goes to sleep, tearing down...", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        RecordingLog log;
        BrowserController controller;
        QSignalSpy closed(&controller, SIGNAL(realCloseMainWindow()));
        controller.OnNotification(static_cast<tessal::PowerManagment::Enum>(c.note));
        EXPECT_EQ(1, log.withMessage(c.record).size()) << log.text();
        EXPECT_EQ(c.closes, controller.isClosing());
        EXPECT_EQ(c.closes ? 1 : 0, closed.count());
    }
}

} // namespace

#include "app_launch_test.moc"
