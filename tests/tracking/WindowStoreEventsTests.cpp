#include <gtest/gtest.h>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

using testing::sameTimes;

using WindowStoreEventsTest = testing::StoreDesktopWithDocs;

TEST_F(WindowStoreEventsTest, UnknownNotificationsChangeNothingAndPublishNothing) {
    deliver(event("AXApplicationActivated", doc));
    deliver(event("axwindowmoved", doc));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(trackedIDs(), (std::set<uint32_t>{doc, notes}));
}

TEST_F(WindowStoreEventsTest, DestroyedRemovesTheWindowItsStateAndTheFocusOnIt) {
    WindowStoreProbe::focusedWindowID(*store) = doc;
    AXWindowEvent withoutID = event("AXUIElementDestroyed", doc);
    withoutID.windowID.reset();
    deliver(withoutID);
    EXPECT_TRUE(tracks(doc));
    EXPECT_EQ(changes, 1);

    deliver(event("AXUIElementDestroyed", doc));
    EXPECT_FALSE(tracks(doc));
    EXPECT_FALSE(WindowStoreProbe::reconcileStateByWindowID(*store).contains(doc));
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 2);

    // The focus on another window stays.
    WindowStoreProbe::focusedWindowID(*store) = notes;
    deliver(event("AXUIElementDestroyed", 4242));
    EXPECT_EQ(store->focusedWindowID(), notes);
}

TEST_F(WindowStoreEventsTest, TitleChangesAndUnreadableTitlesAskForARescan) {
    sim.window(doc)->title = "Doc — edited";
    deliver(event("AXTitleChanged", doc));
    EXPECT_EQ(tracked(doc).windowTitle, "Doc — edited");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());

    failRead(simAX.windowElement(doc), "AXTitle");
    sim.window(doc)->title = "Doc — again";
    deliver(event("AXTitleChanged", doc));
    EXPECT_EQ(tracked(doc).windowTitle, "Doc — edited");
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
    EXPECT_EQ(changes, 2);
}

TEST_F(WindowStoreEventsTest, ResizeTakesTheFrameOnlyWhenBothPartsCanBeRead) {
    sim.window(doc)->frame = Rect{100, 100, 1000, 700};
    deliver(event("AXWindowResized", doc));
    EXPECT_EQ(tracked(doc).frame, (Rect{100, 100, 1000, 700}));

    failRead(simAX.windowElement(doc), "AXSize");
    sim.window(doc)->frame = Rect{100, 100, 300, 300};
    deliver(event("AXWindowResized", doc));
    EXPECT_EQ(tracked(doc).frame, (Rect{100, 100, 1000, 700}));
    // A size answered as a point is no size.
    answer(simAX.windowElement(doc), "AXSize", SimAXAnswer{kAXErrorSuccess, Value::axPoint({300, 300})});
    deliver(event("AXWindowResized", doc));
    EXPECT_EQ(tracked(doc).frame, (Rect{100, 100, 1000, 700}));
    EXPECT_EQ(changes, 3);
}

TEST_F(WindowStoreEventsTest, MiniaturiseClearsTheFocusOnTheWindowAndDeminiaturiseDoesNotSetIt) {
    WindowStoreProbe::focusedWindowID(*store) = doc;
    deliver(event("AXWindowMiniaturized", doc));
    EXPECT_TRUE(tracked(doc).isMinimized);
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    deliver(event("AXWindowDeminiaturized", doc));
    EXPECT_FALSE(tracked(doc).isMinimized);
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    // Of an untracked window that is focused, the focus goes all the same.
    WindowStoreProbe::focusedWindowID(*store) = 4242;
    deliver(event("AXWindowMiniaturized", 4242));
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 3);
}

TEST_F(WindowStoreEventsTest, FocusChangesCountOnlyForTheFrontmostProcess) {
    int32_t other = launch("com.example.other", "Other");
    uint32_t sheet = open(other, "Sheet", s1);
    sim.activateApp(app);
    deliver(event("AXFocusedWindowChanged", sheet));
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(WindowStoreProbe::debugEventSequence(*store), 1u);

    deliver(event("AXFocusedWindowChanged", notes));
    EXPECT_EQ(store->focusedWindowID(), notes);
    EXPECT_EQ(changes, 1);

    // Without an id the application's focused window is read; unreadable, the focus stays.
    AXWindowEvent fromApp = event("AXFocusedWindowChanged", doc);
    fromApp.element = sim.platform().accessibility.createApplication(app);
    fromApp.windowID.reset();
    sim.raiseWindow(doc);
    deliver(fromApp);
    EXPECT_EQ(store->focusedWindowID(), doc);
    failRead(fromApp.element, "AXFocusedWindow");
    sim.raiseWindow(notes);
    deliver(fromApp);
    EXPECT_EQ(store->focusedWindowID(), doc);
    EXPECT_EQ(changes, 3);
}

