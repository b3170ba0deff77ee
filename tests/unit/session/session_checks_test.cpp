// The session's network checks: range and private-address tables, the
// interface scan over an injected interface list, and the server-address
// check over an injected resolver.
#include "RecordingLog.h"

#include "session/SessionNetworkChecks.h"

#include <QHostAddress>

#include <arpa/inet.h>
#include <net/if.h>

#include <gtest/gtest.h>

using tessal::qt::ConnectivityProfileParser;
using tessal::qt::InterfaceAddress;
using tessal::qt::SessionNetworkChecks;
using tessal::test::RecordingLog;

namespace {

std::string lines(const QStringList& texts)
{
    return texts.join('\n').toStdString();
}

std::vector<std::string> texts(const std::vector<CString>& list)
{
    std::vector<std::string> out;
    for (const CString& s : list)
        out.emplace_back(static_cast<const char*>(s));
    return out;
}

struct RangeCase {
    const char* ip;
    const char* cidr;
    bool inside;
};

TEST(SessionChecks, IPv4RangeTable)
{
    const RangeCase cases[] = {
        {"10.1.2.3", "10.0.0.0/8", true},
        {"11.1.2.3", "10.0.0.0/8", false},
        {"10.1.2.3", "10.1.0.0/16", true},
        {"10.2.2.3", "10.1.0.0/16", false},
        {"203.0.113.5", "0.0.0.0/0", true},
        {"203.0.113.5", "203.0.113.5/32", true},
        {"203.0.113.6", "203.0.113.5/32", false},
        {"203.0.113.200", "203.0.113.128/25", true},
        {"203.0.113.127", "203.0.113.128/25", false},
        {"10.9.9.9", "10.255.255.255/8", true}, // host bits of the network are ignored
        {"198.51.100.1", "10.0.0.0/", true}, // an empty prefix reads as 0
        {"10.1.2.3", "10.0.0.0/ 8", true}, // leading blank allowed
        {"11.1.2.3", "10.0.0.0/8abc", false}, // trailing characters ignored
        {"10.1.2.3", "10.0.0.0/+8", true},
    };
    for (const RangeCase& c : cases)
        EXPECT_EQ(SessionNetworkChecks::isInLANV4Range(c.ip, c.cidr), c.inside) << c.ip << " in " << c.cidr;
}

TEST(SessionChecks, IPv6RangeTable)
{
    const RangeCase cases[] = {
        {"2001:db8:1::5", "2001:db8::/32", true},
        {"2001:db8:1::5", "2000::/3", true},
        {"2001:db8:1::5", "2001:db8:2::/48", false},
        {"fe80::1", "fe80::/10", true},
        {"fec0::1", "fe80::/10", false},
        {"2001:db8::1", "::/0", true},
        {"2001:db8::1", "2001:db8::1/128", true},
        {"2001:db8::2", "2001:db8::1/128", false},
        {"2001:db8:8000::1", "2001:db8:8000::/33", true},
        {"2001:db8:7fff::1", "2001:db8:8000::/33", false},
        {"2001:0DB8:0000::0001", "2001:db8::/64", true},
    };
    for (const RangeCase& c : cases)
        EXPECT_EQ(SessionNetworkChecks::isInLANV6Range(c.ip, c.cidr), c.inside) << c.ip << " in " << c.cidr;
}

TEST(SessionChecks, InvalidRangesCoverNothingAndSayWhy)
{
    struct Invalid {
        bool v6;
        const char* ip;
        const char* cidr;
        const char* record;
    };
    const Invalid cases[] = {
        {false, "300.1.1.1", "10.0.0.0/8", "Invalid IP address, 300.1.1.1"},
        {false, "10.1.1.1", "10.0.0.0", "Invalid CIDR range, 10.0.0.0"},
        {false, "10.1.1.1", "10.0.0/8", "Invalid network address, 10.0.0"},
        {false, "10.1.1.1", "10.0.0.0/33", "Invalid prefix length: , 33"},
        {false, "10.1.1.1", "10.0.0.0/-1", "Invalid prefix length: , -1"},
        // 2^32 + 8: must not wrap into /8.
        {false, "10.1.1.1", "10.0.0.0/4294967304", "Invalid prefix length: , 4294967304"},
        {true, "2001:db8::1", "2001:db8::/129", "Invalid IPv6 prefix length: , 129"},
        {true, "2001:db8::1", "2001:db8::/18446744073709551744", "Invalid IPv6 prefix length: , 9223372036854775807"},
        {true, "10.1.1.1", "::/0", "Invalid IPv6 address, 10.1.1.1"},
        {true, "2001:db8::1", "2001:db8::", "Invalid IPv6 CIDR range, 2001:db8::"},
        {true, "2001:db8::1", "2001:db8:::/32", "Invalid IPv6 network address, 2001:db8:::"},
    };
    for (const Invalid& c : cases) {
        RecordingLog log;
        const bool inside = c.v6 ? SessionNetworkChecks::isInLANV6Range(c.ip, c.cidr)
                                 : SessionNetworkChecks::isInLANV4Range(c.ip, c.cidr);
        EXPECT_FALSE(inside) << c.cidr;
        const QStringList records = log.withMessage(QString::fromUtf8(c.record));
        ASSERT_EQ(records.size(), 1) << c.record << "\n" << lines(log.qLines());
        const QString fn = c.v6 ? "bool tessal::qt::Session::isInLANV6Range(const char*, const char*)"
                                : "bool tessal::qt::Session::isInLANV4Range(const char*, const char*)";
        EXPECT_TRUE(records[0].startsWith("1, /Session, ")) << records[0].toStdString();
        EXPECT_TRUE(records[0].contains(", " + fn + ", ")) << records[0].toStdString();
    }
}

TEST(SessionChecks, LongRangeTextsUseTheirFirst255Characters)
{
    // The prefix digits beyond the 255th character are cut off: "/" + 246 zeros reads as 0.
    const std::string zeros = "10.0.0.0/" + std::string(246, '0');
    ASSERT_EQ(zeros.size(), 255u);
    EXPECT_TRUE(SessionNetworkChecks::isInLANV4Range("203.0.113.5", (zeros + "8").c_str()));
    EXPECT_FALSE(SessionNetworkChecks::isInLANV4Range("203.0.113.5", (zeros.substr(0, 254) + "8").c_str()));
    // A "/" beyond the working copy is not seen.
    EXPECT_FALSE(SessionNetworkChecks::isInLANV4Range("10.0.0.1", (std::string(300, '1') + "/8").c_str()));
    EXPECT_FALSE(SessionNetworkChecks::isInLANV6Range("::1", std::string(4000, ':').c_str()));
}

TEST(SessionChecks, PrivateAddressTables)
{
    const std::pair<const char*, bool> v4[] = {
        {"10.0.0.1", true},    {"10.255.255.255", true}, {"9.255.255.255", false},   {"11.0.0.0", false},
        {"172.16.0.1", true},  {"172.31.255.255", true}, {"172.15.255.255", false},  {"172.32.0.0", false},
        {"192.168.1.5", true}, {"192.169.0.1", false},   {"192.167.255.255", false}, {"169.254.1.1", false},
        {"100.64.0.1", false}, {"203.0.113.5", false},   {"127.0.0.1", false},
    };
    for (const auto& [ip, isPrivate] : v4)
        EXPECT_EQ(SessionNetworkChecks::isPrivateIPv4(ip), isPrivate) << ip;

    const std::pair<const char*, bool> v6[] = {
        {"fc00::1", true},  {"fdff:ffff::1", true}, {"fe80::1", true},          {"febf:ffff::1", true},
        {"fec0::1", false}, {"fe00::1", false},     {"fbff::1", false},         {"2001:db8::1", false},
        {"::1", false},     {"ff02::1", false},     {"::ffff:10.0.0.1", false},
    };
    for (const auto& [ip, isPrivate] : v6) {
        in6_addr a{};
        ASSERT_EQ(inet_pton(AF_INET6, ip, &a), 1) << ip;
        EXPECT_EQ(SessionNetworkChecks::isPrivateIPv6(a), isPrivate) << ip;
    }
}

// Interface entries for the injected list.
InterfaceAddress v4(const char* name, unsigned flags, const char* ip)
{
    InterfaceAddress a;
    a.name = name;
    a.flags = flags;
    a.family = AF_INET;
    inet_pton(AF_INET, ip, &a.v4);
    return a;
}

InterfaceAddress v6(const char* name, unsigned flags, const char* ip)
{
    InterfaceAddress a;
    a.name = name;
    a.flags = flags;
    a.family = AF_INET6;
    inet_pton(AF_INET6, ip, &a.v6);
    return a;
}

constexpr unsigned kActive = IFF_UP | IFF_RUNNING | IFF_BROADCAST;

std::vector<InterfaceAddress> machine()
{
    InterfaceAddress noAddress;
    noAddress.name = "wg0";
    noAddress.flags = kActive;
    InterfaceAddress packet;
    packet.name = "eth0";
    packet.flags = kActive;
    packet.family = AF_PACKET;
    return {
        v4("lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, "127.0.0.1"),
        v6("lo", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, "::1"),
        v4("lo2", IFF_UP | IFF_RUNNING | IFF_LOOPBACK, "203.0.113.99"),
        packet,
        noAddress,
        v4("eth0", kActive, "203.0.113.5"),
        v4("eth0", kActive, "192.168.1.5"),
        v6("eth0", kActive, "2001:db8:1::5"),
        v6("eth0", kActive, "fe80::1"),
        v4("wlan0", kActive, "169.254.7.7"),
        v4("down0", IFF_BROADCAST | IFF_RUNNING, "198.51.100.7"),
        v4("stalled0", IFF_UP | IFF_BROADCAST, "198.51.100.8"),
        v6("stalled0", IFF_UP, "2001:db8:9::9"),
    };
}

SessionNetworkChecks checksOver(std::vector<InterfaceAddress> list)
{
    SessionNetworkChecks checks;
    checks.setInterfaceLister([list](std::vector<InterfaceAddress>& out) {
        out = list;
        return true;
    });
    return checks;
}

ConnectivityProfileParser ranges(std::vector<std::string> lan)
{
    ConnectivityProfileParser p;
    p.lanSubnetRanges = std::move(lan);
    return p;
}

TEST(SessionChecks, ScanTakesPublicAddressesOfActiveInterfacesOnly)
{
    RecordingLog log;
    SessionNetworkChecks checks = checksOver(machine());
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({})), 0);
    EXPECT_EQ(texts(checks.vectVulnerableIPv4s), (std::vector<std::string>{"203.0.113.5", "169.254.7.7"}));
    EXPECT_EQ(texts(checks.vectVulnerableIPv6s), (std::vector<std::string>{"2001:db8:1::5"}));

