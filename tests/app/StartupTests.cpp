#include <gtest/gtest.h>

#include <algorithm>

#include "app/LaunchCoordinator.h"
#include "app/MainRuntime.h"
#include "app/QuillVorn.h"
#include "sim/SimAppKit.h"
#include "sim/SimUpdater.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class StartupTest : public testing::OneDesktop<> {
  protected:
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    std::shared_ptr<BadgeService> badges =
        std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    std::shared_ptr<UpdaterService> updater = std::make_shared<UpdaterService>(sim.platform().updater);

    size_t firstCall(const std::string& name) const {
        auto it = std::find_if(sim.callLog.begin(), sim.callLog.end(),
                               [&](const SimCall& c) { return c.name == name; });
        return static_cast<size_t>(it - sim.callLog.begin());
    }
};

TEST_F(StartupTest, TheRuntimeStartsOnceAndOnlyWhenBothPermissionsAreGrantedAtThatMoment) {
    sim.setScreenRecordingGranted(false);
    int starts = 0;
    auto coordinator = LaunchCoordinator::create(sim.platform(), [&] { ++starts; });
    coordinator->showPermissionsGate();
    rt.runUntilIdle();
    auto gate = coordinator->permissionsController->panel;
    ASSERT_TRUE(gate && gate->isVisible());

    coordinator->startMainRuntimeIfPossible();  // a "continue" on a stale reading
    EXPECT_EQ(starts, 0);
    EXPECT_TRUE(gate->isVisible());

    sim.setScreenRecordingGranted(true);
    coordinator->startMainRuntimeIfPossible();
    coordinator->startMainRuntimeIfPossible();
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(gate->isClosed());
    EXPECT_EQ(coordinator->permissionsController, nullptr);
    EXPECT_FALSE(sim.appKit().hasTerminated());  // closed from code: no quit
}

TEST_F(StartupTest, WithBothPermissionsTheRuntimeStartsBeforeTheRunLoopAndNoGateIsMade) {
    QuillVorn program(sim.platform(), {settings, badges, updater});
    program.main();
    ASSERT_TRUE(program.mainRuntime());
    EXPECT_LT(firstCall("SPUUpdater.startUpdater"), firstCall("NSApp.run"));
    EXPECT_EQ(sim.callsNamed("NSWindow.init").size(), 0u);
    EXPECT_EQ(sim.callsNamed("AXIsProcessTrusted").size(), 2u);  // main's reading, then the coordinator's
    EXPECT_EQ(sim.appKit().activationPolicy(), ActivationPolicy::accessory);
}

// Stands in for the bar manager: records what the runtime asks of it.
class RecordingBarPanels : public BarPanelSync {
  public:
    std::vector<std::string> calls;
    void syncPanels() override { calls.push_back("sync"); }
    void repositionPanels() override { calls.push_back("reposition"); }
};

TEST_F(StartupTest, AChangeOfTheScreensMakesPanelsForNewDisplaysBeforePlacingThemAll) {
    auto panels = std::make_shared<RecordingBarPanels>();
    MainRuntimeSlots slots;
    slots.createBarManager = [&](std::shared_ptr<WindowStore>, const BarMetrics&) { return panels; };
    auto runtime = MainRuntime::create(sim.platform(), settings, badges, updater, slots);
    runtime->start();
    rt.runUntilIdle();
    EXPECT_EQ(runtime->barViewModel, nullptr);  // the bar manager owns its own

    sim.addSpace(sim.addDisplay("Side", Rect{1440, 0, 1280, 800}));
    rt.runUntilIdle();
    // The system tells of the change twice; each notice syncs, then places.
    EXPECT_EQ(panels->calls, (std::vector<std::string>{"sync", "reposition", "sync", "reposition"}));

    panels->calls.clear();
    sim.wake();
    rt.runUntilIdle();
    EXPECT_EQ(panels->calls, (std::vector<std::string>{"sync"}));
}

TEST_F(StartupTest, WithoutABarManagerTheRuntimeMakesTheBarViewModelFromTheStoredSize) {
    settings->setBarSize(BarSize::xl);
    auto runtime = MainRuntime::create(sim.platform(), settings, badges, updater);
    runtime->start();
    rt.runUntilIdle();  // the first scan's answers are in
    ASSERT_TRUE(runtime->barViewModel);
    EXPECT_EQ(runtime->barViewModel->windowStore, runtime->windowStore);
    EXPECT_EQ(runtime->metrics, BarMetrics::forSize(BarSize::xl));
}