TEST_F(WindowStoreEventsTest, RemovingAProcessDropsItsWindowsPollingPendingScanAndFocus) {
    int32_t quiet = launch("com.example.quiet", "Quiet");
    store->startLifecycleMonitoring(quiet, 2.6);
    store->scheduleDeferredScan(quiet);
    store->removeWindows(quiet);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(store->lifecycleByPID().contains(quiet));
    EXPECT_FALSE(WindowStoreProbe::lifecycleWorkByPID(*store).contains(quiet));
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());

    WindowStoreProbe::focusedWindowID(*store) = notes;
    store->startLifecycleMonitoring(app, 2.6);
    WorkItemPtr tick = WindowStoreProbe::lifecycleWorkByPID(*store).at(app);
    store->removeWindows(app);
    EXPECT_TRUE(store->windows().empty());
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).empty());
    EXPECT_TRUE(tick->isCancelled());
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, 1);
}

// --- Moves and the Spaces refresh ---

class WindowStoreMoveTest : public WindowStoreEventsTest {
  protected:
    uint32_t side = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    uint64_t sideSpace = sim.addSpace(side);

    // The window moves to a frame and the manager reports it.
    void move(uint32_t id, Rect frame) {
        sim.window(id)->frame = frame;
        deliver(event("AXWindowMoved", id));
    }
    size_t spaceRefreshes() const { return sim.callsNamed("SLSCopyManagedDisplaySpaces").size(); }
};

