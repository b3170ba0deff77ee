// Requests and replies of the route table, with a socketpair standing in for
// the kernel: a thread reads each request and answers with crafted datagrams.

#include "foundation/CLinuxRouteTable.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <climits>
#include <cstring>
#include <functional>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr uint32_t kPort = 4242;

// Builds netlink messages and datagrams.
class Message
{
public:
    Message(uint16_t type, uint32_t seq, uint32_t pid = kPort, uint16_t flags = NLM_F_MULTI)
    {
        nlmsghdr h{};
        h.nlmsg_type = type;
        h.nlmsg_flags = flags;
        h.nlmsg_seq = seq;
        h.nlmsg_pid = pid;
        append(&h, sizeof h);
    }
    Message& route(unsigned char family, unsigned char dstLen, unsigned char type = RTN_UNICAST,
                   unsigned char table = RT_TABLE_MAIN, unsigned char protocol = RTPROT_BOOT)
    {
        rtmsg r{};
        r.rtm_family = family;
        r.rtm_dst_len = dstLen;
        r.rtm_type = type;
        r.rtm_table = table;
        r.rtm_protocol = protocol;
        append(&r, sizeof r);
        return *this;
    }
    Message& addr(unsigned char family, unsigned char prefixLen, uint32_t index, unsigned char scope = 0)
    {
        ifaddrmsg a{};
        a.ifa_family = family;
        a.ifa_prefixlen = prefixLen;
        a.ifa_index = index;
        a.ifa_scope = scope;
        append(&a, sizeof a);
        return *this;
    }
    Message& error(int error)
    {
        append(&error, sizeof error);
        nlmsghdr original{};
        append(&original, sizeof original);
        return *this;
    }
    Message& attr(uint16_t type, const void* data, size_t length)
    {
        rtattr a{};
        a.rta_len = static_cast<unsigned short>(RTA_LENGTH(length));
        a.rta_type = type;
        append(&a, sizeof a);
        append(data, length);
        pad();
        return *this;
    }
    Message& u32(uint16_t type, uint32_t value) { return attr(type, &value, sizeof value); }
    Message& ipv4(uint16_t type, const char* text)
    {
        in_addr a{};
        inet_pton(AF_INET, text, &a);
        return attr(type, &a, sizeof a);
    }
    Message& ipv6(uint16_t type, const char* text)
    {
        in6_addr a{};
        inet_pton(AF_INET6, text, &a);
        return attr(type, &a, sizeof a);
    }
    Message& raw(const void* data, size_t length)
    {
        append(data, length);
        return *this;
    }
    // The finished message; its length field covers everything appended.
    Bytes bytes() const
    {
        Bytes out = m_bytes;
        const uint32_t length = static_cast<uint32_t>(out.size());
        std::memcpy(out.data(), &length, sizeof length);
        return out;
    }

private:
    void append(const void* data, size_t length)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        m_bytes.insert(m_bytes.end(), p, p + length);
    }
    void pad()
    {
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
    }
    Bytes m_bytes;
};

Bytes datagram(std::initializer_list<Bytes> messages)
{
    Bytes out;
    for (const Bytes& m : messages)
        out.insert(out.end(), m.begin(), m.end());
    return out;
}

Bytes done(uint32_t seq, int error = 0)
{
    return Message(NLMSG_DONE, seq).raw(&error, sizeof error).bytes();
}

Bytes ack(uint32_t seq, int error = 0)
{
    return Message(NLMSG_ERROR, seq, kPort, 0).error(error).bytes();
}

Bytes unicastRoute(uint32_t seq, const char* dst, unsigned char dstLen, uint32_t oif)
{
    return Message(RTM_NEWROUTE, seq)
        .route(AF_INET, dstLen)
        .u32(RTA_TABLE, RT_TABLE_MAIN)
        .ipv4(RTA_DST, dst)
        .u32(RTA_OIF, oif)
        .bytes();
}

sockaddr_storage ipv4Address(const char* text)
{
    sockaddr_storage s{};
    s.ss_family = AF_INET;
    inet_pton(AF_INET, text, &reinterpret_cast<sockaddr_in&>(s).sin_addr);
    return s;
}

std::string addressText(const sockaddr_storage& s)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (s.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(s).sin_addr, text, sizeof text);
    else if (s.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(s).sin6_addr, text, sizeof text);
    return text;
}

// One parsed request attribute.
struct Attr {
    uint16_t type;
    Bytes payload;
};

