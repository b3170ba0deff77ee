#pragma once
// What a child process inherited, as it wrote it down: "ls -l /proc/self/fd"
// lines or "<fd> -> <target>" lines (targets under /proc/ are the listing's
// own and left out), and the "SigBlk:" and "SigIgn:" lines of its status;
// or a stand-in's record, where these lines begin with "inherited ".

#include <csignal>
#include <string>
#include <vector>

namespace tessal {
namespace test {

struct ChildState {
    std::string fds; // "0 1 2" when it got its standard descriptors only
    unsigned long long blocked = 0; // signal masks, bit n-1 for signal n
    unsigned long long ignored = 0;
    bool complete = false; // both signal lines were there
    // Its standard descriptors only, nothing blocked, no standard signal
    // ignored (the C library sets its own real-time ones at start).
    bool clean() const;
};

ChildState parseChildState(const std::vector<std::string>& lines);
// Waits up to ms for the file to appear, then parses it.
ChildState readChildState(const std::string& file, int ms = 10000);
// Shell text that writes the state of the shell running it to file.
std::string childStateCommand(const std::string& file);

// While it lives, the process holds what the toolkit, the web engine or a
// library may leave for children: an inheritable socket, SIGPIPE and SIGHUP
// ignored (SIGCHLD too when asked), SIGUSR2 blocked.
class StrayParentState
{
public:
    explicit StrayParentState(bool ignoreChildSignal = false);
    ~StrayParentState();
    StrayParentState(const StrayParentState&) = delete;
    StrayParentState& operator=(const StrayParentState&) = delete;

private:
    int m_sockets[2] = {-1, -1};
    struct sigaction m_pipe {
    }, m_hup{}, m_child{};
    sigset_t m_mask{};
};

} // namespace test
} // namespace tessal
