// What a program started through the shell inherits while the client holds
// its tunnel-server connection.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <string>

#include "ChildState.h"
#include "TunnelServerStandIn.h"
#include "foundation/m_system.h"
#include "tunnel/TunnelServerClient.h"

namespace {

std::set<int> openDescriptors()
{
    std::set<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != ::dirfd(dir))
            fds.insert(std::stoi(entry->d_name));
    ::closedir(dir);
    return fds;
}

TEST(AppTunnelInheritance, ShellChildSeesOnlyItsStandardDescriptors)
{
    TunnelServerStandIn server("");
    const std::set<int> before = openDescriptors();
    TunnelServerClient client("h", 443, "abc", true);
    client.getConnection();
    // Nothing the client opened reaches any child.
    for (int fd : openDescriptors())
        EXPECT_TRUE(before.count(fd) != 0 || (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0) << "descriptor " << fd;

    // As in the running program, and a descriptor some library left inheritable.
    struct sigaction ignore {
    }, oldPipe{}, oldChild{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &oldPipe);
    ::sigaction(SIGCHLD, &ignore, &oldChild);
    const int stray = ::open("/dev/null", O_RDONLY);
    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    // The programs the shell starts list their own descriptors and signals.
    const pid_t child = runShellCommand(("ls -l /proc/self/fd > " + out + ".tmp; grep ^Sig /proc/self/status >> " +
                                         out + ".tmp; mv " + out + ".tmp " + out)
                                            .c_str());
    ::close(stray);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::sigaction(SIGCHLD, &oldChild, nullptr);
    ASSERT_GT(child, 0);

    for (int i = 0; i < 3000 && ::access(out.c_str(), F_OK) != 0; ++i)
        ::usleep(10000);
    std::ifstream file(out);
    std::string fds, blocked, ignored;
    for (std::string line; std::getline(file, line);) {
        // "... <fd> -> <target>", leaving out the listing's own folder.
        const size_t arrow = line.find(" -> ");
        if (arrow != std::string::npos && line.compare(arrow + 4, 6, "/proc/") != 0)
            fds += line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1) + " ";
        if (line.rfind("SigBlk:\t", 0) == 0)
            blocked = line.substr(8);
        if (line.rfind("SigIgn:\t", 0) == 0)
            ignored = line.substr(8);
    }
    EXPECT_EQ("0 1 2 ", fds);
    EXPECT_EQ("0000000000000000", blocked);
    ASSERT_FALSE(ignored.empty());
    EXPECT_EQ(0u, std::stoull(ignored, nullptr, 16) & (1u << (SIGPIPE - 1) | 1u << (SIGCHLD - 1)));
}

// The tunnel server gets its three pipes and nothing else of this process,
// with every signal at its default, also after SIGCHLD was ignored.
TEST(AppTunnelInheritance, TunnelServerGetsItsPipesOnlyAndDefaultSignals)
{
    TunnelServerStandIn server("");
    {
        tessal::test::StrayParentState stray(true);
        TunnelServerClient client("h", 443, "abc", true);
        client.getConnection();
        client.exit();
    }
    const tessal::test::ChildState state = tessal::test::parseChildState(server.lines());
    EXPECT_TRUE(state.clean()) << state.fds << " ignored " << std::hex << state.ignored;
}

} // namespace
