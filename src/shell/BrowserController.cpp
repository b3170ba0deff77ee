#include "shell/BrowserController.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QMessageBox>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrlQuery>
#include <QWebChannel>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include "dialogs/MessageBox.h"
#include "dialogs/ServerUrls.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/LogSettings.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "session/SessionExchange.h"
#include "session/TrustedSitePrompt.h"
#include "shell/BrowserControllerApps.h"
#include "shell/CookieOriginFilter.h"
#include "shell/MachineIdentity.h"
#include "shell/NAParamsXml.h"
#include "tunnel/ResourceErrors.h"
#include "tunnel/ResourceType.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "BrowserController";
constexpr int kStatusIntervalMs = 500;
constexpr int kNAConfigTimeoutMs = 60000;
constexpr uint32_t kNAConfigTotalMs = 180000;
constexpr int kAttachDelayMs = 10;
// Far beyond any real parameter list; a larger reply would hold the window
// while it is read and built into the tunnel's texts.
constexpr size_t kMaxNAParamsBytes = 16 * 1024 * 1024;
constexpr int kJsCloseDelayMs = 100;
constexpr int kAlreadyKnown = 103;
constexpr int kResourcePageNotReady = 113;
constexpr int kControllerClosing = 118;
constexpr int kSessionExpired = 27;
constexpr int kLogClicksBeforeQuestion = 100;
constexpr int kLowestLogLevel = 31;
constexpr int kHighestLogLevel = 127;
// Every error report is recorded under the public report's name.
constexpr const char* kReportFunction =
    "void tessal::qt::BrowserController::ReportErrorToUser(bool, const QString&, const QString&, const QString&)";

const char kChannelBootstrap[] =
    "\nvar external\nnew QWebChannel(qt.webChannelTransport, function(channel) {     external = "
    "channel.objects.external;});";
static_assert(sizeof(kChannelBootstrap) - 1 == 117, "web channel bootstrap");

// Runs between the channel's library and its bootstrap, before any script of
// the document. A document of another origin than the server's loses the
// transport (and the bootstrap does nothing), so that nothing it sends
// reaches the GUI thread; the server's own page cannot send a message longer
// than the cap, which the GUI thread would otherwise parse and convert.
// %1: the server's origin as a JavaScript string, %2: the cap in characters.
const char kChannelGuard[] = "\n;(function () {\n"
                             "    var transport = window.qt && window.qt.webChannelTransport;\n"
                             "    if (!transport)\n"
                             "        return;\n"
                             "    if (self.origin !== %1) {\n"
                             "        delete window.qt.webChannelTransport;\n"
                             "        QWebChannel = function () {};\n"
                             "        return;\n"
                             "    }\n"
                             "    var send = transport.send;\n"
                             "    transport.send = function (message) {\n"
                             "        if (typeof message === \"string\" && message.length <= %2)\n"
                             "            send.call(transport, message);\n"
                             "    };\n"
                             "})();\n";

// Runs after the guard, before the bootstrap. The page hears a signal of the
// bridge only once its script has connected to it, which may be after the
// first events (a tunnel that fails at once), and a document that replaces
// the last one (a reload, a new renderer) heard none of them. So the channel
// connects to the page's signals itself, asks once for every tunnel's state
// (PageTunnels), drops what arrived before that answer (the answer holds it),
// and hands each event to the page's own listeners, keeping those that no
// listener takes yet until one connects.
// %1: the state object's name as a JavaScript string, %2: most events kept.
const char kPageListener[] = R"(
;(function () {
    if (!(window.qt && window.qt.webChannelTransport) || typeof QWebChannel !== "function")
        return;
    var Channel = QWebChannel;
    var names = ["onTunnelAdd", "onTunnelConnecting", "onTunnelConnected", "onTunnelReconnecting",
                 "onTunnelDisconnected", "onTunnelError", "onTunnelData", "onConnectionDetails"];
    QWebChannel = function (transport, initialised) {
        return new Channel(transport, function (channel) {
            var state = channel.objects[%1];
            delete channel.objects[%1];
            var bridge = channel.objects.external;
            var listeners = {};
            var held = [];
            var live = false;
            var flushing = false;
            function deliver(name, args) {
                var own = listeners[name];
                if (own.length === 0) {
                    held.push([name, args]);
                    if (held.length > %2)
                        held.shift();
                    return;
                }
                own.slice().forEach(function (callback) {
                    try {
                        callback.apply(callback, args);
                    } catch (e) {
                        console.error(e);
                    }
                });
            }
            function flush() {
                flushing = false;
                var waiting = held;
                held = [];
                waiting.forEach(function (e) { deliver(e[0], e[1]); });
            }
            names.forEach(function (name) {
                var signal = bridge && bridge[name];
                if (!signal || typeof signal.connect !== "function")
                    return;
                listeners[name] = [];
                signal.connect(function () {
                    if (live)
                        deliver(name, Array.prototype.slice.call(arguments));
                });
                signal.connect = function (callback) {
                    if (typeof callback !== "function")
                        return;
                    listeners[name].push(callback);
                    if (held.length > 0 && !flushing) {
                        flushing = true;
                        Promise.resolve().then(flush);
                    }
                };
                signal.disconnect = function (callback) {
                    var i = listeners[name].indexOf(callback);
                    if (i >= 0)
                        listeners[name].splice(i, 1);
                };
            });
            function start(told) {
                if (live)
                    return;
                live = true;
                (Array.isArray(told) ? told : []).forEach(function (e) {
                    if (Array.isArray(e) && listeners.hasOwnProperty(e[0]))
                        deliver(e[0], e.slice(1));
                });
            }
            if (state && typeof state.tunnels === "function")
                state.tunnels(start);
            else
                start([]);
            if (initialised)
                initialised(channel);
        });
    };
})();
)";
// Events kept for a page that has not connected to them yet.
constexpr int kMaxHeldPageEvents = 1000;