std::vector<Attr> requestAttributes(const Bytes& request, size_t headerLength)
{
    std::vector<Attr> out;
    size_t offset = headerLength;
    while (offset + sizeof(rtattr) <= request.size()) {
        rtattr a;
        std::memcpy(&a, request.data() + offset, sizeof a);
        if (a.rta_len < sizeof a || offset + a.rta_len > request.size())
            break;
        out.push_back({a.rta_type, Bytes(request.begin() + static_cast<long>(offset + sizeof a),
                                         request.begin() + static_cast<long>(offset + a.rta_len))});
        offset += RTA_ALIGN(a.rta_len);
    }
    return out;
}

uint32_t payloadU32(const Attr& a)
{
    uint32_t v = 0;
    std::memcpy(&v, a.payload.data(), std::min<size_t>(sizeof v, a.payload.size()));
    return v;
}

class RouteNetlinkTest : public ::testing::Test
{
protected:
    using Script = std::function<std::vector<Bytes>(const nlmsghdr& request)>;

    void SetUp() override
    {
        int sv[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv));
        m_table = std::make_unique<CLinuxRouteTable>(sv[0], kPort);
        m_table->setReceiveTimeout(2000);
        m_kernel = sv[1];
    }
    void TearDown() override
    {
        if (m_thread.joinable())
            m_thread.join();
        m_table.reset();
        ::close(m_kernel);
    }

    // Answers the next request with the datagrams the script gives.
    void serve(Script script)
    {
        m_thread = std::thread([this, script] {
            unsigned char buffer[4096];
            const ssize_t n = ::recv(m_kernel, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            m_request.assign(buffer, buffer + n);
            nlmsghdr header;
            std::memcpy(&header, buffer, sizeof header);
            for (const Bytes& d : script(header))
                ::send(m_kernel, d.data(), d.size(), 0);
        });
    }
    void finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    nlmsghdr requestHeader() const
    {
        nlmsghdr h{};
        if (m_request.size() >= sizeof h)
            std::memcpy(&h, m_request.data(), sizeof h);
        return h;
    }
    rtmsg requestRoute() const
    {
        rtmsg r{};
        if (m_request.size() >= NLMSG_LENGTH(sizeof r))
            std::memcpy(&r, m_request.data() + NLMSG_HDRLEN, sizeof r);
        return r;
    }
    bool kernelGotNothing()
    {
        unsigned char b[16];
        return ::recv(m_kernel, b, sizeof b, MSG_DONTWAIT) < 0;
    }

    std::unique_ptr<CLinuxRouteTable> m_table;
    int m_kernel = -1;
    std::thread m_thread;
    Bytes m_request;
};

// ---------------------------------------------------------------- requests

TEST_F(RouteNetlinkTest, RouteDumpRequestAndDoneAloneGiveAnEmptyTable)
{
    serve([](const nlmsghdr& r) { return std::vector<Bytes>{done(r.nlmsg_seq)}; });
    IpForwardTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpForwardTable2(AF_INET, &table));
    finish();
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(0u, table->NumEntries);
    m_table->FreeIpForwardTable2(table);

    const nlmsghdr h = requestHeader();
    EXPECT_EQ(RTM_GETROUTE, h.nlmsg_type);
    EXPECT_EQ(0x301, h.nlmsg_flags);
    EXPECT_EQ(kPort, h.nlmsg_pid);
    EXPECT_EQ(h.nlmsg_len, m_request.size());
    const rtmsg r = requestRoute();
    EXPECT_EQ(AF_INET, r.rtm_family);
    EXPECT_EQ(RT_SCOPE_LINK, r.rtm_scope); // no gateway
    const auto attrs = requestAttributes(m_request, NLMSG_SPACE(sizeof(rtmsg)));
    ASSERT_EQ(1u, attrs.size());
    EXPECT_EQ(RTA_DST, attrs[0].type);
    EXPECT_EQ(4u, attrs[0].payload.size());
}

TEST_F(RouteNetlinkTest, DumpOfAllFamiliesCarriesNoAttributes)
{
    serve([](const nlmsghdr& r) { return std::vector<Bytes>{done(r.nlmsg_seq)}; });
    IpForwardTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpForwardTable2(0, &table));
    finish();
    m_table->FreeIpForwardTable2(table);
    EXPECT_EQ(NLMSG_SPACE(sizeof(rtmsg)), m_request.size());
}

