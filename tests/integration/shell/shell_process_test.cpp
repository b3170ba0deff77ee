// tessalvpn as a real process: start-up paths, exit codes and their log
// records, single instance over the session bus, catalogues by locale. Each
// test runs under its own dbus-run-session with the offscreen platform and a
// temporary HOME. The bus interface they hold the program to is
// docs/session-bus.md.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace {

const QString kService = QStringLiteral("com.tessal.tessalvpn");
const QString kPath = QStringLiteral("/com/tessal/tessalvpn");

// The cleanup looks for running browsers: it runs in a pid namespace of its
// own, so that a browser open on the machine does not make it ask. Empty when
// no such namespace can be made here.
QStringList inPrivatePids(const QString& program, const QStringList& args)
{
    QStringList command{"unshare"};
    if (::geteuid() != 0)
        command << "--user"
                << "--map-current-user";
    command << "--pid"
            << "--fork"
            << "--kill-child"
            << "--mount-proc";
    static const bool usable = [&command] {
        return QProcess::execute(command.first(), command.mid(1) + QStringList{"true"}) == 0;
    }();
    if (!usable)
        return {};
    return command << "--" << program << args;
}

#define PRIVATE_PIDS(var, program, ...)                          \
    const QStringList var = inPrivatePids(program, __VA_ARGS__); \
    if (var.isEmpty())                                           \
    GTEST_SKIP() << "no private pid namespace here (unshare refused)"

// Records the launch signals it gets.
class SignalReceiver : public QObject
{
    Q_OBJECT
public:
    QStringList urls;
public slots:
    void CreateSession(const QString& url) { urls << url; }
};

class ShellProcess : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(runtime.isValid());
    }

    QProcessEnvironment environment(const QString& locale) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANG", "LANGUAGE", "LC_MESSAGES", "LC_NUMERIC", "LC_CTYPE"})
            env.remove(name);
        env.insert("HOME", home.path());
        // The per-user lock and channel of runs without a bus: this test's own.
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("LC_ALL", locale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        return env;
    }

    std::unique_ptr<QProcess> start(const QString& program, const QStringList& args,
                                    const QString& locale = QStringLiteral("en_US.UTF-8"),
                                    const QProcessEnvironment* env = nullptr)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env != nullptr ? *env : environment(locale));
        process->start(program, args);
        EXPECT_TRUE(process->waitForStarted(5000));
        return process;
    }

    // Waits for the end; -1 when the process is still running.
    static int finish(QProcess& process, int ms = 8000)
    {
        if (!process.waitForFinished(ms))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    }

    std::unique_ptr<QProcess> startServingInstance()
    {
        auto process = start(TESSALVPN, {});
        QElapsedTimer clock;
        clock.start();
        while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value()) {
            if (clock.elapsed() > 8000) {
                ADD_FAILURE() << "the first instance never claimed the name";
                break;
            }
            QThread::msleep(20);
        }
        return process;
    }

    static QDBusMessage callApplication(const QString& method, const QVariantList& args)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.Application", method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }

    // Writes bytes to path, its folder made first.
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(bytes);
    }

    QString log() const
    {
        QFile file(home.path() + "/.TessalNetworks/vpn.log");
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }

    QTemporaryDir home;
    QTemporaryDir runtime;
};

// The interfaces of an introspection text, the bus's own left out, each on
// one line.
QString ownInterfaces(const QString& xml)
{
    static const QRegularExpression block("<interface name=\"([^\"]+)\">.*?</interface>",
                                          QRegularExpression::DotMatchesEverythingOption);
    QStringList interfaces;
    for (auto it = block.globalMatch(xml); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (!match.captured(1).startsWith("org.freedesktop.DBus."))
            interfaces << match.captured(0).simplified().replace("> <", "><");
    }
    interfaces.sort();
    return interfaces.join('\n');
}

TEST_F(ShellProcess, NoArgumentRunsTenSecondsAndActivateChangesNothing)
{
    auto first = startServingInstance();
    // The object is the one the documentation describes.
    const QDBusMessage introspected = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kService, kPath, "org.freedesktop.DBus.Introspectable", "Introspect"),
        QDBus::Block, 5000);
    QFile documented(BUS_INTERFACE_XML);
    ASSERT_TRUE(documented.open(QIODevice::ReadOnly));
    EXPECT_EQ(ownInterfaces(introspected.arguments().value(0).toString()).toStdString(),
              ownInterfaces(QString::fromUtf8(documented.readAll())).toStdString());
    const QDBusMessage reply = callApplication("Activate", {QVariantMap()});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(finish(*first, 20000), 0);
    const QString text = log();
    EXPECT_TRUE(text.contains("D-Bus Activate() method called")) << text.toStdString();
    EXPECT_TRUE(text.contains("Qutting application because no valid session exist")) << text.toStdString();
    EXPECT_FALSE(text.contains("Unsupported external protocol handler request"));
}