// The origin of a URL as a document's script reads it (self.origin).
QString scriptOrigin(const QUrl& url)
{
    QUrl origin;
    origin.setScheme(asciiLowered(url.scheme()));
    origin.setHost(asciiLowered(url.host(QUrl::FullyEncoded)));
    const int port = url.port();
    const int defaultPort = origin.scheme() == QLatin1String("https") ? 443
                          : origin.scheme() == QLatin1String("http")  ? 80
                                                                      : -1;
    if (port != -1 && port != defaultPort)
        origin.setPort(port);
    return origin.toString(QUrl::FullyEncoded);
}

QString jsonEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QLatin1String("\\\""); break;
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\r': out += QLatin1String("\\r"); break;
        case '\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

QString fromNarrow(const std::string& text)
{
    return QString::fromUtf8(text.c_str());
}

// Runs a slot's body inside the uniform handler; true when nothing was thrown.
template <typename Body>
bool guarded(const char* tag, const char* operation, Body&& body)
{
    int result = 0;
    bool done = false;
    guardOperation(UCATCH_SITE(kLogFile, tag, operation), result, [&]() {
        body();
        done = true;
    });
    return done;
}
} // namespace

QString lastPathComponent(const QString& id)
{
    const int slash = id.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? id : id.mid(slash + 1);
}

BrowserController::BrowserController()
{
    statusTimer = new QTimer(this);
    quitMessage = tr("You have one or more running Tunnels. Do you really want to close this window?");
    statusTimer->setInterval(kStatusIntervalMs);
    connect(statusTimer, SIGNAL(timeout()), this, SLOT(updatePageContent()));
    connect(statusTimer, SIGNAL(timeout()), this, SLOT(checkResourceStatus()));

    connect(&resourceManager, SIGNAL(tunnelConnected(QString, int)), this, SLOT(onTunnelConnected(QString, int)));
    connect(&resourceManager, SIGNAL(tunnelReconnecting(QString, int)), this, SLOT(onTunnelReconnecting(QString, int)));
    connect(&resourceManager, SIGNAL(tunnelConnecting(QString, int)), this, SLOT(onTunnelConnecting(QString, int)));
    connect(&resourceManager, SIGNAL(tunnelClosed(QString, int, int)), this, SLOT(onTunnelClosed(QString, int, int)));
    connect(&resourceManager, SIGNAL(tunnelError(QString, int, int)), this, SLOT(onTunnelError(QString, int, int)));

    Subscribe();

    connect(&webBridge, SIGNAL(newSetQuitMessage(QString)), this, SLOT(onNewSetQuitMessage(QString)),
            Qt::QueuedConnection);
    connect(&webBridge, SIGNAL(disconnect(QString)), this, SLOT(disconnectReq(QString)), Qt::QueuedConnection);
    connect(&webBridge, SIGNAL(showLogRequest()), this, SLOT(showLogFileReq()), Qt::QueuedConnection);
    connect(&webBridge, SIGNAL(tunnelInfoRequest()), this, SLOT(tunnelInfoReq()), Qt::QueuedConnection);
    connect(&webBridge, SIGNAL(toggleLogSettings(int)), this, SLOT(onToggleLogSettings(int)), Qt::QueuedConnection);
}

BrowserController::~BrowserController() = default;

// ---------------------------------------------------------------- start

void BrowserController::start(const SessionInfo& info)
{
    assignVecToResource(info);
    createMainWindow();
    showMainWindow();
    started = true;
    serverUrl = info.url;
    sessionId = info.sessionId;
    resourceName = info.resourceName;
    resourceType = info.resourceType;
    token = info.token;
    appLaunch = info.appLaunch;
    ipv4Addresses = info.ipv4Addresses;
    ipv6Addresses = info.ipv6Addresses;
    resourceManager.setSession(serverUrl, sessionId);
    setNACookie();
    loadStartPage(makeResourceTemplateUrl(serverUrl), true);
}

