#pragma once
// What the updater and installer tests share: one stand-in server per
// program, a temporary HOME, stub desktop tools first in PATH that record
// their arguments, packages signed with the test-only key, and a runner that
// waits for the updater's one outcome.

#include "AccessServer.h"
#include "ChildState.h"
#include "ModalDialogAnswerer.h"

#include "session/ConnectivityProfileParser.h"
#include "session/UnixAutoUpdater.h"

#include "tessal_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace tessal {
namespace test {

using Updater = qt::UnixAutoUpdater<qt::MacPackage>;

inline QString rpmMarker()
{
    return QStringLiteral(TESSAL_SYSTEM_PATH("/opt/tessal/vpn/.rpm"));
}
inline QString installerLog()
{
    return QStringLiteral(TESSAL_SYSTEM_PATH("/tmp/tessalinstall.log"));
}

inline void setRpmMarker(bool present)
{
    QDir().mkpath(QFileInfo(rpmMarker()).path());
    if (present) {
        QFile f(rpmMarker());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    } else {
        QFile::remove(rpmMarker());
    }
}

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The stand-in, shared by the tests of one program.
inline AccessServer& sharedServer()
{
    static AccessServer* server = [] {
        auto* s = new AccessServer;
        if (!s->start())
            ADD_FAILURE() << s->error().toStdString();
        return s;
    }();
    return *server;
}

inline QJsonObject fileRoute(const QString& path, const QString& file)
{
    return QJsonObject{
        {"path", path}, {"headers", QJsonObject{{"Content-Type", "application/octet-stream"}}}, {"body_file", file}};
}

class UpdateTestBed : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid() && m_stubs.isValid() && m_files.isValid());
        m_oldHome = qgetenv("HOME");
        m_oldPath = qgetenv("PATH");
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("PATH", (m_stubs.path() + QLatin1Char(':') + QString::fromLocal8Bit(m_oldPath)).toUtf8());
        for (const char* tool : {"pkcon", "xdg-open", "open"})
            makeStub(QString::fromLatin1(tool));
        QDir().mkpath(QFileInfo(installerLog()).path());
        QFile::remove(installerLog());
        setRpmMarker(false);
        sharedServer().clearLog();
        ASSERT_TRUE(sharedServer().setRoutes(QJsonArray()));
    }

    void TearDown() override
    {
        setRpmMarker(false);
        qputenv("HOME", m_oldHome);
        qputenv("PATH", m_oldPath);
    }

    // A stub tool: records what it inherited in <stubs>/<tool>.state and
    // each argument on a line, prints a line, exits with the code in
    // <stubs>/<tool>.exit (0 when absent).
    void makeStub(const QString& tool)
    {
        const QString dir = m_stubs.path();
        const QString state = QString::fromStdString(
            childStateCommand((dir + QLatin1Char('/') + tool + QStringLiteral(".state")).toStdString()));
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "%3\n"
                                              "printf '%s\\n' \"$@\" > '%1/%2.args'\n"
                                              "echo \"%2 stub output\"\n"
                                              "code=0\n"
                                              "[ -f '%1/%2.exit' ] && code=$(cat '%1/%2.exit')\n"
                                              "exit $code\n")
                                   .arg(dir, tool, state);
        const QString path = dir + QLatin1Char('/') + tool;
        ASSERT_TRUE(writeFile(path, script.toUtf8()));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    void setStubExit(const QString& tool, int code)
    {
        ASSERT_TRUE(
            writeFile(m_stubs.path() + QLatin1Char('/') + tool + QStringLiteral(".exit"), QByteArray::number(code)));
    }
    QStringList stubArgs(const QString& tool) const
    {
        const QByteArray text = readAll(m_stubs.path() + QLatin1Char('/') + tool + QStringLiteral(".args"));
        if (text.isEmpty())
            return {};
        return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool stubRan(const QString& tool) const
    {
        return QFile::exists(m_stubs.path() + QLatin1Char('/') + tool + QStringLiteral(".args"));
    }

    // A file served by the stand-in; returns its local path.
    QString serverFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_files.path() + QLatin1Char('/') + name;
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }

    // Base64 of the RSA signature over the file's MD5 digest, made with the test-only key.
    QString sign(const QString& file)
    {
        const QString out = file + QStringLiteral(".sig");
        const QString error = runOpenssl({QStringLiteral("dgst"), QStringLiteral("-md5"), QStringLiteral("-sign"),
                                          QStringLiteral(TESSAL_TEST_SIGNING_KEY), QStringLiteral("-out"), out, file},
                                         m_files.path());
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return QString::fromLatin1(readAll(out).toBase64());
    }

    static qt::MacPackage package(const std::string& id, const std::string& version, const std::string& signature = {},
                                  const std::string& source = {}, const std::string& minVersion = {})
    {
        qt::MacPackage p;
        p.id = id;
        p.version = version;
        p.signature = signature;
        p.source = source;
        p.minVersion = minVersion;
        return p;
    }

    static qt::ConnectivityProfileParser profile(std::initializer_list<qt::MacPackage> packages)
    {
        qt::ConnectivityProfileParser p;
        for (const qt::MacPackage& package : packages)
            p.linuxPackages.push_back(package);
        return p;
    }

    static QString appId() { return QString::fromStdString(Updater::GetPackageSuffix().insert(0, "NetworkAccessApp")); }
    QString downloads() const { return m_home.path() + QStringLiteral("/Downloads"); }
    QString home() const { return m_home.path(); }
    QString stubs() const { return m_stubs.path(); }

    struct Outcome {
        QStringList events; // "success", "fail", "ignored", "installIgnored", "exit"
        QString message;
        bool ignore = false;
        int count() const { return static_cast<int>(events.size()); }
    };

    // Starts the run and waits for its end: one of the four events, or the
    // event loop being asked to exit (the installer ending the program).
    // Waits a little longer to see that no second signal follows.
    Outcome run(Updater& updater, const qt::ConnectivityProfileParser& parser)
    {
        Outcome out;
        QEventLoop loop;
        auto done = [&](const QString& what) {
            out.events << what;
            QTimer::singleShot(150, &loop, &QEventLoop::quit);
        };
        QObject::connect(&updater, &qt::AutoUpdater::UpdateSuccess, &loop, [&] { done(QStringLiteral("success")); });
        QObject::connect(&updater, &qt::AutoUpdater::UpdateFail, &loop, [&](const QString& m, bool ignore) {
            out.message = m;
            out.ignore = ignore;
            done(QStringLiteral("fail"));
        });
        QObject::connect(&updater, &qt::AutoUpdater::UpdateIgnored, &loop, [&] { done(QStringLiteral("ignored")); });
        QObject::connect(&updater, &qt::AutoUpdater::InstallIgnored, &loop,
                         [&] { done(QStringLiteral("installIgnored")); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        updater.CheckForUpdates(parser);
        guard.start(20000);
        // A run that ends the program asks the loop to exit; that ends this loop with code 0.
        const int code = out.events.isEmpty() ? loop.exec() : (loop.exec(), 0);
        if (out.events.isEmpty() && guard.isActive() && code == 0)
            out.events << QStringLiteral("exit");
        return out;
    }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_stubs;
    QTemporaryDir m_files;
    QByteArray m_oldHome;
    QByteArray m_oldPath;
};

} // namespace test
} // namespace tessal
