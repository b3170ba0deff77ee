// The tunnel-server client against the stand-in over 127.0.0.1: process start,
// endpoint line, connection, session command, transport and commands, as
// docs/tunnelserver-protocol.md describes them.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include <boost/system/system_error.hpp>

#include "RecordingLog.h"
#include "TunnelServerStandIn.h"
#include "tunnel/TunnelServerClient.h"

namespace {

using tessal::test::RecordingLog;

using namespace std::chrono_literals;

const std::string kTwoLocalTunnels =
    "reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1&local_port0=3000"
    "&result1=0&host1=srv&port1=81&local_host1=127.0.0.1&local_port1=3001\\n\n";

// Only silence waits the limit out; a slow start of the stand-in (a
// sanitizer build, a busy machine) must not read as silence.
std::string runEndpoint(const std::string& line, const std::string& extra = std::string(),
                        std::chrono::milliseconds limit = 15s)
{
    TunnelServerStandIn server("endpoint_line " + line + "\n" + extra);
    TunnelServerClient client("h", 443, "abc", true);
    client.setEndpointTimeout(limit);
    try {
        client.getConnection();
    } catch (const boost::system::system_error& e) {
        EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0))) << "child left running";
        return std::string("system_error:") + std::to_string(e.code().value());
    } catch (const std::exception& e) {
        EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0))) << "child left running";
        return e.what();
    }
    return "connected";
}

TEST(AppTunnelEndpointLine, Table)
{
    EXPECT_EQ(runEndpoint("{addr} {port}\\n"), "connected");
    EXPECT_EQ(runEndpoint("  {addr}\\t{port}\\r\\n"), "connected");
    EXPECT_EQ(runEndpoint("{addr} {port}\\nmore output\\n"), "connected"); // only the first line counts
    EXPECT_EQ(runEndpoint("127.0.0.1 0\\n"), "bad port: '0'");
    EXPECT_EQ(runEndpoint("127.0.0.1 65536\\n"), "bad port: '65536'");
    EXPECT_EQ(runEndpoint("127.0.0.1 -5\\n"), "bad port: '-5'");
    EXPECT_EQ(runEndpoint("127.0.0.1 abc\\n"), "failed to parse port: 'abc'");
    EXPECT_EQ(runEndpoint("127.0.0.1\\n"), "bad input, 1: 127.0.0.1");
    EXPECT_EQ(runEndpoint("no.such.address {port}\\n"), "system_error:22");
    // End of file before a line feed, and silence: both fail, neither hangs.
    EXPECT_EQ(runEndpoint("{addr} {port}", "exit_after_endpoint\n"), "system_error:2");
    EXPECT_EQ(runEndpoint("none", std::string(), 500ms), "system_error:110");
}

TEST(AppTunnelEndpointLine, ThreeFieldsAreReported)
{
    std::string text = runEndpoint("{addr}  {port}\\n");
    EXPECT_EQ(text.rfind("bad input, 3: 127.0.0.1  ", 0), 0u) << text;
}

TEST(AppTunnelEndpointLine, Ipv6Address)
{
    EXPECT_EQ(runEndpoint("::1 {port}\\n", "address ::1\n"), "connected");
}

TEST(AppTunnelConnection, MissingProgramFailsToLaunch)
{
    try {
        TunnelServerClient::launchProcess("/nonexistent/tunnelserver", {});
        FAIL() << "launched";
    } catch (const tessal::SystemError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Failed to launch process /nonexistent/tunnelserver", 0), 0u) << e.what();
        EXPECT_EQ(e.code().value(), ENOENT);
    }
}

