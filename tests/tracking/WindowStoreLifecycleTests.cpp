#include <gtest/gtest.h>

#include "support/StoreDesktop.h"

namespace qv {
namespace {

using testing::sameTimes;
using Phase = WindowStore::PIDLifecyclePhase;

class DeferredScanTest : public testing::StoreDesktop {
  protected:
    int32_t app = launch("com.example.app", "App");
    uint32_t doc = open(app, "Doc", s1);
    int32_t quiet = launch("com.example.quiet", "Quiet");  // no windows at all

    void SetUp() override { populate(); }
};

TEST_F(DeferredScanTest, ASecondRequestWhileASeriesRunsAddsNoRescans) {
    store->scheduleDeferredScan(app);
    EXPECT_TRUE(sameTimes(scanTimesUntil(1), {0.3, 0.8}));
    store->scheduleDeferredScan(app);
    EXPECT_TRUE(sameTimes(scanTimesUntil(3), {2.0}));
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(app));
    store->scheduleDeferredScan(app);
    EXPECT_TRUE(sameTimes(scanTimesUntil(10), {3.3, 3.8, 5.0}));
}

TEST_F(DeferredScanTest, APassThatFindsWindowsOfTheFrontmostAppResolvesItsFocusAgain) {
    auto focusReads = [&] {
        size_t n = 0;
        for (const SimCall& c : sim.callsNamed("AXUIElementCopyAttributeValue"))
            n += *(*c.args.asArray())[1].asString() == "AXFocusedWindow";
        return n;
    };
    store->scheduleDeferredScan(app);
    rt.advance(3);
    EXPECT_EQ(focusReads(), 0u);  // a background application

    sim.activateApp(app);
    store->scheduleDeferredScan(app);
    rt.advance(3);
    EXPECT_EQ(focusReads(), 3u);
    EXPECT_EQ(store->focusedWindowID(), doc);

    // A frontmost application without a window on a Space: nothing to resolve.
    sim.activateApp(quiet);
    store->scheduleDeferredScan(quiet);
    rt.advance(3);
    EXPECT_EQ(focusReads(), 3u);
}

TEST_F(DeferredScanTest, AnOlderSeriesNeitherRescansForNorEndsANewerOne) {
    store->scheduleDeferredScan(quiet);
    EXPECT_TRUE(sameTimes(scanTimesUntil(1), {0.3, 0.8}));
    store->removeWindows(quiet);  // the process ended; its series is silenced
    EXPECT_TRUE(scanTimesUntil(1.5).empty());
    store->scheduleDeferredScan(quiet);  // a new process under a reused pid, say
    EXPECT_TRUE(sameTimes(scanTimesUntil(2.5), {1.8, 2.3}));
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(quiet));
    EXPECT_TRUE(sameTimes(scanTimesUntil(4.0 - 1e-9), {3.5}));
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(quiet));
    rt.advanceTo(4.0);
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(quiet));
}

// --- Lifecycle monitoring ---

class LifecycleTest : public DeferredScanTest {
  protected:
    std::vector<double> tickTimesUntil(double until) { return scanTimesUntil(until); }
    const WindowStore::PIDLifecycleState& record(int32_t pid) const {
        return store->lifecycleByPID().at(pid);
    }
};

TEST_F(LifecycleTest, WithoutAnObserverThePollingSlowsDownToTwoAndAHalfSeconds) {
    store->startLifecycleMonitoring(app, WindowStore::kBootstrapInitialDelay);
    EXPECT_EQ(record(app).phase, Phase::launching);
    EXPECT_NEAR(record(app).nextInterval, 0.9, 1e-12);
    EXPECT_EQ(record(app).lastTrackedWindowIDs, std::set<uint32_t>{doc});
    const double t1 = 2.6, t2 = t1 + 1.215, t3 = t2 + 1.64025, t4 = t3 + 2.2143375, t5 = t4 + 2.5,
                 t6 = t5 + 2.5;
    EXPECT_TRUE(sameTimes(tickTimesUntil(t6 + 0.1), {t1, t2, t3, t4, t5, t6}));
    EXPECT_EQ(record(app).phase, Phase::runningUnobserved);
    EXPECT_NEAR(record(app).nextInterval, 2.5, 1e-12);
    EXPECT_EQ(record(app).stableScans, 6);  // counted, but it ends nothing
    EXPECT_NEAR(rt.nextDeadline().value_or(0), t6 + 2.5, 1e-9);
}

