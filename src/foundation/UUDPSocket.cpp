#include "foundation/UUDPSocket.h"

#include "foundation/IUErrorLog.h"
#include "foundation/SocketPoll.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

const char kFile[] = "/UUDPSocket";

int pollOne(int fd, short events, int timeoutMs, int& error)
{
    if (fd == -1) {
        error = EBADF;
        return -1;
    }
    short revents = 0;
    const int rc = pollRestarting(fd, events, timeoutMs, revents);
    if (rc < 0) {
        error = errno;
        return -1;
    }
    if (rc > 0 && (revents & POLLNVAL)) {
        error = EBADF;
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

uint16_t portOf(const sockaddr* sa)
{
    if (sa->sa_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(sa)->sin_port);
    if (sa->sa_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(sa)->sin6_port);
    return 0;
}

} // namespace

UUDPSocket::UUDPSocket()
    : m_localPort(0),
      m_peerPort(0),
      m_socket(-1),
      m_rebind(false),
      m_connected(false),
      m_peerEntry(nullptr),
      m_peerList(nullptr)
{}

UUDPSocket::~UUDPSocket()
{
    try {
        close();
    } catch (...) {
    }
}

int UUDPSocket::isAvailable(unsigned int milliseconds)
{
    int error = 0;
    const int rc = pollOne(m_socket, POLLIN, milliseconds > unsigned(INT_MAX) ? INT_MAX : int(milliseconds), error);
    if (rc < 0) {
        ULOG(2, kFile, "UUDPSocket::isAvailable()", makeArgFormat("%1, %2", "select() error", error));
        return -1;
    }
    return rc;
}

int UUDPSocket::isWriteable()
{
    int error = 0;
    const int rc = pollOne(m_socket, POLLOUT, 0, error);
    if (rc < 0) {
        ULOG(2, kFile, "UUDPSocket::isWriteable()", makeArgFormat("%1, %2", "select() error", error));
        return 0;
    }
    return rc;
}

void UUDPSocket::setPeerPort(uint16_t port)
{
    m_peerPort = port;
}

uint16_t UUDPSocket::getPeerPort()
{
    return m_peerPort;
}

void UUDPSocket::setPeerHost(const char* host)
{
    m_peerHost = host;
}

const char* UUDPSocket::getPeerHost()
{
    return m_peerHost;
}

void UUDPSocket::setLocalPort(uint16_t port)
{
    m_localPort = port;
    m_rebind = true;
}

uint16_t UUDPSocket::getLocalPort()
{
    return m_localPort;
}

void UUDPSocket::setLocalHost(const char* host)
{
    m_localHost = host;
    m_rebind = true;
}

const char* UUDPSocket::getLocalHost()
{
    return m_localHost;
}

void UUDPSocket::PeerInit(addrinfo*& list, addrinfo*& entry, const char* host, uint16_t port, int family)
{
    if (list != nullptr) {
        ULOG(1, kFile, "UUDPSocket::PeerInit", "NULL != a_addrinfo");
        ::freeaddrinfo(list);
    }
    list = nullptr;
    entry = nullptr;

    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    // No local host means every local address.
    if (host == nullptr || *host == '\0') {
        host = nullptr;
        hints.ai_flags = AI_PASSIVE;
    }
    char service[8];
    std::snprintf(service, sizeof(service), "%u", unsigned(port));
    errno = 0;
    const int rc = ::getaddrinfo(host, service, &hints, &list);
    const int savedErrno = errno;
    if (rc != 0) {
        list = nullptr;
        // The resolver's own code and text; errno says nothing about a failed look-up.
        const int code = rc == EAI_SYSTEM ? savedErrno : rc;
        const CString text = rc == EAI_SYSTEM ? describeErrno(savedErrno) : CString(::gai_strerror(rc));
        throw UException(-1, kFile, "UUDPSocket::PeerInit ", __LINE__, "EXCEPTION - %s, %s, %s, %s",
                         "Unable to resolve", host != nullptr ? host : "", static_cast<const char*>(toString(code)),
                         static_cast<const char*>(text));
    }
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET || ai->ai_family == AF_INET6) {
            entry = ai;
            break;
        }
    }
    if (entry == nullptr)
        ULOG(1, kFile, "UUDPSocket::PeerInit ", "a_peer is NULL");
}

