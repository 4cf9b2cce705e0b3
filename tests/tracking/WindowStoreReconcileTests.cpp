#include <gtest/gtest.h>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

class ReconcileTest : public testing::StoreDesktopWithDocs {
  protected:
    int reconcile() { return StoreDesktopWithDocs::reconcile(app); }
    // The scan of the application once its answers are in.
    WindowStoreProbe::PIDWindowScan scan() {
        return once<WindowStoreProbe::PIDWindowScan>(
            [&](auto done) { WindowStoreProbe::scanWindows(*store, app, done); });
    }
};

TEST_F(ReconcileTest, AVanishedWindowLeavesAtTheSecondMissAtLeastAFewTenthsLater) {
    sim.closeWindowSilently(notes);
    EXPECT_EQ(reconcile(), 1);
    ASSERT_TRUE(tracks(notes));
    EXPECT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).at(notes), Reconcile::missing(0, 1));
    rt.advanceTo(0.3);
    reconcile();
    EXPECT_TRUE(tracks(notes));  // two misses, but only 0.3 s apart
    EXPECT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).at(notes), Reconcile::missing(0, 2));
    EXPECT_EQ(changes, 0);
    rt.advanceTo(0.45);
    reconcile();
    EXPECT_FALSE(tracks(notes));
    EXPECT_FALSE(WindowStoreProbe::reconcileStateByWindowID(*store).contains(notes));
    EXPECT_TRUE(tracks(doc));
    EXPECT_EQ(changes, 1);
}

TEST_F(ReconcileTest, TheFirstMissNeverRemovesAndAReturnStartsTheCountAgain) {
    sim.window(notes)->layer = 5;  // off layer 0 for a while: not present
    reconcile();
    rt.advanceTo(10);
    sim.window(notes)->layer = 0;
    reconcile();
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(notes).isActive());
    sim.window(notes)->layer = 5;
    reconcile();
    EXPECT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).at(notes), Reconcile::missing(10, 1));
    rt.advanceTo(10.5);
    reconcile();
    EXPECT_FALSE(tracks(notes));
}

TEST_F(ReconcileTest, RemovingTheFocusedWindowClearsTheFocus) {
    WindowStoreProbe::focusedWindowID(*store) = notes;
    sim.closeWindowSilently(notes);
    reconcile();
    rt.advanceTo(1);
    reconcile();
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
}

TEST_F(ReconcileTest, AnUnreadableWindowListCountsNothingMissing) {
    sim.overrides.windowList = [](uint32_t) { return std::optional<Value>(); };
    for (double t : {0.0, 1.0, 2.0}) {
        rt.advanceTo(t);
        EXPECT_EQ(reconcile(), 0);
    }
    EXPECT_EQ(trackedIDs(), (std::set<uint32_t>{doc, notes}));
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc).isActive());
}

TEST_F(ReconcileTest, AReadListWithoutAnyWindowOfTheProcessCountsMisses) {
    // Its last windows closed without a word: the list was read and lacks them.
    sim.closeWindowSilently(doc);
    sim.closeWindowSilently(notes);
    reconcile();
    EXPECT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc), Reconcile::missing(0, 1));
    rt.advanceTo(0.45);
    reconcile();
    EXPECT_TRUE(store->windows().empty());
}

TEST_F(ReconcileTest, AnUnansweredReadIsNoVerdict) {
    // A busy application: reads of a tracked window's role and of a new window's subrole time out.
    failRead(simAX.windowElement(doc), "AXRole");
    uint32_t fresh = open(app, "Fresh", s1);
    failRead(simAX.windowElement(fresh), "AXSubrole");
    for (double t : {0.0, 1.0}) {
        rt.advanceTo(t);
        reconcile();
    }
    EXPECT_TRUE(tracks(doc));  // present...
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc).isActive());
    EXPECT_FALSE(tracks(fresh));  // ...but not confirmed: a later scan asks again
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
}

TEST_F(ReconcileTest, AnOwnerNoLongerEligibleLosesEveryWindowAtOnce) {
    WindowStoreProbe::focusedWindowID(*store) = doc;
    sim.app(app)->policy = ActivationPolicy::accessory;
    EXPECT_EQ(reconcile(), 0);
    EXPECT_TRUE(store->windows().empty());
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).empty());
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());
}

