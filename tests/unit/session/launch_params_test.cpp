#include "session/InputParams.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/UClasses.h"
#include "foundation/UException.h"
#include "foundation/str_helper.h"

using tessal::qt::SessionInfo;
using tessal::qt::sessionInfoFromParams;
using tessal::qt::urlFromParams;

namespace {

const std::string kSid = "0123456789abcdefABCDEF0123456789"; // 32 alphanumerics

std::string launchUrl(const std::string& extra = std::string())
{
    return "tessal-vpn://launch?server=vpn.example.com&port=443&protocol=https&sid=" + kSid +
           "&resourcename=Office%20Network&resourcetype=network_access" + extra;
}

// The refusal message, or "" when the text is accepted.
std::string refusal(const std::string& text, bool withResource = true)
{
    UHashTable table;
    try {
        const CString input(text.data(), static_cast<int>(text.size()));
        if (withResource)
            InputParams params(input, table);
        else
            InputParamsBase params(input, table);
    } catch (const UException& e) {
        EXPECT_EQ(e.getCode(), -1);
        return e.what() ? e.what() : "(no message)";
    }
    return "";
}

std::string str(const CString& text)
{
    return std::string(static_cast<const char*>(text), static_cast<std::size_t>(text.GetLength()));
}

} // namespace

TEST(LaunchParams, AcceptsACompleteLaunchAndFillsRecordAndTable)
{
    UHashTable table;
    InputParams params(CString(launchUrl("&otc=abc123&token=Tok42&applaunch=TRUE&extra=kept").c_str()), table);
    EXPECT_EQ(str(params.server), "vpn.example.com");
    EXPECT_EQ(params.port, 443);
    EXPECT_EQ(str(params.protocol), "https");
    EXPECT_EQ(str(params.sid), kSid);
    EXPECT_EQ(str(params.otc), "abc123");
    EXPECT_EQ(str(params.token), "Tok42");
    EXPECT_TRUE(params.applaunch);
    EXPECT_EQ(str(params.resourcename), "Office Network");
    EXPECT_EQ(str(params.resourcetype), "network_access");
    EXPECT_TRUE(params.packages.empty());
    EXPECT_EQ(table.getCount(), 10);
    EXPECT_EQ(str(table.getPropertyValue("EXTRA", "")), "kept");
}

TEST(LaunchParams, LengthLimitIsInclusiveAt10240Bytes)
{
    std::string exact = launchUrl("&pad=");
    exact.append(10240 - exact.size(), 'x');
    ASSERT_EQ(exact.size(), 10240u);
    EXPECT_EQ(refusal(exact), "");
    EXPECT_EQ(refusal(exact + "x"), "EXCEPTION - string with input parameters is too long (length), 10241");
}

