// The bar's content on every change of its models: one bar evaluated and laid out to its display
// list, and the whole road of a retitled window through the observer, the store, the model and
// every bar.
#include <benchmark/benchmark.h>

#include <chrono>

#include "../tests/support/WindowStoreProbe.h"
#include "bar/BarManager.h"
#include "dispatch/ManualRuntime.h"
#include "launcher/HotkeyManager.h"
#include "sim/SimDesktop.h"
#include "tracking/AXObserverManager.h"

namespace qv {
namespace {

// The shared services a bar manager reaches when it is made, while the desk lives.
struct SharedServices {
    SharedServices(Platform& platform, UserSettings& settings) {
        MouseDisplayTracker::setShared(MouseDisplayTracker::create(platform));
        HotkeyManager::setShared(HotkeyManager::create(platform, settings));
    }
    ~SharedServices() {
        HotkeyManager::setShared(nullptr);
        MouseDisplayTracker::setShared(nullptr);
    }
};

// One medium bar on a 1,440-point display: 40 items, titled chips with badges, groups of two and
// three windows, and three pins of apps without windows.
struct OneBar {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<WindowStore> store;
    std::optional<SharedServices> shared;
    std::shared_ptr<BarManager> bar;
    std::shared_ptr<HostingView> host;
    std::vector<uint32_t> windows;

