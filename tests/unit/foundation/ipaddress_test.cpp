#include "RecordingLog.h"
#include "foundation/UException.h"
#include "foundation/UIPAddress.h"
#include "foundation/m_inet.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>
#include <string>

using tessal::test::RecordingLog;

namespace {

// Runs f, expects a UException and returns its message and function.
template <class F>
std::pair<std::string, std::string> thrown(F f)
{
    try {
        f();
    } catch (const UException& e) {
        return {e.getMessage() ? e.getMessage() : "", e.getFunction() ? e.getFunction() : ""};
    }
    ADD_FAILURE() << "no exception";
    return {};
}

std::string hex16(const unsigned char* b)
{
    std::string s;
    char t[3];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(t, sizeof t, "%02x", b[i]);
        s += t;
    }
    return s;
}

} // namespace

TEST(IpV4Netmask, AcceptedTexts)
{
    struct {
        const char* text;
        uint32_t mask;
    } const cases[] = {
        {"24", 0xFFFFFF00u},
        {" 24 ", 0xFFFFFF00u},
        {"255.255.255.0", 0xFFFFFF00u},
        {"0", 0u},
        {"0.0.0.0", 0u},
        {"32", 0xFFFFFFFFu},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"1", 0x80000000u},
        {"255.255.128.0", 0xFFFF8000u},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UIPv4Netmask::parse(c.text).value(), c.mask) << c.text;
}

TEST(IpV4Netmask, RefusedTexts)
{
    RecordingLog log;
    struct {
        const char* text;
        const char* function;
        const char* message;
    } const cases[] = {
        {"33", "UIPv4Netmask::fromCiscoValue()", "EXCEPTION - invalid value, 33"},
        {"123", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, 123"},
        {"255.0.255.0", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, 255.0.255.0"},
        {" 0.255.255.255 ", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, 0.255.255.255"},
        // A prefix length is digits only; a signed text is no dotted mask either.
        {"-1", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, -1"},
        {"-0", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, -0"},
        {"+8", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, +8"},
        {"-0.255.255.255", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, -0.255.255.255"},
        {"", "UIPv4Netmask::parse()", "EXCEPTION - invalid value, "},
    };
    for (const auto& c : cases) {
        auto r = thrown([&] { UIPv4Netmask::parse(c.text); });
        EXPECT_EQ(r.first, c.message) << c.text;
        EXPECT_EQ(r.second, c.function) << c.text;
    }
}

TEST(IpV4Address, ParseValueAndRefusal)
{
    EXPECT_EQ(UIPv4Address::parse("10.0.0.1").value(), 0x0A000001u);
    RecordingLog log;
    auto r = thrown([] { UIPv4Address::parse("10.0.1"); });
    EXPECT_EQ(r.first, "EXCEPTION - invalid value, 10.0.1");
    EXPECT_EQ(r.second, "UIPv4Address::parse()");
    for (const char* text : {"-0.1.2.3", "+10.1.2.3", " 10. 1. 2. 3", "10.1.2.3 ", "1.2.3.4.5", "1.2.3.0004"})
        EXPECT_EQ(thrown([&] { UIPv4Address::parse(text); }).second, "UIPv4Address::parse()") << text;
}

TEST(IpV6Netmask, AcceptedAndRefusedTexts)
{
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("64").bytes()), "ffffffffffffffff0000000000000000");
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("128").bytes()), std::string(32, 'f'));
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("0").bytes()), std::string(32, '0'));
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("57").bytes()), "ffffffffffffff800000000000000000");
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("ffff:ffff:ffff:ffff:0:0:0:0").bytes()),
              "ffffffffffffffff0000000000000000");
    EXPECT_EQ(hex16(UIPv6NetmaskExpanded::parse("ffff:fe00:0:0:0:0:0:0").bytes()), "fffffe00000000000000000000000000");

    RecordingLog log;
    struct {
        const char* text;
        const char* function;
    } const refused[] = {
        {"129", "UIPv6NetmaskExpanded::fromCiscoValue()"},
        {"ffff:0:ffff:0:0:0:0:0", "UIPv6NetmaskExpanded::parse()"},
        {"ffff:7fff:0:0:0:0:0:0", "UIPv6NetmaskExpanded::parse()"},
        {"ffff::", "UIPv6AddressExpanded::parse()"},
        {"300", "IntToDWORD()"},
        {"-0", "UIPv6AddressExpanded::parse()"},
        {"+8", "UIPv6AddressExpanded::parse()"},
    };
    for (const auto& c : refused)
        EXPECT_EQ(thrown([&] { UIPv6NetmaskExpanded::parse(c.text); }).second, c.function) << c.text;
}

