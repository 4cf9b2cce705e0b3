#include <gtest/gtest.h>

#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "support/StoreDesktop.h"
#include "tracking/AXObserverManager.h"

namespace qv {
namespace {

using testing::sameTimes;

// The window store and the observer manager wired together as the program's start-up wires them,
// following one simulated world on the virtual clock.
class WindowTrackingScenario : public testing::StoreDesktop {
  protected:
    static constexpr double kRefreshAfterAttach = 0.8;

    // What the applications have before the program starts.
    virtual void openStartingWindows() {}

    uint32_t side = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    uint64_t sideSpace = sim.addSpace(side);
    int32_t editor = launch("com.example.editor", "Editor");
    uint32_t draft = open(editor, "Draft", s1);
    std::shared_ptr<AXObserverManager> manager;
    Subscriptions subscriptions;
    std::vector<std::pair<double, int32_t>> attachReports;

    void SetUp() override {
        openStartingWindows();
        sim.activateApp(editor);
        populate();
        manager = AXObserverManager::create(rt, sim.platform().accessibility, rt.mainQueue());
        manager->onEvent = [this](const AXWindowEvent& e) { store->handleAXEvent(e); };
        manager->onObserverAdded = [this](int32_t pid) {
            attachReports.emplace_back(rt.now(), pid);
            store->handleObserverAttached(pid);
            store->addWindowsForPID(pid);
            rt.mainQueue()->asyncAfter(kRefreshAfterAttach, [this, pid] { manager->refreshWindows({pid}); });
        };
        manager->start();
        for (int32_t pid : store->trackedPIDs()) manager->observe(pid);

        NotificationCenter& workspace = sim.platform().workspace.notificationCenter();
        auto on = [&](const char* name, std::function<void(int32_t)> handler) {
            subscriptions.push_back(
                workspace.addObserver(name, rt.mainQueue(), [handler](const Notification& n) {
                    auto pid = n.userInfo[notifications::kWorkspaceApplicationKey].asNumberObject();
                    handler(pid ? pid->int32Value() : 0);
                }));
        };
        auto bootstrap = [this](int32_t pid) {
            manager->observe(pid);
            store->startLifecycleMonitoring(pid, WindowStore::kBootstrapInitialDelay);
            store->scheduleDeferredScan(pid);
        };
        on(notifications::kWorkspaceDidLaunchApplication, [this, bootstrap](int32_t pid) {
            auto app = sim.platform().workspace.runningApplication(pid);
            if (app && app->activationPolicy == ActivationPolicy::regular) bootstrap(pid);
        });
        on(notifications::kWorkspaceDidActivateApplication, [this, bootstrap](int32_t pid) {
            store->handleAppActivated(pid);
            if (store->needsObserverBootstrap(pid)) bootstrap(pid);
        });
        on(notifications::kWorkspaceDidTerminateApplication, [this](int32_t pid) {
            manager->stopObserving(pid);
            store->handleObserverDetached(pid);
            store->removeWindows(pid);
        });
        on(notifications::kWorkspaceActiveSpaceDidChange, [this](int32_t) {
            store->refreshSpaces();
            store->discoverNewWindowsForTrackedPIDs();
            if (auto pids = store->trackedPIDs(); !pids.empty()) manager->refreshWindows(pids);
        });
        rt.runUntilIdle();
        changes = 0;
    }
    void TearDown() override { manager->stop(); }
};

TEST_F(WindowTrackingScenario, OneApplicationsLifeFromLaunchToTermination) {
    ASSERT_TRUE(tracks(draft));
    EXPECT_EQ(store->focusedWindowID(), draft);
    EXPECT_TRUE(store->observerAttachedPIDs().contains(editor));

    // An application launches; its observer attaches at once. The attach fill, the lifecycle
    // ticks (0.2 s after attachment, then 0.8 s apart until two are stable) and the deferred
    // passes (0.3, 0.8 and 2.0 s after the launch) each read the window list once.
    rt.advanceTo(1);
    int32_t mail = launch("com.example.mail", "Mail");
    rt.runUntilIdle();
    ASSERT_EQ(attachReports.back(), std::make_pair(1.0, mail));
    EXPECT_EQ(store->lifecycleByPID().at(mail).phase, WindowStore::PIDLifecyclePhase::runningObserved);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(mail));
    EXPECT_TRUE(sameTimes(scanTimesUntil(4), {1.2, 1.3, 1.8, 2.0, 3.0}));
    EXPECT_FALSE(store->lifecycleByPID().contains(mail));
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(mail));
    EXPECT_EQ(changes, 0);