TEST_F(WindowStoreMoveTest, OnlyAMoveToAnotherScreenRefreshesTheSpacesAfterAFifthOfASecond) {
    move(doc, Rect{300, 200, 800, 600});
    EXPECT_EQ(tracked(doc).frame, (Rect{300, 200, 800, 600}));
    EXPECT_EQ(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
    EXPECT_EQ(changes, 1);

    sim.moveWindowToSpace(doc, sideSpace);  // carried to the side display, Spaces and all
    move(doc, sim.window(doc)->frame);
    ASSERT_NE(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
    rt.advanceTo(0.2 - 1e-9);
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{s1});
    rt.advanceTo(0.2);
    EXPECT_EQ(tracked(doc).spaceIDs, std::set<uint64_t>{sideSpace});
    EXPECT_EQ(changes, 3);  // the move, then the refresh
}

TEST_F(WindowStoreMoveTest, ABurstOfMovesAcrossScreensGivesOneRefreshAfterTheLast) {
    size_t before = spaceRefreshes();
    move(doc, Rect{2000, 100, 800, 600});
    rt.advanceTo(0.1);
    move(doc, Rect{100, 100, 800, 600});
    rt.advanceTo(0.2);
    move(doc, Rect{2000, 100, 800, 600});
    rt.advanceTo(0.4 - 1e-9);
    EXPECT_EQ(spaceRefreshes(), before);
    rt.advanceTo(0.2 + 0.2);
    EXPECT_EQ(spaceRefreshes(), before + 1);
    rt.advance(5);
    EXPECT_EQ(spaceRefreshes(), before + 1);
}

TEST_F(WindowStoreMoveTest, LeavingEveryScreenRefreshesAndUntrackedWindowsCountAsFromNowhere) {
    move(doc, Rect{-5000, -5000, 800, 600});
    EXPECT_NE(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
    rt.advance(1);

    // Nowhere to nowhere: nothing. An untracked window landing on a screen: a refresh.
    WindowStoreProbe::pendingCrossScreenRefresh(*store).reset();
    move(doc, Rect{-6000, -5000, 800, 600});
    EXPECT_EQ(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
    int32_t other = launch("com.example.other", "Other");
    uint32_t stray = open(other, "Stray", s1);
    move(stray, Rect{200, 200, 500, 500});
    EXPECT_FALSE(tracks(stray));
    EXPECT_NE(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
}

// Displays stacked vertically: a wide one above the main display, two side by side below it. A
// window carried from one lower display to the other changes screens; read without turning the
// window-server frame into screen coordinates, both places would look like the upper display.
TEST(WindowStoreStackedDisplaysTest, AMoveBetweenDisplaysBelowTheMainOneIsSeen) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    uint32_t mainDisplay = sim.addDisplay("Main", Rect{0, 0, 1920, 1080});
    sim.addDisplay("Above", Rect{0, -1080, 3840, 1080});
    uint32_t left = sim.addDisplay("Below left", Rect{0, 1080, 1920, 1080});
    uint32_t right = sim.addDisplay("Below right", Rect{1920, 1080, 1920, 1080});
    sim.addSpace(mainDisplay);
    uint64_t leftSpace = sim.addSpace(left);
    sim.addSpace(right);
    int32_t app = sim.launchApp(std::string("com.example.app"), "App");
    SimWindowSpec spec;
    spec.pid = app;
    spec.title = "Doc";
    spec.frame = Rect{100, 1200, 800, 600};
    spec.space = leftSpace;
    uint32_t doc = sim.openWindow(spec);
    auto store = WindowStore::create(sim.platform());
    store->populate();
    rt.runUntilIdle();

    AXWindowEvent moved{"AXWindowMoved", app, sim.accessibility().windowElement(doc), doc};
    sim.window(doc)->frame = Rect{500, 1300, 800, 600};  // within the left one
    store->handleAXEvent(moved);
    rt.runUntilIdle();
    EXPECT_EQ(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);

    sim.window(doc)->frame = Rect{2100, 1200, 800, 600};  // onto the right one
    store->handleAXEvent(moved);
    rt.runUntilIdle();
    EXPECT_NE(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);
}

// --- Window creation ---

class WindowCreationTest : public WindowStoreEventsTest {
  protected:
    uint32_t create(std::string title, uint64_t space, Rect frame = {200, 200, 700, 500},
                    std::function<void(SimWindowSpec&)> tweak = {}) {
        uint32_t id = open(app, std::move(title), space, frame, std::move(tweak));
        deliver(event("AXWindowCreated", id));
        return id;
    }
};

TEST_F(WindowCreationTest, ANewStandardWindowIsTrackedAndMonitoringStarts) {
    uint32_t id = create("Report", s2);
    ASSERT_TRUE(tracks(id));
    const TrackedWindow& w = tracked(id);
    EXPECT_EQ(w.pid, app);
    EXPECT_EQ(w.appName, "App");
    EXPECT_EQ(w.bundleIdentifier, "com.example.app");
    EXPECT_EQ(w.windowTitle, "Report");
    EXPECT_EQ(w.frame, (Rect{200, 200, 700, 500}));
    EXPECT_FALSE(w.isMinimized);
    EXPECT_EQ(w.spaceIDs, std::set<uint64_t>{s2});
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(id).isActive());
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());
    EXPECT_EQ(changes, 1);

    // Window activity starts polling with a tick a fifth of a second later.
    ASSERT_TRUE(store->lifecycleByPID().contains(app));
    EXPECT_EQ(store->lifecycleByPID().at(app).phase, WindowStore::PIDLifecyclePhase::launching);
    EXPECT_EQ(rt.nextDeadline(), 0.2);
}

TEST_F(WindowCreationTest, ACreationEventOfATrackedWindowOnlyRenewsItsSpacesAndState) {
    WindowStoreProbe::reconcileStateByWindowID(*store)[doc] = Reconcile::missing(0, 1);
    sim.window(doc)->title = "Renamed";
    sim.setWindowSpaces(doc, {s1, s2});
    deliver(event("AXWindowCreated", doc));
    EXPECT_EQ(tracked(doc).spaceIDs, (std::set<uint64_t>{s1, s2}));
    EXPECT_EQ(tracked(doc).windowTitle, "Doc");
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc).isActive());

    // Listed on no Space (minimised, say): the Spaces it has stay.
    sim.setWindowMinimized(doc, true);
    deliver(event("AXWindowCreated", doc));
    EXPECT_EQ(tracked(doc).spaceIDs, (std::set<uint64_t>{s1, s2}));
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());
    EXPECT_EQ(changes, 2);
}

