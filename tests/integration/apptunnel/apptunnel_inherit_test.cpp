// What a program started through the shell inherits while the client holds
// its tunnel-server connection: descriptors 0-2 only, default SIGPIPE and
// SIGCHLD, no blocked signals.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "StandIn.h"
#include "foundation/m_system.h"
#include "tunnel/TunnelServerClient.h"

namespace {

std::set<int> openDescriptors()
{
    std::set<int> fds;
    DIR* dir = ::opendir("/proc/self/fd");
    const int own = dir != nullptr ? ::dirfd(dir) : -1;
    while (dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.' && std::stoi(entry->d_name) != own)
            fds.insert(std::stoi(entry->d_name));
    }
    if (dir != nullptr)
        ::closedir(dir);
    return fds;
}

// A "Sig...:" line of /proc/<pid>/status as a number.
unsigned long long signalSet(const std::string& status, const std::string& name)
{
    const size_t at = status.find(name + ":\t");
    return at == std::string::npos ? ~0ull : std::stoull(status.substr(at + name.size() + 2), nullptr, 16);
}

TEST(AppTunnelInheritance, ShellChildSeesOnlyItsStandardDescriptors)
{
    StandIn server("");
    const std::set<int> before = openDescriptors();
    TunnelServerClient client("h", 443, "abc", true);
    const int socket = client.getConnection()->native_handle();

    // Everything the client opened stays out of every child.
    for (int fd : openDescriptors()) {
        if (before.count(fd) == 0) {
            EXPECT_NE(0, ::fcntl(fd, F_GETFD) & FD_CLOEXEC) << "descriptor " << fd << " (socket " << socket << ")";
        }
    }

    // As in the running program: both ignored, and a stray descriptor that
    // some library left inheritable.
    struct sigaction ignore {}, oldPipe {}, oldChild {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &oldPipe);
    ::sigaction(SIGCHLD, &ignore, &oldChild);
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GT(stray, 2);

    QTemporaryDir dir;
    const std::string out = dir.filePath("out").toStdString();
    // What programs the shell starts get; each lists its own descriptors.
    const pid_t child = runShellCommand(("ls -l /proc/self/fd > '" + out + ".tmp'; grep ^Sig /proc/self/status >> '" +
                                         out + ".tmp'; mv '" + out + ".tmp' '" + out + "'")
                                            .c_str());
    ::close(stray);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::sigaction(SIGCHLD, &oldChild, nullptr);
    ASSERT_GT(child, 0);

    for (int i = 0; i < 3000 && ::access(out.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    const std::string result = text.str();
    ASSERT_FALSE(result.empty()) << "the child wrote nothing";
    std::istringstream lines(result);
    std::string fds;
    for (std::string line; std::getline(lines, line);) {
        // "... <fd> -> <target>", without the listing's own folder.
        const size_t arrow = line.find(" -> ");
        if (arrow == std::string::npos || line.compare(arrow + 4, 6, "/proc/") == 0)
            continue;
        fds += line.substr(line.rfind(' ', arrow - 1) + 1, arrow - line.rfind(' ', arrow - 1) - 1) + " ";
    }
    EXPECT_EQ("0 1 2 ", fds) << result;
    const unsigned long long pipeAndChild = (1ull << (SIGPIPE - 1)) | (1ull << (SIGCHLD - 1));
    EXPECT_EQ(0ull, signalSet(result, "SigIgn") & pipeAndChild) << result;
    EXPECT_EQ(0ull, signalSet(result, "SigBlk")) << result;
}

}  // namespace
