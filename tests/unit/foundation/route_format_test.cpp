// Text rows, row conversions and the records of the route table.

#include "RecordingLog.h"
#include "foundation/CLinuxRouteTable.h"
#include "foundation/String.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>

using tessal::test::RecordingLog;

namespace {

sockaddr_storage ipv4(const char* text)
{
    sockaddr_storage s{};
    s.ss_family = AF_INET;
    inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in&>(s).sin_addr);
    return s;
}

std::string text(const CString& s)
{
    return static_cast<const char*>(s);
}

// The column at `index` of a row line: columns are padded and joined by three blanks.
std::string column(const std::string& line, size_t start, size_t width)
{
    std::string c = line.substr(start, width);
    c.erase(c.find_last_not_of(' ') + 1);
    return c;
}

TEST(RouteFormatTest, HeaderLine)
{
    const std::string header = text(FormatIpForwardRow2(nullptr));
    EXPECT_EQ(0u, header.find("Destination"));
    EXPECT_EQ("Gateway", column(header, 42, 31));
    EXPECT_EQ("Flags", column(header, 76, 8));
    EXPECT_NE(std::string::npos, header.find("Preferred Source Address"));
}

TEST(RouteFormatTest, DefaultRouteWithGateway)
{
    IpForwardRow2 row{};
    row.destination = ipv4("0.0.0.0");
    row.gateway = ipv4("192.0.2.1");
    row.flags = 3;
    row.protocol = 6;
    row.expires = 42;
    row.prefSrc = ipv4("192.0.2.2");
    const std::string line = text(FormatIpForwardRow2(&row));
    EXPECT_EQ("0.0.0.0/0", column(line, 0, 39));
    EXPECT_EQ("192.0.2.1", column(line, 42, 31));
    EXPECT_EQ("UG", column(line, 76, 8));
    EXPECT_EQ("(0)", column(line, 87, 12));
    EXPECT_EQ("42", column(line, 102, 10));
    EXPECT_EQ("RTPROT_UNSPEC", column(line, 115, 20));
    EXPECT_EQ("192.0.2.2", column(line, 138, 35));
}

TEST(RouteFormatTest, RouteWithoutGatewayNamesTheLink)
{
    IpForwardRow2 row{};
    row.destination = ipv4("10.1.0.0");
    row.prefixLength = 16;
    row.ifIndex = if_nametoindex("lo");
    row.flags = 0x1 | 0x4 | 0x200 | 0x10 | 0x20 | 0x800 | 0x400 | (1u << 31) | (1u << 28) | (1u << 29);
    row.protocol = 2;
    const std::string line = text(FormatIpForwardRow2(&row));
    const std::string index = std::to_string(row.ifIndex);
    EXPECT_EQ("10.1.0.0/16", column(line, 0, 39));
    EXPECT_EQ("link#" + index, column(line, 42, 31));
    EXPECT_EQ("UHRDMXSlbm", line.substr(76, 10));
    EXPECT_NE(std::string::npos, line.find("lo(" + index + ")"));
    EXPECT_NE(std::string::npos, line.find("RTPROT_KERNEL"));
}

TEST(RouteFormatTest, MissingInterfacePrintsAnEmptyName)
{
    IpForwardRow2 row{};
    row.destination = ipv4("10.1.0.0");
    row.ifIndex = 0x7ffffff3;
    const std::string line = text(FormatIpForwardRow2(&row));
    EXPECT_NE(std::string::npos, line.find("   (" + std::to_string(row.ifIndex) + ")"));
}

TEST(RouteFormatTest, ConvertRouteRow)
{
    IpForwardRow2 from{};
    from.destination = ipv4("10.2.0.0");
    from.prefixLength = 15;
    from.gateway = ipv4("10.0.0.1");
    from.ifIndex = 4;
    from.metric = 20;
    from.expires = 9;
    from.flags = 3;
    from.table = 254;
    from.prefSrc = ipv4("10.0.0.2");
    from.protocol = 4;
    IpForwardRow to;
    CRouteTable::ConvertEntry(&from, &to);
    EXPECT_EQ(htonl(0x0a020000), to.dwForwardDest);
    EXPECT_EQ(htonl(0xfffe0000), to.dwForwardMask);
    EXPECT_EQ(htonl(0x0a000001), to.dwForwardNextHop);
    EXPECT_EQ(4u, to.dwForwardIfIndex);
    EXPECT_EQ(20u, to.dwForwardMetric1);
    EXPECT_EQ(9u, to.dwForwardAge);
    EXPECT_EQ(4u, to.dwForwardProto);
    EXPECT_EQ(254u, to.dwForwardTable);
    EXPECT_EQ(htonl(0x0a000002), to.dwForwardPrefSrc);
    EXPECT_EQ(0u, to.dwForwardPolicy);
}

