#include "tunnel/SvpnHandler.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <strings.h>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include "foundation/CompanionProcesses.h"
#include "foundation/IUErrorLog.h"
#include "foundation/LocalPeer.h"
#include "foundation/UArgFormat.h"
#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/USocket.h"
#include "foundation/UserFiles.h"
#include "foundation/UserLockFile.h"
#include "foundation/m_system.h"
#include "foundation/str_helper.h"
#include "tessal_config.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

const char* const kFile = "SvpnHandler";
const char* const kLoopFunction = "static void* SvpnHandler::svpn_handler_thread_loop(void*)";
const char* const kDaemonPath = TESSAL_SYSTEM_PATH("/opt/tessal/vpn/svpn");
const char* const kPidFile = TESSAL_SYSTEM_PATH("/usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid");
const char* const kDaemonHost = "127.0.0.1";
const unsigned short kDaemonPort = 44444;
const int kConnectLimitSeconds = 5;
// How long a daemon may take to name itself in its pid file once its first
// process is gone, before the launch goes on without knowing it.
const int64_t kPidFileGraceMs = 1000;
// How long after its first process has exited a daemon that has not named
// itself yet is still taken for ours, to be stopped once it does. One that
// never comes holds the end of its tunnel back this long.
const int64_t kLateNamingMs = 5000;
// How long a stopped daemon may take to end.
const int64_t kDaemonEndMs = 3000;
const int kLoggingThreshold = 63;
// Polls in a row that bring no reply, or one without any marker, after which
// the daemon counts as gone, as one that cannot be reached does.
const int kSilentRoundsLimit = 6;
const size_t kReplyStep = 256;
// A reply beyond this is not read further; real replies are a few hundred bytes.
const size_t kReplyCap = 64 * 1024;

// Session id of the previous start in this process (GUI thread only).
CString& lastSessionId()
{
    static CString id;
    return id;
}

CString errnoText(int error)
{
    return CString(std::strerror(error));
}

CString decimal(long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld", value);
    return CString(text);
}

// Appends the text's bytes as upper-case hex digits.
void appendHex(CString& out, const char* text)
{
    static const char digits[] = "0123456789ABCDEF";
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    }
}

// Lets the one child we start be waited for. Only a disposition that reaps
// children by itself (ignored, or SA_NOCLDWAIT) is changed, and only until
// that child has been reaped: the disposition is the whole process's, and a
// handler (another part's way of learning of its children) stays in place.
class ChildReaping
{
public:
    ChildReaping()
    {
        struct sigaction current {};
        if (sigaction(SIGCHLD, nullptr, &current) != 0)
            return;
        const bool ignored = !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN;
        if (!ignored && !(current.sa_flags & SA_NOCLDWAIT))
            return;
        struct sigaction waitable = current;
        waitable.sa_flags &= ~SA_NOCLDWAIT;
        if (ignored)
            waitable.sa_handler = SIG_DFL;
        m_changed = sigaction(SIGCHLD, &waitable, &m_old) == 0;
    }
    ~ChildReaping() { restore(); }
    void restore()
    {
        if (!m_changed)
            return;
        sigaction(SIGCHLD, &m_old, nullptr);
        m_changed = false;
        // Children of other parts that ended meanwhile became zombies, which the
        // restored disposition would not have left: nobody else waits for them.
        int status = 0;
        while (waitpid(-1, &status, WNOHANG) > 0) {
        }
    }
    ChildReaping(const ChildReaping&) = delete;
    ChildReaping& operator=(const ChildReaping&) = delete;

private:
    struct sigaction m_old {};
    bool m_changed = false;
};

bool processExists(int pid)
{
    return pid > 1 && getpgid(pid) >= 0;
}

// Waits until done() answers true or the deadline passes. On the
// application's thread its event loop runs meanwhile, so that a termination
// signal or a close asked for during a slow daemon start is acted on at once.
template <typename Done>
void waitServingEvents(int64_t deadline, Done done)
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread() && !done() && monotonicMs() < deadline) {
        QEventLoop loop;
        QTimer check;
        bool finished = false;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            finished = done() || monotonicMs() >= deadline;
            if (finished)
                loop.quit();
        });
        check.start(5);
        loop.exec();
        if (finished)
            return;
        // The loop ended early, the application is leaving: wait on without it.
    }
    while (!done() && monotonicMs() < deadline)
        usleep(5000);
}

