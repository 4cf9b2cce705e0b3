#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "tiling/TilingDesktop.h"
#include "tiling/WindowTilingAX.h"

namespace qv {
namespace {

using AXThreadTest = testing::TilingDesktop<RealRuntime>;

// Two applications' windows snapped at once on their own workers, live frames of both drained
// meanwhile: the answers come back on the main thread and each window ends where it was last sent.
TEST_F(AXThreadTest, TwoApplicationsWindowsAreSnappedAtOnce) {
    sim.accessibility().faults(editor).responseDelay = 0.01;
    sim.accessibility().faults(viewer).responseDelay = 0.01;
    auto ax = WindowTilingAX::create(sim.platform());
    const std::thread::id mainThread = std::this_thread::get_id();
    int answers = 0, onMain = 0;  // main thread only
    auto answer = [&](std::optional<Rect>) {
        ++answers;
        onMain += std::this_thread::get_id() == mainThread;
    };
    for (double x : {0.0, 10.0, 20.0}) {
        ax->submitLiveFrames(
            {{{editor, side}, {1000 + x, 0, 400, 500}}, {{viewer, front}, {x, 0, 700, 600}}});
        ax->setFrame({x, 36, 720, 864}, {editor, back}, answer);
        ax->setFrame({720 + x, 36, 700, 864}, {viewer, front}, answer);
    }
    ASSERT_TRUE(rt.runMainUntil([&] { return answers == 6 && !ax->isDrainScheduled(); }, 20.0));
    EXPECT_EQ(onMain, 6);
    EXPECT_EQ(sim.window(back)->frame, (Rect{20, 36, 720, 864}));
    EXPECT_EQ(sim.window(front)->frame, (Rect{740, 36, 700, 864}));
    EXPECT_EQ(sim.window(side)->frame, (Rect{1020, 0, 400, 500}));
}

// Two applications' workers find many windows at once, each adding to the shared cache of found
// windows: every window is found.
TEST_F(AXThreadTest, TwoApplicationsWorkersFindTheirWindowsAtOnce) {
    std::vector<WindowTilingAX::WindowKey> keys;
    for (int i = 0; i < 40; ++i) {
        for (int32_t pid : {editor, viewer})
            keys.push_back({pid, sim.openWindow(pid, "W", space, Rect{10.0 * i, 40, 400, 300})});
    }
    auto ax = WindowTilingAX::create(sim.platform());
    size_t answers = 0, tileable = 0;  // main thread only
    for (const auto& key : keys) {
        ax->checkEligibility(key, [&](WindowTilingAX::Eligibility e) {
            ++answers;
            tileable += e.canTile;
        });
    }
    ASSERT_TRUE(rt.runMainUntil([&] { return answers == keys.size(); }, 20.0));
    EXPECT_EQ(tileable, keys.size());
}

}  // namespace
}  // namespace qv
