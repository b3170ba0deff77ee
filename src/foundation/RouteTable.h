#pragma once

// Routing and address tables, shaped after the common platform interface:
// tables are a count followed by rows, results are 0 for success.

#include <cstdint>
#include <sys/socket.h>

class CString;

// Every address field is a socket address whose family says which form it
// holds (AF_INET, AF_INET6, or 0 when the field is empty).
struct IpForwardRow2 {
    sockaddr_storage destination;
    sockaddr_storage gateway; // family 0: the route has no gateway
    int64_t ifIndex;
    uint8_t prefixLength;
    uint64_t metric;
    int64_t expires; // seconds; 0 when the kernel gives none
    uint32_t flags; // RTF_* letters, see FormatIpForwardRow2
    uint32_t table; // 254 is the main table
    sockaddr_storage prefSrc; // IPv4 routes only
    uint64_t protocol; // RTPROT_*
};

struct IpAddrRow2 {
    sockaddr_storage address;
    uint8_t prefixLength;
    uint32_t ifIndex;
    uint32_t scope;
    uint32_t flags; // interface flags, IFF_UP 0x1, IFF_RUNNING 0x40, ...
};

// IPv4 route row, mask form. Addresses and mask in network order.
struct IpForwardRow {
    uint32_t dwForwardDest;
    uint32_t dwForwardMask;
    uint32_t dwForwardPolicy;
    uint32_t dwForwardNextHop;
    uint32_t dwForwardIfIndex;
    uint32_t dwForwardType;
    uint32_t dwForwardProto;
    uint32_t dwForwardAge;
    uint32_t dwForwardNextHopAS;
    uint32_t dwForwardMetric1;
    uint32_t dwForwardMetric2;
    uint32_t dwForwardMetric3;
    uint32_t dwForwardMetric4;
    uint32_t dwForwardFlags;
    uint32_t dwForwardTable;
    uint32_t dwForwardPrefSrc;
};
static_assert(sizeof(IpForwardRow) == 64, "IPv4 route rows are 64 bytes");

// IPv4 address row. Address and mask in network order.
struct IpAddrRow {
    uint32_t dwAddr;
    uint32_t dwIndex;
    uint32_t dwMask;
    uint32_t dwBCastAddr;
    uint32_t dwReasmSize;
    uint32_t dwUnused;
};
static_assert(sizeof(IpAddrRow) == 24, "IPv4 address rows are 24 bytes");

// One heap block: the count, then the rows. Released with the matching Free call.
struct IpForwardTable2 {
    uint32_t NumEntries;
    IpForwardRow2 Table[1];
};

struct IpAddrTable2 {
    uint32_t NumEntries;
    IpAddrRow2 Table[1];
};

// Caller-provided buffers: the count directly followed by the rows.
struct IpForwardTable {
    uint32_t dwNumEntries;
    IpForwardRow table[1];
};

struct IpAddrTable {
    uint32_t dwNumEntries;
    IpAddrRow table[1];
};

// Not filled on this platform; only the names of the interface.
struct IP_ADAPTER_INFO;
struct IP_ADAPTER_ADDRESSES;
typedef IP_ADAPTER_INFO* PIP_ADAPTER_INFO;
typedef IP_ADAPTER_ADDRESSES* PIP_ADAPTER_ADDRESSES;
typedef unsigned long* PULONG;

class CRouteTable
{
public:
    virtual ~CRouteTable() = default;

    virtual int Init() = 0;
    virtual int AddIpForwardEntry(IpForwardRow* row) = 0;
    virtual int ReplaceIpForwardEntry(IpForwardRow* row) = 0;
    virtual int DeleteIpForwardEntry(IpForwardRow* row) = 0;
    virtual int GetIpForwardTable(IpForwardTable* table, unsigned long* size) = 0;
    virtual int GetIpAddrTable(IpAddrTable* table, unsigned long* size) = 0;
    virtual int GetAdaptersInfo(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen) = 0;
    virtual int GetAdaptersAddresses(unsigned long family, unsigned long flags, void* reserved,
                                     PIP_ADAPTER_ADDRESSES addresses, PULONG size) = 0;
    virtual int AddIpForwardEntry2(IpForwardRow2* row) = 0;
    virtual int ReplaceIpForwardEntry2(IpForwardRow2* row) = 0;
    virtual int DeleteIpForwardEntry2(IpForwardRow2* row) = 0;
    virtual int GetIpForwardTable2(uint16_t family, IpForwardTable2** table) = 0;
    virtual void FreeIpForwardTable2(IpForwardTable2* table) = 0;
    virtual int GetBestRoute2(IpForwardRow2* row) = 0;
    virtual int GetIpAddrTable2(uint16_t family, IpAddrTable2** table) = 0;
    virtual void FreeIpAddrTable2(IpAddrTable2* table) = 0;
    virtual int NotSupported1() = 0;
    virtual int NotSupported2() = 0;
    virtual int NotSupported3() = 0;
    virtual int NotSupported4() = 0;
    virtual int NotSupported5() = 0;
    virtual int GetIfaceAddr2(IpAddrRow2* row) = 0;
    virtual int UpdateIpForwardEntry(IpForwardRow2* row, int command) = 0;
    virtual int UpdateIpForwardEntry(IpForwardRow* row, int command) = 0;

    static void ConvertEntry(const IpForwardRow2* from, IpForwardRow* to);
    static void ConvertEntry(const IpAddrRow2* from, IpAddrRow* to);
};

// One text line for a route row; the column header line for null.
CString FormatIpForwardRow2(const IpForwardRow2* row);

// IPv4 helpers for the best-source-address lookup.
int GetRouteForAddr(uint32_t address, IpForwardRow* row);
uint32_t GetIfaceAddr(uint32_t index);
