#pragma once
// Launches handed from one process of the user to the one that serves, and
// the single instance without a session bus.
//
// A launching process ends only once the serving one has answered that it
// takes the launch; the serving one answers before it runs the launch. Once
// the serving process has decided to quit it takes nothing more: it gives up
// its bus name and closes its channel, and a launching process that finds
// nobody to take its URL becomes the serving one and runs the URL itself.
//
// Without a session bus the guard is a lock file of the user's own
// ("tessalvpn.lock" in the runtime folder, else in "/.TessalNetworks" in the
// home folder); launches reach its holder through the owner-only socket
// "tessalvpn.socket" beside it.

#include <sys/socket.h>

#include <functional>
#include <map>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QString>

#include "foundation/BoundForTests.h"
#include "session/LaunchHandOver.h"

struct sockaddr_un;
class QSocketNotifier;
class QTimer;
class UUserLockFile;

namespace tessal {
namespace qt {

class CustomQApplication;

// How long a launching process waits for the serving one's answer, and how
// long it keeps trying to find a process that takes its launch.
inline const int kHandOverReplyMs = boundForTests(60000);
inline const int kHandOverTryMs = boundForTests(120000);

// From now on until the process quits, this one takes launches.
void serveLaunchesUntilQuit(CustomQApplication& app);

// A launch handed over by another process: the answer (true: taken) goes
// back first and the launch runs only when it could be sent. A launch that
// comes while the process is quitting is refused and logged.
void runHandedOverLaunch(CustomQApplication& app, const QString& url, const std::function<bool(bool)>& answer);

// The outcome of handing a launch over.
enum class HandOver { Taken, NotTaken, Unanswered };

// What became of the per-user lock: this process holds it (and takes
// launches through the channel beside it), there is none to hold, or another
// instance holds it and the launch went to that one or to nobody.
enum class InstanceLock { Held, Unusable, HandedOver };

// Every serving instance holds the lock, whichever road it serves by: once
// the session bus has gone, the lock is what the next launch finds.
// HandedOver: the process is to end with exitCode.
InstanceLock holdInstanceLock(CustomQApplication& app, int& exitCode);

// Without a session bus: true when this process holds the lock and serves;
// false when it is to end with exitCode (its launch was taken by the holder,
// there was none, or nobody took it in time).
bool setupLocalInstance(CustomQApplication& app, int& exitCode);

// The serving end of the local channel. Each connection of the user's own
// sends one launch URL (UTF-8, ended by a NUL byte) and gets one byte back:
// 'Y' when it is taken, 'N' when not.
class LocalLaunchChannel final : public QObject
{
    Q_OBJECT
public:
    LocalLaunchChannel(CustomQApplication& app, std::unique_ptr<UUserLockFile> lock);
    ~LocalLaunchChannel() override;

    bool listen();
    // Stops listening; the lock stays held until the process ends.
    void close();

private:
    struct Connection;
    void acceptPending();
    void readFrom(int fd);
    void drop(int fd);

    CustomQApplication& app;
    std::unique_ptr<UUserLockFile> lock;
    int listener = -1;
    QSocketNotifier* listenNotifier = nullptr;
    std::map<int, std::unique_ptr<Connection>> connections;
};

// Connects to the channel in folder and hands url over; connecting, sending
// and the answer take replyWaitMs at most.
HandOver handOverLocally(int folder, const QByteArray& url, int replyWaitMs);

// A non-blocking, close-on-exec stream socket connected to address, or -1
// when it could not be connected by deadline (monotonicMs()).
int connectLocalBefore(const sockaddr_un& address, socklen_t length, long long deadline);
// True when fd is ready for events before deadline.
bool waitForBefore(int fd, short events, long long deadline);

} // namespace qt
} // namespace tessal
