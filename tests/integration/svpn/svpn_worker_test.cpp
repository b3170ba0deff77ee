// The poll worker against the svpn stand-in (docs/svpn-poll-protocol.md).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <regex>
#include <string>
#include <vector>

#include "../../../tools/common/Squatter.h"
#include "RecordingHandler.h"
#include "RecordingLog.h"
#include "SvpnStandIn.h"
#include "foundation/UClasses.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

using Events = std::vector<std::string>;
using tessal::test::RecordingLog;

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

// Beside another user's IPv6-only listener on the daemon's port, which takes
// no connection to 127.0.0.1 and changes nothing.
TEST(SvpnWorker, ExpiryAfterConnectedClosesWithItsCode)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\nreply &session_expired\n");
    const pid_t beside = standin::startSquatter(44444, "&sslreconnecting", "/dev/null", /*ipv6Only=*/true);
    ASSERT_GT(beside, 0);
    RecordingHandler handler;
    ASSERT_EQ(openWith(handler), 0);
    ASSERT_TRUE(handler.waitForEnd(8000));
    EXPECT_EQ(handler.events(), (Events{"connecting", "connected", "closed 27"}));
    ::kill(beside, SIGKILL);
    ::waitpid(beside, nullptr, 0);
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

// A daemon that cannot be reached, one that comes up only after the first
// poll, one that only keeps accepting, one whose replies carry no marker, and
// another user's socket on the daemon's port: each ends the tunnel as
// unreachable, with its record, and the daemon is stopped before the end is
// told, so that a launch right after it is not refused.
TEST(SvpnWorker, DaemonThatCannotBeBelievedEndsAsUnreachable)
{
    const struct {
        const char* script;
        const char* record;
    } rows[] = {
        {"listen off\n", "ERROR! Cannot connect to svpn"},
        // Unreachable at first, or (a slow machine) reached only once it
        // listens without answering: either way it is given up.
        {"listen-delay 1500\n", "ERROR! (Cannot connect to svpn|svpn did not answer, polls in a row, 6)"},
        {"stall\n", "ERROR! svpn did not answer, polls in a row, 6"},
        {"reply HTTP/1.1 200 OK\\r\\n\\r\\nready\n", "ERROR! svpn did not answer, polls in a row, 6"},
        {"squatter HTTP/1.1 200 OK\\r\\n\\r\\n&setloaded&sslcreate\n",
         "ERROR! 127.0.0.1:44444 is not held by svpn, pid"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        RecordingLog log;
        SvpnStandIn standIn(row.script);
        RecordingHandler handler(50, 50, /*replyWaitMs=*/300);
        ASSERT_EQ(openWith(handler), 0);
        ASSERT_TRUE(handler.waitForEnd(8000));
        EXPECT_EQ(handler.events(), (Events{"connecting", "closed -102"}));
        EXPECT_TRUE(std::regex_search(log.text(), std::regex(row.record))) << log.text();
        EXPECT_TRUE(standIn.lines("squatter ").empty()); // it was told nothing
        EXPECT_EQ(standIn.lines("term").size(), 1u);
        RecordingHandler next;
        EXPECT_EQ(openWith(next), 0);
    }
}

TEST(SvpnWorker, LoggingSwitchIsSentOncePerChange)
{
    SvpnStandIn standIn("reply &setloaded\n");
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