TEST_F(RouteNetlinkTest, SequenceNumbersAdvancePerRequest)
{
    uint32_t seqs[2] = {};
    for (uint32_t& seq : seqs) {
        serve([](const nlmsghdr& r) { return std::vector<Bytes>{done(r.nlmsg_seq)}; });
        IpForwardTable2* table = nullptr;
        ASSERT_EQ(0, m_table->GetIpForwardTable2(AF_INET, &table));
        finish();
        m_table->FreeIpForwardTable2(table);
        seq = requestHeader().nlmsg_seq;
    }
    EXPECT_EQ(seqs[0] + 1, seqs[1]);
}

TEST_F(RouteNetlinkTest, AddSendsAttributesInOrderWith32BitPriorityAndOif)
{
    serve([](const nlmsghdr& r) { return std::vector<Bytes>{ack(r.nlmsg_seq)}; });
    IpForwardRow2 row{};
    row.destination = ipv4Address("10.1.0.0");
    row.prefixLength = 16;
    row.gateway = ipv4Address("192.0.2.1");
    row.prefSrc = ipv4Address("192.0.2.2");
    row.metric = 7;
    row.ifIndex = 3;
    row.protocol = RTPROT_STATIC;
    ASSERT_EQ(0, m_table->AddIpForwardEntry2(&row));
    finish();
    EXPECT_EQ(254u, row.table); // table 0 means the main table

    const nlmsghdr h = requestHeader();
    EXPECT_EQ(RTM_NEWROUTE, h.nlmsg_type);
    EXPECT_EQ(0x405, h.nlmsg_flags);
    const rtmsg r = requestRoute();
    EXPECT_EQ(16, r.rtm_dst_len);
    EXPECT_EQ(RT_TABLE_MAIN, r.rtm_table);
    EXPECT_EQ(RTN_UNICAST, r.rtm_type);
    EXPECT_EQ(RTPROT_STATIC, r.rtm_protocol);
    EXPECT_EQ(RT_SCOPE_UNIVERSE, r.rtm_scope);

    const auto attrs = requestAttributes(m_request, NLMSG_SPACE(sizeof(rtmsg)));
    ASSERT_EQ(5u, attrs.size());
    EXPECT_EQ(RTA_DST, attrs[0].type);
    EXPECT_EQ(RTA_PREFSRC, attrs[1].type);
    EXPECT_EQ(RTA_GATEWAY, attrs[2].type);
    EXPECT_EQ(RTA_PRIORITY, attrs[3].type);
    EXPECT_EQ(4u, attrs[3].payload.size());
    EXPECT_EQ(7u, payloadU32(attrs[3]));
    EXPECT_EQ(RTA_OIF, attrs[4].type);
    EXPECT_EQ(4u, attrs[4].payload.size());
    EXPECT_EQ(3u, payloadU32(attrs[4]));
}

TEST_F(RouteNetlinkTest, TableIdsBeyondEightBitsGoIntoRtaTable)
{
    serve([](const nlmsghdr& r) { return std::vector<Bytes>{ack(r.nlmsg_seq)}; });
    IpForwardRow2 row{};
    row.destination = ipv4Address("10.5.0.0");
    row.prefixLength = 16;
    row.table = 1000;
    ASSERT_EQ(0, m_table->AddIpForwardEntry2(&row));
    finish();
    EXPECT_EQ(RT_TABLE_UNSPEC, requestRoute().rtm_table);
    const auto attrs = requestAttributes(m_request, NLMSG_SPACE(sizeof(rtmsg)));
    ASSERT_FALSE(attrs.empty());
    EXPECT_EQ(RTA_TABLE, attrs.back().type);
    EXPECT_EQ(1000u, payloadU32(attrs.back()));
}

TEST_F(RouteNetlinkTest, ReplaceAndDeleteFlagsAndScope)
{
    IpForwardRow2 row{};
    row.destination = ipv4Address("10.2.0.0");
    row.prefixLength = 24;

    serve([](const nlmsghdr& r) { return std::vector<Bytes>{ack(r.nlmsg_seq)}; });
    ASSERT_EQ(0, m_table->ReplaceIpForwardEntry2(&row));
    finish();
    EXPECT_EQ(RTM_NEWROUTE, requestHeader().nlmsg_type);
    EXPECT_EQ(0x105, requestHeader().nlmsg_flags);
    EXPECT_EQ(RT_SCOPE_LINK, requestRoute().rtm_scope);

    serve([](const nlmsghdr& r) { return std::vector<Bytes>{ack(r.nlmsg_seq)}; });
    ASSERT_EQ(0, m_table->DeleteIpForwardEntry2(&row));
    finish();
    EXPECT_EQ(RTM_DELROUTE, requestHeader().nlmsg_type);
    EXPECT_EQ(0x405, requestHeader().nlmsg_flags);
    EXPECT_EQ(RT_SCOPE_NOWHERE, requestRoute().rtm_scope);
    EXPECT_EQ(RTN_UNICAST, requestRoute().rtm_type);
}

