#pragma once

// Routes for the benchmarks that read the route table: made on the loopback
// of a network namespace the benchmark made for itself.

#include "foundation/CLinuxRouteTable.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

inline bool setLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    ::close(fd);
    return ok;
}

// Routes 10.x.y.0/24 numbered from first up to (not including) last.
inline bool addLoopbackRoutes(int first, int last)
{
    CLinuxRouteTable table;
    const int64_t lo = if_nametoindex("lo");
    for (int i = first; i < last; ++i) {
        IpForwardRow2 row{};
        row.destination.ss_family = AF_INET;
        reinterpret_cast<sockaddr_in&>(row.destination).sin_addr.s_addr =
            htonl(0x0a000000u | (static_cast<uint32_t>(i) << 8));
        row.prefixLength = 24;
        row.ifIndex = lo;
        row.protocol = 4;
        if (table.AddIpForwardEntry2(&row) != 0)
            return false;
    }
    return true;
}
