#pragma once

// The kernel's routing and address tables over rtnetlink (NETLINK_ROUTE).

#include "foundation/RouteTable.h"

#include <cstdint>
#include <linux/netlink.h>

class AutoMemory;

class CLinuxRouteTable : public CRouteTable
{
public:
    // Request commands of SendRequest.
    enum Command {
        CmdLookup = 0,
        CmdDumpRoutes = 1,
        CmdAddRoute = 2,
        CmdReplaceRoute = 3,
        CmdDeleteRoute = 4,
        CmdDumpAddresses = 5,
        CmdIfaceAddresses = 6,
    };

    // Size of one request message.
    static constexpr int kRequestSize = 1024;
    // Reply buffers; the kernel fills dump datagrams up to about 32 KiB.
    static constexpr unsigned kReplyBufferSize = 32768;
    // How long one read waits for the kernel before the request fails.
    static constexpr int kDefaultReceiveTimeoutMs = 5000;

    CLinuxRouteTable();
    // Talks to `fd` (owned from now on) instead of a kernel socket, taking
    // replies addressed to `portId`. Used by tests in place of the kernel.
    CLinuxRouteTable(int fd, uint32_t portId);
    ~CLinuxRouteTable() override;

    CLinuxRouteTable(const CLinuxRouteTable&) = delete;
    CLinuxRouteTable& operator=(const CLinuxRouteTable&) = delete;

    int Init() override;
    int AddIpForwardEntry(IpForwardRow* row) override;
    int ReplaceIpForwardEntry(IpForwardRow* row) override;
    int DeleteIpForwardEntry(IpForwardRow* row) override;
    int GetIpForwardTable(IpForwardTable* table, unsigned long* size) override;
    int GetIpAddrTable(IpAddrTable* table, unsigned long* size) override;
    int GetAdaptersInfo(PIP_ADAPTER_INFO pAdapterInfo, PULONG pOutBufLen) override;
    int GetAdaptersAddresses(unsigned long family, unsigned long flags, void* reserved, PIP_ADAPTER_ADDRESSES addresses,
                             PULONG size) override;
    int AddIpForwardEntry2(IpForwardRow2* row) override;
    int ReplaceIpForwardEntry2(IpForwardRow2* row) override;
    int DeleteIpForwardEntry2(IpForwardRow2* row) override;
    int GetIpForwardTable2(uint16_t family, IpForwardTable2** table) override;
    void FreeIpForwardTable2(IpForwardTable2* table) override;
    int GetBestRoute2(IpForwardRow2* row) override;
    int GetIpAddrTable2(uint16_t family, IpAddrTable2** table) override;
    void FreeIpAddrTable2(IpAddrTable2* table) override;
    int NotSupported1() override;
    int NotSupported2() override;
    int NotSupported3() override;
    int NotSupported4() override;
    int NotSupported5() override;
    int GetIfaceAddr2(IpAddrRow2* row) override;
    int UpdateIpForwardEntry(IpForwardRow2* row, int command) override;
    int UpdateIpForwardEntry(IpForwardRow* row, int command) override;

    // --- netlink requests and replies ---

    // Builds and sends one request; throws UException on a bad command, an
    // unusable address family or a failed send.
    void SendRequest(const IpForwardRow2* row, int command);
    // Appends one attribute; -1 when it would not fit into `capacity` bytes.
    static int AddAttribute(nlmsghdr* msg, int capacity, uint16_t type, const void* data, int length);
    // Reads one datagram into `buffer` (grown when the datagram is larger);
    // returns its size. Throws on failure or when the time-out passes.
    int ReadResponse(AutoMemory& buffer);
    // The next data message of the reply to the last request, or null at its
    // end (NLMSG_DONE or an acknowledgement). Throws on a kernel error answer
    // (code -3 for ESRCH, -4 for EEXIST) and on a malformed reply.
    nlmsghdr* GetNextNLMSG(AutoMemory& buffer, int* remaining, nlmsghdr* previous);
    // Fill the row from one message; false when the message is malformed
    // (too short, a bad attribute length, an impossible prefix length).
    static bool ParseRouteMessage(const nlmsghdr* msg, IpForwardRow2* row);
    static bool ParseAddrMessage(const nlmsghdr* msg, IpAddrRow2* row);
    // The interface's flags (low 16 bits), 0 after a failure.
    static uint16_t GetIfaceFlags(uint32_t index);

    void setReceiveTimeout(int milliseconds) { m_receiveTimeoutMs = milliseconds; }
    uint32_t portId() const { return m_portId; }

private:
    int m_socket;
    uint32_t m_portId; // our netlink port id; replies must carry it
    uint32_t m_requestSeq; // sequence number of the last request sent
    int m_receiveTimeoutMs;
};
