// The network-access controller against the svpn stand-in
// (docs/svpn-poll-protocol.md).
#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EventWait.h"
#include "RecordingLog.h"
#include "SvpnStandIn.h"
#include "tunnel/VpnController.h"
#include "tunnel/WebInterfaceProxy.h"

namespace {

using Events = std::vector<std::string>;
using tessal::test::RecordingLog;

// Stands where the resource manager stands: behind the proxy, on the GUI thread.
struct GuiListener : tessal::qt::WebInterface {
    Events events;
    bool offGuiThread = false;
    bool ended = false;
    void add(const std::string& event)
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offGuiThread = true;
        events.push_back(event);
    }
    void onTunnelConnected(const QString& id) override { add("connected " + id.toStdString()); }
    void onTunnelReconnecting(const QString& id) override { add("reconnecting " + id.toStdString()); }
    void onTunnelConnecting(const QString& id) override { add("connecting " + id.toStdString()); }
    void onTunnelClosed(const QString& id, int e) override
    {
        add("closed " + id.toStdString() + " " + std::to_string(e));
        ended = true;
    }
    void onTunnelError(const QString& id, int e) override
    {
        add("error " + id.toStdString() + " " + std::to_string(e));
        ended = true;
    }
};

TEST(VpnController, EventsReachTheGuiThreadInOrderAndStateIsKept)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n"
                        "reply &settraffic,1,2,3,4\n"
                        "reply tunneldetails,0,a=1\\nb=2\\nA=3\n"
                        "reply ,disconnectedwitherror,12\n");
    GuiListener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    auto controller = std::make_shared<tessal::qt::VpnController>(&proxy, "res1");
    std::shared_ptr<TunnelInterface> tunnel = controller;
    EXPECT_EQ(tunnel->getTraffic().recv_server, 0);
    EXPECT_EQ(tunnel->getProperties().getCount(), 0);

    ASSERT_EQ(tunnel->open("SESSION_ID=abc & IsHalvane=YES&isHalvane=YES"), 0);
    EXPECT_FALSE(tunnel->isOpened()); // the worker's first pause
    EXPECT_EQ(standIn.lines("stdin "), std::vector<std::string>{"version=2.9&browser_pid=" + std::to_string(getpid()) +
                                                                "&IsHalvane=YES&SESSION_ID=abc&"});
    ASSERT_TRUE(tessal::test::waitFor([&] { return listener.ended; }, 15000));
    EXPECT_EQ(listener.events, (Events{"connecting res1", "connected res1", "closed res1 12"}));
    EXPECT_FALSE(listener.offGuiThread);

    const tessal::TunnelStats stats = tunnel->getTraffic();
    EXPECT_EQ(stats.recv_server, 4);
    EXPECT_EQ(stats.send_server, 3);
    EXPECT_EQ(stats.recv_client, 2);
    EXPECT_EQ(stats.send_client, 1);
    UPropertyList details = tunnel->getProperties();
    ASSERT_EQ(details.getCount(), 2);
    EXPECT_STREQ(details.getAt(0, 0), "a");
    EXPECT_STREQ(details.getAt(0, 1), "3");
    EXPECT_STREQ(details.getAt(1, 0), "b");
    EXPECT_EQ(tunnel->checkStatus(), 0);
    EXPECT_FALSE(tunnel->isOpened());
}

TEST(VpnController, DetailsRecordShowsSessionIdsOnlyInShortForm)
{
    SvpnStandIn standIn("reply tunneldetails,0,TunnelPort=443\\nSessionId=0123456789abcdef\\nflag=1\n");
    RecordingLog log;
    GuiListener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    {
        tessal::qt::VpnController controller(&proxy, "res3");
        ASSERT_EQ(controller.open("SESSION_ID=0123456789abcdef"), 0);
        ASSERT_TRUE(tessal::test::waitFor([&] { return controller.getProperties().getCount() == 3; }, 8000));
        UPropertyList details = controller.getProperties();
        EXPECT_STREQ(details.getAt(1, 1), "0123456789abcdef"); // kept whole for the page
        // The daemon repeats the same details; the log has them once.
        ASSERT_TRUE(waitUntil([&] { return standIn.lines("request ").size() >= 3; }, 8000));
    }
    const std::string records = log.text();
    EXPECT_NE(records.find("SessionId=89abcdef"), std::string::npos) << records;
    EXPECT_EQ(records.find("0123456789abcdef"), std::string::npos) << records;
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("TunnelPort=443") != std::string::npos; }),
              1)
        << records;
}

TEST(VpnController, DestroyedWhileSleepingBetweenPolls)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\n");
    GuiListener listener;
    tessal::qt::WebInterfaceProxy proxy(&listener);
    auto controller = std::make_unique<tessal::qt::VpnController>(&proxy, "res2");
    ASSERT_EQ(controller->open(""), 0);
    ASSERT_TRUE(tessal::test::waitFor(
        [&] { return !listener.events.empty() && listener.events.back() == "connected res2"; }, 8000));
    EXPECT_TRUE(controller->isOpened());
    controller.reset(); // stops the daemon and waits for the worker
    EXPECT_TRUE(waitUntil([&] { return !standIn.lines("term").empty(); }, 3000));
    // What the worker reported before it ended is still delivered, and ends with closed(0).
    tessal::test::waitFor([&] { return listener.ended; }, 1000);
    EXPECT_EQ(listener.events.back(), "closed res2 0");
}

} // namespace
