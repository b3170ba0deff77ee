// Downloads, signature checks, the Downloads folder, the install question and
// the inspection component chain.
#include "UpdateTestBed.h"

#include "RecordingLog.h"

#include "foundation/CSignature.h"
#include "session/TarArchiveInstaller.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessal::test;

namespace {

class UpdateDownloadTest : public UpdateTestBed
{
protected:
    QUrl server() const { return sharedServer().url(QStringLiteral("/")); }

    // Serves a signed application package at /public/download/<name>.
    QString servePackage(const QString& name, const QByteArray& bytes = QByteArray("DEB PACKAGE BYTES\n"))
    {
        const QString file = serverFile(name, bytes);
        m_routes.append(fileRoute(QStringLiteral("/public/download/") + name, file));
        EXPECT_TRUE(sharedServer().setRoutes(m_routes));
        return sign(file);
    }
    void addRoute(const QJsonObject& route)
    {
        m_routes.append(route);
        ASSERT_TRUE(sharedServer().setRoutes(m_routes));
    }
    QStringList requestedPaths() const
    {
        QStringList paths;
        for (const QJsonObject& r : sharedServer().requests())
            paths << r["path"].toString();
        return paths;
    }

    // True when the updater was handed downloads (its records name them) and none is left.
    static bool noDownloadLeft(const RecordingLog& log)
    {
        const QStringList records = log.qLines().filter(QStringLiteral("File downloaded: , "));
        for (const QString& r : records)
            if (QFileInfo::exists(r.section(QStringLiteral("File downloaded: , "), 1).trimmed()))
                return false;
        return !records.isEmpty();
    }

    QJsonArray m_routes;
};

TEST_F(UpdateDownloadTest, VerifiedPackageLandsInDownloadsAndTheOpenerInstallsIt)
{
    const QString signature = servePackage(QStringLiteral("app.deb"));
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringList{"OK", "OK"});
    const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                   "/public/download/app.deb")}));
    // The installer ends the program: no signal, the event loop asked to exit.
    EXPECT_EQ(out.events, QStringList{"exit"});
    const QString target = downloads() + QStringLiteral("/app.deb");
    EXPECT_EQ(readAll(target), QByteArray("DEB PACKAGE BYTES\n"));
    ASSERT_EQ(answerer.count(), 2);
    EXPECT_TRUE(answerer.dialogs()[1].text.startsWith(
        QStringLiteral("Updates downloaded at %1. Do you want to install it? <br><br>").arg(target)));
    EXPECT_EQ(stubArgs(QStringLiteral("xdg-open")), QStringList{target});
    EXPECT_FALSE(stubRan(QStringLiteral("pkcon")));
    EXPECT_EQ(readAll(installerLog()), QByteArray("xdg-open stub output\n"));
    ASSERT_NE(updater.installer(), nullptr);
}

TEST_F(UpdateDownloadTest, RpmMarkerInstallsWithThePackageManager)
{
    setRpmMarker(true);
    const QString signature = servePackage(QStringLiteral("app.rpm"));
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("OK"));
    const auto out = run(updater, profile({package("NetworkAccessAppX64.rpm", "7300.0.0.0", signature.toStdString(),
                                                   "/public/download/app.rpm")}));
    EXPECT_EQ(out.events, QStringList{"exit"});
    const QString target = downloads() + QStringLiteral("/app.rpm");
    EXPECT_EQ(stubArgs(QStringLiteral("pkcon")), (QStringList{"install-local", "-y", "-v", target}));
    EXPECT_FALSE(stubRan(QStringLiteral("xdg-open")));
}

TEST_F(UpdateDownloadTest, AFailingToolIsReportedAndTheProgramGoesOn)
{
    setStubExit(QStringLiteral("xdg-open"), 3);
    const QString signature = servePackage(QStringLiteral("app.deb"));
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("OK"));
    const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                   "/public/download/app.deb")}));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message, QStringLiteral("xdg-open exited with code 3"));
    EXPECT_FALSE(out.ignore);
    EXPECT_TRUE(QFile::exists(downloads() + QStringLiteral("/app.deb")));
}

