// Median round trip of "cmd=statistics_by_resource" against the tunnelserver
// stand-in (which lies beside this program) over loopback. Target: under 1 ms.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "tunnel/TunnelServerClient.h"

static void BM_StatisticsByResourceRoundTrip(benchmark::State& state)
{
    ::unsetenv("TESSAL_TUNNELSERVER_SCRIPT");
    ::unsetenv("TESSAL_TUNNELSERVER_RECORD");
    TunnelServerClient client("bench.example", 443, "benchsession", true);
    if (client.open("bench") != 0) {
        state.SkipWithError("open failed");
        return;
    }
    std::vector<double> samples;
    samples.reserve(100000);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(client.getStats("bench"));
        samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    if (!samples.empty())
        state.counters["median_us"] = samples[samples.size() / 2];
    client.close("bench");
}
BENCHMARK(BM_StatisticsByResourceRoundTrip)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

BENCHMARK_MAIN();
