// Parsing a tunnel-server reply and reading it back, against the number of
// pairs, and mapping a configured port range onto the endpoints an open
// reply listed (against the tunnelserver stand-in beside this program): the
// time per pair or port must stay flat (fitted complexity N or N lg N).
// Run: <build>/test-bin/bench_reply_parse
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "foundation/UClasses.h"
#include "tunnel/TunnelServerClient.h"
#include "tunnel/UTunnelManagerHelpers.h"

namespace {

// "result=0" and then n pairs; with `repeated`, every name comes twice, the
// second time in capitals.
std::string reply(int n, bool repeated)
{
    std::string text = "result=0";
    for (int i = 0; i < n; ++i) {
        const std::string index = std::to_string(repeated ? i / 2 : i);
        text += (repeated && i % 2 ? "&LOCAL_PORT" : "&local_port") + index + "=" + std::to_string(i % 65536);
    }
    return text;
}

void parse(benchmark::State& state, bool repeated)
{
    const int n = static_cast<int>(state.range(0));
    const std::string text = reply(n, repeated);
    for (auto _ : state) {
        UPropertyList list;
        parseKeyValueList(list, text, '&', '=');
        benchmark::DoNotOptimize(list.getCount());
    }
    state.SetComplexityN(n);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_ParseReply(benchmark::State& state)
{
    parse(state, false);
}

void BM_ParseReplyRepeatedNames(benchmark::State& state)
{
    parse(state, true);
}

// What the open command does with its reply: one lookup per name per tunnel.
void BM_ReadEveryPair(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    UPropertyList list;
    parseKeyValueList(list, reply(n, false), '&', '=');
    for (auto _ : state) {
        int found = 0;
        for (int i = 0; i < n; ++i)
            found += findProperty(list, ("LOCAL_PORT" + std::to_string(i)).c_str()) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    state.SetComplexityN(n);
}

// One tunnel configured for the ports 1 to n, each served by one of the n
// endpoints of the open reply.
void BM_ConfigurationRange(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    std::string open = "result=0";
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        const std::string port = std::to_string(i + 1);
        open += "&result" + k + "=0&host" + k + "=srv&port" + k + "=" + port + "&local_host" + k +
                "=127.0.0.1&local_port" + k + "=" + port;
    }
    char script[] = "/tmp/bench_reply_parse.XXXXXX";
    const int fd = ::mkstemp(script);
    if (fd < 0) {
        state.SkipWithError("no script file");
        return;
    }
    ::close(fd);
    std::ofstream(script) << "reply open_all_tunnels " << open << "\\n\n"
                          << "reply get_resource_config result=0&configuration=tunnel_count%3D1"
                          << "%26remote_host0%3Dsrv%26remote_port0%3D1-" << n << "\\n\n";
    ::setenv("TESSAL_TUNNELSERVER_SCRIPT", script, 1);
    ::unsetenv("TESSAL_TUNNELSERVER_RECORD");
    {
        TunnelServerClient client("bench.example", 443, "benchsession", true);
        if (client.open("bench") != 0) {
            state.SkipWithError("open failed");
        } else {
            for (auto _ : state) {
                const tessal::AppTunnelResourceDetails details = client.getConfig("bench");
                if (details.tunnels.size() != 1 || details.tunnels[0].mappings.size() != static_cast<size_t>(n))
                    state.SkipWithError("wrong mapping");
            }
            client.close("bench");
        }
    }
    ::unsetenv("TESSAL_TUNNELSERVER_SCRIPT");
    ::unlink(script);
    state.SetComplexityN(n);
}

} // namespace

BENCHMARK(BM_ParseReply)->RangeMultiplier(4)->Range(1 << 10, 1 << 17)->Complexity()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseReplyRepeatedNames)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 17)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadEveryPair)->RangeMultiplier(4)->Range(1 << 10, 1 << 17)->Complexity()->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ConfigurationRange)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 1 << 13)
    ->Complexity()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