    // Loopback, down and not-running interfaces leave no record at all.
    const std::string all = lines(log.qLines());
    for (const char* absent : {"lo", "lo2", "down0", "stalled0", "wg0", "198.51.100", "127.0.0.1"})
        EXPECT_EQ(all.find(std::string(", ") + absent), std::string::npos) << absent;
    EXPECT_EQ(log.withMessage("IPv4 interface address is, eth0, 203.0.113.5").size(), 1);
    EXPECT_EQ(log.withMessage("IPv4 interface address is, eth0, 192.168.1.5").size(), 1);
    EXPECT_EQ(log.withMessage("IPv6 Interface address is, eth0, fe80::1").size(), 1);
    EXPECT_EQ(log.withMessage("IPv4 address is not private").size(), 2);
    EXPECT_EQ(log.withMessage("IPv6 address is not private").size(), 1);
    EXPECT_EQ(log.withMessage("Local Net range is empty").size(), 1);
    EXPECT_EQ(log.withMessage("Local Net IPv6 range is empty").size(), 1);
    const QStringList size4 = log.withMessage("Size of vectVulnerableIPv4s: , 2");
    ASSERT_EQ(size4.size(), 1);
    EXPECT_TRUE(size4[0].contains(", Session::getVulnerableNetworkInterfaceInfo, ")) << size4[0].toStdString();
    EXPECT_EQ(log.withMessage("Size of vectVulnerableIPv6s: , 1").size(), 1);
    const QStringList vulnerable = log.withMessage("::, 169.254.7.7");
    ASSERT_EQ(vulnerable.size(), 1);
    EXPECT_TRUE(
        vulnerable[0].contains(", Session::getVulnerableNetworkInterfaceInfo The IPV4 Vulnerable IPs received are , "));
    EXPECT_EQ(log.withMessage("::, 2001:db8:1::5").size(), 1);
}

