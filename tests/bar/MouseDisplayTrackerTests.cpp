#include <gtest/gtest.h>

#include "bar/MouseDisplayTracker.h"
#include "sim/SimEventTaps.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

TEST(MouseDisplayTrackerRules, AFreshSampleWinsThenTheDebouncedDisplay) {
    using T = MouseDisplayTracker;
    EXPECT_EQ(T::preferredDisplay(2, 1, 10.0, 10.12), 2u);
    EXPECT_EQ(T::preferredDisplay(2, 1, 10.0, 10.13), 1u);
    EXPECT_EQ(T::preferredDisplay(2, std::nullopt, 10.0, 20.0), 2u);
    EXPECT_EQ(T::preferredDisplay(std::nullopt, 1, 10.0, 10.0), 1u);
}

class MouseDisplayTrackerTest : public testing::TwoDisplays {
  protected:
    std::shared_ptr<MouseDisplayTracker> tracker = MouseDisplayTracker::create(sim.platform());

    // Points in AppKit's space: the primary screen is 900 high.
    void pointAt(uint32_t display) { sim.mouseMove(display == main ? Point{500, 500} : Point{2000, 500}); }
};

TEST_F(MouseDisplayTrackerTest, ABriefVisitToAnotherDisplayLeavesTheDebouncedDisplay) {
    pointAt(main);
    tracker->start();
    tracker->start();
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), main);
    const size_t pendingWithOneTimer = rt.pendingCount();

    pointAt(side);
    rt.advance(0.02);
    EXPECT_EQ(tracker->preferredDisplayID(), side);  // from the next sample
    EXPECT_EQ(tracker->debouncedDisplayID(), main);
    pointAt(main);
    rt.advance(0.03);
    EXPECT_EQ(tracker->preferredDisplayID(), main);
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), main);
    EXPECT_EQ(rt.pendingCount(), pendingWithOneTimer);

    pointAt(side);
    rt.advance(0.1);
    EXPECT_EQ(tracker->debouncedDisplayID(), side);
}

TEST_F(MouseDisplayTrackerTest, OutsideEveryDisplayAndAfterStopping) {
    pointAt(main);
    tracker->start();
    rt.advance(0.1);
    sim.mouseMove(Point{5000, 500});
    rt.advance(0.02);
    EXPECT_EQ(tracker->instantaneousDisplayID(), std::nullopt);
    EXPECT_EQ(tracker->preferredDisplayID(), main);  // the debounced display until it follows
    rt.advance(0.06);
    EXPECT_EQ(tracker->preferredDisplayID(), std::nullopt);

    pointAt(side);
    rt.advance(0.1);
    tracker->stop();
    rt.advance(0.01);
    const Seconds last = tracker->lastSampleAt();
    pointAt(main);
    rt.advance(0.2);
    EXPECT_EQ(tracker->lastSampleAt(), last);
    EXPECT_FALSE(tracker->isStarted());
    EXPECT_EQ(tracker->preferredDisplayID(), side);

    // A sample whose event cannot be made changes nothing.
    sim.eventTaps().setEventCreationFails(true);
    tracker->start();
    rt.advance(0.1);
    EXPECT_EQ(tracker->lastSampleAt(), last);
}

}  // namespace
}  // namespace qv
