// The stand-in's resource page in a real web view: it finds "external",
// reports every signal to the server and runs the calls the server asks for.
#include "AccessServer.h"

#include <QApplication>
#include <QFile>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <QtTest>

using tessal::test::AccessServer;

// A stand-in for the client's page bridge: a few of its signals and methods.
class StubBridge : public QObject
{
    Q_OBJECT
public:
    QStringList calls;
signals:
    void onTunnelAdd(QString id, QString type);
    void onTunnelData(QString id, qlonglong outLow, qlonglong inLow, qlonglong outTop, qlonglong inTop);
    void onTunnelConnected(QString id, QString conflicts);
    void onTunnelError(QString id, QString reason);
public slots:
    void disconnectResource(QString id) { calls << QStringLiteral("disconnectResource:") + id; }
    QString getIpTable() { return QStringLiteral("PHRhYmxlPg=="); }
};

class ResourcePageTest : public QObject
{
    Q_OBJECT

private:
    QList<QJsonObject> pageRequests(const QString& kind) const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& r : m_server.requests())
            if (r["path"].toString() == QStringLiteral("/__page/") + kind)
                out << r;
        return out;
    }
    bool waitFor(const QString& kind, int n)
    {
        return QTest::qWaitFor([&] { return pageRequests(kind).size() >= n; }, 20000);
    }
    static QString queryValue(const QJsonObject& r, const QString& key)
    {
        return QUrlQuery(r["query"].toString()).queryItemValue(key, QUrl::FullyDecoded);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.start(), qPrintable(m_server.error()));
        const QString page = QCoreApplication::applicationDirPath() + "/access_server_pages/resource_template.html";
        QVERIFY(QFile::exists(page));
        QVERIFY(m_server.setRoutes(QJsonArray{
            QJsonObject{{"path", "/vdesk/resource_template"},
                        {"headers", QJsonObject{{"Content-Type", "text/html; charset=utf-8"}}},
                        {"body_file", page}},
            QJsonObject{{"path", "/__page/actions"},
                        {"times", 1},
                        {"headers", QJsonObject{{"Content-Type", "application/json"}}},
                        {"body", R"([{"call": "disconnectResource", "args": ["res1"]}, {"call": "getIpTable"}])"}},
            QJsonObject{{"path_prefix", "/__page/"}, {"status", 204}},
        }));
    }

    void pageTalksThroughExternal()
    {
        QWebEngineView view;
        StubBridge bridge;
        // The client's own bootstrap: the channel script plus a global "external".
        QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        QVERIFY(channelJs.open(QIODevice::ReadOnly));
        QWebEngineScript script;
        script.setName(QStringLiteral("qwebchannel.js"));
        script.setSourceCode(QString::fromUtf8(channelJs.readAll()) +
                             "\nvar external\nnew QWebChannel(qt.webChannelTransport, function(channel) {"
                             "     external = channel.objects.external;});");
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setRunsOnSubFrames(false);
        script.setWorldId(QWebEngineScript::MainWorld);
        view.page()->scripts().insert(script);
        auto* channel = new QWebChannel(view.page());
        view.page()->setWebChannel(channel, QWebEngineScript::MainWorld);
        channel->registerObject(QStringLiteral("external"), &bridge);

        view.load(m_server.url("/vdesk/resource_template"));
        QVERIFY(waitFor("ready", 1));

        // The page reports "ready" once its side of the channel is wired; the
        // channel's own connect messages may still be on their way, so the
        // first signal is repeated until the page has seen it.
        QVERIFY(QTest::qWaitFor(
            [&] {
                emit bridge.onTunnelAdd("res1", "VPN");
                return QTest::qWaitFor([&] { return !pageRequests("signal").isEmpty(); }, 200);
            },
            20000));
        const int before = static_cast<int>(pageRequests("signal").size());
        emit bridge.onTunnelData("res1", 1, 2, 3, 4);
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (const QJsonObject& r : pageRequests("signal"))
                    if (queryValue(r, "name") == QStringLiteral("onTunnelData"))
                        return true;
                return false;
            },
            20000));
        const QList<QJsonObject> signalReports = pageRequests("signal");
        QVERIFY(signalReports.size() > before);
        QCOMPARE(queryValue(signalReports[0], "name"), QStringLiteral("onTunnelAdd"));
        QCOMPARE(queryValue(signalReports[0], "args"), QStringLiteral(R"(["res1","VPN"])"));
        QCOMPARE(queryValue(signalReports.back(), "name"), QStringLiteral("onTunnelData"));
        QCOMPARE(queryValue(signalReports.back(), "args"), QStringLiteral(R"(["res1",1,2,3,4])"));

        QVERIFY(waitFor("result", 2));
        QCOMPARE(bridge.calls, QStringList{"disconnectResource:res1"});
        QStringList results;
        for (const QJsonObject& r : pageRequests("result"))
            results << queryValue(r, "method") + "=" + queryValue(r, "value");
        QVERIFY(results.contains(QStringLiteral(R"(getIpTable="PHRhYmxlPg==")")));
        QVERIFY(results.contains(QStringLiteral("disconnectResource=null")));
    }

    // What a portal page shows: each resource, its state, traffic in readable
    // units and a Disconnect button that reaches the client.
    void pageShowsTheResourceLikeAPortal()
    {
        QWebEngineView view;
        StubBridge bridge;
        QFile channelJs(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        QVERIFY(channelJs.open(QIODevice::ReadOnly));
        QWebEngineScript script;
        script.setSourceCode(QString::fromUtf8(channelJs.readAll()) +
                             "\nvar external\nnew QWebChannel(qt.webChannelTransport, function(channel) {"
                             "     external = channel.objects.external;});");
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        view.page()->scripts().insert(script);
        auto* channel = new QWebChannel(view.page());
        view.page()->setWebChannel(channel, QWebEngineScript::MainWorld);
        channel->registerObject(QStringLiteral("external"), &bridge);
        view.load(m_server.url("/vdesk/resource_template"));

        const auto js = [&view](const QString& code) {
            QVariant result;
            bool done = false;
            view.page()->runJavaScript(code, [&](const QVariant& value) {
                result = value;
                done = true;
            });
            return QTest::qWaitFor([&] { return done; }, 10000) ? result.toString() : QString();
        };
        const QString rowText = QStringLiteral(
            "Array.prototype.map.call(document.querySelectorAll('#resources tbody tr[data-resource=\"demo_na\"] td'),"
            " function (c) { return c.textContent; }).join('|')");
        QVERIFY(QTest::qWaitFor(
            [&] {
                emit bridge.onTunnelAdd("demo_na", "VPN");
                return !js(rowText).isEmpty();
            },
            20000));

        const struct {
            qlonglong sent, received;
            const char* shown;
        } rows[] = {
            {0, 1023, "demo_na|Starting|0 B|1023 B|Disconnect"},
            {1536, 3 * 1048576LL, "demo_na|Starting|1.5 KB|3.0 MB|Disconnect"},
            {5LL * 1073741824 + 107374183, 2LL * 1099511627776, "demo_na|Starting|5.1 GB|2.0 TB|Disconnect"},
        };
        for (const auto& row : rows) {
            emit bridge.onTunnelData("demo_na", row.sent, row.received, 7, 9);
            QVERIFY2(QTest::qWaitFor([&] { return js(rowText) == QLatin1String(row.shown); }, 10000),
                     qPrintable(js(rowText)));
        }
        emit bridge.onTunnelConnected("demo_na", QString());
        QVERIFY(QTest::qWaitFor([&] { return js(rowText).startsWith("demo_na|Connected|"); }, 10000));
        emit bridge.onTunnelError("demo_na", "lost the server");
        QVERIFY(QTest::qWaitFor([&] { return js(rowText).startsWith("demo_na|Error: lost the server|"); }, 10000));

        js(QStringLiteral("document.querySelector('#resources tr[data-resource=\"demo_na\"] button').click(); 'ok'"));
        QVERIFY(QTest::qWaitFor([&] { return bridge.calls.contains("disconnectResource:demo_na"); }, 10000));
        // The event lines stay below, readable.
        QVERIFY(js(QStringLiteral("document.getElementById('events').textContent"))
                    .contains(QStringLiteral(R"(signal onTunnelData ["demo_na",1536,3145728,7,9])")));
    }

private:
    AccessServer m_server;
};

QTEST_MAIN(ResourcePageTest)
#include "tst_resource_page.moc"
