#pragma once
// Shared pieces of the HTTP client tests: one stand-in server per test
// program, and a helper that runs one request to its end.

#include "AccessServer.h"
#include "session/HttpNetworkManager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSslConfiguration>
#include <QStringList>
#include <QTimer>

#include "tessal_config.h"

#include <gtest/gtest.h>

namespace tessal {
namespace test {

inline QJsonObject jsonRoute(std::initializer_list<QPair<QString, QJsonValue>> fields)
{
    QJsonObject o;
    for (const auto& f : fields)
        o.insert(f.first, f.second);
    return o;
}

inline QJsonObject textHeaders()
{
    return QJsonObject{{"Content-Type", "text/plain"}};
}

struct Outcome {
    int code = -1;
    QString message;
    QStringList events; // "data" for ResponseDataAvailable, "done" for RequestFinished
    QList<QPair<qlonglong, qlonglong>> progress;
    int denied = 0;
    qint64 elapsedMs = 0;
};

// Waits for RequestFinished (20 s at most, so a broken client fails instead of hanging).
inline Outcome waitForResult(qt::HttpNetworkManager& m, const std::function<void()>& start)
{
    Outcome out;
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    auto c1 = QObject::connect(&m, &qt::HttpNetworkManager::ResponseDataAvailable, &loop,
                               [&](QNetworkReply*) { out.events << QStringLiteral("data"); });
    auto c2 =
        QObject::connect(&m, qOverload<qt::Err::HttpNetworkManager, QString>(&qt::HttpNetworkManager::RequestFinished),
                         &loop, [&](qt::Err::HttpNetworkManager code, const QString& message) {
                             out.code = code;
                             out.message = message;
                             out.events << QStringLiteral("done");
                             loop.quit();
                         });
    auto c3 =
        QObject::connect(&m, &qt::HttpNetworkManager::DownloadProgress, &loop, [&](qlonglong total, qlonglong done) {
            out.progress.append({total, done});
        });
    auto c4 = QObject::connect(&m, &qt::HttpNetworkManager::SslCertificateDenied, &loop,
                               [&](QNetworkReply*) { ++out.denied; });
    QElapsedTimer clock;
    clock.start();
    start();
    if (!out.events.contains(QStringLiteral("done"))) {
        guard.start(120000); // only a safety net: large bodies under the sanitizers are slow
        loop.exec();
    }
    out.elapsedMs = clock.elapsed();
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    QObject::disconnect(c3);
    QObject::disconnect(c4);
    return out;
}

inline Outcome get(qt::HttpNetworkManager& m, const QUrl& url, uint32_t timeoutMs = 15000)
{
    return waitForResult(m, [&] { m.HttpGet(url, timeoutMs); });
}

inline Outcome post(qt::HttpNetworkManager& m, const QUrl& url, const QString& body)
{
    return waitForResult(m, [&] { m.HttpPost(url, body); });
}

inline QString bodyText(const qt::HttpNetworkManager& m)
{
    return QString::fromUtf8(m.body().data(), static_cast<int>(m.body().size()));
}

// The download folder of this build and the files the client left in it.
inline QString downloadFolder()
{
    return QStringLiteral(TESSAL_SYSTEM_PATH("/tmp"));
}
inline QStringList downloadedFiles()
{
    return QDir(downloadFolder()).entryList({QStringLiteral("launcherDownloaded*")}, QDir::Files);
}

// The stand-in and certificates shared by a test program; made on first use.
struct SharedServer {
    TestCertificates certs;
    AccessServer server;
    QString switchCert, switchKey; // the certificate of listener "switch", replaced by tests
    bool ok = false;

    static SharedServer*& slot()
    {
        static SharedServer* s = nullptr;
        return s;
    }
    static SharedServer& instance()
    {
        if (!slot())
            slot() = new SharedServer;
        return *slot();
    }
    // Stopped while the application object still exists.
    static void release()
    {
        delete slot();
        slot() = nullptr;
    }

private:
    SharedServer()
    {
        if (!certs.make()) {
            ADD_FAILURE() << certs.error().toStdString();
            return;
        }
        switchCert = certs.dir() + QStringLiteral("/switch.pem");
        switchKey = certs.dir() + QStringLiteral("/switch.key");
        QFile::copy(certs.selfCert, switchCert);
        QFile::copy(certs.selfKey, switchKey);
        const QString https = QStringLiteral("https");
        ok = server.start({AccessServer::Listener(QStringLiteral("http")),
                           AccessServer::Listener(QStringLiteral("other")),
                           AccessServer::Listener(QStringLiteral("tls"), https, certs.serverCert, certs.serverKey),
                           AccessServer::Listener(QStringLiteral("selfA"), https, certs.selfCert, certs.selfKey),
                           AccessServer::Listener(QStringLiteral("selfB"), https, certs.selfCert, certs.selfKey),
                           AccessServer::Listener(QStringLiteral("selfC"), https, certs.selfCert, certs.selfKey),
                           AccessServer::Listener(QStringLiteral("switch"), https, switchCert, switchKey)});
        if (!ok) {
            ADD_FAILURE() << server.error().toStdString();
            return;
        }
        // The client takes the toolkit's default configuration: trust the test CA.
        QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
        conf.addCaCertificates(certs.caCert);
        QSslConfiguration::setDefaultConfiguration(conf);
    }
};

class SharedServerEnvironment : public testing::Environment
{
public:
    void TearDown() override { SharedServer::release(); }
};

inline const bool kSharedServerEnvironment = (testing::AddGlobalTestEnvironment(new SharedServerEnvironment), true);

} // namespace test
} // namespace tessal
