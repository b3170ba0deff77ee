// The installers on their own: argument vectors, the installer log, tar and
// the package opener.
#include "UpdateTestBed.h"

#include "RecordingLog.h"

#include "session/LinuxInstaller.h"
#include "session/PKGInstaller.h"
#include "session/TarArchiveInstaller.h"
#include "shell/BrowserController.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <tuple>
#include <vector>

using namespace tessal::test;
using tessal::qt::LinuxInstaller;
using tessal::qt::PKGInstaller;
using tessal::qt::TarArchiveInstaller;

namespace {

class InstallerTest : public UpdateTestBed
{
protected:
    struct Result {
        int success = 0;
        QStringList failures;
    };
    static Result install(tessal::qt::Installer& installer, const QString& file)
    {
        Result r;
        QObject::connect(&installer, &tessal::qt::Installer::Success, [&] { ++r.success; });
        QObject::connect(&installer, &tessal::qt::Installer::Failure, [&](const QString& e) { r.failures << e; });
        installer.Install(file.toStdString());
        return r;
    }
};

TEST_F(InstallerTest, MissingPackageFails)
{
    LinuxInstaller installer;
    const auto r = install(installer, home() + QStringLiteral("/none.deb"));
    EXPECT_EQ(r.failures, QStringList{QStringLiteral("Installation file (%1/none.deb) doesn't exist").arg(home())});
    EXPECT_FALSE(stubRan(QStringLiteral("xdg-open")));
}

TEST_F(InstallerTest, PathWithBlanksAndShellCharactersIsOneArgument)
{
    const QString file = home() + QStringLiteral("/my pkg;$(touch x).deb");
    ASSERT_TRUE(writeFile(file, "x"));
    LinuxInstaller installer;
    const auto r = install(installer, file);
    EXPECT_TRUE(r.failures.isEmpty());
    EXPECT_EQ(r.success, 0); // success ends the program instead
    EXPECT_EQ(stubArgs(QStringLiteral("xdg-open")), QStringList{file});
    EXPECT_FALSE(QFile::exists(QStringLiteral("x")));
}

TEST_F(InstallerTest, ToolThatCannotStartFails)
{
    const QString file = home() + QStringLiteral("/p.deb");
    ASSERT_TRUE(writeFile(file, "x"));
    QFile::remove(QString::fromUtf8(qgetenv("PATH").split(':').first()) + QStringLiteral("/xdg-open"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", path.split(':').first()); // only the stub folder, now without xdg-open
    LinuxInstaller installer;
    const auto r = install(installer, file);
    qputenv("PATH", path);
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.failures.first().startsWith(QStringLiteral("Cannot start xdg-open")));
}

// A name taken first by a link, another user's file, a FIFO or a second name
// of a file receives nothing (and a FIFO does not stop the install); the
// output goes to a file of the user's own, and the log says where. Root with
// HOME in another user's folder makes no file there: that install fails.
TEST_F(InstallerTest, ATakenInstallerLogNameIsLeftAloneAndTheInstallGoesOn)
{
    const QString file = home() + QStringLiteral("/p.deb");
    // A second name can only be made within one file system: that victim
    // lies beside the log (the temporary folder may be another mount).
    const QString besideLog = QFileInfo(installerLog()).path() + QStringLiteral("/victim");
    ASSERT_TRUE(writeFile(file, "x"));
    QTemporaryDir runtime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray name = QFile::encodeName(installerLog());
    enum Plant { Link, Foreign, Fifo, HardLink };
    const std::tuple<Plant, QString, bool> rows[] = {
        {Link, runtime.path(), false},     {Link, home() + "/.TessalNetworks", false},
        {Foreign, runtime.path(), false},  {Fifo, runtime.path(), false},
        {HardLink, runtime.path(), false}, {Link, home() + "/.TessalNetworks", true}};
    const auto giveHome = [this](uid_t uid) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home().toStdString()))
            ASSERT_EQ(::lchown(entry.path().c_str(), uid, uid), 0);
        ASSERT_EQ(::chown(QFile::encodeName(home()).constData(), uid, uid), 0);
    };
    for (const auto& [plant, own, usersHome] : rows) {
        const QString victim = plant == HardLink ? besideLog : home() + QStringLiteral("/victim");
        QFile::remove(installerLog());
        QFile::remove(own + "/tessalinstall.log");
        ASSERT_TRUE(writeFile(victim, "keep"));
        if ((plant == Foreign || usersHome) && ::geteuid() != 0)
            continue; // only root can give a file away
        bool planted = false;
        switch (plant) {
        case Link: planted = QFile::link(victim, installerLog()); break;
        case Foreign:
            planted = writeFile(installerLog(), "keep") && ::chown(name.constData(), 65534, 65534) == 0;
            break;
        case Fifo: planted = ::mkfifo(name.constData(), 0600) == 0; break;
        case HardLink: planted = ::link(QFile::encodeName(victim).constData(), name.constData()) == 0; break;
        }
        ASSERT_TRUE(planted) << plant;
        qputenv("XDG_RUNTIME_DIR", own == runtime.path() ? own.toUtf8() : QByteArray());
        if (usersHome)
            giveHome(65534);
        RecordingLog log;
        LinuxInstaller installer;
        // A FIFO that blocks the open gets a reader after a generous while.
        std::promise<void> done;
        bool blocked = false;
        std::thread watchdog([&, future = done.get_future()] {
            blocked = future.wait_for(std::chrono::seconds(30)) != std::future_status::ready;
            if (blocked)
                ::close(::open(name.constData(), O_RDONLY | O_NONBLOCK));
        });
        const bool installed = install(installer, file).failures.isEmpty();
        done.set_value();
        watchdog.join();
        if (usersHome)
            giveHome(0);
        EXPECT_EQ(installed, !usersHome) << plant;
        EXPECT_FALSE(blocked) << plant;
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        EXPECT_EQ(readAll(victim), QByteArray("keep")) << plant;
        struct stat status {};
        ASSERT_EQ(::lstat(name.constData(), &status), 0);
        if (plant == Fifo)
            EXPECT_TRUE(S_ISFIFO(status.st_mode));
        else
            EXPECT_EQ(readAll(installerLog()), QByteArray("keep")) << plant;
        if (usersHome) {
            EXPECT_FALSE(QFileInfo::exists(own + "/tessalinstall.log"));
            continue;
        }
        EXPECT_EQ(readAll(own + "/tessalinstall.log"), QByteArray("xdg-open stub output\n")) << plant;
        EXPECT_TRUE(log.contains("Installer output goes to " + own.toStdString() + "/tessalinstall.log instead: "));
    }
    QFile::remove(installerLog());
    QFile::remove(besideLog);
}

