#include "foundation/RouteTable.h"

#include "foundation/IUErrorLog.h"
#include "foundation/String.h"
#include "foundation/m_inet.h"

#include <cstring>
#include <string>

#include <net/if.h>
#include <netinet/in.h>

namespace {

const char kFile[] = "/RouteTable";
const char kConvertEntry[] = "CRouteTable::ConvertEntry";

uint32_t ipv4Bytes(const sockaddr_storage& address)
{
    return reinterpret_cast<const sockaddr_in&>(address).sin_addr.s_addr;
}

std::string padded(const char* format, const std::string& text)
{
    char line[256];
    std::snprintf(line, sizeof line, format, text.c_str());
    return line;
}

const char* protocolName(uint64_t protocol)
{
    switch (protocol) {
    case 1: return "RTPROT_REDIRECT";
    case 2: return "RTPROT_KERNEL";
    case 3: return "RTPROT_BOOT";
    case 4: return "RTPROT_STATIC";
    case 8: return "RTPROT_GATED";
    case 9: return "RTPROT_RA";
    case 10: return "RTPROT_MRT";
    case 11: return "RTPROT_ZEBRA";
    case 12: return "RTPROT_BIRD";
    case 13: return "RTPROT_DNROUTED";
    case 14: return "RTPROT_XORP";
    case 15: return "RTPROT_NTK";
    case 16: return "RTPROT_DHCP";
    default: return "RTPROT_UNSPEC";
    }
}

std::string flagLetters(uint32_t flags)
{
    static const struct {
        uint32_t bit;
        char letter;
    } letters[] = {
        {0x1, 'U'},   {0x2, 'G'},   {0x4, 'H'},      {0x200, 'R'},    {0x10, 'D'},     {0x20, 'M'},
        {0x800, 'X'}, {0x400, 'S'}, {1u << 31, 'l'}, {1u << 28, 'b'}, {1u << 29, 'm'},
    };
    std::string text;
    for (const auto& l : letters)
        if (flags & l.bit)
            text += l.letter;
    return text;
}

std::string addressText(const sockaddr_storage* address)
{
    return static_cast<const char*>(sock_ntop(reinterpret_cast<const sockaddr*>(address)));
}

} // namespace

void CRouteTable::ConvertEntry(const IpForwardRow2* from, IpForwardRow* to)
{
    if (!to) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Wrong arguments - 'to' is  NULL");
        return;
    }
    if (!from) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Wrong arguments - 'form' is NULL");
        return;
    }
    if (from->destination.ss_family != AF_INET) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Wrong arguments - destination address family in not AF_INET");
        return;
    }
    std::memset(to, 0, sizeof *to);
    to->dwForwardDest = ipv4Bytes(from->destination);
    if (from->gateway.ss_family == AF_INET)
        to->dwForwardNextHop = ipv4Bytes(from->gateway);
    to->dwForwardIfIndex = static_cast<uint32_t>(from->ifIndex);
    to->dwForwardAge = static_cast<uint32_t>(from->expires);
    to->dwForwardMetric1 = static_cast<uint32_t>(from->metric);
    to->dwForwardFlags = from->flags;
    to->dwForwardTable = from->table;
    if (from->prefSrc.ss_family == AF_INET)
        to->dwForwardPrefSrc = ipv4Bytes(from->prefSrc);

    sockaddr_storage mask{};
    mask.ss_family = AF_INET;
    if (plen2mask(from->prefixLength, reinterpret_cast<sockaddr*>(&mask)) == 0) {
        to->dwForwardMask = ipv4Bytes(mask);
        to->dwForwardProto = static_cast<uint32_t>(from->protocol);
    } else {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Failed to convert plen to sock_mask");
    }
}

void CRouteTable::ConvertEntry(const IpAddrRow2* from, IpAddrRow* to)
{
    if (!to) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Wrong arguments - 'to' is  NULL");
        return;
    }
    if (!from) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Wrong arguments - 'form' is NULL");
        return;
    }
    if (from->address.ss_family != AF_INET) {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Cannot convert IPV6 to IPv4");
        return;
    }
    std::memset(to, 0, sizeof *to);
    to->dwAddr = ipv4Bytes(from->address);
    sockaddr_storage mask{};
    mask.ss_family = AF_INET;
    if (plen2mask(from->prefixLength, reinterpret_cast<sockaddr*>(&mask)) == 0) {
        to->dwMask = ipv4Bytes(mask);
        to->dwIndex = from->ifIndex;
    } else {
        ULOG_AT(1, kFile, __LINE__, kConvertEntry, "Failed to convert bits to mask");
    }
}

CString FormatIpForwardRow2(const IpForwardRow2* row)
{
    char line[512];
    if (!row) {
        std::snprintf(line, sizeof line, "%-39s   %-31s   %-8s   %-12s   %-10s   %-20s   %-35s", "Destination",
                      "Gateway", "Flags", "Netif", "Expire", "Proto", "Preferred Source Address");
        return CString(line);
    }

    std::string text;
    text += padded("%-39s   ",
                   addressText(&row->destination) + "/" + std::to_string(static_cast<unsigned>(row->prefixLength)));
    if (row->gateway.ss_family == 0)
        text += padded("%-31s   ", "link#" + std::to_string(static_cast<unsigned long>(row->ifIndex)));
    else
        text += padded("%-31s   ", addressText(&row->gateway));
    text += padded("%-8s   ", flagLetters(row->flags));

    // An index without an interface (or 0) prints an empty name.
    char name[IF_NAMESIZE + 1] = "";
    if (row->ifIndex > 0 && row->ifIndex <= UINT32_MAX && !if_indextoname(static_cast<unsigned>(row->ifIndex), name))
        name[0] = '\0';
    text += padded("%-12s   ", std::string(name) + "(" + std::to_string(static_cast<unsigned>(row->ifIndex)) + ")");

    std::snprintf(line, sizeof line, "%-10lu   ", static_cast<unsigned long>(row->expires));
    text += line;
    text += padded("%-20s   ", protocolName(row->protocol));
    if (row->prefSrc.ss_family != 0)
        text += padded("%-35s", addressText(&row->prefSrc));
    return CString(text.c_str());
}
