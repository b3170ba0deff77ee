#include "foundation/USocket.h"

#include "foundation/IUErrorLog.h"
#include "foundation/SocketPoll.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kFile[] = "/USocket";

using AddrInfoList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Resolves host and port for a TCP connection. Returns the getaddrinfo result
// and, on failure, the errno that was current right after the call.
int resolveTcp(const CString& host, uint16_t port, AddrInfoList& list, int& savedErrno)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char service[8];
    std::snprintf(service, sizeof(service), "%u", unsigned(port));
    addrinfo* raw = nullptr;
    errno = 0;
    const int rc = ::getaddrinfo(static_cast<const char*>(host), service, &hints, &raw);
    savedErrno = errno;
    list.reset(raw);
    return rc;
}

// A socket for one resolved address; -1 (with the reason in lastError and a
// record under function and line) when none can be made.
int openSocket(const addrinfo* ai, const char* function, int line, int& lastError)
{
    const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
        lastError = errno;
        ULOG_AT(1, kFile, line, function,
                makeArgFormat("%1, %2, %3", "::socket() failed", lastError, describeErrno(lastError)));
    }
    return fd;
}

void closeQuietly(int fd, int line, const char* function)
{
    if (::close(fd) != 0) {
        const int e = errno;
        ULOG_AT(1, kFile, line, function, makeArgFormat("%1, %2", "closesocket() error", e));
    }
}

} // namespace

// ---------------------------------------------------------------- USocketBlocking

USocketBlocking::USocketBlocking()
    : m_port(0), m_socket(-1), m_externalSocket(-1), m_peerAddress(INADDR_NONE), m_counters{0, 0, 0, 0}
{}

USocketBlocking::~USocketBlocking()
{
    try {
        _close(false);
    } catch (...) {
    }
    m_socket = -1;
}

void USocketBlocking::setLastErrno(int error)
{
    setLastError(error, describeErrno(error));
}

void USocketBlocking::setLastResolverError(int result, int savedErrno)
{
    if (result == EAI_SYSTEM && savedErrno != 0) {
        setLastErrno(savedErrno);
        return;
    }
    // The resolver's own code and text: errno says nothing about a failed look-up.
    UArgFormat text("%1, %2");
    text.arg(static_cast<unsigned long>(static_cast<long>(result))).arg(::gai_strerror(result));
    setLastError(result, text.str());
}

void USocketBlocking::throwResolveFailure(int result, int savedErrno, const char* function, int line)
{
    setLastResolverError(result, savedErrno);
    throw UException(-1, kFile, function, line, "EXCEPTION - %s, %s, %s, %s", "Unable to resolve",
                     static_cast<const char*>(m_host), static_cast<const char*>(toString(getLastError())),
                     static_cast<const char*>(getLastErrorText()));
}

int USocketBlocking::shutdown(int how)
{
    if (!isValid())
        return 0;
    return ::shutdown(m_socket, how);
}