// The server listens a few ports above the one it reports; on the reported
// port another local user may listen first, and is passed over unheard.
TEST(AppTunnelConnection, ReachesOneOfTheNextFourPorts)
{
    for (const auto& [script, offset] :
         {std::pair<std::string, int>{"port_offset 3\n", 3}, {"port_offset 1\nsquatter result=0\\n\n", 1}}) {
        SCOPED_TRACE(script);
        RecordingLog log;
        TunnelServerStandIn server(script);
        TunnelServerClient client("h", 443, "abc", true);
        auto connection = client.getConnection();
        ASSERT_TRUE(connection);
        const std::string reported = std::to_string(connection->remote_endpoint().port() - offset);
        const std::string connected = std::to_string(connection->remote_endpoint().port());
        EXPECT_TRUE(log.contains("Trying to connect to 127.0.0.1:" + reported)) << reported;
        EXPECT_TRUE(log.contains("Succeded to connect (retry #1) to 127.0.0.1:" + connected + "\n"));
        EXPECT_TRUE(log.contains("48, TunnelServerClient, "));
        EXPECT_EQ(client.getConnection(), connection); // no second process, nothing sent
        EXPECT_EQ(server.starts().size(), 1u);
        EXPECT_EQ(server.commands().size(), 1u);
        const bool squatted = script.find("squatter") != std::string::npos;
        EXPECT_EQ(log.contains("Refused to use 127.0.0.1:" + reported +
                               ", the socket there is not held by the tunnel server"),
                  squatted)
            << log.text();
        for (const std::string& line : server.lines())
            EXPECT_NE(line.rfind("squatter ", 0), 0u) << line;
    }
}

TEST(AppTunnelConnection, GivesUpAfterTwentyCycles)
{
    TunnelServerStandIn server("port_offset 5\n");
    TunnelServerClient client("h", 443, "abc", true);
    try {
        client.getConnection();
        FAIL() << "connected";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Failed to connect to TunnelServer 127.0.0.1:", 0), 0u) << e.what();
    }
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0)));
}

TEST(AppTunnelConnection, ServerThatStartsListeningLate)
{
    TunnelServerStandIn server("listen_delay_ms 1000\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_TRUE(client.getConnection());
}

TEST(AppTunnelConnection, OutputKeepsBeingDrained)
{
    // Far more than a pipe holds: a client that stopped reading would block the server.
    TunnelServerStandIn server("flood_output 1048576\n");
    TunnelServerClient client("h", 443, "abc", true);
    client.setReplyTimeout(5s);
    EXPECT_TRUE(client.isReady());
}

TEST(AppTunnelSession, CommandBytes)
{
    TunnelServerStandIn server("");
    TunnelServerClient client("srv.example", 8443, "abc", false);
    client.getConnection();
    auto commands = server.commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0],
              "cmd=session&host=srv.example&port=8443&ua=Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.1; "
              "Trident/6.0; Tessal Networks Client)&session=YWJjAAAAAAAAAAAAAAAAAA==&SSLEnabled=0&HTTPEnabled=1"
              "&ISessionEnabled=1&CtrlChannelEnabled=1&pid=" +
                  std::to_string(::getpid()));
}

TEST(AppTunnelSession, LongSessionIdHasNoPadding)
{
    TunnelServerStandIn server("");
    const std::string id(32, 'k');
    TunnelServerClient client("h", 443, id, true);
    client.getConnection();
    std::string command = server.commands().at(0);
    size_t begin = command.find("&session=") + 9;
    std::string value = command.substr(begin, command.find('&', begin) - begin);
    EXPECT_EQ(value.size(), 64u);
    EXPECT_EQ(value.find('='), std::string::npos);
}

TEST(AppTunnelSession, RefusedSessionDropsTheConnection)
{
    RecordingLog log;
    TunnelServerStandIn server("reply session result=3\\n\n");
    const std::string id = "0123456789abcdefSECRETSESSION-XYZ";
    TunnelServerClient client("h", 443, id, true);
    try {
        client.getConnection();
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("unexpected result: result=3 for cmd:cmd=session&", 0), 0u) << text;
        // Session values appear only in short form.
        EXPECT_NE(text.find("&session=SION-XYZ&"), std::string::npos) << text;
        EXPECT_EQ(text.find("SECRET"), std::string::npos) << text;
    }
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0)));
    for (const auto& record : log.lines())
        EXPECT_EQ(record.find("SECRET"), std::string::npos) << record;
}