void UUDPSocket::PeerInit()
{
    if (m_peerEntry != nullptr)
        return;
    if (m_peerPort == 0) {
        ULOG(1, kFile, "UUDPSocket::PeerInit", makeArgFormat("%1, %2, %3", "host, port)", m_peerHost, m_peerPort));
        throw UException(-1, kFile, "UUDPSocket::PeerInit", __LINE__, "EXCEPTION - %s", "port is unknown");
    }
    if (m_peerHost.IsEmpty())
        throw UException(-1, kFile, "UUDPSocket::PeerInit", __LINE__, "EXCEPTION - %s", "address is unknown");
    PeerInit(m_peerList, m_peerEntry, m_peerHost, m_peerPort, AF_UNSPEC);
}

void UUDPSocket::SocketInit(const addrinfo* entry)
{
    if (m_socket != -1)
        return;
    if (entry == nullptr)
        throw UException(-1, kFile, "UUDPSocket::SocketInit()", __LINE__, "EXCEPTION - %s", "invalid peer");
    const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
    if (fd < 0) {
        const int e = errno;
        throw UException(-1, kFile, "UUDPSocket::SocketInit()", __LINE__, "EXCEPTION - %s, %s", "socket failed",
                         static_cast<const char*>(toString(e)));
    }
    m_socket = fd;
}

int UUDPSocket::bind()
{
    if (!m_rebind)
        return 0;
    if (!m_peerHost.IsEmpty())
        PeerInit();

    addrinfo* local = nullptr;
    addrinfo* localEntry = nullptr;
    struct ListGuard {
        addrinfo*& list;
        ~ListGuard()
        {
            if (list != nullptr)
                ::freeaddrinfo(list);
        }
    } guard{local};
    PeerInit(local, localEntry, m_localHost, m_localPort, m_peerEntry != nullptr ? m_peerEntry->ai_family : AF_UNSPEC);
    if (localEntry == nullptr)
        throw UException(-1, kFile, "UUDPSocket::bind", __LINE__, "EXCEPTION - %s", "invalid local address");
    SocketInit(localEntry);
    const int rc = ::bind(m_socket, localEntry->ai_addr, localEntry->ai_addrlen);
    if (rc != 0) {
        const int e = errno;
        throw UException(-1, kFile, "UUDPSocket::bind", __LINE__, "EXCEPTION - %s, %s, %s", " bind failed(res, error",
                         static_cast<const char*>(toString(rc)), static_cast<const char*>(toString(e)));
    }
    m_rebind = false;
    return 0;
}

int UUDPSocket::bind(const char* host, uint16_t port)
{
    setLocalHost(host);
    setLocalPort(port);
    return bind();
}

int UUDPSocket::connect()
{
    PeerInit();
    if (m_peerEntry == nullptr)
        throw UException(-1, kFile, "UUDPSocket::SocketInit()", __LINE__, "EXCEPTION - %s", "invalid peer");
    SocketInit(m_peerEntry);
    const int rc = ::connect(m_socket, m_peerEntry->ai_addr, m_peerEntry->ai_addrlen);
    if (rc == 0)
        m_connected = true;
    return rc;
}

int UUDPSocket::send(const void* data, unsigned int length)
{
    PeerInit();
    return send(m_peerEntry, data, length);
}