// The process the pid file names, or 0.
int pidInPidFile()
{
    return std::max(readPidFile(kPidFile), 0);
}

// True when the pid file names a running daemon other than the given process.
bool daemonNamedByPidFile(pid_t other)
{
    const int pid = pidInPidFile();
    return pid != other && processExists(pid) && SvpnHandler::isSvpnProcess(pid);
}

// Held from the pid-file check until the daemon has named itself in its pid
// file (or the start has failed), so that two starts of one user, in one
// process or in two, never both find no daemon and start one each.
const char* const kLaunchLockName = "tessalvpn-svpn.lock";

// The daemon may name itself just after its first process has ended; the
// launch lock is kept until it has.
void waitUntilNamedInPidFile(pid_t firstProcess, int64_t deadline)
{
    const int64_t end = std::min<int64_t>(deadline, monotonicMs() + kPidFileGraceMs);
    waitServingEvents(end, [firstProcess] { return daemonNamedByPidFile(firstProcess); });
}

// Waited for with the event loop served, like the rest of the start, until
// closed() tells that the start is no longer wanted (the lock is not held
// then); a name another user holds is not waited for at all.
template <typename Closed>
std::unique_ptr<UUserLockFile> lockDaemonLaunch(int waitMs, Closed closed)
{
    auto lock = std::make_unique<UUserLockFile>(kLaunchLockName, UUserLockFile::Fallback::UserSocket);
    waitServingEvents(monotonicMs() + waitMs,
                      [&] { return lock->tryLock() || lock->takenByAnotherUser() || !lock->isUsable() || closed(); });
    if (lock->isLocked() || closed())
        return lock;
    if (lock->takenByAnotherUser()) {
        // Without the lock two starts of ours may meet; the pid file check
        // still refuses the later one once the first daemon has named itself.
        ULOG_AT(1, kFile, __LINE__, "SvpnHandler::LaunchSvpn",
                makeArgFormat("TunnelService, starting svpn without the launch lock", CString(lock->error().c_str())));
        return lock;
    }
    const CString why = lock->isUsable() ? CString("another start of this user did not end")
                                         : CString(("no launch lock, " + lock->error()).c_str());
    throw UException(-6, kFile, "SvpnHandler::LaunchSvpn", __LINE__, "EXCEPTION - %s, %s", "falied to start svpn",
                     static_cast<const char*>(why));
}

// A daemon named by the pid file refuses a second start.
void refuseWhenRunning()
{
    const int pid = pidInPidFile();
    if (!processExists(pid))
        return;
    if (!SvpnHandler::isSvpnProcess(pid)) {
        ULOG_AT(48, kFile, __LINE__, "SvpnHandler::LaunchSvpn",
                makeArgFormat("TunnelService, svpn.pid file is exist, but svpn is not owner of the pid, pid\n", pid));
        return;
    }
    throw UException(-2, kFile, "SvpnHandler::LaunchSvpn", __LINE__, "EXCEPTION - %s, %s",
                     "TunnelService, TunnelServer already launched, pid", static_cast<const char*>(decimal(pid)));
}

// Starts the daemon's first process with the start text on its standard
// input, our standard output and error, and nothing else of ours, with the
// signal state and the environment it would get without us.
ChildRun startFirstProcess(const CString& startParameters)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw UException(-6, kFile, "SvpnHandler::LaunchSvpn", __LINE__, "EXCEPTION - %s",
                         "TunnelService, Pipe creation failed");
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    ChildStart start;
    start.args = {kDaemonPath};
    start.handed = {{readEnd.get(), STDIN_FILENO}, {STDOUT_FILENO, STDOUT_FILENO}, {STDERR_FILENO, STDERR_FILENO}};
    const ChildRun run = startProcess(start);
    if (run.pid <= 0)
        throw UException(-6, kFile, "SvpnHandler::LaunchSvpn", __LINE__, "EXCEPTION - %s",
                         "TunnelService, fork() failed");
    readEnd.reset();
    // A daemon gone before reading all of it: its exit status tells the rest.
    writeAll(writeEnd.get(),
             std::string(static_cast<const char*>(startParameters), static_cast<size_t>(startParameters.GetLength())));
    return run;
}

// How the first process ended; one still running at the deadline is killed.
ChildRun waitForFirstProcess(const ChildRun& started, int64_t deadline)
{
    ChildRun first;
    if (!started.started()) {
        // A failed exec is reaped already: its status tells as an exit would.
        first.ended = true;
        first.status = started.status;
        return first;
    }
    waitServingEvents(deadline, [&] { return childHasEnded(started.pid, first); });
    if (!first.ended && first.error == 0)
        killChild(started.pid, first);
    return first;
}

