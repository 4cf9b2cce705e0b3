// A click on an application's group chip, as the whole program takes it: 3,000 windows of 20
// applications over three desktops, so each group on the shown desktop holds 50 windows. The pointer
// arrives on the chip and clicks it; the program then has a second to itself, in which the group's
// first window comes forward. The clicks alternate between two neighbouring group chips; the pointer
// arriving on each asks for the pictures of its group and of the groups beside it.
#include <benchmark/benchmark.h>

#include "WholeProgram.h"
#include "bar_views/BarContentView.h"
#include "sim/SimScreenCapture.h"

namespace qv {
namespace {

constexpr int kWindows = 3000;
constexpr int kApps = 20;
constexpr int kDesktops = 3;

void BM_GroupChipClick(benchmark::State& state) {
    std::vector<uint64_t> desktops;
    bench::WholeProgram desk([&](SimDesktop& sim) {
        const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
        for (int i = 0; i < kDesktops; ++i) desktops.push_back(sim.addSpace(display));
        std::vector<int32_t> apps;
        for (int a = 0; a < kApps; ++a)
            apps.push_back(sim.launchApp("com.example.app" + std::to_string(a), "App " + std::to_string(a)));
        for (int w = 0; w < kWindows; ++w)
            sim.openWindow(apps[static_cast<size_t>(w % kApps)], "W" + std::to_string(w),
                           desktops[static_cast<size_t>(w % kDesktops)],
                           Rect{double(40 + (w * 7) % 1200), double(60 + (w * 5) % 600), 800, 600});
        sim.activateApp(apps.front());
    });
    auto panel = desk.bar().panels().at(desktops.front());
    auto view = std::dynamic_pointer_cast<BarContentView>(panel->contentView()->rootView());
    if (!view || view->shownInputs().items.size() < 3 || !view->shownInputs().items[1].groupData() ||
        !view->shownInputs().items[2].groupData()) {
        state.SkipWithError("bad set-up: no group chips");
        return;
    }
    const std::string chips[] = {view->shownInputs().items[1].id(), view->shownInputs().items[2].id()};
    int n = 0;
    auto clickNext = [&] {
        const Rect frame = view->chipFrames.at(chips[n++ % 2]);
        const Point centre = panel->convertToScreen({frame.midX(), frame.midY()});
        desk.sim.mouseMove(centre);
        desk.runtime.runUntilIdle();
        desk.sim.click(centre);
        desk.runtime.advance(1);
    };
    // The first clicks find nothing captured yet; the ones measured come after them.
    for (int i = 0; i < 4; ++i) clickNext();
    const size_t capturesBefore = desk.sim.screenCapture().captureCount();
    for (auto _ : state) clickNext();
    state.counters["captures"] = benchmark::Counter(
        double(desk.sim.screenCapture().captureCount() - capturesBefore), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_GroupChipClick)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