int UUDPSocket::send(const addrinfo* entry, const void* data, unsigned int length)
{
    if (length == 0)
        return 0;
    if (m_rebind)
        bind();
    if (entry == nullptr)
        throw UException(-1, kFile, "UUDPSocket::SocketInit()", __LINE__, "EXCEPTION - %s", "invalid peer");
    SocketInit(entry);

    int result = -1;
    guardOperation(UCATCH_SITE(kFile, "UUDPSocket::send:EXCEPTION!!!", "send"), result, [&] {
        const char* p = static_cast<const char*>(data);
        unsigned int left = length;
        while (left > 0) {
            const ssize_t n = ::sendto(m_socket, p, left, MSG_NOSIGNAL, entry->ai_addr, entry->ai_addrlen);
            if (n < 0) {
                const int e = errno;
                if (e == EINTR)
                    continue;
                setLastError(e, describeErrno(e));
                throw UException(-1, kFile, "UUDPSocket::send", __LINE__, "EXCEPTION - %s, %s", "send() error",
                                 static_cast<const char*>(getLastErrorText()));
            }
            p += n;
            left -= unsigned(n);
        }
        result = int(length - left);
    });
    return result;
}

int UUDPSocket::receive(void* buffer, unsigned int length, int* error, sockaddr* source, socklen_t* sourceLength)
{
    int ignored = 0;
    if (error == nullptr)
        error = &ignored;
    *error = 0;
    if (m_rebind)
        bind();
    if (m_socket == -1) {
        PeerInit();
        SocketInit(m_peerEntry);
    }
    if (length > unsigned(INT_MAX))
        length = unsigned(INT_MAX);

    ssize_t n;
    do {
        n = ::recvfrom(m_socket, buffer, length, 0, source, sourceLength);
    } while (n < 0 && errno == EINTR);
    return receiveResult(n, error);
}

int UUDPSocket::receiveResult(ssize_t n, int* error)
{
    if (n == 0)
        return -2;
    if (n > 0)
        return int(n);
    const int e = errno;
    *error = e;
    if (e == EAGAIN || e == EWOULDBLOCK)
        return 0;
    setLastError(e, describeErrno(e));
    ERRORLOGLEVEL2("UUDPSocket::receive() - receive error = %d \n", e);
    return -1;
}

int UUDPSocket::receive(void* buffer, unsigned int length, int* error)
{
    int ignored = 0;
    if (error == nullptr)
        error = &ignored;
    if (m_connected) {
        *error = 0;
        if (m_socket == -1) {
            PeerInit();
            SocketInit(m_peerEntry);
        }
        if (length > unsigned(INT_MAX))
            length = unsigned(INT_MAX);
        ssize_t n;
        do {
            n = ::recv(m_socket, buffer, length, 0);
        } while (n < 0 && errno == EINTR);
        return receiveResult(n, error);
    }

    sockaddr_storage source;
    std::memset(&source, 0, sizeof(source));
    socklen_t sourceLength = sizeof(sockaddr_in6);
    const int n = receive(buffer, length, error, reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (m_peerEntry == nullptr)
        return n;
    const sockaddr* from = reinterpret_cast<const sockaddr*>(&source);
    // Only datagrams from the peer count.
    if (from->sa_family == m_peerEntry->ai_family && (m_peerPort == 0 || portOf(from) == m_peerPort))
        return n;
    *error = 0;
    return 0;
}

int UUDPSocket::receive(void* buffer, unsigned int length)
{
    int error = 0;
    return receive(buffer, length, &error);
}

CString UUDPSocket::receiveText(unsigned int length)
{
    if (length >= unsigned(INT_MAX))
        length = unsigned(INT_MAX) - 1;
    std::vector<char> buffer(size_t(length) + 1, '\0');
    const int n = receive(buffer.data(), length);
    buffer[n > 0 ? size_t(n) : 0] = '\0';
    return CString(buffer.data());
}

int UUDPSocket::writeString(const char* text)
{
    return send(text, text != nullptr ? unsigned(std::strlen(text)) : 0u);
}

int UUDPSocket::close()
{
    m_connected = false;
    int rc = 0;
    if (m_socket != -1) {
        rc = ::close(m_socket);
        if (rc != 0) {
            const int e = errno;
            ULOG(2, kFile, "UUDPSocket::close()",
                 makeArgFormat("%1, %2", "UUDPSocket::close() - closesocket error=", e));
        }
        m_socket = -1;
    }
    if (m_peerList != nullptr)
        ::freeaddrinfo(m_peerList);
    m_peerList = nullptr;
    m_peerEntry = nullptr;
    return rc;
}
