#include "session/SessionManager.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"

namespace tessal {
namespace qt {

namespace {
constexpr const char* kLogFile = "/SessionManager";
}

SessionManager::SessionManager(QObject* parent) : QObject(parent)
{
}

SessionManager::~SessionManager()
{
    sessions.clear();
    vpnSession.reset();
}

bool SessionManager::CreateAndLaunchSession(const QUrl& url)
{
    const bool launched = CreateAndLaunchSessionInternal(url);
    CheckSessions();
    return launched;
}

bool SessionManager::CreateAndLaunchSessionInternal(const QUrl& url)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("tessal-epi"))
        return StartEPCSession(url).has_value();
    if (scheme == QLatin1String("tessal-vpn"))
        return StartNASession(url).has_value();
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unsupported external protocol handler request %1", url));
    return false;
}

// Access sessions are not part of this build yet: both schemes are refused
// the way an unknown one is, so that the process ends cleanly.
std::optional<QString> SessionManager::StartNASession(const QUrl& url)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unsupported external protocol handler request %1", url));
    return std::nullopt;
}

std::optional<QString> SessionManager::StartEPCSession(const QUrl& url)
{
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Unsupported external protocol handler request %1", url));
    return std::nullopt;
}

int SessionManager::SessionCount() const
{
    return static_cast<int>(sessions.size()) + (vpnSession ? 1 : 0);
}

void SessionManager::CheckSessions()
{
    if (SessionCount() != 0)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("No live sessions, quitting application...."));
    // QCoreApplication::exit does nothing while no event loop runs; a queued
    // call reaches the loop as soon as it starts (or at once when it runs).
    QMetaObject::invokeMethod(this, &SessionManager::quitIfStillEmpty, Qt::QueuedConnection);
}

void SessionManager::quitIfStillEmpty()
{
    if (SessionCount() == 0)
        QCoreApplication::exit(0);
}

} // namespace qt
} // namespace tessal
