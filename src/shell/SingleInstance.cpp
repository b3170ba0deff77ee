#include "shell/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "foundation/IUErrorLog.h"
#include "foundation/UArgFormat.h"
#include "foundation/UException.h"
#include "foundation/UserLockFile.h"
#include "foundation/m_system.h"
#include "session/LaunchHandOver.h"
#include "session/SessionExchange.h"
#include "shell/CustomQApplication.h"
#include "shell/DBusInterface.h"

namespace tessal {
namespace qt {

namespace {

constexpr const char* kLogFile = "SingleInstance";
constexpr const char* kLockName = "tessalvpn.lock";
constexpr const char* kSocketName = "tessalvpn.socket";
constexpr int kRetryMs = 20;
// A launch URL is one command-line argument, which Linux caps at 128 KiB.
constexpr int kMaxLaunchBytes = 256 * 1024;
// A connection that has not sent its URL by then is dropped.
constexpr int kConnectionIdleMs = 5000;
constexpr size_t kMaxConnections = 256;
// How long a launching process tries to get through a full backlog at once.
constexpr int kConnectMs = 2000;

// The socket's path through the folder's descriptor: short whatever the
// folder's own path is, and always the folder that was checked.
sockaddr_un socketAddress(int folder)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder, kSocketName);
    return address;
}

QString redacted(const QString& url)
{
    return redactedLaunchUrl(QUrl(url, QUrl::TolerantMode));
}

} // namespace

void serveLaunchesUntilQuit(CustomQApplication& app)
{
    // Whatever ends the event loop, nothing is taken after it.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, &stopTakingLaunches);
}

void runHandedOverLaunch(CustomQApplication& app, const QString& url, const std::function<bool(bool)>& answer)
{
    if (!takingLaunches()) {
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Launch request not taken, application is quitting: %1", redacted(url)));
        answer(false);
        return;
    }
    if (!answer(true)) {
        // The launching process did not hear it; it decides for itself.
        ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                     makeArgFormat("Launch request not confirmed to its sender, not run: %1", redacted(url)));
        return;
    }
    // Reached from socket notifiers and bus calls: nothing may leave it.
    int result = 0;
    guardOperation(UCATCH_SITE(kLogFile, "Handed-over launch failed", __PRETTY_FUNCTION__), result,
                   [&]() { app.CreateSession(url); });
}

// ---------------------------------------------------------------------------
// Serving end

struct LocalLaunchChannel::Connection {
    int fd = -1;
    QByteArray received;
    QSocketNotifier* notifier = nullptr;
    QTimer* idle = nullptr;

    ~Connection()
    {
        // Possibly inside the notifier's own signal: the objects go later.
        if (notifier != nullptr) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        if (idle != nullptr) {
            idle->stop();
            idle->deleteLater();
        }
        if (fd >= 0)
            ::close(fd);
    }
};

LocalLaunchChannel::LocalLaunchChannel(CustomQApplication& app, std::unique_ptr<UUserLockFile> lock)
    : QObject(&app), app(app), lock(std::move(lock))
{}

LocalLaunchChannel::~LocalLaunchChannel()
{
    close();
}

bool LocalLaunchChannel::listen()
{
    const int folder = lock->folder();
    // Only the lock's holder gets here, so a socket left there is stale;
    // anything else of that name is left alone.
    struct stat info {};
    if (::fstatat(folder, kSocketName, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid()) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Cannot take launches: '%1' beside the lock is not our socket", kSocketName));
            return false;
        }
        ::unlinkat(folder, kSocketName, 0);
    }
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_un address = socketAddress(folder);
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::fchmodat(folder, kSocketName, 0600, 0) != 0 || ::listen(listener, 64) != 0) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("Cannot take launches through '%1': %2", kSocketName, std::strerror(errno)));
        if (listener >= 0)
            ::close(listener);
        listener = -1;
        return false;
    }
    listenNotifier = new QSocketNotifier(listener, QSocketNotifier::Read, this);
    connect(listenNotifier, &QSocketNotifier::activated, this, &LocalLaunchChannel::acceptPending);
    return true;
}

void LocalLaunchChannel::close()
{
    connections.clear();
    if (listenNotifier != nullptr) {
        listenNotifier->setEnabled(false);
        listenNotifier->deleteLater();
        listenNotifier = nullptr;
    }
    if (listener >= 0) {
        // Whoever still waits in the queue is refused and tries again.
        ::close(listener);
        listener = -1;
        ::unlinkat(lock->folder(), kSocketName, 0);
    }
}

void LocalLaunchChannel::acceptPending()
{
    while (listener >= 0) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Launch request from another user refused, uid %1", static_cast<int>(peer.uid)));
            ::close(fd);
            continue;
        }
        if (connections.size() >= kMaxConnections) {
            // The sender tries again.
            ::close(fd);
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->fd = fd;
        connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(connection->notifier, &QSocketNotifier::activated, this, [this, fd]() { readFrom(fd); });
        connection->idle = new QTimer(this);
        connection->idle->setSingleShot(true);
        connect(connection->idle, &QTimer::timeout, this, [this, fd]() { drop(fd); });
        connection->idle->start(kConnectionIdleMs);
        connections[fd] = std::move(connection);
    }
}

void LocalLaunchChannel::drop(int fd)
{
    connections.erase(fd);
}