void BrowserController::assignVecToResource(const SessionInfo& info)
{
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "Inside BrowserController::assignVecToResource");
    for (const QString& address : info.ipv4Addresses)
        resourceManager.vecv4InResourceManager.push_back(toCStringUtf8(address));
    for (const CString& entry : resourceManager.vecv4InResourceManager)
        ULOG_VERBOSE(kLogFile,
                     "BrowserController::assignVecToResource The resourceManager.vecv4InResourceManager content is ",
                     makeArgFormat("%1, %2", "::", entry));
    for (const QString& address : info.ipv6Addresses)
        resourceManager.vecv6InResourceManager.push_back(toCStringUtf8(address));
    for (const CString& entry : resourceManager.vecv6InResourceManager)
        ULOG_VERBOSE(kLogFile,
                     "BrowserController::assignVecToResource The resourceManager.vecv6InResourceManager content is ",
                     makeArgFormat("%1, %2", "::", entry));
}

void BrowserController::createMainWindow()
{
    if (mainWindow)
        return;
    mainWindow = preparedWindow ? preparedWindow : QSharedPointer<MainWindow>(new MainWindow());
    preparedWindow.reset();
    mainWindow->showTrayIcon();
    webView = mainWindow->webView();
    networkManager.SetParentWidget(mainWindow.data());
    if (webView)
        webView->setAuthenticationHandler(&networkManager);
    showMainWindow();
    if (webView) {
        connect(webView->page(), SIGNAL(loadFinished(bool)), this, SLOT(onPageLoaded(bool)), Qt::QueuedConnection);
        connect(webView->page(), SIGNAL(windowCloseRequested()), this, SLOT(onWindowCloseRequestedByJS()));
        // The view loads the page again once a minute at most; until then the
        // error page says why. It ends nothing: the page comes back.
        webView->setRendererLostHandler([this]() {
            guarded("Failed to report the page's end", "BrowserController::createMainWindow", [&]() {
                if (closing || !webView)
                    return;
                const QString message = tr("The resource page stopped working");
                const QString details = tr("Its renderer ended twice within a minute.");
                ULOG_ERROR(kLogFile, kReportFunction, makeArgFormat("Failure occurred:", message, details));
                webView->showErrorPage(message, details);
            });
        });
    }
    connect(mainWindow.data(), SIGNAL(windowClosed()), this, SLOT(onTryCloseMainWindow()));
    connect(this, SIGNAL(realCloseMainWindow()), this, SLOT(onRealCloseMainWindow()));
    connect(&networkManager, SIGNAL(SslCertificateDenied(QNetworkReply*)), this,
            SLOT(onCertificateDenied(QNetworkReply*)));
    connect(&networkManager, SIGNAL(finished(QNetworkReply*)), this, SLOT(onRequestFinished(QNetworkReply*)));
}

void BrowserController::showMainWindow()
{
    if (webView && mainWindow && !webView->isMinimized())
        mainWindow->show();
}

QString BrowserController::machineHash(const std::string& identity, const QString& id)
{
    // Both parts end at their first NUL byte.
    QByteArray input = QString::fromUtf8(identity.c_str()).toUtf8();
    input += shortSecret(id).toUtf8();
    const int nul = input.indexOf('\0');
    if (nul >= 0)
        input.truncate(nul);
    return QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha512).toHex());
}

void BrowserController::prepareAhead(const SessionInfo& info)
{
    // Only a window made ahead: an inspection session starts no web engine.
    if (started || !preparedWindow || preparedWindow->webView() == nullptr || !aheadUrl.isEmpty())
        return;
    aheadUrl = info.url;
    aheadSessionId = info.sessionId;
    putSessionCookies(aheadUrl, aheadSessionId);
    // A failure is recorded where it always was, when the page is loaded.
    QString failure;
    if (installWebChannel(preparedWindow->webView(), aheadUrl, failure))
        bridgedAhead = preparedWindow->webView();
}

void BrowserController::setNACookie()
{
    // Session ids reach the log only in short form.
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Setting cookie %1=%2 for %3", "MRHSession", shortSecret(sessionId), serverUrl));
    if (aheadUrl != serverUrl || aheadSessionId != sessionId)
        putSessionCookies(serverUrl, sessionId);
    cookiesSet = true;
}

void BrowserController::putSessionCookies(const QUrl& server, const QString& id)
{
    const std::string identity = readMachineIdentity();
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();

    const QString hash = machineHash(identity, id);
    const QString value = id + QStringLiteral("; ") + QStringLiteral("MachineHash=") + hash;
    const bool secure = server.scheme() == QLatin1String("https");

    if (profile != nullptr && profile->cookieStore() != nullptr) {
        QNetworkCookie session(QByteArrayLiteral("MRHSession"), value.toUtf8());
        session.setSecure(secure);
        profile->cookieStore()->setCookie(session, server);
        QNetworkCookie machine(QByteArrayLiteral("MachineHash"), hash.toUtf8());
        machine.setSecure(secure);
        profile->cookieStore()->setCookie(machine, server);
        keepCookiesWithServerOrigin(profile->cookieStore(), server);
    }

    if (QNetworkCookieJar* jar = networkManager.cookieJar()) {
        QList<QNetworkCookie> cookies = jar->cookiesForUrl(server);
        cookies.append(MakeSessionCookie(QStringLiteral("MRHSession"), value, secure));
        jar->setCookiesFromUrl(cookies, server);
    }
}

