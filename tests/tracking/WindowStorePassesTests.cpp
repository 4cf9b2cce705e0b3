#include <gtest/gtest.h>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

class StorePassesTest : public testing::StoreDesktop {
  protected:
    int32_t app = launch("com.example.app", "App");
    uint32_t doc = open(app, "Doc", s1);
    uint32_t notes = open(app, "Notes", s2, {900, 100, 600, 400});
    uint32_t hidden = open(app, "Hidden", s1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });

    void SetUp() override { populate(); }
};

TEST_F(StorePassesTest, RefreshSpacesRenewsEveryWindowButAMinimisedOneOffTheListing) {
    ASSERT_EQ(tracked(hidden).spaceIDs, std::set<uint64_t>{s1});
    sim.setWindowSpaces(doc, {s2});
    sim.setWindowSpaces(notes, {});
    sim.setWindowSpaces(hidden, {s2});
    store->refreshSpaces();
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{s2});
    EXPECT_TRUE(tracked(notes).spaceIDs.empty());
    EXPECT_EQ(tracked(hidden).spaceIDs, std::set<uint64_t>{s1});  // the listing leaves it out
    EXPECT_EQ(changes, 1);

    store->refreshSpaces();  // nothing changed: published all the same
    EXPECT_EQ(changes, 2);
    WindowStoreProbe::windows(*store).clear();
    store->refreshSpaces();
    EXPECT_EQ(changes, 3);
}

TEST_F(StorePassesTest, AnUnreadableSpacesListingLeavesEverySpaceAsItIs) {
    sim.overrides.managedDisplaySpaces = [] { return std::optional<Value>(); };
    store->refreshSpaces();
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{s1});
    EXPECT_EQ(tracked(notes).spaceIDs, std::set<uint64_t>{s2});
    EXPECT_EQ(changes, 1);

    // One Space's listing failing is as bad: its windows would lose it.
    sim.overrides.managedDisplaySpaces = {};
    sim.overrides.windowsOnSpaces = [&](const Value& spaces) -> std::optional<Value> {
        if (spaces == numberArray(std::vector<uint64_t>{s2})) return std::nullopt;
        return numberArray(std::vector<uint32_t>{doc});
    };
    store->refreshSpaces();
    EXPECT_EQ(tracked(notes).spaceIDs, std::set<uint64_t>{s2});
}

TEST_F(StorePassesTest, ResyncTakesTheMinimisedFlagsAndFindsSpacesForMinimisedWindows) {
    sim.window(doc)->minimized = true;
    WindowStoreProbe::windows(*store).at(doc).spaceIDs.clear();
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_TRUE(tracked(doc).isMinimized);
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{s1});
    EXPECT_EQ(changes, 1);

    // Nowhere to be found: the flag alone changed, which the chips show all the same.
    sim.window(notes)->minimized = true;
    sim.setWindowSpaces(notes, {});
    WindowStoreProbe::windows(*store).at(notes).spaceIDs.clear();
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_TRUE(tracked(notes).isMinimized);
    EXPECT_TRUE(tracked(notes).spaceIDs.empty());
    EXPECT_EQ(changes, 2);
}

TEST_F(StorePassesTest, AChangeOfTheMinimisedFlagAloneIsPublished) {
    sim.window(hidden)->minimized = false;  // it keeps its Space
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_FALSE(tracked(hidden).isMinimized);
    EXPECT_EQ(changes, 1);
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_EQ(changes, 1);
}

TEST_F(StorePassesTest, ResyncKeepsFlagsThatAccessibilityDoesNotAnswer) {
    failRead(simAX.windowElement(hidden), "AXMinimized");
    sim.window(hidden)->minimized = false;
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_TRUE(tracked(hidden).isMinimized);
    simAX.faults(app).windowListUnreadable = true;
    sim.window(doc)->minimized = true;
    store->resyncMinimizedWindows();
    rt.runUntilIdle();
    EXPECT_FALSE(tracked(doc).isMinimized);
    EXPECT_EQ(changes, 0);
}

class DiscoveryTest : public StorePassesTest {
  protected:
    int32_t stranger = launch("com.example.stranger", "Stranger");

    // The notes on the other desktop are missing from the application's list: the rescans that
    // asks for run out first.
    void SetUp() override {
        StorePassesTest::SetUp();
        rt.advance(WindowStore::kDeferredScanSeriesEnd);
        changes = 0;
    }
};

TEST_F(DiscoveryTest, AddsANewStandardWindowOfAKnownProcess) {
    uint32_t fresh = open(app, "Fresh", s1, {0, 0, 40, 40});
    open(stranger, "Unknown app", s1);  // owns nothing tracked and has no observer
    sim.window(doc)->title = "Changed";
    EXPECT_EQ(discover(), 1);
    ASSERT_TRUE(tracks(fresh));
    const TrackedWindow& w = tracked(fresh);
    EXPECT_EQ(w.windowTitle, "Fresh");
    EXPECT_EQ(w.bundleIdentifier, "com.example.app");
    EXPECT_EQ(w.frame, (Rect{0, 0, 40, 40}));
    EXPECT_EQ(w.spaceIDs, std::set<uint64_t>{s1});
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(fresh).isActive());
    EXPECT_EQ(trackedIDs().size(), 4u);
    EXPECT_EQ(tracked(doc).windowTitle, "Doc");  // tracked windows are left alone
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());

    // With an attached observer the stranger's windows are looked at too.
    WindowStoreProbe::observerAttachedPIDs(*store).insert(stranger);
    EXPECT_EQ(discover(), 1);
}

TEST_F(DiscoveryTest, WithoutScreenRecordingTheTitleComesFromAccessibility) {
    sim.setScreenRecordingGranted(false);  // other applications' windows come without a name
    uint32_t fresh = open(app, "Fresh", s1);
    EXPECT_EQ(discover(), 1);
    EXPECT_EQ(tracked(fresh).windowTitle, "Fresh");
}

TEST_F(DiscoveryTest, WindowsThatCannotBeAddedYetRescanTheirProcessOnce) {
    uint32_t nowhere = open(app, "Nowhere", 0);
    uint32_t out1 = open(app, "Out 1", s1, {0, 0, 500, 500}, [](auto& s) { s.inAXWindowList = false; });
    uint32_t out2 = open(app, "Out 2", s1, {0, 0, 500, 500}, [](auto& s) { s.inAXWindowList = false; });
    uint32_t panel =
        open(app, "Panel", s1, {0, 0, 500, 500}, [](auto& s) { s.subrole = "AXFloatingWindow"; });
    uint32_t narrow = open(app, "Narrow", s1, {0, 0, 39.9, 500});
    EXPECT_EQ(discover(), 0);
    for (uint32_t id : {nowhere, out1, out2, panel, narrow}) EXPECT_FALSE(tracks(id));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(rt.pendingCount(), 4u);  // one series
}

TEST_F(DiscoveryTest, WithoutAReadableListAKnownProcessGetsNothingAddedButARescan) {
    simAX.faults(app).windowListUnreadable = true;
    uint32_t fresh = open(app, "Fresh", s1);
    EXPECT_EQ(discover(), 0);
    EXPECT_FALSE(tracks(fresh));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});

    // Nor with no window list at all.
    sim.overrides.windowList = [](uint32_t) { return std::optional<Value>(); };
    WindowStoreProbe::pendingScans(*store).clear();
    EXPECT_EQ(discover(), 0);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());
}

}  // namespace
}  // namespace qv