void LocalLaunchChannel::readFrom(int fd)
{
    const auto found = connections.find(fd);
    if (found == connections.end())
        return;
    Connection& connection = *found->second;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0 || connection.received.size() + n > kMaxLaunchBytes) {
            drop(fd);
            return;
        }
        connection.received.append(buffer, static_cast<int>(n));
        if (connection.received.contains('\0'))
            break;
    }
    // Out of the table first: the launch may run nested event loops.
    std::unique_ptr<Connection> taken = std::move(found->second);
    connections.erase(found);
    taken->notifier->setEnabled(false);
    const QString url = QString::fromUtf8(taken->received.left(taken->received.indexOf('\0')));
    runHandedOverLaunch(app, url, [&taken](bool take) {
        const char answer = take ? 'Y' : 'N';
        const bool sent = ::send(taken->fd, &answer, 1, MSG_NOSIGNAL) == 1;
        ::close(taken->fd);
        taken->fd = -1;
        return sent;
    });
}

// ---------------------------------------------------------------------------
// Launching end

int connectLocalBefore(const sockaddr_un& address, socklen_t length, long long deadline)
{
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return -1;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
            return fd;
        const int error = errno;
        ::close(fd);
        // A full backlog: the listener is there but does not take; it may.
        if ((error != EAGAIN && error != EINTR) || monotonicMs() >= deadline)
            return -1;
        QThread::msleep(kRetryMs);
    }
}

bool waitForBefore(int fd, short events, long long deadline)
{
    pollfd wait{fd, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&wait, 1, static_cast<int>(std::max(0LL, deadline - monotonicMs())));
    } while (ready < 0 && errno == EINTR);
    return ready > 0;
}

HandOver handOverLocally(int folder, const QByteArray& url, int replyWaitMs)
{
    // Connecting, sending and the answer share one bound: a holder that has
    // stopped holds nobody longer than that.
    const long long deadline = monotonicMs() + replyWaitMs;
    const sockaddr_un address = socketAddress(folder);
    const int fd = connectLocalBefore(address, sizeof address, monotonicMs() + kConnectMs);
    if (fd < 0)
        return HandOver::NotTaken;
    HandOver result = HandOver::NotTaken;
    QByteArray message = url;
    message.append('\0');
    const char* data = message.constData();
    size_t left = static_cast<size_t>(message.size());
    bool stalled = false;
    while (left > 0) {
        const ssize_t n = ::send(fd, data, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitForBefore(fd, POLLOUT, deadline))
                continue;
            stalled = true;
            break;
        }
        if (n <= 0)
            break;
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (stalled) {
        // Part of the launch waits in a holder that does not read: it cannot
        // run a launch it has not read whole, but it did not refuse either.
        result = HandOver::Unanswered;
    } else if (left == 0) {
        char answer = 0;
        if (!waitForBefore(fd, POLLIN, deadline))
            result = HandOver::Unanswered;
        else if (::recv(fd, &answer, 1, 0) == 1 && answer == 'Y')
            result = HandOver::Taken;
    }
    ::close(fd);
    return result;
}

InstanceLock holdInstanceLock(CustomQApplication& app, int& exitCode)
{
    exitCode = 0;
    auto lock = std::make_unique<UUserLockFile>(kLockName);
    if (!lock->isUsable()) {
        ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                   makeArgFormat("No single-instance lock: %1", QString::fromStdString(lock->error())));
        return InstanceLock::Unusable;
    }

    const QStringList arguments = QCoreApplication::arguments();
    const long long deadline = monotonicMs() + kHandOverTryMs;
    bool announced = false;
    for (;;) {
        if (lock->tryLock()) {
            QPointer<LocalLaunchChannel> channel = new LocalLaunchChannel(app, std::move(lock));
            channel->listen();
            whenLaunchesStop([channel]() {
                if (channel)
                    channel->close();
            });
            return InstanceLock::Held;
        }
        if (arguments.size() < 2) {
            ULOG_WARNING(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Application was launched without parameters, exiting"));
            return InstanceLock::HandedOver;
        }
        if (!announced) {
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__,
                         makeArgFormat("Instance lock held by a running instance, handing the launch over to it"));
            announced = true;
        }
        switch (handOverLocally(lock->folder(), arguments[1].toUtf8(), kHandOverReplyMs)) {
        case HandOver::Taken:
            ULOG_VERBOSE(kLogFile, __PRETTY_FUNCTION__, makeArgFormat("Launch taken by the running instance"));
            return InstanceLock::HandedOver;
        case HandOver::Unanswered:
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("The running instance did not answer the launch request, giving up"));
            exitCode = 1;
            return InstanceLock::HandedOver;
        case HandOver::NotTaken: break;
        }
        if (monotonicMs() >= deadline) {
            ULOG_ERROR(kLogFile, __PRETTY_FUNCTION__,
                       makeArgFormat("Nobody took the launch request and the instance lock stays held, giving up"));
            exitCode = 1;
            return InstanceLock::HandedOver;
        }
        QThread::msleep(kRetryMs);
    }
}

bool setupLocalInstance(CustomQApplication& app, int& exitCode)
{
    const InstanceLock lock = holdInstanceLock(app, exitCode);
    if (lock == InstanceLock::HandedOver)
        return false;
    // Without a lock of the user's own nothing guards the instance, and the
    // launch the user asked for still runs.
    ULOG_WARNING(
        kLogFile, __PRETTY_FUNCTION__,
        makeArgFormat("Single-instance service '%1' not available, running as the only instance", kDBusServiceName));
    if (lock == InstanceLock::Held)
        serveLaunchesUntilQuit(app);
    return true;
}

} // namespace qt
} // namespace tessal