TEST(SessionChecks, RangesCoverTheirAddresses)
{
    RecordingLog log;
    SessionNetworkChecks checks = checksOver(machine());
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"203.0.113.0/24", "2001:db8::/32"})), 0);
    EXPECT_EQ(texts(checks.vectVulnerableIPv4s), std::vector<std::string>{"169.254.7.7"});
    EXPECT_TRUE(checks.vectVulnerableIPv6s.empty());
    const QStringList v4ranges = log.withMessage("::, 203.0.113.0/24");
    ASSERT_EQ(v4ranges.size(), 1);
    EXPECT_TRUE(v4ranges[0].contains(", The IPV4 LanRanges received in vectIPv4LanRanges vector is, "));
    const QStringList v6ranges = log.withMessage("::, 2001:db8::/32");
    ASSERT_EQ(v6ranges.size(), 1);
    EXPECT_TRUE(v6ranges[0].contains(",  The IPV6 LanRanges received in vectIPv6LanRanges vector is, "));

    // 0.0.0.0/0 covers every address; a second run replaces the lists.
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"0.0.0.0/0"})), 0);
    EXPECT_TRUE(checks.vectVulnerableIPv4s.empty());
    EXPECT_EQ(texts(checks.vectVulnerableIPv6s), std::vector<std::string>{"2001:db8:1::5"});
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({})), 0);
    EXPECT_EQ(checks.vectVulnerableIPv4s.size(), 2u);
}