TEST_F(RouteNetlinkTest, KernelRefusalsGiveTheirCodes)
{
    IpForwardRow2 row{};
    row.destination = ipv4Address("10.3.0.0");
    row.prefixLength = 24;
    const struct {
        int error;
        int result;
    } cases[] = {{-EEXIST, -4}, {-ESRCH, -3}, {-EPERM, -1}, {INT_MIN, -1}, {EEXIST, -1}};
    for (const auto& c : cases) {
        const int error = c.error;
        serve([error](const nlmsghdr& r) { return std::vector<Bytes>{ack(r.nlmsg_seq, error)}; });
        EXPECT_EQ(c.result, m_table->AddIpForwardEntry2(&row)) << "error " << c.error;
        finish();
    }
}

TEST_F(RouteNetlinkTest, LookupAsksForPrefix128WithoutGateway)
{
    serve([](const nlmsghdr& r) {
        return std::vector<Bytes>{Message(RTM_NEWROUTE, r.nlmsg_seq, kPort, 0)
                                      .route(AF_INET, 32)
                                      .ipv4(RTA_DST, "198.51.100.7")
                                      .ipv4(RTA_GATEWAY, "192.0.2.1")
                                      .u32(RTA_OIF, 2)
                                      .ipv4(RTA_PREFSRC, "192.0.2.2")
                                      .bytes()};
    });
    IpForwardRow2 row{};
    row.destination = ipv4Address("198.51.100.7");
    row.gateway = ipv4Address("10.0.0.1"); // dropped from the request
    row.prefixLength = 3;
    ASSERT_EQ(0, m_table->GetBestRoute2(&row));
    finish();

    EXPECT_EQ(RTM_GETROUTE, requestHeader().nlmsg_type);
    EXPECT_EQ(NLM_F_REQUEST, requestHeader().nlmsg_flags);
    EXPECT_EQ(128, requestRoute().rtm_dst_len);
    EXPECT_EQ(RT_SCOPE_LINK, requestRoute().rtm_scope);
    for (const Attr& a : requestAttributes(m_request, NLMSG_SPACE(sizeof(rtmsg))))
        EXPECT_NE(RTA_GATEWAY, a.type);

    EXPECT_EQ("192.0.2.1", addressText(row.gateway));
    EXPECT_EQ(2, row.ifIndex);
    EXPECT_EQ("192.0.2.2", addressText(row.prefSrc));
}

TEST_F(RouteNetlinkTest, AddressQueriesSendTheAddressHeader)
{
    const uint32_t lo = if_nametoindex("lo");
    ASSERT_NE(0u, lo);
    serve([lo](const nlmsghdr& r) {
        return std::vector<Bytes>{datagram({Message(RTM_NEWADDR, r.nlmsg_seq)
                                                .addr(AF_INET, 8, lo)
                                                .ipv4(IFA_ADDRESS, "127.0.0.1")
                                                .ipv4(IFA_LOCAL, "127.0.0.1")
                                                .bytes(),
                                            done(r.nlmsg_seq)})};
    });
    IpAddrRow2 row{};
    row.address.ss_family = AF_INET;
    row.ifIndex = lo;
    ASSERT_EQ(0, m_table->GetIfaceAddr2(&row));
    finish();
    EXPECT_EQ(RTM_GETADDR, requestHeader().nlmsg_type);
    EXPECT_EQ(0x201, requestHeader().nlmsg_flags);
    EXPECT_EQ(NLMSG_LENGTH(sizeof(ifaddrmsg)), m_request.size());
    ifaddrmsg a;
    std::memcpy(&a, m_request.data() + NLMSG_HDRLEN, sizeof a);
    EXPECT_EQ(AF_INET, a.ifa_family);
    EXPECT_EQ(lo, a.ifa_index);
    EXPECT_EQ("127.0.0.1", addressText(row.address));
    EXPECT_EQ(8, row.prefixLength);
}

