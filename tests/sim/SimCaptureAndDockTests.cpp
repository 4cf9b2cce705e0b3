#include <gtest/gtest.h>

#include <filesystem>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimFileSystem.h"
#include "sim/SimPreferences.h"
#include "sim/SimProcesses.h"
#include "sim/SimScreenCapture.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class SimCaptureTest : public testing::OneAppDesktop<> {
  protected:
    SimCaptureTest() : OneAppDesktop("com.example.a", "A", {0, 0, 1000, 500}) {}

    uint64_t other = sim.addSpace(display);
    uint32_t shown = open("shown", Rect{0, 0, 500, 500});
    uint32_t hidden = sim.openWindow(app, "hidden", other, Rect{0, 0, 500, 500});
    ScreenCapture& capture = sim.platform().screenCapture;

    std::optional<SCShareableContent> content(bool excludeDesktop, bool onScreenOnly) {
        std::optional<SCShareableContent> answer;
        bool answered = false;
        capture.getShareableContent(excludeDesktop, onScreenOnly, [&](auto c, auto) {
            answer = std::move(c);
            answered = true;
        });
        EXPECT_FALSE(answered);  // never inside the call
        rt.runUntilIdle();
        EXPECT_TRUE(answered);
        return answer;
    }
    std::shared_ptr<const Image> shot(const SCContentFilter& filter, SCStreamConfiguration config) {
        std::shared_ptr<const Image> image;
        capture.captureImage(filter, config, [&](auto i, auto) { image = std::move(i); });
        rt.runUntilIdle();
        return image;
    }
};

TEST_F(SimCaptureTest, ContentListsWhatWasAskedForAndNothingWithoutPermission) {
    auto onScreen = content(true, true);
    ASSERT_TRUE(onScreen);
    ASSERT_EQ(onScreen->displays.size(), 1u);
    EXPECT_EQ(onScreen->displays[0].width, 1000);
    ASSERT_EQ(onScreen->windows.size(), 1u);
    EXPECT_EQ(onScreen->windows[0].windowID, shown);
    // Both flags off: the window of the inactive desktop and the desktop picture's window too.
    EXPECT_EQ(content(false, false)->windows.size(), 3u);
    sim.setScreenRecordingGranted(false);
    EXPECT_FALSE(content(true, true));
}

TEST_F(SimCaptureTest, TheStripIsTheDesktopPictureWithoutTheWindowsLeftOutAtTheAskedSize) {
    sim.setWallpaper(display, {0x000000, 0xFFFFFF});
    auto c = content(true, true);
    SCStreamConfiguration config;
    config.sourceRect = Rect{0, 450, 1000, 50};
    config.width = 4;
    config.height = 1;
    auto image = shot(SCContentFilter::displayExcludingWindows(c->displays[0], c->windows), config);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 4);
    EXPECT_EQ(image->height, 1);
    // Pixel x 0 samples (125, 475): the gradient's stop (0.125 + 0.95) / 2.
    EXPECT_EQ(image->pixel(0, 0), 0x898989FFu);
    // The window not left out covers the left half.
    image = shot(SCContentFilter::displayExcludingWindows(c->displays[0], {}), config);
    EXPECT_EQ(image->pixel(0, 0), 0xF5F5F7FFu);
    EXPECT_NE(image->pixel(3, 0), 0xF5F5F7FFu);

    sim.screenCapture().setCaptureFault(CaptureFault::hold);
    EXPECT_FALSE(shot(SCContentFilter::desktopIndependentWindow(c->windows[0]), config));
    EXPECT_EQ(sim.screenCapture().heldCaptureCount(), 1u);
    sim.screenCapture().setCaptureFault(CaptureFault::fail);
    EXPECT_FALSE(shot(SCContentFilter::displayExcludingWindows(c->displays[0], {}), config));
}