void BrowserController::webChannelInit()
{
    if (!webView || webView->page() == nullptr)
        return;
    // The first one may have been put on the page ahead, for this server.
    if (bridgedAhead == webView && aheadUrl == serverUrl) {
        bridgedAhead.clear();
        return;
    }
    QString failure;
    if (!installWebChannel(webView, serverUrl, failure))
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Couldn't open qwebchannel.js file: %1", failure));
}

bool BrowserController::installWebChannel(WebView* view, const QUrl& server, QString& failure)
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        failure = file.errorString();
        return false;
    }
    QByteArray source = file.readAll();
    source += QString::fromLatin1(kChannelGuard)
                  .arg(QLatin1Char('"') + jsonEscaped(scriptOrigin(server)) + QLatin1Char('"'))
                  .arg(VpnWebBridge::kMaxMessageSize)
                  .toUtf8();
    source += QString::fromLatin1(kPageListener)
                  .arg(QLatin1Char('"') + QLatin1String(PageTunnels::kChannelName) + QLatin1Char('"'))
                  .arg(kMaxHeldPageEvents)
                  .toUtf8();
    source += kChannelBootstrap;

    WebPage* page = view->page();
    QWebEngineScript script;
    script.setName(QStringLiteral("qwebchannel.js"));
    script.setSourceCode(QString::fromUtf8(source));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setRunsOnSubFrames(false);
    script.setWorldId(QWebEngineScript::MainWorld);
    page->scripts().insert(script);

    auto* channel = new QWebChannel(page);
    view->setWebChannel(channel);
    page->setWebChannel(channel, QWebEngineScript::MainWorld);
    webBridge.bind(page, server);
    page->setServerUrl(server);
    page->setQuestionRow(pageQuestions);
    channel->registerObject(QStringLiteral("external"), &webBridge);
    channel->registerObject(QString::fromLatin1(PageTunnels::kChannelName), &pageTunnels);
    return true;
}

void BrowserController::loadStartPage(const QUrl& url, bool navigationAllowed)
{
    if (firstUrl.isEmpty())
        firstUrl = url;
    if (url == currentUrl)
        return;
    webChannelInit();
    currentUrl = url;
    if (webView)
        webView->load(url, navigationAllowed);
}

// ---------------------------------------------------------------- main resource

void BrowserController::firstLoadFollowUp()
{
    const ResourceType::Enum type = resourceTypeFromString(resourceType);
    const QString root = displayedUrl(makeServerRootUrl(serverUrl));
    if (type == ResourceType::network_access) {
        if (mainWindow)
            mainWindow->setTitle(resourceName, root);
        downloadNAConfig();
    } else {
        if (mainWindow)
            mainWindow->setTitle(tr("Application tunnels"), root);
        attachMainResource(QString());
    }
}

void BrowserController::downloadNAConfig()
{
    const QUrl url = makeNAConfigUrl(serverUrl, resourceName);
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Downloading NA config: %1", url.toString()));
    networkManager.setBounds({static_cast<qint64>(kMaxNAParamsBytes), kNAConfigTotalMs, 0});
    networkManager.HttpGet(url, kNAConfigTimeoutMs);
    connect(&networkManager, SIGNAL(RequestFinished(Err::HttpNetworkManager, QString)), this,
            SLOT(onNAParamsRequestFinished(Err::HttpNetworkManager, QString)), Qt::UniqueConnection);
}

void BrowserController::onNAParamsRequestFinished(Err::HttpNetworkManager err, QString status)
{
    guarded("Failed to retrieve Network access parameters", __PRETTY_FUNCTION__, [&]() {
        // A reply past the bound was cut off as it arrived; it is refused as too large.
        const bool tooLarge = networkManager.bodyBoundReached();
        if (err != Err::Success && !tooLarge) {
            ReportErrorToUser(resourceName, tr("Failed to retrieve Network access parameters"), status);
            return;
        }
        QString naParams;
        try {
            const std::vector<char>& body = networkManager.body();
            if (tooLarge) {
                ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                           makeArgFormat("Network access parameters reply too large, limit %1",
                                         static_cast<long>(kMaxNAParamsBytes)));
                throw std::length_error(tr("The reply is larger than %1 bytes").arg(kMaxNAParamsBytes).toStdString());
            }
            naParams = naParamsFromXml(QByteArray(body.data(), static_cast<int>(body.size())));
        } catch (const std::exception& e) {
            ReportErrorToUser(resourceName, tr("Failed to parse Network access parameters"),
                              QString::fromUtf8(e.what()));
            return;
        }
        QPointer<BrowserController> self(this);
        QTimer::singleShot(kAttachDelayMs, Qt::PreciseTimer, this, [self, naParams]() {
            if (self)
                self->attachMainResource(naParams);
        });
    });
}