int USocketBlocking::isAvailable(unsigned int milliseconds)
{
    const int fd = m_socket;
    short revents = 0;
    int rc;
    int error = EBADF;
    if (fd == -1) {
        rc = -1;
    } else {
        rc = pollRestarting(fd, POLLIN, milliseconds > unsigned(INT_MAX) ? INT_MAX : int(milliseconds), revents);
        error = errno;
        if (rc > 0 && (revents & POLLNVAL)) {
            rc = -1;
            error = EBADF;
        }
    }
    if (rc < 0) {
        ULOG(1, kFile, "USocketBlocking::isAvailable()", makeArgFormat("%1, %2", "select() error", error));
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

int USocketBlocking::isWriteable()
{
    const int fd = m_socket;
    short revents = 0;
    int rc = -1;
    int error = EBADF;
    if (fd != -1) {
        rc = pollRestarting(fd, POLLOUT, 0, revents);
        error = errno;
        if (rc > 0 && (revents & POLLNVAL)) {
            rc = -1;
            error = EBADF;
        }
    }
    if (rc < 0) {
        ULOG(1, kFile, "USocketBlocking::isWriteable()", makeArgFormat("%1, %2", "select error", error));
        return 0;
    }
    return rc > 0 ? 1 : 0;
}

bool USocketBlocking::isValid()
{
    return m_socket != -1;
}

int USocketBlocking::setPort(uint16_t port)
{
    m_port = port;
    return 0;
}

uint16_t USocketBlocking::getPort()
{
    return m_port;
}

int USocketBlocking::setHost(const char* host)
{
    m_host = host;
    return 0;
}

const char* USocketBlocking::getHost()
{
    return m_host;
}

const char* USocketBlocking::getPeerAddressText()
{
    // One buffer per thread instead of inet_ntoa's process-wide one.
    thread_local char text[INET_ADDRSTRLEN];
    in_addr a;
    a.s_addr = m_peerAddress;
    if (::inet_ntop(AF_INET, &a, text, sizeof(text)) == nullptr)
        text[0] = '\0';
    return text;
}

int USocketBlocking::attach(int descriptor, bool external)
{
    if (isValid())
        return -1;
    m_socket = descriptor;
    m_externalSocket = external ? descriptor : -1;
    return 0;
}

int USocketBlocking::getSocket()
{
    return m_socket;
}

void USocketBlocking::setSocketOptions(int descriptor)
{
    int on = 1;
    if (::setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) != 0) {
        const int e = errno;
        ULOG(2, kFile, "USocketBlocking::setSocketOptions",
             makeArgFormat("Failed to disable Nagle algorithm for the connection UNDER(error: %1)", e));
    }
}

namespace {

// A blocking connect interrupted by a signal goes on in the background; wait
// for its outcome instead of starting a second one.
int finishInterruptedConnect(int fd)
{
    short revents = 0;
    int rc = pollRestarting(fd, POLLOUT, -1, revents);
    if (rc < 0)
        return errno;
    int error = 0;
    socklen_t len = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
        return errno;
    return error;
}

} // namespace

int USocketBlocking::connect(int /*timeout*/)
{
    setLastError(0, "");
    if (isValid())
        return 0;

    int result = -1;
    AddrInfoList list(nullptr, &freeaddrinfo);
    guardOperation(UCATCH_SITE(kFile, "USocketBlocking::connect: EXCEPTION!!!", "connect"), result, [&] {
        m_peerAddress = INADDR_NONE;
        int savedErrno = 0;
        const int rc = resolveTcp(m_host, m_port, list, savedErrno);
        if (rc != 0) {
            throwResolveFailure(rc, savedErrno, "USocketBlocking::connect()", __LINE__);
        }

        int lastError = EADDRNOTAVAIL;
        for (addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
            if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
                continue;
            const int fd = openSocket(ai, "USocketBlocking::connect()", __LINE__, lastError);
            if (fd < 0)
                continue;
            int error = 0;
            if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
                error = errno;
                if (error == EINTR)
                    error = finishInterruptedConnect(fd);
            }
            if (error == 0) {
                if (ai->ai_family == AF_INET)
                    m_peerAddress = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
                m_socket = fd;
                break;
            }
            lastError = error;
            ULOG(1, kFile, "USocketBlocking::connect()",
                 makeArgFormat("%1, %2, %3, %4", "::connect failed", m_host, int(m_port), describeErrno(error)));
            closeQuietly(fd, 105, "USocketBlocking::connect()");
        }

        if (!isValid()) {
            setLastErrno(lastError);
            throw UException(-1, kFile, "USocketBlocking::connect()", __LINE__, "EXCEPTION - %s, %s, %hu, %s",
                             "Failed to connect", static_cast<const char*>(m_host), m_port,
                             static_cast<const char*>(getLastErrorText()));
        }
        setSocketOptions(m_socket);
        result = 0;
    });
    return result;
}

