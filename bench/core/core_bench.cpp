// CString copy, assign and append against std::string, and one five-field
// log record built with UArgFormat against snprintf of the same bytes.
// Prints the ratios (ours / standard) after the usual table.

#include "foundation/String.h"
#include "foundation/UArgFormat.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

const std::string kText1K(1024, 'k');
const char* const kPiece = "0123456789abcdef"; // 16 bytes

void BM_CStringCopy1K(benchmark::State& state)
{
    const CString src(kText1K.c_str());
    for (auto _ : state) {
        CString copy(src);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_CStringCopy1K);

void BM_StdStringCopy1K(benchmark::State& state)
{
    const std::string src(kText1K);
    for (auto _ : state) {
        std::string copy(src);
        benchmark::DoNotOptimize(copy);
    }
}
BENCHMARK(BM_StdStringCopy1K);

void BM_CStringAssign1K(benchmark::State& state)
{
    const CString a(kText1K.c_str());
    const CString b(std::string(1024, 'b').c_str());
    CString dst;
    bool flip = false;
    for (auto _ : state) {
        dst = flip ? a : b;
        flip = !flip;
        benchmark::DoNotOptimize(dst);
    }
}
BENCHMARK(BM_CStringAssign1K);

void BM_StdStringAssign1K(benchmark::State& state)
{
    const std::string a(kText1K);
    const std::string b(1024, 'b');
    std::string dst;
    bool flip = false;
    for (auto _ : state) {
        dst = flip ? a : b;
        flip = !flip;
        benchmark::DoNotOptimize(dst);
    }
}
BENCHMARK(BM_StdStringAssign1K);

void BM_CStringAppend16x16(benchmark::State& state)
{
    for (auto _ : state) {
        CString s;
        for (int i = 0; i < 16; ++i)
            s += kPiece;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_CStringAppend16x16);

void BM_StdStringAppend16x16(benchmark::State& state)
{
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < 16; ++i)
            s += kPiece;
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_StdStringAppend16x16);

void BM_UArgFormatRecord(benchmark::State& state)
{
    const CString function("USocketBlocking::connect()");
    for (auto _ : state) {
        UArgFormat record =
            makeArgFormat(ULOG_RECORD_FORMAT, 1, "/USocket", 121, function, "Failed to connect, 127.0.0.1, 44444");
        const char* text = record.str();
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_UArgFormatRecord);

void BM_SnprintfRecord(benchmark::State& state)
{
    const CString function("USocketBlocking::connect()");
    char buffer[512];
    for (auto _ : state) {
        std::snprintf(buffer, sizeof(buffer), "%d, %s, %d, %s, %s\n", 1, "/USocket", 121,
                      static_cast<const char*>(function), "Failed to connect, 127.0.0.1, 44444");
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_SnprintfRecord);

// Keeps the CPU time per iteration of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& reports) override
    {
        ConsoleReporter::ReportRuns(reports);
        // The median of repetitions when there are any, else the single run.
        for (const Run& run : reports) {
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[name] = run.GetAdjustedCPUTime();
                medians[name] = true;
            } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !medians[name]) {
                times[name] = run.GetAdjustedCPUTime();
            }
        }
    }

    std::map<std::string, double> times;
    std::map<std::string, bool> medians;
};

void printRatio(const RatioReporter& r, const char* label, const char* ours, const char* theirs, double target)
{
    auto a = r.times.find(ours);
    auto b = r.times.find(theirs);
    if (a == r.times.end() || b == r.times.end() || b->second <= 0)
        return;
    const double ratio = a->second / b->second;
    if (target > 0)
        std::printf("%-34s %8.2f ns / %8.2f ns = %5.2f  (target <= %.1f: %s)\n", label, a->second, b->second, ratio,
                    target, ratio <= target ? "met" : "NOT met");
    else
        std::printf("%-34s %8.2f ns / %8.2f ns = %5.2f\n", label, a->second, b->second, ratio);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios (ours / standard library):\n");
    printRatio(reporter, "CString copy 1 KiB / std::string", "BM_CStringCopy1K", "BM_StdStringCopy1K", 1.0);
    printRatio(reporter, "CString assign 1 KiB / std::string", "BM_CStringAssign1K", "BM_StdStringAssign1K", 0);
    printRatio(reporter, "CString append 16x16 / std::string", "BM_CStringAppend16x16", "BM_StdStringAppend16x16", 0);
    printRatio(reporter, "UArgFormat record / snprintf", "BM_UArgFormatRecord", "BM_SnprintfRecord", 2.0);
    benchmark::Shutdown();
    return 0;
}