    // A window is created: tracked at once, and its activity polls the process anew.
    uint32_t inbox = open(mail, "Inbox", s1);
    rt.runUntilIdle();
    ASSERT_TRUE(tracks(inbox));
    EXPECT_EQ(tracked(inbox).pid, mail);
    EXPECT_EQ(tracked(inbox).spaceIDs, std::set<uint64_t>{s1});
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(sameTimes(scanTimesUntil(7), {4.2, 5.0, 5.8}));

    // A burst of moves within the screen: one update, 0.25 s after the last move.
    for (int i = 0; i < 5; ++i) {
        rt.advanceTo(7 + i * 0.05);
        sim.setWindowFrame(inbox, Rect{100.0 + i * 20, 100, 800, 600});
    }
    rt.advanceTo(7.2 + 0.25 - 1e-9);
    EXPECT_EQ(tracked(inbox).frame, (Rect{100, 100, 800, 600}));
    EXPECT_EQ(changes, 1);
    rt.advanceTo(7.2 + 0.25);
    EXPECT_EQ(tracked(inbox).frame, (Rect{180, 100, 800, 600}));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(WindowStoreProbe::pendingCrossScreenRefresh(*store), nullptr);

    // A retitle, a minimise and a deminiaturise: each one update and one change call.
    rt.advanceTo(8);
    sim.setWindowTitle(inbox, "Inbox — 2 unread");
    rt.advanceTo(8.25);
    EXPECT_EQ(tracked(inbox).windowTitle, "Inbox — 2 unread");
    EXPECT_EQ(changes, 3);
    rt.advanceTo(9);
    sim.setWindowMinimized(inbox, true);
    rt.runUntilIdle();
    EXPECT_TRUE(tracked(inbox).isMinimized);
    EXPECT_EQ(changes, 4);
    rt.advanceTo(10);
    sim.setWindowMinimized(inbox, false);
    rt.runUntilIdle();
    EXPECT_FALSE(tracked(inbox).isMinimized);
    EXPECT_EQ(changes, 5);

    // A window that goes without a notification stays through one missed scan and goes at the
    // next. Here the scans are the ticks that another window's creation starts.
    rt.advanceTo(11);
    uint32_t outbox = open(mail, "Outbox", s1, {300, 300, 600, 400});
    scanTimesUntil(14);
    ASSERT_TRUE(tracks(outbox));
    sim.closeWindowSilently(outbox);
    rt.advanceTo(15);
    uint32_t compose = open(mail, "Compose", s1, {400, 200, 700, 500});
    rt.runUntilIdle();
    ASSERT_TRUE(tracks(compose));
    const int beforeMisses = changes;
    EXPECT_TRUE(sameTimes(scanTimesUntil(15.2), {15.2}));
    EXPECT_TRUE(tracks(outbox));
    EXPECT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).at(outbox), Reconcile::missing(15.2, 1));
    EXPECT_TRUE(sameTimes(scanTimesUntil(16.0), {16.0}));
    EXPECT_FALSE(tracks(outbox));
    EXPECT_EQ(changes, beforeMisses + 1);
    EXPECT_TRUE(sameTimes(scanTimesUntil(20), {16.8, 17.6}));

    // A window carried to another desktop of the display has its new Space once the user
    // switches there.
    sim.moveWindowToSpace(inbox, s2);
    rt.runUntilIdle();
    EXPECT_EQ(tracked(inbox).spaceIDs, std::set<uint64_t>{s1});
    sim.switchToSpace(s2);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    EXPECT_EQ(tracked(inbox).spaceIDs, std::set<uint64_t>{s2});

    // A window carried to the other display: its move event comes 0.25 s later, and the Spaces
    // refresh 0.2 s after that.
    rt.advanceTo(21);
    sim.moveWindowToSpace(compose, sideSpace);
    rt.advanceTo(21.25);
    EXPECT_EQ(tracked(compose).frame, (Rect{2320, 200, 700, 500}));
    EXPECT_EQ(tracked(compose).spaceIDs, std::set<uint64_t>{s1});
    rt.advanceTo(21.25 + 0.2);
    EXPECT_EQ(tracked(compose).spaceIDs, std::set<uint64_t>{sideSpace});

    // Activation moves the focus, to the window brought forward and back to the other app.
    rt.advanceTo(23);
    const int beforeFocus = changes;
    sim.focusWindow(compose);
    rt.runUntilIdle();
    EXPECT_EQ(store->focusedWindowID(), compose);
    EXPECT_GT(changes, beforeFocus);
    sim.switchToSpace(s1);  // back to the draft's desktop, where its application lists it
    sim.finishDesktopSwitches();
    sim.activateApp(editor);
    rt.runUntilIdle();
    EXPECT_EQ(store->focusedWindowID(), draft);

    // The application crashes: no window announces its end, only the workspace tells. Its windows,
    // observer and marks go; the other app's stay.
    rt.advanceTo(25);
    sim.crashApp(mail);
    rt.runUntilIdle();
    EXPECT_EQ(trackedIDs(), std::set<uint32_t>{draft});
    EXPECT_FALSE(store->observerAttachedPIDs().contains(mail));
    EXPECT_FALSE(store->lifecycleByPID().contains(mail));
    EXPECT_EQ(simAX.installedObserverCount(mail), 0u);
    EXPECT_EQ(store->focusedWindowID(), draft);
    EXPECT_TRUE(scanTimesUntil(40).empty());
}

