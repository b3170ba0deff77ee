#pragma once
// SessionManager: every launch request of the process ends here. It turns a
// launch URL into an access session or refuses it, holds the sessions, and
// leaves the event loop when the last one has gone.

#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>
#include <QUrl>

namespace tessal {
namespace qt {

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
    // so it also takes effect when it comes before the event loop runs.
    void CheckSessions();

private:
    void quitIfStillEmpty();

    std::vector<std::shared_ptr<Session>> sessions;
    std::shared_ptr<Session> vpnSession;
};

} // namespace qt
} // namespace tessal