TEST(IpV6Address, ExpandedParserTakesOnlyEightGroups)
{
    const auto a = UIPv6AddressExpanded::parse("fe80:0:0:0:0:0:0:1");
    EXPECT_EQ(hex16(a.bytes()), "fe800000000000000000000000000001");
    RecordingLog log;
    for (const char* t : {"fe80::1", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "1:2:3:4:5:6:1.2.3.4", " 1:2:3:4:5:6:7:8",
                          "1:2:3:4:5:6:7:8 ", "12345:2:3:4:5:6:7:8", ""}) {
        auto r = thrown([&] { UIPv6AddressExpanded::parse(t); });
        EXPECT_EQ(r.second, "UIPv6AddressExpanded::parse()") << t;
        EXPECT_EQ(r.first, std::string("EXCEPTION - invalid value, ") + t);
    }
}

TEST(IpV6Address, Expand)
{
    struct {
        const char* in;
        const char* out;
    } const cases[] = {
        {"1::2", "1:0000:0000:0000:0000:0000:0000:2"},
        {"::1", "0000:0000:0000:0000:0000:0000:0000:1"},
        {"1::", "1:0000:0000:0000:0000:0000:0000:0000"},
        {"fe80::", "fe80:0000:0000:0000:0000:0000:0000:0000"},
        {"::", "0000:0000:0000:0000:0000:0000:0000:0000"},
        {"1:2:3:4:5:6::7", "1:2:3:4:5:6:0000:7"},
        {"not an address", "not an address"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(static_cast<const char*>(UIPv6Address::Expand(c.in)), c.out) << c.in;

    RecordingLog log;
    EXPECT_EQ(thrown([] { UIPv6Address::Expand("1:2:3:4:5:6:7::"); }).second, "UIPv6Address::Expand()");
}

TEST(IpSubnet, Parse)
{
    const auto s = UIPv4Subnet::parse("10.0.0.0/8");
    EXPECT_EQ(s.address().value(), 0x0A000000u);
    EXPECT_EQ(s.netmask().value(), 0xFF000000u);
    EXPECT_EQ(UIPv4Subnet::parse("10.0.0.0//8").netmask().value(), 0xFF000000u);
    EXPECT_EQ(UIPv4Subnet::parse("10.0.0.0/8/").netmask().value(), 0xFF000000u);
    EXPECT_EQ(UIPv4Subnet::parse("10.1.2.3/255.0.0.0").address().value(), 0x0A010203u);

    const auto s6 = UIPv6Subnet::parse("fe80:0:0:0:0:0:0:0/10");
    EXPECT_EQ(hex16(s6.netmask().bytes()), "ffc00000000000000000000000000000");

    RecordingLog log;
    for (const char* t : {"/8", "10.0.0.0", "a/b/c", ""}) {
        auto r = thrown([&] { UIPv4Subnet::parse(t); });
        EXPECT_EQ(r.second, "UIPvXSubnet::parse()") << t;
        EXPECT_EQ(r.first, std::string("EXCEPTION - invalid subnet, ") + t);
    }
    // The address is parsed first.
    EXPECT_EQ(thrown([] { UIPv4Subnet::parse("x/y"); }).second, "UIPv4Address::parse()");
    EXPECT_EQ(thrown([] { UIPv4Subnet::parse("10.0.0.0/255.0.255.0"); }).second, "UIPv4Netmask::parse()");
}

TEST(IpAddressParse, ClassifiesHostTexts)
{
    RecordingLog log;
    struct {
        const char* text;
        int kind;
    } const cases[] = {
        {"", 0},
        {"10.1.2.3", 2},
        {"vpn.example.com", 1},
        {"host-1.example", 1},
        {"-host.example", 0},
        {"user@host", 0},
        {"1.2.3.256", 1},
        {"[::1]", 3},
        {"::1", 3},
        {"[fe80::1]", 3},
        {"1:2:3:4:5:6:7::", 3},
        {"::ffff:10.0.0.1", 3},
        {"[::1]:443", 0},
        {"host:80", 0},
        {"fe80::1%eth0", 0},
        {"host name", 0},
        {"host\tname", 0},
        {"host\nname", 0},
        {"10.0.0.1 ", 0},
        {"evil.com/path", 0},
        {"evil.com\\path", 0},
        {"evil.com?x", 0},
        {"evil.com#x", 0},
        {"a<b", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UIPAddress::Parse(c.text), c.kind) << '"' << c.text << '"';

    EXPECT_EQ(UIPAddress::Parse(CString('a', 512)), 1);
    EXPECT_EQ(UIPAddress::Parse(CString('a', 513)), 0);
    EXPECT_EQ(UIPAddress::Parse(CString("a\0b", 3)), 0);
}

TEST(IpAddressParse, RecordsOnlyWhatFails)
{
    RecordingLog log;
    EXPECT_EQ(UIPAddress::Parse(""), 0);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(UIPAddress::Parse("host:80"), 0);
    EXPECT_TRUE(log.contains("EXCEPTION - invalid value, host:80"));
    EXPECT_TRUE(log.contains("EXCEPTION caught:  - EXCEPTION"));
}

TEST(Plen2Mask, WritesMasks)
{
    sockaddr_in v4;
    std::memset(&v4, 0, sizeof v4);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(99);
    ASSERT_EQ(plen2mask(24, reinterpret_cast<sockaddr*>(&v4)), 0);
    EXPECT_EQ(ntohl(v4.sin_addr.s_addr), 0xFFFFFF00u);
    EXPECT_EQ(ntohs(v4.sin_port), 99);
    ASSERT_EQ(plen2mask(0, reinterpret_cast<sockaddr*>(&v4)), 0);
    EXPECT_EQ(v4.sin_addr.s_addr, 0u);
    ASSERT_EQ(plen2mask(32, reinterpret_cast<sockaddr*>(&v4)), 0);
    EXPECT_EQ(v4.sin_addr.s_addr, 0xFFFFFFFFu);
    ASSERT_EQ(plen2mask(19, reinterpret_cast<sockaddr*>(&v4)), 0);
    EXPECT_EQ(ntohl(v4.sin_addr.s_addr), 0xFFFFE000u);

    sockaddr_in6 v6;
    std::memset(&v6, 0, sizeof v6);
    v6.sin6_family = AF_INET6;
    ASSERT_EQ(plen2mask(128, reinterpret_cast<sockaddr*>(&v6)), 0);
    EXPECT_EQ(hex16(v6.sin6_addr.s6_addr), std::string(32, 'f'));
    ASSERT_EQ(plen2mask(65, reinterpret_cast<sockaddr*>(&v6)), 0);
    EXPECT_EQ(hex16(v6.sin6_addr.s6_addr), "ffffffffffffffff8000000000000000");
}

TEST(Plen2Mask, RefusesBadArguments)
{
    RecordingLog log;
    EXPECT_EQ(plen2mask(24, nullptr), -1);
    EXPECT_TRUE(log.contains("plen2mask, Invalid parameter"));

    // A guard after the IPv4 address shows that nothing is written past it.
    struct {
        sockaddr_in a;
        unsigned char guard[16];
    } v4;
    std::memset(&v4, 0, sizeof v4);
    v4.a.sin_family = AF_INET;
    for (int bad : {129, -1, 33, 128}) {
        log.clear();
        EXPECT_EQ(plen2mask(bad, reinterpret_cast<sockaddr*>(&v4.a)), -1) << bad;
        EXPECT_TRUE(log.contains("Incorrect prefix length, " + std::to_string(bad))) << bad;
    }
    EXPECT_EQ(v4.a.sin_addr.s_addr, 0u);
    for (unsigned char g : v4.guard)
        EXPECT_EQ(g, 0);

    sockaddr_in6 v6;
    std::memset(&v6, 0, sizeof v6);
    v6.sin6_family = AF_INET6;
    EXPECT_EQ(plen2mask(129, reinterpret_cast<sockaddr*>(&v6)), -1);

    sockaddr other;
    std::memset(&other, 0, sizeof other);
    log.clear();
    EXPECT_EQ(plen2mask(8, &other), -1);
    EXPECT_TRUE(log.contains("Unexpected Family, 0"));
}

TEST(Mask2Plen, CountsLeadingRunAndRefusesOthers)
{
    RecordingLog log;
    unsigned char plen = 99;
    const unsigned char m24[] = {0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(mask2plen(m24, 4, &plen), 0);
    EXPECT_EQ(plen, 24);
    const unsigned char zeros[16] = {0};
    EXPECT_EQ(mask2plen(zeros, 16, &plen), 0);
    EXPECT_EQ(plen, 0);
    unsigned char all[16];
    std::memset(all, 0xFF, sizeof all);
    EXPECT_EQ(mask2plen(all, 16, &plen), 0);
    EXPECT_EQ(plen, 128);
    EXPECT_EQ(mask2plen(all, 0, &plen), 0);
    EXPECT_EQ(plen, 0);

    unsigned char big[17] = {0};
    EXPECT_EQ(mask2plen(big, 17, &plen), -1);
    EXPECT_TRUE(log.contains("Incorrect byte count, 17"));

    plen = 7;
    const unsigned char bad[] = {0xFF, 0x7F};
    EXPECT_EQ(mask2plen(bad, 2, &plen), -1);
    EXPECT_TRUE(log.contains("Invalid byte, 127"));
    EXPECT_EQ(plen, 7);

    // Not one leading run of ones.
    const unsigned char gap[] = {0xFF, 0x00, 0xFF, 0x00};
    EXPECT_EQ(mask2plen(gap, 4, &plen), -1);
    const unsigned char partialThenOnes[] = {0xF0, 0x80};
    EXPECT_EQ(mask2plen(partialThenOnes, 2, &plen), -1);
    EXPECT_EQ(plen, 7);

    EXPECT_EQ(mask2plen(nullptr, 4, &plen), -1);
    EXPECT_EQ(mask2plen(m24, 4, nullptr), -1);
}

TEST(SockMask2Plen, BothFamilies)
{
    RecordingLog log;
    unsigned char plen = 0;
    sockaddr_in v4;
    std::memset(&v4, 0, sizeof v4);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(0xFFFFFFF0u);
    EXPECT_EQ(sock_mask2plen(reinterpret_cast<sockaddr*>(&v4), &plen), 0);
    EXPECT_EQ(plen, 28);

    sockaddr_in6 v6;
    std::memset(&v6, 0, sizeof v6);
    v6.sin6_family = AF_INET6;
    ASSERT_EQ(plen2mask(100, reinterpret_cast<sockaddr*>(&v6)), 0);
    EXPECT_EQ(sock_mask2plen(reinterpret_cast<sockaddr*>(&v6), &plen), 0);
    EXPECT_EQ(plen, 100);

    sockaddr other;
    std::memset(&other, 0, sizeof other);
    other.sa_family = AF_UNIX;
    EXPECT_EQ(sock_mask2plen(&other, &plen), -1);
    EXPECT_TRUE(log.contains("Unexpected Family, 1"));
    EXPECT_EQ(sock_mask2plen(nullptr, &plen), -1);
}

TEST(SockPton, NumericTextsOnly)
{
    RecordingLog log;
    sockaddr_storage ss;
    socklen_t len = sizeof ss;
    ASSERT_EQ(sock_pton("192.0.2.1", reinterpret_cast<sockaddr*>(&ss), &len), 0);
    EXPECT_EQ(ss.ss_family, AF_INET);
    EXPECT_EQ(len, sizeof(sockaddr_in));
    EXPECT_EQ(ntohl(reinterpret_cast<sockaddr_in*>(&ss)->sin_addr.s_addr), 0xC0000201u);

    len = sizeof ss;
    ASSERT_EQ(sock_pton("fe80::1", reinterpret_cast<sockaddr*>(&ss), &len), 0);
    EXPECT_EQ(ss.ss_family, AF_INET6);
    EXPECT_EQ(len, sizeof(sockaddr_in6));

    len = sizeof ss;
    EXPECT_EQ(sock_pton("localhost", reinterpret_cast<sockaddr*>(&ss), &len), EAI_NONAME);

    len = 4;
    EXPECT_EQ(sock_pton("192.0.2.1", reinterpret_cast<sockaddr*>(&ss), &len), 1);
    EXPECT_EQ(len, 4u);
}

TEST(SockNtop, Texts)
{
    RecordingLog log;
    sockaddr_in v4;
    std::memset(&v4, 0, sizeof v4);
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, "10.1.2.3", &v4.sin_addr);
    EXPECT_STREQ(static_cast<const char*>(sock_ntop(reinterpret_cast<sockaddr*>(&v4))), "10.1.2.3");

    sockaddr_in6 v6;
    std::memset(&v6, 0, sizeof v6);
    v6.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "fe80::1", &v6.sin6_addr);
    EXPECT_STREQ(static_cast<const char*>(sock_ntop(reinterpret_cast<sockaddr*>(&v6))), "fe80::1");

    const unsigned lo = if_nametoindex("lo");
    if (lo != 0) {
        v6.sin6_scope_id = lo;
        EXPECT_STREQ(static_cast<const char*>(sock_ntop(reinterpret_cast<sockaddr*>(&v6))), "fe80::1%lo");
        inet_pton(AF_INET6, "ff02::1", &v6.sin6_addr);
        EXPECT_STREQ(static_cast<const char*>(sock_ntop(reinterpret_cast<sockaddr*>(&v6))), "ff02::1%lo");
    }
    inet_pton(AF_INET6, "fe80::1", &v6.sin6_addr);
    v6.sin6_scope_id = 999;
    EXPECT_STREQ(static_cast<const char*>(sock_ntop(reinterpret_cast<sockaddr*>(&v6))), "fe80::1%999");
    inet_pton(AF_INET6, "2001:db8::1", &v6.sin6_addr);
    v6.sin6_scope_id = lo != 0 ? lo : 5;
    EXPECT_EQ(std::string(sock_ntop(reinterpret_cast<sockaddr*>(&v6))),
              "2001:db8::1%" + std::to_string(v6.sin6_scope_id));

    sockaddr other;
    std::memset(&other, 0, sizeof other);
    other.sa_family = AF_UNIX;
    EXPECT_TRUE(sock_ntop(&other).IsEmpty());
    EXPECT_TRUE(log.contains("Unregonized Family, 1"));
    EXPECT_TRUE(sock_ntop(nullptr).IsEmpty());
}