TEST_F(RouteNetlinkTest, InterfaceWithoutAddressIsAFailure)
{
    serve([](const nlmsghdr& r) {
        return std::vector<Bytes>{
            datagram({Message(RTM_NEWADDR, r.nlmsg_seq).addr(AF_INET, 24, 77).ipv4(IFA_LOCAL, "10.0.0.1").bytes(),
                      done(r.nlmsg_seq)})};
    });
    IpAddrRow2 row{};
    row.address.ss_family = AF_INET;
    row.ifIndex = 5;
    EXPECT_EQ(-1, m_table->GetIfaceAddr2(&row));
}

TEST_F(RouteNetlinkTest, WrongArgumentsSendNothing)
{
    IpForwardTable2* notNull = reinterpret_cast<IpForwardTable2*>(this);
    EXPECT_EQ(-1, m_table->GetIpForwardTable2(AF_INET, &notNull));
    EXPECT_EQ(reinterpret_cast<IpForwardTable2*>(this), notNull);
    EXPECT_EQ(-1, m_table->GetIpForwardTable2(AF_INET, nullptr));
    IpAddrTable2* addrNotNull = reinterpret_cast<IpAddrTable2*>(this);
    EXPECT_EQ(-1, m_table->GetIpAddrTable2(AF_INET, &addrNotNull));
    EXPECT_EQ(-1, m_table->GetBestRoute2(nullptr));
    EXPECT_EQ(-1, m_table->GetIfaceAddr2(nullptr));
    EXPECT_EQ(-1, m_table->UpdateIpForwardEntry(static_cast<IpForwardRow2*>(nullptr), 2));
    IpForwardRow2 row{};
    row.destination.ss_family = AF_UNIX;
    EXPECT_EQ(-1, m_table->AddIpForwardEntry2(&row));
    row.destination = ipv4Address("10.0.0.0");
    row.gateway.ss_family = AF_INET6;
    EXPECT_EQ(-1, m_table->AddIpForwardEntry2(&row));
    EXPECT_EQ(-1, m_table->UpdateIpForwardEntry(&row, 9));
    EXPECT_TRUE(kernelGotNothing());
}

// ---------------------------------------------------------------- replies

TEST_F(RouteNetlinkTest, DumpSplitOverThreeDatagramsIsReadWholeInKernelOrder)
{
    serve([](const nlmsghdr& r) {
        const uint32_t s = r.nlmsg_seq;
        return std::vector<Bytes>{
            datagram({unicastRoute(s, "10.0.1.0", 24, 2),
                      Message(RTM_NEWROUTE, s)
                          .route(AF_INET, 32, RTN_LOCAL, RT_TABLE_LOCAL)
                          .ipv4(RTA_DST, "127.0.0.1")
                          .bytes(),
                      unicastRoute(s, "10.0.2.0", 24, 2)}),
            datagram({Message(RTM_NEWROUTE, s)
                          .route(AF_INET, 32, RTN_BROADCAST, RT_TABLE_LOCAL)
                          .ipv4(RTA_DST, "10.0.2.255")
                          .bytes(),
                      unicastRoute(s, "10.0.3.0", 24, 3)}),
            datagram({Message(RTM_NEWROUTE, s)
                          .route(AF_INET, 0)
                          .ipv4(RTA_GATEWAY, "10.0.1.1")
                          .u32(RTA_OIF, 2)
                          .u32(RTA_PRIORITY, 100)
                          .bytes(),
                      done(s)}),
        };
    });
    IpForwardTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpForwardTable2(AF_INET, &table));
    finish();
    ASSERT_NE(nullptr, table);
    ASSERT_EQ(4u, table->NumEntries);
    EXPECT_EQ("10.0.1.0", addressText(table->Table[0].destination));
    EXPECT_EQ("10.0.2.0", addressText(table->Table[1].destination));
    EXPECT_EQ("10.0.3.0", addressText(table->Table[2].destination));
    EXPECT_EQ(3, table->Table[2].ifIndex);
    EXPECT_EQ("0.0.0.0", addressText(table->Table[3].destination));
    EXPECT_EQ(0, table->Table[3].prefixLength);
    EXPECT_EQ(100u, table->Table[3].metric);
    EXPECT_EQ(3u, table->Table[3].flags); // default route: U and G
    EXPECT_EQ(1u, table->Table[0].flags);
    m_table->FreeIpForwardTable2(table);
}

