// Stand-in for the tunnelserver companion program, used by the tests; the
// protocol it serves is docs/tunnelserver-protocol.md.
//
// It prints "<address> <port>\n" on its standard output, accepts TCP
// connections on that address, answers each request from a per-test script,
// records what it received, and exits on "cmd=exit" or when its standard
// input closes (the client process has ended).
//
// Environment (read only by this test program):
//   TESSAL_TUNNELSERVER_SCRIPT  script file (optional; defaults answer everything)
//   TESSAL_TUNNELSERVER_RECORD  record file, appended to (optional)
//
// Script: one directive per line, "#" starts a comment line. A directive may
// be prefixed with "[N] " to apply only to the N-th instance started with the
// same record file (instances are counted through the record's "start" lines).
//   address <ip>              listen address (default 127.0.0.1)
//   port_offset <n>           listen on the reported port + n (default 0)
//   endpoint_line <text>      first output instead of "{addr} {port}\n";
//                             "none" prints nothing at all
//   exit_after_endpoint       leave right after the endpoint line
//   flood_output <bytes>      after the endpoint line write that many bytes to
//                             standard output and standard error
//   listen_delay_ms <n>       bind at once but accept only after n ms
//   no_listen                 never accept connections
//   request_quiet_ms <n>      a request ends after n ms without more bytes
//                             (default 0: whatever one read burst brings)
//   squatter <text>           another local user holds the reported port
//                             first (with port_offset 1 or more) and answers
//                             every request with <text> (Squatter.h)
//   ignore_exit               stay after "cmd=exit" and after standard input
//                             closes (recorded as "stdin closed")
//   reply <name> <text>       queue a reply for "cmd=<name>"; the last queued
//                             reply of a name repeats. Special texts:
//                             @silent (no answer), @close (drop the connection),
//                             @exit (end the process without answering)
// Reply texts take the escapes \n \r \t \\ and \p (flush, then pause 100 ms);
// a line after the reply's own, behind a \p, comes as a line no request asked for.
// Record lines: "start <pid>", "inherited <line>" (what it got from its
// starter, InheritedState.h), "connect", "cmd <escaped bytes>",
// "disconnect", "end <reason>".

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/InheritedState.h"
#include "../common/Squatter.h"

namespace {

struct Script {
    std::string address = "127.0.0.1";
    int portOffset = 0;
    bool customEndpoint = false;
    std::string endpointLine;
    bool exitAfterEndpoint = false;
    long floodBytes = 0;
    int listenDelayMs = 0;
    bool noListen = false;
    int requestQuietMs = 0;
    bool squatter = false;
    std::string squatterReply;
    bool ignoreExit = false;
    std::map<std::string, std::deque<std::string>> replies;
};

std::string recordPath;

std::string escapeBytes(const std::string& in)
{
    std::string out;
    for (unsigned char c : in) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string unescape(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        char n = in[++i];
        switch (n) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'p': out += '\x01'; break; // pause marker
        default: out += n; break;
        }
    }
    return out;
}

void record(const std::string& line)
{
    if (recordPath.empty())
        return;
    std::ofstream f(recordPath, std::ios::app);
    f << line << '\n';
}

int countInstances()
{
    if (recordPath.empty())
        return 0;
    std::ifstream f(recordPath);
    std::string line;
    int n = 0;
    while (std::getline(f, line))
        if (line.rfind("start ", 0) == 0)
            ++n;
    return n;
}

