// Dumps a table of 10,000 IPv4 routes with GetIpForwardTable2 and with
// `ip -4 route show table all`, in a private network namespace made for the
// run, and prints how many times faster the table reader is.

#include "LoopbackRoutes.h"
#include "foundation/CLinuxRouteTable.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kRoutes = 10000;
uint32_t g_rowsSeen = 0;

void BM_GetIpForwardTable2(benchmark::State& state)
{
    for (auto _ : state) {
        CLinuxRouteTable table;
        IpForwardTable2* routes = nullptr;
        if (table.GetIpForwardTable2(AF_INET, &routes) != 0) {
            state.SkipWithError("GetIpForwardTable2 failed");
            return;
        }
        g_rowsSeen = routes->NumEntries;
        benchmark::DoNotOptimize(routes->Table[routes->NumEntries - 1].metric);
        table.FreeIpForwardTable2(routes);
    }
}
BENCHMARK(BM_GetIpForwardTable2)->Unit(benchmark::kMillisecond);

void BM_IpRouteShow(benchmark::State& state)
{
    for (auto _ : state) {
        FILE* pipe = ::popen("ip -4 route show table all", "r");
        if (!pipe) {
            state.SkipWithError("cannot run ip");
            return;
        }
        char buffer[65536];
        size_t total = 0;
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            total += n;
        ::pclose(pipe);
        benchmark::DoNotOptimize(total);
    }
}
BENCHMARK(BM_IpRouteShow)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        std::printf("skipped: cannot make a network namespace (needs root): %s\n", std::strerror(errno));
        return 0;
    }
    if (!setLoopbackUp() || !addLoopbackRoutes(0, kRoutes)) {
        std::printf("failed to build the test table\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double ours = reporter.times["BM_GetIpForwardTable2"];
    const double ip = reporter.times["BM_IpRouteShow"];
    std::printf("rows dumped: %u\n", g_rowsSeen);
    if (ours > 0 && ip > 0)
        std::printf("ratio ip / GetIpForwardTable2: %.2f (target: above 1)\n", ip / ours);
    return 0;
}
