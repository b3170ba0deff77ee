#include "PrivateNetwork.h"

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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