TEST_F(RouteNetlinkTest, RepliesOfOtherRequestsOrPortsAreSkipped)
{
    serve([](const nlmsghdr& r) {
        const uint32_t s = r.nlmsg_seq;
        return std::vector<Bytes>{
            datagram({unicastRoute(s - 1, "10.9.0.0", 16, 1), done(s - 1)}),
            datagram({Message(RTM_NEWROUTE, s, kPort + 1).route(AF_INET, 16).ipv4(RTA_DST, "10.8.0.0").bytes(),
                      unicastRoute(s, "10.7.0.0", 16, 1), done(s)}),
        };
    });
    IpForwardTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpForwardTable2(AF_INET, &table));
    finish();
    ASSERT_EQ(1u, table->NumEntries);
    EXPECT_EQ("10.7.0.0", addressText(table->Table[0].destination));
    m_table->FreeIpForwardTable2(table);
}

TEST_F(RouteNetlinkTest, DatagramLargerThanTheBufferIsReadWhole)
{
    const int count = 2000; // about 80 KiB in one datagram
    serve([count](const nlmsghdr& r) {
        Bytes big;
        for (int i = 0; i < count; ++i) {
            const std::string dst = "10." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ".0";
            const Bytes m = unicastRoute(r.nlmsg_seq, dst.c_str(), 24, 1);
            big.insert(big.end(), m.begin(), m.end());
        }
        const Bytes d = done(r.nlmsg_seq);
        big.insert(big.end(), d.begin(), d.end());
        return std::vector<Bytes>{big};
    });
    IpForwardTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpForwardTable2(AF_INET, &table));
    finish();
    ASSERT_EQ(static_cast<uint32_t>(count), table->NumEntries);
    EXPECT_EQ("10.7.207.0", addressText(table->Table[count - 1].destination));
    m_table->FreeIpForwardTable2(table);
}

TEST_F(RouteNetlinkTest, MalformedRepliesFailWithoutReadingPastThem)
{
    const std::vector<std::function<Bytes(uint32_t)>> replies = {
        // An attribute whose length runs past the message.
        [](uint32_t s) {
            rtattr bad{};
            bad.rta_len = 200;
            bad.rta_type = RTA_DST;
            return datagram({Message(RTM_NEWROUTE, s).route(AF_INET, 24).raw(&bad, sizeof bad).bytes(), done(s)});
        },
        // An attribute length below 4.
        [](uint32_t s) {
            rtattr bad{};
            bad.rta_len = 2;
            bad.rta_type = RTA_OIF;
            return datagram({Message(RTM_NEWROUTE, s).route(AF_INET, 24).raw(&bad, sizeof bad).bytes(), done(s)});
        },
        // A destination shorter than an IPv4 address.
        [](uint32_t s) {
            const uint16_t two = 0x0a0a;
            return datagram({Message(RTM_NEWROUTE, s).route(AF_INET, 24).attr(RTA_DST, &two, 2).bytes(), done(s)});
        },
        // A message length beyond the datagram.
        [](uint32_t s) {
            Bytes m = unicastRoute(s, "10.0.0.0", 8, 1);
            const uint32_t length = 4000;
            std::memcpy(m.data(), &length, sizeof length);
            return m;
        },
        // A message length below the header.
        [](uint32_t s) {
            Bytes m = unicastRoute(s, "10.0.0.0", 8, 1);
            const uint32_t length = 8;
            std::memcpy(m.data(), &length, sizeof length);
            return m;
        },
        // A route message too short for its route header.
        [](uint32_t s) {
            return datagram({Message(RTM_NEWROUTE, s).raw("abcd", 4).bytes(), done(s)});
        },
        // Trailing bytes that are no message.
        [](uint32_t s) {
            Bytes d = datagram({unicastRoute(s, "10.0.0.0", 8, 1)});
            d.insert(d.end(), {1, 2, 3, 4, 5, 6, 7, 8});
            return d;
        },
        // An error message cut before its error number.
        [](uint32_t s) { return Message(NLMSG_ERROR, s).bytes(); },
        // An impossible prefix length.
        [](uint32_t s) {
            return datagram({Message(RTM_NEWROUTE, s).route(AF_INET, 33).ipv4(RTA_DST, "10.0.0.0").bytes(), done(s)});
        },
        // A dump that failed in the kernel.
        [](uint32_t s) { return done(s, -EINTR); },
    };
    int index = 0;
    for (const auto& reply : replies) {
        serve([&reply](const nlmsghdr& r) { return std::vector<Bytes>{reply(r.nlmsg_seq)}; });
        IpForwardTable2* table = nullptr;
        EXPECT_EQ(-1, m_table->GetIpForwardTable2(AF_INET, &table)) << "reply " << index;
        EXPECT_EQ(nullptr, table) << "reply " << index;
        finish();
        ++index;
    }
}