TEST_F(StartupTest, AnApplicationThatCrashesLeavesTheBarsAtOnce) {
    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    int32_t mail = sim.launchApp(std::string("com.example.mail"), "Mail");
    uint32_t draft = sim.openWindow(editor, "Draft", space);
    sim.openWindow(mail, "Inbox", space);
    QuillVorn program(sim.platform(), {settings, badges, updater});
    program.main();
    rt.advance(5);
    const BarViewModel& model = *program.mainRuntime()->barViewModel;
    ASSERT_EQ(model.chipsBySpace->at(space).size(), 2u);
    // No window announces its end; the workspace's word is all there is.
    sim.crashApp(mail);
    rt.runUntilIdle();
    ASSERT_EQ(model.chipsBySpace->at(space).size(), 1u);
    EXPECT_EQ(model.chipsBySpace->at(space).front().id, draft);
}

TEST_F(StartupTest, TheWorkspaceNotificationsKeepObserversAndAttentionCurrent) {
    const int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    sim.app(editor)->wantsAttention = true;
    QuillVorn program(sim.platform(), {settings, badges, updater});
    program.main();
    const auto& store = program.mainRuntime()->windowStore;
    rt.advance(1);
    ASSERT_TRUE(badges->attentionByBundleID->contains("com.example.editor"));
    sim.activateApp(editor);
    rt.runUntilIdle();
    EXPECT_FALSE(badges->attentionByBundleID->contains("com.example.editor"));

    const int32_t helper =
        sim.launchApp(std::string("com.example.helper"), "Helper", ActivationPolicy::accessory);
    const int32_t mail = sim.launchApp(std::string("com.example.mail"), "Mail");
    sim.openWindow(mail, "Inbox", space);
    rt.runUntilIdle();
    EXPECT_FALSE(store->observerAttachedPIDs().contains(helper));
    ASSERT_TRUE(store->observerAttachedPIDs().contains(mail));
    // 0.8 s after its observer attached, the application's windows are registered once more.
    const size_t registrations = sim.callsNamed("AXObserverAddNotification").size();
    rt.advance(0.79);
    EXPECT_EQ(sim.callsNamed("AXObserverAddNotification").size(), registrations);
    rt.advance(0.02);
    EXPECT_GT(sim.callsNamed("AXObserverAddNotification").size(), registrations);

    sim.platform().appWorkers.ask(mail, [] {});  // as any request to it makes its worker
    sim.terminateApp(mail);
    rt.runUntilIdle();
    EXPECT_FALSE(store->observerAttachedPIDs().contains(mail));
    EXPECT_FALSE(sim.platform().appWorkers.hasWorker(mail)) << "its worker ends with it";
}

TEST(ActivationBootstrapTest, OnlyRegularUnknownApplicationsAtMostOncePerThrottleInterval) {
    ActivationFacts f;
    f.bundleID = "com.example.notes";
    f.needsObserverBootstrap = true;
    f.now = 100;
    EXPECT_EQ(decideActivationBootstrap(f), ActivationBootstrap::bootstrap);
    f.lastBootstrap = 100 - 1.49;
    EXPECT_EQ(decideActivationBootstrap(f), ActivationBootstrap::throttled);
    f.lastBootstrap = 100 - 1.5;  // again at exactly the interval
    EXPECT_EQ(decideActivationBootstrap(f), ActivationBootstrap::bootstrap);

    ActivationFacts known = f;
    known.needsObserverBootstrap = false;
    EXPECT_EQ(decideActivationBootstrap(known), ActivationBootstrap::forgetRecord);
    ActivationFacts accessory = f;
    accessory.policy = ActivationPolicy::accessory;
    EXPECT_EQ(decideActivationBootstrap(accessory), ActivationBootstrap::none);
    ActivationFacts dock = f;
    dock.bundleID = "com.apple.dock";
    EXPECT_EQ(decideActivationBootstrap(dock), ActivationBootstrap::none);
    ActivationFacts anonymous = f;
    anonymous.bundleID.reset();
    EXPECT_EQ(decideActivationBootstrap(anonymous), ActivationBootstrap::bootstrap);
}

TEST_F(StartupTest, TheUpdaterServiceMirrorsTheUpdaterAndSwallowsAFailedStart) {
    EXPECT_FALSE(*updater->canCheckForUpdates);
    sim.updater().startError = "The feed is not configured";
    updater->startUpdater();
    EXPECT_FALSE(*updater->canCheckForUpdates);
    sim.updater().startError.clear();
    updater->startUpdater();
    EXPECT_TRUE(*updater->canCheckForUpdates);

    UpdaterService late(sim.platform().updater);  // takes the updater's value at once
    EXPECT_TRUE(*late.canCheckForUpdates);
}

}  // namespace
}  // namespace qv