TEST_F(LifecycleTest, AnAttachedObserverWithSettledWindowsEndsTheMonitoringAfterTwoStableTicks) {
    store->startLifecycleMonitoring(quiet, WindowStore::kBootstrapInitialDelay);
    rt.advanceTo(0.5);
    store->handleObserverAttached(quiet);
    EXPECT_EQ(record(quiet).phase, Phase::runningObserved);
    EXPECT_TRUE(record(quiet).observerAttached);
    EXPECT_EQ(record(quiet).startedAt, 0.0);
    EXPECT_TRUE(sameTimes(tickTimesUntil(20), {0.7, 1.5}));  // the 2.6 s tick was superseded
    EXPECT_FALSE(store->lifecycleByPID().contains(quiet));
    EXPECT_FALSE(WindowStoreProbe::lifecycleWorkByPID(*store).contains(quiet));
}

TEST_F(LifecycleTest, WindowsAddedOnAttachmentMakeTheFirstTickUnstable) {
    int32_t late = launch("com.example.late", "Late");
    uint32_t first = open(late, "First", s1);
    store->startLifecycleMonitoring(late, WindowStore::kBootstrapInitialDelay);
    store->handleObserverAttached(late);
    EXPECT_EQ(addWindows(late), 1);
    EXPECT_TRUE(tracks(first));
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(sameTimes(tickTimesUntil(20), {0.2, 1.0, 1.8}));
}

TEST_F(LifecycleTest, AttachmentWithoutARecordOnlyMarksTheProcess) {
    store->handleObserverAttached(quiet);
    EXPECT_TRUE(store->observerAttachedPIDs().contains(quiet));
    EXPECT_FALSE(store->lifecycleByPID().contains(quiet));
    EXPECT_EQ(rt.nextDeadline(), std::nullopt);
    EXPECT_FALSE(store->needsObserverBootstrap(quiet));
    EXPECT_TRUE(WindowStoreProbe::requiresAXConfirmationForLiveAdmission(*store, quiet));

    // Monitoring started afterwards starts in the observed regime.
    store->startLifecycleMonitoring(quiet, 0.2);
    EXPECT_EQ(record(quiet).phase, Phase::runningObserved);
    EXPECT_NEAR(record(quiet).nextInterval, 0.8, 1e-12);
}

TEST_F(LifecycleTest, ChangingWindowsEndTheMonitoringAtTheFirstTickTwelveSecondsAfterItsStart) {
    store->startLifecycleMonitoring(app, WindowStore::kBootstrapInitialDelay);
    rt.advanceTo(1.0);
    store->handleObserverAttached(app);
    // Another window before every tick keeps the set of windows changing.
    auto timer = rt.mainQueue()->scheduleTimer(0.1, 0.8, 0, [&] { open(app, "More", s1); });
    std::vector<double> ticks = tickTimesUntil(30);
    timer->cancel();
    ASSERT_FALSE(ticks.empty());
    EXPECT_NEAR(ticks.front(), 1.2, 1e-9);
    EXPECT_NEAR(ticks.back(), 12.4, 1e-9);
    EXPECT_EQ(ticks.size(), 15u);
    EXPECT_FALSE(store->lifecycleByPID().contains(app));
}