TEST_F(WindowTrackingScenario, AnApplicationWithoutAnObserverIsPolledOnItsOwnUntilItQuits) {
    SimAppSpec spec;
    spec.bundleID = "com.example.legacy";
    spec.name = "Legacy";
    spec.pid = 777;
    simAX.faults(777).observerCreateError = kAXErrorCannotComplete;
    int32_t legacy = sim.launchApp(spec);
    rt.runUntilIdle();
    EXPECT_TRUE(attachReports.size() == 1);  // the editor's only
    uint32_t doc = open(legacy, "Document", s1);

    // Deferred passes at 0.3, 0.8 and 2.0 s, then ticks at 2.6 s and growing intervals.
    const double t1 = 2.6, t2 = t1 + 1.215, t3 = t2 + 1.64025, t4 = t3 + 2.2143375;
    EXPECT_TRUE(sameTimes(scanTimesUntil(t4), {0.3, 0.8, 2.0, t1, t2, t3, t4}));
    ASSERT_TRUE(tracks(doc));  // found by the first pass
    EXPECT_EQ(store->lifecycleByPID().at(legacy).phase, WindowStore::PIDLifecyclePhase::runningUnobserved);

    // It quits without a word: the next tick finds it gone and polling stops.
    sim.app(legacy)->terminated = true;
    sim.app(legacy)->listed = false;
    EXPECT_TRUE(sameTimes(scanTimesUntil(t4 + 10), {}));
    EXPECT_FALSE(tracks(doc));
    EXPECT_FALSE(store->lifecycleByPID().contains(legacy));
}

TEST_F(WindowTrackingScenario, AWindowOfAnApplicationWhosePidCannotBeReadLandsUnderItsOwner) {
    int32_t odd = launch("com.example.odd", "Odd");
    rt.runUntilIdle();
    rt.advanceTo(5);  // the launch's deferred scans are over
    simAX.faults(odd).pidUnreadable = true;
    uint32_t w = open(odd, "Odd window", s1);
    rt.runUntilIdle();
    EXPECT_FALSE(tracks(w));
    rt.advanceTo(5.3);
    ASSERT_TRUE(tracks(w));
    EXPECT_EQ(tracked(w).pid, odd);
    EXPECT_EQ(tracked(w).bundleIdentifier, "com.example.odd");
    EXPECT_FALSE(store->windows().count(0));
    EXPECT_FALSE(store->trackedPIDs().contains(0));
}

