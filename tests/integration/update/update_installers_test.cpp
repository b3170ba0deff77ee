// The installers on their own: argument vectors, the installer log, tar and
// the package opener.
#include "UpdateTestBed.h"

#include "RecordingLog.h"

#include "session/LinuxInstaller.h"
#include "session/PKGInstaller.h"
#include "session/TarArchiveInstaller.h"

#include <QProcess>
#include <QSignalSpy>

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

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

// A name taken first by a link or another user's file receives nothing; the
// output goes to a file of the user's own, and the log says where.
TEST_F(InstallerTest, ATakenInstallerLogNameIsLeftAloneAndTheInstallGoesOn)
{
    const QString file = home() + QStringLiteral("/p.deb");
    const QString victim = home() + QStringLiteral("/victim");
    ASSERT_TRUE(writeFile(file, "x"));
    QTemporaryDir runtime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    for (const auto& [link, own] : {std::pair{true, runtime.path()}, std::pair{true, home() + "/.TessalNetworks"},
                                    std::pair{false, runtime.path()}}) {
        QFile::remove(installerLog());
        ASSERT_TRUE(writeFile(victim, "keep"));
        if (!link && ::geteuid() != 0)
            continue;   // only root can give a file away
        ASSERT_TRUE(link ? QFile::link(victim, installerLog())
                         : writeFile(installerLog(), "keep") &&
                               ::chown(QFile::encodeName(installerLog()).constData(), 65534, 65534) == 0);
        qputenv("XDG_RUNTIME_DIR", own == runtime.path() ? own.toUtf8() : QByteArray());
        RecordingLog log;
        LinuxInstaller installer;
        EXPECT_TRUE(install(installer, file).failures.isEmpty());
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        EXPECT_EQ(readAll(victim) + readAll(installerLog()), QByteArray("keepkeep"));
        EXPECT_EQ(readAll(own + "/tessalinstall.log"), QByteArray("xdg-open stub output\n"));
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

// One member of a hand-made archive: tar itself would not write the hostile ones.
struct Member {
    std::string name;
    char type = '0';  // '0' file, '1' hard link, '2' symbolic link, '3' character device, '5' folder, '6' pipe
    std::string data;
    std::string link;
    unsigned mode = 0644;
};

QByteArray tarArchive(const std::vector<Member>& members)
{
    QByteArray out;
    for (const Member& m : members) {
        char header[512] = {};
        auto octal = [&](int offset, int width, unsigned long long value) {
            std::snprintf(header + offset, width, "%0*llo", width - 1, value);
        };
        m.name.copy(header, 100);
        octal(100, 8, m.mode);
        octal(108, 8, 0);
        octal(116, 8, 0);
        octal(124, 12, m.type == '0' ? m.data.size() : 0);
        octal(136, 12, 0);
        header[156] = m.type;
        m.link.copy(header + 157, 100);
        std::memcpy(header + 257, "ustar\0" "00", 8);
        octal(329, 8, m.type == '3' ? 1 : 0);
        octal(337, 8, m.type == '3' ? 3 : 0);
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (const unsigned char c : header)
            sum += c;
        std::snprintf(header + 148, 8, "%06o", sum);
        out.append(header, 512);
        if (m.type == '0') {
            out.append(m.data.data(), static_cast<int>(m.data.size()));
            out.append(QByteArray(static_cast<int>((512 - m.data.size() % 512) % 512), '\0'));
        }
    }
    return out + QByteArray(1024, '\0');
}

// Whatever a component archive holds, nothing lands outside the component's
// folder, no setuid bit survives, and a refused archive leaves the previous
// component whole.
TEST_F(InstallerTest, HostileComponentArchivesStayInTheirFolder)
{
    namespace fs = std::filesystem;
    const QString components = home() + QStringLiteral("/components");
    const QString component = components + QStringLiteral("/PolicyServer");
    const QString outside = home() + QStringLiteral("/outside");
    const std::string out = outside.toStdString();
    const Member ok{"ok.txt", '0', "new", "", 0644};
    const struct {
        const char* name;
        std::vector<Member> members;
        bool installed;
    } rows[] = {
        {"dot-dot", {ok, {"../../outside/dotdot", '0', "evil", "", 0644}}, false},
        {"absolute name", {ok, {out + "/absolute", '0', "evil", "", 0644}}, true},
        {"member through a link", {ok, {"lnk", '2', "", out, 0777}, {"lnk/through", '0', "evil", "", 0644}}, false},
        {"relative link out",
         {ok, {"up", '2', "", "../../outside", 0777}, {"up/through", '0', "evil", "", 0644}}, false},
        {"hard link out", {ok, {"h", '1', "", out + "/victim", 0644}, {"h", '0', "evil", "", 0644}}, false},
        {"relative hard link out",
         {ok, {"h", '1', "", "../../outside/victim", 0644}, {"h", '0', "evil", "", 0644}}, false},
        {"device node", {ok, {"null", '3', "", "", 0666}}, false},
        {"pipe", {ok, {"fifo", '6', "", "", 0666}}, false},
        {"setuid members", {ok, {"su", '0', "#!/bin/sh\n", "", 04755}, {"sg", '0', "x", "", 02755},
                            {"d", '5', "", "", 04755}}, true},
    };
    for (const auto& row : rows) {
        fs::remove_all(components.toStdString());
        fs::remove_all(out);
        QDir().mkpath(component);
        QDir().mkpath(outside);
        ASSERT_TRUE(writeFile(component + QStringLiteral("/ok.txt"), "previous"));
        ASSERT_TRUE(writeFile(outside + QStringLiteral("/victim"), "victim"));
        const QString archive = home() + QStringLiteral("/hostile.tar");
        ASSERT_TRUE(writeFile(archive, tarArchive(row.members)));

        TarArchiveInstaller installer(component);
        const auto r = install(installer, archive);
        EXPECT_EQ(r.success, row.installed ? 1 : 0) << row.name;
        EXPECT_EQ(r.failures, row.installed ? QStringList() : QStringList{QStringLiteral("Failed to unpack package")})
            << row.name;
        const auto all = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
        EXPECT_EQ(readAll(component + QStringLiteral("/ok.txt")).toStdString(), row.installed ? "new" : "previous")
            << row.name;
        EXPECT_EQ(QDir(outside).entryList(all).join(' ').toStdString(), "victim") << row.name;
        EXPECT_EQ(readAll(outside + QStringLiteral("/victim")).toStdString(), "victim") << row.name;
        EXPECT_EQ(QDir(components).entryList(all).join(' ').toStdString(), "PolicyServer") << row.name;
        for (const auto& entry : fs::recursive_directory_iterator(component.toStdString())) {
            const fs::perms perms = entry.symlink_status().permissions();
            EXPECT_EQ(perms & (fs::perms::set_uid | fs::perms::set_gid), fs::perms::none) << entry.path();
            EXPECT_TRUE(entry.is_symlink() || entry.is_regular_file() || entry.is_directory()) << entry.path();
        }
    }
}

// An unpack killed half-way leaves its staging folder; the next one sweeps
// it, but not one that another unpack still works in, nor another's.
TEST_F(InstallerTest, StagingFoldersOfAKilledUnpackAreSwept)
{
    const QString components = home() + QStringLiteral("/components");
    const QStringList left = {QStringLiteral(".PolicyServer.aB3xY9"), QStringLiteral(".PolicyServer.Qw12Er.old")};
    const QStringList kept = {QStringLiteral(".PolicyServer.busy00"), QStringLiteral(".PolicyServer.toolong"),
                              QStringLiteral(".OesisInspector.aB3xY9"), QStringLiteral("PolicyServerX")};
    for (const QString& name : left + kept) {
        QDir().mkpath(components + QLatin1Char('/') + name + QStringLiteral("/sub"));
        ASSERT_TRUE(writeFile(components + QLatin1Char('/') + name + QStringLiteral("/sub/f"), "half"));
    }
    const int busy = ::open(QFile::encodeName(components + QStringLiteral("/.PolicyServer.busy00")).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);
    const QString archive = home() + QStringLiteral("/c.tar");
    ASSERT_TRUE(writeFile(archive, tarArchive({{"a.txt", '0', "A", "", 0644}})));

    TarArchiveInstaller installer(components + QStringLiteral("/PolicyServer"));
    EXPECT_EQ(install(installer, archive).success, 1);
    ::close(busy);
    QStringList expected = kept + QStringList{QStringLiteral("PolicyServer")};
    QStringList found = QDir(components).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    expected.sort();
    found.sort();
    EXPECT_EQ(found.join(' ').toStdString(), expected.join(' ').toStdString());
    EXPECT_EQ(readAll(components + QStringLiteral("/PolicyServer/a.txt")).toStdString(), "A");
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