TEST_F(LifecycleTest, AProcessThatEndsLosesItsWindowsAtTheNextTickAndIsPolledNoMore) {
    store->startLifecycleMonitoring(app, 0.2);
    sim.terminateApp(app);
    rt.advanceTo(0.2);
    EXPECT_FALSE(tracks(doc));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(store->lifecycleByPID().contains(app));
    EXPECT_EQ(rt.nextDeadline(), std::nullopt);
}

TEST_F(LifecycleTest, AWindowCreatedDuringObservedMonitoringRestartsTheStableCount) {
    store->handleObserverAttached(app);
    store->startLifecycleMonitoring(app, 0.2);
    rt.advanceTo(0.2);
    EXPECT_EQ(record(app).stableScans, 1);
    rt.advanceTo(0.5);
    uint32_t report = open(app, "Report", s1);
    AXWindowEvent created = event("AXWindowCreated", report);
    deliver(created);
    EXPECT_TRUE(tracks(report));
    EXPECT_EQ(record(app).stableScans, 0);
    EXPECT_EQ(record(app).startedAt, 0.0);  // the 12 s clock runs on
    EXPECT_TRUE(sameTimes(tickTimesUntil(20), {0.7, 1.5, 2.3}));
}

TEST_F(LifecycleTest, AWindowCountedMissingKeepsTheCountAtZero) {
    store->handleObserverAttached(app);
    store->startLifecycleMonitoring(app, 0.2);
    sim.window(doc)->modal = true;  // rejected by every scan: missing, then gone
    rt.advanceTo(0.2);
    EXPECT_TRUE(WindowStoreProbe::hasMissingTrackedWindows(*store, app));
    EXPECT_EQ(record(app).stableScans, 0);
    rt.advanceTo(1.0);
    EXPECT_FALSE(tracks(doc));
    EXPECT_EQ(record(app).stableScans, 0);  // the set changed
    EXPECT_TRUE(sameTimes(tickTimesUntil(20), {1.8, 2.6}));
}

TEST_F(LifecycleTest, OnlyAProcessTheStoreKnowsNothingAboutNeedsABootstrap) {
    EXPECT_FALSE(store->needsObserverBootstrap(app));  // owns a tracked window
    EXPECT_TRUE(store->needsObserverBootstrap(quiet));
    store->scheduleDeferredScan(quiet);
    EXPECT_FALSE(store->needsObserverBootstrap(quiet));  // a pending scan is enough
    rt.advance(3);
    EXPECT_TRUE(store->needsObserverBootstrap(quiet));
    store->startLifecycleMonitoring(quiet, 2.6);
    EXPECT_FALSE(store->needsObserverBootstrap(quiet));
}

TEST_F(LifecycleTest, FillingAnAttachedProcessAddsWhatIsConfirmedAndRescansTheRest) {
    // Already tracked: made active again, not counted, nothing published.
    WindowStoreProbe::reconcileStateByWindowID(*store)[doc] = Reconcile::missing(0, 1);
    store->handleObserverAttached(app);
    EXPECT_EQ(addWindows(app), 0);
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(doc).isActive());
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());

    // Without a readable list nothing confirms the windows of an attached process.
    int32_t ledger = launch("com.example.ledger", "Ledger");
    uint32_t budget = open(ledger, "Budget", s1);
    simAX.faults(ledger).windowListUnreadable = true;
    store->handleObserverAttached(ledger);
    EXPECT_EQ(addWindows(ledger), 0);
    EXPECT_FALSE(tracks(budget));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), std::set<int32_t>{ledger});

    // Not attached and owning nothing, the same window needs no confirmation, even on no Space.
    int32_t loose = launch("com.example.loose", "Loose");
    uint32_t nowhere = open(loose, "Nowhere", 0);
    simAX.faults(loose).windowListUnreadable = true;
    EXPECT_EQ(addWindows(loose), 1);
    ASSERT_TRUE(tracks(nowhere));
    EXPECT_TRUE(tracked(nowhere).spaceIDs.empty());
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace qv
