#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "tiling/WindowTilingAX.h"

namespace qv {
namespace {

using Key = WindowTilingAX::WindowKey;

class WindowTilingAXTest : public testing::OneAppDesktop<> {
  protected:
    WindowTilingAXTest() : OneAppDesktop("com.example.editor", "Editor") {}

    uint32_t win = open("Doc", Rect{100, 100, 1000, 600});
    Key key{app, win};
    std::shared_ptr<WindowTilingAX> ax = WindowTilingAX::create(sim.platform());

    Rect frameOf(uint32_t id) const { return sim.window(id)->frame; }
    // The attributes our writes set, in order.
    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        for (const SimCall& c : sim.callsNamed("AXUIElementSetAttributeValue")) {
            std::string name = *c.args.asArray()->at(1).asString();
            if (name == "AXEnhancedUserInterface") name += *c.args.asArray()->at(2).asBool() ? "=on" : "=off";
            out.push_back(name);
        }
        return out;
    }
    bool eligible(WindowTilingAX& worker, Key k) {
        std::optional<bool> verdict;
        worker.checkEligibility(k, [&](WindowTilingAX::Eligibility e) { verdict = e.canTile; });
        EXPECT_FALSE(verdict);  // answers come later, on the main queue
        rt.runUntilIdle();
        return verdict.value();
    }
};

TEST_F(WindowTilingAXTest, SetFrameWritesInThePlainOrderAndReportsTheFrameReadBack) {
    bool answered = false;
    std::optional<Rect> reported;
    auto answer = [&](std::optional<Rect> r) {
        answered = true;
        reported = r;
    };
    ax->setFrame({8, 46, 708, 808}, key, answer);
    EXPECT_FALSE(answered);
    rt.runUntilIdle();
    EXPECT_EQ(reported, (Rect{8, 46, 708, 808}));
    EXPECT_EQ(frameOf(win), (Rect{8, 46, 708, 808}));
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXSize", "AXPosition", "AXSize"}));
    // The lookup's application element, the found window and the application element of the write
    // answer within 0.25 s.
    auto timeouts = sim.callsNamed("AXUIElementSetMessagingTimeout");
    ASSERT_EQ(timeouts.size(), 3u);
    EXPECT_EQ(timeouts[0].args.asArray()->at(0).asElement(), AXElement(app, 0));
    EXPECT_EQ(timeouts[1].args.asArray()->at(0).asElement(), sim.accessibility().windowElement(win));
    EXPECT_EQ(timeouts[2].args.asArray()->at(0).asElement(), AXElement(app, 0));
    for (const SimCall& call : timeouts) EXPECT_EQ(call.args.asArray()->at(1), Value::number(0.25));

    // A window that is gone answers none.
    answered = false;
    ax->setFrame({0, 0, 10, 10}, Key{app, 9999}, answer);
    rt.runUntilIdle();
    EXPECT_TRUE(answered);
    EXPECT_FALSE(reported);
    for (const SimCall& c : sim.callLog) {
        if (c.name.starts_with("AX") || c.name.starts_with("_AX")) {
            EXPECT_FALSE(c.onMainQueue) << c.name;
        }
    }
}

TEST_F(WindowTilingAXTest, LiveFramesAreCoalescedPerWindowAndKeepTheFarEdgeOfAWiderWindow) {
    sim.accessibility().faults(app).minimumWindowSize = Size{900, 0};
    ax->submitLiveFrames({});
    EXPECT_FALSE(ax->isDrainScheduled());
    EXPECT_EQ(rt.pendingCount(), 0u);

    // Narrowed from the left with the right edge at 1100: the application keeps 900 wide, so the
    // window moves left to keep that edge. Only the newer of two frames is written.
    ax->submitLiveFrames({{key, {250, 100, 850, 600}}});
    ax->submitLiveFrames({{key, {300, 100, 800, 600}}});
    EXPECT_TRUE(ax->isDrainScheduled());
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(win), (Rect{200, 100, 900, 600}));
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXSize", "AXPosition", "AXPosition"}));
    EXPECT_FALSE(ax->isDrainScheduled());

