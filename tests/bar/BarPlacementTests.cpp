#include <gtest/gtest.h>

#include "bar/BarDebug.h"
#include "bar/BarGeometry.h"
#include "sim/SimWindowing.h"
#include "support/BarDesktop.h"
#include "support/BarManagerProbe.h"

namespace qv {
namespace {

TEST(BarDebugTest, ASwitchIsOnForExactlyTheTextOne) {
    EXPECT_TRUE(BarDebug::isOn("1"));
    for (const char* off : {"", "0", "true", "yes", " 1", "1 ", "01"})
        EXPECT_FALSE(BarDebug::isOn(off)) << off;
    EXPECT_FALSE(BarDebug::isOn(std::nullopt));

    ManualRuntime rt;
    SimDesktop sim{rt};
    sim.setEnvironmentVariable(BarDebug::kCursorOwnershipLogVariable, "1");
    const BarDebug debug = BarDebug::fromEnvironment(sim.platform().system);
    EXPECT_FALSE(debug.edgeReservationEnabled);
    EXPECT_TRUE(debug.cursorOwnershipLoggingEnabled);
}

TEST(BarGeometryTest, StripsAreSentInTheWindowServersSpace) {
    // A primary display of 1920 x 1080 with a 44-point bar, and a second one to its lower right.
    EXPECT_EQ(dockStripRect({0, 0, 1920, 1080}, 44, 1080), (Rect{0, 1036, 1920, 44}));
    EXPECT_EQ(dockStripRect({1920, -1080, 1920, 1080}, 44, 1080), (Rect{1920, 2116, 1920, 44}));
    EXPECT_EQ(dockStripRect({1920, -1080, 1920, 1080}, 0, 1080), (Rect{1920, 2160, 1920, 0}));
    EXPECT_EQ(barPanelFrame({1920, -1080, 1920, 1080}, 54), (Rect{1920, -1080, 1920, 54}));
}

TEST(BarGeometryTest, CoveredScreensKeepOneScreenPerDisplayNumber) {
    // Screens 1 and 3 report the same number: only the lower index counts; screen 2 has none.
    const std::vector<std::optional<uint32_t>> numbers{7, 9, std::nullopt, 9};
    EXPECT_EQ(coveredScreenIndices({3, 1, 2, 0, 8}, numbers), (std::vector<size_t>{0, 1, 2}));
    EXPECT_EQ(coveredScreenIndices({3}, numbers), (std::vector<size_t>{3}));
    EXPECT_TRUE(coveredScreenIndices({0}, {}).empty());
}

class BarManagerTest : public testing::BarDesktop {
  protected:
    uint64_t desk = sim.addSpace(main);
};

TEST_F(BarManagerTest, AStaleStripWhoseClearingWasRefusedIsClearedByTheNextPass) {
    settings->setShowOnAllDisplays(true);
    auto bar = makeBar();
    ASSERT_EQ(bar->mirrorPanels().size(), 1u);
    EXPECT_EQ(sim.dockRects[side], (Rect{1440, 764, 1280, 36}));
    EXPECT_EQ(bar->barHeight(side), 36);

    sim.overrides.dockRectError = 1000;
    settings->setShowOnAllDisplays(false);
    rt.runUntilIdle();
    EXPECT_TRUE(bar->mirrorPanels().empty());
    EXPECT_EQ(bar->barHeight(side), 0);
    EXPECT_TRUE(sim.dockRects.contains(side));  // refused: still registered

    sim.overrides.dockRectError.reset();
    bar->repositionPanels();
    EXPECT_FALSE(sim.dockRects.contains(side));
    const size_t sends = sim.callsNamed("SLSSetDockRectWithOrientation").size();
    bar->repositionPanels();  // nothing left to send
    EXPECT_EQ(sim.callsNamed("SLSSetDockRectWithOrientation").size(), sends);
}

TEST_F(BarManagerTest, ADisplayPluggedBackInUnderItsNumberIsGivenItsStripAgain) {
    sim.addSpace(side);
    auto bar = makeBar();
    // As the start-up's observer of the screens does.
    sim.removeDisplay(side);
    bar->syncPanels();
    sim.addDisplay("Side", Rect{1440, 0, 1280, 800}, side);
    sim.addSpace(side);
    bar->syncPanels();
    EXPECT_EQ(sim.dockRects[side], (Rect{1440, 764, 1280, 36}));
}

TEST_F(BarManagerTest, TheBarStartsItsServicesAndMakesAvoidanceAfreshForANewSize) {
    const int32_t app = sim.launchApp(std::string("com.example.editor"), "Editor");
    const uint32_t tall = sim.openWindow(app, "Tall", desk, Rect{100, 100, 800, 800});
    store->populate();
    rt.runUntilIdle();
    auto bar = makeBar();
    EXPECT_TRUE(BarManagerProbe::mouseDisplayTracker(*bar)->isStarted());
    EXPECT_EQ(BarManagerProbe::avoidanceManager(*bar)->barHeight(), 36);

    // The settings handler asks the new size's pass to run at once.
    settings->setBarSize(BarSize::xl);
    rt.runUntilIdle();
    EXPECT_EQ(BarManagerProbe::avoidanceManager(*bar)->barHeight(), 54);
    EXPECT_EQ(bar->panels().at(desk)->frame(), (Rect{0, 0, 1440, 54}));
    EXPECT_EQ(sim.window(tall)->frame, (Rect{100, 100, 800, 745}));

    auto content =
        std::dynamic_pointer_cast<BarContentView>(bar->panels().at(desk)->contentView()->rootView());
    content->onChipsAreaHoverChanged(true);
    EXPECT_TRUE(bar->panels().at(desk)->mouseIsOverChipsArea);
    auto tracker = BarManagerProbe::mouseDisplayTracker(*bar);
    bar.reset();
    rt.runUntilIdle();
    EXPECT_FALSE(tracker->isStarted());
}

TEST_F(BarManagerTest, CursorOwnershipIsObservedOverABarAndRepeatsAreKeptQuiet) {
    sim.setEnvironmentVariable(BarDebug::kCursorOwnershipLogVariable, "1");
    auto bar = makeBar();
    const std::string own = std::to_string(bar->panels().at(desk)->windowNumber());
    sim.mouseMove({700, 20});
    EXPECT_EQ(BarManagerProbe::lastCursorOwnershipLogSignature(*bar), own + "|" + own + "|0|20");
    const Seconds first = BarManagerProbe::lastCursorOwnershipLogAt(*bar);
    rt.advance(0.2);
    sim.mouseMove({700, 20});
    EXPECT_EQ(BarManagerProbe::lastCursorOwnershipLogAt(*bar), first);  // the same observation within 0.35 s
    rt.advance(0.2);
    sim.mouseMove({700, 20});
    EXPECT_EQ(BarManagerProbe::lastCursorOwnershipLogAt(*bar), first + 0.4);
    sim.mouseMove({700, 41});  // five points above the bar still counts, over nothing
    EXPECT_EQ(BarManagerProbe::lastCursorOwnershipLogSignature(*bar), own + "|0|0|41");
    sim.mouseMove({700, 43});  // beyond the grown frame
    EXPECT_EQ(BarManagerProbe::lastCursorOwnershipLogSignature(*bar), own + "|0|0|41");

    bar.reset();  // the monitors go with the manager
    EXPECT_EQ(sim.windowing().monitorCount(), 0u);
}

}  // namespace
}  // namespace qv
