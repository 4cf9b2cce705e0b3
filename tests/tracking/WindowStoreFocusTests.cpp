#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

TrackedWindow candidate(uint32_t id, Rect frame, std::string title = {}) {
    TrackedWindow w;
    w.windowID = id;
    w.frame = frame;
    w.windowTitle = std::move(title);
    return w;
}

std::optional<uint32_t> bestID(const std::vector<TrackedWindow>& windows) {
    auto best = bestActivationCandidate(windows);
    return best ? std::optional(best->windowID) : std::nullopt;
}

TEST(BestActivationCandidateTest, LargestWinsThenATitleThenTheEarliest) {
    const Rect wide{0, 0, 1000, 480}, tall{0, 0, 800, 600};  // the same area
    EXPECT_EQ(bestID({}), std::nullopt);
    EXPECT_EQ(bestID({candidate(1, tall, "Titled"), candidate(2, wide)}), 1u);
    EXPECT_EQ(bestID({candidate(1, tall), candidate(2, wide, "Titled")}), 2u);
    EXPECT_EQ(bestID({candidate(1, tall), candidate(2, wide)}), 1u);
    EXPECT_EQ(bestID({candidate(1, tall, "A"), candidate(2, wide, "B")}), 1u);
    EXPECT_EQ(bestID({candidate(1, tall, "Titled"), candidate(2, Rect{0, 0, 1200, 900})}), 2u);
    // A mirrored frame counts by its positive size.
    EXPECT_EQ(bestID({candidate(1, tall), candidate(2, Rect{900, 700, -900, -700})}), 2u);
}

TEST(BestActivationCandidateTest, AnAreaThatIsNotANumberNeitherWinsNorLoses) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Rect broken{0, 0, nan, 100};
    EXPECT_EQ(bestID({candidate(1, Rect{0, 0, 10, 10}), candidate(2, broken, "Titled")}), 1u);
    EXPECT_EQ(bestID({candidate(1, broken), candidate(2, Rect{0, 0, 5000, 5000}, "Titled")}), 1u);
}

class FocusTest : public testing::StoreDesktop {
  protected:
    int32_t editor = launch("com.example.editor", "Editor");
    int32_t mail = launch("com.example.mail", "Mail");
    uint32_t draft = open(editor, "Draft", s1);
    uint32_t inbox = open(mail, "Inbox", s1);

    void SetUp() override { populate(); }
};

TEST_F(FocusTest, AnUnreadableFocusOfTheActivatedAppClearsAFocusOfAnotherApp) {
    WindowStoreProbe::focusedWindowID(*store) = inbox;
    failRead(sim.platform().accessibility.createApplication(editor), "AXFocusedWindow");
    activated(editor);
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 1);
}

TEST_F(FocusTest, AnUnreadableFocusKeepsTheAppsOwnOrAnUnknownFocus) {
    simAX.overrides.copyAttributeValue = [](const AXElement&,
                                            const std::string& attribute) -> std::optional<SimAXAnswer> {
        if (attribute == "AXFocusedWindow") return SimAXAnswer{kAXErrorCannotComplete, {}};
        return std::nullopt;
    };
    WindowStoreProbe::focusedWindowID(*store) = draft;
    activated(editor);
    EXPECT_EQ(store->focusedWindowID(), draft);
    // An id the store does not track: whose it is cannot be told, so it stays.
    WindowStoreProbe::focusedWindowID(*store) = 4242;
    activated(editor);
    EXPECT_EQ(store->focusedWindowID(), 4242u);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(WindowStoreProbe::debugEventSequence(*store), 2u);
}

TEST_F(FocusTest, AFocusedElementWithoutAnIDAlsoClearsAnotherAppsFocus) {
    WindowStoreProbe::focusedWindowID(*store) = inbox;
    simAX.faults(editor).privateWindowLookupFails = true;
    simAX.faults(editor).windowNumberUnsupported = true;
    activated(editor);
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
}

// --- The sole window of a Space ---

class SoleWindowTest : public testing::StoreDesktop {
  protected:
    int32_t app = launch("com.example.app", "App");
    uint64_t full = sim.addSpace(display, kSimSpaceTypeFullScreen);
};

TEST_F(SoleWindowTest, PrefersWindowsThatAreNotMinimised) {
    uint32_t shown = open(app, "Shown", full, {0, 0, 400, 300});
    uint32_t hidden = open(app, "Hidden", full, {0, 0, 1900, 1000});
    populate();
    // The per-Space listing leaves minimised windows out, so put it back in the listing's place.
    sim.setWindowMinimized(hidden, true);
    sim.overrides.windowsOnSpaces = [&](const Value&) {
        return std::optional<Value>(numberArray(std::vector<uint32_t>{hidden, shown}));
    };
    WindowStoreProbe::windows(*store).at(hidden).isMinimized = true;
    EXPECT_EQ(soleWindow(full), shown);
    EXPECT_EQ(changes, 0);
}