TEST_F(InstallerTest, TarUnpacksIntoANewFolderAsTheUser)
{
    const QString source = home() + QStringLiteral("/src");
    QDir().mkpath(source);
    ASSERT_TRUE(writeFile(source + QStringLiteral("/a.txt"), "A"));
    const QString archive = home() + QStringLiteral("/c.tar");
    ASSERT_EQ(QProcess::execute(QStringLiteral("tar"), {QStringLiteral("-C"), source, QStringLiteral("-cf"), archive,
                                                        QStringLiteral("a.txt")}),
              0);
    const QString destination = home() + QStringLiteral("/deep/new/dest");
    TarArchiveInstaller installer(destination);
    const auto r = install(installer, archive);
    EXPECT_EQ(r.success, 1);
    EXPECT_TRUE(r.failures.isEmpty());
    EXPECT_EQ(readAll(destination + QStringLiteral("/a.txt")), QByteArray("A"));
    EXPECT_EQ(installer.packageFile(), archive);
}

// tar run as the user when root unpacks in that user's folder gets an
// environment made for that user, never root's: a tar option set in root's
// environment (a checkpoint script that copies tar's environment out of
// /proc) reaches tar when it unpacks in root's own folder only.
TEST_F(InstallerTest, TarInAUsersFolderGetsNothingOfRootsEnvironment)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    const QString source = home() + QStringLiteral("/src");
    QDir().mkpath(source);
    ASSERT_TRUE(writeFile(source + QStringLiteral("/a.txt"), "A"));
    const QString archive = home() + QStringLiteral("/c.tar");
    ASSERT_EQ(QProcess::execute(QStringLiteral("tar"), {QStringLiteral("-C"), source, QStringLiteral("-cf"), archive,
                                                        QStringLiteral("a.txt")}),
              0);
    QTemporaryDir records;
    ::chmod(QFile::encodeName(records.path()).constData(), 0777);
    const QString record = records.filePath(QStringLiteral("environ"));
    qputenv("TESSAL_ROOTS_OWN", "secret");
    qputenv("TAR_OPTIONS", ("--checkpoint=1 --checkpoint-action=exec=cat</proc/$PPID/environ>" + record).toUtf8());
    const struct {
        const char* name;
        uid_t owner; // of the folder unpacked into
        bool rootsOwn; // whether tar's environment holds root's variable
    } rows[] = {{"root's own folder", 0, true}, {"the user's folder", 65534, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(record);
        const QString folder = home() + "/" + QString::number(row.owner);
        QDir().mkpath(folder);
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), row.owner, row.owner), 0);
        TarArchiveInstaller installer(folder + QStringLiteral("/dest"));
        const auto r = install(installer, archive);
        EXPECT_EQ(r.success, 1) << r.failures.join(' ').toStdString();
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(folder + "/dest/a.txt").constData(), &info), 0);
        EXPECT_EQ(info.st_uid, row.owner);
        EXPECT_EQ(readAll(record).contains("TESSAL_ROOTS_OWN=secret"), row.rootsOwn) << readAll(record).constData();
    }
    qunsetenv("TAR_OPTIONS");
    qunsetenv("TESSAL_ROOTS_OWN");
}