void BrowserController::attachMainResource(QString naParams)
{
    guarded("Failed to attach main resource", __PRETTY_FUNCTION__,
            [&]() { openMainResource(resourceName, resourceType, naParams); });
}

int BrowserController::openMainResource(const QString& id, const QString& typeText, const QString& naParams)
{
    if (closing)
        return kControllerClosing;
    if (!resourcePageReady)
        return kResourcePageNotReady;
    const ResourceType::Enum type = resourceTypeFromString(typeText);
    if (resourceManager.isOpened(id)) {
        if (type == ResourceType::app_tunnel) {
            launchApplicationsMayBeAsk(id, true);
            return 0;
        }
        return kAlreadyKnown;
    }
    if (resourceManager.isNotOpened(id))
        return kAlreadyKnown;

    pageTunnels.add(id, type == ResourceType::network_access ? QStringLiteral("VPN") : QStringLiteral("URTUNNEL"));
    int r = 0;
    {
        // A close asked for while the open waits in a nested loop is held
        // back until the open has returned: the session must not end under it.
        ++openDepth;
        struct Leave {
            BrowserController* c;
            ~Leave()
            {
                if (--c->openDepth == 0 && c->realClosePending)
                    QMetaObject::invokeMethod(c, "realCloseMainWindow", Qt::QueuedConnection);
            }
        } leave{this};
        r = resourceManager.attachResource(id, type, naParams);
    }
    if (r == 0 || r == kControllerClosing) {
        exitIfNoTunnels();
        return r;
    }
    if (isResourceRequestRefusal(r)) {
        pageTunnels.disconnected(id);
        return r;
    }
    ReportErrorToUser(id, tr("Failed to open tunnel %1").arg(id), resourceErrorText(r));
    return r;
}

// ---------------------------------------------------------------- tunnel events

QString BrowserController::portMappingJson(const std::vector<tessal::TunnelEndpoint>& entries)
{
    QString array = QStringLiteral("[");
    QString warning;
    for (const tessal::TunnelEndpoint& e : entries) {
        if (e.state == 2) {
            // One arg call: a "%1" in the host (an IPv6 zone) must not take the port.
            warning += QStringLiteral(" Failed to establish tunnel to %1:%2;")
                           .arg(jsonEscaped(fromNarrow(e.remote_host)), QString::number(e.remote_port));
            continue;
        }
        array += QStringLiteral("{\"is_changed\":%1,\"local_host\":\"%2\",\"remote_host\":\"%3\",\"local_port\":\"%4\","
                                "\"remote_port\":\"%5\",\"desired_local_host\":\"%6\",\"desired_local_port\":\"%7\"} ")
                     .arg(e.state == 1 ? QStringLiteral("true") : QStringLiteral("false"),
                          jsonEscaped(fromNarrow(e.local_host)), jsonEscaped(fromNarrow(e.remote_host)),
                          QString::number(e.local_port), QString::number(e.remote_port),
                          jsonEscaped(fromNarrow(e.desired_local_host)), QString::number(e.desired_local_port));
        array += QLatin1Char(',');
    }
    array += QStringLiteral("{}]");
    if (entries.empty())
        warning = jsonEscaped(tr("The resource doesn't contain any tunnels associated with current platform"));
    return QStringLiteral("{\"mappings\":%1, \"warningMessage\": \"%2\"}").arg(array, warning);
}

void BrowserController::onTunnelConnecting(QString id, int resType)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to handle tunnel event", fn, [&]() {
        ULOG_VERBOSE(kLogFile, fn, makeArgFormat("Tunnel %1 (%2) connecting...", id, resType));
        pageTunnels.connecting(id);
    });
}

void BrowserController::onTunnelConnected(QString id, int resType)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to handle tunnel event", fn, [&]() {
        ULOG_VERBOSE(kLogFile, fn, makeArgFormat("Tunnel %1 (%2) connected", id, resType));
        QString conflicts;
        if (resType == ResourceType::app_tunnel) {
            std::vector<tessal::TunnelEndpoint> entries;
            const std::string tag =
                "Failed to retrieve applications to launch for resource " + std::string(id.toUtf8().constData());
            guarded(tag.c_str(), fn, [&]() { entries = resourceManager.getResourceDetails(id); });
            conflicts = portMappingJson(entries);
        }
        pageTunnels.connected(id, conflicts);
        if (statusTimer && !statusTimer->isActive())
            statusTimer->start();
        launchApplicationsMayBeAsk(id, false);
    });
}

void BrowserController::onTunnelReconnecting(QString id, int resType)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to handle tunnel event", fn, [&]() {
        ULOG_VERBOSE(kLogFile, fn, makeArgFormat("Tunnel %1 (%2) reconnecting...", id, resType));
        if (statusTimer && statusTimer->isActive() && resourceManager.isEmpty())
            statusTimer->stop();
        pageTunnels.reconnecting(id);
    });
}

