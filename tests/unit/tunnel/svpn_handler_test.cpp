#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HexText.h"
#include "foundation/UClasses.h"
#include "tunnel/SvpnHandler.h"
#include "tunnel/TunnelTestSeam.h"
#include "tunnel/VpnController.h"
#include "tunnel/WebInterface.h"

namespace {

using Action = SvpnReplyEvents::Action;

TEST(SvpnReply, MarkersInTheirOrder)
{
    EXPECT_EQ(SvpnHandler::decodeReply("").action, Action::None);
    EXPECT_EQ(SvpnHandler::decodeReply(nullptr).action, Action::None);
    EXPECT_EQ(SvpnHandler::decodeReply("HTTP/1.1 200 OK\r\n\r\nnothing").action, Action::None);
    EXPECT_EQ(SvpnHandler::decodeReply("&setloaded").action, Action::Connecting);
    EXPECT_EQ(SvpnHandler::decodeReply("&setloaded&sslcreate").action, Action::Connected);
    EXPECT_EQ(SvpnHandler::decodeReply("x&sslsetstatus,v1,connected").action, Action::Connected);
    EXPECT_EQ(SvpnHandler::decodeReply("&sslsetstatus,v1,connected&sslreconnecting").action, Action::Reconnecting);
    // Markers are case-sensitive.
    EXPECT_EQ(SvpnHandler::decodeReply("&SetLoaded").action, Action::None);

    const SvpnReplyEvents error = SvpnHandler::decodeReply("a,disconnectedwitherror,12&x");
    EXPECT_EQ(error.action, Action::EndWithError);
    EXPECT_EQ(error.endCode, 12);
    EXPECT_EQ(SvpnHandler::decodeReply(",disconnectedwitherror,").endCode, 0);
    const SvpnReplyEvents expired = SvpnHandler::decodeReply("&session_expired");
    EXPECT_EQ(expired.action, Action::SessionExpired);
    EXPECT_EQ(expired.endCode, 27);
    // An earlier marker of the table wins over a later one.
    EXPECT_EQ(SvpnHandler::decodeReply("&session_expired&setloaded").action, Action::Connecting);
    // A NUL ends the text.
    const char withNul[] = "ok\0&setloaded";
    EXPECT_EQ(SvpnHandler::decodeReply(withNul).action, Action::None);
}

TEST(SvpnReply, Traffic)
{
    SvpnReplyEvents e = SvpnHandler::decodeReply("&settraffic,1,2,3,4");
    ASSERT_TRUE(e.hasTraffic);
    EXPECT_EQ(e.recvClient, 2);
    EXPECT_EQ(e.sendClient, 1);
    EXPECT_EQ(e.recvServer, 4);
    EXPECT_EQ(e.sendServer, 3);
    EXPECT_FALSE(SvpnHandler::decodeReply("&settraffic,1,2,3").hasTraffic);
    EXPECT_FALSE(SvpnHandler::decodeReply("settraffic,1,2,3,4").hasTraffic); // no "&settraffic"
    e = SvpnHandler::decodeReply("&settraffic,x,-5, 9000000000,");
    ASSERT_TRUE(e.hasTraffic);
    EXPECT_EQ(e.sendClient, 0);
    EXPECT_EQ(e.recvClient, -5);
    EXPECT_EQ(e.sendServer, 9000000000LL);
    EXPECT_EQ(e.recvServer, 0);
    // Traffic is reported beside the event of the same reply.
    e = SvpnHandler::decodeReply("&settraffic,1,2,3,4&sslreconnecting");
    EXPECT_TRUE(e.hasTraffic);
    EXPECT_EQ(e.action, Action::Reconnecting);
}

TEST(SvpnReply, Details)
{
    SvpnReplyEvents e = SvpnHandler::decodeReply("tunneldetails,5,abcdefgh");
    ASSERT_TRUE(e.hasDetails);
    EXPECT_STREQ(e.details, "abcde");
    EXPECT_STREQ(SvpnHandler::decodeReply("tunneldetails,0,abcdefgh").details, "abcdefgh");
    EXPECT_STREQ(SvpnHandler::decodeReply("tunneldetails,99,abcdefgh").details, "abcdefgh");
    EXPECT_STREQ(SvpnHandler::decodeReply("tunneldetails,-3,abcdefgh").details, "abcdefgh");
    EXPECT_FALSE(SvpnHandler::decodeReply("tunneldetails,5").hasDetails);
    e = SvpnHandler::decodeReply("tunneldetails,2,ab");
    EXPECT_STREQ(e.details, "ab");
    // Details and an end marker in one reply: both act.
    e = SvpnHandler::decodeReply("tunneldetails,3,abc&session_expired");
    EXPECT_STREQ(e.details, "abc");
    EXPECT_EQ(e.action, Action::SessionExpired);
}

TEST(SvpnPidFile, OwnProcessIsNotTheDaemon)
{
    EXPECT_FALSE(SvpnHandler::isSvpnProcess(getpid()));
    EXPECT_FALSE(SvpnHandler::isSvpnProcess(0));
    EXPECT_FALSE(SvpnHandler::isSvpnProcess(-1));
}

using tessal::test::hex;

std::string startText(const std::vector<std::pair<std::string, std::string>>& pairs)
{
    UPropertyList list;
    for (const auto& [name, value] : pairs)
        list.setProperty(name.c_str(), value.c_str());
    return static_cast<const char*>(SvpnHandler::makeStartParameters(list));
}

class SvpnStartText : public ::testing::Test
{
protected:
    void SetUp() override { tessal::qt::TunnelTestSeam::resetLastSessionId(); }
    const std::string pid = std::to_string(getpid());
    std::string tail(int versionIndex)
    {
        return "q" + std::to_string(versionIndex) + "=" + hex("version=2.9") + "&q" + std::to_string(versionIndex - 1) +
               "=" + hex("browser_pid=" + pid) + "&";
    }
};

TEST_F(SvpnStartText, HexFormDropsAndKeepsIndices)
{
    EXPECT_EQ(hex("version=2.9"), "76657273696F6E3D322E39");
    const std::string text = startText({{"SESSION_ID", "s1"},
                                        {"xresourcesy", "1"},
                                        {"ui_url", "u"},
                                        {"UI_URL", "U"},
                                        {"CODEBASE", "c"},
                                        {"random_data", "r"},
                                        {"TUNNEL_DISCONNECTED_BY_USER", "false"},
                                        {"CLSID_X", "c"},
                                        {"IsHalvane", "yes"}});
    // ui_url and UI_URL are one entry (names ignore case) whose name keeps its first spelling.
    EXPECT_EQ(text,
              tail(9) + "q7=" + hex("IsHalvane=yes") + "&q2=" + hex("ui_url=U") + "&q0=" + hex("SESSION_ID=s1") + "&");
}

TEST_F(SvpnStartText, PlainForm)
{
    EXPECT_EQ(startText({{"IsHalvane", "YES"}, {"CLSID", "c"}, {"Version", "1.0"}}),
              "browser_pid=" + pid + "&Version=2.9&CLSID=c&IsHalvane=YES&");
}

TEST_F(SvpnStartText, AppLaunchEntriesOfTheSameSession)
{
    const std::vector<std::pair<std::string, std::string>> first = {{"SESSION_ID", "abc"}, {"MAC_AppLaunch1", "a"}};
    const std::string launch = "q1=" + hex("MAC_AppLaunch1=a") + "&";
    EXPECT_NE(startText(first).find(launch), std::string::npos); // new session: kept
    EXPECT_EQ(startText(first).find(launch), std::string::npos); // same session: dropped
    EXPECT_NE(startText({{"SESSION_ID", "abc"}, {"MAC_AppLaunch1", "a"}, {"TUNNEL_DISCONNECTED_BY_USER", "True"}})
                  .find(launch),
              std::string::npos); // same session, the user disconnected: kept
    EXPECT_NE(startText({{"SESSION_ID", "xyz"}, {"MAC_AppLaunch1", "a"}}).find(launch), std::string::npos);
}

TEST_F(SvpnStartText, ListWithoutSessionIdAtFirstStartIsTheSameSession)
{
    EXPECT_EQ(startText({{"MAC_AppLaunch", "a"}}), tail(2));
    EXPECT_EQ(startText({}), tail(1));
}

} // namespace
