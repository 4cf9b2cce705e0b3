#include <gtest/gtest.h>

#include "bar_views/WallpaperBrightnessMonitor.h"
#include "sim/SimScreenCapture.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

using Monitor = WallpaperBrightnessMonitor;

TEST(WallpaperBrightnessRules, FirstReadingThresholdAndTheHysteresisBand) {
    EXPECT_TRUE(Monitor::verdict(std::nullopt, 0.65));
    EXPECT_FALSE(Monitor::verdict(std::nullopt, 0.60));
    EXPECT_FALSE(Monitor::verdict(std::nullopt, 0.62));
    EXPECT_FALSE(Monitor::verdict(false, 0.67));
    EXPECT_TRUE(Monitor::verdict(true, 0.57));
    EXPECT_FALSE(Monitor::verdict(true, 0.5699));
    EXPECT_TRUE(Monitor::verdict(false, 0.6701));
}

TEST(WallpaperBrightnessRules, TheStripIsTheBottomTenthAtMost256PixelsWide) {
    auto c = Monitor::stripConfiguration(1920, 1080);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->sourceRect, (Rect{0, 972, 1920, 108}));
    EXPECT_EQ(c->width, 256);
    EXPECT_EQ(c->height, 14);  // 108 * 256 / 1920 = 14.4
    EXPECT_TRUE(c->scalesToFit);
    EXPECT_FALSE(c->showsCursor);
    EXPECT_EQ(c->captureResolution, SCCaptureResolution::nominal);
    c = Monitor::stripConfiguration(200, 5);
    EXPECT_EQ(c->sourceRect, (Rect{0, 4, 200, 1}));  // at least one point high
    EXPECT_EQ(c->width, 200);
    EXPECT_EQ(c->height, 1);
    EXPECT_EQ(Monitor::stripConfiguration(3000, 20)->height, 1);
    EXPECT_FALSE(Monitor::stripConfiguration(0.5, 1080));
    EXPECT_FALSE(Monitor::stripConfiguration(1920, 0));
}

TEST(WallpaperBrightnessRules, LuminanceOfTheByteRoundedAverage) {
    EXPECT_DOUBLE_EQ(*Monitor::luminance(Image::filled(4, 2, 0xFFFFFFFF)), 1.0);
    Image halves = Image::filled(2, 1, 0x000000FF);
    halves.pixels[1] = 0xFFFFFFFF;
    EXPECT_DOUBLE_EQ(*Monitor::luminance(halves), 128.0 / 255);                      // 127.5 rounds up
    EXPECT_DOUBLE_EQ(*Monitor::luminance(Image::filled(1, 1, 0xFF0000FF)), 0.2126);  // no linearising
    EXPECT_FALSE(Monitor::luminance(Image::filled(3, 3, 0xFFFFFF0C)));               // alpha 0.047
    EXPECT_TRUE(Monitor::luminance(Image::filled(3, 3, 0xFFFFFF0D)));
    EXPECT_FALSE(Monitor::luminance(Image{}));
}

class WallpaperMonitorTest : public testing::TwoDisplays {
  protected:
    uint64_t mainDesk = sim.addSpace(main);
    std::shared_ptr<Monitor> monitor = Monitor::create(sim.platform());
    int posts = 0;
    Subscription counting = sim.notifications().addObserver(Monitor::kDidChangeNotification, nullptr,
                                                            [this](const Notification&) { ++posts; });
};

TEST_F(WallpaperMonitorTest, MeasurementsPostChangesOnlyKeepMissedReadingsAndDropVanishedDisplays) {
    sim.setWallpaper(side, {0xF0F0F0, 0xFAFAFA});
    monitor->start();
    rt.runUntilIdle();
    EXPECT_EQ(monitor->lightByDisplay(), (std::map<uint32_t, bool>{{main, false}, {side, true}}));
    EXPECT_EQ(posts, 1);
    // Windows are left out: a light one covering the main display changes nothing.
    sim.openWindow(sim.launchApp(std::string("com.example.a"), "A"), "w", mainDesk, Rect{0, 0, 1440, 900});
    monitor->refresh();
    rt.runUntilIdle();
    EXPECT_EQ(posts, 1);

    sim.screenCapture().setCaptureFault(CaptureFault::fail);
    sim.setWallpaper(side, {0x101010, 0x101010});
    monitor->refresh();
    rt.runUntilIdle();
    EXPECT_TRUE(monitor->isLight(side));
    sim.screenCapture().setCaptureFault(CaptureFault::none);

    sim.removeDisplay(side);
    rt.runUntilIdle();
    EXPECT_EQ(monitor->lightByDisplay(), (std::map<uint32_t, bool>{{main, false}}));
    EXPECT_EQ(posts, 2);
    EXPECT_FALSE(monitor->isLight(side));
    EXPECT_FALSE(monitor->isLight(std::nullopt));
}

}  // namespace
}  // namespace qv