void BrowserController::onTunnelClosed(QString id, int resType, int error)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to handle tunnel event", fn, [&]() {
        if (error == 0)
            ULOG_VERBOSE(kLogFile, fn, makeArgFormat("Tunnel %1 (%2) has been closed", id, resType));
        else
            ULOG_ERROR(kLogFile, fn,
                       makeArgFormat("Tunnel %1 (%2) has been interrupted: %3, %4", id, resType,
                                     resourceErrorText(error), error));
        if (statusTimer && statusTimer->isActive() && resourceManager.isEmpty())
            statusTimer->stop();

        if (error == 0) {
            if (exitIfNoTunnels())
                pageTunnels.forget(id);
            else
                pageTunnels.disconnected(id);
        } else if (error == kSessionExpired) {
            pageTunnels.forget(id);
            exitIfNoTunnels();
        } else {
            ReportErrorToUser(id, tr("Tunnel has been interrupted"), resourceErrorText(error));
            if (closing)
                exitIfNoTunnels();
        }

        // The page keeps its bridge while any resource remains, a failed one
        // included: the page dismisses that through the bridge.
        if (resourceManager.isEmpty() && failedResources.empty() && webView && webView->webChannel() != nullptr) {
            QWebChannel* channel = webView->webChannel();
            if (webView->page() != nullptr)
                webView->page()->setWebChannel(nullptr);
            webView->setWebChannel(nullptr);
            channel->deleteLater();
        }
    });
}

void BrowserController::onTunnelError(QString id, int, int error)
{
    guarded("Failed to handle tunnel event", __PRETTY_FUNCTION__, [&]() {
        ReportErrorToUser(id, tr("Failed to establish tunnel %1").arg(id), resourceErrorText(error));
        exitIfNoTunnels();
    });
}

bool BrowserController::exitIfNoTunnels()
{
    if (!resourceManager.isEmpty())
        return false;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "All tunnels are down. closing window...");
    if (openDepth > 0)
        realClosePending = true;
    else
        emit realCloseMainWindow();
    return true;
}

void BrowserController::updatePageContent()
{
    guarded("Failed to retrieve all resources stats", __PRETTY_FUNCTION__, [&]() {
        for (const ResourceStats& entry : resourceManager.getStatistics())
            pageTunnels.data(entry.id, entry.stats.send_server, entry.stats.recv_server, entry.stats.send_client,
                             entry.stats.recv_client);
    });
}

void BrowserController::checkResourceStatus()
{
    guarded("Failed to check resource server status", __PRETTY_FUNCTION__, [&]() { resourceManager.checkStatus(); });
}

// ---------------------------------------------------------------- errors and closing

QString BrowserController::sessionReferenceText(const QString& error) const
{
    return tr("The session reference number: %1\n Error: %2.\n").arg(shortSecret(sessionId), error);
}

void BrowserController::ReportErrorToUser(bool pageReady, const QString& title, const QString& message,
                                          const QString& details)
{
    reportError(pageReady, title, message, details, Qt::PlainText);
}

void BrowserController::reportError(bool pageReady, const QString& title, const QString& message,
                                    const QString& details, Qt::TextFormat detailsFormat)
{
    QString d = details;
    d.remove(QLatin1Char('\n'));
    ULOG_ERROR(kLogFile, kReportFunction, makeArgFormat("Failure occurred:", message, d));
    if (!pageReady) {
        errorPageShown = true;
        started = true;
        if (webView)
            webView->showErrorPage(message, d, detailsFormat);
        return;
    }
    failedResources.push_back(title);
    pageTunnels.error(title, message + QStringLiteral(": ") + d);
}

void BrowserController::ReportErrorToUser(const QString& title, const QString& message, const QString& details)
{
    ReportErrorToUser(resourcePageReady, title, message, details);
}

void BrowserController::onPageLoaded(bool ok)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to handle page load", fn, [&]() {
        const QUrl url = webView ? webView->currentUrl() : currentUrl;
        ULOG_VERBOSE(kLogFile, fn,
                     makeArgFormat("%1 page %2", ok ? "Successfilly loaded" : "Failed to load", url.toString()));
        // The program's own error page, or one on show until the page comes back.
        if (errorPageShown || closing || (webView && webView->showsErrorPage()))
            return;
        const QUrl root = makeServerRootUrl(url);
        if (!ok) {
            // A navigation that left the resource page as it was fails nothing.
            if (resourcePageReady && webView && webView->lastLoadKeptPage())
                return;
            const bool refused = webView && webView->page() && webView->page()->certificateRefused(root);
            ReportErrorToUser(
                resourceName, tr("Failed to download resource page"),
                (refused ? tr("The certificate of the server %1 was refused") : tr("Connection to %1 was interrupted"))
                    .arg(displayedUrl(root)));
            return;
        }
        if (!cookiesSet)
            return;
        // Only the access server's own logout page ends the session.
        if (VpnWebBridge::sameOrigin(url, serverUrl) &&
            url.path(QUrl::FullyDecoded).contains(QLatin1String("/my.logout.php3"))) {
            const QString code = QUrlQuery(url).queryItemValue(QStringLiteral("errorcode"), QUrl::FullyDecoded);
            if (!code.isEmpty())
                ReportErrorToUser(resourceName, tr("Your session could not be established"),
                                  sessionReferenceText(code));
            closeAllResources();
            return;
        }
        if (resourcePageReady)
            return;
        resourcePageReady = true;
        try {
            firstLoadFollowUp();
        } catch (const UException& e) {
            ULOG_ERROR(kLogFile, fn, makeArgFormat("EXCEPTION caught: %1", "Failed to attach main resource"));
            ReportErrorToUser(false, resourceName, tr("Your resource could not be connected"),
                              sessionReferenceText(QString::fromUtf8(e.what())));
        } catch (const std::exception& e) {
            ULOG_ERROR(kLogFile, fn, makeArgFormat("%1, %2", "Failed to attach main resource", e.what()));
            ReportErrorToUser(false, resourceName, tr("Your resource could not be connected"),
                              sessionReferenceText(QString::fromUtf8(e.what())));
        }
    });
}