TEST(SessionChecks, AnEmptyRangeEndsTheRangeList)
{
    RecordingLog log;
    SessionNetworkChecks checks = checksOver(machine());
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"169.254.0.0/16", "", "203.0.113.0/24"})), 0);
    EXPECT_EQ(texts(checks.vectVulnerableIPv4s), std::vector<std::string>{"203.0.113.5"});
    EXPECT_EQ(log.withMessage("Parsing didn't happen for Lan Ranges").size(), 1);
}

TEST(SessionChecks, AnInvalidRangeIsReportedOncePerCandidate)
{
    RecordingLog log;
    SessionNetworkChecks checks = checksOver(machine());
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"10.0.0.0/33", "169.254.0.0/16"})), 0);
    EXPECT_EQ(texts(checks.vectVulnerableIPv4s), std::vector<std::string>{"203.0.113.5"});
    EXPECT_EQ(log.withMessage("Invalid prefix length: , 33").size(), 2);
}

TEST(SessionChecks, AllPrivateMachineHasNothingVulnerable)
{
    SessionNetworkChecks checks = checksOver({v4("eth0", kActive, "192.168.1.5"), v6("eth0", kActive, "fe80::1"),
                                              v4("eth1", kActive, "10.3.3.3"), v6("eth1", kActive, "fd00::7")});
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"203.0.113.0/24"})), 0);
    EXPECT_TRUE(checks.vectVulnerableIPv4s.empty());
    EXPECT_TRUE(checks.vectVulnerableIPv6s.empty());
}

TEST(SessionChecks, AnUnreadableInterfaceListFailsWithEmptyLists)
{
    SessionNetworkChecks checks = checksOver(machine());
    ASSERT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({})), 0);
    ASSERT_FALSE(checks.vectVulnerableIPv4s.empty());

    RecordingLog log;
    checks.setInterfaceLister([](std::vector<InterfaceAddress>&) { return false; });
    EXPECT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({"10.0.0.0/8"})), -1);
    EXPECT_TRUE(checks.vectVulnerableIPv4s.empty());
    EXPECT_TRUE(checks.vectVulnerableIPv6s.empty());
    const QStringList records = log.withMessage("Unable to fetch interface addresses");
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records[0].startsWith("1, /Session, "));
    EXPECT_TRUE(records[0].contains(", int tessal::qt::Session::getVulnerableNetworkInterfaceInfo(), "));
}

