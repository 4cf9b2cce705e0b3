#include <gtest/gtest.h>

#include "sim/SimEventTaps.h"
#include "support/PreviewDesktop.h"
#include "switcher/WindowSwitcherKeyTap.h"

namespace qv::testing {
namespace {

using Event = WindowSwitcherKeyTap::Event;
using Direction = WindowSwitcherKeyTap::Direction;

class WindowSwitcherKeyTapTest : public PreviewDesktop {
  protected:
    static constexpr CGEventFlags kOption = eventflags::kAlternate;
    uint32_t window = sim.openWindow(editor, "Draft", desk);
    std::shared_ptr<WindowSwitcherKeyTap> tap = WindowSwitcherKeyTap::create(sim.platform());
    std::vector<Event> events;

    void SetUp() override {
        sim.activateApp(editor);
        tap->onEvent = [this](Event e) { events.push_back(e); };
        ASSERT_TRUE(tap->start());
    }
    void press(uint16_t key, CGEventFlags flags = 0) {
        sim.keyDown(key, "", flags);
        sim.keyUp(key, flags);
        rt.runUntilIdle();
    }
    size_t received(CGEventType type, int64_t keyCode) {
        size_t n = 0;
        for (const SimReceivedEvent& e : sim.eventTaps().receivedEvents(editor))
            n += e.type == type && e.keyCode == keyCode;
        return n;
    }
};

TEST_F(WindowSwitcherKeyTapTest, TheTriggerIsAlwaysSwallowedAndSessionKeysOnlyInASession) {
    press(124);  // an arrow with no session passes
    EXPECT_EQ(received(eventtype::kKeyDown, 124), 1u);

    sim.flagsChanged(kOption);
    press(48, kOption);
    sim.keyDown(48, "", kOption);
    sim.keyRepeat(48, "", kOption);
    sim.keyUp(48, kOption);
    press(48, kOption | eventflags::kShift);
    press(48, kOption | eventflags::kCommand);  // an extra modifier: not the trigger
    rt.runUntilIdle();
    EXPECT_EQ(received(eventtype::kKeyDown, 48), 1u);
    EXPECT_EQ(received(eventtype::kKeyUp, 48), 1u);
    EXPECT_EQ(events, (std::vector<Event>{Event::tab(false, false), Event::tab(false, false),
                                          Event::tab(false, true), Event::tab(true, false)}));

    events.clear();
    press(0, kOption);    // a letter reaches the application and keeps the session
    press(125, kOption);  // an arrow moves
    press(53, kOption);   // Escape cancels
    press(123, kOption);  // ... after which the arrows pass again
    EXPECT_EQ(received(eventtype::kKeyDown, 0), 1u);
    EXPECT_EQ(received(eventtype::kKeyDown, 125), 0u);
    EXPECT_EQ(received(eventtype::kKeyUp, 53), 0u);
    EXPECT_EQ(received(eventtype::kKeyDown, 123), 1u);
    EXPECT_EQ(events, (std::vector<Event>{Event::move(Direction::down), Event::cancel()}));

    events.clear();
    press(48, kOption);
    press(76, kOption);  // keypad Enter commits
    press(48, kOption);
    sim.flagsChanged(0);  // releasing Option commits once; the change still reaches the system
    rt.runUntilIdle();
    EXPECT_EQ(events, (std::vector<Event>{Event::tab(false, false), Event::commit(), Event::tab(false, false),
                                          Event::commit()}));
    EXPECT_GE(received(eventtype::kFlagsChanged, 0), 1u);
}

TEST_F(WindowSwitcherKeyTapTest, WhileSuspendedKeysPassButSwallowedKeyUpsStaySwallowed) {
    sim.flagsChanged(kOption);
    sim.keyDown(48, "", kOption);
    rt.runUntilIdle();
    tap->setSuspended(true);
    sim.keyUp(48, kOption);
    press(48, kOption);
    EXPECT_EQ(received(eventtype::kKeyDown, 48), 1u);
    EXPECT_EQ(received(eventtype::kKeyUp, 48), 1u);
    EXPECT_EQ(events, (std::vector<Event>{Event::tab(false, false)}));
    EXPECT_FALSE(tap->isSessionActive());
}

TEST_F(WindowSwitcherKeyTapTest, AStalledOrFailedSetUpGivesUpInsteadOfFreezingStart) {
    tap->stop();
    sim.eventTaps().stallNextSetUp(30);
    EXPECT_FALSE(tap->start());
    EXPECT_FALSE(tap->isRunning());
    EXPECT_TRUE(sim.eventTaps().taps().empty());

    sim.eventTaps().setRunLoopSourceFails(true);
    EXPECT_FALSE(tap->start());
    EXPECT_TRUE(sim.eventTaps().taps().empty());
    sim.eventTaps().setRunLoopSourceFails(false);
    EXPECT_TRUE(tap->start());
}

}  // namespace
}  // namespace qv::testing