TEST_F(UpdateDownloadTest, FlippedAndEmptySignaturesFailTheIntegrityCheck)
{
    const QString good = servePackage(QStringLiteral("app.deb"));
    QByteArray flipped = QByteArray::fromBase64(good.toLatin1());
    flipped[10] = static_cast<char>(flipped[10] ^ 0x01);
    for (const QString& signature : {QString::fromLatin1(flipped.toBase64()), QString()}) {
        RecordingLog log;
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("OK"));
        const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                       "/public/download/app.deb")}));
        EXPECT_EQ(out.events, QStringList{"fail"});
        EXPECT_EQ(out.message, QStringLiteral("Integrity check failed for NetworkAccessAppX64.deb"));
        EXPECT_FALSE(out.ignore);
        EXPECT_EQ(answerer.count(), 1); // the offer only, no install question
        EXPECT_FALSE(QFile::exists(downloads() + QStringLiteral("/app.deb")));
        EXPECT_TRUE(noDownloadLeft(log));
    }
}

// A server without the signing key may replay a package it once signed
// under the name of any file in Downloads: that file stays as it is.
TEST_F(UpdateDownloadTest, CancelLeavesThePackageInDownloadsBesideAFileOfItsName)
{
    QDir().mkpath(downloads());
    ASSERT_TRUE(writeFile(downloads() + QStringLiteral("/app.deb"), "old"));
    const QString signature = servePackage(QStringLiteral("app.deb"));
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringList{"OK", "Cancel"});
    const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                   "/public/download/app.deb")}));
    EXPECT_EQ(out.events, QStringList{"installIgnored"});
    EXPECT_EQ(readAll(downloads() + QStringLiteral("/app.deb")), QByteArray("old"));
    const QString taken = downloads() + QStringLiteral("/app (1).deb");
    EXPECT_EQ(readAll(taken), QByteArray("DEB PACKAGE BYTES\n"));
    ASSERT_EQ(answerer.count(), 2);
    EXPECT_TRUE(answerer.dialogs()[1].text.startsWith(QStringLiteral("Updates downloaded at %1. ").arg(taken)));
    EXPECT_FALSE(stubRan(QStringLiteral("xdg-open")));
}

TEST_F(UpdateDownloadTest, AFailedMoveIsReportedOnce)
{
    // A name that is no file's name, served whatever the path becomes: nothing is made.
    const QString file = serverFile(QStringLiteral("dots.deb"), "dots");
    const QString signature = sign(file);
    addRoute(QJsonObject{{"path_prefix", "/"},
                         {"headers", QJsonObject{{"Content-Type", "application/octet-stream"}}},
                         {"body_file", file}});
    {
        RecordingLog log;
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("OK"));
        const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                       "/public/download/..")}));
        EXPECT_EQ(out.events, QStringList{"fail"});
        EXPECT_TRUE(out.message.startsWith(QStringLiteral("Failed to rename ")));
        EXPECT_TRUE(out.message.endsWith(QStringLiteral(" to %1/..").arg(downloads()))) << out.message.toStdString();
        EXPECT_EQ(answerer.count(), 1);
        EXPECT_TRUE(noDownloadLeft(log));
        EXPECT_EQ(QDir(downloads()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList());
    }
    // A file where the Downloads folder should be: it cannot be made.
    QDir(downloads()).removeRecursively();
    ASSERT_TRUE(writeFile(downloads(), "not a folder"));
    {
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("OK"));
        const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                       "/public/download/app.deb")}));
        EXPECT_EQ(out.events, QStringList{"fail"});
        EXPECT_EQ(out.message, QStringLiteral("Failed to create Downloads directory"));
    }
}

TEST_F(UpdateDownloadTest, ServerTextsInTheInstallQuestionAreEscaped)
{
    const QString file = serverFile(QStringLiteral("odd.deb"), "odd");
    const QString signature = sign(file);
    // However the stand-in sees the encoded name, this route serves it.
    addRoute(QJsonObject{{"path_prefix", "/public/download/a"},
                         {"headers", QJsonObject{{"Content-Type", "application/octet-stream"}}},
                         {"body_file", file}});
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringList{"OK", "Cancel"});
    const auto out = run(updater, profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                   "/public/download/a<b>&c.deb")}));
    EXPECT_EQ(out.events, QStringList{"installIgnored"});
    ASSERT_EQ(answerer.count(), 2);
    EXPECT_TRUE(answerer.dialogs()[1].text.contains(QStringLiteral("/Downloads/a&lt;b&gt;&amp;c.deb.")));
    EXPECT_TRUE(QFile::exists(downloads() + QStringLiteral("/a<b>&c.deb")));
}