int USocketBlocking::send(const void* data, unsigned int length)
{
    if (length == 0)
        return 0;
    m_counters[0] += length;

    int result = -1;
    guardOperation(UCATCH_SITE(kFile, "USocketBlocking::send:EXCEPTION!!!", "send"), result, [&] {
        if (length > unsigned(INT_MAX)) {
            setLastErrno(EMSGSIZE);
            throw UException(-1, kFile, "USocketBlocking::send()", __LINE__, "EXCEPTION - %s, %s, %s",
                             "Failed to send data", static_cast<const char*>(m_host),
                             static_cast<const char*>(getLastErrorText()));
        }
        const char* p = static_cast<const char*>(data);
        unsigned int left = length;
        while (left > 0) {
            // A peer that has gone away must give an error here, never SIGPIPE.
            const ssize_t n = ::send(m_socket, p, left, MSG_NOSIGNAL);
            if (n < 0) {
                const int e = errno;
                if (e == EINTR)
                    continue;
                setLastErrno(e);
                throw UException(-1, kFile, "USocketBlocking::send()", __LINE__, "EXCEPTION - %s, %s, %s",
                                 "Failed to send data", static_cast<const char*>(m_host),
                                 static_cast<const char*>(getLastErrorText()));
            }
            m_counters[1] += uint64_t(n);
            p += n;
            left -= unsigned(n);
        }
        result = int(length);
    });
    return result;
}

int USocketBlocking::receive(void* buffer, unsigned int length)
{
    if (length == 0) {
        ULOG(2, kFile, "USocketBlocking::receive()", "input buffer has ZERO size");
        return 0;
    }
    if (length > unsigned(INT_MAX))
        length = unsigned(INT_MAX);

    ssize_t n;
    do {
        n = ::recv(m_socket, buffer, length, 0);
    } while (n < 0 && errno == EINTR);

    if (n == 0) {
        setLastErrno(108);
        return -2;
    }
    if (n < 0) {
        const int e = errno;
        setLastErrno(e);
        if (e == EAGAIN || e == EWOULDBLOCK)
            return 0;
        ULOG(1, kFile, "USocketBlocking::receive()", makeArgFormat("%1, %2", "receive() failed", getLastErrorText()));
        return -1;
    }
    m_counters[2] += uint64_t(n);
    m_counters[3] += uint64_t(n);
    return int(n);
}

int USocketBlocking::close(bool closeExternal)
{
    return _close(closeExternal);
}

int USocketBlocking::_close(bool closeExternal)
{
    if (!isValid()) {
        if (closeExternal && m_externalSocket != -1) {
            ::close(m_externalSocket);
            m_socket = -1;
            m_externalSocket = -1;
        }
        return 0;
    }
    if (m_externalSocket != -1) {
        if (!closeExternal)
            return 0;
        ::close(m_externalSocket);
        m_socket = -1;
        m_externalSocket = -1;
        return 0;
    }
    const int fd = m_socket;
    m_socket = -1;
    const int rc = ::close(fd);
    if (rc != 0) {
        const int e = errno;
        ULOG(1, kFile, "USocketBlocking::_close()", makeArgFormat("%1, %2", "closesocket() error", e));
    }
    return rc;
}

int USocketBlocking::reserved1()
{
    return 0;
}

int USocketBlocking::reserved2()
{
    return 0;
}

CString USocketBlocking::readln(int timeout)
{
    CString result;
    const int kChunk = 16384;
    char buffer[kChunk];
    std::memset(buffer, 0, sizeof(buffer));
    int used = 0;
    char last = '\0';

    if (getLastError() == 110)
        setLastError(0, "");

    const long long start = nowMs();
    int code = -1;
    guardOperation(UCATCH_SITE(kFile, "USocketBlocking::readln::EXCEPTION!!!", "readln"), code, [&] {
        for (;;) {
            if (last == '\n') {
                if (used > 0) {
                    buffer[used] = '\0';
                    result += buffer;
                }
                code = 0;
                return;
            }
            int available;
            bool timedOut = false;
            while ((available = isAvailable(100)) == 0) {
                if (timeout >= 0 && nowMs() - start > timeout) {
                    setLastErrno(110);
                    timedOut = true;
                    break;
                }
            }
            if (timedOut)
                break;
            char c = '\0';
            if (receive(&c, 1) != 1)
                break;
            buffer[used++] = c;
            last = c;
            if (used == kChunk - 1) {
                buffer[used] = '\0';
                result += buffer;
                std::memset(buffer, 0, sizeof(buffer));
                used = 0;
            }
        }
        code = 0;
    });
    if (code != 0)
        return CString();
    return result;
}

