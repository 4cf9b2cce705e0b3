#include <gtest/gtest.h>

#include "sim/SimEventTaps.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class SimEventTapsTest : public testing::OneAppDesktop<> {
  protected:
    uint32_t window = open("Doc");
    EventTaps& taps = sim.platform().eventTaps;
    std::vector<std::string> seen;  // tap name and key code, in the order the taps saw them

    // A tap on a run loop of its own that records what it sees and swallows `swallowed`.
    EventTapRef tap(const std::string& name, EventTapPlacement placement, EventTapOptions options,
                    int64_t swallowed = -1) {
        auto ref =
            taps.tapCreate(EventTapLocation::session, placement, options,
                           eventMaskBit(eventtype::kKeyDown) | eventMaskBit(eventtype::kFlagsChanged),
                           [this, name, swallowed](CGEventType, const CGEvent& e) -> std::optional<CGEvent> {
                               seen.push_back(name + std::to_string(e.keyCode));
                               if (e.keyCode == swallowed) return std::nullopt;
                               return e;
                           });
        threads.push_back(rt.startRunLoopThread(name));
        EXPECT_TRUE(taps.addToRunLoop(*ref, threads.back()->runLoop()));
        return ref;
    }
    std::vector<std::shared_ptr<RunLoopThread>> threads;
};

TEST_F(SimEventTapsTest, HeadTapsComeFirstAndOnlyActiveTapsSwallow) {
    sim.activateApp(app);
    auto tail = tap("tail", EventTapPlacement::tailAppend, EventTapOptions::defaultTap);
    auto listener = tap("listener", EventTapPlacement::headInsert, EventTapOptions::listenOnly, 7);
    auto head = tap("head", EventTapPlacement::headInsert, EventTapOptions::defaultTap, 8);
    sim.keyDown(7);
    sim.keyDown(8);
    EXPECT_TRUE(sim.eventTaps().receivedEvents(app).empty());  // handed over asynchronously
    rt.runUntilIdle();
    // Each event passes the taps in order; the two events go through the chain side by side.
    auto of = [&](char key) {
        std::vector<std::string> out;
        for (const auto& s : seen) {
            if (s.back() == key) out.push_back(s);
        }
        return out;
    };
    EXPECT_EQ(of('7'), (std::vector<std::string>{"head7", "listener7", "tail7"}));
    EXPECT_EQ(of('8'), (std::vector<std::string>{"head8"}));
    auto received = sim.eventTaps().receivedEvents(app);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].keyCode, 7);
    EXPECT_TRUE(taps.eventSourceKeyState(EventSourceStateID::combinedSessionState, 8));

    // A lost release: the modifier state follows it, no tap and no application sees it.
    sim.flagsChanged(eventflags::kAlternate);
    sim.eventTaps().dropNextFlagsChange();
    sim.flagsChanged(0);
    rt.runUntilIdle();
    EXPECT_EQ(seen.size(), 7u);
    EXPECT_EQ(taps.eventSourceFlagsState(EventSourceStateID::combinedSessionState), 0u);
    EXPECT_EQ(sim.eventTaps().receivedEvents(app).size(), 2u);

    // Posted events carry our pid; an invalidated tap sees nothing more.
    taps.invalidate(*head);
    auto posted = sim.platform().events.createKeyboardEvent(8, true);
    ASSERT_TRUE(posted);
    sim.platform().events.post(EventTapLocation::hid, *posted);
    rt.runUntilIdle();
    EXPECT_EQ(seen.back(), "tail8");
    EXPECT_EQ(sim.eventTaps().receivedEvents(app).back().sourcePID, sim.ownPID());
}

TEST_F(SimEventTapsTest, EventsAtThePointerAndTheWindowUnderIt) {
    sim.mouseMove({150, 700});  // AppKit space: (150, 200) for the window server
    auto e = sim.platform().events.create();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->location, (Point{150, 200}));
    sim.eventTaps().setEventCreationFails(true);
    EXPECT_FALSE(sim.platform().events.create());
    EXPECT_FALSE(
        sim.platform().events.createMouseEvent(eventtype::kLeftMouseDown, {0, 0}, CGMouseButton::left));

    WindowServer& ws = sim.platform().windowServer;
    Point inWindow;
    uint32_t id = 7, owner = 0;
    EXPECT_EQ(ws.findWindowAndOwner(ws.mainConnectionID(), 0, 1, 0, {150, 200}, inWindow, id, owner), 0);
    EXPECT_EQ(id, window);
    EXPECT_EQ(inWindow, (Point{50, 100}));
    EXPECT_EQ(ws.findWindowAndOwner(ws.mainConnectionID(), 0, 1, 0, {1200, 850}, inWindow, id, owner), 0);
    EXPECT_EQ(id, 0u);
}

}  // namespace
}  // namespace qv