TEST_F(RouteNetlinkTest, SilentKernelTimesOut)
{
    m_table->setReceiveTimeout(50);
    serve([](const nlmsghdr&) { return std::vector<Bytes>{}; });
    IpForwardTable2* table = nullptr;
    EXPECT_EQ(-1, m_table->GetIpForwardTable2(AF_INET, &table));
    EXPECT_EQ(nullptr, table);
}

TEST_F(RouteNetlinkTest, AddressDumpKeepsInterfacesThatAreUp)
{
    const uint32_t lo = if_nametoindex("lo");
    ASSERT_NE(0u, lo);
    serve([lo](const nlmsghdr& r) {
        const uint32_t s = r.nlmsg_seq;
        return std::vector<Bytes>{
            datagram({Message(RTM_NEWADDR, s).addr(AF_INET, 8, lo, RT_SCOPE_HOST).ipv4(IFA_LOCAL, "127.0.0.1").bytes(),
                      // No interface has this index: flags 0, left out.
                      Message(RTM_NEWADDR, s).addr(AF_INET, 24, 0x7ffffff0).ipv4(IFA_LOCAL, "10.0.0.1").bytes()}),
            datagram({Message(RTM_NEWADDR, s).addr(AF_INET6, 128, lo).ipv6(IFA_ADDRESS, "::1").bytes(), done(s)}),
        };
    });
    IpAddrTable2* table = nullptr;
    ASSERT_EQ(0, m_table->GetIpAddrTable2(0, &table));
    finish();
    EXPECT_EQ(0x201, requestHeader().nlmsg_flags);
    ASSERT_EQ(2u, table->NumEntries);
    EXPECT_EQ("127.0.0.1", addressText(table->Table[0].address));
    EXPECT_EQ(8, table->Table[0].prefixLength);
    EXPECT_EQ(static_cast<uint32_t>(RT_SCOPE_HOST), table->Table[0].scope);
    EXPECT_TRUE(table->Table[0].flags & IFF_UP);
    EXPECT_EQ("::1", addressText(table->Table[1].address));
    m_table->FreeIpAddrTable2(table);
}

TEST_F(RouteNetlinkTest, Ipv4TablesReportTheSizeNeeded)
{
    auto routes = [](const nlmsghdr& r) {
        const uint32_t s = r.nlmsg_seq;
        return std::vector<Bytes>{
            datagram({unicastRoute(s, "10.0.1.0", 24, 2), unicastRoute(s, "10.0.2.0", 23, 2), done(s)})};
    };
    unsigned long size = 0;
    serve(routes);
    EXPECT_EQ(1, m_table->GetIpForwardTable(nullptr, &size));
    finish();
    EXPECT_EQ(4u + 2 * 64, size);

    std::vector<unsigned char> buffer(size);
    auto* table = reinterpret_cast<IpForwardTable*>(buffer.data());
    serve(routes);
    EXPECT_EQ(0, m_table->GetIpForwardTable(table, &size));
    finish();
    ASSERT_EQ(2u, table->dwNumEntries);
    EXPECT_EQ(htonl(0x0a000200), table->table[1].dwForwardDest);
    EXPECT_EQ(htonl(0xfffffe00), table->table[1].dwForwardMask);
    EXPECT_EQ(2u, table->table[1].dwForwardIfIndex);

    unsigned long small = size - 1;
    serve(routes);
    EXPECT_EQ(1, m_table->GetIpForwardTable(table, &small));
    finish();
    EXPECT_EQ(size, small);
}

