#include "PrivateNetwork.h"

#include <dirent.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace tessal {
namespace test {

std::string inPrivateNetwork(const std::function<void()>& body)
{
    std::string skipReason;
    std::thread worker([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            skipReason = std::string("cannot make a network namespace (needs root): ") + std::strerror(errno);
            return;
        }
        body();
    });
    worker.join();
    return skipReason;
}

namespace {

// Inodes of the sockets listening on 127.0.0.1 or any address at port, from
// a /proc/net table of this namespace.
void listeningInodes(const char* table, unsigned short port, bool ipv6, std::vector<std::string>& inodes)
{
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const size_t colon = local.find(':');
        if (state != "0A" || colon == std::string::npos || std::stoul(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        const std::string address = local.substr(0, colon);
        const bool anyOrLoopback =
            ipv6 ? address.find_first_not_of('0') == std::string::npos || address == "0000000000000000FFFF00000100007F"
                 : address == "00000000" || address == "0100007F";
        if (anyOrLoopback)
            inodes.push_back(inode);
    }
}

} // namespace

std::string portHolder(unsigned short port)
{
    std::vector<std::string> inodes;
    listeningInodes("/proc/net/tcp", port, false, inodes);
    listeningInodes("/proc/net/tcp6", port, true, inodes);
    if (inodes.empty())
        return std::string();
    DIR* processes = ::opendir("/proc");
    std::string holder;
    while (dirent* process = processes != nullptr ? ::readdir(processes) : nullptr) {
        const std::string pid = process->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        while (dirent* fd = fds != nullptr ? ::readdir(fds) : nullptr) {
            char target[64] = {};
            if (::readlink((fdDir + '/' + fd->d_name).c_str(), target, sizeof target - 1) <= 0)
                continue;
            for (const std::string& inode : inodes)
                if (target == "socket:[" + inode + ']') {
                    std::string name;
                    std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
                    holder = "pid " + pid + " (" + name + ")";
                }
        }
        if (fds != nullptr)
            ::closedir(fds);
        if (!holder.empty())
            break;
    }
    if (processes != nullptr)
        ::closedir(processes);
    return holder.empty() ? "a process this user cannot see" : holder;
}

std::string setLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::string("socket: ") + std::strerror(errno);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    std::string failure;
    if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
        failure = std::string("SIOCGIFFLAGS lo: ") + std::strerror(errno);
    } else {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
        if (::ioctl(fd, SIOCSIFFLAGS, &request) != 0)
            failure = std::string("SIOCSIFFLAGS lo: ") + std::strerror(errno);
    }
    ::close(fd);
    return failure;
}

} // namespace test
} // namespace tessal
