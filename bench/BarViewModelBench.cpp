// The bar's rebuild on every window-store change: 500 tracked windows of 40 applications over two
// displays with eight desktops each, with a saved chip order on every desktop.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "dispatch/ManualRuntime.h"
#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "sim/SimDesktop.h"
#include "tracking/WindowStore.h"

namespace qv {
namespace {

constexpr int kApps = 40;
constexpr int kWindows = 500;
constexpr int kDesktopsPerDisplay = 8;

struct Desk {
    ManualRuntime runtime;
    SimDesktop sim{runtime};
    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BadgeService> badges;
    std::shared_ptr<BarViewModel> model;

    explicit Desk(bool grouped) {
        sim.recordCalls = false;
        std::vector<Rect> frames = {{0, 0, 2560, 1440}, {2560, 0, 1920, 1080}};
        std::vector<uint64_t> spaces;
        for (const Rect& frame : frames) {
            uint32_t display = sim.addDisplay("Display", frame);
            for (int i = 0; i < kDesktopsPerDisplay; ++i) spaces.push_back(sim.addSpace(display));
        }
        std::vector<int32_t> pids;
        std::vector<std::string> appKeys;
        for (int a = 0; a < kApps; ++a) {
            std::string name = "App " + std::to_string(a);
            // A few applications come without a bundle identifier, as some helper tools do.
            std::optional<std::string> bundleID;
            if (a % 13 != 7) bundleID = "com.example.app" + std::to_string(a);
            pids.push_back(sim.launchApp(bundleID, name));
            appKeys.push_back(bundleID.value_or(name));
        }
        std::mt19937 random(7);
        for (int w = 0; w < kWindows; ++w) {
            size_t spaceIndex = static_cast<size_t>(w) % spaces.size();
            const Rect& screen = frames[spaceIndex / kDesktopsPerDisplay];
            SimWindowSpec spec;
            spec.pid = pids[random() % pids.size()];
            spec.title = "Document " + std::to_string(w);
            spec.frame = {screen.minX() + 40 + double(w % 7) * 30, 60 + double(w % 5) * 25, 900, 640};
            spec.space = spaces[spaceIndex];
            spec.minimized = w % 17 == 0;
            sim.openWindow(spec);
        }
        sim.activateApp(pids.front());

        store = WindowStore::create(sim.platform());
        store->populate();
        runtime.runUntilIdle();  // the applications' answers are in
        settings = UserSettings::create(sim.platform());
        settings->setGroupWindowsByApp(grouped);
        badges = std::make_shared<BadgeService>(sim.platform().runtime, sim.platform().processes,
                                                sim.platform().launchServices);
        model = BarViewModel::create(sim.platform(), store, settings, badges);
        badges->badgesByBundleID = {{appKeys[1], "3"}, {appKeys[4], "12"}, {appKeys[9], "•"}};
        badges->attentionByBundleID = {appKeys[2], appKeys[4]};

        for (const auto& space : *model->spaces) {
            auto key = BarViewModel::desktopKey(space.spaceID, *model->spaces);
            if (!key) continue;
            std::vector<std::string> saved = appKeys;
            std::shuffle(saved.begin(), saved.end(), random);
            saved.resize(25);
            settings->setChipOrder(saved, *key);
        }
        runtime.runUntilIdle();
        model->refresh();
    }
};

void refresh(benchmark::State& state) {
    Desk desk(state.range(0) != 0);
    size_t items = 0;
    for (const auto& [space, list] : *desk.model->displayItemsBySpace) items += list.size();
    for (auto _ : state) {
        desk.model->refresh();
        benchmark::DoNotOptimize(desk.model->displayItemsBySpace.get());
    }
    state.counters["windows"] = double(desk.store->windows().size());
    state.counters["items"] = double(items);
}

BENCHMARK(refresh)
    ->ArgName("grouped")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace qv

BENCHMARK_MAIN();