TEST(AppTunnelTransport, ReplyInTwoPieces)
{
    TunnelServerStandIn server("reply statistics_by_resource result=0&recv_se\\prver=5&send_server=6\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    tessal::TunnelStats stats = client.getStats("r1");
    EXPECT_EQ(stats.recv_server, 5);
    EXPECT_EQ(stats.send_server, 6);
    EXPECT_EQ(stats.recv_client, 0);
}

TEST(AppTunnelTransport, SilentServerTimesOutThenAFreshServerAnswers)
{
    TunnelServerStandIn server("[1] reply is_ready @silent\n");
    TunnelServerClient client("h", 443, "abc", true);
    client.setReplyTimeout(300ms);
    try {
        client.isReady();
        FAIL() << "answered";
    } catch (const boost::system::system_error& e) {
        EXPECT_EQ(e.code().value(), 110);
    }
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0)));
    EXPECT_TRUE(client.isReady());
    EXPECT_EQ(server.starts().size(), 2u);
}

TEST(AppTunnelTransport, ClosedConnectionFailsAndReconnects)
{
    TunnelServerStandIn server("[1] reply is_ready @close\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_THROW(client.isReady(), boost::system::system_error);
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(client.isReady());
}

// Bytes the server sends unasked answer no request. A line before a request:
// the request that would have read it is not written, and the next command
// starts a new server. Bytes behind a reply's delimiter in the same read are
// no part of it. Either way the connection and that server go.
TEST(AppTunnelTransport, UnaskedBytesDropTheConnection)
{
    using Call = std::function<void(TunnelServerClient&)>;
    const auto fails = [](Call call) {
        return [call](TunnelServerClient& client) {
            try {
                call(client);
                ADD_FAILURE() << "answered";
            } catch (const boost::system::system_error& e) {
                EXPECT_EQ(e.code().value(), EPROTO);
            }
        };
    };
    const Call noStats = [](TunnelServerClient& c) { EXPECT_EQ(c.getStats("r1").recv_server, 0); };
    const Call noExtStats = [](TunnelServerClient& c) { EXPECT_EQ(c.getExtStats("r1").recv_server, 0); };
    // A second line after the reply to the first open.
    const std::string before = "[1] reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1"
                               "&local_port0=3000\\n\\presult=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1"
                               "&local_port0=9999&recv_server=77\\n\n";
    const struct {
        const char* name;
        std::string script;
        Call call;
    } rows[] = {
        {"before readiness", before, fails([](TunnelServerClient& c) { c.isReady(); })},
        {"before status", before, fails([](TunnelServerClient& c) { c.checkStatus(); })},
        {"before open", before, fails([](TunnelServerClient& c) { c.open("r2"); })},
        {"before configuration", before, fails([](TunnelServerClient& c) { c.getConfig("r1"); })},
        {"before log level", before, fails([](TunnelServerClient& c) { c.setLogLevel(31); })},
        {"before close", before, fails([](TunnelServerClient& c) { c.close("r1"); })},
        {"before statistics", before, noStats},
        {"before extended statistics", before, noExtStats},
        {"behind readiness", "reply is_ready result=1\\nresult=0&local_port0=9999\\n\n",
         [](TunnelServerClient& c) { EXPECT_THROW(c.isReady(), boost::system::system_error); }},
        {"behind statistics", "reply statistics_by_resource result=0&recv_server=5\\nresult=0\\n\n", noStats},
        {"behind extended statistics", kTwoLocalTunnels + "reply statistics_ext result=0&<a/>\\r\\n\\r\\nresult=0\\n\n",
         noExtStats},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const bool unasked = row.script == before;
        RecordingLog log;
        TunnelServerStandIn server(row.script);
        TunnelServerClient client("h", 443, "abc", true);
        ASSERT_EQ(client.open("r1"), 0);
        if (unasked) {
            pollfd waiting{client.getConnection()->native_handle(), POLLIN, 0};
            ASSERT_EQ(::poll(&waiting, 1, 10000), 1);
        }

        row.call(client);
        EXPECT_FALSE(client.isConnected());
        EXPECT_TRUE(log.contains(unasked ? "Unexpected data from TunnelServer before cmd="
                                         : "Unexpected data from TunnelServer after the reply to cmd="))
            << log.text();
        EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0)));
        if (!unasked)
            continue;
        EXPECT_EQ(server.commands().size(), 2u); // the session and the first open only
        EXPECT_TRUE(client.getCachedEndpoints("r2").empty());
        EXPECT_TRUE(client.isReady());
        EXPECT_EQ(server.starts().size(), 2u);
    }
}