int USocketBlocking::writeString(const char* text)
{
    if (text == nullptr)
        return 0;
    const unsigned int length = unsigned(std::strlen(text));
    return send(text, length) == int(length) ? 0 : -1;
}

int USocketBlocking::writeLine(const char* text)
{
    if (writeString(text) != 0)
        return -1;
    return send("\n", 1) == 1 ? 0 : -1;
}

uint64_t* USocketBlocking::getCounters()
{
    return m_counters;
}

uint64_t USocketBlocking::getUnsentBytes()
{
    return m_counters[0] - m_counters[1];
}

void USocketBlocking::resetCounters()
{
    m_counters[0] = m_counters[1] = m_counters[2] = m_counters[3] = 0;
}

// ---------------------------------------------------------------- USocketEx

USocketEx::USocketEx() : m_cancel(false), m_connecting(false) {}

USocketEx::~USocketEx()
{
    try {
        _close(false);
    } catch (...) {
    }
    m_socket = -1;
}

int USocketEx::close(bool closeExternal)
{
    m_cancel = true;
    {
        std::lock_guard<std::mutex> guard(m_cancelLock);
        if (m_connecting && m_connectThread != std::this_thread::get_id()) {
            // Another thread is connecting: wake it and let it close its own
            // descriptor, so the number cannot be reused under its feet.
            const int fd = m_socket;
            if (fd != -1)
                ::shutdown(fd, SHUT_RDWR);
            return 0;
        }
    }
    return USocketBlocking::close(closeExternal);
}

void USocketEx::setDescriptor(int descriptor)
{
    std::lock_guard<std::mutex> guard(m_cancelLock);
    m_socket = descriptor;
}

void USocketEx::closeConnecting()
{
    std::lock_guard<std::mutex> guard(m_cancelLock);
    const int fd = m_socket;
    if (fd == -1 || m_externalSocket != -1)
        return;
    m_socket = -1;
    closeQuietly(fd, 541, "USocketEx::connect()");
}

int USocketEx::connect(int timeout)
{
    m_cancel = false;

    if (timeout > 3600) {
        throw UException(-1, kFile, "", __LINE__, "EXCEPTION - %s", "Values more than 1 hour are not suported");
    }
    if (timeout < 0) {
        // No meaning can be given to a negative limit: refuse it.
        setLastErrno(EINVAL);
        ULOG(1, kFile, "USocketEx::connect()", makeArgFormat("%1, %2", "Invalid timeout", timeout));
        return -1;
    }
    if (timeout > 0 && m_externalSocket != -1)
        return 0;
    if (timeout > 0 && isValid()) {
        setLastError(0, "");
        return 0;
    }

    {
        std::lock_guard<std::mutex> guard(m_cancelLock);
        m_connecting = true;
        m_connectThread = std::this_thread::get_id();
    }
    int result = -1;
    try {
        result = timeout == 0 ? USocketBlocking::connect(0) : connectTimed(timeout);
    } catch (...) {
        std::lock_guard<std::mutex> guard(m_cancelLock);
        m_connecting = false;
        m_cancel = false;
        throw;
    }
    {
        std::lock_guard<std::mutex> guard(m_cancelLock);
        m_connecting = false;
    }
    m_cancel = false;
    return result;
}