TEST_F(SimCaptureTest, APictureInTheMemoryOfAGoneOneIsDrawnWholeAndIsAPictureOfItsOwn) {
    sim.setWallpaper(display, {0x102030, 0x102030});
    auto c = content(true, true);
    SCStreamConfiguration config;
    config.width = 50;
    config.height = 50;
    auto strip = shot(SCContentFilter::displayExcludingWindows(c->displays[0], c->windows), config);
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->pixel(49, 49), 0x102030FFu);
    strip.reset();  // its memory is free for the next picture of its size
    auto window = shot(SCContentFilter::desktopIndependentWindow(c->windows[0]), config);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->pixel(49, 49), 0xF5F5F7FFu);
    auto again = shot(SCContentFilter::desktopIndependentWindow(c->windows[0]), config);
    EXPECT_NE(again, window);
    EXPECT_EQ(*again, *window);
}

TEST(SimDockTest, KillingTheDockRelaunchesItWithItsSwitchAndPreferencesInEffect) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    const int32_t dock = sim.launchApp(std::string(SimDock::kBundleID), SimDock::kProcessName);
    sim.addSpace(sim.addDisplay("Main", Rect{0, 0, 1000, 500}));
    sim.openWindow(dock, "Dock", 0, Rect{0, 430, 1000, 70});
    Processes& processes = sim.platform().processes;

    sim.platform().dock.setAutoHideEnabled(true);
    sim.preferences().setValue(SimDock::kPreferencesDomain, "autohide-delay", Value::number(1000.0));
    EXPECT_TRUE(sim.dock().isShowing());  // until it restarts
    ProcessResult r = processes.run(SimProcesses::kKillallPath, {"Dock"}, 10);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_FALSE(sim.dock().isShowing());
    EXPECT_EQ(sim.dock().look().autohideDelay, Value::number(1000.0));
    EXPECT_TRUE(sim.app(dock)->terminated);
    size_t dockWindows = 0;
    for (const auto& [id, w] : sim.windows()) dockWindows += w.ownerPID != dock && w.title == "Dock";
    EXPECT_EQ(dockWindows, 1u);

    sim.processes().killallFault = SimToolFault::exitNonZero;
    EXPECT_EQ(processes.run(SimProcesses::kKillallPath, {"Dock"}, 10).exitStatus, 1);
    sim.processes().killallFault = SimToolFault::hang;
    EXPECT_TRUE(processes.run(SimProcesses::kKillallPath, {"Dock"}, 10).timedOut);
    EXPECT_EQ(rt.now(), 10);
    EXPECT_EQ(sim.dock().restartCount(), 1);
}

TEST(SimFolderWatchTest, EventsReachResumedSourcesOfTheFolderUntilItIsDeletedOrTheSourceCancelled) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    SimFileSystem& files = sim.fileSystem();
    const std::string folder = files.homeDirectory() + "/Watched";
    files.createFolder(folder);
    auto queue = rt.makeSerialQueue("watch");
    const int32_t fd = files.openForEvents(folder);
    ASSERT_GE(fd, 0);
    auto source = files.makeFileSystemObjectSource(fd, vnodeevent::kWrite | vnodeevent::kDelete, queue);
    std::vector<uint32_t> heard;
    bool cancelled = false;
    source->setEventHandler([&](uint32_t events) { heard.push_back(events); });
    source->setCancelHandler([&] {
        cancelled = true;
        files.closeDescriptor(fd);
    });
    files.raiseFolderEvents(folder, vnodeevent::kWrite);  // not resumed yet
    source->resume();
    files.raiseFolderEvents(folder, vnodeevent::kAttrib);  // outside the mask
    EXPECT_TRUE(sim.platform().fileSystem.writeAtomically(folder + "/f", "x"));
    rt.runUntilIdle();
    EXPECT_EQ(heard, (std::vector<uint32_t>{vnodeevent::kWrite}));

    files.deleteFolder(folder);
    files.createFolder(folder);
    files.raiseFolderEvents(folder, vnodeevent::kWrite);  // a new folder: not this descriptor's
    rt.runUntilIdle();
    EXPECT_EQ(heard, (std::vector<uint32_t>{vnodeevent::kWrite, vnodeevent::kDelete}));
    source->cancel();
    rt.runUntilIdle();
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(files.openDescriptorCount(), 0u);

    files.refuseOpenForEvents.insert(folder);
    EXPECT_EQ(files.openForEvents(folder), -1);
    EXPECT_EQ(files.openForEvents(folder + "/missing"), -1);
}

}  // namespace
}  // namespace qv
