#include <gtest/gtest.h>

#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimAccessibility.h"
#include "platform/sim/SimApplications.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimWindowing.h"
#include "platform/ui/Windowing.h"

namespace qv {
namespace {

class SimApplicationsTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    SimApplications& apps = sim.applications();
    Workspace& workspace = sim.platform().workspace;
    Windowing& ourApp = sim.platform().windowing;
    uint32_t main = sim.addDisplay("Main", Rect{0, 0, 1920, 1080});
    uint64_t desk = sim.addSpace(main);
    int32_t running = sim.launchApp(std::string("com.example.running"), "Running");

    SimInstalledApp installable(std::string bundleID, std::string name) {
        SimInstalledApp app;
        app.bundleID = std::move(bundleID);
        app.name = std::move(name);
        return app;
    }
};

TEST_F(SimApplicationsTest, TheWorkspaceFindsInstalledAndRunningApplicationsAndDescribesTheirBundles) {
    SimInstalledApp notes = installable("com.example.notes", "Notes");
    notes.displayName = "Notes Pro";
    notes.icon = Image::filled(1, 1, 0x00FF00FF);
    apps.install(notes);

    EXPECT_EQ(workspace.urlForApplication("com.example.notes"), "/Applications/Notes.app");
    EXPECT_EQ(workspace.urlForApplication("com.example.running"), "/Applications/Running.app");
    EXPECT_EQ(workspace.urlForApplication("com.example.none"), std::nullopt);

    EXPECT_EQ(*workspace.iconForFile("/Applications/Notes.app"), Image::filled(1, 1, 0x00FF00FF));
    EXPECT_EQ(workspace.iconForFile("/Applications/Running.app")->name, "Running");
    EXPECT_EQ(workspace.iconForFile("/Applications/Gone.app")->name,
              SimApplications::kGenericApplicationIconName);
    EXPECT_EQ(workspace.iconForFile("/tmp/readme.txt")->name, SimApplications::kGenericDocumentIconName);
    EXPECT_EQ(workspace.iconForContentType(kContentTypeApplicationBundle)->name,
              SimApplications::kGenericApplicationIconName);

    auto info = workspace.bundleInfoDictionary("/Applications/Notes.app");
    ASSERT_TRUE(info);
    EXPECT_EQ(*(*info)["CFBundleDisplayName"].asString(), "Notes Pro");
    EXPECT_EQ(*(*info)["CFBundleName"].asString(), "Notes");
    EXPECT_EQ(*(*info)["CFBundleIdentifier"].asString(), "com.example.notes");
    EXPECT_EQ(*(*workspace.bundleInfoDictionary("/Applications/Running.app"))["CFBundleName"].asString(),
              "Running");
    EXPECT_FALSE(workspace.bundleInfoDictionary("/Applications/Gone.app"));

    EXPECT_EQ(workspace.runningApplicationIcon(running)->name, "Running");
    apps.withoutIcon.insert(running);
    EXPECT_FALSE(workspace.runningApplicationIcon(running));
    EXPECT_FALSE(workspace.runningApplicationIcon(9999));
    EXPECT_EQ(workspace.currentApplication().processIdentifier, sim.ownPID());
}

TEST_F(SimApplicationsTest, OpeningLaunchesAndActivatesLaterAndBringsARunningApplicationForward) {
    SimInstalledApp notes = installable("com.example.notes", "Notes");
    notes.windowsOnLaunch = {"Untitled", "Scratch"};
    apps.install(notes);
    ourApp.activate(false);

    workspace.openApplication("/Applications/Notes.app");
    EXPECT_EQ(sim.frontmostPID(), sim.ownPID()) << "the launch completes later";
    rt.runUntilIdle();
    ASSERT_TRUE(sim.frontmostPID());
    int32_t pid = *sim.frontmostPID();
    EXPECT_EQ(sim.app(pid)->bundleID, "com.example.notes");
    EXPECT_EQ(sim.app(pid)->bundlePath, "/Applications/Notes.app");
    EXPECT_FALSE(ourApp.isActive());
    std::vector<std::string> titles;
    for (const auto& [id, w] : sim.windows()) {
        if (w.ownerPID == pid) {
            titles.push_back(w.title);
            EXPECT_TRUE(w.spaces.contains(desk));
        }
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Untitled", "Scratch"}));

    workspace.openApplication("/Applications/Running.app");
    rt.runUntilIdle();
    EXPECT_EQ(sim.frontmostPID(), running);
    workspace.openApplication("/Applications/Notes.app");
    rt.runUntilIdle();
    EXPECT_EQ(sim.frontmostPID(), pid);
    EXPECT_EQ(sim.apps().size(), 3u) << "ours, the running one and one Notes";

    workspace.openApplication("/Applications/Gone.app");
    rt.runUntilIdle();
    EXPECT_EQ(sim.frontmostPID(), pid);
}

TEST_F(SimApplicationsTest, CooperativeActivationNeedsTheActiveApplicationToYield) {
    int32_t other = sim.launchApp(std::string("com.example.other"), "Other");
    const int32_t self = sim.ownPID();
    const uint32_t options = activation::kActivateIgnoringOtherApps;

    EXPECT_FALSE(workspace.activateApplicationFrom(running, self, options)) << "we are not active";
    ourApp.activate(true);
    EXPECT_FALSE(workspace.activateApplicationFrom(running, self, options)) << "we did not yield";
    ourApp.yieldActivation(other);
    EXPECT_FALSE(workspace.activateApplicationFrom(running, self, options)) << "we yielded to another";
    ourApp.yieldActivation(running);
    EXPECT_TRUE(workspace.activateApplicationFrom(running, self, options));
    EXPECT_EQ(sim.frontmostPID(), running);
    EXPECT_FALSE(ourApp.isActive());

    // An active application other than ours may hand over at will; a refusal switch stops it all.
    EXPECT_TRUE(workspace.activateApplicationFrom(other, running, options));
    EXPECT_EQ(sim.frontmostPID(), other);
    apps.refuseCooperativeActivation = true;
    EXPECT_FALSE(workspace.activateApplicationFrom(running, other, options));
    EXPECT_EQ(sim.frontmostPID(), other);
}

TEST_F(SimApplicationsTest, DirectActivationCanBeRefusedAndFailsForEndedProcesses) {
    const uint32_t options = activation::kActivateIgnoringOtherApps;
    apps.refuseActivation.insert(running);
    EXPECT_FALSE(workspace.activateApplication(running, options));
    EXPECT_NE(sim.frontmostPID(), running);
    apps.refuseActivation.clear();
    EXPECT_TRUE(workspace.activateApplication(running, options));
    EXPECT_EQ(sim.frontmostPID(), running);
    sim.terminateApp(running);
    EXPECT_FALSE(workspace.activateApplication(running, options));
    EXPECT_FALSE(workspace.activateApplication(9999, options));
}

TEST_F(SimApplicationsTest, AccessibilityWritesAndActionsCanBeRefusedByName) {
    SimWindowSpec spec;
    spec.pid = running;
    spec.space = desk;
    uint32_t window = sim.openWindow(spec);
    Accessibility& ax = sim.platform().accessibility;
    SimAccessibility& simAX = sim.accessibility();
    AXElement element = simAX.windowElement(window);
    simAX.faults(running).refusedWrites = {"AXMinimized"};
    simAX.faults(running).refusedActions = {"AXRaise"};
    EXPECT_EQ(ax.setAttributeValue(element, "AXMinimized", Value::boolean(true)), kAXErrorCannotComplete);
    EXPECT_FALSE(sim.window(window)->minimized);
    EXPECT_EQ(ax.performAction(element, "AXRaise"), kAXErrorCannotComplete);
    EXPECT_EQ(ax.setAttributeValue(element, "AXMain", Value::boolean(true)), kAXErrorSuccess);
    EXPECT_EQ(ax.performAction(simAX.closeButtonElement(window), "AXPress"), kAXErrorSuccess);
    EXPECT_FALSE(sim.window(window));
}

}  // namespace
}  // namespace qv
