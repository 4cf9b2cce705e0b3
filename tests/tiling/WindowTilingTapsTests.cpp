#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "tiling/SnapKeyRules.h"
#include "tiling/TilingDesktop.h"
#include "tiling/WindowTilingKeyTap.h"
#include "tiling/WindowTilingMouseTap.h"

namespace qv {
namespace {

using MouseTap = WindowTilingMouseTap;
using KeyTap = WindowTilingKeyTap;
using Action = KeyTap::Action;
using Kind = Action::Kind;

constexpr uint64_t kCtrlOpt = eventflags::kControl | eventflags::kAlternate;

class WindowTilingTapsTest : public testing::TilingDesktop<ManualRuntime> {
  protected:
    std::vector<MouseTap::Event> events;
    std::vector<Action> actions;

    std::shared_ptr<MouseTap> mouseTap() {
        auto tap = MouseTap::create(sim.platform());
        tap->onEvent = [this](const MouseTap::Event& e) { events.push_back(e); };
        return tap;
    }
    std::shared_ptr<KeyTap> keyTap(uint32_t modifiers) {
        auto tap = KeyTap::create(sim.platform());
        tap->onAction = [this](Action a) { actions.push_back(a); };
        tap->configure(SnapKeyModifiers{modifiers});
        return tap;
    }
    // The one tap in the chain, running on its thread's run loop.
    void expectOneTap(EventTapPlacement placement, EventTapOptions options, CGEventMask mask,
                      const std::string& thread) {
        auto installed = sim.eventTaps().taps();
        ASSERT_EQ(installed.size(), 1u);
        EXPECT_EQ(installed[0].placement, placement);
        EXPECT_EQ(installed[0].options, options);
        EXPECT_EQ(installed[0].mask, mask);
        EXPECT_EQ(installed[0].runLoopLabel, thread);
        EXPECT_TRUE(installed[0].enabled);
    }
    void type(uint16_t keyCode) {
        sim.keyDown(keyCode);
        sim.keyUp(keyCode);
    }
};

TEST_F(WindowTilingTapsTest, APressTwentyDragsAndAReleaseReachTheMainQueueAsThreeEvents) {
    auto tap = mouseTap();
    ASSERT_TRUE(tap->start());
    expectOneTap(EventTapPlacement::tailAppend, EventTapOptions::listenOnly, 70u,
                 "quillVorn.window-tiling-tap");

    press({300, 150});
    for (int i = 1; i <= 20; ++i) drag({300.0 + i, 150});
    release({320, 150});
    EXPECT_TRUE(events.empty());
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 3u);
    auto* down = std::get_if<MouseTap::Down>(&events[0]);
    ASSERT_TRUE(down);
    EXPECT_EQ(down->location, (Point{300, 150}));
    EXPECT_EQ(down->hitWindowID, front);
    // Front to back: our bar at -1, the nearly transparent window left out.
    std::vector<MouseTap::WindowSnapshot> expected = {{bar->windowNumber(), -1, 0, {0, 864, 1440, 36}},
                                                      {side, editor, 0, {1000, 0, 440, 500}},
                                                      {front, viewer, 0, {200, 100, 800, 600}},
                                                      {back, editor, 0, {0, 0, 800, 600}}};
    EXPECT_EQ(down->windows, expected);
    auto* dragged = std::get_if<MouseTap::Dragged>(&events[1]);
    ASSERT_TRUE(dragged);
    EXPECT_EQ(dragged->location, (Point{320, 150}));
    auto* up = std::get_if<MouseTap::Up>(&events[2]);
    ASSERT_TRUE(up);
    EXPECT_EQ(up->location, (Point{320, 150}));
    // A listen-only tap takes nothing: the window's application got the whole drag.
    EXPECT_EQ(sim.eventTaps().receivedEvents(viewer).size(), 22u);

    // Drags without a press seen by the tap are ignored.
    events.clear();
    drag({400, 400});
    rt.runUntilIdle();
    EXPECT_TRUE(events.empty());

