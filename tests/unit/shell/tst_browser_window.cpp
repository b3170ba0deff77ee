// The session window with the real web engine against the access-server
// stand-in: the page's bridge, the cookies, the resource road with stand-in
// tunnel controllers, the origin guard, certificates, errors and closing.

#include <QApplication>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QUrlQuery>
#include <QWebEngineScriptCollection>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>

#include "AccessServer.h"
#include "ModalDialogAnswerer.h"
#include "RecordingLog.h"
#include "dialogs/ServerUrls.h"
#include "foundation/UClasses.h"
#include "session/HttpNetworkManager.h"
#include "shell/BrowserController.h"
#include "shell/MachineIdentity.h"
#include "shell/ShellTestSeam.h"
#include "tunnel/TunnelInterface.h"
#include "tunnel/WebInterface.h"

using namespace tessal;
using tessal::qt::BrowserController;
using tessal::qt::ShellTestSeam;

namespace {

const QString kSid = QStringLiteral("0123456789abcdefABCDEF0123456789");

// A tunnel controller that answers at once and reports through the listener.
struct FakeTunnel : TunnelInterface {
    int openResult = 0;
    bool opened = false;
    std::string params;
    TunnelStats stats{1, 2, 3, 4};
    qt::WebInterface* listener = nullptr;
    QString id;

    int open(const std::string& p) override
    {
        params = p;
        opened = openResult == 0;
        return openResult;
    }
    int close() override
    {
        listener->onTunnelClosed(id, 0);
        return 0;
    }
    bool isOpened() override { return opened; }
    int checkStatus() override { return 0; }
    TunnelStats getTraffic() override { return stats; }
    UPropertyList getProperties() override { return UPropertyList(); }
    std::vector<TunnelEndpoint> getResourceDetails() override { return {}; }
    AppLaunchConfig getLaunchConfig() override { return {}; }
    void setLogLevel(int) override {}
};

struct Window {
    std::unique_ptr<BrowserController> controller = std::make_unique<BrowserController>();
    std::vector<std::shared_ptr<FakeTunnel>> tunnels;
    int openResult = 0;
    std::unique_ptr<QSignalSpy> realClose;
    // What the bridge sent the page; a page may connect only after the first events.
    std::unique_ptr<QSignalSpy> added, errors, gone;

    Window()
    {
        realClose = std::make_unique<QSignalSpy>(controller.get(), SIGNAL(realCloseMainWindow()));
        added =
            std::make_unique<QSignalSpy>(&ShellTestSeam::webBridge(*controller), SIGNAL(onTunnelAdd(QString, QString)));
        errors = std::make_unique<QSignalSpy>(&ShellTestSeam::webBridge(*controller),
                                              SIGNAL(onTunnelError(QString, QString)));
        gone =
            std::make_unique<QSignalSpy>(&ShellTestSeam::webBridge(*controller), SIGNAL(onTunnelDisconnected(QString)));
        ShellTestSeam::resourceManager(*controller)
            .setControllerFactory([this](const qt::ResourceManager::ControllerRequest& request) {
                auto t = std::make_shared<FakeTunnel>();
                t->listener = request.listener;
                t->id = request.id;
                t->openResult = openResult;
                tunnels.push_back(t);
                return std::static_pointer_cast<TunnelInterface>(t);
            });
    }
};

} // namespace

class BrowserWindowTest : public QObject
{
    Q_OBJECT

public slots:
    // The desktop's handler for the test's own scheme.
    void openExternally(const QUrl& url) { externallyOpened << url; }

private:
    test::AccessServer server;
    test::TestCertificates certs;
    test::RecordingLog log;
    QList<QUrl> externallyOpened;

