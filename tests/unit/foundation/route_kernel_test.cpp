// The route table against the real kernel: read-only dumps of this machine's
// tables, and changes inside a private network namespace of one thread.

#include "PrivateNetwork.h"
#include "foundation/CLinuxRouteTable.h"
#include "foundation/String.h"
#include "foundation/UException.h"
#include "foundation/USocket.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <net/if.h>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using tessal::test::inPrivateNetwork;
using tessal::test::setLoopbackUp;

namespace {

std::string addressText(const sockaddr_storage& s)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (s.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(s).sin_addr, text, sizeof text);
    else if (s.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(s).sin6_addr, text, sizeof text);
    return text;
}

// A destination as `ip route` prints it.
std::string routeKey(const IpForwardRow2& row)
{
    if (row.prefixLength == 0)
        return "default";
    const int full = row.destination.ss_family == AF_INET ? 32 : 128;
    std::string key = addressText(row.destination);
    if (row.prefixLength != full)
        key += "/" + std::to_string(row.prefixLength);
    return key;
}

bool haveIpTool()
{
    return ::access("/usr/sbin/ip", X_OK) == 0 || ::access("/sbin/ip", X_OK) == 0 || ::access("/usr/bin/ip", X_OK) == 0;
}

// Unicast destinations of `ip -4 route show table all`, in its order (which is
// the kernel's dump order). Other route types print their type first.
std::vector<std::string> ipUnicastRoutes(const char* family)
{
    std::vector<std::string> keys;
    const std::string command = std::string("ip ") + family + " route show table all 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return keys;
    char line[1024];
    static const char* const kTypes[] = {"local",     "broadcast", "multicast", "anycast",  "unreachable", "prohibit",
                                         "blackhole", "throw",     "nat",       "xresolve", "unicast"};
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        bool typed = false;
        for (const char* t : kTypes)
            typed = typed || first == t;
        if (!typed && !first.empty())
            keys.push_back(first);
    }
    ::pclose(pipe);
    return keys;
}

std::vector<std::string> tableKeys(CLinuxRouteTable& table, uint16_t family)
{
    std::vector<std::string> keys;
    IpForwardTable2* routes = nullptr;
    EXPECT_EQ(0, table.GetIpForwardTable2(family, &routes));
    if (!routes)
        return keys;
    for (uint32_t i = 0; i < routes->NumEntries; ++i)
        keys.push_back(routeKey(routes->Table[i]));
    table.FreeIpForwardTable2(routes);
    return keys;
}

TEST(RouteKernelTest, DumpsOfThisMachineMatchTheIpTool)
{
    if (!haveIpTool())
        GTEST_SKIP() << "the ip tool is not installed";
    CLinuxRouteTable table;
    EXPECT_EQ(1, table.Init());
    EXPECT_EQ(ipUnicastRoutes("-4"), tableKeys(table, AF_INET));

    IpAddrTable2* addresses = nullptr;
    ASSERT_EQ(0, table.GetIpAddrTable2(AF_INET, &addresses));
    ASSERT_NE(nullptr, addresses);
    for (uint32_t i = 0; i < addresses->NumEntries; ++i) {
        const IpAddrRow2& row = addresses->Table[i];
        EXPECT_EQ(AF_INET, row.address.ss_family);
        EXPECT_TRUE(row.flags & (IFF_UP | IFF_RUNNING));
        EXPECT_NE(0u, row.ifIndex);
    }
    table.FreeIpAddrTable2(addresses);

    // The second family needs the pointer back at null.
    addresses = nullptr;
    ASSERT_EQ(0, table.GetIpAddrTable2(AF_INET6, &addresses));
    table.FreeIpAddrTable2(addresses);
}

IpForwardRow2 routeVia(const char* destination, uint8_t prefixLength, int64_t ifIndex)
{
    IpForwardRow2 row{};
    row.destination.ss_family = AF_INET;
    inet_pton(AF_INET, destination, &reinterpret_cast<sockaddr_in&>(row.destination).sin_addr);
    row.prefixLength = prefixLength;
    row.ifIndex = ifIndex;
    row.metric = 5;
    row.protocol = 4; // static
    return row;
}

