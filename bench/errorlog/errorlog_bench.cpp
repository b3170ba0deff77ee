// Records per second written through UFileErrorLog at the default level,
// against fwrite + fflush of the same bytes into a file. Prints the ratio.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

#include "foundation/UArgFormat.h"
#include "foundation/UFileErrorLog.h"

namespace {

std::string g_folder;
const char kBody[] = "1, /Bench, 42, Bench::run(), connection state changed to connected (id 17)\n";
// A header of the length the log writes: "2026-12-08,21:04:08:587, 1290,1290,, "
const char kHeader[] = "2026-12-08,21:04:08:587, 12345,12345,, ";

class BenchLog : public UFileErrorLog
{
protected:
    CString executablePath() override { return CString("/bench"); }
};

void BM_FileErrorLog(benchmark::State& state)
{
    BenchLog log;
    std::string path = g_folder + "/.TessalNetworks/vpn.log";
    if (log.open(path.c_str(), "a") != 0) {
        state.SkipWithError("cannot open the log");
        return;
    }
    for (auto _ : state) {
        if (IUErrorLog* l = &log; l->getLogLevel() >= ULOG_LEVEL_ERROR)
            l->writeLine(kBody);
    }
    state.SetItemsProcessed(state.iterations());
    log.close();
}

void BM_FileErrorLogWithRecordBuilding(benchmark::State& state)
{
    BenchLog log;
    std::string path = g_folder + "/.TessalNetworks/vpn2.log";
    if (log.open(path.c_str(), "a") != 0) {
        state.SkipWithError("cannot open the log");
        return;
    }
    for (auto _ : state)
        ulogWriteRecord(&log, 1, "/Bench", 42, "Bench::run()", "connection state changed to connected (id 17)");
    state.SetItemsProcessed(state.iterations());
    log.close();
}

void BM_RawFwriteFlush(benchmark::State& state)
{
    std::string path = g_folder + "/raw.log";
    FILE* file = std::fopen(path.c_str(), "a");
    std::string bytes = std::string(kHeader) + kBody;
    long written = 0;
    for (auto _ : state) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fflush(file);
        // Same order of file size as the log, which rotates at 5 MiB.
        if (++written % 50000 == 0) {
            std::fclose(file);
            file = std::fopen(path.c_str(), "w");
        }
    }
    state.SetItemsProcessed(state.iterations());
    std::fclose(file);
}

class RateReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            auto it = run.counters.find("items_per_second");
            if (it != run.counters.end())
                rates[run.benchmark_name()] = it->second.value;
        }
    }
    std::map<std::string, double> rates;
};

} // namespace

BENCHMARK(BM_FileErrorLog)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_FileErrorLogWithRecordBuilding)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_RawFwriteFlush)->MinTime(1.0)->UseRealTime();

int main(int argc, char** argv)
{
    char folder[] = "/tmp/tessal-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return 1;
    g_folder = folder;
    setenv("HOME", folder, 1); // the log's settings folder lives under a throw-away home

    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    double log = reporter.rates["BM_FileErrorLog/min_time:1.000/real_time"];
    double built = reporter.rates["BM_FileErrorLogWithRecordBuilding/min_time:1.000/real_time"];
    double raw = reporter.rates["BM_RawFwriteFlush/min_time:1.000/real_time"];
    if (raw > 0) {
        std::printf("UFileErrorLog / raw fwrite+fflush: %.2f (target at least 0.50)\n", log / raw);
        std::printf("with record building / raw:        %.2f\n", built / raw);
    }
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    benchmark::Shutdown();
    return 0;
}