Script readScript(const char* path, int instance)
{
    Script s;
    if (!path || !*path)
        return s;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            if (close == std::string::npos)
                continue;
            if (std::atoi(line.substr(1, close - 1).c_str()) != instance)
                continue;
            line = line.substr(close + 1);
            while (!line.empty() && line[0] == ' ')
                line.erase(0, 1);
        }
        std::string key, rest;
        size_t sp = line.find(' ');
        key = line.substr(0, sp);
        rest = sp == std::string::npos ? std::string() : line.substr(sp + 1);
        if (key == "address")
            s.address = rest;
        else if (key == "port_offset")
            s.portOffset = std::atoi(rest.c_str());
        else if (key == "endpoint_line") {
            s.customEndpoint = true;
            s.endpointLine = rest == "none" ? std::string() : unescape(rest);
        } else if (key == "exit_after_endpoint")
            s.exitAfterEndpoint = true;
        else if (key == "flood_output")
            s.floodBytes = std::atol(rest.c_str());
        else if (key == "listen_delay_ms")
            s.listenDelayMs = std::atoi(rest.c_str());
        else if (key == "no_listen")
            s.noListen = true;
        else if (key == "squatter") {
            s.squatter = true;
            s.squatterReply = unescape(rest);
        } else if (key == "ignore_exit")
            s.ignoreExit = true;
        else if (key == "request_quiet_ms")
            s.requestQuietMs = std::atoi(rest.c_str());
        else if (key == "reply") {
            size_t sp2 = rest.find(' ');
            std::string name = rest.substr(0, sp2);
            std::string text = sp2 == std::string::npos ? std::string() : rest.substr(sp2 + 1);
            s.replies[name].push_back(text);
        }
    }
    return s;
}

std::string defaultReply(const std::string& name)
{
    if (name == "is_ready")
        return "result=1\\n";
    if (name == "statistics_ext")
        return "result=0\\r\\n\\r\\n";
    return "result=0\\n";
}

std::string nextReply(Script& s, const std::string& name)
{
    auto it = s.replies.find(name);
    if (it == s.replies.end() || it->second.empty())
        return defaultReply(name);
    std::string r = it->second.front();
    if (it->second.size() > 1)
        it->second.pop_front();
    return r;
}

