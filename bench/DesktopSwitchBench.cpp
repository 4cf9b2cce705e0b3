// A scroll over the bar that switches desktops, as the whole program takes it: 100 or 1,000
// desktops on one display, a window on each, the switch through the target bar (desktops past 16 have no
// shortcut), the desktop change announced, and the program settled until the next scroll may
// switch again. It scrolls back and forth between two desktops in the middle of the row.
#include <benchmark/benchmark.h>

#include "WholeProgram.h"

namespace qv {
namespace {

void BM_ScrollSwitchAmongManyDesktops(benchmark::State& state) {
    const int kDesktops = static_cast<int>(state.range(0));
    std::vector<uint64_t> desktops;
    bench::WholeProgram desk(
        [&, kDesktops](SimDesktop& sim) {
            const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
            for (int i = 0; i < kDesktops; ++i) desktops.push_back(sim.addSpace(display));
            const int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
            for (int i = 0; i < kDesktops; ++i)
                sim.openWindow(editor, "Doc " + std::to_string(i + 1), desktops[static_cast<size_t>(i)]);
            sim.switchToSpace(desktops[kDesktops / 2]);
            sim.finishDesktopSwitches();
        },
        [](UserSettings& settings) { settings.setScrollUpSpaceSwitch(SpaceScrollUpBehavior::right); });
    const uint64_t from = desktops[kDesktops / 2], to = desktops[kDesktops / 2 + 1];
    const Point overBar{1280, 18};
    bool right = true;
    for (auto _ : state) {
        // Scrolling up goes right, down goes left; the lock after a switch ends within 0.5 s.
        desk.sim.scroll(overBar, 0, right ? 100 : -100);
        desk.runtime.advance(0.5);
        state.PauseTiming();
        if (!desk.sim.isActiveSpace(right ? to : from)) state.SkipWithError("the scroll switched no desktop");
        right = !right;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ScrollSwitchAmongManyDesktops)->Arg(100)->Arg(1000)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