TEST_F(UpdateDownloadTest, DownloadFailureEndsTheRun)
{
    addRoute(QJsonObject{{"path", "/public/download/app.deb"}, {"status", 404}});
    Updater updater(2, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("OK"));
    const auto out =
        run(updater, profile({package(appId().toStdString(), "7300.0.0.0", "c2ln", "/public/download/app.deb")}));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_FALSE(out.ignore);
    EXPECT_FALSE(out.message.isEmpty());
    EXPECT_EQ(updater.progressDialog(), nullptr);
}

// However a download ends before its file is whole (the main loop ends, as
// after a termination signal; the server cuts it off), no part of it is left.
TEST_F(UpdateDownloadTest, AnUnfinishedDownloadLeavesNoFile)
{
    const QString file = serverFile(QStringLiteral("big.deb"), QByteArray(320000, 'x'));
    const QString signature = sign(file);
    const QString folder = QFileInfo(QStringLiteral(TESSAL_SYSTEM_PATH("/tmp/launcherDownloaded"))).path();
    auto partial = [&folder]() {
        return QDir(folder).entryList(QStringList{QStringLiteral("launcherDownloaded*")}, QDir::Files);
    };
    const struct {
        const char* name;
        QJsonObject route;
        bool loopEnds;
    } rows[] = {
        {"main loop ends", QJsonObject{{"trickle", QJsonObject{{"bytes", 8192}, {"interval_ms", 50}}}}, true},
        {"cut off", QJsonObject{{"cut_after", 100000}}, false},
    };
    const QStringList before = partial();
    for (const auto& row : rows) {
        QJsonObject route = fileRoute(QStringLiteral("/public/download/app.deb"), file);
        for (auto it = row.route.begin(); it != row.route.end(); ++it)
            route.insert(it.key(), it.value());
        m_routes = QJsonArray{route};
        ASSERT_TRUE(sharedServer().setRoutes(m_routes));
        Updater updater(2, server(), 0);
        ModalDialogAnswerer answerer(QStringLiteral("OK"));
        bool failed = false;
        QObject::connect(&updater, &tessal::qt::AutoUpdater::UpdateFail, &updater, [&failed] { failed = true; });
        updater.CheckForUpdates(profile(
            {package(appId().toStdString(), "7300.0.0.0", signature.toStdString(), "/public/download/app.deb")}));
        if (row.loopEnds) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return partial() != before; }, 20000)) << row.name;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        } else {
            EXPECT_TRUE(QTest::qWaitFor([&] { return failed; }, 20000)) << row.name;
        }
        EXPECT_EQ(partial().join(' ').toStdString(), before.join(' ').toStdString()) << row.name;
    }
}

// The inspection components: version file, signature file, package, in this order.
class ComponentChainTest : public UpdateDownloadTest
{
protected:
    void serveComponent(const QString& stem, const QByteArray& version, const QByteArray* signature,
                        const QByteArray& package)
    {
        const QString pkg = serverFile(stem + QStringLiteral(".tar"), package);
        const QByteArray sig = signature ? *signature : (sign(pkg).toLatin1() + "\n");
        addRoute(
            fileRoute(QStringLiteral("/public/download/%1.tar.ver").arg(stem), serverFile(stem + ".ver", version)));
        addRoute(fileRoute(QStringLiteral("/public/download/%1.tar.md5").arg(stem), serverFile(stem + ".md5", sig)));
        addRoute(fileRoute(QStringLiteral("/public/download/%1-pkg.tar").arg(stem), pkg));
    }
    // A tar archive holding one file of that name and content.
    static QByteArray archiveOf(const QString& name, const QByteArray& content)
    {
        QTemporaryDir dir;
        EXPECT_TRUE(writeFile(dir.path() + "/" + name, content));
        EXPECT_EQ(QProcess::execute("tar", {"-C", dir.path(), "-cf", dir.path() + "/a.tar", name}), 0);
        return readAll(dir.path() + "/a.tar");
    }
    QString components() const { return home() + QStringLiteral("/.TessalNetworks/components"); }
};