TEST_F(WindowCreationTest, WindowsThatCannotBeAdmittedYetAskForARescan) {
    struct Case {
        const char* what;
        std::function<uint32_t()> make;
    };
    const std::vector<Case> cases = {
        {"too narrow",
         [&] {
             return create("Narrow", s1, {10, 10, 39, 500});
         }},
        {"on no Space yet", [&] { return create("Nowhere", 0); }},
        {"not a standard window",
         [&] {
             return create("Panel", s1, {10, 10, 400, 400}, [](auto& s) { s.subrole = "AXFloatingWindow"; });
         }},
        {"modal",
         [&] {
             return create("Alert", s1, {10, 10, 400, 400}, [](auto& s) { s.modal = true; });
         }},
        {"not on layer 0",
         [&] {
             return create("Overlay", s1, {10, 10, 400, 400}, [](auto& s) { s.layer = 8; });
         }},
    };
    for (const Case& c : cases) {
        WindowStoreProbe::pendingScans(*store).clear();
        uint32_t id = c.make();
        EXPECT_FALSE(tracks(id)) << c.what;
        EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app}) << c.what;
    }
    EXPECT_EQ(changes, static_cast<int>(cases.size()));
}

TEST_F(WindowCreationTest, AnElementWithoutAnIDAsksForARescan) {
    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    store = makeStore();
    uint32_t id = open(app, "Doc 2", s1);
    answer(simAX.windowElement(id), "AXWindowNumber", SimAXAnswer{kAXErrorSuccess, Value::number(0)});
    AXWindowEvent e = event("AXWindowCreated", id);
    e.windowID.reset();
    deliver(e);
    EXPECT_FALSE(tracks(id));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});
}

TEST_F(WindowCreationTest, TitleFallsBackToTheWindowListThenToEmpty) {
    uint32_t named = open(app, "From the list", s1);
    failRead(simAX.windowElement(named), "AXTitle");
    deliver(event("AXWindowCreated", named));
    EXPECT_EQ(tracked(named).windowTitle, "From the list");

    uint32_t untitled = open(app, "", s1);
    failRead(simAX.windowElement(untitled), "AXTitle");
    deliver(event("AXWindowCreated", untitled));
    EXPECT_EQ(tracked(untitled).windowTitle, "");

    // A frame that cannot be read through Accessibility comes from the window list.
    uint32_t framed = open(app, "Framed", s1, {50, 60, 700, 500});
    failRead(simAX.windowElement(framed), "AXPosition");
    deliver(event("AXWindowCreated", framed));
    EXPECT_EQ(tracked(framed).frame, (Rect{50, 60, 700, 500}));
}

TEST_F(WindowCreationTest, AWindowIsStoredUnderItsWindowServerOwnerNotAnUnreadEventPid) {
    // The observer manager could not read the element's pid: the event says 0.
    uint32_t id = open(app, "Report", s1);
    AXWindowEvent e = event("AXWindowCreated", id);
    e.pid = 0;
    deliver(e);
    EXPECT_FALSE(tracks(id));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{app});

    // The owner's rescan admits it, under the owner and with the owner's bundle.
    rt.advance(0.3);
    ASSERT_TRUE(tracks(id));
    EXPECT_EQ(tracked(id).pid, app);
    EXPECT_EQ(tracked(id).bundleIdentifier, "com.example.app");
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST_F(WindowStoreEventsTest, AnUnreadableFocusFromTheFrontmostAppClearsAnotherAppsFocus) {
    int32_t other = launch("com.example.other", "Other");
    uint32_t sheet = open(other, "Sheet", s1);
    populate();
    ASSERT_TRUE(store->windows().contains(sheet));
    sim.activateApp(app);
    AXWindowEvent fromApp = event("AXFocusedWindowChanged", doc);
    fromApp.element = sim.platform().accessibility.createApplication(app);
    fromApp.windowID.reset();
    failRead(fromApp.element, "AXFocusedWindow");

    WindowStoreProbe::focusedWindowID(*store) = doc;  // the app's own focus stays
    deliver(fromApp);
    EXPECT_EQ(store->focusedWindowID(), doc);

    WindowStoreProbe::focusedWindowID(*store) = sheet;  // another app's chip must not stay focused
    int before = changes;
    deliver(fromApp);
    EXPECT_EQ(store->focusedWindowID(), std::nullopt);
    EXPECT_EQ(changes, before + 1);
}

}  // namespace
}  // namespace qv
