#include "RecordingLog.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"
#include "foundation/str_helper_match.h"
#include "support/FailingMalloc.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using tessal::test::FailingMalloc;
using tessal::test::RecordingLog;

namespace {

const char kV6Zero[] = "0000:0000:0000:0000:0000:0000:0000:0000";
const char kFe80[] = "fe80:0000:0000:0000:0000:0000:0000:0000";

struct Row {
    std::string pattern;
    bool accepted;
    std::vector<std::string> yes;
    std::vector<std::string> no;
};

// Every row on a fresh matcher; a refused pattern must leave it matching nothing.
template <class M>
void runRows(const std::vector<Row>& rows)
{
    RecordingLog log;
    for (const Row& r : rows) {
        M m;
        EXPECT_EQ(m.setPattern(r.pattern.c_str()) == 0, r.accepted) << r.pattern;
        for (const std::string& t : r.yes)
            EXPECT_TRUE(m.match(t.c_str())) << r.pattern << " ~ " << t;
        for (const std::string& t : r.no)
            EXPECT_FALSE(m.match(t.c_str())) << r.pattern << " !~ " << t;
        if (!r.accepted) {
            EXPECT_FALSE(m.match(0u)) << r.pattern;
            EXPECT_FALSE(m.match("")) << r.pattern;
        }
    }
}

std::string thrownMessage(const std::function<void()>& f)
{
    try {
        f();
    } catch (const UException& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

} // namespace

TEST(MatchTest, PatternMatch)
{
    runRows<UPatternMatch>({
        {"a*b*c", true, {"abc", "aXbYc", "abcabc"}, {"abcd", "acb", "", "xabc"}},
        {"", true, {""}, {"a"}},
        {"*", true, {"", "anything"}, {}},
        {"a*", true, {"a", "abc"}, {"ba", ""}},
        {"*word", true, {"word", "a word"}, {"words", "wor"}},
        {"a**b", true, {"ab", "axxb"}, {"abc"}},
        {"Abc", true, {"Abc"}, {"abc", "Abcd"}},
    });
    UPatternMatch unset;
    EXPECT_FALSE(unset.match(""));
    UPatternMatch numbers("4*");
    EXPECT_TRUE(numbers.match(42u));
    EXPECT_FALSE(numbers.match(5u));
    EXPECT_TRUE(UPatternMatch("4294967295").match(0xFFFFFFFFu));
}

TEST(MatchTest, DWORDMatch)
{
    runRows<UDWORDMatch>({
        {"10-20", true, {"10", "15", "20", " 15 "}, {"9", "21", "-15", "abc", "15x", "15-16"}},
        {"0", true, {"0"}, {"1", "-0"}},
        {"4294967295", true, {"4294967295"}, {"-1", "4294967296", "0"}},
        {" 0 - 4294967295 ", true, {"0", "4294967295"}, {"4294967296"}},
        {"20-10", false, {}, {"15"}},
        {"4294967296", false, {}, {"0"}},
        {"-5", false, {}, {"5"}},
        {"5-", false, {}, {"5"}},
        {"1-2-3", false, {}, {"2"}},
        {"abc", false, {}, {}},
        {"", false, {}, {}},
    });
    UDWORDMatch range("10-20");
    EXPECT_EQ(range.getKind(), 2);
    EXPECT_TRUE(range.match(10u) && range.match(20u));
    EXPECT_FALSE(range.match(21u) || range.match(9u));
    EXPECT_TRUE(UDWORDMatch("4294967295").match(0xFFFFFFFFu));

    UDWORDMatch port;
    port.setAllowedRange(1, 65535);
    EXPECT_EQ(port.setPattern("0"), -1);
    EXPECT_EQ(port.setPattern("65536"), -1);
    EXPECT_EQ(port.setPattern("1-65535"), 0);

    { // Outside text of any length costs no record.
        RecordingLog quiet;
        UDWORDMatch five("5");
        EXPECT_FALSE(five.match("12345678901234567890"));
        EXPECT_FALSE(five.match("00000000005"));
        EXPECT_TRUE(quiet.lines().empty()) << quiet.text();
    }

    RecordingLog log;
    EXPECT_EQ(thrownMessage([] { UDWORDMatch("x"); }), "EXCEPTION - invalid pattern, x");
    EXPECT_TRUE(log.contains("UDWORDMatch::UDWORDMatch(), EXCEPTION - invalid pattern, x"));
    EXPECT_TRUE(log.contains("EXCEPTION caught: UDWORDMatch::setPattern() - EXCEPTION"));
}

TEST(MatchTest, IPSubnetMatch)
{
    runRows<UIPSubnetMatch>({
        {"10.0.0.0/8", true, {"10.1.2.3", "10.0.0.0", "10.255.255.255"}, {"11.0.0.1", "10.1.2", "x"}},
        {"10.1.2.3/8", true, {"10.9.9.9"}, {"9.1.2.3"}},
        {"0.0.0.0/0", true, {"1.2.3.4", "255.255.255.255", "0.0.0.0"}, {"1.2.3.256"}},
        {"192.168.1.7/32", true, {"192.168.1.7"}, {"192.168.1.8"}},
        {"10.0.0.0/255.255.0.0", true, {"10.0.5.5"}, {"10.1.0.0"}},
        {"10.0.0.0/33", false, {}, {"10.0.0.1"}},
        {"10.0.0.0", false, {}, {"10.0.0.0"}},
        {"10.0.0.0/255.0.255.0", false, {}, {}},
        {"300.0.0.0/8", false, {}, {}},
        // Signs and blanks are no part of an address or a prefix length.
        {"0.0.0.0/0", true, {"0.1.2.3"}, {"-0.1.2.3", "+0.1.2.3", " 10. 1. 2. 3", "10.1.2.3 ", "10.1.2.03x"}},
        {"10.0.0.0/-0", false, {}, {"11.0.0.1"}},
        {"10.0.0.0/+8", false, {}, {"10.0.0.1"}},
        {"-0.1.2.3/32", false, {}, {}},
        {" 10. 1. 2. 3/32", false, {}, {}},
    });
    UIPSubnetMatch masked("10.1.2.3/8");
    EXPECT_EQ(masked.getNetwork(), 0x0A000000u);
    EXPECT_TRUE(masked.match(0x0A010203u));
    EXPECT_FALSE(masked.match(0x0B000001u));
    UIPSubnetMatch all("0.0.0.0/0");
    EXPECT_TRUE(all.match(0u) && all.match(0xFFFFFFFFu));
    EXPECT_TRUE(UIPSubnetMatch("255.255.255.255/32").match(0xFFFFFFFFu));
    EXPECT_FALSE(UIPSubnetMatch("255.255.255.255/32").match(0xFFFFFFFEu));
}

TEST(MatchTest, IP6SubnetMatch)
{
    const std::string fe80 = kFe80, zero = kV6Zero;
    runRows<UIP6SubnetMatch>({
        {fe80 + "/10", true, {"fe80::1", "febf::"}, {"fec0::1", "::1", "10.0.0.1", "[fe80::1]"}},
        {zero + "/0", true, {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}, {"x"}},
        {"2001:0db8:0000:0000:0000:0000:0000:0001/128", true, {"2001:db8::1"}, {"2001:db8::2"}},
        {"fe80::/10", false, {}, {"fe80::1"}},
        {fe80 + "/129", false, {}, {}},
        {fe80, false, {}, {}},
        {fe80 + "/-0", false, {}, {"::1"}},
        {fe80 + "/+10", false, {}, {}},
    });
    RecordingLog log;
    UIP6SubnetMatch m((zero + "/0").c_str());
    EXPECT_FALSE(m.match(0u));
    EXPECT_FALSE(m.match("10.0.0.1"));
    EXPECT_TRUE(log.contains("UIP6SubnetMatch::match(), invalid ip, 10.0.0.1\n"));
}

TEST(MatchTest, TCPMatch)
{
    runRows<UTCPMatch>({
        {"10.0.0.0/8:80-90",
         true,
         {"10.1.2.3:85", "10.1.2.3:80", "10.1.2.3:90"},
         {"10.1.2.3:91", "10.1.2.3", "11.0.0.1:85", "10.1.2.3:85:1"}},
        {"10.0.0.0/8", true, {"10.1.2.3:1", "10.1.2.3:65535", "10.1.2.3:any"}, {"10.1.2.3", "10.1.2.3:"}},
        {"0.0.0.0/0:65535", true, {"1.2.3.4:65535"}, {"1.2.3.4:0", "1.2.3.4:65536"}},
        {"10.0.0.0/8 : 1", true, {"10.0.0.1:1"}, {}},
        {"10.0.0.0/8:", false, {}, {"10.1.2.3:80"}},
        {"10.0.0.0/8:0", false, {}, {}},
        {"10.0.0.0/8:65536", false, {}, {}},
        {"10.0.0.0/8:1:2", false, {}, {}},
        {"x:80", false, {}, {}},
        {"10.0.0.0/8:80,443", false, {}, {"10.1.2.3:80"}},
        // An empty piece between colons is a piece of its own.
        {"10.0.0.0/8::80", false, {}, {"10.1.2.3:80"}},
        {"10.0.0.0/8", true, {"10.1.1.1:80"}, {"10.1.1.1::80", ":80", "-10.1.1.1:80"}},
        {"10.0.0.0/8:80", true, {"10.1.1.1:80"}, {"10.1.1.1::80", "10.1.1.1:80:"}},
    });
    RecordingLog log;
    UTCPMatch m;
    EXPECT_EQ(m.setPattern("10.0.0.0/8:"), -1);
    EXPECT_STREQ(m.getPattern(), "10.0.0.0/8:");
    EXPECT_TRUE(log.contains("UTCPMatch::setPattern(), EXCEPTION - missing port part, 10.0.0.0/8:\n"));
    EXPECT_FALSE(UTCPMatch("10.0.0.0/8").match(0x0A010203u));
}

TEST(MatchTest, TCP6Match)
{
    const std::string fe80 = kFe80, zero = kV6Zero;
    runRows<UTCP6Match>({
        {"[" + fe80 + "/10]:443",
         true,
         {"[fe80::1]:443", " [fe80::1]:443"},
         {"[fe80::1]:444", "[fec0::1]:443", "[fe80::1]x443", "fe80::1"}},
        {"[" + zero + "/0] : 1-65535", true, {"[::1]:1", "[::1]:65535"}, {"[::1]:0"}},
        {"[fe80::/10]:443", false, {}, {}},
        {"[" + fe80 + "/10]:", false, {}, {}},
        {"[" + fe80 + "/10]:0", false, {}, {}},
        {"[" + fe80 + "/10]:65536", false, {}, {}},
        {"[" + fe80 + "/10]:443x", false, {}, {}},
        {fe80 + "/10:443", false, {}, {}},
    });
    RecordingLog log;
    UTCP6Match m(("[" + zero + "/0]:80").c_str());
    EXPECT_EQ(thrownMessage([&] { m.match("1.2.3.4]:80"); }), "EXCEPTION - invalid network part format, 1.2.3.4]:80");
}

TEST(MatchTest, DNSMatch)
{
    runRows<UDNSMatch>({
        {"*.example.com", true, {"www.example.com", "WWW.Example.COM"}, {"example.com", "www.example.org"}},
        {"Example.COM", true, {"example.com", "EXAMPLE.com"}, {"example.co"}},
        {"host:80", true, {"host"}, {"host:80"}},
        {"", false, {}, {}},
        {":", false, {}, {}},
        {"a:b:c", false, {}, {"a"}},
    });
    EXPECT_FALSE(UDNSMatch("*").match(1u));
}

TEST(MatchTest, ExpressionMatch)
{
    const std::string zero = kV6Zero;
    struct Case {
        uint32_t kind;
        std::string expression;
        int result;
        std::string patterns; // joinObjectTexts of the matchers
        std::vector<std::string> yes;
        std::vector<std::string> no;
    };
    const std::vector<Case> cases = {
        {3,
         "10.0.0.0/8:80,443; 192.168.0.0/16",
         0,
         "10.0.0.0/8:80\n10.0.0.0/8:443\n192.168.0.0/16\n",
         {"10.1.2.3:443", "10.1.2.3:80", "192.168.1.1:9"},
         {"10.1.2.3:8080", "10.1.2.3"}},
        {0, "a*; ;b;", 0, "a*\nb\n", {"abc", "b"}, {"c"}},
        {1, "1-5;9", 0, "1-5\n9\n", {"3", "9"}, {"7"}},
        {2, "10.0.0.0/8", 0, "10.0.0.0/8\n", {"10.0.0.1"}, {"11.0.0.1"}},
        {4,
         "Example.com:80,443;*.Org",
         0,
         "example.com:80\nexample.com:443\n*.Org\n",
         {"EXAMPLE.com", "www.org"},
         {"example.net"}},
        {5,
         "[" + zero + "/0]:80,443",
         0,
         "[" + zero + "/0]:80\n[" + zero + "/0]:443\n",
         {"[::1]:80", "[::1]:443"},
         {"[::1]:81"}},
        {0, "", 0, "", {}, {""}},
        {6, "x", -1, "", {}, {"x"}},
        {3, "10.0.0.0/8:80;bad", -1, "", {}, {"10.1.2.3:80"}},
        {3, "a:b:c", -1, "", {}, {}},
        {3, "10.0.0.0/8:,", -1, "", {}, {}},
        {5, "[::1/128]", -1, "", {}, {}},
        {3, "10.0.0.0/8::80,443", -1, "", {}, {"10.1.2.3:80"}},
    };
    RecordingLog log;
    for (const Case& c : cases) {
        UExpressionMatch e;
        EXPECT_EQ(e.setExpression(c.expression.c_str(), c.kind, ';'), c.result) << c.expression;
        EXPECT_EQ(e.getKind(), c.result == 0 ? static_cast<int>(c.kind) : -1) << c.expression;
        EXPECT_EQ(std::string(joinObjectTexts(e.getMatchers())), c.patterns) << c.expression;
        for (const std::string& t : c.yes)
            EXPECT_TRUE(e.match(t.c_str())) << c.expression << " ~ " << t;
        for (const std::string& t : c.no)
            EXPECT_FALSE(e.match(t.c_str())) << c.expression << " !~ " << t;
    }
    EXPECT_TRUE(log.contains("EXCEPTION - unknown type, 6\n"));
    EXPECT_TRUE(log.contains("UExpressionMatch::setExpression(), EXCEPTION - normalize() failed\n"));
    EXPECT_TRUE(log.contains("EXCEPTION caught: UExpressionMatch::setExpression() - EXCEPTION"));

    UExpressionMatch numbers;
    ASSERT_EQ(numbers.setExpression("1-5;3;9", 1, ';'), 0);
    EXPECT_EQ(std::string(numbers.getExpression()), "1-5;3;9;");
    UStrings hits;
    EXPECT_TRUE(numbers.match(3u, hits));
    EXPECT_EQ(std::string(joinStrings(hits)), "1-5;3");
    EXPECT_FALSE(numbers.match("7", hits));
    EXPECT_EQ(hits.getCount(), 0);
    EXPECT_TRUE(UExpressionMatch("x*;y").match("xyz"));
    EXPECT_EQ(thrownMessage([] { delete UExpressionMatch::createMatchObject(7, "x"); }), "EXCEPTION - unknown type, 7");
}

// A pattern the list cannot take fails the expression; it does not leave it
// one pattern short.
TEST(MatchTest, ExpressionWhoseListCannotGrowFails)
{
    // The list of three matchers is the last to grow to three places: the
    // last allocation of that size is its.
    const size_t threePlaces = 3 * sizeof(void*);
    int calls = 0;
    {
        FailingMalloc counting(threePlaces);
        UExpressionMatch e;
        ASSERT_EQ(e.setExpression("1;2;3", 1, ';'), 0);
        calls = counting.calls();
    }
    ASSERT_GE(calls, 1);
    RecordingLog log;
    UExpressionMatch e;
    {
        FailingMalloc failing(threePlaces, calls);
        EXPECT_EQ(e.setExpression("1;2;3", 1, ';'), -1);
    }
    EXPECT_EQ(e.getMatchers().getCount(), 0);
    EXPECT_EQ(e.getKind(), -1);
    EXPECT_FALSE(e.match("1"));
    EXPECT_TRUE(log.contains("EXCEPTION - addObject() failed, 3")) << log.text();
}
