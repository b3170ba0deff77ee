// The installers on their own: argument vectors, the installer log, tar and
// the package opener.
#include "UpdateTestBed.h"

#include "RecordingLog.h"

#include "session/LinuxInstaller.h"
#include "session/PKGInstaller.h"
#include "session/TarArchiveInstaller.h"

#include <QProcess>
#include <QSignalSpy>

#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessal::test;
using tessal::qt::LinuxInstaller;
using tessal::qt::PKGInstaller;
using tessal::qt::TarArchiveInstaller;

namespace {

class InstallerTest : public UpdateTestBed {
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
    EXPECT_EQ(r.success, 0);  // success ends the program instead
    EXPECT_EQ(stubArgs(QStringLiteral("xdg-open")), QStringList{file});
    EXPECT_FALSE(QFile::exists(QStringLiteral("x")));
}

TEST_F(InstallerTest, ToolThatCannotStartFails)
{
    const QString file = home() + QStringLiteral("/p.deb");
    ASSERT_TRUE(writeFile(file, "x"));
    QFile::remove(QString::fromUtf8(qgetenv("PATH").split(':').first()) + QStringLiteral("/xdg-open"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", path.split(':').first());  // only the stub folder, now without xdg-open
    LinuxInstaller installer;
    const auto r = install(installer, file);
    qputenv("PATH", path);
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.failures.first().startsWith(QStringLiteral("Cannot start xdg-open")));
}

// A name taken first by a link, another user's file, a FIFO or a second name
// of a file receives nothing (and a FIFO does not stop the install); the
// output goes to a file of the user's own, and the log says where.
TEST_F(InstallerTest, ATakenInstallerLogNameIsLeftAloneAndTheInstallGoesOn)
{
    const QString file = home() + QStringLiteral("/p.deb");
    const QString victim = home() + QStringLiteral("/victim");
    ASSERT_TRUE(writeFile(file, "x"));
    QTemporaryDir runtime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray name = QFile::encodeName(installerLog());
    enum Plant { Link, Foreign, Fifo, HardLink };
    const std::pair<Plant, QString> rows[] = {{Link, runtime.path()}, {Link, home() + "/.TessalNetworks"},
                                              {Foreign, runtime.path()}, {Fifo, runtime.path()},
                                              {HardLink, runtime.path()}};
    for (const auto& [plant, own] : rows) {
        QFile::remove(installerLog());
        ASSERT_TRUE(writeFile(victim, "keep"));
        if (plant == Foreign && ::geteuid() != 0)
            continue;   // only root can give a file away
        bool planted = false;
        switch (plant) {
        case Link: planted = QFile::link(victim, installerLog()); break;
        case Foreign: planted = writeFile(installerLog(), "keep") && ::chown(name.constData(), 65534, 65534) == 0; break;
        case Fifo: planted = ::mkfifo(name.constData(), 0600) == 0; break;
        case HardLink: planted = ::link(QFile::encodeName(victim).constData(), name.constData()) == 0; break;
        }
        ASSERT_TRUE(planted) << plant;
        qputenv("XDG_RUNTIME_DIR", own == runtime.path() ? own.toUtf8() : QByteArray());
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
        EXPECT_TRUE(installed) << plant;
        EXPECT_FALSE(blocked) << plant;
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        EXPECT_EQ(readAll(victim), QByteArray("keep")) << plant;
        struct stat status {};
        ASSERT_EQ(::lstat(name.constData(), &status), 0);
        if (plant == Fifo)
            EXPECT_TRUE(S_ISFIFO(status.st_mode));
        else
            EXPECT_EQ(readAll(installerLog()), QByteArray("keep")) << plant;
        EXPECT_EQ(readAll(own + "/tessalinstall.log"), QByteArray("xdg-open stub output\n")) << plant;
        EXPECT_TRUE(log.contains("Installer output goes to " + own.toStdString() + "/tessalinstall.log instead: "));
    }
    QFile::remove(installerLog());
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

TEST_F(InstallerTest, TarFailureIsReported)
{
    const QString archive = home() + QStringLiteral("/broken.tar");
    ASSERT_TRUE(writeFile(archive, "this is no archive"));
    TarArchiveInstaller installer(home() + QStringLiteral("/dest"));
    const auto r = install(installer, archive);
    EXPECT_EQ(r.success, 0);
    EXPECT_EQ(r.failures, QStringList{QStringLiteral("Failed to unpack package")});
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

}  // namespace