TEST_F(SoleWindowTest, AmongMinimisedWindowsTheOnlyOneTheFocusedOneOrTheLargest) {
    uint32_t small = open(app, "Small", full, {0, 0, 400, 300});
    uint32_t large = open(app, "Large", full, {0, 0, 1600, 900});
    populate();
    for (uint32_t id : {small, large}) WindowStoreProbe::windows(*store).at(id).isMinimized = true;
    auto listing = std::vector<uint32_t>{small, large};
    sim.overrides.windowsOnSpaces = [&](const Value&) { return std::optional<Value>(numberArray(listing)); };
    EXPECT_EQ(soleWindow(full), large);
    WindowStoreProbe::focusedWindowID(*store) = small;
    EXPECT_EQ(soleWindow(full), small);
    listing = {large, large};
    EXPECT_EQ(soleWindow(full), large);
}

TEST_F(SoleWindowTest, TheFocusedCandidateBeatsALargerOne) {
    uint32_t small = open(app, "Small", full, {0, 0, 400, 300});
    uint32_t large = open(app, "Large", full, {0, 0, 1600, 900});
    populate();
    WindowStoreProbe::focusedWindowID(*store) = small;
    EXPECT_EQ(soleWindow(full), small);
    WindowStoreProbe::focusedWindowID(*store) = 4242;
    EXPECT_EQ(soleWindow(full), large);
}

TEST_F(SoleWindowTest, ATrackedWindowListedOnTheSpaceGainsItOnce) {
    uint32_t w = open(app, "Doc", full);
    populate();
    WindowStoreProbe::windows(*store).at(w).spaceIDs = {s1};
    EXPECT_EQ(soleWindow(full), w);
    EXPECT_EQ(tracked(w).spaceIDs, (std::set<uint64_t>{s1, full}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(soleWindow(full), w);
    EXPECT_EQ(changes, 1);
}

TEST_F(SoleWindowTest, AdmitsAnUnknownStandardWindowOfTheSpace) {
    populate();
    uint32_t w = open(app, "Poster", full, {0, 0, 1920, 1080});
    sim.setWindowSpaces(w, {full, s2});
    sim.switchToSpace(full);  // its application lists it once its desktop shows
    sim.finishDesktopSwitches();
    sim.callLog.clear();
    EXPECT_EQ(soleWindow(full), w);
    ASSERT_TRUE(tracks(w));
    EXPECT_EQ(tracked(w).windowTitle, "Poster");
    EXPECT_EQ(tracked(w).appName, "App");
    EXPECT_EQ(tracked(w).bundleIdentifier, "com.example.app");
    EXPECT_EQ(tracked(w).spaceIDs, (std::set<uint64_t>{full, s2}));
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(w).isActive());
    EXPECT_EQ(changes, 1);
    // Tracked windows cost no further platform call.
    sim.callLog.clear();
    soleWindow(full);
    EXPECT_EQ(sim.callLog.size(), 1u);
}

TEST_F(SoleWindowTest, ACallerThatCannotWaitGetsTheChoiceAsIfTheAskedWindowsWereAdmitted) {
    populate();
    uint32_t w = open(app, "Poster", full, {0, 0, 1920, 1080});
    sim.switchToSpace(full);
    sim.finishDesktopSwitches();
    EXPECT_EQ(store->trackSoleWindow(full), w);
    EXPECT_FALSE(tracks(w));  // its application has not answered yet
    rt.runUntilIdle();
    EXPECT_TRUE(tracks(w));
}

TEST_F(SoleWindowTest, WindowsThatFailTheTestsAreSkippedAndMissingOnesRescanned) {
    uint32_t tracked = open(app, "Tracked", s1);
    populate();
    uint32_t faint = open(app, "Faint", full, {0, 0, 800, 600}, [](auto& s) { s.alpha = 0; });
    uint32_t tiny = open(app, "Tiny", full, {0, 0, 30, 600});
    uint32_t panel =
        open(app, "Panel", full, {0, 0, 800, 600}, [](auto& s) { s.subrole = "AXFloatingWindow"; });
    uint32_t hidden = open(app, "Hidden", full, {0, 0, 800, 600}, [](auto& s) { s.inAXWindowList = false; });
    EXPECT_EQ(soleWindow(full), std::nullopt);
    for (uint32_t id : {faint, tiny, panel, hidden}) EXPECT_FALSE(tracks(id));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
    EXPECT_EQ(changes, 0);

    // Nothing collected: the tracked, non-minimised windows on the Space decide.
    WindowStoreProbe::windows(*store).at(tracked).spaceIDs.insert(full);
    sim.overrides.windowsOnSpaces = [](const Value&) { return std::optional<Value>(); };
    EXPECT_EQ(soleWindow(full), tracked);
    WindowStoreProbe::windows(*store).at(tracked).isMinimized = true;
    EXPECT_EQ(soleWindow(full), std::nullopt);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST_F(SoleWindowTest, AWindowClosedWhileItsApplicationAnswersIsNotAdmitted) {
    populate();
    uint32_t w = open(app, "Poster", full, {0, 0, 1920, 1080});
    sim.switchToSpace(full);
    sim.finishDesktopSwitches();
    simAX.faults(app).responseDelay = 0.04;
    std::optional<std::optional<uint32_t>> chosen;
    WindowStoreProbe::trackSoleWindow(*store, full, [&](std::optional<uint32_t> id) { chosen = id; });
    rt.advance(0.27);  // its list is read, the answer not yet applied
    sim.closeWindowSilently(w);
    rt.advance(1);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, std::nullopt);
    EXPECT_FALSE(tracks(w));
}

}  // namespace
}  // namespace qv
