// The installers on their own: argument vectors, the installer log, tar and
// the package opener.
#include "UpdateTestBed.h"

#include "session/LinuxInstaller.h"
#include "session/PKGInstaller.h"
#include "session/TarArchiveInstaller.h"

#include <QProcess>
#include <QSignalSpy>

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

TEST_F(InstallerTest, InstallerLogIsNeverFollowedThroughALink)
{
    const QString file = home() + QStringLiteral("/p.deb");
    ASSERT_TRUE(writeFile(file, "x"));
    const QString victim = home() + QStringLiteral("/victim");
    ASSERT_TRUE(writeFile(victim, "keep"));
    ASSERT_TRUE(QFile::link(victim, installerLog()));
    LinuxInstaller installer;
    const auto r = install(installer, file);
    QFile::remove(installerLog());
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.failures.first().startsWith(QStringLiteral("Cannot open installer log")));
    EXPECT_EQ(readAll(victim), QByteArray("keep"));
    EXPECT_FALSE(stubRan(QStringLiteral("xdg-open")));
}

TEST_F(InstallerTest, InstallerLogOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the log away";
    const QString file = home() + QStringLiteral("/p.deb");
    ASSERT_TRUE(writeFile(file, "x"));
    ASSERT_TRUE(writeFile(installerLog(), "theirs"));
    ASSERT_EQ(::chown(QFile::encodeName(installerLog()).constData(), 65534, 65534), 0);
    LinuxInstaller installer;
    const auto r = install(installer, file);
    ASSERT_EQ(r.failures.size(), 1);
    EXPECT_TRUE(r.failures.first().contains(QStringLiteral("belongs to another user")));
    EXPECT_EQ(readAll(installerLog()), QByteArray("theirs"));
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
