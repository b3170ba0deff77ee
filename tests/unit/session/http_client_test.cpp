// The HTTP client against the access-server stand-in: headers, results,
// redirections, inactivity limit, size cap, gzip, file mode.
#include "RecordingLog.h"
#include "http_test_support.h"

#include <QFile>
#include <QFileInfo>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QTest>

#include <atomic>
#include <cstring>
#include <dlfcn.h>
#include <sys/time.h>
#include <time.h>

// The wall clock of this program, as the toolkit and the client read it, can
// be stepped back without touching the machine's: these definitions come
// before the C library's for every library of the process.
namespace {
std::atomic<long long> g_wallStepSeconds{0};
}
extern "C" int clock_gettime(clockid_t id, struct timespec* ts) noexcept
{
    using Real = int (*)(clockid_t, struct timespec*);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int rc = real(id, ts);
    if (rc == 0 && (id == CLOCK_REALTIME || id == CLOCK_REALTIME_COARSE))
        ts->tv_sec -= g_wallStepSeconds.load();
    return rc;
}
extern "C" int gettimeofday(struct timeval* tv, void* tz) noexcept
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tv->tv_sec = now.tv_sec;
    tv->tv_usec = now.tv_nsec / 1000;
    if (tz != nullptr)
        std::memset(tz, 0, sizeof(struct timezone));
    return 0;
}
extern "C" time_t time(time_t* out) noexcept
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (out != nullptr)
        *out = now.tv_sec;
    return now.tv_sec;
}

using namespace tessal::test;
using tessal::qt::HttpNetworkManager;

namespace {

class HttpClientTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(shared().ok);
        shared().server.clearLog();
    }
    static SharedServer& shared() { return SharedServer::instance(); }
    static AccessServer& server() { return shared().server; }
    static QUrl url(const QString& path, const QString& listener = QStringLiteral("http"))
    {
        return server().url(path, listener);
    }
    static void routes(const QJsonArray& r) { ASSERT_TRUE(server().setRoutes(r)); }
};