TEST_F(ComponentChainTest, PolicyServerChainRunsInOrderInstallsAndGoesOnToTheApplication)
{
    RecordingLog log;
    const QByteArray archive = archiveOf(QStringLiteral("policy.bin"), "P1");
    serveComponent(QStringLiteral("linux_policyserver"), " 2.5 \n", nullptr, archive);
    Updater updater(1, server(), 0);
    ModalDialogAnswerer answerer(QStringLiteral("OK"));
    const auto out =
        run(updater, profile({package("PolicyServer", "1.0.0.0", "", "/public/download/linux_policyserver-pkg.tar")}));
    EXPECT_EQ(requestedPaths(),
              (QStringList{"/public/download/linux_policyserver.tar.ver", "/public/download/linux_policyserver.tar.md5",
                           "/public/download/linux_policyserver-pkg.tar"}));
    EXPECT_EQ(updater.componentVersion(), QStringLiteral("2.5"));
    // Installed, then the application package is looked for (none listed).
    EXPECT_EQ(readAll(components() + QStringLiteral("/PolicyServer/policy.bin")), QByteArray("P1"));
    EXPECT_EQ(QFileInfo(components()).permissions() & 0x0077, 0);
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message,
              QStringLiteral("Application pkg (EndpointCheckAppX64.deb) not found in server connectivity profile"));
    EXPECT_TRUE(out.ignore);
    EXPECT_EQ(answerer.count(), 0);
    EXPECT_TRUE(noDownloadLeft(log));
    // The progress dialog follows each download's size.
    ASSERT_NE(updater.progressDialog(), nullptr);
    EXPECT_EQ(updater.progressDialog()->maximum(), archive.size());
    EXPECT_EQ(updater.progressDialog()->labelText(), QStringLiteral("Downloading PolicyServer update v1.0.0.0"));
    EXPECT_FALSE(updater.progressDialog()->isVisible());
}

// A new component replaces the installed one whole; a broken one leaves it
// as it was. No downloaded file and no half-unpacked folder stays.
TEST_F(ComponentChainTest, AComponentIsReplacedWholeOrNotAtAll)
{
    for (const bool good : {true, false}) {
        QDir(components()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(components() + "/PolicyServer") &&
                    writeFile(components() + "/PolicyServer/old", "O"));
        m_routes = QJsonArray();
        serveComponent("linux_policyserver", "2", nullptr, good ? archiveOf("new", "N") : QByteArray("no archive"));
        RecordingLog log;
        Updater updater(1, server(), 0);
        const auto out = run(
            updater, profile({package("PolicyServer", "1.0.0.0", "", "/public/download/linux_policyserver-pkg.tar")}));
        EXPECT_EQ(out.message.startsWith("Application pkg (EndpointCheckAppX64.deb) not found"), good)
            << out.message.toStdString();
        EXPECT_EQ(QDir(components() + "/PolicyServer").entryList(QDir::Files), QStringList{good ? "new" : "old"});
        EXPECT_EQ(QDir(components()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"PolicyServer"});
        EXPECT_TRUE(noDownloadLeft(log));
    }
}

TEST_F(ComponentChainTest, OesisInspectorIsChosenWhenListed)
{
    serveComponent(QStringLiteral("linux_oesisInspector"), "3", nullptr, "oesis");
    Updater updater(1, server(), 1);
    const auto out = run(
        updater, profile({package("PolicyServer", "1.0.0.0"),
                          package("OesisInspector", "1.0.0.0", "", "/public/download/linux_oesisInspector-pkg.tar")}));
    EXPECT_EQ(requestedPaths().size(), 3);
    EXPECT_EQ(requestedPaths().first(), QStringLiteral("/public/download/linux_oesisInspector.tar.ver"));
    EXPECT_EQ(out.message, QStringLiteral("Failed to unpack package"));
    ASSERT_NE(updater.progressDialog(), nullptr);
    EXPECT_EQ(updater.progressDialog()->labelText(), QStringLiteral("Updating EndPoint Inspection Components"));
}