    QString pageFile() const
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/access_server_pages/resource_template.html");
    }

    // The routes given, the resource page on every listener, the NA
    // parameters, and the page's actions (run once) for the listener named.
    bool setRoutes(const QJsonArray& actions = {}, const QString& actionsListener = "http", QJsonArray routes = {})
    {
        if (!actions.isEmpty())
            routes.append(
                QJsonObject{{"listener", actionsListener},
                            {"path", "/__page/actions"},
                            {"times", 1},
                            {"headers", QJsonObject{{"Content-Type", "application/json"}}},
                            {"body", QString::fromUtf8(QJsonDocument(actions).toJson(QJsonDocument::Compact))}});
        routes.append(QJsonObject{{"path_regex", "/vdesk/resource_template|/my\\.logout\\.php3"},
                                  {"headers", QJsonObject{{"Content-Type", "text/html; charset=utf-8"}}},
                                  {"body_file", pageFile()}});
        routes.append(QJsonObject{{"path", "/vdesk/vpn/connect.php3"},
                                  {"headers", QJsonObject{{"Content-Type", "text/xml"}}},
                                  {"body", "<favorite><object><a>1</a><b>x=y</b></object></favorite>"}});
        routes.append(QJsonObject{{"path_prefix", "/__page/"}, {"status", 204}});
        return server.setRoutes(routes);
    }

    QList<QJsonObject> requests(const QString& path, const QString& listener = "http") const
    {
        QList<QJsonObject> out;
        for (const QJsonObject& r : server.requests())
            if (r["path"].toString() == path && r["listener"].toString() == listener)
                out << r;
        return out;
    }

    // Arguments of each page report of signal name, as JSON texts.
    QStringList pageSignals(const QString& name, const QString& listener = "http") const
    {
        QStringList out;
        for (const QJsonObject& r : requests(QStringLiteral("/__page/signal"), listener)) {
            const QUrlQuery q(r["query"].toString());
            if (q.queryItemValue("name", QUrl::FullyDecoded) == name)
                out << q.queryItemValue("args", QUrl::FullyDecoded);
        }
        return out;
    }

    QString pageResult(const QString& method, const QString& listener = "http") const
    {
        for (const QJsonObject& r : requests(QStringLiteral("/__page/result"), listener)) {
            const QUrlQuery q(r["query"].toString());
            if (q.queryItemValue("method", QUrl::FullyDecoded) == method)
                return q.hasQueryItem("error") ? QStringLiteral("error")
                                               : q.queryItemValue("value", QUrl::FullyDecoded);
        }
        return QString();
    }

    // A script's result in the window's page ("" until the page answers).
    static QString evaluate(qt::WebView* view, const QString& script)
    {
        QString result;
        bool done = false;
        view->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v.toString();
            done = true;
        });
        if (!QTest::qWaitFor([&] { return done; }, 20000))
            return QString();
        return result;
    }

    // The tunnel signals the window's page heard, in order, joined by "|".
    static QString heardTunnels(qt::WebView* view)
    {
        return evaluate(view, "document.getElementById('events').textContent.split('\\n').filter(function (l) "
                              "{ return /^signal onTunnel(?!Data)/.test(l); }).join('|')");
    }

    // A request of the HTTP client of its own; true once it has finished.
    static bool fetch(const QUrl& url)
    {
        qt::HttpNetworkManager client;
        QSignalSpy done(&client, SIGNAL(RequestFinished(Err::HttpNetworkManager, QString)));
        client.HttpGet(url, 10000);
        return done.wait(20000);
    }

    static qt::SessionInfo info(const QUrl& url, const QString& type = "network_access")
    {
        qt::SessionInfo i;
        i.url = url;
        i.sessionId = kSid;
        i.resourceName = type == QLatin1String("network_access") ? QStringLiteral("res1") : QStringLiteral("app1");
        i.resourceType = type;
        return i;
    }

    // Starts the window and waits until its main resource has been opened.
    void startOpened(Window& w, const QString& type = "network_access")
    {
        w.controller->start(info(server.url("/"), type));
        QVERIFY(QTest::qWaitFor([&] { return !w.tunnels.empty() && !requests("/__page/ready").isEmpty(); }, 20000));
    }

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tessal VPN"));
        QVERIFY2(certs.make(), qPrintable(certs.error()));
        QVERIFY2(server.start({test::AccessServer::Listener("http"), test::AccessServer::Listener("other"),
                               test::AccessServer::Listener("tls", "https", certs.selfCert, certs.selfKey),
                               test::AccessServer::Listener("tls2", "https", certs.otherSelfCert, certs.otherSelfKey)}),
                 qPrintable(server.error()));
    }

    void init()
    {
        server.clearLog();
        log.clear();
        log.setLogLevel(63);
        QVERIFY(setRoutes());
    }

    void bridgeNamesInOrder()
    {
        const char* const names[] = {"onTunnelAdd",          "onTunnelConnecting",   "onTunnelConnected",
                                     "onTunnelReconnecting", "onTunnelDisconnected", "onTunnelError",
                                     "onTunnelData",         "onConnectionDetails",  "disconnect",
                                     "newSetQuitMessage",    "showLogRequest",       "tunnelInfoRequest",
                                     "toggleLogSettings",    "disconnectResource",   "setQuitMessage",
                                     "getRoutingTable",      "getIpTable",           "showLog",
                                     "setLogLevel",          "getLogLevel",          "requestTunnelInfo"};
        const QMetaObject& mo = qt::VpnWebBridge::staticMetaObject;
        QCOMPARE(mo.methodCount() - mo.methodOffset(), int(std::size(names)));
        for (int i = 0; i < int(std::size(names)); ++i) {
            const QMetaMethod m = mo.method(mo.methodOffset() + i);
            QCOMPARE(m.name(), QByteArray(names[i]));
            QCOMPARE(m.methodType(), i < 13 ? QMetaMethod::Signal : QMetaMethod::Method);
        }
        const QMetaObject& co = BrowserController::staticMetaObject;
        QCOMPARE(co.methodCount() - co.methodOffset(), 25);
        QCOMPARE(co.method(co.methodOffset()).name(), QByteArray("realCloseMainWindow"));
        QCOMPARE(co.method(co.methodOffset() + 24).name(), QByteArray("OnNotification"));
    }

    void windowClosesInTwoSteps()
    {
        qt::MainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Tessal VPN"));
        window.setTitle("res1", "");
        QCOMPARE(window.windowTitle(), QStringLiteral("Tessal VPN"));
        window.setTitle("res1", "http://h");
        QCOMPARE(window.windowTitle(), QStringLiteral("res1 - http://h - Tessal VPN"));
        QCOMPARE(window.size(), QSize(640, 480));
        QCOMPARE(window.minimumSize(), QSize(640, 480));
        QCOMPARE(window.maximumSize(), QSize(1280, 960));
        window.show();
        QSignalSpy closed(&window, SIGNAL(windowClosed()));
        window.close();
        window.close();
        QCOMPARE(closed.count(), 2);
        QVERIFY(window.isVisible());
        window.realCloseWindow();
        QVERIFY(window.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 2000);
        QCOMPARE(closed.count(), 2);
    }

    void pageFiltersNavigationAndDeniesFeatures()
    {
        struct Page : qt::WebPage {
            using qt::WebPage::acceptNavigationRequest;
        };
        for (const bool allowed : {false, true}) {
            Page page;
            page.setLoadParams(allowed, QUrl("http://a/"));
            QSignalSpy loading(&page, SIGNAL(loadingUrl(QUrl)));
            QVERIFY(page.acceptNavigationRequest(QUrl("http://a/"), QWebEnginePage::NavigationTypeTyped, true));
            QCOMPARE(page.acceptNavigationRequest(QUrl("http://b/"), QWebEnginePage::NavigationTypeLinkClicked, false),
                     allowed);
            QCOMPARE(loading.count(), allowed ? 2 : 1);
            QCOMPARE(loading.first().first().toUrl(), QUrl("http://a/"));
        }
        qt::WebView view;
        QSignalSpy urls(&view, SIGNAL(urlChanged(QUrl)));
        emit view.page()->loadingUrl(QUrl("http://c/"));
        QCOMPARE(urls.count(), 1);
        view.onFeaturePermissionRequested(QUrl("http://c/"), QWebEnginePage::MediaVideoCapture);
        QCOMPARE(log.withMessage(QStringLiteral("Not supported, url http://c/, feature %1, denied")
                                     .arg(int(QWebEnginePage::MediaVideoCapture)))
                     .size(),
                 1);
    }

    // The whole road of one resource: cookies, the bridge, the parameters,
    // the tunnel events, the page's calls and the disconnection.
    void resourceRoad()
    {
        Window w;
        QVERIFY(setRoutes({QJsonObject{{"call", "setLogLevel"}, {"args", QJsonArray{true}}},
                           QJsonObject{{"call", "getLogLevel"}}, QJsonObject{{"call", "getRoutingTable"}},
                           QJsonObject{{"call", "getIpTable"}},
                           QJsonObject{{"call", "setQuitMessage"}, {"args", QJsonArray{"Leave?"}}},
                           QJsonObject{{"call", "showLog"}}, QJsonObject{{"call", "requestTunnelInfo"}}},
                          "http",
                          {QJsonObject{{"path", "/elsewhere"},
                                       {"headers", QJsonObject{{"Content-Type", "text/html"}}},
                                       {"body", "<p>elsewhere</p>"}}}));
        startOpened(w);

        const QString hash = BrowserController::machineHash(qt::readMachineIdentity(), kSid);
        const QString cookie = requests("/vdesk/resource_template")[0]["headers"].toObject()["Cookie"].toString();
        QVERIFY2(cookie.contains("MRHSession=" + kSid) && cookie.contains("MachineHash=" + hash), qPrintable(cookie));
        const auto na = requests("/vdesk/vpn/connect.php3");
        QCOMPARE(na.size(), 1);
        QCOMPARE(na[0]["query"].toString(), QStringLiteral("resourcename=res1&outform=xml&client_version=1.1"));
        QVERIFY(
            na[0]["headers"].toObject()["Cookie"].toString().contains("MRHSession=" + kSid + "; MachineHash=" + hash));
        QVERIFY(QString::fromStdString(w.tunnels[0]->params).startsWith("a=1&b=x=y"));
        QCOMPARE(ShellTestSeam::mainWindow(*w.controller)->windowTitle(),
                 QStringLiteral("res1 - %1 - Tessal VPN").arg(server.url("").toString()));
        QCOMPARE(w.added->count(), 1);
        QCOMPARE(w.added->at(0), (QVariantList{"res1", "VPN"}));

        // The page's calls: every name is there; tables come Base64-encoded.
        QTRY_VERIFY_WITH_TIMEOUT(!pageResult("requestTunnelInfo").isEmpty(), 20000);
        QCOMPARE(pageResult("getLogLevel"), QStringLiteral("true"));
        const QByteArray routes = QByteArray::fromBase64(
            QJsonDocument::fromJson("[" + pageResult("getRoutingTable").toUtf8() + "]")[0].toString().toLatin1());
        QVERIFY2(routes.startsWith("<html><body><table"), routes.constData());
        QVERIFY(pageResult("getIpTable").size() > 2);
        QTRY_COMPARE_WITH_TIMEOUT(ShellTestSeam::quitMessage(*w.controller), QStringLiteral("Leave?"), 2000);

        // A second load of the same URL adds no script and loads nothing.
        const int scripts = ShellTestSeam::webView(*w.controller)->page()->scripts().count();
        w.controller->loadStartPage(ShellTestSeam::currentUrl(*w.controller), true);
        QCOMPARE(ShellTestSeam::webView(*w.controller)->page()->scripts().count(), scripts);
        QTest::qWait(200);
        QCOMPARE(requests("/vdesk/resource_template").size(), 1);

        // Connected: the page gets the event and, every 500 ms, the counters
        // in the order 2nd, 1st, 4th, 3rd.
        w.tunnels[0]->listener->onTunnelConnected("res1");
        QTRY_COMPARE_WITH_TIMEOUT(pageSignals("onTunnelConnected"), QStringList{"[\"res1\",\"\"]"}, 20000);
        QVERIFY(ShellTestSeam::isStatusTimerActive(*w.controller));
        QTRY_VERIFY_WITH_TIMEOUT(pageSignals("onTunnelData").size() >= 2, 20000);
        QCOMPARE(pageSignals("onTunnelData")[0], QStringLiteral("[\"res1\",2,1,4,3]"));

        // Each new document of the page (its renderer killed, the user's
        // reload, a way back from another page) hears the tunnel once, as
        // the first one did: its row is there, connected.
        qt::WebView* view = ShellTestSeam::webView(*w.controller);
        const std::function<void()> newDocuments[] = {
            [&] { QCOMPARE(::kill(view->page()->renderProcessPid(), SIGKILL), 0); },
            [&] { view->reload(); },
            [&] {
                view->load(server.url("/elsewhere"), true);
                QTRY_COMPARE_WITH_TIMEOUT(view->url(), server.url("/elsewhere"), 20000);
                view->load(qt::makeResourceTemplateUrl(server.url("/")), true);
            },
        };
        for (const auto& newDocument : newDocuments) {
            const int ready = requests("/__page/ready").size();
            newDocument();
            QTRY_COMPARE_WITH_TIMEOUT(requests("/__page/ready").size(), ready + 1, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(heardTunnels(view),
                                      QStringLiteral("signal onTunnelAdd [\"res1\",\"VPN\"]|signal "
                                                     "onTunnelConnected [\"res1\",\"\"]"),
                                      20000);
            QCOMPARE(evaluate(view, "document.querySelector('#resources tbody tr').className"),
                     QStringLiteral("connected"));
        }

        // The page disconnects the last resource: asked, closed, window ends once.
        test::ModalDialogAnswerer answerer("OK");
        QVERIFY(setRoutes({QJsonObject{{"call", "disconnectResource"}, {"args", QJsonArray{"/Common/res1"}}},
                           QJsonObject{{"call", "disconnectResource"}, {"args", QJsonArray{"res1"}}}}));
        QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 10000);
        QCOMPARE(answerer.count(), 2);
        for (const test::AnsweredDialog& d : answerer.dialogs())
            QVERIFY2(d.text.startsWith("Do you really want to close tunnel res1? This is the last resource."),
                     qPrintable(d.text));
        QVERIFY(!ShellTestSeam::isStatusTimerActive(*w.controller));
        QTRY_VERIFY_WITH_TIMEOUT(!ShellTestSeam::mainWindow(*w.controller)->isVisible(), 2000);
        QTest::qWait(100);
        QCOMPARE(w.realClose->count(), 1);
    }

    // How each tunnel outcome reaches the page and ends the window.
    void tunnelOutcomes()
    {
        struct Row {
            int error;
            bool windowEnds;
            QString pageError; // onTunnelError arguments, empty when none
        } rows[] = {
            {0, true, {}},
            {27, true, {}},
            {28, false, "[\"res1\",\"Tunnel has been interrupted: "},
        };
        for (const Row& row : rows) {
            server.clearLog();
            Window w;
            startOpened(w);
            w.tunnels[0]->listener->onTunnelClosed("res1", row.error);
            // The window ends, or the page hears of the error and the window stays.
            if (row.windowEnds)
                QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
            else
                QTRY_COMPARE_WITH_TIMEOUT(pageSignals("onTunnelError").size(), 1, 20000);
            QCOMPARE(w.realClose->count(), row.windowEnds ? 1 : 0);
            QCOMPARE(w.gone->count(), 0);
            if (row.pageError.isEmpty()) {
                QCOMPARE(w.errors->count(), 0);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(pageSignals("onTunnelError").size(), 1, 20000);
                QVERIFY2(pageSignals("onTunnelError")[0].startsWith(row.pageError),
                         qPrintable(pageSignals("onTunnelError")[0]));
                QCOMPARE(ShellTestSeam::failedResources(*w.controller), std::vector<QString>{"res1"});
            }
        }
    }

    // The open decisions once the page is up, and a failed open dismissed by the page.
    void openDecisions()
    {
        {
            BrowserController idle;
            QCOMPARE(idle.openMainResource("res1", "network_access", ""), 113);
        }
        {
            // Ended before the next window: its page polls the same action route.
            Window w;
            startOpened(w);
            QCOMPARE(w.controller->openMainResource("res1", "network_access", ""), 103);
            QCOMPARE(w.controller->openMainResource("res2", "network_access", ""), 101);
            QCOMPARE(w.controller->openMainResource("res3", "app_tunnel", ""), 102);
            QCOMPARE(w.gone->count(), 2);
            QCOMPARE(w.gone->at(1)[0].toString(), QStringLiteral("res3"));
            QCOMPARE(w.errors->count(), 0);
            w.controller->closeAllAndExit();
            QCOMPARE(w.controller->openMainResource("res4", "network_access", ""), 118);
        }

        // The open fails at once, long before the page connects to the
        // bridge: the page still hears of the tunnel and of its failure.
        server.clearLog();
        QFile page(pageFile());
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString late =
            QString::fromUtf8(page.readAll()).replace("var attachDelayMs = 0;", "var attachDelayMs = 1500;");
        QVERIFY(late.contains("attachDelayMs = 1500"));
        QVERIFY(setRoutes({}, "http",
                          {QJsonObject{{"path", "/vdesk/resource_template"},
                                       {"headers", QJsonObject{{"Content-Type", "text/html; charset=utf-8"}}},
                                       {"body", late}}}));
        Window failing;
        failing.openResult = 105;
        failing.controller->start(info(server.url("/")));
        QTRY_COMPARE_WITH_TIMEOUT(failing.errors->count(), 1, 20000);
        QCOMPARE(failing.errors->at(0)[0].toString(), QStringLiteral("res1"));
        QVERIFY(failing.errors->at(0)[1].toString().startsWith("Failed to open tunnel res1: "));
        QCOMPARE(ShellTestSeam::failedResources(*failing.controller), std::vector<QString>{"res1"});
        QTRY_VERIFY_WITH_TIMEOUT(!requests("/__page/ready").isEmpty(), 20000);
        // What this window's page heard, in order.
        qt::WebView* view = ShellTestSeam::webView(*failing.controller);
        QTRY_VERIFY_WITH_TIMEOUT(
            heardTunnels(view).startsWith("signal onTunnelAdd [\"res1\",\"VPN\"]|signal "
                                          "onTunnelError [\"res1\",\"Failed to open tunnel res1: "),
            20000);
        QCOMPARE(heardTunnels(view).count('|'), 1);
        QCOMPARE(evaluate(view, "document.querySelector('#resources tbody tr').className"), QStringLiteral("error"));
        QCOMPARE(failing.realClose->count(), 0);
        QVERIFY(setRoutes({QJsonObject{{"call", "disconnectResource"}, {"args", QJsonArray{"res1"}}}}));
        QTRY_COMPARE_WITH_TIMEOUT(failing.realClose->count(), 1, 20000);
        QVERIFY(ShellTestSeam::failedResources(*failing.controller).empty());
        QCOMPARE(failing.gone->count(), 1);
        QCOMPARE(log.withMessage("User pressed disconnect 'res1' tunnel").size(), 1);
    }

    // With two application tunnels the page keeps its bridge when the first closes.
    void bridgeOutlivesTheFirstOfTwoTunnels()
    {
        Window w;
        startOpened(w, "app_tunnel");
        std::signal(SIGCHLD, SIG_DFL); // the window ignores it for application tunnels
        QCOMPARE(w.controller->openMainResource("app2", "app_tunnel", ""), 0);
        w.tunnels[0]->listener->onTunnelClosed("app1", 0);
        // A late report of an earlier window's page may share the server's log.
        QTRY_VERIFY_WITH_TIMEOUT(pageSignals("onTunnelDisconnected").contains("[\"app1\"]"), 20000);
        QVERIFY(ShellTestSeam::webView(*w.controller)->webChannel() != nullptr);
        // A page loaded again hears only of the tunnel still there.
        const int ready = requests("/__page/ready").size();
        ShellTestSeam::webView(*w.controller)->reload();
        QTRY_COMPARE_WITH_TIMEOUT(requests("/__page/ready").size(), ready + 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(heardTunnels(ShellTestSeam::webView(*w.controller)),
                                  QStringLiteral("signal onTunnelAdd [\"app2\",\"URTUNNEL\"]"), 20000);
        QCOMPARE(w.realClose->count(), 0);
        w.tunnels[1]->listener->onTunnelClosed("app2", 0);
        QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
    }

    // ---- Page texts, links, the logout rule, the error page and closing.

    // The page's texts reach the question box as text; the program's own markup
    // in a report stays markup while the values in it are escaped.
    void pageTextsStayText()
    {
        {
            Window w;
            QVERIFY(setRoutes({QJsonObject{
                {"call", "setQuitMessage"},
                {"args", QJsonArray{"<img src='file:///nonexistent'> <a href=\"http://x/\">go</a>\nnext"}}}}));
            startOpened(w);
            QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::quitMessage(*w.controller).contains("go"), 20000);
            test::ModalDialogAnswerer answerer("Cancel");
            ShellTestSeam::mainWindow(*w.controller)->close();
            QCOMPARE(answerer.count(), 1);
            QCOMPARE(answerer.last().text, QStringLiteral("&lt;img src='file:///nonexistent'&gt; &lt;a "
                                                          "href=&quot;http://x/&quot;&gt;go&lt;/a&gt;<br>next"));
            // Closing already: a second close request asks nothing.
            w.controller->closeAllAndExit();
            ShellTestSeam::mainWindow(*w.controller)->close();
            QCOMPARE(answerer.count(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
        }
        QJsonArray routes{QJsonObject{{"path", "/broken"},
                                      {"status", 500},
                                      {"reason", "Bad <i>gateway</i>"},
                                      {"headers", QJsonObject{{"Content-Type", "text/html"}}},
                                      {"body", "broken"}}};
        QVERIFY(server.setRoutes(routes));
        Window w;
        w.controller->createMainWindow();
        w.controller->loadStartPage(server.url("/broken"), true);
        ShellTestSeam::networkManager(*w.controller).HttpGet(server.url("/broken"), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::isErrorPageShown(*w.controller), 20000);
        qt::WebView* view = ShellTestSeam::webView(*w.controller);
        QTRY_VERIFY_WITH_TIMEOUT(evaluate(view, "document.querySelector('.textDiv') ? 'y' : ''") == "y", 20000);
        QCOMPARE(evaluate(view, "document.querySelector('.textDiv b').textContent"), server.url("").toString());
        QVERIFY(evaluate(view, "document.querySelector('.textDiv').textContent").contains("Bad <i>gateway</i>"));
    }

    // An external scheme opens nothing and fails nothing, a refused permission
    // reaches the page, the logout rule holds only on the server's origin.
    void linksAndLogout()
    {
        QVERIFY(setRoutes({}, "http",
                          {QJsonObject{{"path", "/links"},
                                       {"headers", QJsonObject{{"Content-Type", "text/html"}}},
                                       {"body", "<a href='tessal-test-ext:open' style='display:block;width:600px;"
                                                "height:400px'>open</a>"}}}));
        QDesktopServices::setUrlHandler("tessal-test-ext", this, "openExternally");
        externallyOpened.clear();
        Window w;
        startOpened(w);
        qt::WebView* view = ShellTestSeam::webView(*w.controller);
        const QString page = server.url("/links").toString();
        view->load(server.url("/links"), true);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view, "document.elementFromPoint(100, 100).tagName"), QStringLiteral("A"),
                                  20000);
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, QPoint(100, 100));
        QTRY_COMPARE_WITH_TIMEOUT(log.withMessage("Failed to load page " + page).size(), 1, 20000);
        QVERIFY(externallyOpened.isEmpty());
        QCOMPARE(w.errors->count(), 0);

        // A denied feature is what the page sees.
        evaluate(view, "Notification.requestPermission().then(function (p) { document.title = 'permission ' + p; })");
        QTRY_COMPARE_WITH_TIMEOUT(view->title(), QStringLiteral("permission denied"), 20000);
        QCOMPARE(log.withMessage(QStringLiteral("Not supported, url %1, feature %2, denied")
                                     .arg(server.url("/").toString())
                                     .arg(int(QWebEnginePage::Notifications)))
                     .size(),
                 1);

        // A resource still running is asked about, even when reported as failed.
        w.controller->ReportErrorToUser(true, "res1", "Failed", "x");
        test::ModalDialogAnswerer answerer("Cancel");
        ShellTestSeam::webBridge(*w.controller).disconnectResource("res1");
        QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), 1, 20000);
        QCOMPARE(w.gone->count(), 0);

        // Another origin's logout page ends nothing; the server's own, without
        // "errorcode", closes every resource without a report.
        const QUrl foreign = server.url("/my.logout.php3", "other");
        view->load(foreign, true);
        QTRY_COMPARE_WITH_TIMEOUT(log.withMessage("Successfilly loaded page " + foreign.toString()).size(), 1, 20000);
        QVERIFY(log.withMessage("Closing resource res1...").isEmpty());
        view->load(server.url("/my.logout.php3"), true);
        QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
        QCOMPARE(w.errors->count(), 1);
        QVERIFY(!ShellTestSeam::isErrorPageShown(*w.controller));
        QCOMPARE(answerer.count(), 1);
    }

    // A document of another origin (another port) gets no transport of the
    // web channel: nothing it sends reaches the GUI thread, and nothing of
    // the bridge reaches it.
    void foreignDocumentGetsNothing()
    {
        Window w;
        startOpened(w);
        qt::WebView* view = ShellTestSeam::webView(*w.controller);
        const QString probe = "document.readyState + ' ' + (window.qt && qt.webChannelTransport ? 'transport' : "
                              "'none') + ' ' + (external && external.onTunnelAdd ? 'bridge' : 'none')";
        QCOMPARE(evaluate(view, probe), QStringLiteral("complete transport bridge"));
        const QUrl foreign = server.url("/vdesk/resource_template", "other");
        view->load(foreign, true);
        QTRY_COMPARE_WITH_TIMEOUT(view->url(), foreign, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(view, probe), QStringLiteral("complete none none"), 20000);
        // It may make a transport of its own: the bridge says nothing to it.
        QCOMPARE(evaluate(view, "var heard = 0; window.qt = {webChannelTransport: {send: function () {}, "
                                "onmessage: function () { ++heard; }}}; 'made'"),
                 QStringLiteral("made"));
        QSignalSpy data(&ShellTestSeam::webBridge(*w.controller),
                        SIGNAL(onTunnelData(QString, qlonglong, qlonglong, qlonglong, qlonglong)));
        emit ShellTestSeam::webBridge(*w.controller).onTunnelData("res1", 1, 2, 3, 4);
        QCOMPARE(data.count(), 0);
        QTest::qWait(300);
        QCOMPARE(evaluate(view, "String(heard)"), QStringLiteral("0"));
        QVERIFY(requests("/__page/ready", "other").isEmpty());
        QVERIFY(log.withMessage("User pressed disconnect 'res1' tunnel").isEmpty());
    }

    // The session's cookies reach only the server's own origin, also when the
    // page goes, or is sent, to another port of the same host.
    void cookiesStayWithTheServerOrigin()
    {
        Window w;
        QVERIFY(setRoutes({}, "http",
                          {QJsonObject{{"path", "/hop"}, {"redirect", "http://127.0.0.1:{port:other}/landed"}}}));
        startOpened(w);
        const struct {
            QUrl load;
            const char* arrives; // path of the request on the other port
        } rows[] = {{server.url("/hop"), "/landed"}, {server.url("/direct", "other"), "/direct"}};
        for (const auto& row : rows) {
            ShellTestSeam::webView(*w.controller)->load(row.load, true);
            QTRY_VERIFY2_WITH_TIMEOUT(!requests(row.arrives, "other").isEmpty(), row.arrives, 20000);
            const QString cookie = requests(row.arrives, "other")[0]["headers"].toObject()["Cookie"].toString();
            QVERIFY2(!cookie.contains("MRHSession") && !cookie.contains("MachineHash"), qPrintable(cookie));
        }
        QVERIFY(requests("/hop")[0]["headers"].toObject()["Cookie"].toString().contains("MRHSession=" + kSid));
    }

    // A server known by a look-alike name: the title and the error texts show
    // it in ASCII form. main() sends the first name to the stand-in and makes
    // the second one unresolvable.
    void lookAlikeServerNamesInAsciiForm()
    {
        const QString port = QString::number(server.port());
        const struct {
            const char* ace;
            bool reaches;
        } rows[] = {{"vpn.xn--80ak6aa92e.com", true}, {"vpn.xn--exmple-4nf.com", false}};
        for (const auto& row : rows) {
            QUrl url(QStringLiteral("http://127.0.0.1:") + port + "/");
            url.setHost(QUrl::fromAce(row.ace, QUrl::IgnoreIDNWhitelist));
            QVERIFY(url.toString().contains(QChar(0x0430)));
            const QString shown = QStringLiteral("http://") + row.ace + ":" + port;
            Window w;
            w.controller->start(info(url));
            if (row.reaches) {
                QTRY_COMPARE_WITH_TIMEOUT(ShellTestSeam::mainWindow(*w.controller)->windowTitle(),
                                          "res1 - " + shown + " - Tessal VPN", 20000);
                continue;
            }
            QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::isErrorPageShown(*w.controller), 20000);
            QCOMPARE(log.withMessage("Failure occurred:, Failed to download resource page, Connection to " + shown +
                                     " was interrupted")
                         .size(),
                     1);
        }
    }

    // Load failures, the logout page and the page's own close request.
    void errorsAndClosing()
    {
        QTcpServer closedPort;
        QVERIFY(closedPort.listen(QHostAddress::LocalHost));
        const quint16 port = closedPort.serverPort();
        closedPort.close();
        {
            Window w;
            w.controller->start(info(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port))));
            QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::isErrorPageShown(*w.controller), 20000);
            QCOMPARE(
                log.withMessage(QStringLiteral("Failure occurred:, Failed to download resource page, Connection to "
                                               "http://127.0.0.1:%1 was interrupted")
                                    .arg(port))
                    .size(),
                1);
            // The error page's Close link ends the window.
            QTRY_VERIFY_WITH_TIMEOUT(!log.withMessage("Successfilly loaded page about:blank").isEmpty(), 20000);
            evaluate(ShellTestSeam::webView(*w.controller), "document.querySelector('a.close').click()");
            QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
        }
        {
            // Before start the page's close request is ignored; after it, it ends the window once.
            Window w;
            w.controller->onWindowCloseRequestedByJS();
            QTest::qWait(200);
            QCOMPARE(w.realClose->count(), 0);
            startOpened(w);
            QVERIFY(setRoutes({QJsonObject{{"close", true}}, QJsonObject{{"close", true}}}));
            QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 10000);
            QTest::qWait(300);
            QCOMPARE(w.realClose->count(), 1);
        }
        {
            Window w;
            startOpened(w);
            ShellTestSeam::webView(*w.controller)->load(server.url("/my.logout.php3?errorcode=%3Cb%3E7"), true);
            QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
            QCOMPARE(log.withMessage("Failure occurred:, Your session could not be established, The session reference "
                                     "number: 23456789 Error: <b>7.")
                         .size(),
                     1);
        }
        // A parameter reply past 16 MiB, or one whose depth only its reader
        // sees, is refused before it is parsed.
        QTemporaryFile big;
        QVERIFY(big.open() && big.resize(16 * 1024 * 1024 + 1));
        QString hidden = "<favorite><object>";
        for (int i = 0; i < 100000; ++i)
            hidden += "<a><!</>";
        const struct {
            QJsonObject route;
            const char* failure;
        } rows[] = {{{{"body_file", big.fileName()}}, "The reply is larger than 16777216 bytes"},
                    {{{"body", hidden}}, "The reply is nested deeper than 64 levels"}};
        for (const auto& row : rows) {
            QJsonObject route = row.route;
            route.insert("path", "/vdesk/vpn/connect.php3");
            QVERIFY(setRoutes({}, "http", {route}));
            Window w;
            w.controller->start(info(server.url("/")));
            QTRY_VERIFY_WITH_TIMEOUT(
                log.contains(std::string("Failed to parse Network access parameters, ") + row.failure), 20000);
            QVERIFY(w.tunnels.empty());
        }
        QVERIFY(log.contains("Network access parameters reply too large, limit 16777216"));
    }

    // HTTPS: the certificate the user accepted in the HTTP client's dialog is
    // accepted by the page too, and only that one; the cookies are secure.
    void acceptedCertificateOnly()
    {
        {
            test::ModalDialogAnswerer answerer("accept");
            QVERIFY(fetch(server.url("/__page/x", "tls")));
            QCOMPARE(answerer.count(), 1);
        }
        Window w;
        w.controller->start(info(server.url("/", "tls")));
        QTRY_VERIFY_WITH_TIMEOUT(!w.tunnels.empty() && !requests("/__page/ready", "tls").isEmpty(), 20000);
        QVERIFY(requests("/vdesk/resource_template", "tls")[0]["headers"].toObject()["Cookie"].toString().contains(
            "MRHSession=" + kSid));

        Window other;
        other.controller->start(info(server.url("/", "tls2")));
        QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::isErrorPageShown(*other.controller), 20000);
        QVERIFY(requests("/vdesk/resource_template", "tls2").isEmpty());
    }

    // ---- What the page opens or asks for cannot hold the window.

    // JavaScript dialogs: the server's own are shown, a few in a row, and
    // a few answered a minute, counted with the page's requests that raise a
    // question: each kind after the first, asked just over a second later,
    // gets none. Those of any other origin, a frame in the server's page
    // included, are refused. The window's close still ends the session.
    void pageDialogsCannotHoldTheWindow()
    {
        QVERIFY(setRoutes({}, "http",
                          {QJsonObject{{"listener", "other"},
                                       {"path", "/frame"},
                                       {"headers", QJsonObject{{"Content-Type", "text/html"}}},
                                       {"body", "<script>new Image().src = '/__page/result?method=frame&value=' + "
                                                "[alert('a'), confirm('c'), prompt('p', 'd')].join('-');</script>"}}}));
        Window w;
        startOpened(w);
        qt::WebView* view = ShellTestSeam::webView(*w.controller);
        const QString asks = "var r = []; for (var i = 0; i < 10; ++i) r.push(%1); JSON.stringify(r)";
        const QString frame = "var f = document.createElement('iframe'); f.src = '%1'; "
                              "document.body.appendChild(f); 'added'";
        struct Row {
            const char* what;
            QString script, answer, result;
            int dialogs;
        } rows[] = {
            {"server's alerts", asks.arg("alert('a' + i)"), "OK", "[null,null,null,null,null,null,null,null,null,null]",
             3},
            {"server's confirms", asks.arg("confirm('c' + i)"), "OK",
             "[false,false,false,false,false,false,false,false,false,false]", 0},
            {"server's prompts", asks.arg("prompt('p' + i, 'd')"), "OK",
             "[null,null,null,null,null,null,null,null,null,null]", 0},
            {"disconnect questions", "for (var i = 0; i < 10; ++i) external.disconnectResource('x' + i); 'sent'",
             "Cancel", "sent", 0},
            {"log questions", "for (var i = 0; i < 110; ++i) external.showLog(); 'sent'", "Cancel", "sent", 0},
        };
        for (const Row& row : rows) {
            QTest::qWait(1100); // a new row of questions
            test::ModalDialogAnswerer answerer(row.answer);
            QCOMPARE(evaluate(view, row.script), row.result);
            if (row.dialogs > 0)
                QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), row.dialogs, 20000);
            // No more than that: the refused asks ask nothing later either.
            QTest::qWait(1000);
            QVERIFY2(answerer.count() == row.dialogs,
                     qPrintable(QStringLiteral("%1: %2 dialogs").arg(row.what).arg(answerer.count())));
        }
        {
            // A foreign frame in the server's page, then a foreign document in the window.
            test::ModalDialogAnswerer answerer("OK");
            QCOMPARE(evaluate(view, frame.arg(server.url("/frame", "other").toString())), QStringLiteral("added"));
            QTRY_COMPARE_WITH_TIMEOUT(pageResult("frame", "other"), QStringLiteral("-false-"), 20000);
            const QUrl foreign = server.url("/vdesk/resource_template", "other");
            view->load(foreign, true);
            QTRY_COMPARE_WITH_TIMEOUT(view->url(), foreign, 20000);
            QTRY_COMPARE_WITH_TIMEOUT(evaluate(view, "document.readyState"), QStringLiteral("complete"), 20000);
            QCOMPARE(evaluate(view, "JSON.stringify([alert('a'), confirm('c'), prompt('p', 'd')])"),
                     QStringLiteral("[null,false,null]"));
            QCOMPARE(answerer.count(), 0);
        }
        QVERIFY(!QApplication::activeModalWidget());
        test::ModalDialogAnswerer answerer("OK");
        ShellTestSeam::mainWindow(*w.controller)->close();
        QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
        QCOMPARE(answerer.count(), 1);
    }

    // The session's end (here its close as a signal would ask it) ends a
    // dialog the page holds open; a foreign document that is the window's
    // only entry cannot end the session with window.close().
    void pageCannotEndOrHoldTheSession()
    {
        {
            Window w;
            startOpened(w);
            bool forced = false;
            QTimer::singleShot(300, w.controller.get(), [&] { w.controller->closeAllAndExit(); });
            QTimer::singleShot(8000, w.controller.get(), [&] {
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    forced = true;
                    modal->close();
                }
            });
            evaluate(ShellTestSeam::webView(*w.controller), "alert('stay'); 'done'");
            QVERIFY(!forced);
            QTRY_COMPARE_WITH_TIMEOUT(w.realClose->count(), 1, 20000);
        }
        Window w;
        startOpened(w);
        const QUrl foreign = server.url("/vdesk/resource_template", "other");
        evaluate(ShellTestSeam::webView(*w.controller),
                 QStringLiteral("location.replace('%1'); 'ok'").arg(foreign.toString()));
        QTRY_COMPARE_WITH_TIMEOUT(ShellTestSeam::webView(*w.controller)->url(), foreign, 20000);
        evaluate(ShellTestSeam::webView(*w.controller), "window.close(); 'ok'");
        QTRY_VERIFY_WITH_TIMEOUT(!log.withMessage("close window requested by JS of " +
                                                  server.url("", "other").toString() +
                                                  " ignored: not the server's page")
                                      .isEmpty(),
                                 20000);
        QTest::qWait(300);
        QCOMPARE(w.realClose->count(), 0);
    }

    // The page's texts are cut before they are laid out, and a message of
    // the page's channel above its cap is refused before it is parsed: a
    // 4 MB quit message or resource id changes nothing and asks nothing.
    void longPageTextsAreCut()
    {
        struct Row {
            QString call; // the bridge call, given the text
            int length; // of the text
            QString shown; // what the question shows before the page's text; "-": none
        } rows[] = {
            {"external.setQuitMessage(%1)", 60000, ""},
            {"external.disconnectResource(%1)", 60000, "Do you really want to close tunnel "},
            {"external.setQuitMessage(%1)", 4 * 1024 * 1024, "-"},
            {"external.disconnectResource(%1)", 4 * 1024 * 1024, "-"},
        };
        for (const Row& row : rows) {
            Window w;
            startOpened(w);
            test::ModalDialogAnswerer answerer("Cancel");
            evaluate(ShellTestSeam::webView(*w.controller),
                     row.call.arg(QStringLiteral("'x'.repeat(%1)").arg(row.length)) + "; 'ok'");
            if (row.shown == "-") {
                // A call after it still arrives: the refused one was not merely late.
                evaluate(ShellTestSeam::webView(*w.controller), "external.setQuitMessage('after'); 'ok'");
                QTRY_COMPARE_WITH_TIMEOUT(ShellTestSeam::quitMessage(*w.controller), QStringLiteral("after"), 20000);
                QCOMPARE(answerer.count(), 0);
                continue;
            }
            QElapsedTimer held;
            held.start();
            if (row.shown.isEmpty()) {
                QTRY_VERIFY_WITH_TIMEOUT(ShellTestSeam::quitMessage(*w.controller).startsWith("xxx"), 20000);
                held.start();
                ShellTestSeam::mainWindow(*w.controller)->close();
            }
            QTRY_COMPARE_WITH_TIMEOUT(answerer.count(), 1, 60000);
            // Only a freeze fails this bound.
            QVERIFY2(held.elapsed() < 5000, qPrintable(QString::number(held.elapsed())));
            const QString text = answerer.last().text;
            QVERIFY2(text.startsWith(row.shown + QString(999, 'x') + QChar(0x2026)), qPrintable(text.left(80)));
            QVERIFY(text.size() < 1100);
        }
    }

    // --- certificates: the page trusts what the HTTP client would trust ---

    // A chain the HTTP client would verify (its CA here plays one of the
    // system's store, which the engine does not know) is accepted for the
    // name asked for, on any node, port or renewal; a certificate the user
    // accepted by hand only on its own port; anything else is refused and
    // said so. The server's certificate refused in the controller's own
    // client ends the window.
    void certificateTrustFollowsTheHttpClient()
    {
        // The "ca" port serves copies, so that it can be made to present another certificate.
        QTemporaryDir dir;
        const QString servedCert = dir.filePath("served.pem"), servedKey = dir.filePath("served.key");
        auto serve = [&](const QString& cert, const QString& key) {
            QFile c(cert), k(key), sc(servedCert), sk(servedKey);
            return c.open(QIODevice::ReadOnly) && k.open(QIODevice::ReadOnly) && sc.open(QIODevice::WriteOnly) &&
                   sk.open(QIODevice::WriteOnly) && sc.write(c.readAll()) > 0 && sk.write(k.readAll()) > 0;
        };
        // Two more leaves of the CA: another node behind the name, and a renewal.
        QString secondCert, secondKey, renewedCert, renewedKey;
        QVERIFY2(certs.makeServerCertificate("second", &secondCert, &secondKey) &&
                     certs.makeServerCertificate("renewed", &renewedCert, &renewedKey),
                 qPrintable(certs.error()));
        // Chains through an intermediate of the CA, served as one file: one
        // good, one whose intermediate serves clients only, and one whose
        // leaf names the IP host only in its CN.
        auto chainOf = [&](const QString& name, const QString& caUsage, const QString& leafNames,
                           const QString& leafName, QString* chain, QString* chainKey) {
            test::TestCertificates::Blueprint inter;
            inter.name = name + "_ca";
            inter.subject = "/CN=" + name + " CA";
            inter.extensions = {"basicConstraints = critical, CA:TRUE", "keyUsage = critical, keyCertSign, cRLSign"};
            if (!caUsage.isEmpty())
                inter.extensions << "extendedKeyUsage = " + caUsage;
            inter.issuedByCa = true;
            test::TestCertificates::Blueprint leaf;
            leaf.name = name;
            leaf.subject = "/CN=" + leafName;
            leaf.extensions = {"subjectAltName = " + leafNames, "extendedKeyUsage = serverAuth"};
            QString interCert, interKey, leafCert;
            if (!certs.makeCertificate(inter, &interCert, &interKey))
                return false;
            leaf.issuerCert = interCert;
            leaf.issuerKey = interKey;
            if (!certs.makeCertificate(leaf, &leafCert, chainKey))
                return false;
            QFile l(leafCert), i(interCert), out(dir.filePath(name + ".chain.pem"));
            *chain = out.fileName();
            return l.open(QIODevice::ReadOnly) && i.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly) &&
                   out.write(l.readAll() + i.readAll()) > 0;
        };
        QString viaCert, viaKey, clientCert, clientKey, cnCert, cnKey;
        QVERIFY2(chainOf("via", {}, "IP:127.0.0.1", "127.0.0.1", &viaCert, &viaKey) &&
                     chainOf("clients", "clientAuth", "IP:127.0.0.1", "127.0.0.1", &clientCert, &clientKey) &&
                     chainOf("cn", {}, "DNS:vpn.example", "127.0.0.1", &cnCert, &cnKey),
                 qPrintable(certs.error()));
        QVERIFY(serve(certs.serverCert, certs.serverKey));
        test::AccessServer ca;
        QVERIFY2(ca.start({test::AccessServer::Listener("ca", "https", servedCert, servedKey),
                           test::AccessServer::Listener("hand", "https", certs.selfCert, certs.selfKey),
                           test::AccessServer::Listener("hand2", "https", certs.selfCert, certs.selfKey)}),
                 qPrintable(ca.error()));
        QVERIFY(ca.setRoutes({QJsonObject{{"path", "/vdesk/resource_template"},
                                          {"body_file", pageFile()},
                                          {"headers", QJsonObject{{"Content-Type", "text/html"}}}},
                              QJsonObject{{"path", "/vdesk/vpn/connect.php3"},
                                          {"body", "<favorite><object><a>1</a></object></favorite>"}},
                              QJsonObject{{"path_prefix", "/__page/"}, {"status", 204}}}));
        auto served = [&](const QString& path, const QString& listener) {
            int n = 0;
            for (const QJsonObject& r : ca.requests())
                n += r["path"].toString() == path && r["listener"].toString() == listener;
            return n;
        };
        {
            test::ModalDialogAnswerer byHand("accept");
            QVERIFY(fetch(ca.url("/__page/x", "hand")));
            QCOMPARE(byHand.count(), 1);
        }

        test::ModalDialogAnswerer answerer("reject");
        Window refusing; // its client was made before the CA came
        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(saved); });
        QSslConfiguration withCa = saved;
        withCa.addCaCertificates(certs.caCert);
        QSslConfiguration::setDefaultConfiguration(withCa);
        QVERIFY(fetch(ca.url("/__page/x", "ca")));
        QCOMPARE(answerer.count(), 0);

        struct Row {
            const char* what;
            QString listener, host, cert, key; // host and files empty: 127.0.0.1 and as served
            bool reaches;
            QString logged; // beginning of the record of the refusal
        } rows[] = {
            {"the verified certificate", "ca", {}, certs.serverCert, certs.serverKey, true, {}},
            {"another node's certificate from the same CA", "ca", {}, secondCert, secondKey, true, {}},
            {"another name of the server in its certificate", "ca", "localhost", {}, {}, true, {}},
            {"a certificate the HTTP client would not accept",
             "ca",
             {},
             certs.otherSelfCert,
             certs.otherSelfKey,
             false,
             "Certificate refused, url " + ca.url("/vdesk/resource_template", "ca").toString() + ", error "},
            {"a chain through an intermediate", "ca", {}, viaCert, viaKey, true, {}},
            {"a chain through an intermediate for clients only",
             "ca",
             {},
             clientCert,
             clientKey,
             false,
             "Certificate refused, url " + ca.url("/vdesk/resource_template", "ca").toString() + ", error "},
            {"an IP host named only by the CN of a certificate with names",
             "ca",
             {},
             cnCert,
             cnKey,
             false,
             "Certificate refused, url " + ca.url("/vdesk/resource_template", "ca").toString() + ", error "},
            {"the certificate the user accepted, on its port", "hand", {}, {}, {}, true, {}},
            {"the certificate the user accepted, on another port",
             "hand2",
             {},
             {},
             {},
             false,
             "Request to " + ca.url("/vdesk/resource_template", "hand2").toString() + " blocked"},
        };
        for (const Row& row : rows) {
            if (!row.cert.isEmpty())
                QVERIFY(serve(row.cert, row.key));
            log.clear();
            ca.clearLog();
            QUrl url = ca.url("/", row.listener);
            if (!row.host.isEmpty())
                url.setHost(row.host);
            Window w;
            w.controller->start(info(url));
            if (row.reaches) {
                QTRY_VERIFY2_WITH_TIMEOUT(!w.tunnels.empty() && served("/__page/ready", row.listener) > 0, row.what,
                                          20000);
                QVERIFY2(!ShellTestSeam::isErrorPageShown(*w.controller), row.what);
                continue;
            }
            QTRY_VERIFY2_WITH_TIMEOUT(ShellTestSeam::isErrorPageShown(*w.controller), row.what, 20000);
            QCOMPARE(served("/vdesk/resource_template", row.listener), 0);
            QVERIFY2(log.contains(", " + row.logged.toStdString()), row.what);
            QVERIFY2(log.withMessage("Failure occurred:, Failed to download resource page, The certificate of the "
                                     "server " +
                                     ca.url("", row.listener).toString() + " was refused")
                             .size() == 1,
                     row.what);
        }
        QCOMPARE(answerer.count(), 0);

        // Renewed during the session: the page's next requests meet the new
        // certificate and reach the server, a reload too; the tunnel goes on.
        {
            QVERIFY(serve(certs.serverCert, certs.serverKey));
            Window w;
            w.controller->start(info(ca.url("/", "ca")));
            QTRY_VERIFY_WITH_TIMEOUT(!w.tunnels.empty() && served("/__page/ready", "ca") > 0, 20000);
            log.clear();
            QVERIFY(serve(renewedCert, renewedKey));
            QTRY_VERIFY_WITH_TIMEOUT(log.contains(", Certificate verified by the system accepted, url " +
                                                  ca.url("/__page/", "ca").toString().toStdString()),
                                     20000);
            const int polls = served("/__page/actions", "ca");
            QTRY_VERIFY_WITH_TIMEOUT(served("/__page/actions", "ca") > polls + 2, 20000);
            ShellTestSeam::webView(*w.controller)->reload();
            QTRY_COMPARE_WITH_TIMEOUT(served("/vdesk/resource_template", "ca"), 2, 20000);
            QTRY_VERIFY_WITH_TIMEOUT(served("/__page/ready", "ca") > 1, 20000);
            QCOMPARE(w.errors->count(), 0);
            QCOMPARE(w.realClose->count(), 0);
            QVERIFY(w.tunnels[0]->opened);
            QVERIFY(!ShellTestSeam::isErrorPageShown(*w.controller));
        }

        refusing.controller->start(info(ca.url("/", "ca")));
        QTRY_COMPARE_WITH_TIMEOUT(refusing.realClose->count(), 1, 20000);
        QCOMPARE(answerer.count(), 1);
        QVERIFY(refusing.tunnels.empty());
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The look-alike server names of the name test.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") +
                                              " --host-resolver-rules=\"MAP vpn.xn--80ak6aa92e.com 127.0.0.1, "
                                              "MAP vpn.xn--exmple-4nf.com ~NOTFOUND\"");
    // The page's showLog opens the log with xdg-open: never the desktop's
    // own viewer, a hundred times over, from a test.
    QTemporaryDir opener;
    QFile fake(opener.filePath(QStringLiteral("xdg-open")));
    if (!fake.open(QIODevice::WriteOnly) || fake.write("#!/bin/sh\nexit 0\n") < 0 ||
        !fake.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner))
        return 2;
    fake.close();
    qputenv("PATH", opener.path().toUtf8() + ':' + qgetenv("PATH"));
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    BrowserWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_browser_window.moc"