TEST_F(ReconcileTest, RejectedWindowsLeaveAfterTwoMissesWindowsMerelyOutOfTheListStay) {
    sim.window(doc)->modal = true;
    sim.window(notes)->inAXWindowList = false;
    reconcile();
    rt.advanceTo(0.5);
    reconcile();
    EXPECT_FALSE(tracks(doc));
    EXPECT_TRUE(tracks(notes));
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(notes).isActive());

    // From operating system 27 on, a child window out of the list counts as rejected.
    sim.window(notes)->parent = doc;
    reconcile();
    rt.advanceTo(1.0);
    reconcile();
    EXPECT_FALSE(tracks(notes));
}

TEST_F(ReconcileTest, TrackedWindowsTakeTitleFrameAndSpacesButNeverTheMinimisedFlag) {
    sim.window(doc)->title = "Doc — edited";
    sim.window(doc)->frame = Rect{0, 0, 1000, 700};
    sim.window(doc)->minimized = true;
    sim.setWindowSpaces(notes, {s1, s2});
    EXPECT_EQ(reconcile(), 1);  // the minimised window is on no listed Space
    EXPECT_EQ(tracked(doc).windowTitle, "Doc — edited");
    EXPECT_EQ(tracked(doc).frame, (Rect{0, 0, 1000, 700}));
    EXPECT_FALSE(tracked(doc).isMinimized);
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{s1});  // an empty set leaves them
    EXPECT_EQ(tracked(notes).spaceIDs, (std::set<uint64_t>{s1, s2}));
    EXPECT_EQ(changes, 1);

    // Nothing changed: nothing rewritten, nothing published.
    reconcile();
    EXPECT_EQ(changes, 1);
}

TEST_F(ReconcileTest, AWindowThatShrinksBelowTheMinimumKeepsItsRecord) {
    sim.window(doc)->frame = Rect{100, 100, 30, 30};
    for (double t : {0.0, 1.0, 2.0}) {
        rt.advanceTo(t);
        reconcile();
    }
    ASSERT_TRUE(tracks(doc));
    EXPECT_EQ(tracked(doc).frame, (Rect{100, 100, 800, 600}));
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc).isActive());
}

TEST_F(ReconcileTest, NewWindowsAreAddedWhenConfirmedHeldBackOtherwiseAndIgnoredWithoutASpace) {
    uint32_t report = open(app, "Report", s1, {0, 0, 500, 500}, [](auto& s) { s.minimized = true; });
    sim.setWindowSpaces(report, {s1});
    uint32_t nowhere = open(app, "Nowhere", 0);
    // A minimised window is left out of the per-Space listing; only its query finds it.
    EXPECT_EQ(reconcile(), 2);
    EXPECT_FALSE(tracks(report));
    EXPECT_FALSE(tracks(nowhere));
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());

    uint32_t fresh = open(app, "Fresh", s1);
    EXPECT_EQ(reconcile(), 3);
    ASSERT_TRUE(tracks(fresh));
    EXPECT_EQ(tracked(fresh).spaceIDs, std::set<uint64_t>{s1});
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(fresh).isActive());
    EXPECT_EQ(changes, 1);

    // Unconfirmed windows of a process that needs confirmation wait for a later scan.
    simAX.faults(app).windowListUnreadable = true;
    uint32_t unconfirmed = open(app, "Unconfirmed", s1);
    EXPECT_EQ(reconcile(), 4);
    EXPECT_FALSE(tracks(unconfirmed));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
}

TEST_F(ReconcileTest, AWindowAddedByARescanTakesTheMinimisedFlagFromAccessibility) {
    WindowStoreProbe::windows(*store).clear();
    WindowStoreProbe::reconcileStateByWindowID(*store).clear();
    sim.window(doc)->minimized = true;
    sim.setWindowSpaces(doc, {s1});
    // Minimised windows have no Space in the listing, so list it to let it in.
    sim.overrides.windowsOnSpaces = [&](const Value& spaces) {
        std::vector<uint32_t> ids;
        if (spaces == numberArray(std::vector<uint64_t>{s1})) ids = {doc};
        if (spaces == numberArray(std::vector<uint64_t>{s2})) ids = {notes};
        return std::optional<Value>(numberArray(ids));
    };
    reconcile();
    ASSERT_TRUE(tracks(doc));
    EXPECT_TRUE(tracked(doc).isMinimized);
    EXPECT_FALSE(tracked(notes).isMinimized);
}