TEST_F(ComponentChainTest, EmptyVersionCountsAsOneAndEmptySignatureFails)
{
    const QByteArray empty;
    serveComponent(QStringLiteral("linux_policyserver"), "", &empty, "pkg");
    Updater updater(1, server(), 0);
    const auto out =
        run(updater, profile({package("PolicyServer", "1.0.0.0", "", "/public/download/linux_policyserver-pkg.tar")}));
    EXPECT_EQ(updater.componentVersion(), QStringLiteral("1.0"));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message, QStringLiteral("Failed to read downloaded signature"));
    EXPECT_EQ(requestedPaths().size(), 2);
}

TEST_F(ComponentChainTest, ABadComponentSignatureFailsTheIntegrityCheck)
{
    const QByteArray bad = QByteArray(256, 'A').toBase64();
    serveComponent(QStringLiteral("linux_policyserver"), "1", &bad, "pkg");
    Updater updater(1, server(), 0);
    const auto out =
        run(updater, profile({package("PolicyServer", "1.0.0.0", "", "/public/download/linux_policyserver-pkg.tar")}));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message, QStringLiteral("Integrity check failed for PolicyServer"));
}

TEST_F(ComponentChainTest, MissingComponentFailsAtOnce)
{
    Updater updater(1, server(), 0);
    const auto out = run(updater, profile({}));
    EXPECT_EQ(out.events, QStringList{"fail"});
    EXPECT_EQ(out.message, QStringLiteral("PolicyServer pkg not found in server connectivity profile"));
    EXPECT_FALSE(out.ignore);
    EXPECT_TRUE(sharedServer().requests().isEmpty());
}

// The state of a folder tree: every entry's name, owner, mode and contents.
QStringList treeState(const QString& root)
{
    QStringList state;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status {};
        ::lstat(QFile::encodeName(path).constData(), &status);
        state << QStringLiteral("%1 %2 %3 %4")
                     .arg(path)
                     .arg(status.st_uid)
                     .arg(status.st_mode, 0, 8)
                     .arg(S_ISREG(status.st_mode) ? QString::fromLatin1(readAll(path)) : QString());
    }
    state.sort();
    return state;
}