void BrowserController::onRequestFinished(QNetworkReply* reply)
{
    const char* const fn = __PRETTY_FUNCTION__;
    if (reply == nullptr)
        return;
    guarded("Failed to handle request result", fn, [&]() {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const int err = static_cast<int>(reply->error());
        if (status < 400 && err == 0)
            return;
        ULOG_WARNING(kLogFile, fn,
                     makeArgFormat("HTTP code: %1, error %2, url: %3", status, err, reply->url().toString()));
        // The program's markup stays; the server's texts inside it are escaped.
        if (reply->url() == firstUrl)
            reportError(resourcePageReady, resourceName, tr("Failed to download resource page"),
                        QStringLiteral("<b>%1</b>: %2")
                            .arg(displayedUrl(makeServerRootUrl(reply->url())).toHtmlEscaped(),
                                 reply->errorString().toHtmlEscaped()),
                        Qt::RichText);
    });
}

void BrowserController::onCertificateDenied(QNetworkReply* r)
{
    if (r == nullptr)
        return;
    if (makeServerRootUrl(r->url()) != makeServerRootUrl(firstUrl))
        return;
    guarded("Failed to close resources", __PRETTY_FUNCTION__, [&]() { closeAllAndExit(); });
}

void BrowserController::endPageDialogs()
{
    if (webView && webView->page())
        webView->page()->endJavaScriptDialogs();
}

bool BrowserController::admitPageQuestion(const char* request)
{
    return pageQuestions->admit([&]() {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Page request %1 refused: too many questions in a row", request));
    });
}

bool BrowserController::closeAllResources()
{
    return resourceManager.closeAll();
}

void BrowserController::closeAllAndExit()
{
    if (closing)
        return;
    closing = true;
    endPageDialogs();
    if (closeAllResources()) {
        if (openDepth > 0)
            realClosePending = true;
        else
            emit realCloseMainWindow();
    }
}

void BrowserController::onTryCloseMainWindow()
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to close window", fn, [&]() {
        // Everything is being closed already: no second question.
        if (closing)
            return;
        if (resourceManager.isEmpty()) {
            closeAllAndExit();
            return;
        }
        if (ShowQuestionBox(quitMessage) == QMessageBox::Ok) {
            ULOG_VERBOSE(kLogFile, fn, "User confirmed window close");
            closeAllAndExit();
        }
    });
}

void BrowserController::onWindowCloseRequestedByJS()
{
    if (!started)
        return;
    // As with the logout page and the bridge: only the server's own page, or
    // the program's error page, may end the session.
    const QUrl document = webView && webView->page() ? webView->page()->url() : QUrl();
    const bool ownErrorPage =
        (errorPageShown || (webView && webView->showsErrorPage())) && document == QUrl(QStringLiteral("about:blank"));
    if (!ownErrorPage && !VpnWebBridge::sameOrigin(document, serverUrl)) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("close window requested by JS of %1 ignored: not the server's page",
                                   makeServerRootUrl(document).toString()));
        return;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "close window requested by JS");
    QTimer::singleShot(kJsCloseDelayMs, Qt::PreciseTimer, this, [this]() {
        guarded("Failed to close window", "BrowserController::onWindowCloseRequestedByJS",
                [&]() { closeAllAndExit(); });
    });
}

void BrowserController::onRealCloseMainWindow()
{
    if (statusTimer && statusTimer->isActive())
        statusTimer->stop();
    endPageDialogs();
    if (mainWindow)
        mainWindow->realCloseWindow();
}

