// Parsing the tool's "list" output on the badge queue: a busy machine's list, and the worst a
// misbehaving tool can hand over within the output limit, megabytes of blank lines.
#include <benchmark/benchmark.h>

#include "dispatch/ManualRuntime.h"
#include "model/LSAppInfo.h"
#include "sim/SimDesktop.h"
#include "sim/SimProcesses.h"

namespace qv {
namespace {

std::string busyList(int apps) {
    std::string out;
    for (int i = 1; i <= apps; ++i) {
        out += std::to_string(i) + ") \"App " + std::to_string(i) + "\" ASN:0x0-0x" + std::to_string(i) +
               ": \n    bundleID=\"com.example.app" + std::to_string(i) +
               "\"\n    bundle path=\"/Applications/App " + std::to_string(i) +
               ".app\"\n    pid = " + std::to_string(1000 + i) + " type=\"Foreground\" flavor=3\n";
    }
    return out;
}

void parse(benchmark::State& state, const std::string& text) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    LSAppInfo tool(sim.platform().processes);
    size_t records = 0;
    for (auto _ : state) {
        records = tool.parseListOutput(text).size();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = double(records);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_ParseListOf300Apps(benchmark::State& state) {
    parse(state, busyList(300));
}
BENCHMARK(BM_ParseListOf300Apps)->Unit(benchmark::kMicrosecond);

// After a header every line is searched for a bundle identifier and a pid as well.
void BM_ParseEightMiBOfBlankLines(benchmark::State& state) {
    const std::string header = "1) \"App\" ASN:0x0-0x1: \n";
    parse(state, header + std::string(kProcessOutputLimit - header.size(), '\n'));
}
BENCHMARK(BM_ParseEightMiBOfBlankLines)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