// Replies of 100,000 pairs: within the cap of their command they are read at
// once; beyond it the connection goes and the next command renews it.
TEST(AppTunnelTransport, LargeReplies)
{
    std::string filler;
    for (int i = 0; i < 100000; ++i)
        filler += "&f" + std::to_string(i);
    std::string manyTunnels = "result=0";
    for (int i = 0; i < 20000; ++i)
        manyTunnels += "&result" + std::to_string(i) + "=0&host" + std::to_string(i) + "=h&port" + std::to_string(i) +
                       "=" + std::to_string(1 + i % 60000);
    {
        TunnelServerStandIn server("reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1"
                                   "&local_port0=3000" +
                                   filler + "\\n\n");
        TunnelServerClient client("h", 443, "abc", true);
        ASSERT_EQ(client.open("r1"), 0);
        ASSERT_EQ(client.getCachedEndpoints("r1").size(), 1u);
        EXPECT_EQ(client.getCachedEndpoints("r1")[0].local_port, 3000);
        EXPECT_TRUE(client.isConnected());
    }
    {
        TunnelServerStandIn server("reply open_all_tunnels " + manyTunnels + "\\n\n");
        TunnelServerClient client("h", 443, "abc", true);
        ASSERT_EQ(client.open("r1"), 0);
        EXPECT_EQ(client.getCachedEndpoints("r1").size(), 20000u);
    }
    {
        RecordingLog log;
        TunnelServerStandIn server("[1] reply statistics_by_resource result=0&recv_server=5" + filler + "\\n\n");
        TunnelServerClient client("h", 443, "abc", true);
        ASSERT_EQ(client.open("r1"), 0);
        EXPECT_EQ(client.getStats("r1").recv_server, 0);
        EXPECT_FALSE(client.isConnected());
        EXPECT_TRUE(log.contains("Reply of TunnelServer to cmd=statistics_by_resource exceeds ")) << log.text();
        EXPECT_TRUE(client.isReady());
        EXPECT_EQ(server.starts().size(), 2u);
    }
}

TEST(AppTunnelTransport, LargeRequestIsWrittenWhole)
{
    TunnelServerStandIn server("request_quiet_ms 300\n");
    TunnelServerClient client("h", 443, "abc", true);
    auto connection = client.getConnection();
    std::string big = "cmd=echo&data=" + std::string(100000 - 14, 'z');
    std::string reply = client.transact(connection, std::vector<char>(big.begin(), big.end()), "\n");
    EXPECT_EQ(reply, "result=0");
    EXPECT_EQ(server.commands().back().size(), 100000u);
}

