#include "foundation/CSignature.h"
#include "foundation/DeviceInfo.h"
#include "foundation/str_helper.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>

#include "tessal_update_keys.h"

namespace {

std::string decoded(const CString& base64)
{
    return std::string(base64DecodeText(base64));
}

// Base64 of HMAC-MD5 with the built-in key, as OpenSSL computes it.
std::string hmacOracle(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), kTessalHmacKey, sizeof kTessalHmacKey, reinterpret_cast<const unsigned char*>(text.data()),
         text.size(), digest, &length);
    unsigned char encoded[4 * EVP_MAX_MD_SIZE];
    const int n = EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
    return std::string(reinterpret_cast<const char*>(encoded), static_cast<size_t>(n));
}

std::string host()
{
    return std::string(hostNameBase64());
}

const char kStandalone[] =
    "<agent_info><type>standalone</type><version>1.0</version><platform>Win32</platform></agent_info>";

} // namespace

TEST(DeviceInfoTest, AgentInfoTexts)
{
    EXPECT_EQ(decoded(agentInfo("1.0", "x", true, true, "u", "a")), kStandalone);
    EXPECT_EQ(decoded(agentInfo("2.1", "standalone", true)),
              "<agent_info><type>standalone</type><version>2.1</version><platform>Linux</platform><cpu>x64</cpu>"
              "<javascript>yes</javascript><activex>yes</activex><plugin>no</plugin><landinguri></landinguri>"
              "<lockedmode></lockedmode><hostname>" +
                  host() + "</hostname><app_id></app_id></agent_info>");
    EXPECT_EQ(decoded(agentInfo("2.1", "t", false, false, "/a?b=1&c=<2>", "id\"'")),
              "<agent_info><type>t</type><version>2.1</version><platform>Linux</platform><cpu>x64</cpu>"
              "<javascript>no</javascript><activex>no</activex><plugin>no</plugin>"
              "<landinguri>/a?b=1&amp;c=&lt;2&gt;</landinguri><lockedmode>no</lockedmode><hostname>" +
                  host() + "</hostname><app_id>id&quot;&apos;</app_id></agent_info>");

    DeviceInfoRecord empty;
    EXPECT_EQ(decoded(agentInfoExtended("1.0", "t", empty)), kStandalone);
    EXPECT_EQ(decoded(agentInfoExtended("2", "t", empty)),
              "<agent_info><type>t</type><version>2</version><platform>Linux</platform><cpu>x64</cpu>"
              "<javascript>no</javascript><activex>no</activex><plugin>no</plugin><landinguri></landinguri>"
              "<hostname>" +
                  host() + "</hostname><jailbreak>no</jailbreak></agent_info>");

    DeviceInfoRecord full;
    full.plugin = full.activex = full.jailbroken = true;
    full.cpu = "arm";
    full.platform = "P";
    full.model = "M";
    full.platformVersion = "1";
    full.imei = "I";
    full.macAddress = "00:11";
    full.uniqueId = "U";
    full.serialNumber = "S";
    full.reserved = "never";
    full.vendorData = "a<b%1";
    full.appId = "A";
    full.appVersion = "V";
    EXPECT_EQ(decoded(agentInfoExtended("2", "t", full, "L")),
              "<agent_info><type>t</type><version>2</version><platform>P</platform><cpu>arm</cpu>"
              "<javascript>no</javascript><activex>yes</activex><plugin>yes</plugin><landinguri>L</landinguri>"
              "<model>M</model><platform_version>1</platform_version><imei>I</imei><mac_address>00:11</mac_address>"
              "<unique_id>U</unique_id><serial_number>S</serial_number><vendor_data>a&lt;b%1</vendor_data>"
              "<app_id>A</app_id><app_version>V</app_version><hostname>" +
                  host() + "</hostname><jailbreak>yes</jailbreak></agent_info>");
}

TEST(DeviceInfoTest, SignedDeviceReport)
{
    const std::string text = "session=s1&device_info=ZGk=&agent_result=ok&token=t";
    const std::string signature = hmacOracle(text);
    ASSERT_EQ(signature.size(), 24u);
    EXPECT_EQ(std::string(deviceReportSignature(text.c_str())), signature);
    EXPECT_EQ(std::string(CSignature().ComputeHmac("")), hmacOracle(""));
    EXPECT_EQ(std::string(signedDeviceReport("s1", "ZGk=", "ok", "t")), text + "&signature=" + signature);
}

TEST(DeviceInfoTest, SplitUrl)
{
    struct Case {
        const char* url;
        bool other;
        int result, scheme, port;
        const char* host;
        const char* path;
    } const cases[] = {
        {" HTTPS://user@ 10.1.2.3:8443/a/b ", false, 1, 2, 8443, "10.1.2.3", "/a/b"},
        {"http://[::1]:81/x", false, 1, 1, 81, "[::1]", "/x"},
        {"http://[::1]/x", false, 1, 1, 80, "[::1]", "/x"},
        {"http://host", false, 1, 1, 80, "host", "/"},
        {"ftp://h:x", false, 1, 3, 0, "h", "/"},
        {"http://h:65535", false, 1, 1, 65535, "h", "/"},
        {"http://h:65536", false, 1, 1, 0, "h", "/"},
        {"http://h:99999999999999999999", false, 1, 1, 0, "h", "/"},
        {"http://h:-1", false, 1, 1, 0, "h", "/"},
        {"file://server/share/x", false, 1, 4, 0, "server", "\\share\\x"},
        {"file:///tmp/a", false, 1, 4, 0, "\\tmp\\a", ""},
        {"gopher://h", false, 0, 9, 9, "-", "-"},
        {"gopher://h:70/p", true, 1, -1, 70, "h", "/p"},
        {"://h", true, 0, 9, 9, "-", "-"},
    };
    for (const Case& c : cases) {
        int scheme = 9, port = 9;
        CString host = "-", path = "-";
        EXPECT_EQ(splitUrl(c.url, scheme, host, path, port, c.other), c.result) << c.url;
        EXPECT_EQ(scheme, c.scheme) << c.url;
        EXPECT_EQ(port, c.port) << c.url;
        EXPECT_STREQ(host, c.host) << c.url;
        EXPECT_STREQ(path, c.path) << c.url;
    }
}