    // Without the window server's lookup a press names no window.
    tap->stop();
    sim.missingEntryPoints.insert("SLSFindWindowAndOwner");
    auto blind = mouseTap();
    ASSERT_TRUE(blind->start());
    press({300, 150});
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(std::get<MouseTap::Down>(events[0]).hitWindowID);
}

TEST_F(WindowTilingTapsTest, ATapSwitchedOffByTheSystemWorksAgainAndStartingIsRetryable) {
    auto tap = mouseTap();
    sim.eventTaps().setCreationRefused(true);
    EXPECT_FALSE(tap->start());
    EXPECT_FALSE(tap->isRunning());
    sim.eventTaps().setCreationRefused(false);
    EXPECT_TRUE(tap->start());
    EXPECT_TRUE(tap->start());
    EXPECT_EQ(sim.eventTaps().createdTapCount(), 1u);

    for (bool byUserInput : {false, true}) {
        uint64_t id = sim.eventTaps().taps()[0].id;
        sim.eventTaps().disableTap(id, byUserInput);
        EXPECT_FALSE(sim.eventTaps().taps()[0].enabled);
        rt.runUntilIdle();
        EXPECT_TRUE(sim.eventTaps().taps()[0].enabled);
    }
    press({300, 150});
    release({300, 150});
    rt.runUntilIdle();
    EXPECT_EQ(events.size(), 2u);

    // A stop and a start make a fresh tap on a fresh thread.
    tap->stop();
    EXPECT_TRUE(sim.eventTaps().taps().empty());
    EXPECT_TRUE(tap->start());
    EXPECT_EQ(sim.eventTaps().createdTapCount(), 2u);
    EXPECT_EQ(sim.eventTaps().taps().size(), 1u);
}

TEST_F(WindowTilingTapsTest, AStalledOrFailedTapThreadSetUpGivesUpInsteadOfFreezingStart) {
    auto mouse = mouseTap();
    auto keys = keyTap(carbon::kControl | carbon::kOption);
    for (auto start : {std::function<bool()>([&] { return mouse->start(); }),
                       std::function<bool()>([&] { return keys->start(); })}) {
        // A thread whose set-up hangs for half a minute: start answers false, having waited a second.
        const size_t running = sim.eventTaps().taps().size();
        sim.eventTaps().stallNextSetUp(30);
        EXPECT_FALSE(start());
        EXPECT_EQ(sim.eventTaps().taps().size(), running);
        // A run-loop source that cannot be made: false at once.
        sim.eventTaps().setRunLoopSourceFails(true);
        Seconds before = rt.now();
        EXPECT_FALSE(start());
        EXPECT_EQ(rt.now(), before);
        EXPECT_EQ(sim.eventTaps().taps().size(), running);
        sim.eventTaps().setRunLoopSourceFails(false);
        EXPECT_TRUE(start());
    }
    EXPECT_TRUE(mouse->isRunning() && keys->isRunning());
}

TEST_F(WindowTilingTapsTest, HeldSnapKeysAndAnArrowAreSwallowedAndActOnce) {
    auto tap = keyTap(carbon::kControl | carbon::kOption);
    ASSERT_TRUE(tap->start());
    expectOneTap(EventTapPlacement::headInsert, EventTapOptions::defaultTap, 7168u,
                 "quillVorn.window-tiling-key-tap");

    // The arrow's own event carries the fn flag; fn is not held, so the combination matches.
    sim.flagsChanged(kCtrlOpt);
    sim.keyDown(123);
    sim.keyRepeat(123);
    sim.keyRepeat(123);
    sim.keyUp(123);
    rt.runUntilIdle();
    EXPECT_EQ(actions, (std::vector<Action>{Action::of(Kind::left)}));
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 123), 0u);
    EXPECT_EQ(received(editor, eventtype::kKeyUp, 123), 0u);
    EXPECT_EQ(received(editor, eventtype::kFlagsChanged, 0), 1u);

    // An extra Shift, a held fn and the keys the program posts itself pass on.
    sim.flagsChanged(kCtrlOpt | eventflags::kShift);
    type(123);
    sim.flagsChanged(kCtrlOpt | eventflags::kSecondaryFn);
    type(123);
    sim.flagsChanged(kCtrlOpt);
    Events& events = sim.platform().events;
    for (bool down : {true, false}) {
        auto posted = events.createKeyboardEvent(123, down);
        ASSERT_TRUE(posted);
        posted->flags = kCtrlOpt;
        events.post(EventTapLocation::hid, *posted);
    }
    // Suspended while a shortcut is recorded, everything passes.
    tap->setSuspended(true);
    type(123);
    rt.runUntilIdle();
    EXPECT_EQ(actions.size(), 1u);
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 123), 4u);
    EXPECT_EQ(received(editor, eventtype::kKeyUp, 123), 4u);

    // A swallowed key's key-up stays swallowed whatever changes before it comes.
    tap->setSuspended(false);
    sim.keyDown(124);
    rt.runUntilIdle();
    tap->configure(std::nullopt);
    tap->setSuspended(true);
    sim.keyUp(124);
    rt.runUntilIdle();
    EXPECT_EQ(actions.back(), Action::of(Kind::right));
    EXPECT_EQ(received(editor, eventtype::kKeyUp, 124), 0u);
    // With no combination configured nothing is taken.
    tap->setSuspended(false);
    type(124);
    rt.runUntilIdle();
    EXPECT_EQ(actions.size(), 2u);
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 124), 1u);
}