USocketEx::WaitResult USocketEx::waitForConnect(int timeout, int& failure)
{
    const long long deadline = nowMs() + (long long)timeout * 1000;
    if (m_cancel)
        return Cancelled;
    for (;;) {
        const long long remaining = deadline - nowMs();
        if (remaining <= 0)
            return TimedOut;
        const int slice = remaining < 500 ? int(remaining) : 500;
        pollfd p;
        p.fd = m_socket;
        p.events = POLLOUT;
        p.revents = 0;
        const int rc = ::poll(&p, 1, slice);
        const int pollErrno = errno;
        if (m_cancel)
            return Cancelled;
        if (rc < 0) {
            if (pollErrno == EINTR)
                continue;
            failure = pollErrno;
            return Failed;
        }
        if (rc == 0)
            continue;
        if (p.revents & POLLNVAL) {
            failure = EBADF;
            return Failed;
        }
        int error = 0;
        socklen_t len = sizeof(error);
        if (::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
            failure = 110;
            return Failed;
        }
        if (error != 0) {
            failure = error;
            return Failed;
        }
        if (p.revents & POLLOUT)
            return Connected;
        failure = ECONNABORTED;
        return Failed;
    }
}

int USocketEx::connectTimed(int timeout)
{
    int result = -1;
    bool nonBlocking = false;
    AddrInfoList list(nullptr, &freeaddrinfo);
    guardOperation(UCATCH_SITE(kFile, "USocketEx::connect::EXCEPTION!!!", "connect"), result, [&] {
        setLastError(0, "");
        m_peerAddress = INADDR_NONE;
        int savedErrno = 0;
        const int rc = resolveTcp(m_host, m_port, list, savedErrno);
        if (rc != 0) {
            throwResolveFailure(rc, savedErrno, "USocketEx::connect()", __LINE__);
        }

        int lastError = EADDRNOTAVAIL;
        bool pending = false;
        for (addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
            if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6)
                continue;
            const int fd = openSocket(ai, "USocketEx::connect()", __LINE__, lastError);
            if (fd < 0)
                continue;
            int on = 1;
            nonBlocking = ::ioctl(fd, FIONBIO, &on) == 0;
            int error = 0;
            if (::connect(fd, ai->ai_addr, ai->ai_addrlen) != 0)
                error = errno;
            if (error == 0 || error == EINPROGRESS || error == EINTR) {
                if (ai->ai_family == AF_INET)
                    m_peerAddress = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
                pending = error != 0;
                setDescriptor(fd);
                break;
            }
            lastError = error;
            ULOG(1, kFile, "USocketEx::connect()",
                 makeArgFormat("%1, %2, %3, %4", "::connect() failed", m_host, int(m_port), describeErrno(error)));
            closeQuietly(fd, 541, "USocketEx::connect()");
            nonBlocking = false;
        }

        if (!isValid()) {
            setLastErrno(lastError);
            throw UException(-1, kFile, "USocketEx::connect()", __LINE__, "EXCEPTION - %s, %s, %hu, %s",
                             "Failed to connect", static_cast<const char*>(m_host), m_port,
                             static_cast<const char*>(getLastErrorText()));
        }

        int failure = 0;
        WaitResult outcome = Connected;
        if (pending)
            outcome = waitForConnect(timeout, failure);
        else if (m_cancel)
            outcome = Cancelled;

        if (outcome != Connected) {
            if (outcome == Cancelled) {
                ULOG(2, kFile, "USocketEx::connect()", "Connect was cancelled");
                failure = 125;
            } else if (outcome == TimedOut) {
                failure = 110;
            }
            // Whatever ended the attempt, the descriptor goes: the object can
            // connect again and nothing leaks.
            closeConnecting();
            setLastErrno(failure);
            throw UException(-1, kFile, "USocketEx::connect()", __LINE__, "EXCEPTION - %s, %s, %s", "Failed to connect",
                             static_cast<const char*>(m_host), static_cast<const char*>(getLastErrorText()));
        }
        setSocketOptions(m_socket);
        result = 0;
    });

    if (nonBlocking && isValid()) {
        int off = 0;
        ::ioctl(m_socket, FIONBIO, &off);
    }
    return result;
}

// ---------------------------------------------------------------- USocketHelper

