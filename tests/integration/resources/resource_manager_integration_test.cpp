// The resource manager with its production controllers against the stand-ins:
// open, connected, statistics, close, and nothing left behind.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include "EventWait.h"
#include "SvpnStandIn.h"
#include "tunnel/ResourceManager.h"
#include "tunnel/TunnelTestSeam.h"

namespace {

using tessal::qt::ResourceManager;
using Strings = std::vector<std::string>;

int entries(const char* folder)
{
    int count = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d))
            ++count;
        closedir(d);
    }
    return count;
}

// What each descriptor is, for the message of a failure.
std::string fdTargets()
{
    std::string all;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (const dirent* e = readdir(d)) {
            char target[256] = {};
            if (readlinkat(dirfd(d), e->d_name, target, sizeof target - 1) > 0)
                all += std::string(e->d_name) + " -> " + target + "\n";
        }
        closedir(d);
    }
    return all;
}

struct Leftovers {
    int fds = entries("/proc/self/fd");
    int threads = entries("/proc/self/task");
};

bool noChildren()
{
    int status = 0;
    return ::waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

// Opens one resource, waits for it to connect and to count traffic, closes
// it, and checks what the process holds afterwards: keptFds more descriptors
// than before.
void runResource(ResourceType::Enum type, const QString& params, int64_t expectedSendClient, int keptFds = 0)
{
    const Leftovers before;
    Strings events;
    {
        ResourceManager rm;
        QObject::connect(&rm, &ResourceManager::tunnelConnected, [&](QString id, int t) {
            events.push_back("connected " + id.toStdString() + " " + std::to_string(t));
        });
        QObject::connect(&rm, &ResourceManager::tunnelClosed, [&](QString id, int t, int e) {
            events.push_back("closed " + id.toStdString() + " " + std::to_string(t) + " " + std::to_string(e));
        });
        rm.setSession(QUrl("https://127.0.0.1:8443/"), "0123456789ABCDEF0123456789ABCDEF");
        rm.vecv4InResourceManager.emplace_back("10.0.0.0/8");
        ASSERT_EQ(rm.attachResource("res", type, params), 0);
        ASSERT_TRUE(tessal::test::waitFor([&] { return !events.empty(); }, 15000));
        EXPECT_EQ(events.front(), "connected res " + std::to_string(type));
        std::vector<tessal::qt::ResourceStats> stats;
        ASSERT_TRUE(tessal::test::waitFor(
            [&] {
                stats = rm.getStatistics();
                return !stats.empty() && stats[0].stats.send_client == expectedSendClient;
            },
            15000));
        EXPECT_EQ(stats[0].id, "res");
        rm.checkStatus();
        EXPECT_FALSE(rm.closeAll());
        ASSERT_TRUE(tessal::test::waitFor([&] { return rm.isEmpty(); }, 15000));
        EXPECT_EQ(events.back(), "closed res " + std::to_string(type) + " 0");
    }
    // The process-wide tunnel-server client may keep its own reactor.
    tessal::qt::TunnelTestSeam::resetTunnelServerClient();
    EXPECT_TRUE(tessal::test::waitFor([] { return noChildren(); }, 5000));
    // A server's watcher thread closes its pipes and pidfd as it ends, after
    // the server is reaped: descriptors are counted once the threads are gone.
    EXPECT_TRUE(tessal::test::waitFor([&] { return entries("/proc/self/task") == before.threads; }, 5000));
    EXPECT_EQ(entries("/proc/self/fd"), before.fds + keptFds) << fdTargets();
}

TEST(ResourceManagerWithStandIns, NetworkAccessThroughSvpn)
{
    SvpnStandIn standIn("reply &setloaded&sslcreate\nreply &settraffic,1,2,3,4\n");
    runResource(ResourceType::network_access, "SESSION_ID=0123456789ABCDEF0123456789ABCDEF", 1);
    const Strings started = standIn.lines("stdin ");
    ASSERT_EQ(started.size(), 1u);
    const std::string entry = QByteArray("localNetVulnerableIPv4_0=10.0.0.0/8").toHex().toUpper().toStdString();
    EXPECT_NE(started[0].find("=" + entry + "&"), std::string::npos) << started[0];
    EXPECT_FALSE(standIn.lines("term").empty());
    EXPECT_EQ(standIn.daemonPid(), 0); // the daemon went with its pid file
}

TEST(ResourceManagerWithStandIns, ApplicationTunnelThroughTunnelserver)
{
    QTemporaryDir dir;
    const std::string script = dir.filePath("script.txt").toStdString();
    const std::string record = dir.filePath("record.txt").toStdString();
    std::ofstream(script)
        << "reply open_all_tunnels result=0&result0=0&host0=srv&port0=80&local_host0=127.0.0.1&local_port0=3000\\n\n"
           "reply statistics_by_resource result=0&recv_server=5&send_server=6&recv_client=7&send_client=8\\n\n";
    ::setenv("TESSAL_TUNNELSERVER_SCRIPT", script.c_str(), 1);
    ::setenv("TESSAL_TUNNELSERVER_RECORD", record.c_str(), 1);
    tessal::qt::TunnelTestSeam::setReadinessPause(20);
    // The ended tunnel server's input stays open until this process ends.
    runResource(ResourceType::app_tunnel, "", 8, 1);
    ::unsetenv("TESSAL_TUNNELSERVER_SCRIPT");
    ::unsetenv("TESSAL_TUNNELSERVER_RECORD");
    std::ifstream in(record);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("cmd=close_all_tunnels&resource_id=res"), std::string::npos) << all;
    EXPECT_NE(all.find("cmd=exit"), std::string::npos) << all;
}

} // namespace
