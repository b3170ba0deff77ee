#pragma once
// The logic behind one network-access session's browser window: builds the
// window, puts the session cookies into the web engine and the HTTP client,
// puts the page bridge on the page, loads the server's resource page, opens
// the session's resources, turns tunnel events into page updates and decides
// how the window and the session end. GUI thread only.

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <vector>

#include "dialogs/QuestionRow.h"
#include "session/HttpNetworkManager.h"
#include "session/SessionInfo.h"
#include "shell/MainWindow.h"
#include "shell/PageTunnels.h"
#include "shell/PowerManagment.h"
#include "shell/VpnWebBridge.h"
#include "shell/WebView.h"
#include "tunnel/ResourceManager.h"
#include "tunnel/TunnelTypes.h"

namespace tessal {
namespace qt {

class BrowserController : public QObject, public tessal::PowerManagment::NotificationSink
{
    Q_OBJECT

public:
    BrowserController();
    ~BrowserController() override;

    BrowserController(const BrowserController&) = delete;
    BrowserController& operator=(const BrowserController&) = delete;

    // Called once by the session after its checks passed.
    void start(const SessionInfo& info);
    void assignVecToResource(const SessionInfo& info);
    void createMainWindow();
    // A window made ahead (hidden, nothing loaded) that createMainWindow takes.
    void adoptWindow(const QSharedPointer<MainWindow>& window) { preparedWindow = window; }
    // While the profile is on its way (the site is trusted): the session
    // cookies and the page bridge go on the window made ahead, so that the
    // start after the checks has only to show it and load its page.
    void prepareAhead(const SessionInfo& info);
    void showMainWindow();
    void setNACookie();
    void webChannelInit();
    void loadStartPage(const QUrl& url, bool navigationAllowed);

    void downloadNAConfig();
    // 0 when opened; else a resource result code (103 known, 113 resource
    // page not handled yet, 118 closing, or what the attach answered).
    int openMainResource(const QString& id, const QString& typeText, const QString& naParams);

    bool exitIfNoTunnels();
    void ReportErrorToUser(bool pageReady, const QString& title, const QString& message, const QString& details);
    void ReportErrorToUser(const QString& title, const QString& message, const QString& details);
    bool closeAllResources();
    void closeAllAndExit();

    // The port-mapping text the page gets with a connected application tunnel.
    static QString portMappingJson(const std::vector<tessal::TunnelEndpoint>& entries);
    // SHA-512 (lower-case hex) of the machine identity and the session id's last 8 characters.
    static QString machineHash(const std::string& identity, const QString& sessionId);

    static bool appExistsInPath(const tessal::AppLaunchRequest& app);
    static QString launchQuestionText(QString site, QString resourceShortName, bool relaunch, bool trusted);

    // Read access for the session (tests read the rest through ShellTestSeam).
    bool isStarted() const { return started; }
    bool isClosing() const { return closing; }

signals:
    void realCloseMainWindow();

public slots:
    void onTunnelConnected(QString id, int resType);
    void onTunnelReconnecting(QString id, int resType);
    void onTunnelConnecting(QString id, int resType);
    void onTunnelClosed(QString id, int resType, int error);
    void onTunnelError(QString id, int resType, int error);
    void onTryCloseMainWindow();
    void onPageLoaded(bool ok);
    void onCertificateDenied(QNetworkReply* r);
    void updatePageContent();
    void checkResourceStatus();
    void attachMainResource(QString naParams = QString());
    void onNAParamsRequestFinished(Err::HttpNetworkManager err, QString status);
    void onNewSetQuitMessage(QString newMsg);
    void onRealCloseMainWindow();
    void onRequestFinished(QNetworkReply* reply);
    void onWindowCloseRequestedByJS();
    void disconnectReq(QString id);
    void showLogFileReq();
    void tunnelInfoReq();
    void onToggleLogSettings(int newLevel);
    void launchApplicationsMayBeAsk(QString id, bool relaunch = false);
    void OnNotification(tessal::PowerManagment::Enum note) override;

private:
    friend struct ShellTestSeam;
    void firstLoadFollowUp();
    // details is plain text, or (RichText) the program's markup around escaped values.
    void reportError(bool pageReady, const QString& title, const QString& message, const QString& details,
                     Qt::TextFormat detailsFormat);
    QString sessionReferenceText(const QString& error) const;
    // The window is closing: the page's JavaScript dialogs end.
    void endPageDialogs();
    // Whether a request of the page may raise a question now.
    bool admitPageQuestion(const char* request);
    void putSessionCookies(const QUrl& server, const QString& id);
    // False, with why, when the channel's library cannot be read.
    bool installWebChannel(WebView* view, const QUrl& server, QString& failure);

    ResourceManager resourceManager;
    int logClicks = 0;
    bool errorPageShown = false;
    bool started = false;
    bool resourcePageReady = false;
    bool cookiesSet = false;
    bool closing = false;
    QUrl currentUrl;
    QUrl firstUrl;
    QUrl serverUrl;
    QString sessionId;
    QString resourceName;
    QString resourceType;
    QString token;
    bool appLaunch = false;
    std::vector<QString> ipv4Addresses;
    std::vector<QString> ipv6Addresses;
    QString quitMessage;
    HttpNetworkManager networkManager;
    VpnWebBridge webBridge;
    // Every tunnel event for the page goes through here.
    PageTunnels pageTunnels{webBridge};
    // Held guarded: the view can go before the controller.
    QPointer<WebView> webView;
    QPointer<QTimer> statusTimer;
    QSharedPointer<MainWindow> mainWindow;
    QSharedPointer<MainWindow> preparedWindow;
    // What prepareAhead did, and for which server and session.
    QUrl aheadUrl;
    QString aheadSessionId;
    QPointer<WebView> bridgedAhead;
    std::vector<QString> failedResources;
    // Opens of resources still under way (they may wait in nested loops).
    int openDepth = 0;
    bool realClosePending = false;
    // Questions raised by the page's requests, one right after another.
    // One count of the page's questions, its JavaScript dialogs included.
    std::shared_ptr<QuestionRow> pageQuestions = std::make_shared<QuestionRow>();
};

// The text after the last "/" (the whole text without one).
QString lastPathComponent(const QString& id);

} // namespace qt
} // namespace tessal