// The same program with its bars' model on top: what the user sees of each desktop.
class BarTrackingScenario : public WindowTrackingScenario {
  protected:
    int32_t mail = launch("com.example.mail", "Mail");
    uint32_t inbox = 0;
    std::shared_ptr<UserSettings> settings;

    void openStartingWindows() override { inbox = open(mail, "Inbox", s1); }
    std::shared_ptr<BadgeService> badges;
    std::shared_ptr<BarViewModel> model;

    void SetUp() override {
        WindowTrackingScenario::SetUp();
        settings = UserSettings::create(sim.platform());
        settings->setGroupWindowsByApp(false);
        badges = std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
        model = BarViewModel::create(sim.platform(), store, settings, badges);
        rt.advance(WindowStore::kDeferredScanSeriesEnd);  // start-up's rescans run out
    }
    std::vector<std::string> bar(uint64_t space) const {
        std::vector<std::string> titles;
        for (const DisplayItem& item : model->displayItemsBySpace->at(space))
            titles.push_back(item.chip()->windowTitle);
        return titles;
    }
};

class TwoDesktopsAtStart : public BarTrackingScenario {
  protected:
    uint32_t archive = 0;
    void openStartingWindows() override {
        BarTrackingScenario::openStartingWindows();
        archive = open(mail, "Archive", s2);
    }
};

TEST_F(TwoDesktopsAtStart, AnApplicationOnTwoDesktopsHasChipsOnBoth) {
    // Mail lists only the window of the desktop that shows; the other comes from the window list.
    EXPECT_EQ(bar(s1), (std::vector<std::string>{"Draft", "Inbox"}));
    EXPECT_EQ(bar(s2), std::vector<std::string>{"Archive"});
    ASSERT_TRUE(tracks(archive));
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).at(archive).isActive());

    // Once its desktop shows, the window is observed like any other.
    sim.switchToSpace(s2);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    sim.setWindowTitle(archive, "Archive 2026");
    rt.advance(0.25);
    EXPECT_EQ(bar(s2), std::vector<std::string>{"Archive 2026"});
}

TEST_F(BarTrackingScenario, WithoutScreenRecordingADiscoveredWindowIsTitled) {
    sim.setScreenRecordingGranted(false);
    // A window whose creation went unannounced, on the other desktop, is found when it shows.
    simAX.faults(mail).unresponsive = true;
    uint32_t drafts = open(mail, "Drafts", s2);
    simAX.faults(mail).unresponsive = false;
    rt.advance(5);
    EXPECT_FALSE(tracks(drafts));
    sim.switchToSpace(s2);
    sim.finishDesktopSwitches();
    rt.runUntilIdle();
    EXPECT_EQ(bar(s2), std::vector<std::string>{"Drafts"});
}

TEST_F(BarTrackingScenario, ASlowApplicationTimesOutWithoutLosingItsWindows) {
    // Mail answers in 0.2 s: the store gives up on each request after 0.05 s, on Mail's worker,
    // the observer thread waits the default time and still follows it.
    simAX.faults(mail).responseDelay = 0.2;
    uint32_t outbox = open(mail, "Outbox", s1, {300, 200, 700, 500});
    sim.setWindowTitle(inbox, "Inbox — 1 unread");
    rt.advance(10);
    EXPECT_EQ(bar(s1), (std::vector<std::string>{"Draft", "Inbox — 1 unread", "Outbox"}));
    EXPECT_TRUE(store->observerAttachedPIDs().contains(mail));
    rt.takeLongestMainHold();
    const double before = rt.now();
    double applied = 0;
    WindowStoreProbe::reconcileWindowsForPID(*store, mail, [&](int) { applied = rt.now(); });
    rt.advance(1);
    EXPECT_NEAR(applied - before, WindowStore::kAXMessagingTimeoutSeconds, 1e-6);  // its list timed out
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0.0);
    EXPECT_TRUE(tracks(inbox) && tracks(outbox));

    // The spell ends; Mail's windows were never in doubt.
    simAX.faults(mail).responseDelay = 0;
    sim.setWindowTitle(outbox, "Outbox (2)");
    rt.advance(1);
    EXPECT_EQ(bar(s1), (std::vector<std::string>{"Draft", "Inbox — 1 unread", "Outbox (2)"}));
}

}  // namespace
}  // namespace qv