TEST_F(ShellProcess, UnsupportedSchemeExitsWithOneBeforeTheEventLoop)
{
    auto process = start(TESSALVPN, {"foo://bar/x"});
    EXPECT_EQ(finish(*process), 1);
    const QString text = log();
    EXPECT_TRUE(text.contains("Unsupported external protocol handler request foo://bar/x")) << text.toStdString();
    EXPECT_TRUE(text.contains("QT - OpenSSL supported: true"));
    EXPECT_TRUE(text.contains("Tessal - OpenSSL build version: OpenSSL 3"));
    EXPECT_FALSE(text.contains("Qutting application"));
    // The toolkit's TLS backend is asked only once the application object exists.
    const QString err = QString::fromUtf8(process->readAllStandardError());
    EXPECT_FALSE(err.contains("invalid nullptr parameter")) << err.toStdString();
}

// The libraries' initialisers already find the launch URL's query gone.
TEST_F(ShellProcess, LaunchSecretsLeaveArgvBeforeTheLibrariesStart)
{
    QProcessEnvironment env = environment(QStringLiteral("en_US.UTF-8"));
    env.insert("LD_PRELOAD", ARGV_PROBE);
    auto process = start(TESSALVPN, {"tessal-vpn://launch?sid=s3cr3t&token=t0k3n"}, QString(), &env);
    EXPECT_EQ(finish(*process), 0);
    const QByteArray shown = process->readAllStandardOutput();
    EXPECT_TRUE(shown.startsWith(QByteArray(TESSALVPN) + '\0' + "tessal-vpn://launch" + '\0')) << shown.toStdString();
    EXPECT_FALSE(shown.contains("s3cr3t") || shown.contains("t0k3n")) << shown.toStdString();
}

// Without a session bus, or on one that refuses the name to this process (a
// confined one), the launch still runs: the per-user lock is the guard.
TEST_F(ShellProcess, NoSessionBusLaunchesAsTheOnlyInstance)
{
    const QString config = home.path() + "/refusing-bus.conf";
    writeFile(config, "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                      "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                      "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                      "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                      "<deny own=\"com.tessal.tessalvpn\"/></policy></busconfig>\n");
    const struct {
        QString program;
        QStringList args;
        bool bus;
        const char* record;
    } rows[] = {
        {TESSALVPN, {"foo://bar"}, false, "Cannot connect to session bus"},
        {"dbus-run-session",
         {"--config-file=" + config, "--", TESSALVPN, "foo://bar"},
         true,
         "Service 'com.tessal.tessalvpn' cannot be claimed, using the per-user lock instead"},
    };
    for (const auto& row : rows) {
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        QProcessEnvironment env = environment("en_US.UTF-8");
        if (!row.bus)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-such-bus");
        auto process = start(row.program, row.args, QString(), &env);
        EXPECT_EQ(finish(*process), 1) << row.record;
        const QString text = log();
        EXPECT_TRUE(text.contains(row.record)) << text.toStdString();
        EXPECT_TRUE(text.contains(
            "Single-instance service 'com.tessal.tessalvpn' not available, running as the only instance"));
        EXPECT_TRUE(text.contains("Unsupported external protocol handler request foo://bar"));
    }
}

// A logout, kill or a closed terminal ends the process the way a quit does;
// so does a second signal that comes before the first could be handled.
TEST_F(ShellProcess, TerminationSignalsQuitTheUsualWayAlsoWhenTwoComeAtOnce)
{
    for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}}) {
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        auto process = startServingInstance();
        ASSERT_EQ(::kill(static_cast<pid_t>(process->processId()), signal), 0);
        EXPECT_EQ(finish(*process), 0) << name;
        const QString text = log();
        EXPECT_TRUE(text.contains(QString(name) + " received, closing all resources before quitting"))
            << text.toStdString();
        EXPECT_TRUE(text.contains("No live sessions, quitting application....")) << name;
    }
    // A desktop logout: both arrive before the first can be handled.
    QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
    auto process = startServingInstance();
    const pid_t pid = static_cast<pid_t>(process->processId());
    for (int signal : {SIGSTOP, SIGTERM, SIGHUP, SIGCONT})
        ASSERT_EQ(::kill(pid, signal), 0);
    EXPECT_EQ(finish(*process, 20000), 0);
    EXPECT_TRUE(log().contains("No live sessions, quitting application....")) << log().toStdString();
}

// Owner, group, mode, size and change time of everything under path (path
// itself included), never through a link.
QStringList snapshot(const QString& path)
{
    QStringList entries{path};
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    QStringList states;
    for (const QString& entry : entries) {
        struct stat info {};
        if (::lstat(QFile::encodeName(entry).constData(), &info) != 0)
            continue;
        states << QStringLiteral("%1 %2:%3 %4 %5 %6.%7")
                      .arg(entry)
                      .arg(info.st_uid)
                      .arg(info.st_gid)
                      .arg(info.st_mode, 0, 8)
                      .arg(info.st_size)
                      .arg(info.st_ctim.tv_sec)
                      .arg(info.st_ctim.tv_nsec);
    }
    return states;
}

