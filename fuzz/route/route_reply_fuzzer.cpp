// Feeds arbitrary kernel replies to the route table through a socketpair that
// stands in for the rtnetlink socket.
//
// Input: one mode byte, then datagrams, each a little-endian 16-bit length
// followed by its bytes (the rest of the input is the last datagram).
// Mode bits 0-2 choose the operation; bit 3 stamps our sequence number and
// port id into every message header found, so that the parsers behind the
// reply filter are reached.

#include "foundation/CLinuxRouteTable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr uint32_t kPort = 4242;
constexpr int kMaxDatagrams = 8; // below the default datagram queue length

// The process-wide counter of the table: every call below sends one request.
uint32_t g_nextSequence = 0;

void stamp(std::vector<uint8_t>& datagram)
{
    size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= datagram.size()) {
        nlmsghdr h;
        std::memcpy(&h, datagram.data() + offset, sizeof h);
        h.nlmsg_seq = g_nextSequence;
        h.nlmsg_pid = kPort;
        std::memcpy(datagram.data() + offset, &h, sizeof h);
        if (h.nlmsg_len < sizeof h || h.nlmsg_len > datagram.size() - offset)
            break;
        offset += NLMSG_ALIGN(h.nlmsg_len);
    }
}

void run(CLinuxRouteTable& table, int operation)
{
    switch (operation) {
    case 0:
    case 1: {
        IpForwardTable2* routes = nullptr;
        table.GetIpForwardTable2(operation == 0 ? AF_INET : 0, &routes);
        table.FreeIpForwardTable2(routes);
        break;
    }
    case 2: {
        IpAddrTable2* addresses = nullptr;
        table.GetIpAddrTable2(0, &addresses);
        table.FreeIpAddrTable2(addresses);
        break;
    }
    case 3: {
        IpForwardRow2 row{};
        row.destination.ss_family = AF_INET6;
        table.GetBestRoute2(&row);
        break;
    }
    case 4: {
        IpForwardRow2 row{};
        row.destination.ss_family = AF_INET;
        table.AddIpForwardEntry2(&row);
        break;
    }
    case 5: {
        IpAddrRow2 row{};
        row.address.ss_family = AF_INET;
        row.ifIndex = 1;
        table.GetIfaceAddr2(&row);
        break;
    }
    case 6: {
        std::vector<unsigned char> buffer(4 + 64 * 4);
        unsigned long size = buffer.size();
        table.GetIpForwardTable(reinterpret_cast<IpForwardTable*>(buffer.data()), &size);
        break;
    }
    default: {
        std::vector<unsigned char> buffer(4 + 24 * 4);
        unsigned long size = buffer.size();
        table.GetIpAddrTable(reinterpret_cast<IpAddrTable*>(buffer.data()), &size);
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 65536)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;

    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
        return 0;
    int count = 0;
    while (size > 0 && count < kMaxDatagrams) {
        size_t length = size;
        if (size >= 2 && count < kMaxDatagrams - 1) {
            const size_t wanted = data[0] | (data[1] << 8);
            data += 2;
            size -= 2;
            length = wanted < size ? wanted : size;
        }
        std::vector<uint8_t> datagram(data, data + length);
        if (mode & 8)
            stamp(datagram);
        if (!datagram.empty() && ::send(sv[1], datagram.data(), datagram.size(), MSG_DONTWAIT) < 0)
            break;
        data += length;
        size -= length;
        ++count;
    }

    {
        CLinuxRouteTable table(sv[0], kPort); // owns sv[0]
        table.setReceiveTimeout(0); // nothing more will come
        run(table, mode & 7);
    }

    nlmsghdr request;
    if (::recv(sv[1], &request, sizeof request, MSG_DONTWAIT) >= static_cast<ssize_t>(sizeof request))
        g_nextSequence = request.nlmsg_seq + 1;
    ::close(sv[1]);
    return 0;
}