TEST_F(ReconcileTest, TheScanSortsEveryWindowOfTheProcess) {
    open(app, "Overlay", s1, {0, 0, 400, 400}, [](auto& s) { s.layer = 3; });
    uint32_t faint = open(app, "Faint", s1, {0, 0, 400, 400}, [](auto& s) { s.alpha = 0; });
    uint32_t panel =
        open(app, "Panel", s1, {0, 0, 400, 400}, [](auto& s) { s.subrole = "AXFloatingWindow"; });
    uint32_t child = open(app, "Child", s1, {0, 0, 400, 400}, [&](auto& s) {
        s.inAXWindowList = false;
        s.parent = doc;
    });
    uint32_t loose = open(app, "Loose", s1, {0, 0, 400, 400}, [](auto& s) { s.inAXWindowList = false; });
    auto scan = this->scan();
    EXPECT_TRUE(scan.ownerIsDockEligible);
    EXPECT_EQ(scan.layerZeroWindowIDs, (std::set<uint32_t>{doc, notes, faint, panel, child, loose}));
    EXPECT_EQ(scan.axRejectedWindowIDs, (std::set<uint32_t>{panel, child}));
    ASSERT_EQ(scan.candidates.size(), 2u);
    const auto& c = scan.candidates.at(doc);
    EXPECT_EQ(c.window.appName, "App");
    EXPECT_EQ(c.window.bundleIdentifier, "com.example.app");
    EXPECT_EQ(c.window.windowTitle, "Doc");
    EXPECT_TRUE(c.isAXConfirmed);
    EXPECT_EQ(c.window.spaceIDs, std::set<uint64_t>{s1});

    // Below operating system 27 no parent is known, so the child is only left out.
    sim.setOperatingSystemMajorVersion(26);
    store = makeStore();
    EXPECT_EQ(this->scan().axRejectedWindowIDs, std::set<uint32_t>{panel});
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// An application that answers each request 0.04 s late: its rescan waits on its own worker.
class SlowApplicationRescanTest : public testing::StoreDesktopWithDocs {
  protected:
    void SetUp() override {
        StoreDesktopWithDocs::SetUp();
        simAX.faults(app).responseDelay = 0.04;  // within the store's time-out
        rt.takeLongestMainHold();
        sim.callLog.clear();
    }
};

TEST_F(SlowApplicationRescanTest, HoldsTheMainThreadNotAtAllAndIsAppliedWhenTheAnswersCome) {
    sim.window(doc)->title = "Doc — edited";
    std::optional<int> withSpace;
    WindowStoreProbe::reconcileWindowsForPID(*store, app, [&](int n) { withSpace = n; });
    // One request for the list, then six for each of its two windows: the id and five attributes.
    const double answered = 13 * 0.04;
    rt.advanceTo(answered - 1e-6);
    EXPECT_EQ(tracked(doc).windowTitle, "Doc");
    EXPECT_FALSE(withSpace);
    rt.advanceTo(answered + 1e-9);
    EXPECT_EQ(tracked(doc).windowTitle, "Doc — edited");
    EXPECT_EQ(withSpace, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0.0);
    for (const SimCall& c : sim.callsNamed("AXUIElementCopyAttributeValue")) EXPECT_FALSE(c.onMainQueue);
}

TEST_F(SlowApplicationRescanTest, AnAnswerAboutAProcessThatEndedMeanwhileIsDropped) {
    bool applied = false;
    WindowStoreProbe::reconcileWindowsForPID(*store, app, [&](int) { applied = true; });
    store->removeWindows(app);  // its termination was handled while it answered
    rt.advance(1);
    EXPECT_FALSE(applied);
    EXPECT_TRUE(store->windows().empty());  // applied, the answer would have put both windows back
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace qv
