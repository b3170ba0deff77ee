#pragma once
// SessionManager: every launch request of the process ends here. It turns a
// launch URL into an access session or refuses it, holds the sessions (one
// network-access session, a bounded list of inspection sessions), attaches a
// further resource to the running network-access session, and leaves the
// event loop when the last session has gone.

#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

namespace tessal {
namespace qt {

class MainWindow;
class Session;

class SessionManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxInspectionSessions = 20;

    explicit SessionManager(QObject* parent = nullptr);
    ~SessionManager() override;

    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    // The one entry of every launch path: the launch, then CheckSessions.
    bool CreateAndLaunchSession(const QUrl& url);
    // Scheme dispatch; true when a session was started or a resource attached.
    bool CreateAndLaunchSessionInternal(const QUrl& url);

    std::optional<QString> StartNASession(const QUrl& url);
    std::optional<QString> StartEPCSession(const QUrl& url);

    int SessionCount() const;
    // With no session left: leaves the event loop with 0. The quit is posted,
    // so it also takes effect when it comes before the event loop runs, and
    // it waits while a launch is still under way in a nested event loop.
    void CheckSessions();

    // The held sessions (the network-access one may be null).
    const std::vector<std::shared_ptr<Session>>& InspectionSessions() const { return sessions; }
    const std::shared_ptr<Session>& NetworkAccessSession() const { return vpnSession; }

public slots:
    void SessionError(QString errMessage);
    void SessionFinished();

private:
    void RemoveSession(Session* session);
    void connectSession(Session* session);
    void quitIfStillEmpty();
    void releaseRetired();
    bool atTopLevel() const;

    std::vector<std::shared_ptr<Session>> sessions;
    std::shared_ptr<Session> vpnSession;
    // Sessions that have ended, kept until the call that ended them has returned.
    std::vector<std::shared_ptr<Session>> retired;
    // Tries the release again while a nested loop or a dialog still runs.
    QTimer releaseRetry;
    int launchesInProgress = 0;
    // One queued quit check at a time: the quit is logged once.
    bool quitQueued = false;
    // The program's exit status once no session is left: that of the last
    // session to end.
    int exitCode = 0;
    // The box refusing a plain-HTTP inspection launch is open.
    bool httpRefusalShown = false;
    // The next session's window, made (hidden, empty) while its start report
    // is on its way: the web engine's start then overlaps the network.
    QSharedPointer<MainWindow> preparedWindow;
};

} // namespace qt
} // namespace tessal
