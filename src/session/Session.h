#pragma once
// One access session against one access server: the trust gate, the
// connectivity profile, the server-address and local-network checks, the
// update step and, for network access, the hand-over to the browser window.
// Each session ends by emitting exactly one of Error and Finished, as the
// last thing the emitting operation does; nothing of it runs afterwards.

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

#include "foundation/String.h"
#include "session/AutoUpdater.h"
#include "session/HttpNetworkManager.h"
#include "session/ProfileManager.h"
#include "session/SessionInfo.h"
#include "session/SessionNetworkChecks.h"
#include "shell/BrowserController.h"

namespace tessal {
namespace qt {

// Outcome of attaching a further resource to a running session.
struct AttachResourceResult {
    int code = 0; // 0 attached, else a resource result code
    QString message; // for the log and, with notifyUser, for the user
    bool notifyUser = false;
};

// The text between the first "<tag>" and the first "</tag>" after it; empty
// when "<tag>" does not occur. Throws std::runtime_error "Failed to find
// closing tag for <tag>" when the closing tag is missing.
std::string extractTagText(const std::string& text, const std::string& tag);

// How a guarded start of the browser controller ended: started; stopped by a
// break or an in-house exception with code 0, which end the session without
// an error; or failed, with its record written under operation.
enum class ControllerStart { Started, EndedSilently, Failed };
ControllerStart startBrowserControllerGuarded(const char* operation, const std::function<void()>& start);

class Session : public QObject, public SessionNetworkChecks
{
    Q_OBJECT

public:
    enum Type { EndpointInspection = 1, NetworkAccess = 2 };

    // Only for the toolkit's type registry; never started.
    Session();
    Session(const SessionInfo& info, int type);
    ~Session() override;

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Start();
    bool TrustedSiteListCheck();
    void ProfileDownload();
    void ConnectAutoUpdater();
    void StartAccessPolicyProcessing();

    bool isServerIPValid();
    int getVulnerableNetworkInterfaceInfo();

    AttachResourceResult AttachResource(const QString& resourceName, const QString& resourceType);

    const QString& GetSessionId() const { return sessionInfo.sessionId; }
    const QUrl& GetServerUrl() const { return sessionInfo.url; }
    int GetSessionType() const { return sessionType; }
    BrowserController& GetBrowserController() { return browserController; }
    // True once the session ended on a launch failure it showed the user.
    bool LaunchFailed() const { return launchFailed; }

    // The refusal report of an inspection session waits at most this long
    // (tests shorten it through SessionTestSeam).
    static constexpr int kRefusalTimeoutMs = 15000;

signals:
    void Error(QString errMessage);
    void Finished();

public slots:
    void RequestFinished(Err::HttpNetworkManager error, QString message);
    void SiteNotTrusted(Err::HttpNetworkManager error, QString message);
    void AutoUpdateSuccess();
    void AutoUpdateFail(QString message, bool ignore);
    void AutoUpdateIgnored();
    void ProfileDownloadSuccess();
    void ProfileDownloadFailed(QString errMsg);

private:
    friend struct SessionTestSeam;

    // Emits Finished once, without an error; every later step is dropped.
    void finish();
    // Emits Error once; every later step of this session is dropped.
    void fail(const QString& message);
    // A quit asked for holds: the session ends at its next step.
    bool endIfQuitting();
    // Holds the refusal limit while a certificate dialog of the session's
    // client is open: the user's reading time is not the server's silence.
    void holdRefusalTimer(bool dialogOpen);
    std::string trustedSiteTag() const;

    SessionInfo sessionInfo;
    int sessionType = 0;
    HttpNetworkManager httpManager;
    BrowserController browserController;
    QSharedPointer<AutoUpdater> autoUpdater;
    ProfileManager profileManager;

    QTimer refusalTimer;
    int refusalTimeoutMs = kRefusalTimeoutMs;
    // Time the refusal limit had left when a certificate dialog opened; -1
    // when it is not held.
    int refusalRemainingMs = -1;
    bool ended = false;
    bool launchFailed = false;
};

} // namespace qt
} // namespace tessal
