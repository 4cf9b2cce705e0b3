// The first population of a busy desktop: 1,000 windows of 50 applications over 16 desktops, once
// as fast as the applications can answer, once with every Accessibility message taking 1 ms. Each
// run lets the applications' workers answer and the answers be applied. The latency passes on the
// virtual clock: "virtual_s" is how long the scan took to complete, the applications answering side
// by side, and "ax_messages_per_app" how many messages each application was sent in turn.
#include <benchmark/benchmark.h>

#include "dispatch/ManualRuntime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

constexpr double kLatency = 0.001;

void populate(benchmark::State& state, double latency) {
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
        sim.accessibility().faults(apps.back()).responseDelay = latency;
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

    // Start-up populates an empty store: each run gets a fresh one.
    std::shared_ptr<WindowStore> store;
    double waited = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store.reset();
        rt.advance(WindowStore::kDeferredScanSeriesEnd);  // the last run's rescans lapse
        store = WindowStore::create(sim.platform());
        const double before = rt.now();
        state.ResumeTiming();
        bool done = false;
        store->populate([&done] { done = true; });
        for (auto next = rt.nextDeadline(); !done && next; next = rt.nextDeadline()) rt.advanceTo(*next);
        waited = rt.now() - before;
        benchmark::DoNotOptimize(store->windows().size());
    }
    if (store->windows().size() != 1000) state.SkipWithError("not every window was tracked");
    state.counters["windows"] = double(store->windows().size());
    if (latency > 0) {
        state.counters["virtual_s"] = waited;
        state.counters["ax_messages_per_app"] = waited / latency;
    }
}

void BM_Populate1000WindowsOf50AppsOn16Desktops(benchmark::State& state) {
    populate(state, 0);
}
BENCHMARK(BM_Populate1000WindowsOf50AppsOn16Desktops)->Unit(benchmark::kMillisecond);

void BM_Populate1000WindowsOf50AppsWith1msPerMessage(benchmark::State& state) {
    populate(state, kLatency);
}
BENCHMARK(BM_Populate1000WindowsOf50AppsWith1msPerMessage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
