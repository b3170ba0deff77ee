// Reply parsing, the result check, the session command and the helpers of the
// tunnel-server client: pure functions, no server needed.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "foundation/UClasses.h"
#include "tunnel/TunnelServerClient.h"
#include "tunnel/UTunnelManagerHelpers.h"

namespace {

std::string at(const UPropertyList& list, int index, int which)
{
    const char* text = list.getAt(index, which);
    return text ? text : "";
}

TEST(AppTunnelReplyParser, SingleResultPair)
{
    UPropertyList list;
    parseKeyValueList(list, "result=0\n", '&', '=');
    ASSERT_EQ(list.getCount(), 1);
    EXPECT_EQ(at(list, 0, 0), "result");
    EXPECT_EQ(at(list, 0, 1), "0");
    EXPECT_NO_THROW(checkReplyResult(list, "result=0", "cmd=is_ready"));
}

TEST(AppTunnelReplyParser, RepeatedNameKeepsFirstPositionAndLastValue)
{
    UPropertyList list;
    parseKeyValueList(list, "Result=0&result=5\n", '&', '=');
    ASSERT_EQ(list.getCount(), 1);
    EXPECT_EQ(at(list, 0, 0), "Result");
    EXPECT_EQ(at(list, 0, 1), "5");
    EXPECT_THROW(checkReplyResult(list, "Result=0&result=5", "cmd=x"), std::runtime_error);
}

TEST(AppTunnelReplyParser, BlanksEmptyPairsAndBareNames)
{
    UPropertyList list;
    parseKeyValueList(list, "  a = 1 && b=x=y & last ", '&', '=');
    ASSERT_EQ(list.getCount(), 3);
    EXPECT_EQ(at(list, 0, 0), "a");
    EXPECT_EQ(at(list, 0, 1), "1");
    EXPECT_EQ(at(list, 1, 0), "b");
    EXPECT_EQ(at(list, 1, 1), "x=y");
    EXPECT_EQ(at(list, 2, 0), "last");
    EXPECT_EQ(at(list, 2, 1), "");
}

TEST(AppTunnelReplyParser, EmptyTextClearsTheList)
{
    UPropertyList list;
    list.setValue("old", "1");
    parseKeyValueList(list, " \r\n", '&', '=');
    EXPECT_EQ(list.getCount(), 0);
}

TEST(AppTunnelReplyParser, ResultCheckFailures)
{
    UPropertyList list;
    parseKeyValueList(list, "result=1", '&', '=');
    try {
        checkReplyResult(list, "result=1", "cmd=exit&pid=7");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unexpected result: result=1 for cmd:cmd=exit&pid=7");
    }
    parseKeyValueList(list, "other=0", '&', '=');
    EXPECT_THROW(checkReplyResult(list, "other=0", "c"), std::runtime_error);
    parseKeyValueList(list, "result=abc", '&', '=');
    EXPECT_THROW(checkReplyResult(list, "result=abc", "c"), std::runtime_error);
    // A value past 32 bits is not 0, whatever its low bits are.
    parseKeyValueList(list, "result=4294967296", '&', '=');
    EXPECT_THROW(checkReplyResult(list, "result=4294967296", "c"), std::runtime_error);
    parseKeyValueList(list, "result=0junk", '&', '=');
    EXPECT_NO_THROW(checkReplyResult(list, "result=0junk", "c"));
}

TEST(AppTunnelReplyParser, LookupsIgnoreCaseAndNullNames)
{
    UPropertyList list;
    parseKeyValueList(list, "Recv_Server=12", '&', '=');
    EXPECT_NE(findProperty(list, "recv_server"), nullptr);
    EXPECT_EQ(findProperty(list, nullptr), nullptr);
    EXPECT_EQ(std::string(getPropertyValue(list, "RECV_SERVER", "d")), "12");
    EXPECT_EQ(std::string(getPropertyValue(list, "missing", "d")), "d");
}

TEST(AppTunnelSessionCommand, ExactBytes)
{
    std::vector<char> bytes = TunnelServerClient::makeSessionCommand("QUJD", "srv.example", 8443, true, 4242);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "cmd=session&host=srv.example&port=8443&ua=Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; "
              "Trident/6.0; Tessal Networks Client)&session=QUJD&SSLEnabled=1&HTTPEnabled=1&ISessionEnabled=1"
              "&CtrlChannelEnabled=1&pid=4242");
    bytes = TunnelServerClient::makeSessionCommand("", "h", 80, false, 0);
    std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("&session=&SSLEnabled=0&"), std::string::npos);
    EXPECT_EQ(text.find("&pid="), std::string::npos);
    EXPECT_EQ(text.back(), '1'); // no terminator
}

TEST(AppTunnelHelpers, PortRanges)
{
    EXPECT_TRUE(parseRange("8000-8002"));
    EXPECT_TRUE(parseRange(" 8002 - 8000 "));
    EXPECT_FALSE(parseRange("8000"));
    EXPECT_FALSE(parseRange("8000-"));
    EXPECT_FALSE(parseRange("-8000"));
    EXPECT_FALSE(parseRange("1-70000"));
    EXPECT_FALSE(parseRange("a-b"));
    uint16_t first = 0;
    uint16_t last = 0;
    readRange("10-20", first, last);
    EXPECT_EQ(first, 10);
    EXPECT_EQ(last, 20);
    EXPECT_ANY_THROW(readRange("10", first, last));
}

TEST(AppTunnelHelpers, StrictConversions)
{
    EXPECT_EQ(toPortStrict("65535"), 65535);
    EXPECT_EQ(toPortStrict("0"), 0);
    EXPECT_THROW(toPortStrict("65536"), std::invalid_argument);
    EXPECT_THROW(toPortStrict(""), std::invalid_argument);
    EXPECT_THROW(toPortStrict("-1"), std::invalid_argument);
    EXPECT_EQ(toInt64Strict("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(toInt64Strict("+17"), 17);
    EXPECT_THROW(toInt64Strict("9223372036854775808"), std::invalid_argument);
    EXPECT_THROW(toInt64Strict("12x"), std::invalid_argument);
    EXPECT_THROW(toInt64Strict("-"), std::invalid_argument);
    EXPECT_EQ(scanLeadingInteger("3305119745", -1), 3305119745LL);
    EXPECT_EQ(scanLeadingInteger("x", -1), -1);
}

TEST(AppTunnelHelpers, ReplaceIgnoringCase)
{
    std::string text = "-h %HOST% -p %Port% %host%";
    replaceNoCase(text, "%host%", "127.0.0.1");
    replaceNoCase(text, "%port%", "3000");
    EXPECT_EQ(text, "-h 127.0.0.1 -p 3000 127.0.0.1");
}

} // namespace