    OneBar() {
        sim.recordCalls = false;
        const uint32_t display = sim.addDisplay("Display", Rect{0, 0, 1440, 900});
        const uint64_t space = sim.addSpace(display);
        for (int a = 0; a < 40; ++a) {
            const int32_t pid =
                sim.launchApp("com.example.app" + std::to_string(a), "App " + std::to_string(a));
            if (a % 4 == 0) sim.app(pid)->badgeLabel = std::to_string(a);
            const int count = a % 10 == 0 ? 3 : a % 5 == 0 ? 2 : 1;
            for (int w = 0; w < count; ++w)
                windows.push_back(sim.openWindow(pid,
                                                 "Document " + std::to_string(a) + "." + std::to_string(w),
                                                 space, Rect{40 + double(a) * 20, 60, 700, 500}));
        }
        settings = UserSettings::create(sim.platform());
        settings->setPinnedApps({{"com.example.pin1", 1}, {"com.example.pin2", 1}, {"com.example.pin3", 1}});
        auto badges =
            std::make_shared<BadgeService>(runtime, sim.platform().processes, sim.platform().launchServices);
        store = WindowStore::create(sim.platform());
        store->populate();
        runtime.runUntilIdle();  // the applications' answers are in
        shared.emplace(sim.platform(), *settings);
        bar =
            BarManager::create(sim.platform(), store, BarMetrics::forSize(BarSize::medium), settings, badges);
        runtime.runUntilIdle();
        host = bar->panels().begin()->second->contentView();
    }
};

void BM_OneBarEvaluatedAndLaidOut(benchmark::State& state) {
    OneBar desk;
    auto view = std::dynamic_pointer_cast<BarContentView>(desk.host->rootView());
    if (desk.bar->panels().size() != 1 || !view || view->shownInputs().items.size() != 40 ||
        view->shownInputs().visiblePinnedBundleIDs.size() != 3)
        state.SkipWithError("bad set-up");
    for (auto _ : state) {
        // All of it, as for a bar just shown: nothing is reused from the evaluation before.
        desk.host->setNeedsFullUpdate();
        desk.runtime.runUntilIdle();
        benchmark::DoNotOptimize(desk.host->displayList().ops.size());
    }
}
BENCHMARK(BM_OneBarEvaluatedAndLaidOut)->Unit(benchmark::kMicrosecond);

// One chip of the same bar retitled, in the middle of the row: the bar evaluated and laid out.
void BM_OneChipRetitled(benchmark::State& state) {
    OneBar desk;
    auto view = std::dynamic_pointer_cast<BarContentView>(desk.host->rootView());
    // The only window of the 22nd app, whose chip has 21 chips before it and 18 after it.
    const ChipData* chip = view ? view->shownInputs().items.at(21).chip() : nullptr;
    const uint32_t window = chip ? chip->id : 0;
    if (!view || view->shownInputs().items.size() != 40 || !chip || window != desk.windows[29])
        state.SkipWithError("bad set-up");
    int n = 0;
    for (auto _ : state) {
        // Titles of changing length: the chips after it move. The model takes the change untimed.
        WindowStoreProbe::windows(*desk.store).at(window).windowTitle =
            "Retitled " + std::string(size_t(++n % 7), 'x');
        desk.store->onChange();
        const auto start = std::chrono::steady_clock::now();
        desk.runtime.runUntilIdle();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (!view->shownInputs().items[21].chip() ||
        view->shownInputs().items[21].chip()->windowTitle != desk.store->windows().at(window).windowTitle)
        state.SkipWithError("the title did not arrive");
}
BENCHMARK(BM_OneChipRetitled)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same bar's evaluation alone: its inputs and view tree, without the layout.
void BM_OneBarEvaluatedOnly(benchmark::State& state) {
    OneBar desk;
    auto view = std::dynamic_pointer_cast<BarContentView>(desk.host->rootView());
    if (!view) state.SkipWithError("bad set-up");
    for (auto _ : state) benchmark::DoNotOptimize(view->body());
}
BENCHMARK(BM_OneBarEvaluatedOnly)->Unit(benchmark::kMicrosecond);

// Two displays with four desktops each, eight bars, 300 windows of 40 applications, the windows'
// Accessibility observed as the program observes them.
struct WholeDesk {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::optional<SharedServices> shared;
    std::shared_ptr<BarManager> bar;
    std::shared_ptr<AXObserverManager> observers;
    std::vector<uint32_t> windows;

    WholeDesk() {
        sim.recordCalls = false;
        std::vector<uint64_t> spaces;
        const std::vector<Rect> frames = {{0, 0, 1920, 1080}, {1920, 0, 1440, 900}};
        for (const Rect& frame : frames) {
            const uint32_t display = sim.addDisplay("Display", frame);
            for (int i = 0; i < 4; ++i) spaces.push_back(sim.addSpace(display));
        }
        std::vector<int32_t> pids;
        for (int a = 0; a < 40; ++a)
            pids.push_back(sim.launchApp("com.example.app" + std::to_string(a), "App " + std::to_string(a)));
        for (int w = 0; w < 300; ++w) {
            const size_t s = static_cast<size_t>(w) % spaces.size();
            const Rect& screen = frames[s / 4];
            windows.push_back(sim.openWindow(pids[static_cast<size_t>(w) % pids.size()],
                                             "Window " + std::to_string(w), spaces[s],
                                             Rect{screen.minX() + 40 + double(w % 9) * 25, 60, 800, 600}));
        }
        settings = UserSettings::create(sim.platform());
        auto badges =
            std::make_shared<BadgeService>(runtime, sim.platform().processes, sim.platform().launchServices);
        store = WindowStore::create(sim.platform());
        store->populate();
        runtime.runUntilIdle();  // the applications' answers are in
        shared.emplace(sim.platform(), *settings);
        bar =
            BarManager::create(sim.platform(), store, BarMetrics::forSize(BarSize::medium), settings, badges);
        observers = AXObserverManager::create(runtime, sim.platform().accessibility, runtime.mainQueue());
        std::weak_ptr<WindowStore> weakStore = store;
        observers->onEvent = [weakStore](const AXWindowEvent& e) {
            if (auto s = weakStore.lock()) s->handleAXEvent(e);
        };
        std::weak_ptr<AXObserverManager> weakObservers = observers;
        observers->onObserverAdded = [weakStore, weakObservers](int32_t pid) {
            auto s = weakStore.lock();
            auto o = weakObservers.lock();
            if (!s || !o) return;
            s->handleObserverAttached(pid);
            s->addWindowsForPID(pid);
            o->refreshWindows({pid});
        };
        observers->start();
        for (int32_t pid : store->trackedPIDs()) observers->observe(pid);
        runtime.advance(2);
    }
    ~WholeDesk() { observers->stop(); }
};

void BM_RetitledWindowThroughEveryBar(benchmark::State& state) {
    WholeDesk desk;
    if (desk.bar->panels().size() != 8 || desk.store->windows().size() != 300) {
        state.SkipWithError(("bad set-up: " + std::to_string(desk.bar->panels().size()) + " bars, " +
                             std::to_string(desk.store->windows().size()) + " windows")
                                .c_str());
        return;
    }
    // A window of the first display's active desktop, which Accessibility sees.
    const uint32_t window = desk.windows[16];
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        desk.sim.setWindowTitle(window, "Retitled " + std::to_string(++n));
        // The observer's coalescing of title changes, up to the moment it delivers.
        desk.runtime.advance(AXObserverManager::kCoalescingDelay - 0.001);
        state.ResumeTiming();
        desk.runtime.advance(0.002);
        desk.runtime.runUntilIdle();
    }
    if (desk.store->windows().at(window).windowTitle != "Retitled " + std::to_string(n))
        state.SkipWithError("the title did not arrive");
}
BENCHMARK(BM_RetitledWindowThroughEveryBar)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