TEST(AppTunnelCommands, OpenCachesEndpoints)
{
    TunnelServerStandIn server(
        "reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1&local_port0=3000"
        "&desired_local_port0=3001&result1=4&host1=srv&port1=81&result2=0&host2=srv&port2=82"
        "&local_host2=127.0.0.1&local_port2=3002&desired_local_port2=0&result4=0\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_EQ(client.open("r1"), 0);
    auto endpoints = client.getCachedEndpoints("r1");
    ASSERT_EQ(endpoints.size(), 3u); // stops where result3 is missing
    EXPECT_EQ(endpoints[0].remote_host, "srv");
    EXPECT_EQ(endpoints[0].remote_port, 80);
    EXPECT_EQ(endpoints[0].local_port, 3000);
    EXPECT_EQ(endpoints[0].desired_local_port, 3001);
    EXPECT_EQ(endpoints[0].state, 1);
    EXPECT_EQ(endpoints[1].state, 2);
    EXPECT_EQ(endpoints[1].remote_port, 81);
    EXPECT_EQ(endpoints[2].state, 0);
    EXPECT_EQ(client.openResourceCount(), 1);
    EXPECT_EQ(server.commands().back(), "cmd=open_all_tunnels&resource_id=r1");
}

TEST(AppTunnelCommands, OpenRefusedOrCutShort)
{
    TunnelServerStandIn server(
        "reply open_all_tunnels result=5\\n\n"
        "reply open_all_tunnels result0=0&host0=a&port0=1&result1=0&host1=b&port1=2&result2=7\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_EQ(client.open("r1"), 5);
    EXPECT_EQ(client.openResourceCount(), 0);
    EXPECT_TRUE(client.getCachedEndpoints("r1").empty());
    EXPECT_EQ(client.open("r2"), 0);
    EXPECT_EQ(client.getCachedEndpoints("r2").size(), 2u);
}

TEST(AppTunnelCommands, BadPortValueFailsTheOpen)
{
    TunnelServerStandIn server("reply open_all_tunnels result=0&result0=0&host0=a&port0=99999\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_THROW(client.open("r1"), std::invalid_argument);
    EXPECT_EQ(client.openResourceCount(), 0);
}

TEST(AppTunnelCommands, StatusCodes)
{
    TunnelServerStandIn server("reply is_ready result=4\\n\n"
                               "reply is_ready result=3&error=3305119745\\n\n"
                               "reply is_ready result=3&error=3305119746\\n\n"
                               "reply is_ready result=3&error=3221226784\\n\n"
                               "reply is_ready result=3\\n\n"
                               "reply is_ready result=1\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_EQ(client.checkStatus(), 110);
    EXPECT_EQ(client.checkStatus(), 116);
    EXPECT_EQ(client.checkStatus(), 115);
    EXPECT_EQ(client.checkStatus(), 117);
    EXPECT_EQ(client.checkStatus(), 114);
    EXPECT_EQ(client.checkStatus(), 0);
}

TEST(AppTunnelCommands, ReadinessAnswers)
{
    TunnelServerStandIn server("reply is_ready result=0\\n\nreply is_ready result=1\\n\nreply is_ready result=3\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_FALSE(client.isReady());
    EXPECT_TRUE(client.isReady());
    EXPECT_THROW(client.isReady(), InvalidSidException);
}

TEST(AppTunnelCommands, StatisticsLogLevelAndExit)
{
    TunnelServerStandIn server("reply statistics_by_resource result=0&recv_server=1&send_server=2&recv_client=3"
                               "&send_client=9000000000\\n\n"
                               "reply statistics_by_resource result=0&recv_server=x\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_EQ(client.getStats("r1").recv_server, 0); // nothing open: nothing sent
    ASSERT_EQ(client.open("r1"), 0);
    tessal::TunnelStats stats = client.getStats("r1");
    EXPECT_EQ(stats.recv_server, 1);
    EXPECT_EQ(stats.send_server, 2);
    EXPECT_EQ(stats.recv_client, 3);
    EXPECT_EQ(stats.send_client, 9000000000LL);
    EXPECT_EQ(client.getStats("r1").recv_server, 0); // unparsable: zeros, no throw
    client.setLogLevel(31);
    client.setLogLevel(31);
    EXPECT_EQ(client.close("r1"), 0);
    EXPECT_FALSE(client.isConnected());
    auto commands = server.commands();
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(commands[1], "cmd=open_all_tunnels&resource_id=r1");
    EXPECT_EQ(commands[2], "cmd=statistics_by_resource&resource_id=r1");
    EXPECT_EQ(commands[4], "cmd=set_log_level&value=31");
    EXPECT_EQ(commands[5], "cmd=close_all_tunnels&resource_id=r1");
    EXPECT_EQ(commands[6], "cmd=exit&pid=" + std::to_string(::getpid()));
    EXPECT_EQ(commands.size(), 7u);
    EXPECT_TRUE(TunnelServerStandIn::gone(server.starts().at(0)));
    // The next command starts a new server.
    EXPECT_TRUE(client.isReady());
    EXPECT_EQ(server.starts().size(), 2u);
}

// The level counts as the server's only once it accepted it, and a new server
// starts without it.
TEST(AppTunnelCommands, LogLevelIsKeptOnlyOnceTheServerHasIt)
{
    TunnelServerStandIn server("[1] endpoint_line 127.0.0.1 abc\\n\n"
                               "[2] reply set_log_level result=5\\n\n"
                               "[2] reply set_log_level result=0\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    EXPECT_THROW(client.setLogLevel(31), std::runtime_error); // the first server never came up
    EXPECT_THROW(client.setLogLevel(31), std::runtime_error); // the second one refused it
    EXPECT_EQ(client.logLevel(), 0);
    client.setLogLevel(31);
    client.setLogLevel(31); // it has it now: nothing sent
    EXPECT_EQ(client.logLevel(), 31);
    client.exit();
    client.setLogLevel(31); // a third server
    auto commands = server.commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "cmd=set_log_level&value=31"), 3) << commands.size();
    EXPECT_EQ(server.starts().size(), 3u);
}

TEST(AppTunnelCommands, ConfigurationPortRangesAndPlaceholders)
{
    // Tunnel 0 maps 8000-8002 (listeners for 8000 and 8002 only); tunnel 1 has
    // its range reversed; tunnel 2 launches an application.
    const std::string config =
        "show_warning%3D0%26tunnel_count%3D3"
        "%26remote_host0%3Dsrv%26remote_port0%3D8000-8002"
        "%26remote_host1%3Dsrv%26remote_port1%3D8002-8000"
        "%26remote_host2%3Dweb%26remote_port2%3D80%26app_path2%3D%252Fusr%252Fbin%252Fapp"
        "%26app_param2%3D-h%2520%2525HOST%2525%2520-p%2520%2525Port%2525%2520%2525port%5B0%5D%2525";
    TunnelServerStandIn server(
        "reply open_all_tunnels result=0&result0=0&host0=srv&port0=8000&local_host0=127.0.0.1&local_port0=4000"
        "&result1=0&host1=srv&port1=8002&local_host1=127.0.0.1&local_port1=4002"
        "&result2=0&host2=web&port2=80&local_host2=127.0.0.2&local_port2=3000\\n\n"
        "reply get_resource_config result=0&configuration=" +
        config + "\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    tessal::AppTunnelResourceDetails details = client.getConfig("r1");
    EXPECT_FALSE(details.show_warning);
    ASSERT_EQ(details.tunnels.size(), 2u);
    ASSERT_EQ(details.tunnels[0].mappings.size(), 2u);
    EXPECT_EQ(details.tunnels[0].mappings[0].remote_port, 8000);
    EXPECT_EQ(details.tunnels[0].mappings[1].remote_port, 8002);
    EXPECT_EQ(details.tunnels[0].mappings[1].endpoint.local_port, 4002);
    EXPECT_EQ(details.tunnels[1].app_path, "/usr/bin/app");

    tessal::AppLaunchConfig launch = client.getLaunchConfig("r1");
    ASSERT_EQ(launch.requests.size(), 1u);
    EXPECT_EQ(launch.requests[0].app_path, "/usr/bin/app");
    EXPECT_EQ(launch.requests[0].app_params, "-h 127.0.0.2 -p 3000 3000");
    EXPECT_FALSE(launch.show_warning);
}

TEST(AppTunnelCommands, ZeroPortFailsTheConfiguration)
{
    TunnelServerStandIn server(
        "reply get_resource_config result=0&configuration=tunnel_count%3D1%26remote_port0%3D0\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    try {
        client.getConfig("r1");
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Failed to parse configuration");
    }
}

TEST(AppTunnelCommands, LastCloseSendsCloseThenExit)
{
    TunnelServerStandIn server("");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("a"), 0);
    ASSERT_EQ(client.open("b"), 0);
    client.close("a");
    EXPECT_TRUE(client.isConnected());
    client.close("b");
    EXPECT_FALSE(client.isConnected());
    auto commands = server.commands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[3], "cmd=close_all_tunnels&resource_id=a");
    EXPECT_EQ(commands[4], "cmd=close_all_tunnels&resource_id=b");
    EXPECT_EQ(commands[5].rfind("cmd=exit&pid=", 0), 0u);
    // A second close of a closed resource neither goes below zero nor starts a server.
    EXPECT_EQ(client.close("b"), 0);
    EXPECT_EQ(client.openResourceCount(), 0);
    EXPECT_EQ(server.starts().size(), 1u);
}

// "cmd=exit" answered, the server is left to end its work: its input stays
// open and it is not signalled, however long it stays.
TEST(AppTunnelCommands, ServerThatStaysAfterExitIsLeftAlone)
{
    TunnelServerStandIn server("ignore_exit\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    EXPECT_EQ(client.close("r1"), 0);
    EXPECT_FALSE(client.isConnected());
    const pid_t pid = server.starts().at(0);
    std::this_thread::sleep_for(1500ms); // past a second's grace for leaving
    for (const std::string& line : server.lines())
        EXPECT_TRUE(line != "stdin closed" && line.rfind("end ", 0) != 0) << line;
    EXPECT_EQ(::kill(pid, SIGKILL), 0); // still there
    EXPECT_TRUE(TunnelServerStandIn::gone(pid));
}

TEST(AppTunnelCommands, ExtendedStatisticsPerTunnel)
{
    const std::string xml =
        "<UStatsVServerTie><cumulative><tunnel><ingress_in>10</ingress_in><egress_out>20</egress_out></tunnel>"
        "<server><egress_out>30</egress_out><ingress_in>40</ingress_in></server></cumulative></UStatsVServerTie>";
    TunnelServerStandIn server(kTwoLocalTunnels + "reply statistics_ext result=0&" + xml +
                               "\\r\\n\\r\\n\n"
                               "reply statistics_ext result=-1&x\\r\\n\\r\\n\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    tessal::TunnelStats stats = client.getExtStats("r1");
    EXPECT_EQ(stats.recv_server, 10);
    EXPECT_EQ(stats.send_server, 20);
    EXPECT_EQ(stats.recv_client, 30);
    EXPECT_EQ(stats.send_client, 40);
    auto commands = server.commands();
    EXPECT_EQ(commands[2], "cmd=statistics_ext&type=1&local_host=127.0.0.1&local_port=3000");
    // The second tunnel's reply reports a fetch error: logged, not counted.
    EXPECT_EQ(commands[3], "cmd=statistics_ext&type=1&local_host=127.0.0.1&local_port=3001");
}

TEST(AppTunnelCommands, LostConnectionMarksTheOpenTunnels)
{
    TunnelServerStandIn server("[1] reply statistics_by_resource @close\n");
    TunnelServerClient client("h", 443, "abc", true);
    ASSERT_EQ(client.open("r1"), 0);
    EXPECT_EQ(client.getStats("r1").recv_server, 0);
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(client.lostTunnels("r1"));
    EXPECT_EQ(client.openResourceCount(), 0);
}

} // namespace
