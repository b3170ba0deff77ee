// Stand-in for the svpn daemon, for tests only; the protocol it serves is
// docs/svpn-poll-protocol.md.
//
// It reads its start text from standard input, then, as the test's script
// says, exits at once, kills itself, or daemonises: the daemon writes its pid
// file, serves the poll protocol on 127.0.0.1:44444 and stops on SIGTERM.
//
// Files beside the executable:
//   svpn.script  what to do, one directive per line:
//     exit N          the first process exits with N without daemonising
//     crash           the first process kills itself with SIGKILL
//     detach-exit N   the first process exits with N once the daemon is up (default 0)
//     linger MS       the first process waits MS milliseconds more before that exit
//     pidfile-delay MS the daemon waits MS milliseconds before it writes its pid file
//     listen-delay MS  the daemon lets its first process go at once, then waits
//                     MS milliseconds before it writes its pid file and listens
//     listen off      the daemon does not listen
//     reply TEXT      the answer to the next poll (escapes \r \n \\); the
//                     last one repeats once all were used
//     end             after the last reply the daemon exits
//     stall           polls are accepted but never answered nor closed
//     squatter TEXT   another local user holds the port before the daemon
//                     listens, and answers every poll with TEXT (Squatter.h)
//   svpn.record  what it received, one line each, appended:
//     inherited <line>  what it got from its starter (InheritedState.h)
//     argv <argc> <argv0>
//     stdin <text, escaped>
//     request <request line>
//     term
//
// A daemon that sees no poll for two minutes exits by itself, so a failed
// test leaves nothing behind for long.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../common/InheritedState.h"
#include "../common/Squatter.h"
#include "tessal_config.h"

namespace {

const char* const kPidFile = TESSAL_SYSTEM_PATH("/usr/local/lib/TessalNetworks/SSLVPN/var/run/svpn.pid");
const unsigned short kPort = 44444;
const int kIdleExitMs = 120000;

struct Script {
    int exitStatus = -1; // exit at once with this status
    bool crash = false;
    int detachExit = 0;
    int lingerMs = 0;
    int pidFileDelayMs = 0;
    int listenDelayMs = 0;
    bool listen = true;
    bool endAfterReplies = false;
    bool stall = false;
    bool squatter = false;
    std::string squatterReply;
    std::vector<std::string> replies;
};

std::string g_dir;
volatile sig_atomic_t g_terminate = 0;

std::string ownDir()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    std::string text(path);
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : text.substr(0, slash);
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char c = text[++i];
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

void record(const std::string& line)
{
    const std::string path = g_dir + "/svpn.record";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

Script readScript()
{
    Script script;
    std::ifstream in(g_dir + "/svpn.script");
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "exit")
            script.exitStatus = std::atoi(rest.c_str());
        else if (word == "crash")
            script.crash = true;
        else if (word == "detach-exit")
            script.detachExit = std::atoi(rest.c_str());
        else if (word == "linger")
            script.lingerMs = std::atoi(rest.c_str());
        else if (word == "pidfile-delay")
            script.pidFileDelayMs = std::atoi(rest.c_str());
        else if (word == "listen-delay")
            script.listenDelayMs = std::atoi(rest.c_str());
        else if (word == "listen")
            script.listen = rest != "off";
        else if (word == "reply")
            script.replies.push_back(unescape(rest));
        else if (word == "end")
            script.endAfterReplies = true;
        else if (word == "stall")
            script.stall = true;
        else if (word == "squatter") {
            script.squatter = true;
            script.squatterReply = unescape(rest);
        }
    }
    return script;
}

void makeDirs(const std::string& file)
{
    for (size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1))
        mkdir(file.substr(0, at).c_str(), 0755);
}

void onTerm(int)
{
    g_terminate = 1;
}

// Reads the request head (up to the blank line), with a short time limit.
std::string readRequest(int fd)
{
    std::string text;
    char buffer[1024];
    while (text.find("\r\n\r\n") == std::string::npos && text.size() < 8192) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 2000) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

void writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Lets the first process go (once; -1: already told).
void tellReady(int& readyFd)
{
    if (readyFd < 0)
        return;
    const char ready = 'R';
    ssize_t ignored = ::write(readyFd, &ready, 1);
    (void)ignored;
    ::close(readyFd);
    readyFd = -1;
}

// Sleeps ms, or less when told to stop.
void pause(int ms)
{
    for (int left = ms; left > 0 && !g_terminate; left -= 50)
        usleep(static_cast<useconds_t>(left < 50 ? left : 50) * 1000);
}

int serve(const Script& script, int readyFd)
{
    int listener = -1;
    if (script.squatter && standin::startSquatter(kPort, script.squatterReply, g_dir + "/svpn.record") < 0)
        record("error squatter");
    if (script.listen) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0) {
            record(std::string("error listen ") + std::strerror(errno));
            ::close(listener);
            listener = -1;
        }
    }
    tellReady(readyFd);

    std::vector<int> stalled;
    size_t next = 0;
    int idleMs = 0;
    while (!g_terminate && idleMs < kIdleExitMs) {
        pollfd p{listener, POLLIN, 0};
        const int rc = poll(&p, listener >= 0 ? 1 : 0, 200);
        if (rc <= 0) {
            idleMs += 200;
            continue;
        }
        idleMs = 0;
        const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const std::string request = readRequest(client);
        record("request " + escape(request.substr(0, request.find("\r\n"))));
        if (script.stall) {
            stalled.push_back(client);
            continue;
        }
        std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
        if (!script.replies.empty())
            reply = script.replies[next < script.replies.size() ? next : script.replies.size() - 1];
        ++next;
        writeAll(client, reply);
        ::close(client);
        if (script.endAfterReplies && next >= script.replies.size())
            break;
    }
    if (g_terminate)
        record("term");
    for (const int fd : stalled)
        ::close(fd);
    if (listener >= 0)
        ::close(listener);
    unlink(kPidFile);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> inherited = inheritedState();
    g_dir = ownDir();
    for (const std::string& line : inherited)
        record("inherited " + line);
    record("argv " + std::to_string(argc) + " " + (argc > 0 ? argv[0] : ""));

    std::string input;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        input.append(buffer, static_cast<size_t>(n));
    }
    record("stdin " + escape(input));

    const Script script = readScript();
    if (script.exitStatus >= 0)
        return script.exitStatus;
    if (script.crash) {
        kill(getpid(), SIGKILL);
        return 1;
    }

    int ready[2];
    if (pipe(ready) != 0)
        return 1;
    const pid_t daemon = fork();
    if (daemon < 0)
        return 1;
    if (daemon == 0) {
        ::close(ready[0]);
        setsid();
        // Leave the caller's descriptors (a test runner waits on its pipes).
        const int null = ::open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != ready[1])
                ::close(fd);
        signal(SIGPIPE, SIG_IGN);
        signal(SIGCHLD, SIG_DFL);
        struct sigaction action {};
        action.sa_handler = onTerm;
        sigemptyset(&action.sa_mask);
        sigaction(SIGTERM, &action, nullptr);

        int readyFd = ready[1];
        if (script.listenDelayMs > 0) {
            tellReady(readyFd);
            pause(script.listenDelayMs);
        }
        if (script.pidFileDelayMs > 0)
            usleep(static_cast<useconds_t>(script.pidFileDelayMs) * 1000);
        if (g_terminate) {
            record("term");
            _exit(0);
        }
        makeDirs(kPidFile);
        if (FILE* file = std::fopen(kPidFile, "w")) {
            std::fprintf(file, "%d\n", static_cast<int>(getpid()));
            std::fclose(file);
        }
        _exit(serve(script, readyFd));
    }
    ::close(ready[1]);
    char byte = 0;
    pollfd p{ready[0], POLLIN, 0};
    if (poll(&p, 1, 5000) > 0) {
        ssize_t ignored = ::read(ready[0], &byte, 1);
        (void)ignored;
    }
    ::close(ready[0]);
    if (script.lingerMs > 0) {
        record("linger");
        usleep(static_cast<useconds_t>(script.lingerMs) * 1000);
    }
    return script.detachExit;
}