TEST(RouteKernelTest, ChangesInsideAPrivateNamespace)
{
    const std::string skip = inPrivateNetwork([] {
        const int64_t lo = if_nametoindex("lo");
        ASSERT_NE(0, lo);
        CLinuxRouteTable table;

        // A down interface: its addresses are left out.
        IpAddrTable2* addresses = nullptr;
        ASSERT_EQ(0, table.GetIpAddrTable2(AF_INET, &addresses));
        EXPECT_EQ(0u, addresses->NumEntries);
        table.FreeIpAddrTable2(addresses);

        ASSERT_EQ("", setLoopbackUp());
        addresses = nullptr;
        ASSERT_EQ(0, table.GetIpAddrTable2(AF_INET, &addresses));
        ASSERT_EQ(1u, addresses->NumEntries);
        EXPECT_EQ("127.0.0.1", addressText(addresses->Table[0].address));
        EXPECT_EQ(8, addresses->Table[0].prefixLength);
        table.FreeIpAddrTable2(addresses);

        // Only local and broadcast routes so far: no rows.
        EXPECT_TRUE(tableKeys(table, AF_INET).empty());

        IpForwardRow2 first = routeVia("10.20.0.0", 16, lo);
        IpForwardRow2 second = routeVia("10.30.1.0", 24, lo);
        ASSERT_EQ(0, table.AddIpForwardEntry2(&first));
        EXPECT_EQ(254u, first.table);
        ASSERT_EQ(0, table.AddIpForwardEntry2(&second));
        IpForwardRow2 again = routeVia("10.20.0.0", 16, lo);
        EXPECT_EQ(-4, table.AddIpForwardEntry2(&again));

        const std::vector<std::string> keys = tableKeys(table, AF_INET);
        EXPECT_EQ((std::vector<std::string>{"10.20.0.0/16", "10.30.1.0/24"}), keys);
        if (haveIpTool()) {
            EXPECT_EQ(ipUnicastRoutes("-4"), keys);
        }

        IpForwardTable2* routes = nullptr;
        ASSERT_EQ(0, table.GetIpForwardTable2(AF_INET, &routes));
        ASSERT_EQ(2u, routes->NumEntries);
        EXPECT_EQ(lo, routes->Table[0].ifIndex);
        EXPECT_EQ(5u, routes->Table[0].metric);
        EXPECT_EQ(254u, routes->Table[0].table);
        EXPECT_EQ(4u, routes->Table[0].protocol);
        EXPECT_EQ(0, routes->Table[0].gateway.ss_family);
        const std::string line = static_cast<const char*>(FormatIpForwardRow2(&routes->Table[0]));
        EXPECT_NE(std::string::npos, line.find("lo(" + std::to_string(lo) + ")")) << line;
        EXPECT_NE(std::string::npos, line.find("RTPROT_STATIC")) << line;
        table.FreeIpForwardTable2(routes);

        // The kernel's choice for a destination, and the source address behind it.
        IpForwardRow2 lookup{};
        lookup.destination.ss_family = AF_INET;
        inet_pton(AF_INET, "10.30.1.9", &reinterpret_cast<sockaddr_in&>(lookup.destination).sin_addr);
        ASSERT_EQ(0, table.GetBestRoute2(&lookup));
        EXPECT_EQ(lo, lookup.ifIndex);

        IpAddrRow2 iface{};
        iface.address.ss_family = AF_INET;
        iface.ifIndex = static_cast<uint32_t>(lo);
        ASSERT_EQ(0, table.GetIfaceAddr2(&iface));
        EXPECT_EQ("127.0.0.1", addressText(iface.address));
        EXPECT_EQ(htonl(0x7f000001), GetIfaceAddr(static_cast<uint32_t>(lo)));

        IpForwardRow v4{};
        ASSERT_EQ(0, GetRouteForAddr(htonl(0x0a1e0109), &v4));
        EXPECT_EQ(static_cast<uint32_t>(lo), v4.dwForwardIfIndex);
        EXPECT_EQ(htonl(0x7f000001), v4.dwForwardNextHop); // no gateway: the interface's address
        EXPECT_EQ(-1, GetRouteForAddr(htonl(0xc0000201), &v4)); // no route at all

        // The best source address for a host, dotted IPv4 text only.
        EXPECT_EQ("127.0.0.1", std::string(USocketHelper::getBestSourceIPForHost("10.30.1.9")));
        EXPECT_THROW(USocketHelper::getBestSourceIPForHost("192.0.2.1"), UException);
        EXPECT_THROW(USocketHelper::getBestSourceIPForHost("host.example"), UException);
        EXPECT_THROW(USocketHelper::getBestSourceIPForHost(nullptr), UException);

        // Replace keeps one route (a metric is part of its key, so replacing
        // one that is not there fails); delete removes it; a second delete
        // finds nothing.
        IpForwardRow2 replacement = routeVia("10.30.1.0", 24, lo);
        EXPECT_EQ(0, table.ReplaceIpForwardEntry2(&replacement));
        EXPECT_EQ(2u, tableKeys(table, AF_INET).size());
        IpForwardRow2 missing = routeVia("10.30.1.0", 24, lo);
        missing.metric = 9;
        EXPECT_EQ(-1, table.ReplaceIpForwardEntry2(&missing));
        IpForwardRow2 gone = routeVia("10.30.1.0", 24, lo);
        EXPECT_EQ(0, table.DeleteIpForwardEntry2(&gone));
        EXPECT_EQ(-3, table.DeleteIpForwardEntry2(&gone));
        EXPECT_EQ((std::vector<std::string>{"10.20.0.0/16"}), tableKeys(table, AF_INET));

        // IPv6: the loopback address, a route of prefix length 64 and a lookup.
        IpAddrTable2* v6Addresses = nullptr;
        ASSERT_EQ(0, table.GetIpAddrTable2(AF_INET6, &v6Addresses));
        const bool haveIpv6 = v6Addresses->NumEntries > 0;
        if (haveIpv6) {
            EXPECT_EQ("::1", addressText(v6Addresses->Table[0].address));
            EXPECT_EQ(128, v6Addresses->Table[0].prefixLength);
        }
        table.FreeIpAddrTable2(v6Addresses);
        if (haveIpv6) {
            IpForwardRow2 v6Route{};
            v6Route.destination.ss_family = AF_INET6;
            inet_pton(AF_INET6, "2001:db8:1:2::", &reinterpret_cast<sockaddr_in6&>(v6Route.destination).sin6_addr);
            v6Route.prefixLength = 64;
            v6Route.ifIndex = lo;
            v6Route.metric = 7;
            ASSERT_EQ(0, table.AddIpForwardEntry2(&v6Route));
            IpForwardTable2* v6Routes = nullptr;
            ASSERT_EQ(0, table.GetIpForwardTable2(AF_INET6, &v6Routes));
            bool found = false;
            for (uint32_t i = 0; i < v6Routes->NumEntries; ++i) {
                const IpForwardRow2& r = v6Routes->Table[i];
                if (r.prefixLength == 64 && addressText(r.destination) == "2001:db8:1:2::") {
                    found = true;
                    EXPECT_EQ(7u, r.metric);
                    EXPECT_EQ(lo, r.ifIndex);
                }
            }
            EXPECT_TRUE(found);
            table.FreeIpForwardTable2(v6Routes);

            IpForwardRow2 v6Lookup{};
            v6Lookup.destination.ss_family = AF_INET6;
            inet_pton(AF_INET6, "2001:db8:1:2::99", &reinterpret_cast<sockaddr_in6&>(v6Lookup.destination).sin6_addr);
            ASSERT_EQ(0, table.GetBestRoute2(&v6Lookup));
            EXPECT_EQ(lo, v6Lookup.ifIndex);
            EXPECT_EQ(0, table.DeleteIpForwardEntry2(&v6Route));
        }

        // The IPv4 row forms.
        IpForwardRow oldStyle{};
        oldStyle.dwForwardDest = htonl(0x0a280000);
        oldStyle.dwForwardMask = htonl(0xffff0000);
        oldStyle.dwForwardIfIndex = static_cast<uint32_t>(lo);
        oldStyle.dwForwardMetric1 = 3;
        oldStyle.dwForwardProto = 4;
        EXPECT_EQ(0, table.AddIpForwardEntry(&oldStyle));
        unsigned long size = 0;
        EXPECT_EQ(1, table.GetIpForwardTable(nullptr, &size));
        EXPECT_EQ(4u + 2 * 64, size);
        std::vector<unsigned char> buffer(size);
        const auto* v4Table = reinterpret_cast<IpForwardTable*>(buffer.data());
        ASSERT_EQ(0, table.GetIpForwardTable(reinterpret_cast<IpForwardTable*>(buffer.data()), &size));
        ASSERT_EQ(2u, v4Table->dwNumEntries);
        EXPECT_EQ(htonl(0x0a280000), v4Table->table[1].dwForwardDest);
        EXPECT_EQ(htonl(0xffff0000), v4Table->table[1].dwForwardMask);
        EXPECT_EQ(3u, v4Table->table[1].dwForwardMetric1);
        EXPECT_EQ(0, table.DeleteIpForwardEntry(&oldStyle));
        EXPECT_EQ(-1, table.DeleteIpForwardEntry(&oldStyle)); // the IPv4 form reports -1 for every failure
    });
    if (!skip.empty())
        GTEST_SKIP() << skip;
}

} // namespace
