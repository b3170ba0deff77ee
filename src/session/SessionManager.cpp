#include "session/SessionManager.h"

#include <cctype>
#include <exception>

#include <QApplication>
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "dialogs/MessageBox.h"
#include "dialogs/Notification.h"
#include "dialogs/QuitRequest.h"
#include "dialogs/ServerUrls.h"
#include "foundation/Helpers.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "session/HttpNetworkManager.h"
#include "session/InputParams.h"
#include "session/LaunchHandOver.h"
#include "session/Session.h"
#include "session/SessionExchange.h"
#include "tessal_config.h"

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "SessionManager";
constexpr int kBalloonMs = 15000;
constexpr int kTrayRepeatSeconds = 5;
constexpr int kReleaseRetryMs = 50;

// Same length and, byte by byte, the same upper-case form.
bool sameIdIgnoringCase(const QString& a, const QString& b)
{
    return equalsNoCase(a.toUtf8().toStdString(), b.toUtf8().toStdString());
}

void showBalloon(const QString& message)
{
    if (Notification* tray = ShowTrayIcon(nullptr, kTrayRepeatSeconds))
        tray->showInformation(message, QString(), kBalloonMs);
}

// Runs body under the launch guard: a break exception is swallowed, any other
// exception is recorded and leaves a non-zero code; a forced unwind (thread
// cancellation) is recorded as the uniform handler does and passed on.
template <typename Body>
UFORCED_UNWIND_HANDLER int guardLaunch(const char* function, Body&& body)
{
    int code = 0;
    try {
        body();
    } catch (const UBreakException&) {
    } catch (const UException& e) {
        ULOG_ERROR(kLogFile, function, makeArgFormat("EXCEPTION caught: %1", e.what()));
        code = e.getCode();
    } catch (const std::exception& e) {
        ULOG_ERROR(kLogFile, function, makeArgFormat("EXCEPTION caught: %1", e.what()));
        code = -1;
    } catch (abi::__forced_unwind&) {
        ucatch::recordForcedUnwind(UCATCH_SITE(kLogFile, "Session launch", function));
        throw;
    } catch (...) {
        ULOG_ERROR(kLogFile, function, makeArgFormat("EXCEPTION caught: %1", "unknown exception"));
        code = -1;
    }
    return code;
}

// Counts a launch as in progress for its whole extent, also when it throws.
class LaunchInProgress
{
public:
    explicit LaunchInProgress(int& counter) : m_counter(counter) { ++m_counter; }
    ~LaunchInProgress() { --m_counter; }
    LaunchInProgress(const LaunchInProgress&) = delete;
    LaunchInProgress& operator=(const LaunchInProgress&) = delete;

private:
    int& m_counter;
};

// Sets a flag for its own extent, also when the call in it throws.
class FlagWhile
{
public:
    explicit FlagWhile(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagWhile() { m_flag = false; }
    FlagWhile(const FlagWhile&) = delete;
    FlagWhile& operator=(const FlagWhile&) = delete;

private:
    bool& m_flag;
};

} // namespace

SessionManager::SessionManager(QObject* parent) : QObject(parent)
{
    releaseRetry.setSingleShot(true);
    releaseRetry.setInterval(kReleaseRetryMs);
    connect(&releaseRetry, &QTimer::timeout, this, &SessionManager::releaseRetired);
}

SessionManager::~SessionManager()
{
    sessions.clear();
    vpnSession.reset();
    retired.clear();
}

bool SessionManager::CreateAndLaunchSession(const QUrl& url)
{
    // Nothing new starts once the program is quitting.
    if (quitRequested()) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Application is quitting, launch request ignored", redactedLaunchUrl(url)));
        CheckSessions();
        return false;
    }
    bool launched = false;
    {
        LaunchInProgress counted(launchesInProgress);
        launched = CreateAndLaunchSessionInternal(url);
    }
    CheckSessions();
    return launched;
}

bool SessionManager::CreateAndLaunchSessionInternal(const QUrl& url)
{
    const QString scheme = url.scheme();
    // A launch may wait on its server for long, before any window: the tray
    // icon's "Quit" is there from the start.
    if (scheme == QLatin1String("tessal-epi") || scheme == QLatin1String("tessal-vpn"))
        ShowTrayIcon(nullptr, kTrayRepeatSeconds);
    if (scheme == QLatin1String("tessal-epi")) {
        const std::optional<QString> id = StartEPCSession(url);
        if (id)
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("----Session %1 starts----", shortSecret(*id)));
        return id.has_value();
    }
    if (scheme == QLatin1String("tessal-vpn")) {
        const bool existed = vpnSession != nullptr;
        const std::optional<QString> id = StartNASession(url);
        if (id) {
            if (existed)
                ULOG_VERBOSE(
                    kLogFile, __PRETTY_FUNCTION__,
                    makeArgFormat("Attached resource successfully to an existing session %1", shortSecret(*id)));
            else
                ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                             makeArgFormat("----Session %1 starts----", shortSecret(*id)));
        }
        return id.has_value();
    }
    ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
               makeArgFormat("Unsupported external protocol handler request %1", redactedLaunchUrl(url)));
    return false;
}

