#pragma once
// The object the server's page reaches as "external" over the web channel.
// It makes no decision: the page's requests go out again as signals (the
// controller takes them queued), the diagnostics and the log-level query are
// answered at once. Bound to a page, it serves only documents of the access
// server's own origin: calls from any other document do nothing, and no
// signal reaches one.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QWebEnginePage;
class QWebEngineLoadingInfo;

namespace tessal {
namespace qt {

class VpnWebBridge : public QObject
{
    Q_OBJECT

public:
    VpnWebBridge();
    ~VpnWebBridge() override;

    // Serves page only while its document is of server's scheme, host and port.
    void bind(QWebEnginePage* page, const QUrl& server);
    // True when no page is bound, or the bound page shows a document of the server's origin.
    bool servesCurrentDocument() const;

    static bool sameOrigin(const QUrl& a, const QUrl& b);

    // The page's texts are laid out (question boxes, labels) on the GUI
    // thread: longer than this, they are cut and end in an ellipsis.
    static constexpr int kMaxPageText = 1000;
    // Longest message of the page's channel, in characters: no call of the
    // bridge needs more, and a longer one is refused before it is parsed.
    static constexpr int kMaxMessageSize = 65536;
    static QString pageText(const QString& text, int maxLength = kMaxPageText);

signals:
    void onTunnelAdd(QString id, QString type);
    void onTunnelConnecting(QString id);
    void onTunnelConnected(QString id, QString conflicts);
    void onTunnelReconnecting(QString id);
    void onTunnelDisconnected(QString id);
    void onTunnelError(QString id, QString reason);
    void onTunnelData(QString id, qlonglong outBytesLow, qlonglong inBytesLow, qlonglong outBytesTop,
                      qlonglong inBytesTop);
    void onConnectionDetails(QString port, QString transportProto, QString securityProto, QString cipherStrength,
                             QString hashAlgo, QString cipherAlgo, QString exchAlgo, QString clientIp,
                             QString clientIpv6);
    // Hides QObject::disconnect inside this class: the page knows it by this name.
    void disconnect(QString id);
    void newSetQuitMessage(QString newMsg);
    void showLogRequest();
    void tunnelInfoRequest();
    void toggleLogSettings(int newLevel);

public:
    Q_INVOKABLE void disconnectResource(QString id);
    Q_INVOKABLE void setQuitMessage(QString quitMsg);
    Q_INVOKABLE QString getRoutingTable();
    Q_INVOKABLE QString getIpTable();
    Q_INVOKABLE void showLog();
    Q_INVOKABLE void setLogLevel(bool extended);
    Q_INVOKABLE bool getLogLevel();
    Q_INVOKABLE void requestTunnelInfo();

private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void updateGuard();

    QPointer<QWebEnginePage> page;
    QUrl serverOrigin;
    bool bound = false;
    bool foreignLoad = false;
};

} // namespace qt
} // namespace tessal