// Throws when the first process tells that the start failed.
void judgeFirstProcess(const ChildRun& first, pid_t child, int64_t deadline)
{
    static const char* const kFunction = "SvpnHandler::LaunchSvpn";
    if (first.timedOut) {
        // The first process may have started the daemon before it stalled: a
        // live daemon named by the pid file is ours and is stopped by our stop.
        if (!daemonNamedByPidFile(child))
            throw UException(-6, kFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "falied to start svpn",
                             "the first process did not exit");
        return;
    }
    if (first.error != 0) {
        // Reaped by another part's handler: its status is lost, so only a
        // daemon that is up tells that the start worked.
        waitUntilNamedInPidFile(child, deadline);
        if (!daemonNamedByPidFile(child))
            throw UException(-6, kFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "falied to start svpn",
                             "the first process's status was taken by another handler");
        return;
    }
    if (WIFSIGNALED(first.status))
        throw UException(-6, kFile, kFunction, __LINE__, "EXCEPTION - %s", "falied to start svpn");
    if (WIFEXITED(first.status) && WEXITSTATUS(first.status) == 2)
        throw UException(-3, kFile, kFunction, __LINE__, "EXCEPTION - %s", "svpn not installed");
}

// A flag read or written under the handler's lock.
template <typename T>
T readLocked(pthread_mutex_t& lock, const T& field)
{
    pthread_mutex_lock(&lock);
    const T value = field;
    pthread_mutex_unlock(&lock);
    return value;
}

template <typename T>
void writeLocked(pthread_mutex_t& lock, T& field, T value)
{
    pthread_mutex_lock(&lock);
    field = value;
    pthread_mutex_unlock(&lock);
}

} // namespace

TunnelHandlerBase::~TunnelHandlerBase() = default;

SvpnHandler::SvpnHandler()
{
    const int rc = pthread_mutex_init(&m_lock, nullptr);
    if (rc != 0) {
        ULOG_AT(1, kFile, __LINE__, "SvpnHandler::SvpnHandler()",
                makeArgFormat("TunnelService, Cannot create mutex", errnoText(rc)));
        return;
    }
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    m_lockOk = pthread_cond_init(&m_wake, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!m_lockOk)
        pthread_mutex_destroy(&m_lock);
}

SvpnHandler::~SvpnHandler()
{
    shutdownWorker();
    if (!m_lockOk)
        return;
    pthread_cond_destroy(&m_wake);
    const int rc = pthread_mutex_destroy(&m_lock);
    if (rc != 0)
        ULOG_AT(1, kFile, __LINE__, "SvpnHandler::~SvpnHandler()",
                makeArgFormat("TunnelService, Cannot destroy mutex", errnoText(rc)));
}

void SvpnHandler::shutdownWorker()
{
    if (!m_lockOk)
        return;
    pthread_mutex_lock(&m_lock);
    const bool stop = (m_daemonStarted || m_workerStarted) && !m_stopRequested;
    pthread_mutex_unlock(&m_lock);
    if (stop) {
        const int result = CloseTunnel();
        if (result != 0)
            ULOG_AT(1, kFile, __LINE__, "SvpnHandler::~SvpnHandler",
                    makeArgFormat("TunnelService, Cannot close tunnel server, code", result));
    }
    if (m_workerStarted) {
        if (pthread_equal(pthread_self(), m_worker))
            pthread_detach(m_worker);
        else
            pthread_join(m_worker, nullptr);
        m_workerStarted = false;
    }
}

// ---------------------------------------------------------------------------
// Flags under the lock

bool SvpnHandler::isRunning()
{
    return m_lockOk ? readLocked(m_lock, m_running) : false;
}

void SvpnHandler::setRunning(bool running)
{
    if (m_lockOk)
        writeLocked(m_lock, m_running, running);
}

void SvpnHandler::setLogLevel(int level)
{
    if (m_lockOk)
        writeLocked(m_lock, m_logLevel, level);
}

int SvpnHandler::getLogLevel()
{
    return m_lockOk ? readLocked(m_lock, m_logLevel) : 0;
}

bool SvpnHandler::stopRequested()
{
    return m_lockOk ? readLocked(m_lock, m_stopRequested) : true;
}

