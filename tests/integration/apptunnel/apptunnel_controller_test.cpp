// The application-tunnel controller against the stand-in: readiness wait,
// open results, deferred close, last close, log level and client reuse
// (docs/tunnelserver-protocol.md).
#include <gtest/gtest.h>

#include <QTimer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "RecordingLog.h"
#include "TunnelServerStandIn.h"
#include "foundation/UClasses.h"
#include "tunnel/AppTunnelController.h"
#include "tunnel/TunnelServerClient.h"
#include "tunnel/TunnelTestSeam.h"
#include "tunnel/WebInterface.h"

namespace {

using tessal::test::RecordingLog;

using tessal::qt::AppTunnelController;
using tessal::qt::TunnelTestSeam;

class RecordingListener : public tessal::qt::WebInterface
{
public:
    void onTunnelConnected(const QString& id) override { events.push_back("connected " + id.toStdString()); }
    void onTunnelReconnecting(const QString& id) override { events.push_back("reconnecting " + id.toStdString()); }
    void onTunnelConnecting(const QString& id) override { events.push_back("connecting " + id.toStdString()); }
    void onTunnelClosed(const QString& id, int error) override
    {
        events.push_back("closed " + id.toStdString() + " " + std::to_string(error));
    }
    void onTunnelError(const QString& id, int error) override
    {
        events.push_back("error " + id.toStdString() + " " + std::to_string(error));
    }
    std::vector<std::string> events;
};

std::atomic<int> g_session{0};

// Every test gets its own session, so the process-wide client is rebuilt.
QString freshSession()
{
    return QString("session-%1-ABCDEFGH").arg(++g_session);
}

const std::string kOneLocalTunnel =
    "reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1&local_port0=3000\\n\n";

class AppTunnelControllerTest : public ::testing::Test
{
protected:
    void SetUp() override { TunnelTestSeam::setReadinessPause(20); }
    void TearDown() override
    {
        TunnelTestSeam::resetTunnelServerClient();
        TunnelTestSeam::setReadinessPause(1000);
    }
    RecordingListener listener;
};

TEST_F(AppTunnelControllerTest, ClientSettingsFromTheUrl)
{
    const QString session = freshSession();
    AppTunnelController https(&listener, QUrl("https://vpn.example/"), session, "r1");
    EXPECT_TRUE(https.getTunnelServerClient()->isFor("vpn.example", 443, session.toStdString(), true));
    AppTunnelController http(&listener, QUrl("http://vpn.example:8080/"), "other", "r2");
    EXPECT_TRUE(http.getTunnelServerClient()->isFor("vpn.example", 8080, "other", false));
}

TEST_F(AppTunnelControllerTest, UnknownSchemeTakesTheDefaultPort)
{
    RecordingLog log;
    AppTunnelController controller(&listener, QUrl("gopher://vpn.example/"), "s", "r1");
    EXPECT_TRUE(controller.getTunnelServerClient()->isFor("vpn.example", 80, "s", false));
    EXPECT_TRUE(log.contains("Failed to get port for scheme gopher, using default 80"));
}

TEST_F(AppTunnelControllerTest, ReadyAtTheThirdQuestion)
{
    TunnelServerStandIn server("reply is_ready result=0\\n\nreply is_ready result=0\\n\nreply is_ready result=1\\n\n" +
                               kOneLocalTunnel);
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_EQ(controller.open(""), 0);
    EXPECT_TRUE(controller.isOpened());
    EXPECT_EQ(listener.events, (std::vector<std::string>{"connecting r1", "connected r1"}));
    auto commands = server.commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[1], "cmd=is_ready");
    EXPECT_EQ(commands[3], "cmd=is_ready");
    EXPECT_EQ(commands[4], "cmd=open_all_tunnels&resource_id=r1");
    EXPECT_EQ(controller.getResourceDetails().size(), 1u);
    EXPECT_EQ(controller.checkStatus(), 0);
    EXPECT_EQ(controller.close(), 0);
    EXPECT_EQ(listener.events.back(), "closed r1 0");
}