TEST_F(InstallerTest, TarFailureIsReported)
{
    const QString archive = home() + QStringLiteral("/broken.tar");
    ASSERT_TRUE(writeFile(archive, "this is no archive"));
    TarArchiveInstaller installer(home() + QStringLiteral("/dest"));
    const auto r = install(installer, archive);
    EXPECT_EQ(r.success, 0);
    EXPECT_EQ(r.failures, QStringList{QStringLiteral("Failed to unpack package")});
}

// A hand-made archive, since tar itself writes no hostile one. A member is
// name, type ('0' file, '1' hard link, '2' symbolic link, '3' device,
// '5' folder, '6' pipe), contents or link target, and mode.
using Member = std::tuple<std::string, char, std::string, unsigned>;

QByteArray tarArchive(const std::vector<Member>& members)
{
    QByteArray out;
    for (const auto& [name, type, data, mode] : members) {
        char h[512] = {};
        const std::string contents = type == '0' ? data : std::string();
        name.copy(h, 100);
        std::snprintf(h + 100, 48, "%07o%c%07o%c%07o%c%011zo%c%011o", mode, 0, 0u, 0, 0u, 0, contents.size(), 0, 0u);
        h[156] = type;
        if (type != '0')
            data.copy(h + 157, 100);
        std::memcpy(h + 257,
                    "ustar\0"
                    "00",
                    8);
        std::snprintf(h + 329, 16, "%07o%c%07o", type == '3' ? 1 : 0, 0, type == '3' ? 3 : 0);
        std::memset(h + 148, ' ', 8);
        std::snprintf(h + 148, 8, "%06o", std::accumulate(h, h + 512, 0u, [](unsigned s, char c) {
                          return s + static_cast<unsigned char>(c);
                      }));
        out.append(h, 512).append(QByteArray::fromStdString(contents));
        out.append(QByteArray(static_cast<int>((512 - contents.size() % 512) % 512), '\0'));
    }
    return out + QByteArray(1024, '\0');
}

QString entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(' ');
}