bool SvpnHandler::waitForStop(int ms)
{
    if (!m_lockOk)
        return true;
    // The condition's clock is the monotonic one (see the constructor).
    const long long end = monotonicMs() + ms;
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(end / 1000);
    deadline.tv_nsec = static_cast<long>(end % 1000) * 1000000L;
    pthread_mutex_lock(&m_lock);
    while (!m_stopRequested) {
        if (pthread_cond_timedwait(&m_wake, &m_lock, &deadline) == ETIMEDOUT)
            break;
    }
    const bool stop = m_stopRequested;
    pthread_mutex_unlock(&m_lock);
    return stop;
}

void SvpnHandler::stopAndReport(int code, bool isError)
{
    setRunning(false);
    if (isError)
        onError(code);
    else
        onClosed(code);
}

// ---------------------------------------------------------------------------
// Start text

void tessal::qt::TunnelTestSeam::resetLastSessionId()
{
    lastSessionId() = CString();
}

CString SvpnHandler::makeStartParameters(UPropertyList& params)
{
    const CString sessionId = params.getPropertyValue("SESSION_ID", "");
    const CString disconnected = params.getPropertyValue("TUNNEL_DISCONNECTED_BY_USER", "");
    const bool userDisconnect = compareNoCase(disconnected, "TRUE") == 0;
    const bool sameSession = std::strcmp(sessionId, lastSessionId()) == 0;
    if (!sameSession)
        lastSessionId() = CString(static_cast<const char*>(sessionId));

    params.setProperty("browser_pid", decimal(getpid()));
    params.setProperty("version", "2.9");

    const bool plain = std::strcmp(params.getPropertyValue("IsHalvane", ""), "YES") == 0;
    static const char* const dropped[] = {"CLSID",     "CODEBASE",    "UI_URL",
                                          "resources", "random_data", "TUNNEL_DISCONNECTED_BY_USER"};
    CString text;
    for (int index = params.getCount() - 1; index >= 0; --index) {
        const char* name = params.getAt(index, 0);
        const char* value = params.getAt(index, 1);
        if (name == nullptr)
            name = "";
        if (value == nullptr)
            value = "";
        // Appended piece by piece: the list may hold a server's megabytes.
        if (plain) {
            text += name;
            text += '=';
            text += value;
            text += '&';
            continue;
        }
        bool keep = true;
        for (const char* part : dropped)
            if (std::strstr(name, part) != nullptr)
                keep = false;
        if (keep && std::strstr(name, "MAC_AppLaunch") != nullptr && !userDisconnect && sameSession)
            keep = false;
        if (!keep)
            continue;
        text += 'q';
        text += decimal(index);
        text += '=';
        appendHex(text, name);
        appendHex(text, "=");
        appendHex(text, value);
        text += '&';
    }
    return text;
}

// ---------------------------------------------------------------------------
// Open and close

int SvpnHandler::Open(UPropertyList* params)
{
    if (params == nullptr)
        return -101;
    std::unique_ptr<UPropertyList> owned(params);
    const CString startParameters = makeStartParameters(*owned);
    owned.reset();
    return OpenTunnel(startParameters);
}

int SvpnHandler::OpenTunnel(const CString& startParameters)
{
    int result = 0;
    guardOperation(UCATCH_SITE(kFile, "EXCEPTION!!!", "OpenTunnel"), result, [&] {
        LaunchSvpn(startParameters, false);
        if (!m_lockOk)
            throw UException(-100, kFile, "SvpnHandler::OpenTunnel", __LINE__, "EXCEPTION - %s, %s",
                             "TunnelService, Cannot create thread, code", "no lock");
        // A worker left from an earlier tunnel of this handler has ended with its
        // daemon (the launch above would have been refused otherwise).
        if (m_workerStarted) {
            pthread_join(m_worker, nullptr);
            m_workerStarted = false;
        }
        pthread_mutex_lock(&m_lock);
        // A close that came while the daemon started is kept: the worker then
        // ends at once with closed(0).
        m_stopRequested = m_stopWhileLaunching;
        m_running = false;
        pthread_mutex_unlock(&m_lock);
        const int rc = pthread_create(&m_worker, nullptr, &SvpnHandler::svpn_handler_thread_loop, this);
        if (rc != 0) {
            // Without a worker nobody would ever stop the daemon just started.
            pthread_mutex_lock(&m_lock);
            m_stopRequested = true;
            pthread_mutex_unlock(&m_lock);
            int stopResult = 0;
            guardOperation(UCATCH_SITE(kFile, "EXCEPTION", "OpenTunnel"), stopResult, [this] { stopStartedDaemon(); });
            throw UException(-100, kFile, "SvpnHandler::OpenTunnel", __LINE__, "EXCEPTION - %s, %s",
                             "TunnelService, Cannot create thread, code", static_cast<const char*>(decimal(rc)));
        }
        m_workerStarted = true;
    });
    if (result != 0)
        ULOG_AT(1, kFile, __LINE__, "virtual int SvpnHandler::OpenTunnel(const CString&)",
                makeArgFormat("TunnelService, Opening TunnelServer failed", result));
    return result;
}