void BrowserController::onNewSetQuitMessage(QString newMsg)
{
    // The question box shows rich text; the page's text is shown as text.
    if (!newMsg.isEmpty())
        quitMessage = newMsg.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

void BrowserController::disconnectReq(QString id)
{
    const char* const fn = __PRETTY_FUNCTION__;
    guarded("Failed to disconnect resource", fn, [&]() {
        ULOG_VERBOSE(kLogFile, fn, makeArgFormat("User pressed disconnect '%1' tunnel", id));
        // A resource still in the table is running, whatever was reported about it.
        const bool held = resourceManager.isOpened(id) || resourceManager.isNotOpened(id);
        const auto failed = std::find(failedResources.begin(), failedResources.end(), id);
        if (!held && failed != failedResources.end()) {
            failedResources.erase(failed);
            pageTunnels.disconnected(id);
            if (failedResources.empty())
                exitIfNoTunnels();
            return;
        }
        // A page that asks again at once, over and over, is not let to hold
        // the user in questions.
        if (!admitPageQuestion("disconnect"))
            return;
        // The box shows rich text: the id is the page's, not markup.
        const QString name = VpnWebBridge::pageText(lastPathComponent(id));
        QString question = tr("Do you really want to close tunnel %1?").arg(name.toHtmlEscaped());
        if (resourceManager.resourceCount() == 1)
            question += tr(" This is the last resource. Application will be closed");
        const int answer = ShowQuestionBox(question);
        pageQuestions->answered();
        if (answer != QMessageBox::Ok)
            return;
        const std::string tag = "Failed to close resource " + std::string(id.toUtf8().constData());
        int result = 0;
        guardOperation(UCATCH_SITE(kLogFile, tag.c_str(), fn), result,
                       [&]() { result = resourceManager.close(id, 0); });
        if (result != 0)
            ULOG_ERROR(kLogFile, fn, makeArgFormat("Failed to close resource %1", id));
    });
}

bool BrowserController::appExistsInPath(const tessal::AppLaunchRequest& app)
{
    return programInPath(app.app_path);
}

QString BrowserController::launchQuestionText(QString site, QString resourceShortName, bool relaunch, bool trusted)
{
    // Both come from the server.
    if (relaunch)
        return tr("Resource '%1' is already running, do you want to relaunch associated local application(s):")
            .arg(visibleText(resourceShortName));
    if (trusted)
        return tr("Website '%1' is attempting to run a local application(s):").arg(visibleText(displayedSite(site)));
    return tr("Website '%1' which is not in your Trusted Sites List is attempting to run a local application(s):")
        .arg(visibleText(displayedSite(site)));
}

void BrowserController::launchApplicationsMayBeAsk(QString id, bool relaunch)
{
    tessal::AppLaunchConfig config;
    const CString failure = makeArgFormat("Failed to retrieve applications to launch for the resource %1", id).str();
    bool read = false;
    int result = 0;
    guardOperation(UCATCH_SITE(kLogFile, failure, __PRETTY_FUNCTION__), result, [&]() {
        config = resourceManager.getLaunchConfig(id);
        read = true;
    });
    if (!read || config.requests.empty())
        return;
    const QString site = serverUrl.toString();
    const bool trusted = IsSitePermanentlyTrusted(site);
    launchWithConsent(config, trusted, launchQuestionText(site, lastPathComponent(id), relaunch, trusted));
}

void BrowserController::showLogFileReq()
{
    ++logClicks;
    if (logClicks >= kLogClicksBeforeQuestion) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("User clicked \"show log file\" more than %1 time(s)", kLogClicksBeforeQuestion));
        if (!admitPageQuestion("showLog"))
            return;
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        tr("\"Show log file\" link was clicked too many times. Do you want to continue?"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        const int answer = execQuestion(box, QMessageBox::Cancel);
        pageQuestions->answered();
        if (answer != QMessageBox::Ok)
            return;
        logClicks = 0;
    }
    openOwnLogFile(QString::fromLocal8Bit(static_cast<const char*>(getHomeFolder())) +
                   QStringLiteral("/.TessalNetworks/vpn.log"));
}

void BrowserController::tunnelInfoReq()
{
    // The type parser's exact text; any other text, or none, is not network access.
    if (resourceType != QLatin1String("network_access"))
        return;
    UPropertyList properties;
    const CString failure = makeArgFormat("Failed to retrieve tunnel info, resource %1", resourceName).str();
    int result = 0;
    guardOperation(UCATCH_SITE(kLogFile, failure, __PRETTY_FUNCTION__), result,
                   [&]() { properties = resourceManager.getTunnelProperties(resourceName); });
    const QStringList v = connectionDetails(properties);
    emit webBridge.onConnectionDetails(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
}

void BrowserController::onToggleLogSettings(int newLevel)
{
    if (newLevel < kLowestLogLevel || newLevel > kHighestLogLevel) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Wrong log level suggested (%1)", newLevel));
        return;
    }
    int result = 0;
    guardOperation(UCATCH_SITE(kLogFile, "Failed to set log level", __PRETTY_FUNCTION__), result, [&]() {
        if (IUErrorLog* log = g_pErrorLog.load())
            log->setLogLevel(newLevel);
        resourceManager.setLogLevel(newLevel);
    });
}

void BrowserController::OnNotification(tessal::PowerManagment::Enum note)
{
    if (note == tessal::PowerManagment::SystemGoesToSleep) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, "System goes to sleep, tearing down...");
        Acknowledge();
        closeAllAndExit();
        return;
    }
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Power notifiication, system goes to state '%1'",
                               note == tessal::PowerManagment::SystemAwake ? "Awake" : "Unknown"));
}

} // namespace qt
} // namespace tessal