TEST(LaunchParams, EveryRuleRefusesWithItsText)
{
    const std::string base = "tessal-vpn://launch?";
    const std::string server = "server=vpn.example.com";
    const std::string rest = "&port=443&protocol=https&sid=" + kSid;
    const std::string res = "&resourcename=r&resourcetype=t";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tessal-vpn://launch", "EXCEPTION - string with input parameters is ill formatted, 19"},
        {base + rest + res, "EXCEPTION - server parameter is missing"},
        {base + "server=" + rest + res, "EXCEPTION - server parameter is missing"},
        {base + "server=user@host" + rest + res, "EXCEPTION - server parameter is not valid, user@host"},
        {base + "server=-host" + rest + res, "EXCEPTION - server parameter is not valid, -host"},
        {base + "server=[::1]:443" + rest + res, "EXCEPTION - server parameter is not valid, [::1]:443"},
        {base + "server=vpn%20example.com" + rest + res, "EXCEPTION - server parameter is not valid, vpn example.com"},
        {base + "server=vpn.example.com/x" + rest + res,
         "EXCEPTION - server parameter is not valid, vpn.example.com/x"},
        {base + "server=vpn.example.com%23" + rest + res,
         "EXCEPTION - server parameter is not valid, vpn.example.com#"},
        {base + server + "&protocol=https&sid=" + kSid + res, "EXCEPTION - port parameter is missing"},
        {base + server + "&port=0&protocol=https&sid=" + kSid + res, "EXCEPTION - port parameter is not valid, 0"},
        {base + server + "&port=http&protocol=https&sid=" + kSid + res,
         "EXCEPTION - port parameter is not valid, http"},
        {base + server + "&port=65536&protocol=https&sid=" + kSid + res,
         "EXCEPTION - port parameter is not valid, 65536"},
        {base + server + "&port=443&sid=" + kSid + res, "EXCEPTION - protocol parameter is missing"},
        {base + server + "&port=443&protocol=ftp&sid=" + kSid + res,
         "EXCEPTION - protocol parameter is not valid, ftp"},
        {base + server + "&port=443&protocol=https" + res, "EXCEPTION - sid parameter is missing"},
        {base + server + "&port=443&protocol=https&sid=0123456789abcdef-BCDEF0123456789" + res,
         "EXCEPTION - sid parameter is not valid, 23456789"},
        {base + server + "&port=443&protocol=https&sid=" + kSid.substr(1) + res,
         "EXCEPTION - sid parameter length is invalid, 23456789"},
        {base + server + "&port=443&protocol=https&sid=" + kSid + "Z" + res,
         "EXCEPTION - sid parameter length is invalid, 3456789Z"},
        {base + server + "&port=443&protocol=https&sid=" + std::string(513, 'a') + res,
         "EXCEPTION - sid parameter is not valid, aaaaaaaa"},
        {base + server + rest + "&otc=abc-12345678" + res, "EXCEPTION - otc parameter is not valid, 12345678"},
        {base + server + rest + "&token=tok.en" + res, "EXCEPTION - token parameter is not valid, tok.en"},
        {base + server + rest + "&applaunch=yes" + res, "EXCEPTION - applaunch parameter is not valid, yes"},
        {base + server + rest + "&package0=a.rpm" + res,
         "EXCEPTION - package0 exist but id0 is mising (package0 value), a.rpm"},
        {base + server + rest + "&version0=1.2.3.4" + res,
         "EXCEPTION - version0 exist but id0 is mising (version0 value), 1.2.3.4"},
        {base + server + rest + "&id0=&version0=1.2.3.4&package0=a" + res, "EXCEPTION - id0 parameter is missing"},
        {base + server + rest + "&id0=x&package0=a" + res, "EXCEPTION - version0 parameter is missing"},
        {base + server + rest + "&id0=x&version0=1.2.3.4" + res, "EXCEPTION - package0 parameter is missing"},
        {base + server + rest + "&id0=x&version0=1.2.3&package0=a" + res,
         "EXCEPTION - version0 parameter is not valid, 1.2.3"},
        {base + server + rest + "&id0=x&version0=1.2.3.4&package0=a-b" + res,
         "EXCEPTION - package0 parameter is not valid, a-b"},
        {base + server + rest + "&id0=x<y&version0=1.2.3.4&package0=a" + res,
         "EXCEPTION - id0 parameter is not valid, x<y"},
        {base + server + rest + "&resourcetype=t", "EXCEPTION - resourcename parameter is missing"},
        {base + server + rest + "&resourcename=a<b&resourcetype=t",
         "EXCEPTION - resourcename parameter is not valid, a<b"},
        {base + server + rest + "&resourcename=r", "EXCEPTION - resourcetype parameter is missing"},
        {base + server + rest + "&resourcename=r&resourcetype=a-b",
         "EXCEPTION - resourcetype parameter is not valid, a-b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.first), c.second) << c.first;
}

TEST(LaunchParams, ControlCharactersAndNulAreRefusedWholeValue)
{
    // A decoded NUL must not hide the rest of the value from the checks.
    EXPECT_EQ(refusal(launchUrl().replace(launchUrl().find("vpn.example.com"), 15, "good.example%00@evil")),
              "EXCEPTION - server parameter is not valid, good.example%00@evil");
    EXPECT_EQ(
        refusal("tessal-vpn://l?server=h&port=443&protocol=https&sid=" + kSid + "%00x&resourcename=r&resourcetype=t"),
        "EXCEPTION - sid parameter is not valid, 6789%00x");
    EXPECT_EQ(refusal(launchUrl("&resourcename=line%0Abreak")),
              "EXCEPTION - resourcename parameter is not valid, line%0Abreak");
    EXPECT_EQ(refusal(launchUrl("&resourcename=del%7F")), "EXCEPTION - resourcename parameter is not valid, del%7F");
    EXPECT_EQ(refusal(launchUrl("&resourcename=c1%C2%85")),
              "EXCEPTION - resourcename parameter is not valid, c1%C2%85");
    // Raw control characters (no encoding) are refused the same way.
    EXPECT_EQ(refusal(launchUrl("&note=a\x01"
                                "b")),
              "EXCEPTION - note parameter is not valid, a%01b");
    // White space around a value is trimmed, not refused; other UTF-8 passes.
    EXPECT_EQ(refusal(launchUrl("&resourcename=%09Caf%C3%A9%20")), "");
}

TEST(LaunchParams, SecretsAppearOnlyInShortForm)
{
    const std::string longToken(40, 'T');
    const std::string message = refusal(launchUrl("&token=" + longToken + "-"));
    EXPECT_EQ(message, "EXCEPTION - token parameter is not valid, TTTTTTT-");
    EXPECT_EQ(message.find(longToken), std::string::npos);
    EXPECT_EQ(str(shortSecret("abc")), "abc");
    EXPECT_EQ(str(shortSecret("0123456789")), "23456789");
}

TEST(LaunchParams, KeysIgnoreCaseAndTheLastOccurrenceWins)
{
    UHashTable table;
    InputParams params(CString(launchUrl("&server=second.example.com&SERVER=third.example.com&PORT=8443").c_str()),
                       table);
    EXPECT_EQ(str(params.server), "third.example.com");
    EXPECT_EQ(params.port, 8443);
    // One item per key, however often and in whatever case it was written.
    int servers = 0;
    for (int i = 0; i < table.getCount(); ++i)
        servers += compareNoCase(table.getAt(i, 0), "server") == 0;
    EXPECT_EQ(servers, 1);
}

TEST(LaunchParams, DecodingComesBeforeSplitting)
{
    UHashTable table;
    InputParams params(CString(launchUrl("&resourcename=a%26server%3Dother.example.com").c_str()), table);
    EXPECT_EQ(str(params.resourcename), "a");
    EXPECT_EQ(str(params.server), "other.example.com");
}

TEST(LaunchParams, OptionalKeysAndTheirForms)
{
    UHashTable table;
    InputParams params(CString(launchUrl("&otc=&applaunch=False&protocol=HTTPS&flag").c_str()), table);
    EXPECT_TRUE(params.otc.IsEmpty());
    EXPECT_FALSE(params.applaunch);
    EXPECT_EQ(str(params.protocol), "HTTPS");
    EXPECT_NE(table.findProperty("flag"), nullptr);
    EXPECT_EQ(str(table.getPropertyValue("flag", "x")), "");

    UHashTable other;
    InputParamsBase base(CString(launchUrl().c_str()), other);
    EXPECT_FALSE(base.applaunch);
    EXPECT_TRUE(base.token.IsEmpty());
}

TEST(LaunchParams, NumberedEntriesStopAtTheFirstGap)
{
    UHashTable table;
    InputParams params(CString(launchUrl("&id0=Ins+pector&version0=1.2.3.4&package0=linux/epi_x64.tgz"
                                         "&ID1={a:b}&Version1=5,6,7,8&package1=p1"
                                         "&id3=z&version3=1.1.1.1&package3=p3")
                                   .c_str()),
                       table);
    ASSERT_EQ(params.packages.size(), 2u);
    EXPECT_EQ(str(params.packages[0].id), "Ins pector");
    EXPECT_EQ(str(params.packages[0].version), "1.2.3.4");
    EXPECT_EQ(str(params.packages[0].package), "linux/epi_x64.tgz");
    EXPECT_EQ(str(params.packages[1].id), "{a:b}");
    EXPECT_EQ(str(params.packages[1].version), "5,6,7,8");
}

TEST(LaunchParams, ServerUrlLeavesOutDefaultPortsAndBracketsIPv6)
{
    struct Case {
        std::string server, port, protocol, url;
    };
    const std::vector<Case> cases = {
        {"vpn.example.com", "443", "https", "https://vpn.example.com"},
        {"VPN.Example.COM", "443", "https", "https://vpn.example.com"},
        {"my_host.example.com", "443", "https", "https://my_host.example.com"},
        {"caf%C3%A9.example", "443", "https", "https://xn--caf-dma.example"},
        {"vpn.example.com", "443", "HTTPS", "https://vpn.example.com"},
        {"vpn.example.com", "8443", "https", "https://vpn.example.com:8443"},
        {"vpn.example.com", "80", "http", "http://vpn.example.com"},
        {"vpn.example.com", "443", "http", "http://vpn.example.com:443"},
        {"192.0.2.7", "80", "https", "https://192.0.2.7:80"},
        {"[fe80::1]", "8443", "https", "https://[fe80::1]:8443"},
        {"[2001:db8::5]", "443", "https", "https://[2001:db8::5]"},
    };
    for (const auto& c : cases) {
        UHashTable table;
        const std::string text =
            "tessal-epi://x?server=" + c.server + "&port=" + c.port + "&protocol=" + c.protocol + "&sid=" + kSid;
        InputParamsBase params(CString(text.c_str()), table);
        const QUrl url = urlFromParams(params);
        EXPECT_EQ(url.toString().toStdString(), c.url) << text;
        EXPECT_TRUE(url.isValid()) << text;
    }
}

TEST(LaunchParams, SessionInfoCarriesResourceKeysOnlyForNetworkAccess)
{
    UHashTable table;
    InputParams full(CString(launchUrl("&token=Tok42&applaunch=true&otc=abc").c_str()), table);
    const SessionInfo vpn = sessionInfoFromParams(full);
    EXPECT_EQ(vpn.url.toString(), QStringLiteral("https://vpn.example.com"));
    EXPECT_EQ(vpn.sessionId.toStdString(), kSid);
    EXPECT_EQ(vpn.resourceName, QStringLiteral("Office Network"));
    EXPECT_EQ(vpn.resourceType, QStringLiteral("network_access"));
    EXPECT_EQ(vpn.token, QStringLiteral("Tok42"));
    EXPECT_TRUE(vpn.appLaunch);
    EXPECT_TRUE(vpn.ipv4Addresses.empty());
    EXPECT_TRUE(vpn.ipv6Addresses.empty());

    const SessionInfo epi = sessionInfoFromParams(static_cast<const InputParamsBase&>(full));
    EXPECT_TRUE(epi.resourceName.isEmpty());
    EXPECT_TRUE(epi.resourceType.isEmpty());
    EXPECT_TRUE(epi.token.isEmpty());
    EXPECT_TRUE(epi.appLaunch);
}
