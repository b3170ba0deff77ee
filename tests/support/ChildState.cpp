#include "ChildState.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <pthread.h>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tessal {
namespace test {

bool ChildState::clean() const
{
    const unsigned long long standard = (1ull << 31) - 1;
    return complete && fds == "0 1 2" && blocked == 0 && (ignored & standard) == 0;
}

ChildState parseChildState(const std::vector<std::string>& lines)
{
    ChildState state;
    std::set<int> fds;
    int signalLines = 0;
    // A stand-in's record: its "inherited " lines only.
    const std::string mark = "inherited ";
    const bool record =
        std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(mark, 0) == 0; });
    for (std::string line : lines) {
        if (record && line.rfind(mark, 0) != 0)
            continue;
        if (record)
            line.erase(0, mark.size());
        const size_t arrow = line.find(" -> ");
        if (arrow != std::string::npos) {
            if (line.compare(arrow + 4, 6, "/proc/") == 0)
                continue;
            const size_t start = line.rfind(' ', arrow - 1);
            fds.insert(std::stoi(line.substr(start == std::string::npos ? 0 : start + 1)));
        } else if (line.rfind("SigBlk:", 0) == 0 || line.rfind("SigIgn:", 0) == 0) {
            (line[3] == 'B' ? state.blocked : state.ignored) = std::stoull(line.substr(7), nullptr, 16);
            ++signalLines;
        }
    }
    for (int fd : fds)
        state.fds += (state.fds.empty() ? "" : " ") + std::to_string(fd);
    state.complete = signalLines == 2;
    return state;
}

ChildState readChildState(const std::string& file, int ms)
{
    for (int waited = 0; waited < ms && ::access(file.c_str(), F_OK) != 0; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return parseChildState(lines);
}

std::string childStateCommand(const std::string& file)
{
    return "{ ls -l /proc/self/fd; grep ^Sig /proc/self/status; } > '" + file + ".tmp'; mv '" + file + ".tmp' '" +
           file + "'";
}

StrayParentState::StrayParentState(bool ignoreChildSignal)
{
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, m_sockets);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &m_pipe);
    ::sigaction(SIGHUP, &ignore, &m_hup);
    ::sigaction(SIGCHLD, ignoreChildSignal ? &ignore : nullptr, &m_child);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &m_mask);
}

StrayParentState::~StrayParentState()
{
    ::pthread_sigmask(SIG_SETMASK, &m_mask, nullptr);
    ::sigaction(SIGCHLD, &m_child, nullptr);
    ::sigaction(SIGHUP, &m_hup, nullptr);
    ::sigaction(SIGPIPE, &m_pipe, nullptr);
    ::close(m_sockets[0]);
    ::close(m_sockets[1]);
}

} // namespace test
} // namespace tessal