TEST(SessionChecks, TheSystemInterfaceListIsReadable)
{
    std::vector<InterfaceAddress> list;
    ASSERT_TRUE(SessionNetworkChecks::readSystemInterfaces(list));
    SessionNetworkChecks checks;
    EXPECT_EQ(checks.getVulnerableNetworkInterfaceInfo(ranges({})), 0);
    for (const CString& a : checks.vectVulnerableIPv4s)
        EXPECT_FALSE(SessionNetworkChecks::isPrivateIPv4(static_cast<const char*>(a)));
}

// A resolver that answers with fixed addresses (or none) and notes what it was asked.
struct FakeResolver {
    QList<QHostAddress> addresses;
    QHostInfo::HostInfoError error = QHostInfo::NoError;
    std::shared_ptr<QStringList> asked = std::make_shared<QStringList>();

    SessionNetworkChecks::HostResolver fn() const
    {
        return [*this](const QString& host) {
            asked->append(host);
            QHostInfo info;
            info.setHostName(host);
            info.setError(error);
            info.setAddresses(addresses);
            return info;
        };
    }
};

ConnectivityProfileParser allowed(std::vector<std::string> ips)
{
    ConnectivityProfileParser p;
    p.validServerIPs = std::move(ips);
    return p;
}

const QUrl kServer(QStringLiteral("https://vpn.example.com:8443/x?y=1"));

TEST(SessionChecks, ServerAddressMustBeListed)
{
    RecordingLog log;
    FakeResolver r;
    r.addresses = {QHostAddress(QStringLiteral("192.0.2.1")), QHostAddress(QStringLiteral("192.0.2.2"))};
    SessionNetworkChecks checks;
    checks.setHostResolver(r.fn());

    // Only the first address counts.
    EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({"192.0.2.2"})));
    EXPECT_EQ(*r.asked, QStringList{QStringLiteral("vpn.example.com")});
    EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({"198.51.100.1", "192.0.2.1"})));
    EXPECT_EQ(log.withMessage("Corvel VS IP matched with resolved hostname").size(), 1);
    EXPECT_EQ(log.withMessage("Hostname is, vpn.example.com").size(), 2);
    EXPECT_EQ(log.withMessage("IP address resolved is, 192.0.2.1").size(), 2);
    // Entries that are no address never match.
    EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({"vpn.example.com", "", "192.0.2.1/32"})));

    // An empty list switches the check off.
    EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({})));
    const QStringList disabled = log.withMessage("Server IP check disabled");
    ASSERT_EQ(disabled.size(), 1);
    EXPECT_TRUE(disabled[0].startsWith("48, /Session, "));
    EXPECT_TRUE(disabled[0].contains(", bool tessal::qt::Session::isServerIPValid(), "));
}

TEST(SessionChecks, ServerAddressesCompareAsAddresses)
{
    FakeResolver r;
    r.addresses = {QHostAddress(QStringLiteral("2001:db8::1"))};
    SessionNetworkChecks checks;
    checks.setHostResolver(r.fn());
    // An address is its own answer, asked of no name server.
    EXPECT_TRUE(checks.isServerIPValid(QUrl(QStringLiteral("https://[2001:db8::2]/")), allowed({"2001:DB8::2"})));
    EXPECT_TRUE(checks.isServerIPValid(QUrl(QStringLiteral("https://192.0.2.7:444/")), allowed({"192.0.2.7"})));
    EXPECT_TRUE(r.asked->isEmpty());
    EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({"2001:0db8:0000:0000:0000:0000:0000:0001"})));
    EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({"2001:db8::2", "192.0.2.1"})));
    // An IPv4 address and its IPv6-mapped form are different addresses.
    r.addresses = {QHostAddress(QStringLiteral("192.0.2.1"))};
    checks.setHostResolver(r.fn());
    EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({"::ffff:192.0.2.1"})));
}