std::optional<QString> SessionManager::StartNASession(const QUrl& url)
{
    std::unique_ptr<InputParams> params;
    SessionInfo info;
    bool exchangeFailed = false;
    const int code = guardLaunch(__PRETTY_FUNCTION__, [&]() {
        UHashTable table;
        auto parsed = std::make_unique<InputParams>(toCStringUtf8(url.toString()), table);
        info = sessionInfoFromParams(*parsed);
        if (parsed->otc.GetLength() > 0) {
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("otc is non empty", shortSecret(parsed->otc)));
            CString sid;
            if (!retrieveSidFromOtc(info.url, parsed->otc, sid) || sid.GetLength() == 0) {
                exchangeFailed = true;
                return;
            }
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("exchanged session id is", shortSecret(sid)));
            parsed->sid = sid;
            info.sessionId = QString::fromUtf8(static_cast<const char*>(sid));
        }
        params = std::move(parsed);
    });
    // A quit that came during the exchange ends the launch here, silently.
    if (quitRequested())
        return std::nullopt;
    if (exchangeFailed) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Failed to exchange one time code with session ID", code));
        showBalloon(QObject::tr("Error occurred. Please relaunch network access resource from browser."));
        return std::nullopt;
    }
    // Whatever stopped the parse, a launch without its parameters is refused.
    if (code != 0 || !params) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to parse URL"));
        return std::nullopt;
    }

    // Sent for every accepted launch, also one that attaches; only a refused
    // server certificate stops the launch here.
    const auto prepareWindow = [this]() {
        if (!preparedWindow)
            preparedWindow.reset(MainWindow::madeAhead());
    };
    const bool report =
        ReportNetworkAccess(info.url, info.sessionId, info.token, vpnSession ? std::function<void()>() : prepareWindow);
    QSharedPointer<MainWindow> window;
    window.swap(preparedWindow);
    if (!report || quitRequested())
        return std::nullopt;

    if (!vpnSession) {
        auto session = std::make_shared<Session>(info, Session::NetworkAccess);
        vpnSession = session;
        connectSession(session.get());
        session->GetBrowserController().adoptWindow(window);
        session->Start();
        return info.sessionId;
    }

    // Keep the running session alive for the call, whatever it emits meanwhile.
    const std::shared_ptr<Session> running = vpnSession;
    if (sameIdIgnoringCase(running->GetSessionId(), info.sessionId)) {
        ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("VPN session already exists: %1, Trying to attach resource %2 (%3)...",
                                   shortSecret(toCStringUtf8(running->GetSessionId())), info.resourceName,
                                   info.resourceType));
        const AttachResourceResult result = running->AttachResource(info.resourceName, info.resourceType);
        if (result.code == 0)
            return info.sessionId;
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to attach resource: %1", result.message));
        if (result.notifyUser)
            showBalloon(result.message);
        return std::nullopt;
    }

    ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("Another VPN session %1 already attached, rejecting session %2",
                               shortSecret(running->GetSessionId()), shortSecret(info.sessionId)));
    showBalloon(QObject::tr("%1 application already connected under another session to %2")
                    .arg(QCoreApplication::applicationName(), displayedUrl(running->GetServerUrl())));
    return std::nullopt;
}

std::optional<QString> SessionManager::StartEPCSession(const QUrl& url)
{
    // The HTTP refusal's box holds a place while it is open.
    if (sessions.size() + (httpRefusalShown ? 1 : 0) >= static_cast<size_t>(kMaxInspectionSessions)) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Max session limit reached; not creating new sessions. Max:", kMaxInspectionSessions));
        return std::nullopt;
    }

    std::unique_ptr<InputParamsBase> params;
    const int code = guardLaunch(__PRETTY_FUNCTION__, [&]() {
        UHashTable table;
        params = std::make_unique<InputParamsBase>(toCStringUtf8(url.toString()), table);
    });
    if (code != 0 || !params) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Failed to parse URL"));
        return std::nullopt;
    }

    // Plain HTTP only where the machine allows it, whatever the launch says.
    const QString protocol = QString::fromUtf8(static_cast<const char*>(params->protocol));
    if (equalsNoCase(protocol, QStringLiteral("http")) &&
        !checkFlag(CString(TESSAL_SYSTEM_PATH("/opt/tessal/tessal_epi.conf")), CString("ALLOW_HTTP_SERVERS"))) {
        // One box at a time: a page that launches in a burst must not stack
        // a box per launch.
        if (httpRefusalShown) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Communication over HTTP is not allowed; launch refused, its message is "
                                     "already shown"));
            return std::nullopt;
        }
        const FlagWhile shown(httpRefusalShown);
        ShowCriticalBox(QObject::tr("Communication over HTTP is not allowed, please use HTTPS"));
        return std::nullopt;
    }

    const SessionInfo info = sessionInfoFromParams(*params);
    for (const std::shared_ptr<Session>& held : sessions) {
        if (held->GetSessionId() == info.sessionId) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("EPI session already exists:", shortSecret(held->GetSessionId())));
            return std::nullopt;
        }
        if (held->GetServerUrl() == info.url) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Only one session with same server is allowed:", params->server));
            return std::nullopt;
        }
    }

    auto session = std::make_shared<Session>(info, Session::EndpointInspection);
    sessions.push_back(session);
    connectSession(session.get());
    session->Start();
    return info.sessionId;
}