TEST_F(HttpClientTest, GetSendsFixedHeadersAndSessionCookie)
{
    routes({jsonRoute({{"path", "/h"}, {"headers", textHeaders()}, {"body", "hello"}})});
    HttpNetworkManager m("abc123");
    const Outcome r = get(m, url("/h?x=1"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.message, "Success");
    EXPECT_EQ(bodyText(m), "hello");
    EXPECT_EQ(r.events, QStringList({"data", "done"}));
    ASSERT_EQ(server().requests().size(), 1);
    const QJsonObject req = server().requests().first();
    const QJsonObject h = req["headers"].toObject();
    EXPECT_EQ(req["method"].toString(), "GET");
    EXPECT_EQ(req["query"].toString(), "x=1");
    EXPECT_EQ(h["User-Agent"].toString(), "Mozilla/5.0 (Linux) TessalLauncher/1.0");
    EXPECT_EQ(h["Accept-Encoding"].toString(), "gzip");
    EXPECT_EQ(h["Content-Type"].toString(), "application/x-www-form-urlencoded");
    EXPECT_EQ(h["Cookie"].toString(), "MRHSession=abc123");
}

TEST_F(HttpClientTest, NoCookieWithoutSessionAndPostBodyEndsAtNul)
{
    routes({jsonRoute({{"path", "/p"}, {"method", "POST"}, {"body", ""}})});
    HttpNetworkManager m("");
    const Outcome r = post(m, url("/p"), QStringLiteral("no-inspection-host=1") + QChar(0) + "hidden");
    EXPECT_EQ(r.code, 0);
    const QJsonObject req = server().requests().first();
    EXPECT_EQ(req["method"].toString(), "POST");
    EXPECT_EQ(req["body"].toString(), "no-inspection-host=1");
    EXPECT_FALSE(req["headers"].toObject().contains("Cookie"));
}

TEST_F(HttpClientTest, HttpErrorStatusesGiveCode1)
{
    routes({jsonRoute({{"path", "/404"}, {"status", 404}, {"headers", textHeaders()}, {"body", "missing"}}),
            jsonRoute({{"path", "/500"}, {"status", 500}, {"body", "boom"}}),
            jsonRoute({{"path", "/303"}, {"status", 303}, {"redirect", "/h"}}),
            jsonRoute({{"path", "/308"}, {"status", 308}, {"redirect", "/h"}}),
            jsonRoute({{"path", "/204"}, {"status", 204}})});
    HttpNetworkManager m("");
    for (int status : {404, 500, 303, 308, 204}) {
        const Outcome r = get(m, url(QStringLiteral("/%1").arg(status)));
        EXPECT_EQ(r.code, 1) << status;
        EXPECT_EQ(r.message, QStringLiteral("Wrong HTTP code %1").arg(status));
    }
    EXPECT_EQ(server().requests().size(), 5); // 303 and 308 are not followed
}

TEST_F(HttpClientTest, RefusedConnectionGivesNetworkError)
{
    HttpNetworkManager m("");
    const Outcome r = get(m, QUrl("http://127.0.0.1:1/"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.message, "Network error");
    EXPECT_EQ(r.events, QStringList({"data", "done"}));
}

TEST_F(HttpClientTest, TenRedirectionsPassAndTheEleventhGives7)
{
    QJsonArray r;
    const int statuses[] = {301, 302, 307};
    for (int i = 0; i < 11; ++i)
        r.append(jsonRoute({{"path", QStringLiteral("/r%1").arg(i)},
                            {"status", statuses[i % 3]},
                            {"redirect", QStringLiteral("/r%1").arg(i + 1)}}));
    r.append(jsonRoute({{"path", "/r11"}, {"headers", textHeaders()}, {"body", "end"}}));
    routes(r);
    HttpNetworkManager m("");
    const Outcome ten = get(m, url("/r1"));
    EXPECT_EQ(ten.code, 0);
    EXPECT_EQ(bodyText(m), "end");
    EXPECT_EQ(ten.events.count("data"), 11); // every reply is offered, the intermediate ones included
    server().clearLog();
    const Outcome eleven = get(m, url("/r0"));
    EXPECT_EQ(eleven.code, 7);
    EXPECT_EQ(eleven.message, "Max HTTP redirection (10) reached");
    EXPECT_EQ(server().requests().size(), 11);
}

TEST_F(HttpClientTest, FollowUpKeepsHeadersAndCookieOnlyForSameOrigin)
{
    routes({jsonRoute({{"path", "/dir/a"}, {"redirect", "b?x=1"}}),
            jsonRoute({{"path", "/dir/b"}, {"redirect", "http://127.0.0.1:{port:other}/c"}}),
            jsonRoute({{"path", "/c"}, {"headers", textHeaders()}, {"body", "moved"}})});
    HttpNetworkManager m("sid42");
    m.request().setRawHeader("X-ACCESS-Session-Token", "token");
    const Outcome r = get(m, url("/dir/a"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(bodyText(m), "moved");
    const QList<QJsonObject> log = server().requests();
    ASSERT_EQ(log.size(), 3);
    // A relative target is resolved against the current URL: its query stays a query.
    EXPECT_EQ(log[1]["path"].toString(), "/dir/b");
    EXPECT_EQ(log[1]["query"].toString(), "x=1");
    for (const QJsonObject& req : log)
        EXPECT_EQ(req["headers"].toObject()["User-Agent"].toString(), "Mozilla/5.0 (Linux) TessalLauncher/1.0");
    EXPECT_EQ(log[1]["headers"].toObject()["Cookie"].toString(), "MRHSession=sid42");
    EXPECT_EQ(log[1]["headers"].toObject()["X-ACCESS-Session-Token"].toString(), "token");
    EXPECT_EQ(log[2]["listener"].toString(), "other");
    EXPECT_FALSE(log[2]["headers"].toObject().contains("Cookie"));
    EXPECT_FALSE(log[2]["headers"].toObject().contains("X-ACCESS-Session-Token"));
    EXPECT_EQ(log[2]["headers"].toObject()["Accept-Encoding"].toString(), "gzip");
}

// The jar's cookies, stored by the client or set by the server, go only to
// their own origin (scheme, host and port), wherever a redirection leads.
TEST_F(HttpClientTest, JarCookiesStayWithTheirOrigin)
{
    const struct {
        const char* redirect;
        QStringList cookieAt; // per request: the listener, "+" when it got the cookies
    } rows[] = {
        {"http://127.0.0.1:{port:other}/c", {"http+", "other"}},
        {"http://127.0.0.1:{port:other}/back", {"http+", "other", "http+"}},
        {"/c", {"http+", "http+"}},
    };
    for (const auto& row : rows) {
        routes({jsonRoute({{"path", "/jar/a"},
                           {"headers", QJsonObject{{"Set-Cookie", "Served=s1; Path=/"}}},
                           {"redirect", row.redirect}}),
                jsonRoute({{"path", "/back"}, {"redirect", "http://127.0.0.1:{port:http}/c"}}),
                jsonRoute({{"path", "/c"}, {"headers", textHeaders()}, {"body", "moved"}})});
        server().clearLog();
        HttpNetworkManager m;
        const QUrl start = url("/jar/a");
        QNetworkCookie stored("NAToken", "tok1");
        stored.setPath("/");
        m.cookieJar()->setCookiesFromUrl({stored}, start);
        EXPECT_EQ(get(m, start).code, 0) << row.redirect;
        QStringList seen;
        for (const QJsonObject& req : server().requests()) {
            const QString cookie = req["headers"].toObject()["Cookie"].toString();
            const bool all =
                cookie.contains("NAToken=tok1") && (req["path"] == "/jar/a" || cookie.contains("Served=s1"));
            EXPECT_TRUE(all || cookie.isEmpty()) << row.redirect << " " << cookie.toStdString();
            seen << req["listener"].toString() + (all ? "+" : "");
        }
        EXPECT_EQ(seen.join(' ').toStdString(), row.cookieAt.join(' ').toStdString()) << row.redirect;
    }
}

TEST_F(HttpClientTest, RedirectionDowngradeAndForeignSchemesFail)
{
    routes({jsonRoute({{"path", "/down"}, {"redirect", "http://127.0.0.1:{port:http}/h"}}),
            jsonRoute({{"path", "/ftp"}, {"redirect", "ftp://127.0.0.1/x"}}),
            jsonRoute({{"path", "/h"}, {"headers", textHeaders()}, {"body", "plain"}})});
    HttpNetworkManager m("");
    const Outcome down = get(m, url("/down", "tls"));
    EXPECT_EQ(down.code, 2);
    EXPECT_EQ(down.message, "Network error");
    const Outcome ftp = get(m, url("/ftp"));
    EXPECT_EQ(ftp.code, 2);
    EXPECT_EQ(server().requests().size(), 2); // neither target was asked for
}

TEST_F(HttpClientTest, SilentServerIsAbortedAfterTheInactivityLimit)
{
    routes(
        {jsonRoute({{"path", "/silent"}, {"silence", true}}), jsonRoute({{"path", "/hop"}, {"redirect", "/silent"}})});
    HttpNetworkManager m("");
    const Outcome r = get(m, url("/silent"), 300);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.message, "Network error");
    EXPECT_GE(r.elapsedMs, 280);
    EXPECT_LT(r.elapsedMs, 5000);
    // The follow-up of a redirection keeps the limit.
    const Outcome hop = get(m, url("/hop"), 300);
    EXPECT_EQ(hop.code, 2);
    EXPECT_LT(hop.elapsedMs, 5000);
    // The wall clock stepped back an hour while the server is silent.
    QTimer::singleShot(100, [] { g_wallStepSeconds = 3600; });
    const Outcome stepped = get(m, url("/silent"), 300);
    g_wallStepSeconds = 0;
    EXPECT_EQ(stepped.code, 2);
    EXPECT_LT(stepped.elapsedMs, 5000);
}

TEST_F(HttpClientTest, TricklingServerIsNeverCut)
{
    routes({jsonRoute({{"path", "/trickle"},
                       {"headers", textHeaders()},
                       {"trickle", QJsonObject{{"bytes", 4}, {"interval_ms", 100}}},
                       {"body", "0123456789abcdefghijklmnopqrstuvwxyzABCD"}})});
    HttpNetworkManager m("");
    const Outcome r = get(m, url("/trickle"), 600); // whole transfer ~1 s, pieces every 0.1 s
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(bodyText(m), "0123456789abcdefghijklmnopqrstuvwxyzABCD");
    EXPECT_GT(r.elapsedMs, 800);
    ASSERT_FALSE(r.progress.isEmpty());
    EXPECT_EQ(r.progress.last(), qMakePair(40LL, 40LL));

    // ... but its whole time is bounded; the announced size adds its share.
    for (const uint32_t perMiBMs : {0u, 5000u}) {
        m.setBounds({HttpNetworkManager::kMaxBodySize, 400, perMiBMs});
        EXPECT_EQ(get(m, url("/trickle"), 600).code, perMiBMs ? 0 : 2) << perMiBMs;
    }
}

TEST_F(HttpClientTest, ProgressOnlyWithContentLength)
{
    routes({jsonRoute({{"path", "/len"}, {"headers", textHeaders()}, {"body", "abc"}}),
            jsonRoute({{"path", "/chunked"}, {"headers", textHeaders()}, {"chunked", true}, {"body", "abc"}})});
    HttpNetworkManager m("");
    const Outcome len = get(m, url("/len"));
    ASSERT_EQ(len.progress.size(), 1);
    EXPECT_EQ(len.progress.first(), qMakePair(3LL, 3LL));
    const Outcome chunked = get(m, url("/chunked"));
    EXPECT_EQ(chunked.code, 0);
    EXPECT_TRUE(chunked.progress.isEmpty());
    EXPECT_EQ(bodyText(m), "abc");
}

TEST_F(HttpClientTest, GzipBodyIsDecompressedInMemoryMode)
{
    routes({jsonRoute({{"path", "/gz"}, {"headers", textHeaders()}, {"gzip", true}, {"body", "<profile/>"}}),
            jsonRoute({{"path", "/bad"}, {"headers", textHeaders()}, {"gzip_invalid", true}})});
    HttpNetworkManager m("");
    EXPECT_EQ(get(m, url("/gz")).code, 0);
    EXPECT_EQ(bodyText(m), "<profile/>");
    const Outcome bad = get(m, url("/bad"));
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(bad.message, "Network error");
}

TEST_F(HttpClientTest, SizeCapAtItsBoundaryInMemory)
{
    const qint64 limit = HttpNetworkManager::kMaxBodySize;
    routes({jsonRoute({{"path", "/max"}, {"headers", textHeaders()}, {"body_size", double(limit)}}),
            jsonRoute({{"path", "/over"}, {"headers", textHeaders()}, {"body_size", double(limit + 1)}})});
    HttpNetworkManager m("");
    EXPECT_EQ(get(m, url("/max")).code, 0);
    EXPECT_EQ(static_cast<qint64>(m.body().size()), limit);
    const Outcome over = get(m, url("/over"));
    EXPECT_EQ(over.code, 2);
    EXPECT_EQ(over.message, "Network error");
}

TEST_F(HttpClientTest, SizeCapAtItsBoundaryInFileMode)
{
    const qint64 limit = HttpNetworkManager::kMaxBodySize;
    routes({jsonRoute({{"path", "/max"}, {"headers", textHeaders()}, {"body_size", double(limit)}}),
            jsonRoute({{"path", "/over"}, {"headers", textHeaders()}, {"body_size", double(limit + 1)}})});
    const QStringList before = downloadedFiles();
    HttpNetworkManager m("", true);
    EXPECT_EQ(get(m, url("/max")).code, 0);
    const QString file = m.TempFileName();
    EXPECT_EQ(QFileInfo(file).size(), limit);
    EXPECT_TRUE(QFile::remove(file));
    EXPECT_EQ(get(m, url("/over")).code, 2);
    EXPECT_EQ(downloadedFiles(), before); // the cut download left nothing behind
}

// An owner's bound stops the body as it arrives (the server's answer ends
// long before its body), in memory and file mode, and holds once inflated.
TEST_F(HttpClientTest, OwnBoundStopsTheBodyAsItArrives)
{
    routes({jsonRoute({{"path", "/fit"}, {"headers", textHeaders()}, {"body_size", 4096}}),
            jsonRoute({{"path", "/big"}, {"headers", textHeaders()}, {"body_size", 100 << 20}}),
            jsonRoute({{"path", "/gz"}, {"headers", textHeaders()}, {"gzip", true}, {"body_size", 4097}})});
    RecordingLog log;
    for (const QString row : {"/fit", "/big", "/gz", "+/fit", "+/big"}) {
        server().clearLog();
        HttpNetworkManager m("", row.startsWith('+'));
        m.setBounds({4096, 0, 0});
        const bool fits = row.endsWith("fit");
        EXPECT_EQ(get(m, url(QString(row).remove('+'))).code, fits ? 0 : 2) << row.toStdString();
        EXPECT_EQ(m.bodyBoundReached(), !fits) << row.toStdString();
        QFile::remove(m.TempFileName());
        ASSERT_TRUE(QTest::qWaitFor([] { return !server().answers().isEmpty(); }, 10000)) << row.toStdString();
        EXPECT_LT(server().answers().first()["sent"].toInt(), 25 << 20) << row.toStdString();
    }
    EXPECT_EQ(log.withMessage("HTTP per-response size exceedes max memory (200MB)").size(), 3);
}

TEST_F(HttpClientTest, FileModeWritesOwnerOnlyFileAndCleansUpFailures)
{
    routes({jsonRoute({{"path", "/pkg"},
                       {"headers", QJsonObject{{"Content-Type", "application/octet-stream"}}},
                       {"gzip", true},
                       {"body", "package"}}),
            jsonRoute({{"path", "/empty"}, {"headers", textHeaders()}}),
            jsonRoute({{"path", "/notype"}, {"body", "data"}}),
            jsonRoute({{"path", "/cut"}, {"headers", textHeaders()}, {"body_size", 100000}, {"cut_after", 5000}}),
            jsonRoute({{"path", "/gone"}, {"status", 404}, {"headers", textHeaders()}, {"body", "not here"}})});
    const QStringList before = downloadedFiles();
    HttpNetworkManager m("", true);

    EXPECT_EQ(get(m, url("/pkg")).code, 0);
    const QString file = m.TempFileName();
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(file.startsWith(downloadFolder() + "/launcherDownloaded"));
    EXPECT_EQ(QFileInfo(file).permissions() & 0x7077,
              QFileDevice::ReadOwner | QFileDevice::ExeOwner); // owner read and execute only
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(2) == QByteArray("\x1f\x8b")); // a file is kept as the server sent it
    f.close();
    EXPECT_TRUE(QFile::remove(file));

    const Outcome empty = get(m, url("/empty"));
    EXPECT_EQ(empty.code, 0);
    EXPECT_TRUE(m.TempFileName().isEmpty());

    EXPECT_EQ(get(m, url("/notype")).code, 2);
    EXPECT_EQ(get(m, url("/cut")).code, 2);
    EXPECT_EQ(get(m, url("/gone")).code, 1);
    EXPECT_EQ(downloadedFiles(), before);
}

TEST_F(HttpClientTest, DestroyingTheClientMidDownloadRemovesThePartialFile)
{
    routes({jsonRoute({{"path", "/slow"},
                       {"headers", textHeaders()},
                       {"body_size", 1000},
                       {"trickle", QJsonObject{{"bytes", 100}, {"interval_ms", 50}}}})});
    const QStringList before = downloadedFiles();
    {
        HttpNetworkManager m("", true);
        m.HttpGet(url("/slow"), 15000);
        QEventLoop loop;
        QObject::connect(&m, &HttpNetworkManager::DownloadProgress, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_NE(downloadedFiles(), before);
    }
    EXPECT_EQ(downloadedFiles(), before);
}

} // namespace