// A root run whose HOME is a folder of uid 65534 (or root's own, holding a
// link to a user's folder): whatever the user put there, nothing outside the
// home changes, no read blocks, and nothing in the home becomes root's.
TEST_F(ComponentChainTest, RootRunInAUsersHomeLeavesItTheirsAndBlocksOnNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root";
    QTemporaryDir otherDir, rootDir;
    const QString other = otherDir.path(), settings = home() + "/.TessalNetworks";
    const QString fifo = home() + "/fifo", zero = home() + "/zero", userDirs = home() + "/.config/user-dirs.dirs";
    serveComponent("linux_policyserver", "2", nullptr, archiveOf("policy.bin", "P1"));
    const QString signature = servePackage("app.deb");
    const QString installed = "Application pkg (EndpointCheckAppX64.deb) not found in server connectivity profile";
    const QString refused = "The Downloads folder cannot be used: ";
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    enum Run { Component, Application, Readers };
    const struct {
        const char* name;
        uid_t homeOwner;
        Run run;
        std::function<bool()> plant;
        QString expected; // the message, its beginning, or "" for an installed application
    } rows[] = {
        {"no settings folder", 65534, Component, [] { return true; }, installed},
        {"components a link", 65534, Component,
         [&] { return QDir().mkdir(settings) && QFile::link(other, settings + "/components"); },
         "No installer available for PolicyServer"},
        {"installed component a link", 65534, Component,
         [&] { return QDir().mkpath(components()) && QFile::link(other, components() + "/PolicyServer"); }, installed},
        {"installed component holds a FIFO", 65534, Component,
         [&] {
             return QDir().mkpath(components() + "/PolicyServer") &&
                    ::mkfifo(QFile::encodeName(components() + "/PolicyServer/f"), 0644) == 0;
         },
         installed},
        {"staging name a link", 65534, Component,
         [&] { return QDir().mkpath(components()) && QFile::link(other, components() + "/.PolicyServer.aB3xY9"); },
         installed},
        {"Downloads a link", 65534, Application, [&] { return QFile::link(other, downloads()); }, refused},
        {"user-dirs.dirs a FIFO", 65534, Application,
         [&] { return QDir().mkdir(home() + "/.config") && ::mkfifo(QFile::encodeName(userDirs), 0644) == 0; },
         refused},
        {"root's home, Downloads a link to a user's", 0, Application, [&] { return QFile::link(other, downloads()); },
         refused},
        {"FIFO and /dev/zero read as downloads", 65534, Readers,
         [&] { return ::mkfifo(QFile::encodeName(fifo), 0644) == 0 && QFile::link("/dev/zero", zero); }, ""},
        // Last: an installed application asks the program's event loops to end.
        {"root's home, Downloads a link to root's", 0, Application,
         [&] { return QFile::link(rootDir.path(), downloads()); }, ""},
    };
    for (const auto& row : rows) {
        QDir(home()).removeRecursively();
        QDir(other).removeRecursively();
        ASSERT_TRUE(QDir().mkdir(home()) && QDir().mkdir(other) && writeFile(other + "/victim", "victim"));
        ASSERT_TRUE(row.plant()) << row.name;
        const std::string owner = std::to_string(row.homeOwner);
        ASSERT_EQ(std::system(("chown -hR " + owner + ":" + owner + " '" + home().toStdString() +
                               "' && chown -R 65533:65533 '" + other.toStdString() + "'")
                                  .c_str()),
                  0);
        const QStringList before = treeState(other);

        // A read that blocks on a FIFO gets a writer after a generous while.
        std::promise<void> done;
        bool blocked = false;
        std::thread watchdog([&, future = done.get_future()] {
            for (int waited = 0; future.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready;
                 ++waited) {
                if (waited < 150)
                    continue;
                blocked = true;
                for (const QString& f : {fifo, userDirs})
                    ::close(::open(QFile::encodeName(f).constData(), O_WRONLY | O_NONBLOCK));
            }
        });
        Outcome out;
        if (row.run == Readers) {
            Updater updater(1, server(), 0);
            for (const QString& path : {fifo, zero}) {
                QString text;
                unsigned char digest[64];
                unsigned int length = 0;
                EXPECT_FALSE(Updater::ReadTextFile(path.toStdString(), text)) << path.toStdString();
                EXPECT_FALSE(updater.VerifySignature(path, signature)) << path.toStdString();
                EXPECT_FALSE(computeFileDigest("md5", path.toStdString(), digest, &length)) << path.toStdString();
                tessal::qt::TarArchiveInstaller installer(home() + "/unpacked");
                QStringList failures;
                QObject::connect(&installer, &tessal::qt::Installer::Failure, [&](const QString& e) { failures << e; });
                installer.Install(path.toStdString());
                EXPECT_EQ(failures.join(' ').toStdString(), "Failed to unpack package") << path.toStdString();
            }
        } else {
            ModalDialogAnswerer answerer(QStringLiteral("OK"));
            Updater updater(row.run == Component ? 1 : 2, server(), 0);
            out = run(updater, row.run == Component
                                   ? profile({package("PolicyServer", "1.0.0.0", "",
                                                      "/public/download/linux_policyserver-pkg.tar")})
                                   : profile({package(appId().toStdString(), "7300.0.0.0", signature.toStdString(),
                                                      "/public/download/app.deb")}));
        }
        done.set_value();
        watchdog.join();

        EXPECT_FALSE(blocked) << row.name;
        EXPECT_EQ(treeState(other).join('\n').toStdString(), before.join('\n').toStdString()) << row.name;
        if (row.homeOwner != 0) {
            EXPECT_EQ(treeState(home()).filter(QRegularExpression("^\\S+ 0 ")).join('\n').toStdString(), "")
                << row.name;
        }
        if (row.run == Readers)
            continue;
        EXPECT_EQ(out.events.join(' ').toStdString(), row.expected.isEmpty() ? "exit" : "fail") << row.name;
        EXPECT_EQ(out.message.left(row.expected.size()).toStdString(), row.expected.toStdString()) << row.name;
        if (row.expected == installed) {
            EXPECT_EQ(readAll(components() + "/PolicyServer/policy.bin"), QByteArray("P1")) << row.name;
        }
        if (row.expected.isEmpty()) {
            EXPECT_EQ(readAll(rootDir.path() + "/app.deb"), QByteArray("DEB PACKAGE BYTES\n"));
        }
    }
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

} // namespace