TEST_F(RouteNetlinkTest, Ipv4AddressTableOfExactSize)
{
    const uint32_t lo = if_nametoindex("lo");
    auto addresses = [lo](const nlmsghdr& r) {
        const uint32_t s = r.nlmsg_seq;
        return std::vector<Bytes>{
            datagram({Message(RTM_NEWADDR, s).addr(AF_INET, 8, lo).ipv4(IFA_LOCAL, "127.0.0.1").bytes(), done(s)})};
    };
    std::vector<unsigned char> buffer(4 + 24);
    unsigned long size = buffer.size();
    auto* table = reinterpret_cast<IpAddrTable*>(buffer.data());
    serve(addresses);
    EXPECT_EQ(0, m_table->GetIpAddrTable(table, &size));
    finish();
    ASSERT_EQ(1u, table->dwNumEntries);
    EXPECT_EQ(htonl(0x7f000001), table->table[0].dwAddr);
    EXPECT_EQ(htonl(0xff000000), table->table[0].dwMask);
    EXPECT_EQ(lo, table->table[0].dwIndex);
}

// ---------------------------------------------------------------- parsing

class RouteParseTest : public ::testing::Test
{
protected:
    static IpForwardRow2 parse(const Bytes& message, bool expectOk = true)
    {
        IpForwardRow2 row;
        std::memset(&row, 0xAB, sizeof row);
        EXPECT_EQ(expectOk,
                  CLinuxRouteTable::ParseRouteMessage(reinterpret_cast<const nlmsghdr*>(message.data()), &row));
        return row;
    }
};

TEST_F(RouteParseTest, Ipv6DestinationKeepsOnlyThePrefixBytes)
{
    const IpForwardRow2 row = parse(Message(RTM_NEWROUTE, 1)
                                        .route(AF_INET6, 64)
                                        .ipv6(RTA_DST, "2001:db8:1:2:ffff:ffff:ffff:ffff")
                                        .ipv6(RTA_PREFSRC, "2001:db8::1")
                                        .bytes());
    EXPECT_EQ("2001:db8:1:2::", addressText(row.destination));
    EXPECT_EQ(0, row.prefSrc.ss_family); // ignored for IPv6
    EXPECT_EQ(1u, row.flags);
}

TEST_F(RouteParseTest, CacheInfoExpiryInSeconds)
{
    const long hz = sysconf(_SC_CLK_TCK);
    rta_cacheinfo info{};
    info.rta_expires = static_cast<int32_t>(5 * hz);
    EXPECT_EQ(
        5, parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_CACHEINFO, &info, sizeof info).bytes()).expires);
    info.rta_expires = 0;
    EXPECT_EQ(
        0, parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_CACHEINFO, &info, sizeof info).bytes()).expires);
    info.rta_expires = static_cast<int32_t>(-3 * hz);
    EXPECT_EQ(
        -3, parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_CACHEINFO, &info, sizeof info).bytes()).expires);
}

TEST_F(RouteParseTest, TableAttributeReplacesTheHeaderByte)
{
    const IpForwardRow2 row = parse(Message(RTM_NEWROUTE, 1)
                                        .route(AF_INET, 8, RTN_UNICAST, RT_TABLE_COMPAT)
                                        .u32(RTA_TABLE, 1000)
                                        .ipv4(RTA_DST, "10.0.0.0")
                                        .bytes());
    EXPECT_EQ(1000u, row.table);
    EXPECT_EQ(static_cast<uint64_t>(RTPROT_BOOT), row.protocol);
}

TEST_F(RouteParseTest, ShortPayloadsAreRefused)
{
    const uint16_t two = 1;
    parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_OIF, &two, 2).bytes(), false);
    parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_PRIORITY, &two, 2).bytes(), false);
    parse(Message(RTM_NEWROUTE, 1).route(AF_INET6, 0).attr(RTA_GATEWAY, "abcdefgh", 8).bytes(), false);
    parse(Message(RTM_NEWROUTE, 1).route(AF_INET, 0).attr(RTA_CACHEINFO, "abcdefgh", 8).bytes(), false);
    parse(Message(RTM_NEWROUTE, 1).route(AF_INET6, 129).bytes(), false);
}

TEST_F(RouteParseTest, AddressOfAnUnknownInterfaceHasNoFlags)
{
    const Bytes m = Message(RTM_NEWADDR, 1).addr(AF_INET, 24, 0x7ffffff1).ipv4(IFA_LOCAL, "10.1.1.1").bytes();
    IpAddrRow2 row;
    ASSERT_TRUE(CLinuxRouteTable::ParseAddrMessage(reinterpret_cast<const nlmsghdr*>(m.data()), &row));
    EXPECT_EQ(0u, row.flags);
    EXPECT_EQ("10.1.1.1", addressText(row.address));
    EXPECT_EQ(24, row.prefixLength);
}

} // namespace