TEST_F(AppTunnelControllerTest, NeverReady)
{
    TunnelServerStandIn server("reply is_ready result=0\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    try {
        controller.open("");
        FAIL() << "opened";
    } catch (const tessal::qt::TunnelServerTimeoutException& e) {
        EXPECT_STREQ(e.what(), "Tunnel server can't establish connection for 20 seconds");
    }
    EXPECT_FALSE(controller.isOpened());
    EXPECT_EQ(server.commands().size(), 21u);
}

TEST_F(AppTunnelControllerTest, RefusedSessionDuringTheWait)
{
    TunnelServerStandIn server("reply is_ready result=3\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_THROW(controller.open(""), InvalidSidException);
}

TEST_F(AppTunnelControllerTest, ClosedDuringTheWait)
{
    TunnelServerStandIn server("reply is_ready result=0\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    QTimer::singleShot(50, [&controller]() { controller.close(); });
    EXPECT_EQ(controller.open(""), 118);
    EXPECT_FALSE(controller.isOpened());
    auto commands = server.commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[commands.size() - 2], "cmd=close_all_tunnels&resource_id=r1");
    EXPECT_EQ(commands.back().rfind("cmd=exit&pid=", 0), 0u);
    for (const auto& c : commands)
        EXPECT_EQ(c.find("open_all_tunnels"), std::string::npos);
    EXPECT_EQ(controller.getTunnelServerClient()->openResourceCount(), 0);
}

TEST_F(AppTunnelControllerTest, NoLocalSideGives108AndClosesTheServerTunnels)
{
    TunnelServerStandIn server(
        "reply open_all_tunnels result=0&result0=0&host0=a&port0=1&result1=0&host1=b&port1=2\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_EQ(controller.open(""), 108);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"connecting r1"}));
    auto commands = server.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "cmd=close_all_tunnels&resource_id=r1");
    EXPECT_EQ(commands.back().rfind("cmd=exit&pid=", 0), 0u);
    EXPECT_EQ(controller.getTunnelServerClient()->openResourceCount(), 0);
}

TEST_F(AppTunnelControllerTest, UnreadableOpenReplyClosesTheServerTunnels)
{
    TunnelServerStandIn server(
        "reply open_all_tunnels result=0&result0=0&host0=a&port0=1&local_host0=h&local_port0=x\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_THROW(controller.open(""), std::invalid_argument);
    EXPECT_FALSE(controller.isOpened());
    auto commands = server.commands();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[commands.size() - 2], "cmd=close_all_tunnels&resource_id=r1");
    EXPECT_EQ(commands.back().rfind("cmd=exit&pid=", 0), 0u);
}

TEST_F(AppTunnelControllerTest, ServerRefusesTheOpen)
{
    TunnelServerStandIn server("reply open_all_tunnels result=4\\n\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_EQ(controller.open(""), 4);
    EXPECT_EQ(listener.events.back(), "connected r1");
    EXPECT_EQ(server.commands().back().rfind("cmd=exit&pid=", 0), 0u);
}

TEST_F(AppTunnelControllerTest, SecondResourceSharesTheServerAndExitComesLast)
{
    TunnelServerStandIn server(kOneLocalTunnel);
    const QString session = freshSession();
    AppTunnelController a(&listener, QUrl("https://vpn.example/"), session, "a");
    AppTunnelController b(&listener, QUrl("https://vpn.example/"), session, "b");
    ASSERT_EQ(a.open(""), 0);
    ASSERT_EQ(b.open(""), 0);
    EXPECT_EQ(a.getTunnelServerClient(), b.getTunnelServerClient());
    a.close();
    for (const auto& c : server.commands())
        EXPECT_EQ(c.find("cmd=exit"), std::string::npos);
    b.close();
    auto commands = server.commands();
    EXPECT_EQ(commands[commands.size() - 2], "cmd=close_all_tunnels&resource_id=b");
    EXPECT_EQ(commands.back().rfind("cmd=exit&pid=", 0), 0u);
    EXPECT_EQ(server.starts().size(), 1u);
}

TEST_F(AppTunnelControllerTest, LogLevelBeforeOpenIsKeptAndSent)
{
    TunnelServerStandIn server(kOneLocalTunnel);
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_NO_THROW(controller.setLogLevel(31));
    EXPECT_TRUE(server.commands().empty());
    ASSERT_EQ(controller.open(""), 0);
    bool sent = false;
    for (const auto& c : server.commands())
        sent = sent || c == "cmd=set_log_level&value=31";
    EXPECT_TRUE(sent);
    controller.close();
}

TEST_F(AppTunnelControllerTest, QueriesOnAClosedController)
{
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    EXPECT_EQ(controller.checkStatus(), 114);
    EXPECT_THROW(controller.getTraffic(), std::runtime_error);
    EXPECT_THROW(controller.getResourceDetails(), std::runtime_error);
    EXPECT_THROW(controller.getLaunchConfig(), std::runtime_error);
    EXPECT_EQ(controller.getProperties().getCount(), 0);
    EXPECT_EQ(controller.close(), 0);
}

TEST_F(AppTunnelControllerTest, ClientForAnotherSessionIsRebuiltWhenIdle)
{
    TunnelServerStandIn server(kOneLocalTunnel);
    AppTunnelController first(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    ASSERT_EQ(first.open(""), 0);
    AppTunnelController second(&listener, QUrl("https://vpn.example/"), freshSession(), "r2");
    // A tunnel of the old session is open: the client stays.
    EXPECT_EQ(second.getTunnelServerClient(), first.getTunnelServerClient());
    first.close();
    TunnelServerClient* rebuilt = second.getTunnelServerClient();
    EXPECT_TRUE(rebuilt->isFor("vpn.example", 443, "session-" + std::to_string(g_session.load()) + "-ABCDEFGH", true));
}

TEST_F(AppTunnelControllerTest, ClientAskedForDuringTheWaitIsNotReplaced)
{
    TunnelServerStandIn server("reply is_ready result=0\\n\nreply is_ready result=1\\n\n" + kOneLocalTunnel);
    AppTunnelController first(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    AppTunnelController other(&listener, QUrl("https://vpn.example/"), freshSession(), "r2");
    TunnelServerClient* during = nullptr;
    QTimer::singleShot(0, [&] { during = other.getTunnelServerClient(); }); // inside the readiness wait
    ASSERT_EQ(first.open(""), 0);
    EXPECT_EQ(during, first.getTunnelServerClient());
    EXPECT_EQ(server.starts().size(), 1u);
    first.close();
}

TEST_F(AppTunnelControllerTest, RestartedServerGetsTheLevelInForce)
{
    TunnelServerStandIn server(kOneLocalTunnel + "[1] reply statistics_by_resource @exit\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    ASSERT_EQ(controller.open(""), 0);
    controller.setLogLevel(31);
    EXPECT_EQ(controller.getTraffic().recv_server, 0); // the server goes away here
    controller.close();
    ASSERT_EQ(controller.open(""), 0);
    controller.close();
    int sent = 0;
    for (const auto& c : server.commands())
        sent += c == "cmd=set_log_level&value=31";
    EXPECT_EQ(server.starts().size(), 2u);
    EXPECT_EQ(sent, 2);
}

TEST_F(AppTunnelControllerTest, LostServerFailsTheStatusCheck)
{
    TunnelServerStandIn server(kOneLocalTunnel + "[1] reply statistics_by_resource @exit\n");
    AppTunnelController controller(&listener, QUrl("https://vpn.example/"), freshSession(), "r1");
    ASSERT_EQ(controller.open(""), 0);
    EXPECT_EQ(controller.getTraffic().recv_server, 0);
    EXPECT_EQ(controller.checkStatus(), 106);
    EXPECT_EQ(controller.close(), 0);
    EXPECT_EQ(server.starts().size(), 1u); // closing a lost resource starts no server
}

} // namespace