int SessionManager::SessionCount() const
{
    return static_cast<int>(sessions.size()) + (vpnSession ? 1 : 0);
}

void SessionManager::connectSession(Session* session)
{
    connect(session, SIGNAL(Error(QString)), this, SLOT(SessionError(QString)));
    connect(session, SIGNAL(Finished()), this, SLOT(SessionFinished()));
}

void SessionManager::SessionError(QString errMessage)
{
    auto* session = qobject_cast<Session*>(sender());
    if (session == nullptr)
        return;
    ULOG_VERBOSE(
        kLogFile, __PRETTY_FUNCTION__,
        makeArgFormat("----Session %1 ends----. Error occurred: %2", shortSecret(session->GetSessionId()), errMessage));
    // A launch that failed, and said so, ends the program as a refused one does.
    exitCode = session->LaunchFailed() ? 1 : 0;
    RemoveSession(session);
}

void SessionManager::SessionFinished()
{
    auto* session = qobject_cast<Session*>(sender());
    if (session == nullptr)
        return;
    ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                 makeArgFormat("----Session %1 ends----", shortSecret(session->GetSessionId())));
    exitCode = 0;
    RemoveSession(session);
}

void SessionManager::RemoveSession(Session* session)
{
    // The session is still inside the call that emitted; it leaves the table
    // now and is destroyed on a later turn of the event loop.
    std::shared_ptr<Session> removed;
    if (vpnSession.get() == session) {
        removed = std::move(vpnSession);
        vpnSession.reset();
    } else {
        for (auto it = sessions.begin(); it != sessions.end(); ++it) {
            if (it->get() == session) {
                removed = std::move(*it);
                sessions.erase(it);
                break;
            }
        }
    }
    if (removed) {
        disconnect(removed.get(), nullptr, this, nullptr);
        retired.push_back(std::move(removed));
        QMetaObject::invokeMethod(this, &SessionManager::releaseRetired, Qt::QueuedConnection);
    }
    CheckSessions();
}

bool SessionManager::atTopLevel() const
{
    // A session may have ended inside one of its own nested loops (a dialog,
    // a short exchange): its code, its client and their replies are still on
    // the stack below that loop.
    if (launchesInProgress != 0 || QThread::currentThread()->loopLevel() > 1)
        return false;
    return qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
           QApplication::activeModalWidget() == nullptr;
}

void SessionManager::releaseRetired()
{
    if (retired.empty())
        return;
    if (!atTopLevel()) {
        releaseRetry.start();
        return;
    }
    // Destroying a session may run code that ends another one; take the list first.
    std::vector<std::shared_ptr<Session>> done;
    done.swap(retired);
    done.clear();
}

void SessionManager::CheckSessions()
{
    if (SessionCount() != 0 || quitQueued)
        return;
    // QCoreApplication::exit does nothing while no event loop runs; a queued
    // call reaches the loop as soon as it starts (or at once when it runs).
    quitQueued = true;
    QMetaObject::invokeMethod(this, &SessionManager::quitIfStillEmpty, Qt::QueuedConnection);
}

void SessionManager::quitIfStillEmpty()
{
    quitQueued = false;
    // A launch waiting in a nested event loop must not have its loop ended
    // under it; its own CheckSessions decides when it returns.
    if (SessionCount() != 0 || launchesInProgress != 0)
        return;
    ULOG_VERBOSE(kLogFile, "void tessal::qt::SessionManager::CheckSessions()",
                 makeArgFormat("No live sessions, quitting application...."));
    // A launch handed over from now on would be lost: its sender runs it.
    stopTakingLaunches();
    QCoreApplication::exit(exitCode);
}

} // namespace qt
} // namespace tessal
