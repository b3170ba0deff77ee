// FileDownloader against the stand-in.
#include "http_test_support.h"

#include "session/FileDownloader.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

using namespace tessal::test;
using tessal::qt::FileDownloader;

namespace {

struct Download {
    bool done = false;
    QString failed;
    bool succeeded = false;
    std::string file;
    QList<QPair<qlonglong, qlonglong>> progress;
};

Download run(const QUrl& url)
{
    FileDownloader d(url, "sid");
    Download out;
    QEventLoop loop;
    QObject::connect(&d, &FileDownloader::FileDownloadFailed, &loop, [&](const QString& m) {
        out.failed = m;
        out.done = true;
        loop.quit();
    });
    QObject::connect(&d, &FileDownloader::FileDownloadSuccess, &loop, [&](const std::string& f) {
        out.file = f;
        out.succeeded = true;
        out.done = true;
        loop.quit();
    });
    QObject::connect(&d, &FileDownloader::FileDownloadProgress, &loop, [&](qlonglong total, qlonglong done) {
        out.progress.append({total, done});
    });
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    d.StartDownload();
    loop.exec();
    return out;
}

class FileDownloaderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SharedServer::instance().ok);
        SharedServer::instance().server.clearLog();
        ASSERT_TRUE(SharedServer::instance().server.setRoutes(QJsonArray{
            jsonRoute({{"path", "/public/download/pkg.deb"},
                       {"headers", QJsonObject{{"Content-Type", "application/octet-stream"}}},
                       {"body", "DEBPACKAGE"}}),
            jsonRoute({{"path", "/public/download/empty"}, {"headers", textHeaders()}}),
            jsonRoute({{"path", "/public/download/notype"}, {"body", "x"}}),
            jsonRoute(
                {{"path", "/public/download/chunked"}, {"headers", textHeaders()}, {"chunked", true}, {"body", "abc"}}),
        }));
    }
    static QUrl url(const QString& path) { return SharedServer::instance().server.url(path); }
};

TEST_F(FileDownloaderTest, DownloadsIntoAnOwnerOnlyFile)
{
    const Download d = run(url("/public/download/pkg.deb"));
    ASSERT_TRUE(d.succeeded) << d.failed.toStdString();
    const QString file = QString::fromStdString(d.file);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("DEBPACKAGE"));
    EXPECT_EQ(QFileInfo(file).permissions() & 0x7077, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(d.progress.last(), qMakePair(10LL, 10LL));
    EXPECT_TRUE(QFile::remove(file));
    const QJsonObject req = SharedServer::instance().server.requests().first();
    EXPECT_EQ(req["headers"].toObject()["Cookie"].toString(), "MRHSession=sid");
}

TEST_F(FileDownloaderTest, Failures)
{
    const QStringList before = downloadedFiles();
    const Download missing = run(url("/public/download/none"));
    EXPECT_EQ(missing.failed, "Wrong HTTP code 404");
    const Download notype = run(url("/public/download/notype"));
    EXPECT_EQ(notype.failed, "Network error");
    EXPECT_EQ(downloadedFiles(), before);
}

TEST_F(FileDownloaderTest, EmptyBodyAndNoLength)
{
    const Download empty = run(url("/public/download/empty"));
    EXPECT_TRUE(empty.succeeded);
    EXPECT_EQ(empty.file, "");
    const Download chunked = run(url("/public/download/chunked"));
    EXPECT_TRUE(chunked.succeeded);
    EXPECT_TRUE(chunked.progress.isEmpty());
    QFile::remove(QString::fromStdString(chunked.file));
}

} // namespace
