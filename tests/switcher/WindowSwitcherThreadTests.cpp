#include <gtest/gtest.h>

#include <thread>

#include "dispatch/RealRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimEventTaps.h"
#include "switcher/WindowSwitcherKeyTap.h"

namespace qv {
namespace {

using Event = WindowSwitcherKeyTap::Event;
using Direction = WindowSwitcherKeyTap::Direction;

// The key tap on a real thread: a session's keys reach the main queue in the order typed, and the
// tap starts and stops cleanly again and again.
TEST(WindowSwitcherKeyTapThreadTest, KeysArriveInOrderAcrossRepeatedStartsAndStops) {
    RealRuntime rt;
    SimDesktop sim{rt};
    const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    const uint64_t space = sim.addSpace(display);
    const int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    sim.openWindow(editor, "Draft", space);
    sim.activateApp(editor);

    const std::thread::id mainThread = std::this_thread::get_id();
    bool allOnMain = true;
    std::vector<Event> events;
    auto tap = WindowSwitcherKeyTap::create(sim.platform());
    tap->onEvent = [&](Event e) {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
        events.push_back(e);
    };
    const std::vector<Event> expected = {Event::tab(false, false),     Event::tab(true, false),
                                         Event::move(Direction::next), Event::move(Direction::up),
                                         Event::tab(false, false),     Event::commit()};
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(tap->start());
        ASSERT_TRUE(tap->start());  // already running
        events.clear();
        sim.flagsChanged(eventflags::kAlternate);
        sim.keyDown(48, "", eventflags::kAlternate);
        sim.keyDown(48, "", eventflags::kAlternate | eventflags::kShift);
        sim.keyDown(124, "", eventflags::kAlternate);
        sim.keyDown(126, "", eventflags::kAlternate);
        sim.keyDown(48, "", eventflags::kAlternate);
        sim.flagsChanged(0);
        ASSERT_TRUE(rt.runMainUntil([&] { return events.size() == expected.size(); }, 10.0));
        EXPECT_EQ(events, expected);
        tap->stop();
        EXPECT_TRUE(sim.eventTaps().taps().empty());
    }
    EXPECT_TRUE(allOnMain);
}

}  // namespace
}  // namespace qv