    // A right edge that was meant to move leaves the wider frame as the application chose it.
    ax->submitLiveFrames({{key, {300, 100, 700, 600}}});
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(win), (Rect{300, 100, 900, 600}));

    // A snap drops the pending live frame; a reset drops them all and the queued pass finds nothing.
    sim.callLog.clear();
    ax->submitLiveFrames({{key, {0, 0, 950, 500}}});
    ax->setFrame({10, 10, 1000, 700}, key);
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(win), (Rect{10, 10, 1000, 700}));
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXSize", "AXPosition", "AXSize"}));  // the snap's only
    ax->submitLiveFrames({{key, {0, 0, 950, 500}}});
    ax->reset();
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(win), (Rect{10, 10, 1000, 700}));
    EXPECT_FALSE(ax->isDrainScheduled());
    ax->submitLiveFrames({{key, {0, 0, 950, 500}}});
    EXPECT_TRUE(ax->isDrainScheduled());
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(win), (Rect{0, 0, 950, 500}));
}

TEST_F(WindowTilingAXTest, EachApplicationsLiveFramesAreWrittenOnItsOwnWorkerAndAHungOneHoldsNoOther) {
    const uint32_t side = open("Side", Rect{1100, 100, 300, 600});
    const int32_t viewer = sim.launchApp(std::string("com.example.viewer"), "Viewer");
    const uint32_t pad = sim.openWindow(viewer, "Pad", space, Rect{100, 800, 600, 80});
    sim.accessibility().faults(app).unresponsive = true;

    ax->submitLiveFrames({{key, {100, 100, 900, 600}},
                          {{app, side}, {1000, 100, 400, 600}},
                          {{viewer, pad}, {100, 800, 500, 80}}});
    ax->submitLiveFrames({{{viewer, pad}, {100, 800, 400, 80}}});
    EXPECT_TRUE(ax->isDrainScheduled(app));
    EXPECT_TRUE(ax->isDrainScheduled(viewer));
    rt.runUntilIdle();
    // The viewer's pass wrote its window's newest frame only, while the editor's still waits.
    EXPECT_EQ(frameOf(pad), (Rect{100, 800, 400, 80}));
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXSize", "AXPosition"}));
    EXPECT_FALSE(ax->isDrainScheduled(viewer));
    EXPECT_TRUE(ax->isDrainScheduled(app));
    EXPECT_TRUE(sim.platform().appWorkers.hasWorker(viewer));

    // Each of the editor's windows is looked up in vain within 0.25 s, and its frame dropped.
    rt.advance(0.25);
    EXPECT_TRUE(ax->isDrainScheduled(app));
    rt.advance(0.25);
    EXPECT_FALSE(ax->isDrainScheduled(app));
    EXPECT_EQ(frameOf(win), (Rect{100, 100, 1000, 600}));
    EXPECT_EQ(frameOf(side), (Rect{1100, 100, 300, 600}));
}

TEST_F(WindowTilingAXTest, OnlyStandardResizableWindowsOutsideFullScreenCanBeTiled) {
    uint32_t dialog = sim.openWindow(app, "Find", space, Rect{200, 200, 400, 200},
                                     [](SimWindowSpec& s) { s.subrole = "AXDialog"; });
    uint32_t bare = sim.openWindow(app, "Bare", space, Rect{200, 200, 400, 200},
                                   [](SimWindowSpec& s) { s.subrole = std::nullopt; });
    int32_t fixed = sim.launchApp(std::string("com.example.fixed"), "Fixed");
    uint32_t fixedWin = sim.openWindow(fixed, "Fixed", space);
    sim.accessibility().faults(fixed).refusedWrites.insert("AXSize");
    uint32_t full = sim.openWindow(app, "Full", sim.addSpace(display, kSimSpaceTypeFullScreen));

    EXPECT_TRUE(eligible(*ax, key));
    EXPECT_FALSE(eligible(*ax, {app, dialog}));
    EXPECT_FALSE(eligible(*ax, {app, bare}));
    EXPECT_FALSE(eligible(*ax, {fixed, fixedWin}));
    EXPECT_FALSE(eligible(*ax, {app, full}));

    // A live frame for a window that cannot be tiled is dropped, and the verdict holds until a reset.
    ax->submitLiveFrames({{{app, dialog}, {0, 0, 500, 300}}});
    rt.runUntilIdle();
    sim.window(dialog)->subrole = "AXStandardWindow";
    ax->submitLiveFrames({{{app, dialog}, {0, 0, 500, 300}}});
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(dialog), (Rect{200, 200, 400, 200}));
    ax->reset();
    ax->submitLiveFrames({{{app, dialog}, {0, 0, 500, 300}}});
    rt.runUntilIdle();
    EXPECT_EQ(frameOf(dialog), (Rect{0, 0, 500, 300}));

    // Without the private window lookup no window is ever found.
    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    auto blind = WindowTilingAX::create(sim.platform());
    EXPECT_FALSE(eligible(*blind, key));
}

