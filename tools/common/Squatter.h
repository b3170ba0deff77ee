#pragma once
// Another local user on a port a companion was meant to hold: a process that
// binds it first (as uid 65534 when we run as root), answers every connection
// with a fixed reply and records what it was sent, as "squatter <bytes>".
// It dies with the process that started it.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace standin {

// Forks the squatter on 127.0.0.1:port, or on [::]:port IPv6-only (beside a
// listener on the IPv4 port, which it never clashes with); its pid once it
// listens, else -1.
inline pid_t startSquatter(unsigned short port, const std::string& reply, const std::string& recordPath,
                           bool ipv6Only = false)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) {
        ::close(ready[1]);
        char ok = 0;
        const bool listening = pid > 0 && ::read(ready[0], &ok, 1) == 1 && ok == '1';
        ::close(ready[0]);
        return listening ? pid : -1;
    }
    ::close(ready[0]);
    const int record = ::open(recordPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(1);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(0);
    const int listener = ::socket(ipv6Only ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(port);
    const bool bound = (!ipv6Only || ::setsockopt(listener, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one) == 0) &&
                       (ipv6Only ? ::bind(listener, reinterpret_cast<sockaddr*>(&any), sizeof any)
                                 : ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address)) == 0 &&
                       ::listen(listener, 8) == 0;
    const char state = bound ? '1' : '0';
    if (::write(ready[1], &state, 1) != 1 || !bound)
        ::_exit(0);
    ::close(ready[1]);
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::string got;
        char buffer[4096];
        pollfd p{client, POLLIN, 0};
        while (::poll(&p, 1, 300) > 0) {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, static_cast<size_t>(n));
            if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
                break;
        }
        ::close(client);
        if (got.empty() || record < 0)
            continue;
        std::string line = "squatter ";
        for (const char c : got)
            line += c == '\n' ? std::string("\\n") : c == '\r' ? std::string("\\r") : std::string(1, c);
        line += '\n';
        if (::write(record, line.data(), line.size()) < 0)
            continue;
    }
}

} // namespace standin