// Root with HOME at a folder of uid 65534 (sudo keeps HOME; the cleanup for a
// user): whatever the user put in its way, the run ends, nothing of root's is
// left there, the user's list stays theirs, and nothing outside the home
// (another user's folder, /dev/zero) changes.
TEST_F(ShellProcess, RootRunsLeaveTheUsersHomeToTheUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const QString folder = home.path() + "/.TessalNetworks";
    const QString list = folder + "/trusted_sites.xml", settings = folder + "/tessalnetworks.conf";
    const QByteArray expired =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<sites><site>https://kept.example</site></sites><sessions>"
        "<session><site>s</site><sessionid>k</sessionid><created>1000</created></session></sessions>";
    QTemporaryDir outside;
    const QString other = outside.path() + "/other";
    writeFile(other + "/trusted_sites.xml", expired);
    for (const char* name : {"/tessalnetworks.conf", "/vpn.log"})
        writeFile(other + name, "default_log_level=1\n");
    ASSERT_EQ(
        std::system(("chown -R 65533:65533 '" + other + "' && chmod -R go= '" + other + "'").toUtf8().constData()), 0);
    const auto plant = [&](const char* command, const QString& path) {
        QDir().mkpath(folder);
        ASSERT_EQ(std::system(QString(command).arg(path).toUtf8().constData()), 0) << command;
    };
    const auto noLink = [&] { ASSERT_TRUE(QFile::link(other, folder)); };
    enum Left { Log, UsersLog, Folder, Untouched, Nothing };
    const struct {
        const char* name;
        QString argument;
        std::function<void()> make;
        Left left;
    } rows[] = {
        {"no folder, cleanup", "--cleanup", [] {}, Log},
        {"the user's log, cleanup", "--cleanup", [&] { writeFile(folder + "/vpn.log", "the user's own records\n"); },
         UsersLog},
        {"no folder, launch", "foo://x", [] {}, Folder},
        // The list is read by the first session that asks, not by start-up.
        {"expired session, launch", "foo://x", [&] { writeFile(list, expired); }, Untouched},
        {"expired session, cleanup", "--cleanup", [&] { writeFile(list, expired); }, Untouched},
        {"settings a FIFO", "foo://x", [&] { plant("mkfifo '%1'", settings); }, Log},
        {"settings a link to /dev/zero", "--cleanup", [&] { plant("ln -s /dev/zero '%1'", settings); }, Log},
        {"list a FIFO", "foo://x", [&] { plant("mkfifo '%1'", list); }, Log},
        {"list a link to /dev/zero", "foo://x", [&] { plant("ln -s /dev/zero '%1'", list); }, Log},
        {"folder a link to another user's, launch", "foo://x", noLink, Nothing},
        {"folder a link to another user's, cleanup", "--cleanup", noLink, Nothing},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(folder);
        QDir(folder).removeRecursively();
        row.make();
        const QString prefs = home.path() + "/.config/google-chrome/Default/Preferences";
        writeFile(prefs, R"({"excluded_schemes":{"afp":true,"tessal-vpn":false}})");
        ASSERT_EQ(std::system(("chown -hR 65534:65534 '" + home.path() + "'").toUtf8().constData()), 0);
        const QString outsideBefore = (snapshot(other) + snapshot("/dev/zero")).join('\n');
        struct stat listBefore {};
        ::lstat(QFile::encodeName(list).constData(), &listBefore);

        QProcessEnvironment env = environment("en_US.UTF-8");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-such-bus");
        QProcess process;
        process.setProcessEnvironment(env);
        // Only a bound for a run that reads /dev/zero without end.
        process.setChildProcessModifier([] {
            const struct rlimit data {
                2048ull << 20, 2048ull << 20
            };
            ::setrlimit(RLIMIT_DATA, &data);
        });
        PRIVATE_PIDS(command, TESSALVPN, {row.argument});
        if (row.argument == "--cleanup")
            process.start(command.first(), command.mid(1));
        else
            process.start(TESSALVPN, {row.argument});
        ASSERT_TRUE(process.waitForStarted(5000));
        EXPECT_NE(finish(process, 10000), -1) << "the run must end";

        QFile edited(prefs);
        ASSERT_TRUE(edited.open(QIODevice::ReadOnly));
        EXPECT_EQ(edited.readAll().contains("tessal-vpn"), row.argument != "--cleanup");

        QStringList roots;
        for (const QString& entry : snapshot(home.path()))
            if (!entry.contains(" 65534:"))
                roots << entry;
        EXPECT_TRUE(roots.isEmpty()) << roots.join('\n').toStdString();
        EXPECT_EQ((snapshot(other) + snapshot("/dev/zero")).join('\n').toStdString(), outsideBefore.toStdString());

        struct stat info {};
        if (row.left != Nothing && ::lstat(QFile::encodeName(folder + "/vpn.log").constData(), &info) != 0) {
            ADD_FAILURE() << "no log";
        } else if (row.left != Nothing) {
            EXPECT_EQ(info.st_mode & 07777, 0600u);
            EXPECT_TRUE(log().contains(row.argument == "--cleanup" ? "Performing Firefox preferences cleanup"
                                                                   : "Unsupported external protocol handler request"))
                << log().toStdString();
            EXPECT_EQ(log().startsWith("the user's own records\n"), row.left == UsersLog);
        }
        if (row.left == Folder) {
            ASSERT_EQ(::lstat(QFile::encodeName(folder).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0750u);
        }
        if (row.left == Untouched) {
            QFile file(list);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            ASSERT_EQ(::lstat(QFile::encodeName(list).constData(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0644u);
            EXPECT_TRUE(bytes.contains("https://kept.example"));
            EXPECT_TRUE(bytes.contains("<created>1000</created>"));
            EXPECT_EQ(info.st_ino, listBefore.st_ino) << "a run that needs no list neither reads nor saves it";
            EXPECT_EQ(info.st_ctim.tv_nsec, listBefore.st_ctim.tv_nsec);
        }
    }
}

// Root with HOME at a folder of uid 65534, under a display and without one:
// the toolkit and its libraries keep their state in root's own folders (a
// private /root here), so a ~/.cache link and a fontconfig file the user put
// there are neither followed nor parsed, and nothing of root's is left there.
TEST_F(ShellProcess, RootRunsKeepTheToolkitInRootsOwnFolders)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    QTemporaryDir rootOnly;
    const QString cache = rootOnly.path() + "/cache", fonts = rootOnly.path() + "/fonts";
    ASSERT_TRUE(QDir().mkpath(cache) && QDir().mkpath(fonts + "/cache") && QDir().mkpath(fonts + "/dir"));
    ASSERT_TRUE(QFile::copy("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", fonts + "/dir/probe.ttf"));
    const struct {
        const char* name;
        QStringList command;
    } rows[] = {
        {"offscreen", {TESSALVPN, "foo://x"}},
        // The authority file is the test's: xvfb-run's own temporary folder
        // failed its clean-up now and then under load, ending with 5.
        {"xcb", {"xvfb-run", "-a", "-f", rootOnly.path() + "/Xauthority", "-s", "-nolisten tcp", TESSALVPN, "foo://x"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(home.path()).removeRecursively();
        QDir().mkpath(home.path());
        ASSERT_TRUE(QFile::link(cache, home.path() + "/.cache"));
        writeFile(home.path() + "/.config/fontconfig/fonts.conf",
                  ("<?xml version=\"1.0\"?>\n<fontconfig><dir>" + fonts + "/dir</dir><cachedir>" + fonts +
                   "/cache</cachedir></fontconfig>\n")
                      .toUtf8());
        ASSERT_EQ(std::system(("chown -hR 65534:65534 '" + home.path() + "'").toUtf8().constData()), 0);
        const QString before = (snapshot(cache) + snapshot(fonts)).join('\n');

        QProcessEnvironment env = environment("en_US.UTF-8");
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-such-bus");
        for (const char* name : {"XDG_CACHE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            env.remove(name);
        if (QString(row.name) == "xcb")
            env.insert("QT_QPA_PLATFORM", "xcb");
        QProcess process;
        process.setProcessEnvironment(env);
        // Root's own home is a private one for this run, never the machine's.
        process.start("unshare",
                      QStringList{"-m", "sh", "-c", "mount -t tmpfs tmpfs /root && exec \"$@\"", "sh"} + row.command);
        ASSERT_TRUE(process.waitForStarted(5000));
        EXPECT_EQ(finish(process, 30000), 1) << process.readAllStandardError().toStdString();
        EXPECT_TRUE(log().contains("Unsupported external protocol handler request")) << log().toStdString();

        QStringList roots;
        for (const QString& entry : snapshot(home.path()))
            if (!entry.contains(" 65534:"))
                roots << entry;
        EXPECT_TRUE(roots.isEmpty()) << roots.join('\n').toStdString();
        EXPECT_EQ((snapshot(cache) + snapshot(fonts)).join('\n').toStdString(), before.toStdString());
    }
}

TEST_F(ShellProcess, SecondInstanceForwardsItsUrlAndExitsWithZero)
{
    auto first = startServingInstance();
    auto second = start(TESSALVPN, {"foo://forwarded?a=1", "ignored"});
    EXPECT_EQ(finish(*second), 0);
    // The serving instance launches it, refuses it and, holding no session, ends.
    EXPECT_EQ(finish(*first), 0);
    const QString text = log();
    EXPECT_TRUE(
        text.contains("Service 'com.tessal.tessalvpn' already running, dispatching message to running instance"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Unsupported external protocol handler request foo://forwarded?a=1"));
    EXPECT_TRUE(text.contains("No live sessions, quitting application...."));
    EXPECT_FALSE(text.contains("ignored"));
    EXPECT_FALSE(text.contains("Qutting application because no valid session exist"));
}

TEST_F(ShellProcess, CreateSessionFromAnySenderAndPathIsLaunched)
{
    auto first = startServingInstance();
    QDBusMessage signal =
        QDBusMessage::createSignal("/some/other/path", "com.tessal.tessalvpn.interface", "CreateSession");
    signal << QString("foo://from-anywhere");
    ASSERT_TRUE(QDBusConnection::sessionBus().send(signal));
    EXPECT_EQ(finish(*first), 0);
    EXPECT_TRUE(log().contains("Unsupported external protocol handler request foo://from-anywhere"));
}

// A burst of launches handed to an instance that is ending (the first one it
// takes is refused, and with no session left it quits), over the bus and
// over the local channel: each launch is run by somebody, and only once.
TEST_F(ShellProcess, BurstToAnEndingInstanceIsRunOnceEach)
{
    // The first instance ends by itself, or by a termination signal amid the
    // burst; the launches come at once or 10 ms apart, so that each instance
    // that takes one ends while the next launches come in.
    const struct {
        bool bus;
        bool signal;
        int burst;
        int gapMs;
    } rows[] = {{true, false, 40, 0},
                {false, false, 40, 0},
                {true, true, 40, 0},
                {true, false, 100, 10},
                {false, false, 100, 10}};
    for (const auto& [bus, signal, kBurst, gapMs] : rows) {
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        QProcessEnvironment env = environment("en_US.UTF-8");
        if (!bus)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-such-bus");
        std::unique_ptr<QProcess> first;
        if (bus) {
            first = startServingInstance();
        } else {
            first = start(TESSALVPN, {}, QString(), &env);
            QElapsedTimer clock;
            clock.start();
            while (!QFile::exists(runtime.path() + "/tessalvpn.socket") && clock.elapsed() < 8000)
                QThread::msleep(20);
        }
        std::vector<std::unique_ptr<QProcess>> burst;
        for (int i = 0; i < kBurst; ++i) {
            burst.push_back(start(TESSALVPN, {QString("foo://burst/%1").arg(i)}, QString(), &env));
            if (signal && i == kBurst / 2)
                ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
            if (gapMs > 0)
                QThread::msleep(gapMs);
        }
        std::vector<int> codes;
        for (auto& process : burst) {
            codes.push_back(finish(*process, 120000));
            EXPECT_TRUE(codes.back() == 0 || codes.back() == 1) << bus << signal << " exit " << codes.back();
        }
        EXPECT_EQ(finish(*first, 20000), 0) << bus << signal;

        QMap<QString, int> runs;
        const QRegularExpression record("Unsupported external protocol handler request (foo://burst/\\d+)");
        for (auto it = record.globalMatch(log()); it.hasNext();)
            ++runs[it.next().captured(1)];
        for (int i = 0; i < kBurst; ++i)
            EXPECT_EQ(runs.value(QString("foo://burst/%1").arg(i)), 1)
                << (bus ? "bus" : "local channel") << (signal ? ", ended by a signal" : "") << ", " << kBurst
                << " launches: launch " << i << " exited " << codes[static_cast<size_t>(i)];
    }
}

// The session bus ends under a serving instance: a launch that finds no bus
// is handed to that instance through the per-user lock, never run beside it.
TEST_F(ShellProcess, LaunchAfterTheBusEndedGoesToTheServingInstance)
{
    QProcess daemon;
    daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000));
    const QString address = QString::fromLatin1(daemon.readLine().trimmed());
    QDBusConnection bus = QDBusConnection::connectToBus(address, "ending");
    QProcessEnvironment env = environment("en_US.UTF-8");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    auto first = start(TESSALVPN, {}, QString(), &env);
    QElapsedTimer clock;
    clock.start();
    while (!bus.interface()->isServiceRegistered(kService).value() && clock.elapsed() < 8000)
        QThread::msleep(20);
    ASSERT_TRUE(bus.interface()->isServiceRegistered(kService).value());
    QDBusConnection::disconnectFromBus("ending");
    daemon.kill();
    daemon.waitForFinished(5000);

    auto second = start(TESSALVPN, {"foo://after-bus"}, QString(), &env);
    EXPECT_EQ(finish(*second), 0) << log().toStdString();
    EXPECT_EQ(finish(*first), 0);
    EXPECT_EQ(log().count("Unsupported external protocol handler request foo://after-bus"), 1);
    EXPECT_TRUE(log().contains("Launch taken by the running instance"));
}

// An owner of the name that only listens for the signal (an earlier build)
// gets the launch as the signal, and the launcher ends with 0.
TEST_F(ShellProcess, AnOwnerWithoutTheMethodGetsTheSignal)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerService(kService));
    SignalReceiver receiver;
    ASSERT_TRUE(bus.connect(QString(), QString(), "com.tessal.tessalvpn.interface", "CreateSession", &receiver,
                            SLOT(CreateSession(QString))));
    auto launcher = start(TESSALVPN, {"foo://older"});
    QElapsedTimer clock;
    clock.start();
    while (launcher->state() != QProcess::NotRunning && clock.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_EQ(launcher->state(), QProcess::NotRunning);
    EXPECT_EQ(launcher->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launcher->exitCode(), 0) << log().toStdString();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(receiver.urls, QStringList{"foo://older"});
    bus.unregisterService(kService);
}

// A session bus that takes connections and never answers, and an instance
// that has stopped: every launch ends within the bounds of the manual page,
// and none is run twice.
TEST_F(ShellProcess, NoBusOrInstanceThatNeverAnswersHoldsALaunch)
{
    const struct {
        const char* name;
        bool stoppedInstance;
        int launches;
    } rows[] = {{"silent bus", false, 2}, {"stopped instance", true, 80}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        QProcessEnvironment env = environment("en_US.UTF-8");
        // Listens and never accepts: the kernel takes the connections.
        const QByteArray socketPath = QFile::encodeName(home.path() + "/silent-bus");
        const int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.constData());
        ::unlink(socketPath.constData());
        ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(silent, 128), 0);
        env.insert("DBUS_SESSION_BUS_ADDRESS",
                   row.stoppedInstance ? "unix:path=" + home.path() + "/no-such-bus" : "unix:path=" + socketPath);
        std::unique_ptr<QProcess> instance;
        if (row.stoppedInstance) {
            instance = start(TESSALVPN, {}, QString(), &env);
            QElapsedTimer clock;
            clock.start();
            while (!QFile::exists(runtime.path() + "/tessalvpn.socket") && clock.elapsed() < 8000)
                QThread::msleep(20);
            // Never kill(0): that would stop this test's own process group.
            ASSERT_GT(instance->processId(), 0) << "the instance did not start";
            ASSERT_EQ(::kill(static_cast<pid_t>(instance->processId()), SIGSTOP), 0);
        }
        // The bounds of a minute for an answer and two for the lock, divided
        // by 20; one launcher more keeps the real ones and still waits when
        // the others have given up.
        std::unique_ptr<QProcess> patient;
        if (row.stoppedInstance)
            patient = start(TESSALVPN, {QStringLiteral("foo://patient")}, QString(), &env);
        env.insert("TESSAL_TEST_BOUND_DIVISOR", "20");
        std::vector<std::unique_ptr<QProcess>> launchers;
        for (int i = 0; i < row.launches; ++i)
            launchers.push_back(start(TESSALVPN, {QString("foo://held/%1").arg(i)}, QString(), &env));
        // Six seconds for the lock, a little more for the start.
        QElapsedTimer clock;
        clock.start();
        int stillRunning = 0;
        for (auto& launcher : launchers) {
            const int code = finish(*launcher, static_cast<int>(std::max<qint64>(100, 15000 - clock.elapsed())));
            if (code == -1)
                ++stillRunning;
            EXPECT_TRUE(code == 0 || code == 1 || code == -1) << "exit " << code;
            if (row.stoppedInstance) {
                EXPECT_EQ(code, 1) << "the stopped instance took nothing";
            }
        }
        EXPECT_EQ(stillRunning, 0) << "launchers still waiting after " << clock.elapsed() << " ms";
        if (patient) {
            EXPECT_EQ(patient->state(), QProcess::Running) << "the real bound was not kept";
            patient->kill();
            patient->waitForFinished(5000);
        }
        for (auto& launcher : launchers)
            launcher->kill();
        if (instance) {
            ::kill(static_cast<pid_t>(instance->processId()), SIGCONT);
            ::kill(static_cast<pid_t>(instance->processId()), SIGTERM);
            EXPECT_EQ(finish(*instance, 20000), 0);
        }
        ::close(silent);
        QMap<QString, int> runs;
        const QRegularExpression record("Unsupported external protocol handler request (foo://held/\\d+)");
        for (auto it = record.globalMatch(log()); it.hasNext();)
            ++runs[it.next().captured(1)];
        for (int i = 0; i < row.launches; ++i)
            EXPECT_EQ(runs.value(QString("foo://held/%1").arg(i)), row.stoppedInstance ? 0 : 1) << "launch " << i;
        if (!row.stoppedInstance) {
            EXPECT_TRUE(log().contains("Session bus does not answer, using the per-user lock instead"))
                << log().toStdString();
        }
    }
}

TEST_F(ShellProcess, SecondInstanceWithoutArgumentSendsNothing)
{
    auto first = startServingInstance();
    auto second = start(TESSALVPN, {});
    EXPECT_EQ(finish(*second), 0);
    EXPECT_TRUE(log().contains("Application was launched without parameters, exiting"));
    EXPECT_EQ(first->state(), QProcess::Running);
    // End the first one through the bus.
    callApplication("Open", {QStringList{"foo://end"}, QVariantMap()});
    EXPECT_EQ(finish(*first), 0);
    EXPECT_EQ(log().count("Unsupported external protocol handler request"), 1);
}

TEST_F(ShellProcess, OpenLaunchesOnlyTheFirstUri)
{
    auto first = startServingInstance();
    QDBusMessage reply = callApplication("Open", {QStringList(), QVariantMap()});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);
    reply = callApplication("Open", {QStringList{"foo://one", "foo://two"}, QVariantMap{{"k", 1}}});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(finish(*first), 0);
    const QString text = log();
    EXPECT_EQ(text.count("D-Bus Open() method called"), 2) << text.toStdString();
    EXPECT_TRUE(text.contains("No URIs provided"));
    EXPECT_TRUE(text.contains("Unsupported external protocol handler request foo://one"));
    EXPECT_FALSE(text.contains("foo://two"));
}

TEST_F(ShellProcess, CleanupRunsWhereItWasAskedAndIsNeverForwarded)
{
    auto first = startServingInstance();
    PRIVATE_PIDS(cleanup, TESSALVPN, {"--CleanUp"});
    auto second = start(cleanup.first(), cleanup.mid(1));
    EXPECT_NE(finish(*second), -1);
    callApplication("Open", {QStringList{"foo://end"}, QVariantMap()});
    EXPECT_EQ(finish(*first), 0);
    const QString text = log();
    EXPECT_FALSE(text.contains("dispatching message to running instance")) << text.toStdString();
    EXPECT_FALSE(text.contains("request --"));
    // The cleanup itself ran here (its own records).
    EXPECT_TRUE(text.contains("cleanupBrowserPreferences") || text.contains("Performing Chrome preferences cleanup"));
}

TEST_F(ShellProcess, ToolkitGateRefusesWithBoxAndExitCodeOne)
{
    auto process = start(GATE_PROBE, {"foo://never"});
    EXPECT_EQ(finish(*process), 1);
    const QString runtime = QString::fromLatin1(qVersion());
    const QString text = log();
    EXPECT_TRUE(text.contains("QT version is lower (current, expected). Quit Application, " + runtime + ", 99.0.0"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("Unsupported external protocol handler request"));
    const QString err = QString::fromUtf8(process->readAllStandardError());
    EXPECT_TRUE(err.contains("DIALOG title=[Tessal VPN] text=[QT version is lower than expected. Current=" + runtime +
                             ", Expected=99.0.0 or above. Quitting application] pressed=[OK]"))
        << err.toStdString();
}

TEST_F(ShellProcess, GermanLocaleLoadsItsCatalogues)
{
    auto process = start(TESSALVPN, {"foo://x"}, "de_DE.UTF-8");
    EXPECT_EQ(finish(*process), 1);
    const QString text = log();
    EXPECT_FALSE(text.contains("Translator error")) << text.toStdString();
    EXPECT_FALSE(text.contains("Translation self-test failed"));

    auto probe = start(GATE_PROBE, {}, "de_DE.UTF-8");
    EXPECT_EQ(finish(*probe), 1);
    const QString err = QString::fromUtf8(probe->readAllStandardError());
    EXPECT_TRUE(err.contains("text=[Die Qt-Version ist niedriger als erwartet. Aktuell=")) << err.toStdString();
}

TEST_F(ShellProcess, TraditionalChineseLocalesLoadTheTraditionalCatalogue)
{
    for (const char* locale : {"zh_TW.UTF-8", "zh_HK.UTF-8", "zh_MO.UTF-8"}) {
        auto probe = start(GATE_PROBE, {}, locale);
        EXPECT_EQ(finish(*probe), 1);
        const QString err = QString::fromUtf8(probe->readAllStandardError());
        EXPECT_TRUE(err.contains(QString::fromUtf8("text=[Qt 版本低於預期。"))) << locale << err.toStdString();
    }
    auto probe = start(GATE_PROBE, {}, "zh_CN.UTF-8");
    EXPECT_EQ(finish(*probe), 1);
    EXPECT_TRUE(
        QString::fromUtf8(probe->readAllStandardError()).contains(QString::fromUtf8("text=[Qt 版本低于预期。")));
}

TEST_F(ShellProcess, EnglishLoadsNoCatalogueAndAMissingLanguageIsLogged)
{
    auto english = start(GATE_PROBE, {}, "EN_GB.UTF-8");
    EXPECT_EQ(finish(*english), 1);
    EXPECT_TRUE(
        QString::fromUtf8(english->readAllStandardError()).contains("text=[QT version is lower than expected."));
    EXPECT_FALSE(log().contains("Translat"));

    auto portuguese = start(TESSALVPN, {"foo://x"}, "pt_BR.UTF-8");
    EXPECT_EQ(finish(*portuguese), 1);
    const QString text = log();
    for (const char* prefix : {"", "qt_", "qtbase_"})
        EXPECT_TRUE(text.contains(QStringLiteral("Translator error: locale:'pt_BR', file '%1', from: ':/'... "
                                                 "failed to load/failed to install")
                                      .arg(prefix)))
            << prefix << text.toStdString();
    EXPECT_EQ(text.count("Translator error"), 3);
    EXPECT_TRUE(text.contains("Translation self-test failed: QObject::tr(Help)='Help', locale=pt_BR"));
}

// The close-your-browsers question with a browser running: its standard
// buttons come from the toolkit's catalogue of the user's language.
TEST_F(ShellProcess, QuestionBoxesShowTheToolkitsButtonsInTheUsersLanguage)
{
    // The browser runs beside the cleanup in its pid namespace, seen by nothing else.
    PRIVATE_PIDS(cleanup, "/bin/bash",
                 {"-c", "(exec -a chrome sleep 60) & sleep 0.2; exec \"$0\" --cleanup", DIALOG_PROBE});
    const struct {
        const char* locale;
        const char* retry;
        const char* no;
    } rows[] = {
        {"de_DE.UTF-8", "Wiederholen", "Nein"},
        {"ja_JP.UTF-8", "再試行", "いいえ(N)"},
    };
    for (const auto& row : rows) {
        QProcessEnvironment env = environment(row.locale);
        env.insert("TESSAL_PROBE_ANSWER", QString::fromUtf8(row.no));
        auto probe = start(cleanup.first(), cleanup.mid(1), row.locale, &env);
        EXPECT_EQ(finish(*probe), 1) << row.locale;
        const QString err = QString::fromUtf8(probe->readAllStandardError());
        const QRegularExpression buttons(QStringLiteral("pressed=\\[(.*)\\] buttons=\\[(.*)\\]"));
        const QRegularExpressionMatch match = buttons.match(err);
        ASSERT_TRUE(match.hasMatch()) << row.locale << err.toStdString();
        EXPECT_EQ(match.captured(1), QString::fromUtf8(row.no));
        QStringList shown = match.captured(2).split('|');
        shown.sort();
        QStringList expected{QString::fromUtf8(row.retry), QString::fromUtf8(row.no)};
        expected.sort();
        EXPECT_EQ(shown, expected) << row.locale;
    }
}

TEST_F(ShellProcess, CleanupEditsTheProfilesAndExitsByItsOutcome)
{
    const QString prefs = home.path() + "/.config/google-chrome/Default/Preferences";
    const QByteArray before = R"({"protocol_handler":{"excluded_schemes":{"afp":true,"tessal-vpn":false}}})";
    const QByteArray after = R"({"protocol_handler":{"excluded_schemes":{"afp":true}}})";
    const struct {
        QStringList args;
        bool bus;
        int exitCode;
        QByteArray left;
        const char* record;
    } rows[] = {
        {{"--cleanup"}, false, 0, after, "Performing Firefox preferences cleanup"},
        {{"--CLEANUP"}, true, 0, after, "Performing Firefox preferences cleanup"},
        {{"--cleanup", "no-such-user-tessal", "ignored"},
         true,
         1,
         before,
         "Failed to cleanup chrome profile, failed to get home folder for user: no-such-user-tessal"},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(QDir().mkpath(home.path() + "/.config/google-chrome/Default"));
        QFile file(prefs);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(before);
        file.close();
        QProcessEnvironment env = environment("en_US.UTF-8");
        if (!row.bus)
            env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home.path() + "/no-such-bus");
        PRIVATE_PIDS(cleanup, TESSALVPN, row.args);
        auto process = start(cleanup.first(), cleanup.mid(1), QString(), &env);
        EXPECT_EQ(finish(*process), row.exitCode) << row.args.join(' ').toStdString();
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), row.left);
        file.close();
        EXPECT_TRUE(log().contains(row.record)) << log().toStdString();
    }
    EXPECT_FALSE(log().contains("Cannot connect to session bus"));
}

} // namespace