TEST(SessionChecks, TheNameLookedUpAheadIsNotAskedAgain)
{
    // The resolver answers 192.0.2.1, the lookup ahead 192.0.2.9 (when it answers at all).
    FakeResolver r;
    r.addresses = {QHostAddress(QStringLiteral("192.0.2.1"))};
    std::vector<std::pair<QString, std::function<void(const QHostInfo&)>>> started;
    SessionNetworkChecks checks;
    checks.setLookupStarter([&](const QString& host, QObject*, std::function<void(const QHostInfo&)> done) {
        started.emplace_back(host, std::move(done));
    });
    struct Row {
        const char* ahead;
        bool answered;
        QHostInfo::HostInfoError error;
        bool withAddress;
        bool resolverAsked;
    };
    const Row rows[] = {
        {"https://vpn.example.com/", true, QHostInfo::NoError, true, false},
        {"https://vpn.example.com/", false, QHostInfo::NoError, true, true},
        {"https://vpn.example.com/", true, QHostInfo::HostNotFound, true, true},
        {"https://vpn.example.com/", true, QHostInfo::NoError, false, true},
        {"https://other.example.com/", true, QHostInfo::NoError, true, true},
    };
    QHostInfo info;
    for (const Row& row : rows) {
        r.asked->clear();
        started.clear();
        checks.setHostResolver(r.fn());
        checks.lookUpServerAhead(QUrl(QString::fromLatin1(row.ahead)), nullptr);
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].first, QUrl(QString::fromLatin1(row.ahead)).host());
        info.setError(row.error);
        info.setAddresses(row.withAddress ? QList<QHostAddress>{QHostAddress(QStringLiteral("192.0.2.9"))}
                                          : QList<QHostAddress>{});
        if (row.answered)
            started[0].second(info);
        EXPECT_EQ(checks.isServerIPValid(kServer, allowed({"192.0.2.9"})), !row.resolverAsked) << row.ahead;
        EXPECT_EQ(r.asked->size(), row.resolverAsked ? 1 : 0) << row.ahead;
    }

    // An address is not looked up; an answer to an earlier lookup is not taken.
    started.clear();
    checks.lookUpServerAhead(QUrl(QStringLiteral("https://192.0.2.7/")), nullptr);
    EXPECT_TRUE(started.empty());
    checks.lookUpServerAhead(kServer, nullptr);
    checks.lookUpServerAhead(kServer, nullptr);
    started.at(0).second(info);
    EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({"192.0.2.9"})));
}

TEST(SessionChecks, ShorthandEntriesMatchNothingAndAreRecorded)
{
    RecordingLog log;
    const std::pair<const char*, const char*> rows[] = {{"10.0.0.1", "10.1"},        {"127.0.0.1", "0x7f.1"},
                                                        {"192.0.2.1", "3221225985"}, {"192.0.2.1", "0300.0.2.1"},
                                                        {"192.0.2.1", "192.0.2.01"}, {"10.0.0.1", "10.0.1"}};
    for (const auto& [resolved, entry] : rows) {
        FakeResolver r;
        r.addresses = {QHostAddress(QString::fromLatin1(resolved))};
        SessionNetworkChecks checks;
        checks.setHostResolver(r.fn());
        EXPECT_FALSE(checks.isServerIPValid(kServer, allowed({entry}))) << entry;
        EXPECT_EQ(log.withMessage(QStringLiteral("Server IP entry is not an address, ignored, ") + entry).size(), 1);
        EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({std::string(" ") + resolved + "\n"}))) << entry;
    }
}

TEST(SessionChecks, AFailedLookupPassesTheCheck)
{
    RecordingLog log;
    FakeResolver failing;
    failing.error = QHostInfo::HostNotFound;
    SessionNetworkChecks checks;
    checks.setHostResolver(failing.fn());
    EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({"192.0.2.1"})));

    // No error but no address either: the same.
    FakeResolver empty;
    checks.setHostResolver(empty.fn());
    EXPECT_TRUE(checks.isServerIPValid(kServer, allowed({"192.0.2.1"})));
    const QStringList records = log.withMessage("QT: Unable to resolve hostname");
    ASSERT_EQ(records.size(), 2);
    EXPECT_TRUE(records[0].startsWith("1, /Session, "));
    EXPECT_TRUE(log.withMessage("IP address resolved is").isEmpty());
}

TEST(SessionChecks, TheSystemResolverTakesAddressTexts)
{
    SessionNetworkChecks checks;
    const QUrl local(QStringLiteral("http://127.0.0.1:8080/"));
    EXPECT_TRUE(checks.isServerIPValid(local, allowed({"127.0.0.1"})));
    EXPECT_FALSE(checks.isServerIPValid(local, allowed({"127.0.0.2"})));
}

} // namespace
