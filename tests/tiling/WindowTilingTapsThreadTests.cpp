#include <gtest/gtest.h>

#include <thread>

#include "dispatch/RealRuntime.h"
#include "tiling/TilingDesktop.h"
#include "tiling/WindowTilingKeyTap.h"
#include "tiling/WindowTilingMouseTap.h"

namespace qv {
namespace {

using TapsThreadTest = testing::TilingDesktop<RealRuntime>;

// Both taps on real threads of their own: started, fed the user's input, stopped, twice over.
TEST_F(TapsThreadTest, BothTapsStartSeeTheUsersInputAndStop) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<WindowTilingMouseTap::Event> events;  // main thread only
    std::vector<WindowTilingKeyTap::Action> actions;
    bool allOnMain = true;
    auto mouse = WindowTilingMouseTap::create(sim.platform());
    mouse->onEvent = [&](const WindowTilingMouseTap::Event& e) {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
        events.push_back(e);
    };
    auto keys = WindowTilingKeyTap::create(sim.platform());
    keys->onAction = [&](WindowTilingKeyTap::Action a) {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
        actions.push_back(a);
    };
    keys->configure(SnapKeyModifiers{carbon::kControl | carbon::kOption});

    for (size_t round = 1; round <= 2; ++round) {
        ASSERT_TRUE(mouse->start());
        ASSERT_TRUE(keys->start());
        ASSERT_EQ(sim.eventTaps().taps().size(), 2u);
        events.clear();
        press({300, 150});
        for (int i = 1; i <= 10; ++i) drag({300.0 + i, 150});
        release({310, 150});
        sim.flagsChanged(eventflags::kControl | eventflags::kAlternate);
        sim.keyDown(124);
        sim.keyUp(124);
        sim.flagsChanged(0);
        ASSERT_TRUE(rt.runMainUntil(
            [&] {
                return actions.size() == round && !events.empty() &&
                       std::holds_alternative<WindowTilingMouseTap::Up>(events.back()) &&
                       received(viewer, eventtype::kFlagsChanged, 0) == 2 * round;
            },
            10.0));
        // The press made the viewer frontmost: it gets the keys the taps let through.
        EXPECT_TRUE(std::holds_alternative<WindowTilingMouseTap::Down>(events.front()));
        EXPECT_EQ(std::get<WindowTilingMouseTap::Up>(events.back()).location, (Point{310, 150}));
        EXPECT_EQ(actions.back(), WindowTilingKeyTap::Action::of(WindowTilingKeyTap::Action::Kind::right));
        EXPECT_EQ(received(viewer, eventtype::kKeyDown, 124), 0u);
        mouse->stop();
        keys->stop();
        EXPECT_TRUE(sim.eventTaps().taps().empty());
    }
    EXPECT_TRUE(allOnMain);

    // Stopped, the keys reach the application.
    sim.flagsChanged(eventflags::kControl | eventflags::kAlternate);
    sim.keyDown(124);
    EXPECT_EQ(received(viewer, eventtype::kKeyDown, 124), 1u);
}

}  // namespace
}  // namespace qv
