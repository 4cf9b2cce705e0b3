// The capture service on the paths every chip hover and every switcher opening take: the prefetch
// check of a hovered item and its neighbours, all pictures fresh, and storing pictures into a full
// switcher cache, which scans it for the oldest.
#include <benchmark/benchmark.h>

#include "dispatch/ManualRuntime.h"
#include "previews/ThumbnailService.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

struct CapturedDesktop {
    ManualRuntime rt;
    SimDesktop sim{rt};
    std::shared_ptr<ThumbnailService> service;
    std::vector<uint32_t> windows;

    explicit CapturedDesktop(int windowCount) {
        sim.recordCalls = false;
        const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
        const uint64_t desk = sim.addSpace(display);
        const int32_t app = sim.launchApp(std::string("com.example.app"), "App");
        for (int i = 0; i < windowCount; ++i)
            windows.push_back(sim.openWindow(app, "w", desk, Rect{0, 0, 64, 48}));
        service = ThumbnailService::create(rt, sim.platform().screenCapture);
    }
};

void BM_PrefetchOfAFreshHover(benchmark::State& state) {
    CapturedDesktop desk(50);
    desk.service->prefetch(desk.windows);
    desk.rt.runUntilIdle();
    // A group of five windows between two single chips, with a repeat.
    std::vector<uint32_t> hovered(desk.windows.begin() + 10, desk.windows.begin() + 17);
    hovered.push_back(desk.windows[12]);
    for (auto _ : state) {
        desk.service->prefetch(hovered);
        benchmark::DoNotOptimize(desk.service.get());
    }
}
BENCHMARK(BM_PrefetchOfAFreshHover);

void BM_SwitcherCapturesIntoAFullCache(benchmark::State& state) {
    CapturedDesktop desk(240);
    for (uint32_t id : desk.windows) desk.service->captureSwitcherThumbnail(id, nullptr, nullptr);
    desk.rt.runUntilIdle();
    size_t next = 0;
    for (auto _ : state) {
        // Each opening of the switcher asks for a dozen pictures.
        for (int i = 0; i < 12; ++i) {
            desk.service->captureSwitcherThumbnail(desk.windows[next++ % desk.windows.size()], nullptr,
                                                   nullptr);
        }
        desk.rt.runUntilIdle();
    }
    state.counters["cached"] = static_cast<double>(desk.service->switcherCacheCount());
}
BENCHMARK(BM_SwitcherCapturesIntoAFullCache);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