TEST_F(WindowTilingTapsTest, SnapKeysWithFnTakeItsStateFromModifierChanges) {
    auto tap = keyTap(carbon::kFunction | carbon::kControl);
    // fn already held when the tap starts.
    sim.flagsChanged(eventflags::kControl | eventflags::kSecondaryFn);
    ASSERT_TRUE(tap->start());
    type(115);  // Home: the left arrow on a keyboard that sends it with fn
    type(3);
    sim.flagsChanged(eventflags::kControl);
    type(123);  // no fn: passes, though the arrow's own event carries the flag
    rt.runUntilIdle();
    EXPECT_EQ(actions, (std::vector<Action>{Action::of(Kind::left), Action::of(Kind::fill)}));
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 115) + received(editor, eventtype::kKeyDown, 3), 0u);
    EXPECT_EQ(received(editor, eventtype::kKeyDown, 123), 1u);
}

TEST(SnapKeyModifiersTest, ACombinationNeedsTwoModifiersAndMustNotCaptureAnotherShortcut) {
    using namespace carbon;
    const KeyboardShortcut optionTab{48, kOption};
    auto reason = [&](uint32_t bits, std::optional<KeyboardShortcut> launcher, KeyboardShortcut switcher) {
        return snapKeysRejectionReason(SnapKeyModifiers{bits}, launcher, switcher);
    };
    EXPECT_EQ(reason(kControl, std::nullopt, optionTab), "Use at least two modifier keys.");
    EXPECT_EQ(reason(0, std::nullopt, optionTab), "Use at least two modifier keys.");
    EXPECT_EQ(reason(kFunction | (1u << 30), std::nullopt, optionTab), "Use at least two modifier keys.");
    EXPECT_EQ(reason(kOption | kCommand, std::nullopt, optionTab), std::nullopt);
    const KeyboardShortcut launcherLeft{123, kOption | kCommand};
    EXPECT_EQ(reason(kOption | kCommand, launcherLeft, optionTab), "⌥⌘← is used by the app launcher.");
    EXPECT_EQ(reason(kOption | kCommand, launcherLeft, {3, kOption | kCommand}),
              "⌥⌘← is used by the app launcher.");
    EXPECT_EQ(reason(kOption | kCommand, std::nullopt, {3, kOption | kCommand}),
              "⌥⌘F is used by the window switcher.");
    EXPECT_EQ(reason(kOption | kCommand, KeyboardShortcut{0, kOption | kCommand}, optionTab), std::nullopt);
    EXPECT_EQ(reason(kFunction | kOption | kCommand, KeyboardShortcut{123, kFunction | kOption | kCommand},
                     optionTab),
              std::nullopt);
}

}  // namespace
}  // namespace qv
