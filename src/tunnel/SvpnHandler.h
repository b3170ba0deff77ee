#pragma once

#include <pthread.h>

#include <cstdint>

#include "foundation/String.h"

class UPropertyList;

// Root of the daemon clients.
class TunnelHandlerBase
{
public:
    virtual ~TunnelHandlerBase() = 0;
};

// What one poll reply asks for. Traffic and details are read on their own;
// of the other markers only the first one found acts.
struct SvpnReplyEvents {
    enum Action { None, Reconnecting, Connected, Connecting, EndWithError, SessionExpired };

    bool hasTraffic = false;
    int64_t recvClient = 0;
    int64_t sendClient = 0;
    int64_t recvServer = 0;
    int64_t sendServer = 0;
    bool hasDetails = false;
    CString details;
    Action action = None;
    int endCode = 0; // for EndWithError (the daemon's number) and SessionExpired (27)
};

// Client of the svpn daemon: builds its start text, starts it with that text
// on its standard input, stops it through its pid file and runs the worker
// thread that polls it and reports the tunnel's events through the virtual
// callbacks below (called on the worker thread only).
class SvpnHandler : public TunnelHandlerBase
{
public:
    SvpnHandler();
    SvpnHandler(const SvpnHandler&) = delete;
    SvpnHandler& operator=(const SvpnHandler&) = delete;

    // Takes ownership of params. -101 for a null list, else OpenTunnel's result.
    virtual int Open(UPropertyList* params);
    virtual int CloseTunnel();
    virtual void onConnecting() = 0;
    virtual void onConnected() = 0;
    virtual void onReconnecting() = 0;
    virtual void onClosed(int code) = 0;
    virtual void onError(int code) = 0;
    virtual void setTraffic(int64_t recvClient, int64_t sendClient, int64_t recvServer, int64_t sendServer) = 0;
    virtual void tunnelDetails(CString& text) = 0;
    ~SvpnHandler() override;
    virtual bool isRunning();
    virtual void setLogLevel(int level);
    virtual int getLogLevel();
    virtual int OpenTunnel(const CString& startParameters);
    virtual void LaunchSvpn(const CString& startParameters, bool stop);

    void setRunning(bool running);
    void stopAndReport(int code, bool isError);

    // The daemon's start text for a parameter list (adds "browser_pid" and
    // "version" to it and remembers its session id for the next call).
    static CString makeStartParameters(UPropertyList& params);
    // True when /proc names pid as a process whose first argument ends in "/svpn".
    static bool isSvpnProcess(int pid);
    // Decodes one poll reply (NUL-terminated text).
    static SvpnReplyEvents decodeReply(const char* reply);

protected:
    // Stops the daemon when this handler started one and has not stopped it,
    // then waits for the worker. Derived classes call it first in their
    // destructor, since the worker calls their callbacks.
    void shutdownWorker();

    // How long the first daemon process may take to exit, the worker's pauses
    // and how long it waits for a poll reply; tests shorten them.
    int m_launchWaitMs = 10000;
    int m_firstPauseMs = 2000;
    int m_roundPauseMs = 1000;
    int m_replyWaitMs = 5000;

private:
    struct PollState;
    enum class Round { Next, End };

    static void* svpn_handler_thread_loop(void* handler);
    void runWorker();
    // The first pause; false when a stop came before the first poll.
    bool beginPolling();
    Round pollOnce(PollState& state);
    bool connectToDaemon(PollState& state);
    bool sendPoll(PollState& state);
    void readReply(PollState& state);
    Round actOnReply(PollState& state);
    void endWorker(PollState& state);

    // The pid it signalled, or 0.
    int StopSvpn();
    // Stops the daemon this handler started, also one that names itself in
    // its pid file only now, and waits until it is gone.
    void stopStartedDaemon();

    void launchDaemon(const CString& startParameters);
    void keepStartedDaemon(int64_t namingDeadline);
    bool closedWhileLaunching();
    // Waits up to ms for a stop request; true when one came.
    bool waitForStop(int ms);
    bool stopRequested();
    void setLaunching(bool launching);

    pthread_mutex_t m_lock;
    bool m_running = false;
    pthread_t m_worker{};
    int m_logLevel = 0;

    // Guarded by m_lock as well: a stop asked for before or while the worker
    // starts is kept, and wakes the worker's pauses.
    bool m_lockOk = false;
    bool m_stopRequested = false;
    bool m_daemonStarted = false;
    // Until then a daemon started by this handler may still name itself in
    // its pid file (monotonic ms).
    int64_t m_namingDeadline = 0;
    int m_daemonPid = 0; // the daemon it started, once known
    bool m_daemonSignalled = false;
    bool m_workerStarted = false;
    // A close while the daemon starts (its waits serve the event loop).
    bool m_launching = false;
    bool m_stopWhileLaunching = false;
    pthread_cond_t m_wake;
};