// Whatever a component archive holds, nothing lands outside the component's
// folder and no setuid bit or special file in it; a refused archive leaves
// the previous component whole.
TEST_F(InstallerTest, HostileComponentArchivesStayInTheirFolder)
{
    namespace fs = std::filesystem;
    const QString components = home() + QStringLiteral("/components"), outside = home() + QStringLiteral("/outside");
    const QString component = components + QStringLiteral("/PolicyServer");
    const std::string out = outside.toStdString();
    const Member ok{"ok.txt", '0', "new", 0644};
    const struct {
        std::vector<Member> members;
        bool installed;
    } rows[] = {
        {{ok, {"../../outside/dotdot", '0', "evil", 0644}}, false},
        {{ok, {out + "/absolute", '0', "evil", 0644}}, true}, // unpacked inside, without the "/"
        {{ok, {"lnk", '2', out, 0777}, {"lnk/through", '0', "evil", 0644}}, false},
        {{ok, {"up", '2', "../../outside", 0777}, {"up/through", '0', "evil", 0644}}, false},
        {{ok, {"h", '1', out + "/victim", 0644}, {"h", '0', "evil", 0644}}, false},
        {{ok, {"h", '1', "../../outside/victim", 0644}, {"h", '0', "evil", 0644}}, false},
        {{ok, {"null", '3', "", 0666}}, false},
        {{ok, {"fifo", '6', "", 0666}}, false},
        {{ok, {"su", '0', "#!/bin/sh\n", 04755}, {"sg", '0', "x", 02755}, {"d", '5', "", 06755}}, true},
    };
    for (const auto& row : rows) {
        const std::string name = std::get<0>(row.members.back());
        fs::remove_all(components.toStdString());
        fs::remove_all(out);
        QDir().mkpath(component);
        QDir().mkpath(outside);
        ASSERT_TRUE(writeFile(component + QStringLiteral("/ok.txt"), "previous") &&
                    writeFile(outside + QStringLiteral("/victim"), "victim") &&
                    writeFile(home() + QStringLiteral("/c.tar"), tarArchive(row.members)));

        TarArchiveInstaller installer(component);
        const auto r = install(installer, home() + QStringLiteral("/c.tar"));
        EXPECT_EQ(r.failures.join(' ').toStdString(), row.installed ? "" : "Failed to unpack package") << name;
        EXPECT_EQ(readAll(component + QStringLiteral("/ok.txt")).toStdString(), row.installed ? "new" : "previous");
        EXPECT_EQ(entries(outside) + readAll(outside + QStringLiteral("/victim")), QStringLiteral("victimvictim"));
        EXPECT_EQ(entries(components), QStringLiteral("PolicyServer")) << name;
        for (const auto& entry : fs::recursive_directory_iterator(component.toStdString())) {
            const auto status = entry.symlink_status();
            EXPECT_EQ(status.permissions() & (fs::perms::set_uid | fs::perms::set_gid), fs::perms::none)
                << entry.path();
            EXPECT_TRUE(fs::is_symlink(status) || fs::is_regular_file(status) || fs::is_directory(status)) << name;
        }
    }
}