bool writeAll(int fd, const char* data, size_t len)
{
    while (len > 0) {
        ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

void writeFd(int fd, const std::string& text)
{
    const char* p = text.data();
    size_t len = text.size();
    while (len > 0) {
        ssize_t n = ::write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
}

// Sends a reply text with its pause markers; false when the connection broke.
bool sendReply(int fd, const std::string& text)
{
    size_t start = 0;
    while (true) {
        size_t mark = text.find('\x01', start);
        std::string piece = text.substr(start, mark == std::string::npos ? std::string::npos : mark - start);
        if (!piece.empty() && !writeAll(fd, piece.data(), piece.size()))
            return false;
        if (mark == std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        start = mark + 1;
    }
}

std::string commandName(const std::string& request)
{
    if (request.rfind("cmd=", 0) != 0)
        return std::string();
    size_t amp = request.find('&');
    return request.substr(4, amp == std::string::npos ? std::string::npos : amp - 4);
}

[[noreturn]] void finish(const char* reason, int code)
{
    record(std::string("end ") + reason);
    std::_Exit(code);
}

struct Client {
    int fd;
    std::string pending;
};

} // namespace

int main()
{
    const std::vector<std::string> inherited = inheritedState();
    ::signal(SIGPIPE, SIG_IGN);
    if (const char* r = std::getenv("TESSAL_TUNNELSERVER_RECORD"))
        recordPath = r;
    const int instance = countInstances() + 1;
    record("start " + std::to_string(::getpid()));
    for (const std::string& line : inherited)
        record("inherited " + line);
    Script script = readScript(std::getenv("TESSAL_TUNNELSERVER_SCRIPT"), instance);

    // Listening socket on an ephemeral port; the reported port lies port_offset below it.
    bool v6 = script.address.find(':') != std::string::npos;
    int lfd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (lfd < 0)
        finish("socket", 2);
    int one = 1;
    ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    int listenPort = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        // Let the kernel pick a port first, then (with an offset) make sure the
        // reported port stays within 1..65535.
        sockaddr_storage ss{};
        socklen_t sl;
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
            a->sin6_family = AF_INET6;
            ::inet_pton(AF_INET6, script.address.c_str(), &a->sin6_addr);
            a->sin6_port = 0;
            sl = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&ss);
            a->sin_family = AF_INET;
            ::inet_pton(AF_INET, script.address.c_str(), &a->sin_addr);
            a->sin_port = 0;
            sl = sizeof *a;
        }
        if (::bind(lfd, reinterpret_cast<sockaddr*>(&ss), sl) != 0)
            finish("bind", 2);
        sockaddr_storage got{};
        socklen_t gl = sizeof got;
        ::getsockname(lfd, reinterpret_cast<sockaddr*>(&got), &gl);
        listenPort = v6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&got)->sin6_port)
                        : ntohs(reinterpret_cast<sockaddr_in*>(&got)->sin_port);
        // The squatter takes the reported port before anyone is told of it.
        if (listenPort - script.portOffset >= 1 &&
            (!script.squatter || standin::startSquatter(static_cast<unsigned short>(listenPort - script.portOffset),
                                                        script.squatterReply, recordPath) > 0))
            break;
        ::close(lfd);
        lfd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    }
    const int reportedPort = listenPort - script.portOffset;

    std::string line =
        script.customEndpoint ? script.endpointLine : script.address + " " + std::to_string(reportedPort) + "\n";
    // Placeholders so that a custom line can still carry the real port.
    for (const char* key : {"{port}", "{addr}"}) {
        size_t pos;
        while ((pos = line.find(key)) != std::string::npos)
            line.replace(pos, std::strlen(key),
                         std::string(key) == "{port}" ? std::to_string(reportedPort) : script.address);
    }
    writeFd(1, line);
    if (script.floodBytes > 0) {
        std::string junk(static_cast<size_t>(script.floodBytes), 'x');
        writeFd(1, junk);
        writeFd(2, junk);
    }
    if (script.exitAfterEndpoint)
        finish("after endpoint", 0);

    const auto started = std::chrono::steady_clock::now();
    bool listening = false;
    std::vector<Client> clients;
    bool inputOpen = true;

    while (true) {
        if (!listening && !script.noListen) {
            auto elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                    .count();
            if (elapsed >= script.listenDelayMs) {
                if (::listen(lfd, 16) != 0)
                    finish("listen", 2);
                listening = true;
            }
        }
        std::vector<pollfd> fds;
        fds.push_back({inputOpen ? 0 : -1, POLLIN, 0});
        if (listening)
            fds.push_back({lfd, POLLIN, 0});
        for (const auto& c : clients)
            fds.push_back({c.fd, POLLIN, 0});
        int timeout = (!listening && !script.noListen) ? 10 : 1000;
        int n = ::poll(fds.data(), fds.size(), timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            finish("poll", 2);
        }
        if (fds[0].fd >= 0 && fds[0].revents) {
            char buf[256];
            ssize_t r = ::read(0, buf, sizeof buf);
            if (r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN)) {
                if (!script.ignoreExit)
                    finish("stdin closed", 0);
                record("stdin closed");
                inputOpen = false;
            }
        }
        size_t idx = 1;
        if (listening) {
            if (fds[idx].revents & POLLIN) {
                int cfd = ::accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
                if (cfd >= 0) {
                    ::setsockopt(cfd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    clients.push_back({cfd, std::string()});
                    record("connect");
                }
            }
            ++idx;
        }
        std::vector<int> dropped;
        for (size_t i = 0; idx + i < fds.size(); ++i) {
            if (!fds[idx + i].revents)
                continue;
            Client& c = clients[i];
            char buf[65536];
            ssize_t r = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (r <= 0) {
                if (r < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                dropped.push_back(c.fd);
                continue;
            }
            c.pending.append(buf, static_cast<size_t>(r));
            // Gather the rest of this request: whatever is already queued, and
            // with request_quiet_ms whatever follows within that pause.
            while (true) {
                pollfd p{c.fd, POLLIN, 0};
                if (::poll(&p, 1, script.requestQuietMs) <= 0)
                    break;
                r = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
                if (r <= 0)
                    break;
                c.pending.append(buf, static_cast<size_t>(r));
            }
            std::string request;
            request.swap(c.pending);
            record("cmd " + escapeBytes(request));
            std::string name = commandName(request);
            std::string reply = nextReply(script, name);
            if (reply == "@silent")
                continue;
            if (reply == "@close") {
                dropped.push_back(c.fd);
                continue;
            }
            if (reply == "@exit")
                finish("scripted exit", 0);
            if (!sendReply(c.fd, unescape(reply))) {
                dropped.push_back(c.fd);
                continue;
            }
            if (name == "exit" && !script.ignoreExit)
                finish("exit command", 0);
        }
        for (int fd : dropped) {
            for (size_t i = 0; i < clients.size(); ++i)
                if (clients[i].fd == fd) {
                    ::close(fd);
                    clients.erase(clients.begin() + static_cast<long>(i));
                    record("disconnect");
                    break;
                }
        }
    }
}