namespace {

// No display to open (a Wayland socket nobody serves, no X server): the
// program ends with 1, one clear line on standard error and a record,
// instead of the toolkit's abort. The user's own choice of platform holds.
TEST_F(ShellProcess, NoDisplayEndsWithOneALineAndARecord)
{
    const struct {
        const char* platform;
        const char* wayland;
        const char* tried;
    } rows[] = {
        {nullptr, "tessal-no-compositor", "wayland;xcb"},
        {nullptr, nullptr, "xcb;wayland"},
        {"xcb", nullptr, "xcb"},
    };
    for (const auto& row : rows) {
        QProcessEnvironment env = environment("en_US.UTF-8");
        for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY", "XDG_SESSION_TYPE"})
            env.remove(name);
        if (row.platform != nullptr)
            env.insert("QT_QPA_PLATFORM", row.platform);
        if (row.wayland != nullptr)
            env.insert("WAYLAND_DISPLAY", row.wayland);
        QFile::remove(home.path() + "/.TessalNetworks/vpn.log");
        auto process = start(TESSALVPN, {"foo://x"}, QString(), &env);
        EXPECT_EQ(finish(*process), 1) << row.tried;
        const QString err = QString::fromUtf8(process->readAllStandardError());
        EXPECT_EQ(err, QString("tessalvpn: no display could be opened (platforms tried: %1); a Wayland or X11 session "
                               "is needed, or QT_QPA_PLATFORM\n")
                           .arg(row.tried))
            << err.toStdString();
        const QString text = log();
        EXPECT_TRUE(text.contains(QString("No display could be opened with the platforms '%1': ").arg(row.tried)))
            << text.toStdString();
    }
}

// With a display to open and no platform chosen, the toolkit's own option the
// program adds never reaches the command line it dispatches.
TEST_F(ShellProcess, PlatformsChosenHereLeaveTheCommandLineAlone)
{
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty())
        GTEST_SKIP() << "needs Xvfb";
    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray number;
    for (int i = 0; i < 100 && !number.contains('\n'); ++i) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    ASSERT_TRUE(number.contains('\n')) << "Xvfb gave no display";
    QProcessEnvironment env = environment("en_US.UTF-8");
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
        env.remove(name);
    env.insert("DISPLAY", ":" + QString::fromLatin1(number.trimmed()));
    auto process = start(TESSALVPN, {"foo://shown"}, QString(), &env);
    EXPECT_EQ(finish(*process), 1);
    EXPECT_TRUE(log().contains("Unsupported external protocol handler request foo://shown")) << log().toStdString();
    EXPECT_FALSE(log().contains("-platform"));
    server.terminate();
    server.waitForFinished(5000);
}

