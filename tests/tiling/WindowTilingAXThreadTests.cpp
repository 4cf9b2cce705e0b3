#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/dispatch/RealRuntime.h"
#include "platform/sim/SimAccessibility.h"
#include "tiling/TilingDesktop.h"
#include "tiling/WindowTilingAX.h"

namespace qv {
namespace {

using AXThreadTest = testing::TilingDesktop<RealRuntime>;
using Key = WindowTilingAX::WindowKey;

// Two applications' windows snapped at once, each on its application's worker, with live frames of
// both drained meanwhile: every answer comes back on the main thread and every window ends where
// it was sent.
TEST_F(AXThreadTest, TwoApplicationsWindowsAreSnappedAtOnce) {
    sim.accessibility().faults(editor).responseDelay = 0.01;
    sim.accessibility().faults(viewer).responseDelay = 0.01;
    auto ax = WindowTilingAX::create(sim.platform());
    const std::thread::id mainThread = std::this_thread::get_id();
    std::map<uint32_t, std::vector<std::optional<Rect>>> reported;  // main thread only
    bool allOnMain = true;
    auto answer = [&](uint32_t window) {
        return [&, window](std::optional<Rect> r) {
            allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
            reported[window].push_back(r);
        };
    };
    for (int round = 0; round < 3; ++round) {
        const double x = 10.0 * round;
        ax->submitLiveFrames(
            {{{editor, side}, {1000 + x, 0, 400, 500}}, {{viewer, front}, {200, 100 + x, 700, 600}}});
        ax->setFrame({x, 36, 720, 864}, Key{editor, back}, answer(back));
        ax->setFrame({720 + x, 36, 700, 864}, Key{viewer, front}, answer(front));
        ax->checkEligibility(Key{viewer, front}, [&](WindowTilingAX::Eligibility e) {
            allOnMain = allOnMain && std::this_thread::get_id() == mainThread && e.canTile;
        });
    }
    ASSERT_TRUE(rt.runMainUntil(
        [&] { return reported[back].size() == 3 && reported[front].size() == 3 && !ax->isDrainScheduled(); },
        20.0));
    EXPECT_TRUE(allOnMain);
    // Each application's answers in the order asked.
    EXPECT_EQ(reported[back].back(), (Rect{20, 36, 720, 864}));
    EXPECT_EQ(reported[front].front(), (Rect{720, 36, 700, 864}));
    EXPECT_EQ(reported[front].back(), (Rect{740, 36, 700, 864}));
    EXPECT_EQ(sim.window(back)->frame, (Rect{20, 36, 720, 864}));
    EXPECT_EQ(sim.window(front)->frame, (Rect{740, 36, 700, 864}));
    EXPECT_EQ(sim.window(side)->frame, (Rect{1020, 0, 400, 500}));
}

}  // namespace
}  // namespace qv