TEST(RouteFormatTest, ConvertRefusalsAreRecorded)
{
    RecordingLog log;
    IpForwardRow2 v6{};
    v6.destination.ss_family = AF_INET6;
    IpForwardRow to{};
    to.dwForwardDest = 77;
    CRouteTable::ConvertEntry(&v6, &to);
    EXPECT_EQ(77u, to.dwForwardDest);
    EXPECT_TRUE(log.contains("CRouteTable::ConvertEntry, Wrong arguments - destination address family in not AF_INET"));
    CRouteTable::ConvertEntry(&v6, static_cast<IpForwardRow*>(nullptr));
    EXPECT_TRUE(log.contains("Wrong arguments - 'to' is  NULL"));
    CRouteTable::ConvertEntry(static_cast<const IpForwardRow2*>(nullptr), &to);
    EXPECT_TRUE(log.contains("Wrong arguments - 'form' is NULL"));

    IpAddrRow2 address{};
    address.address.ss_family = AF_INET6;
    IpAddrRow addressTo{};
    CRouteTable::ConvertEntry(&address, &addressTo);
    EXPECT_TRUE(log.contains("Cannot convert IPV6 to IPv4"));
}

TEST(RouteFormatTest, UnknownInterfaceFlagsAreRecorded)
{
    RecordingLog log;
    EXPECT_EQ(0, CLinuxRouteTable::GetIfaceFlags(0x7ffffff4));
    EXPECT_TRUE(log.contains("CLinuxRouteTable::GetIfaceFlags(), if_indextoname(2147483636) failed: "));
    EXPECT_NE(0, CLinuxRouteTable::GetIfaceFlags(if_nametoindex("lo")) & IFF_LOOPBACK);
}

TEST(RouteFormatTest, WrongArgumentsAreRecordedAndReported)
{
    RecordingLog log;
    CLinuxRouteTable table;
    IpForwardTable2* notNull = reinterpret_cast<IpForwardTable2*>(&log);
    EXPECT_EQ(-1, table.GetIpForwardTable2(AF_INET, &notNull));
    EXPECT_TRUE(log.contains("CLinuxRouteTable::GetIpForwardTable2, EXCEPTION - Wrong arguments"));
    EXPECT_TRUE(log.contains("EXCEPTION caught: CLinuxRouteTable::GetIpForwardTable2"));
    EXPECT_EQ(reinterpret_cast<IpForwardTable2*>(&log), notNull);

    EXPECT_EQ(-1, table.GetIpForwardTable(nullptr, nullptr));
    EXPECT_EQ(50, table.GetAdaptersInfo(nullptr, nullptr));
    unsigned long size = 99;
    EXPECT_EQ(50, table.GetAdaptersAddresses(0, 0, nullptr, nullptr, &size));
    EXPECT_EQ(0u, size);
    EXPECT_TRUE(log.contains("CLinuxRouteTable::GetAdaptersAddresses(), Unsupported"));
    EXPECT_EQ(1, table.Init());
    EXPECT_TRUE(log.contains("CLinuxRouteTable::Init() - enter"));
    EXPECT_EQ(1, table.NotSupported3());
}

TEST(RouteFormatTest, LookupAndUpdateTracesAtVerboseLevel)
{
    RecordingLog log(63);
    CLinuxRouteTable table;
    IpForwardRow2 row{};
    row.destination.ss_family = AF_UNIX; // refused before anything is sent
    EXPECT_EQ(-1, table.UpdateIpForwardEntry(&row, 2));
    EXPECT_TRUE(log.contains("48, /CLinuxRouteTable, "));
    EXPECT_TRUE(log.contains("CLinuxRouteTable::SendRequest, EXCEPTION - Unexpected address family on DESTINATION, 1"));

    IpAddrRow2 iface{};
    iface.address.ss_family = AF_INET;
    iface.ifIndex = 0x7ffffff5;
    EXPECT_EQ(-1, table.GetIfaceAddr2(&iface));
    EXPECT_TRUE(log.contains("CLinuxRouteTable::GetIfaceAddr2, IFace, 2147483637"));
}

} // namespace
