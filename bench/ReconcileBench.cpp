// One rescan of a process with 200 windows, as every deferred pass and lifecycle tick runs it: asked
// of the process's worker, and applied when its answer is in.
#include <benchmark/benchmark.h>

#include "../tests/support/WindowStoreProbe.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

// One process with 200 windows over three desktops, tracked.
struct BusyProcess {
    ManualRuntime rt;
    SimDesktop sim{rt};
    int32_t app = 0;
    std::shared_ptr<WindowStore> store;
    BusyProcess();
};

BusyProcess::BusyProcess() {
    sim.recordCalls = false;  // a log of every call would grow without bound
    uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
    std::vector<uint64_t> spaces = {sim.addSpace(display), sim.addSpace(display), sim.addSpace(display)};
    app = sim.launchApp(std::string("com.example.browser"), "Browser");
    for (int i = 0; i < 200; ++i) {
        SimWindowSpec spec;
        spec.pid = app;
        spec.title = "Tab group " + std::to_string(i);
        spec.frame = Rect{double(10 * (i % 50)), double(8 * (i % 40)), 900, 700};
        spec.space = spaces[size_t(i) % spaces.size()];
        sim.openWindow(spec);
    }
    store = WindowStore::create(sim.platform());
    store->populate();
    rt.runUntilIdle();
}

void BM_ReconcileOneProcessWith200Windows(benchmark::State& state) {
    BusyProcess p;
    if (p.store->windows().size() != 200) state.SkipWithError("not every window was tracked");
    int withSpace = 0;
    for (auto _ : state) {
        WindowStoreProbe::reconcileWindowsForPID(*p.store, p.app, [&](int n) { withSpace = n; });
        p.rt.runUntilIdle();
        benchmark::DoNotOptimize(withSpace);
    }
    state.counters["windows"] = double(p.store->windows().size());
}
BENCHMARK(BM_ReconcileOneProcessWith200Windows)->Unit(benchmark::kMicrosecond);

// The platform's share of one reconciliation: the window list, the per-Space listings and the
// process's Accessibility metadata, as the simulated desktop answers them.
void BM_PlatformReadsOfOneReconcile(benchmark::State& state) {
    BusyProcess p;
    WindowServer& ws = p.sim.platform().windowServer;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0));
        benchmark::DoNotOptimize(WindowStoreProbe::buildWindowSpacesMap(*p.store, ws.mainConnectionID()));
        benchmark::DoNotOptimize(WindowStoreProbe::requests(*p.store).copyAXWindowMetadataByID(p.app));
    }
}
BENCHMARK(BM_PlatformReadsOfOneReconcile)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