int SvpnHandler::CloseTunnel()
{
    if (m_lockOk) {
        pthread_mutex_lock(&m_lock);
        m_stopRequested = true;
        if (m_launching)
            m_stopWhileLaunching = true;
        pthread_cond_broadcast(&m_wake);
        pthread_mutex_unlock(&m_lock);
    }
    int result = 0;
    guardOperation(UCATCH_SITE(kFile, "EXCEPTION", "CloseTunnel"), result, [this] { LaunchSvpn(CString(), true); });
    setRunning(false);
    if (result != 0)
        ULOG_AT(1, kFile, __LINE__, "virtual int SvpnHandler::CloseTunnel()",
                makeArgFormat("TunnelService, Cannot close tunnel server, code", result));
    return result;
}

void SvpnHandler::LaunchSvpn(const CString& startParameters, bool stop)
{
    if (stop)
        StopSvpn();
    else
        launchDaemon(startParameters);
}

// ---------------------------------------------------------------------------
// The daemon's process

bool SvpnHandler::isSvpnProcess(int pid)
{
    if (pid <= 0)
        return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/cmdline", pid);
    UniqueFd file(::open(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return false;
    char text[512] = {};
    const ssize_t n = ::read(file.get(), text, 511);
    if (n <= 0)
        return false;
    text[n] = '\0'; // the first argument ends at the first NUL
    const char* slash = std::strrchr(text, '/');
    if (slash == nullptr)
        return false;
    return std::strcmp(slash + 1, "svpn") == 0;
}

void SvpnHandler::launchDaemon(const CString& startParameters)
{
    struct stat status {};
    if (stat(kDaemonPath, &status) != 0)
        throw UException(-3, kFile, "SvpnHandler::LaunchSvpn", __LINE__, "EXCEPTION - %s",
                         "TunnelService, TunnelServer is not installed in location /opt/tessal/vpn/svpn");

    // The waits below serve the event loop: a close may come meanwhile.
    setLaunching(true);
    struct LaunchEnd {
        SvpnHandler* handler;
        ~LaunchEnd() { handler->setLaunching(false); }
    } launchEnd{this};

    const std::unique_ptr<UUserLockFile> launchLock = lockDaemonLaunch(
        m_launchWaitMs + static_cast<int>(kPidFileGraceMs) + 1000, [this] { return closedWhileLaunching(); });
    // Closed while waiting for another start: nothing is started, and the
    // worker ends at once with closed(0).
    if (closedWhileLaunching())
        return;
    refuseWhenRunning();

    // A forced end of this program stops the daemon too, also while it starts.
    CompanionWatch daemonWatch(kPidFile, kDaemonPath);
    // The first process must be waited for even when a library has set SIGCHLD
    // to be ignored, and a daemon that exits before reading must not end this
    // process with SIGPIPE.
    ChildReaping reaping;
    signal(SIGPIPE, SIG_IGN);
    const ChildRun started = startFirstProcess(startParameters);
    CompanionWatch firstProcess(started.pid, kDaemonPath);
    const int64_t deadline = monotonicMs() + m_launchWaitMs;
    const ChildRun first = waitForFirstProcess(started, deadline);
    reaping.restore();
    judgeFirstProcess(first, started.pid, deadline);

    waitUntilNamedInPidFile(started.pid, deadline);
    daemonWatch.keep();
    keepStartedDaemon(started.started() ? monotonicMs() + std::min<int64_t>(m_launchWaitMs, kLateNamingMs) : 0);
}

void SvpnHandler::keepStartedDaemon(int64_t namingDeadline)
{
    if (!m_lockOk)
        return;
    const int named = daemonNamedByPidFile(0) ? pidInPidFile() : 0;
    pthread_mutex_lock(&m_lock);
    m_daemonStarted = true;
    m_namingDeadline = namingDeadline;
    // A close during the start may have signalled it already.
    if (named != 0 && named != m_daemonPid) {
        m_daemonPid = named;
        m_daemonSignalled = false;
    }
    const bool stopped = m_stopWhileLaunching;
    pthread_mutex_unlock(&m_lock);
    if (stopped) {
        // The close found no daemon, or one that named itself only since.
        try {
            StopSvpn();
        } catch (const UException&) {
            // recorded by the stop
        }
    }
}

bool SvpnHandler::closedWhileLaunching()
{
    return m_lockOk && readLocked(m_lock, m_stopWhileLaunching);
}

void SvpnHandler::stopStartedDaemon()
{
    if (!m_lockOk)
        return;
    pthread_mutex_lock(&m_lock);
    const bool started = m_daemonStarted;
    const int64_t namingDeadline = m_namingDeadline;
    int pid = m_daemonPid;
    const bool signalled = m_daemonSignalled;
    pthread_mutex_unlock(&m_lock);
    if (!started)
        return;
    // One that has not named itself yet may still do so: it is ours as well.
    if (pid == 0)
        waitServingEvents(namingDeadline, [] { return daemonNamedByPidFile(0); });
    if (!signalled || pid == 0)
        pid = StopSvpn(); // reads the pid file again
    waitServingEvents(monotonicMs() + kDaemonEndMs, [pid] { return !processExists(pid) || !isSvpnProcess(pid); });
    writeLocked(m_lock, m_daemonStarted, false);
    forgetCompanionPidFile(kPidFile);
}

void SvpnHandler::setLaunching(bool launching)
{
    if (!m_lockOk)
        return;
    pthread_mutex_lock(&m_lock);
    m_launching = launching;
    if (launching) {
        m_stopWhileLaunching = false;
        m_daemonPid = 0;
        m_daemonSignalled = false;
    }
    pthread_mutex_unlock(&m_lock);
}

int SvpnHandler::StopSvpn()
{
    static const char* const kFunction = "SvpnHandler::StopSvpn";
    const int pid = readPidFile(kPidFile);
    if (pid < 0) {
        ULOG_AT(48, kFile, __LINE__, kFunction, "TunnelService, Cannot open pid file, svpn already closed");
        return 0;
    }
    ULOG_AT(48, kFile, __LINE__, kFunction, "SVPN pid file opened to read PID");
    ULOG_AT(48, kFile, __LINE__, kFunction, makeArgFormat("SVPN pid = \n", pid));
    if (!processExists(pid))
        return 0;
    ULOG_AT(48, kFile, __LINE__, kFunction, "SVPN pid has running process");
    if (!isSvpnProcess(pid))
        return 0;
    ULOG_AT(48, kFile, __LINE__, kFunction, "The received pid owned by the SVPN");
    if (kill(pid, SIGTERM) == 0) {
        ULOG_AT(48, kFile, __LINE__, kFunction, "TunnelService, closed");
        if (m_lockOk) {
            pthread_mutex_lock(&m_lock);
            if (m_daemonStarted || m_launching) {
                m_daemonPid = pid;
                m_daemonSignalled = true;
            }
            pthread_mutex_unlock(&m_lock);
        }
        return pid;
    }
    const int error = errno;
    ULOG_AT(1, kFile, __LINE__, kFunction, makeArgFormat("TunnelService, Cannot be closed", errnoText(error)));
    // A daemon left running is a failure the caller must hear about.
    throw UException(-7, kFile, kFunction, __LINE__, "EXCEPTION - %s, %s", "TunnelService, Cannot be closed",
                     std::strerror(error));
}

// ---------------------------------------------------------------------------
// Poll replies

SvpnReplyEvents SvpnHandler::decodeReply(const char* reply)
{
    SvpnReplyEvents events;
    if (reply == nullptr)
        return events;

    if (std::strstr(reply, "&settraffic") != nullptr) {
        if (const char* p = std::strstr(reply, "settraffic,")) {
            p += std::strlen("settraffic,");
            long long values[4] = {};
            bool complete = true;
            for (int i = 0; i < 4; ++i) {
                values[i] = std::strtoll(p, nullptr, 10);
                if (i == 3)
                    break;
                p = std::strchr(p, ',');
                if (p == nullptr) {
                    complete = false;
                    break;
                }
                ++p;
            }
            if (complete) {
                events.hasTraffic = true;
                events.recvClient = values[1];
                events.sendClient = values[0];
                events.recvServer = values[3];
                events.sendServer = values[2];
            }
        }
    }

    if (std::strstr(reply, "tunneldetails") != nullptr) {
        if (const char* p = std::strstr(reply, "tunneldetails,")) {
            p += std::strlen("tunneldetails,");
            const long length = std::strtol(p, nullptr, 10);
            if (const char* comma = std::strchr(p, ',')) {
                const char* text = comma + 1;
                const size_t available = std::strlen(text);
                size_t take = available;
                if (length >= 1 && static_cast<unsigned long>(length) < available)
                    take = static_cast<size_t>(length);
                events.hasDetails = true;
                events.details = take > 0 ? CString(text, static_cast<int>(take)) : CString();
            }
        }
    }

    if (std::strstr(reply, "&sslreconnecting") != nullptr) {
        events.action = SvpnReplyEvents::Reconnecting;
    } else if (std::strstr(reply, "&sslsetstatus,v1,connected") != nullptr ||
               std::strstr(reply, "&setloaded&sslcreate") != nullptr) {
        events.action = SvpnReplyEvents::Connected;
    } else if (std::strstr(reply, "&setloaded") != nullptr) {
        events.action = SvpnReplyEvents::Connecting;
    } else if (const char* marker = std::strstr(reply, ",disconnectedwitherror,")) {
        events.action = SvpnReplyEvents::EndWithError;
        events.endCode = static_cast<int>(std::strtol(marker + std::strlen(",disconnectedwitherror,"), nullptr, 10));
    } else if (std::strstr(reply, "&session_expired") != nullptr) {
        events.action = SvpnReplyEvents::SessionExpired;
        events.endCode = 27;
    }
    return events;
}

// ---------------------------------------------------------------------------
// The worker

void* SvpnHandler::svpn_handler_thread_loop(void* handler)
{
    static_cast<SvpnHandler*>(handler)->runWorker();
    return nullptr;
}

struct SvpnHandler::PollState {
    USocketEx connection;
    std::vector<char> reply = std::vector<char>(kReplyStep, '\0');
    CString details;
    int lastSwitchLevel = 0;
    bool connectedSeen = false;
    int endCode = 0;
    int silentRounds = 0;
};

void SvpnHandler::runWorker()
{
    signal(SIGPIPE, SIG_IGN);
    PollState state;
    if (beginPolling()) {
        guardOperation(UCATCH_SITE(kFile, "TunnelService, EXCEPTION!!!", "svpn_handler_thread_loop"), state.endCode,
                       [&] {
                           onConnecting();
                           while (pollOnce(state) == Round::Next)
                               waitForStop(m_roundPauseMs);
                       });
        state.connection.close(false);
    }
    endWorker(state);
}

bool SvpnHandler::beginPolling()
{
    // A stop asked for before the first poll is kept: the worker then ends at
    // once with closed(0) instead of bringing the tunnel up again.
    if (waitForStop(m_firstPauseMs))
        return false;
    pthread_mutex_lock(&m_lock);
    const bool stopped = m_stopRequested;
    if (!stopped)
        m_running = true;
    pthread_mutex_unlock(&m_lock);
    return !stopped;
}

SvpnHandler::Round SvpnHandler::pollOnce(PollState& state)
{
    if (!isRunning() || stopRequested()) {
        state.endCode = 0;
        return Round::End;
    }
    if (!connectToDaemon(state) || !sendPoll(state))
        return Round::End;
    readReply(state);
    if (stopRequested())
        return Round::Next; // the next round's check ends the loop
    return actOnReply(state);
}

bool SvpnHandler::connectToDaemon(PollState& state)
{
    state.connection.setHost(kDaemonHost);
    state.connection.setPort(kDaemonPort);
    if (state.connection.connect(kConnectLimitSeconds) != 0) {
        ULOG_AT(1, kFile, __LINE__, kLoopFunction, "ERROR! Cannot connect to svpn");
        state.endCode = -102;
        return false;
    }
    // Another local user may hold the port when the daemon could not:
    // only root's socket or the daemon's own is believed.
    int daemon = pidInPidFile();
    if (!isSvpnProcess(daemon))
        daemon = 0;
    if (!localPeerHeldBy(state.connection.getSocket(), daemon, PeerRule::ProcessOrRoot)) {
        ULOG_AT(1, kFile, __LINE__, kLoopFunction,
                makeArgFormat("ERROR! 127.0.0.1:44444 is not held by svpn, pid", daemon));
        state.endCode = -102;
        return false;
    }
    return true;
}

bool SvpnHandler::sendPoll(PollState& state)
{
    const char* loggingSwitch = "";
    const int level = getLogLevel();
    if (level != 0 && level != state.lastSwitchLevel) {
        state.lastSwitchLevel = level;
        loggingSwitch = level >= kLoggingThreshold ? "&LOGGING_ENABLE" : "&LOGGING_DISABLE";
    }
    const CString request =
        CString("GET /vpn.php?INFO&JS") + loggingSwitch + " HTTP/1.1\r\nHOST: 127.0.0.1:44444\r\nAccept: */*\r\n\r\n";
    const int sent =
        state.connection.send(static_cast<const char*>(request), static_cast<unsigned>(request.GetLength()));
    if (sent == request.GetLength())
        return true;
    ULOG_AT(1, kFile, __LINE__, kLoopFunction, "ERROR! Cannot send data");
    state.endCode = 26;
    return false;
}

// Reads until the daemon closes the connection, within a time limit and a
// size cap; a stop ends the wait early.
void SvpnHandler::readReply(PollState& state)
{
    std::vector<char>& reply = state.reply;
    size_t used = 0;
    reply[0] = '\0';
    const int64_t deadline = monotonicMs() + m_replyWaitMs;
    while (!stopRequested()) {
        const int64_t remaining = deadline - monotonicMs();
        if (remaining <= 0)
            break;
        const int ready = state.connection.isAvailable(static_cast<unsigned>(remaining < 200 ? remaining : 200));
        if (ready < 0)
            break;
        if (ready == 0)
            continue;
        const int n = state.connection.receive(reply.data() + used, static_cast<unsigned>(reply.size() - used - 1));
        if (n < 0)
            break;
        if (n == 0)
            continue;
        used += static_cast<size_t>(n);
        reply[used] = '\0';
        if (reply.size() - used < kReplyStep) {
            if (reply.size() >= kReplyCap)
                break;
            reply.resize(reply.size() + kReplyStep, '\0');
        }
    }
    state.connection.close(false);
}

SvpnHandler::Round SvpnHandler::actOnReply(PollState& state)
{
    const SvpnReplyEvents events = decodeReply(state.reply.data());
    if (events.hasTraffic)
        setTraffic(events.recvClient, events.sendClient, events.recvServer, events.sendServer);
    if (events.hasDetails) {
        // The callee keeps the text; it must not share a buffer with this thread.
        state.details = CString(static_cast<const char*>(events.details));
        tunnelDetails(state.details);
    }
    // A daemon that only keeps accepting is as gone as one that cannot be reached.
    const bool readable = events.hasTraffic || events.hasDetails || events.action != SvpnReplyEvents::None;
    state.silentRounds = readable ? 0 : state.silentRounds + 1;
    if (state.silentRounds >= kSilentRoundsLimit) {
        ULOG_AT(1, kFile, __LINE__, kLoopFunction,
                makeArgFormat("ERROR! svpn did not answer, polls in a row", state.silentRounds));
        state.endCode = -102;
        return Round::End;
    }
    switch (events.action) {
    case SvpnReplyEvents::Reconnecting: onReconnecting(); break;
    case SvpnReplyEvents::Connected:
        onConnected();
        state.connectedSeen = true;
        break;
    case SvpnReplyEvents::Connecting: onConnecting(); break;
    case SvpnReplyEvents::EndWithError:
    case SvpnReplyEvents::SessionExpired: state.endCode = events.endCode; return Round::End;
    case SvpnReplyEvents::None: break;
    }
    return Round::Next;
}

void SvpnHandler::endWorker(PollState& state)
{
    // A stop the user asked for ends the tunnel as closed with 0, whatever the
    // daemon did on its way out.
    bool isError = false;
    if (stopRequested() || !isRunning())
        state.endCode = 0;
    else
        isError = state.endCode != -102 && !state.connectedSeen;
    int ignored = 0;
    // The daemon goes before the end is told: a tunnel started again at once
    // finds nothing of this one.
    guardOperation(UCATCH_SITE(kFile, "TunnelService, EXCEPTION!!!", "svpn_handler_thread_loop"), ignored,
                   [&] { stopStartedDaemon(); });
    guardOperation(UCATCH_SITE(kFile, "TunnelService, EXCEPTION!!!", "svpn_handler_thread_loop"), ignored,
                   [&] { stopAndReport(state.endCode, isError); });
}
