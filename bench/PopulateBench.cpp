// The first population of a busy desktop: 1,000 windows of 50 applications over 16 desktops.
#include <benchmark/benchmark.h>

#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

void BM_Populate1000WindowsOf50AppsOn16Desktops(benchmark::State& state) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    sim.recordCalls = false;
    uint32_t left = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
    uint32_t right = sim.addDisplay("Side", Rect{2560, 0, 1920, 1080});
    std::vector<uint64_t> spaces;
    for (int i = 0; i < 8; ++i) spaces.push_back(sim.addSpace(left));
    for (int i = 0; i < 8; ++i) spaces.push_back(sim.addSpace(right));
    std::vector<int32_t> apps;
    for (int i = 0; i < 50; ++i) {
        apps.push_back(sim.launchApp("com.example.app" + std::to_string(i), "App " + std::to_string(i)));
    }
    for (int i = 0; i < 1000; ++i) {
        SimWindowSpec spec;
        spec.pid = apps[size_t(i) % apps.size()];
        spec.title = "Window " + std::to_string(i);
        spec.space = spaces[size_t(i / 7) % spaces.size()];
        const bool onSide = spec.space >= spaces[8];
        spec.frame = Rect{(onSide ? 2600.0 : 40.0) + 5 * (i % 30), 40.0 + 4 * (i % 25), 800, 600};
        spec.minimized = i % 20 == 0;
        sim.openWindow(spec);
    }
    sim.activateApp(apps.front());
    auto store = WindowStore::create(sim.platform());

    for (auto _ : state) {
        store->populate();
        benchmark::DoNotOptimize(store->windows.size());
    }
    if (store->windows.size() != 1000) state.SkipWithError("not every window was tracked");
    state.counters["windows"] = double(store->windows.size());
}
BENCHMARK(BM_Populate1000WindowsOf50AppsOn16Desktops)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
