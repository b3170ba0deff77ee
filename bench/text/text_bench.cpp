// The parameter text of a network-access resource at 20,000 to 600,000
// entries (the resource manager's text, then the svpn start text built from
// it) and the routing-table page at 1,000 to 50,000 routes. Each row reports
// its time per entry or route: a flat column is linear growth.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QString>
#include <QUrl>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "../route/LoopbackRoutes.h"
#include "foundation/CLinuxRouteTable.h"
#include "foundation/IUErrorLog.h"
#include "foundation/UClasses.h"
#include "foundation/str_helper.h"
#include "shell/auxiliary.h"
#include "tunnel/ResourceManager.h"
#include "tunnel/SvpnHandler.h"
#include "tunnel/TunnelInterface.h"
#include "tunnel/VpnController.h"

namespace {

using tessal::qt::ResourceManager;

// The default (extended) level, so the parameter record is built as in a
// real run; nothing is kept.
class DiscardingLog : public IUErrorLog
{
public:
    DiscardingLog() { m_logLevel = ULOG_LEVEL_EXTENDED; }
    int open(const char*, const char*) override { return 0; }
    int close() override { return 0; }
    int WriteLogByte(const void*, int count) override { return count; }
    int writeTextAndBytes(const char*, const void*, int count) override { return count; }
    int writeLine(const char* text) override { return static_cast<int>(std::strlen(text)); }
    CString getFileName() override { return CString(); }
};

// A network-access controller up to the daemon: the parameter text becomes
// the svpn start text, which goes nowhere.
class StartTextController : public TunnelInterface
{
public:
    int open(const std::string& params) override
    {
        UPropertyList list;
        tessal::qt::VpnController::parsePairs(CString(params.c_str()), '&', list);
        startText = SvpnHandler::makeStartParameters(list);
        return 0;
    }
    int close() override { return 0; }
    bool isOpened() override { return true; }
    int checkStatus() override { return 0; }
    tessal::TunnelStats getTraffic() override { return {}; }
    UPropertyList getProperties() override { return {}; }
    std::vector<tessal::TunnelEndpoint> getResourceDetails() override { return {}; }
    tessal::AppLaunchConfig getLaunchConfig() override { return {}; }
    void setLogLevel(int) override {}

    CString startText;
};

// The flattened reply as the browser controller hands it on: key=value& per entry.
QString naParams(int entries)
{
    std::string text = "SESSION_ID=0a1b2c3d4e5f60718293a4b5c6d7e8f9&tunnel_host0=x&tunnel_port0=1&";
    text.reserve(text.size() + static_cast<size_t>(entries) * 20);
    for (int i = 0; i < entries; ++i)
        text += "param" + std::to_string(i) + "=value" + std::to_string(i) + "&";
    return QString::fromStdString(text);
}

void BM_ParameterText(benchmark::State& state)
{
    const int entries = static_cast<int>(state.range(0));
    const QString params = naParams(entries);
    size_t startLength = 0;
    for (auto _ : state) {
        auto controller = std::make_shared<StartTextController>();
        ResourceManager manager;
        manager.setControllerFactory([controller](const ResourceManager::ControllerRequest&) { return controller; });
        manager.setSession(QUrl(QStringLiteral("https://vpn.example.com/")), QStringLiteral("0a1b2c3d"));
        manager.vecv4InResourceManager = {CString("192.168.1.10"), CString("10.0.0.2")};
        if (manager.attachResource(QStringLiteral("na"), ResourceType::network_access, params) != 0) {
            state.SkipWithError("attach failed");
            return;
        }
        startLength = static_cast<size_t>(controller->startText.GetLength());
    }
    state.counters["time_per_entry"] = benchmark::Counter(
        static_cast<double>(entries), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["start_text_MB"] = static_cast<double>(startLength) / 1e6;
}
BENCHMARK(BM_ParameterText)
    ->Arg(20000)
    ->Arg(60000)
    ->Arg(300000)
    ->Arg(600000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Routes 10.x.y.0/24 on lo until the table holds `count` of them.
int g_routes = 0;
bool g_ownNetwork = false;
bool growRoutesTo(int count)
{
    if (g_routes >= count)
        return true;
    const bool added = addLoopbackRoutes(g_routes, count);
    g_routes = count;
    return added;
}

// The page the bridge's getRoutingTable hands over: the HTML, Base64-coded.
void BM_RoutingTablePage(benchmark::State& state)
{
    const int routes = static_cast<int>(state.range(0));
    if (!g_ownNetwork) {
        state.SkipWithError("no network namespace of its own (needs root)");
        return;
    }
    if (!growRoutesTo(routes)) {
        state.SkipWithError("cannot add routes");
        return;
    }
    size_t length = 0;
    for (auto _ : state) {
        const CString page = base64EncodeText(GetIpForwardTableAsHTML());
        length = static_cast<size_t>(page.GetLength());
    }
    state.counters["time_per_route"] = benchmark::Counter(
        static_cast<double>(routes), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["page_MB"] = static_cast<double>(length) / 1e6;
}
BENCHMARK(BM_RoutingTablePage)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    DiscardingLog log;
    g_pErrorLog.store(&log);
    benchmark::Initialize(&argc, argv);
    g_ownNetwork = ::unshare(CLONE_NEWNET) == 0 && setLoopbackUp();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_pErrorLog.store(nullptr);
    return 0;
}
