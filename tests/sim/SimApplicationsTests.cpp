#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "platform/Windowing.h"
#include "sim/SimAccessibility.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileEventStreams.h"
#include "sim/SimFileSystem.h"
#include "sim/SimWindowing.h"

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

// AppKit is the main thread's: a call from a worker ends the run, naming the call, as the system's
// main-thread checker does.
TEST_F(SimApplicationsTest, AppKitCalledOffTheMainThreadEndsTheRunNamingTheCall) {
    auto worker = rt.makeSerialQueue("worker");
    EXPECT_DEATH(
        {
            worker->async([&] { ourApp.yieldActivation(running); });
            rt.runUntilIdle();
        },
        "NSApp.yieldActivation called on a background thread");
    ourApp.yieldActivation(running);
    EXPECT_EQ(apps.yields.size(), 1u);
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

TEST_F(SimApplicationsTest, BundlesFormATreeOfFoldersWhoseChangesReachTheStreamsWatchingThem) {
    FileSystem& files = sim.platform().fileSystem;
    SimInstalledApp tool = installable("com.example.tool", "Tool");
    tool.path = "~/Applications/Kit/Tool.app";
    apps.install(tool);
    tool.path = "/Applications/Tool.app";
    apps.install(tool);
    apps.install(installable("com.example.hidden", ".Hidden"));
    const std::string home = files.homeDirectoryForCurrentUser();

    // Listings skip hidden entries; a bundle is an application and a folder; so are its insides.
    auto names = [&](const std::string& folder) {
        std::vector<std::string> out;
        const auto listing = files.contentsOfDirectory(folder);
        for (const DirectoryEntry& e : listing.value())
            out.push_back(e.path + (e.isApplication ? " app" : e.isDirectory ? " dir" : ""));
        return out;
    };
    EXPECT_EQ(names("/Applications"),
              (std::vector<std::string>{"/Applications/Tool.app app", "/Applications/Utilities dir"}));
    EXPECT_EQ(names(home + "/Applications"), (std::vector<std::string>{home + "/Applications/Kit dir"}));
    EXPECT_TRUE(files.fileExists(home + "/Applications/Kit/Tool.app"));
    EXPECT_FALSE(files.contentsOfDirectory("/Nowhere"));
    // The first copy in the order the application folders are searched.
    EXPECT_EQ(workspace.urlForApplication("com.example.tool"), "/Applications/Tool.app");

    // Streams hear of changes below the folders they watch, gathered over their latency.
    std::vector<std::vector<FSEvent>> heard;
    FileEventStreams& streams = sim.platform().fileEventStreams;
    auto stream = streams.create([&](FSEventStreamRef, const std::vector<FSEvent>& e) { heard.push_back(e); },
                                 {"/Applications"}, kFSEventStreamEventIdSinceNow, 1.0, 0x11);
    EXPECT_FALSE(streams.start(stream)) << "not before it has a queue";
    streams.setDispatchQueue(stream, rt.mainQueue());
    ASSERT_TRUE(streams.start(stream));
    EXPECT_TRUE(apps.copyBundle(home + "/Applications/Kit/Tool.app", "/Applications/Utilities/Tool.app"));
    EXPECT_FALSE(apps.copyBundle("/Applications/Tool.app", "/Applications/Utilities/Tool.app"));
    rt.advance(0.5);
    apps.install(installable("com.example.elsewhere", "Elsewhere"));
    SimInstalledApp outside = installable("com.example.outside", "Outside");
    outside.path = "/System/Applications/Outside.app";
    apps.install(outside);
    rt.advance(0.5);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].size(), 14u);  // every file of both bundles
    EXPECT_EQ(heard[0].front().path, "/Applications/Utilities/Tool.app");
    EXPECT_EQ(heard[0].front().flags,
              fseventstreameventflags::kItemCreated | fseventstreameventflags::kItemIsDir);
    EXPECT_TRUE(apps.removeBundle("/Applications/Tool.app"));
    EXPECT_EQ(workspace.urlForApplication("com.example.tool"), "/Applications/Utilities/Tool.app");
    streams.stop(stream);
    streams.invalidate(stream);
    streams.release(stream);
    rt.advance(2);
    EXPECT_EQ(heard.size(), 1u) << "an invalidated stream delivers nothing more";
}

}  // namespace
}  // namespace qv
