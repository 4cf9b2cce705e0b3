#include <gtest/gtest.h>

#include "bar/MouseDisplayTracker.h"
#include "platform/dispatch/ManualRuntime.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimEventTaps.h"

namespace qv {
namespace {

TEST(MouseDisplayTrackerRules, AFreshSampleWinsThenTheDebouncedDisplay) {
    using T = MouseDisplayTracker;
    EXPECT_EQ(T::preferredDisplay(2, 1, 10.0, 10.12), 2u);
    EXPECT_EQ(T::preferredDisplay(2, 1, 10.0, 10.13), 1u);
    EXPECT_EQ(T::preferredDisplay(2, std::nullopt, 10.0, 20.0), 2u);
    EXPECT_EQ(T::preferredDisplay(std::nullopt, 1, 10.0, 10.0), 1u);
}

class MouseDisplayTrackerTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t a = sim.addDisplay("A", Rect{0, 0, 1440, 900});
    uint32_t b = sim.addDisplay("B", Rect{1440, 0, 1280, 800});
    std::shared_ptr<MouseDisplayTracker> tracker = MouseDisplayTracker::create(sim.platform());

    // Points in AppKit's space: the primary screen is 900 high.
    void pointAt(uint32_t display) { sim.mouseMove(display == a ? Point{500, 500} : Point{2000, 500}); }
};

TEST_F(MouseDisplayTrackerTest, ABriefVisitToAnotherDisplayLeavesTheDebouncedDisplay) {
    pointAt(a);
    tracker->start();
    tracker->start();
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), a);
    const size_t pendingWithOneTimer = rt.pendingCount();

    pointAt(b);
    rt.advance(0.02);
    EXPECT_EQ(tracker->preferredDisplayID(), b);  // from the next sample
    EXPECT_EQ(tracker->debouncedDisplayID(), a);
    pointAt(a);
    rt.advance(0.03);
    EXPECT_EQ(tracker->preferredDisplayID(), a);
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), a);
    EXPECT_EQ(rt.pendingCount(), pendingWithOneTimer);

    pointAt(b);
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), b);
}

TEST_F(MouseDisplayTrackerTest, OutsideEveryDisplayAndAfterStopping) {
    pointAt(a);
    tracker->start();
    rt.advance(0.1);
    sim.mouseMove(Point{5000, 500});
    rt.advance(0.02);
    EXPECT_EQ(tracker->instantaneousDisplayID(), std::nullopt);
    EXPECT_EQ(tracker->preferredDisplayID(), a);  // the debounced display until it follows
    rt.advance(0.06);
    EXPECT_EQ(tracker->preferredDisplayID(), std::nullopt);

    pointAt(b);
    rt.advance(0.1);
    tracker->stop();
    rt.advance(0.01);
    const Seconds last = tracker->lastSampleAt();
    pointAt(a);
    rt.advance(0.2);
    EXPECT_EQ(tracker->lastSampleAt(), last);
    EXPECT_FALSE(tracker->isStarted());
    EXPECT_EQ(tracker->preferredDisplayID(), b);

    // A sample whose event cannot be made changes nothing.
    sim.eventTaps().setEventCreationFails(true);
    tracker->start();
    rt.advance(0.1);
    EXPECT_EQ(tracker->lastSampleAt(), last);
}

}  // namespace
}  // namespace qv
