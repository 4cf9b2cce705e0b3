// One pointer move of a tiling drag, end to end on the simulated desktop: the mouse tap's delivery,
// the controller's session step and the Accessibility worker's writes. Two paths run on every move:
// a window held over the layout flyout, the hovered zone changing each time (hit test, preview
// slide), and the shared edge of a grid of 8 x 5 windows dragged, its 9 followers worked out and
// written through the coalescing worker.
#include <benchmark/benchmark.h>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "tiling/WindowTilingController.h"

namespace qv {
namespace {

struct Desk {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    uint32_t display = sim.addDisplay("Main", Rect{0, 0, 2560, 1440});
    uint64_t space = sim.addSpace(display);
    int32_t app = sim.launchApp(std::string("com.example.editor"), "Editor");
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<WindowTilingController> tiling;

    Desk() {
        sim.recordCalls = false;
        settings = UserSettings::create(sim.platform());
        settings->setSnapLayoutsEnabled(true);
        settings->setResizeAdjacentWindowsEnabled(true);
        tiling = WindowTilingController::create(sim.platform(), settings, [](uint32_t) { return 36.0; });
        runtime.runUntilIdle();
    }
    Point appKit(Point p) const { return flipVertically(p, 1440); }
    void press(Point p) {
        sim.mouseDown(appKit(p));
        runtime.runUntilIdle();
    }
    void drag(Point p) {
        sim.mouseDrag(appKit(p));
        runtime.runUntilIdle();
    }
};

void BM_DragOverFlyout(benchmark::State& state) {
    Desk desk;
    desk.sim.openWindow(desk.app, "Notes", desk.space, Rect{400, 300, 900, 600});
    desk.press({500, 312});
    desk.drag({510, 312});  // a short first move: a press still undecided is given up beyond 400 pt
    desk.drag({1280, 10});
    // Over the first two tiles' zones in turn, within reach of the flyout.
    const Point zones[] = {{1170, 60}, {1215, 60}, {1250, 60}, {1305, 60}};
    size_t i = 0;
    for (auto _ : state) desk.drag(zones[i++ % 4]);
    if (!desk.tiling->previewPanel()->isVisible()) state.SkipWithError("no preview");
}
BENCHMARK(BM_DragOverFlyout);

void BM_SharedEdgeResize(benchmark::State& state) {
    Desk desk;
    constexpr int kColumns = 8, kRows = 5;
    constexpr double w = 2560.0 / kColumns, h = 1380.0 / kRows;
    for (int c = 0; c < kColumns; ++c) {
        for (int r = 0; r < kRows; ++r)
            desk.sim.openWindow(desk.app, "Pane", desk.space, Rect{c * w, 30 + r * h, w - 8, h - 8});
    }
    // The right edge of the front pane of the third column, shared with the fourth.
    const double edge = 3 * w - 8;
    desk.press({edge - 2, 30 + 4 * h + 100});
    int step = 0;
    for (auto _ : state) desk.drag({edge - 2 + (++step % 2 ? 20 : 40), 30 + 4 * h + 100});
    if (!desk.tiling->session() || !std::holds_alternative<AdjacentResizePlan>(desk.tiling->session()->phase))
        state.SkipWithError("no edge resize");
}
BENCHMARK(BM_SharedEdgeResize);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
