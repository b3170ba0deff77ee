#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordingHandler.h"
#include "SvpnStandIn.h"
#include "foundation/UClasses.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

using Events = std::vector<std::string>;

int openWith(RecordingHandler& handler)
{
    tessal::qt::TunnelTestSeam::resetLastSessionId();
    return handler.Open(new UPropertyList());
}

TEST(SvpnWorker, ReportsTheDaemonsEventsInOrder)
{
    SvpnStandIn standIn("reply HTTP/1.1 200 OK\\r\\n\\r\\n&setloaded\n"
                        "reply HTTP/1.1 200 OK\\r\\n\\r\\n&setloaded&sslcreate\n"
                        "reply &sslreconnecting\n"
                        "reply &sslsetstatus,v1,connected&settraffic,10,20,30,40\n"
                        "reply tunneldetails,0,TunnelPort=443\\nX-VPN-client-IP=10.0.0.2\n"
                        "reply ,disconnectedwitherror,12\n");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEnd(10000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "connecting", "connected", "reconnecting", "traffic 20 10 40 30",
                                        "connected", "details TunnelPort=443\nX-VPN-client-IP=10.0.0.2", "closed 12"}));
    EXPECT_FALSE(handler.isRunning());
    const auto requests = standIn.lines("request ");
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0], "GET /vpn.php?INFO&JS HTTP/1.1");
}

TEST(SvpnWorker, EndBeforeConnectedIsAnError)
{
    {
        SvpnStandIn standIn("reply ,disconnectedwitherror,12\n");
        RecordingHandler handler;
        ASSERT_EQ(openWith(handler), 0);
        ASSERT_TRUE(handler.waitForEnd(8000));
        EXPECT_EQ(handler.events(), (Events{"connecting", "error 12"}));
    }
    {
        SvpnStandIn standIn("reply &session_expired\n");
        RecordingHandler handler;
        ASSERT_EQ(openWith(handler), 0);
        ASSERT_TRUE(handler.waitForEnd(8000));
        EXPECT_EQ(handler.events(), (Events{"connecting", "error 27"}));
    }
}

TEST(SvpnWorker, ExpiryAfterConnectedClosesWithItsCode)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\nreply &session_expired\n");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEnd(8000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "connected", "closed 27"}));
}

TEST(SvpnWorker, TrafficAndDetailsBesideAnEndMarkerAreReportedAndTheTunnelEnds)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n"
                        "reply &settraffic,1,2,3,4&tunneldetails,3,abcdef,disconnectedwitherror,16\n");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEnd(8000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "connected", "traffic 2 1 4 3", "details abc", "closed 16"}));
}

TEST(SvpnWorker, NoListenerClosesWithCannotConnect)
{
    SvpnStandIn standIn("listen off\n");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEnd(8000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "closed -102"}));
}

TEST(SvpnWorker, LoggingSwitchIsSentOncePerChange)
{
    SvpnStandIn standIn("");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(waitUntil([&] { return standIn.lines("request ").size() >= 2; }, 5000));
    handler.setLogLevel(31);
    const size_t before = standIn.lines("request ").size();
    ASSERT_TRUE(waitUntil([&] { return standIn.lines("request ").size() >= before + 3; }, 5000));
    handler.setLogLevel(63);
    const size_t middle = standIn.lines("request ").size();
    ASSERT_TRUE(waitUntil([&] { return standIn.lines("request ").size() >= middle + 3; }, 5000));
    EXPECT_EQ(handler.CloseTunnel(), 0);
    ASSERT_TRUE(handler.waitForEnd(5000));

    int disable = 0, enable = 0, plain = 0;
    for (const std::string& request : standIn.lines("request ")) {
        if (request == "GET /vpn.php?INFO&JS&LOGGING_DISABLE HTTP/1.1")
            ++disable;
        else if (request == "GET /vpn.php?INFO&JS&LOGGING_ENABLE HTTP/1.1")
            ++enable;
        else if (request == "GET /vpn.php?INFO&JS HTTP/1.1")
            ++plain;
        else
            ADD_FAILURE() << request;
    }
    EXPECT_EQ(disable, 1);
    EXPECT_EQ(enable, 1);
    EXPECT_GE(plain, 5);
    EXPECT_EQ(handler.events().back(), "closed 0");
}

TEST(SvpnWorker, StopDuringTheFirstPauseIsKept)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n");
    RecordingHandler handler(/*firstPauseMs=*/5000);
    ASSERT_EQ(openWith(handler), 0);
    EXPECT_EQ(handler.CloseTunnel(), 0);
    ASSERT_TRUE(handler.waitForEnd(1000)); // the pause is cut short
    EXPECT_EQ(handler.events(), (Events{"closed 0"}));
    EXPECT_FALSE(handler.isRunning());
    EXPECT_TRUE(standIn.lines("request ").empty());
    EXPECT_TRUE(waitUntil([&] { return !standIn.lines("term").empty(); }, 3000));
}

TEST(SvpnWorker, UserStopWhilePollingClosesWithZero)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n");
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEvent("connected", 5000));
    EXPECT_TRUE(handler.isRunning());
    EXPECT_EQ(handler.CloseTunnel(), 0);
    ASSERT_TRUE(handler.waitForEnd(3000));
    EXPECT_EQ(handler.events().back(), "closed 0");
    EXPECT_TRUE(waitUntil([&] { return !standIn.lines("term").empty(); }, 3000));
}

TEST(SvpnWorker, ADaemonThatNeverAnswersDoesNotHoldTheWorker)
{
    SvpnStandIn standIn("stall\n");
    RecordingHandler handler(50, 50, /*replyWaitMs=*/300);
    ASSERT_EQ(openWith(handler), 0);
    // Rounds go on although no reply is ever closed.
    ASSERT_TRUE(waitUntil([&] { return standIn.lines("request ").size() >= 3; }, 5000));
    EXPECT_EQ(handler.CloseTunnel(), 0);
    ASSERT_TRUE(handler.waitForEnd(2000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "closed 0"}));
}

TEST(SvpnWorker, DestroyingTheHandlerStopsTheDaemonAndTheWorker)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n");
    {
        RecordingHandler handler;
        ASSERT_EQ(openWith(handler), 0);
        ASSERT_TRUE(handler.waitForEvent("connected", 5000));
    }
    EXPECT_TRUE(waitUntil([&] { return !standIn.lines("term").empty(); }, 3000));
}

} // namespace