unsigned long USocketHelper::inet_addr(const char* text)
{
    if (text != nullptr) {
        const in_addr_t a = ::inet_addr(text);
        if (a != INADDR_NONE)
            return a;
        addrinfo hints;
        std::memset(&hints, 0, sizeof(hints));
        hints.ai_family = AF_INET;
        addrinfo* raw = nullptr;
        // getaddrinfo rather than gethostbyname: it is safe on any thread.
        if (::getaddrinfo(text, nullptr, &hints, &raw) == 0) {
            AddrInfoList list(raw, &freeaddrinfo);
            for (addrinfo* ai = raw; ai != nullptr; ai = ai->ai_next) {
                if (ai->ai_family == AF_INET)
                    return reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            }
        }
    }
    ULOG(2, kFile, "USocketHelper::inet_addr", makeArgFormat("Wrong address (%1)", text));
    return 0;
}

int USocketHelper::accept(const CString& host, uint16_t port)
{
    int listener = -1;
    int accepted = -1;
    int code = -1;
    UException recorded;
    guardOperation(
        UCATCH_SITE(kFile, "USocketHelper::accept()", "accept"), code,
        [&] {
            in_addr address;
            std::memset(&address, 0, sizeof(address));
            // A literal address is taken as it is; anything else must resolve, so
            // a name that does not resolve never ends up listening on every interface.
            if (::inet_pton(AF_INET, host, &address) != 1) {
                addrinfo hints;
                std::memset(&hints, 0, sizeof(hints));
                hints.ai_family = AF_INET;
                addrinfo* raw = nullptr;
                const int rc = ::getaddrinfo(host, nullptr, &hints, &raw);
                const int e = errno;
                AddrInfoList list(raw, &freeaddrinfo);
                if (rc != 0 || raw == nullptr) {
                    throw UException(-1, kFile, "USocketHelper::accept()", __LINE__, "EXCEPTION - %s, %s, %s",
                                     "Unable to resolve", static_cast<const char*>(host),
                                     rc == EAI_SYSTEM ? static_cast<const char*>(describeErrno(e))
                                                      : ::gai_strerror(rc));
                }
                address = reinterpret_cast<sockaddr_in*>(raw->ai_addr)->sin_addr;
            }

            listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (listener < 0) {
                const int e = errno;
                throw UException(-1, kFile, "USocketHelper::accept()", __LINE__, "EXCEPTION - %s, %s, %s",
                                 "socket() failed", static_cast<const char*>(toString(e)),
                                 static_cast<const char*>(describeErrno(e)));
            }
            sockaddr_in sa;
            std::memset(&sa, 0, sizeof(sa));
            sa.sin_family = AF_INET;
            sa.sin_port = htons(port);
            sa.sin_addr = address;
            if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
                const int e = errno;
                throw UException(-1, kFile, "USocketHelper::accept()", __LINE__, "EXCEPTION - %s, %s, %s",
                                 "::bind() failed", static_cast<const char*>(toString(e)),
                                 static_cast<const char*>(describeErrno(e)));
            }
            if (::listen(listener, 0) != 0) {
                const int e = errno;
                throw UException(-1, kFile, "USocketHelper::accept()", __LINE__, "EXCEPTION - %s, %s, %s",
                                 "listen() failed", static_cast<const char*>(toString(e)),
                                 static_cast<const char*>(describeErrno(e)));
            }
            do {
                accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            } while (accepted < 0 && errno == EINTR);
            if (accepted < 0) {
                const int e = errno;
                throw UException(-1, kFile, "USocketHelper::accept()", __LINE__, "EXCEPTION - %s, %s, %s",
                                 "accept() failed", static_cast<const char*>(toString(e)),
                                 static_cast<const char*>(describeErrno(e)));
            }
            code = 0;
        },
        -1, &recorded);

    if (listener != -1)
        ::close(listener);
    // The caller learns why: a copy of what was caught goes on.
    if (recorded.hasMessage())
        throw recorded;
    return code == 0 ? accepted : -1;
}