// A command line refused at once says why on standard error as well, in the
// user's language.
TEST_F(ShellProcess, RefusedCommandLineSaysWhyOnStandardError)
{
    const struct {
        QStringList args;
        const char* locale;
        const char* line;
    } rows[] = {
        {{"--frobnicate"}, "en_US.UTF-8", "tessalvpn: Unknown option: --frobnicate\n"},
        {{"--frobnicate"}, "de_DE.UTF-8", "tessalvpn: Unbekannte Option: --frobnicate\n"},
        {{"--cleanup", "no-such-user-tessal"}, "en_US.UTF-8", "tessalvpn: No such user: no-such-user-tessal\n"},
    };
    for (const auto& row : rows) {
        PRIVATE_PIDS(refused, TESSALVPN, row.args);
        auto process = start(refused.first(), refused.mid(1), row.locale);
        EXPECT_EQ(finish(*process), 1) << row.args.join(' ').toStdString();
        const QString err = QString::fromUtf8(process->readAllStandardError());
        EXPECT_TRUE(err.endsWith(QString::fromUtf8(row.line))) << err.toStdString();
    }
    // A refused link is not an option: the log says why, as before.
    auto link = start(TESSALVPN, {"foo://bar"});
    EXPECT_EQ(finish(*link), 1);
    EXPECT_FALSE(QString::fromUtf8(link->readAllStandardError()).contains("option"));
}

} // namespace

#include "shell_process_test.moc"