// An unpack killed half-way leaves its staging folder; the next one of that
// component sweeps it, but not one that another unpack still works in.
TEST_F(InstallerTest, StagingFoldersOfAKilledUnpackAreSwept)
{
    const QString components = home() + QStringLiteral("/components");
    const QString kept =
        QStringLiteral(".OesisInspector.aB3xY9 .PolicyServer.busy00 .PolicyServer.toolong PolicyServerX");
    for (const QString& name : kept.split(' ') + QStringList{".PolicyServer.aB3xY9", ".PolicyServer.Qw12Er.old"})
        ASSERT_TRUE(QDir().mkpath(components + '/' + name + "/sub") &&
                    writeFile(components + '/' + name + "/sub/f", "x"));
    const int busy = ::open(QFile::encodeName(components + "/.PolicyServer.busy00").constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    ASSERT_TRUE(writeFile(home() + QStringLiteral("/c.tar"), tarArchive({{"a.txt", '0', "A", 0644}})));

    TarArchiveInstaller installer(components + QStringLiteral("/PolicyServer"));
    EXPECT_EQ(install(installer, home() + QStringLiteral("/c.tar")).success, 1);
    ::close(busy);
    QStringList found = entries(components).split(' ');
    found.sort();
    EXPECT_EQ(found.join(' '), QStringLiteral(".OesisInspector.aB3xY9 .PolicyServer.busy00 .PolicyServer.toolong "
                                              "PolicyServer PolicyServerX"));
    EXPECT_EQ(readAll(components + QStringLiteral("/PolicyServer/a.txt")), QByteArray("A"));
}

TEST_F(InstallerTest, PkgInstallerRenamesOtherSuffixesAndOpensThePackage)
{
    const QString file = home() + QStringLiteral("/update.tar");
    ASSERT_TRUE(writeFile(file, "pkg"));
    PKGInstaller installer;
    const auto r = install(installer, file);
    EXPECT_EQ(r.success, 1);
    const QString renamed = home() + QStringLiteral("/update_tar.pkg");
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_FALSE(QFile::exists(file));
    // The opener runs detached: wait for its record.
    for (int i = 0; i < 200 && stubArgs(QStringLiteral("open")).isEmpty(); ++i)
        QThread::msleep(10);
    EXPECT_EQ(stubArgs(QStringLiteral("open")), QStringList{renamed});
}

// The package tool and the opener get the installer log or our own standard
// descriptors, and nothing else of this process, with every signal at its
// default.
TEST_F(InstallerTest, ToolsGetTheirStandardDescriptorsOnlyAndDefaultSignals)
{
    LinuxInstaller linux;
    PKGInstaller pkg;
    const std::pair<const char*, tessal::qt::Installer*> rows[] = {{"xdg-open", &linux}, {"open", &pkg}};
    for (const auto& [tool, installer] : rows) {
        SCOPED_TRACE(tool);
        const QString file = home() + QStringLiteral("/update.deb");
        ASSERT_TRUE(writeFile(file, "deb"));
        {
            StrayParentState stray;
            EXPECT_TRUE(install(*installer, file).failures.isEmpty());
        }
        const ChildState state = readChildState(QStringLiteral("%1/%2.state").arg(stubs(), tool).toStdString());
        EXPECT_TRUE(state.clean()) << state.fds << " blocked " << state.blocked << " ignored " << state.ignored;
    }
}

// Once the window and an application tunnel have been opened, the tools'
// exit statuses are still read: a failing package tool is reported as such,
// tar's outcome decides.
TEST_F(InstallerTest, InstallsAfterAnApplicationTunnelReportTheToolsRealExitStatus)
{
    const QString deb = home() + QStringLiteral("/update.deb");
    const QString good = home() + QStringLiteral("/good.tar");
    const QString bad = home() + QStringLiteral("/bad.tar");
    ASSERT_TRUE(writeFile(deb, "deb") && writeFile(home() + QStringLiteral("/a.txt"), "A") && writeFile(bad, "no tar"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("tar"), {"-cf", good, "-C", home(), "a.txt"}), 0);
    setStubExit(QStringLiteral("xdg-open"), 3);

    tessal::qt::BrowserController controller;
    tessal::qt::SessionInfo info;
    info.url = QUrl(QStringLiteral("http://127.0.0.1:9/"));
    info.sessionId = QStringLiteral("0123456789abcdef");
    info.resourceName = QStringLiteral("/Common/apps");
    info.resourceType = QStringLiteral("app_tunnel");
    controller.start(info);
    controller.attachMainResource();
    LinuxInstaller linux;
    TarArchiveInstaller unpackGood(home() + QStringLiteral("/good"));
    TarArchiveInstaller unpackBad(home() + QStringLiteral("/bad"));
    const std::tuple<tessal::qt::Installer*, QString, int, QStringList> rows[] = {
        {&linux, deb, 0, {QStringLiteral("xdg-open exited with code 3")}},
        {&unpackGood, good, 1, {}},
        {&unpackBad, bad, 0, {QStringLiteral("Failed to unpack package")}},
    };
    for (const auto& [installer, file, success, failures] : rows) {
        SCOPED_TRACE(file.toStdString());
        const auto r = install(*installer, file);
        EXPECT_EQ(r.success, success);
        EXPECT_EQ(r.failures, failures);
    }
    EXPECT_EQ(readAll(home() + QStringLiteral("/good/a.txt")), QByteArray("A"));
    // The package tool got nothing of the web engine the window started.
    const ChildState state = readChildState(stubs().toStdString() + "/xdg-open.state");
    EXPECT_TRUE(state.clean()) << state.fds;
}

} // namespace