TEST_F(WindowTilingAXTest, TheEnhancedInterfaceIsSwitchedOffAroundTheWritesOnlyWhenItWasOn) {
    sim.accessibility().setEnhancedUserInterface(app, true);
    ax->setFrame({0, 0, 720, 900}, key);
    rt.runUntilIdle();
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXEnhancedUserInterface=off", "AXSize", "AXPosition",
                                                  "AXSize", "AXEnhancedUserInterface=on"}));
    EXPECT_TRUE(sim.accessibility().enhancedUserInterface(app));

    sim.accessibility().setEnhancedUserInterface(app, false);
    sim.callLog.clear();
    ax->setFrameDuringDrag({50, 50, 600, 400}, key);
    rt.runUntilIdle();
    EXPECT_EQ(writes(), (std::vector<std::string>{"AXSize", "AXPosition"}));
    EXPECT_EQ(frameOf(win), (Rect{50, 50, 600, 400}));
}

TEST_F(WindowTilingAXTest, TheFocusedWindowAndTheAnswersOnceTheWorkerIsGone) {
    std::optional<WindowTilingAX::FocusedWindow> focused;
    ax->focusedWindow(app, [&](auto f) { focused = f; });
    rt.runUntilIdle();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->key, key);
    EXPECT_EQ(focused->frame, (Rect{100, 100, 1000, 600}));
    EXPECT_TRUE(focused->canTile);

    int32_t windowless = sim.launchApp(std::string("com.example.agent"), "Agent");
    ax->focusedWindow(windowless, [&](auto f) { focused = f; });
    rt.runUntilIdle();
    EXPECT_FALSE(focused);

    // Work queued before the worker went away still answers, with the negative answers.
    int answers = 0;
    ax->checkEligibility(key, [&](WindowTilingAX::Eligibility e) { answers += !e.canTile; });
    ax->focusedWindow(app, [&](auto f) { answers += !f; });
    ax->setFrame({0, 0, 300, 300}, key, [&](std::optional<Rect> r) { answers += !r; });
    ax.reset();
    rt.runUntilIdle();
    EXPECT_EQ(answers, 3);
    EXPECT_EQ(frameOf(win), (Rect{100, 100, 1000, 600}));
}

TEST_F(WindowTilingAXTest, AResetMakesNoWorkerAgainForAnApplicationThatEnded) {
    EXPECT_TRUE(eligible(*ax, key));
    sim.terminateApp(app);
    sim.platform().appWorkers.applicationTerminated(app);  // as the program does when told
    ax->reset();
    rt.runUntilIdle();
    EXPECT_FALSE(sim.platform().appWorkers.hasWorker(app));
}

TEST_F(WindowTilingAXTest, ASimulatedWindowDriftsBackAfterOurWrites) {
    sim.accessibility().faults(app).driftBackAfter = 0.5;
    ax->setFrame({0, 0, 720, 900}, key);
    rt.advance(0.4);
    EXPECT_EQ(frameOf(win), (Rect{0, 0, 720, 900}));
    rt.advance(0.1);
    EXPECT_EQ(frameOf(win), (Rect{100, 100, 1000, 600}));
}

}  // namespace
}  // namespace qv
