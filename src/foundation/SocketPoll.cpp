#include "foundation/SocketPoll.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

int pollRestarting(int fd, short events, int timeoutMs, short& revents)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
    for (;;) {
        pollfd p;
        p.fd = fd;
        p.events = events;
        p.revents = 0;
        const int rc = ::poll(&p, 1, timeoutMs);
        if (rc < 0 && errno == EINTR) {
            if (timeoutMs > 0) {
                const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
                timeoutMs = left > 0 ? int(left) : 0;
            }
            continue;
        }
        revents = p.revents;
        return rc;
    }
}
