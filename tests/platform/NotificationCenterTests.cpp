#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "platform/NotificationCenter.h"

namespace qv {
namespace {

TEST(NotificationCenterTest, ObserversWithoutAQueueHearSynchronouslyAndOnlyTheirName) {
    NotificationCenter center;
    std::vector<std::string> heard;
    auto sub = center.addObserver("A", nullptr, [&](const Notification& n) { heard.push_back(n.name); });
    center.post("B");
    center.post("A", Value::number(1));
    EXPECT_EQ(heard, std::vector<std::string>{"A"});
    EXPECT_EQ(center.observerCount("A"), 1u);
}

TEST(NotificationCenterTest, QueuedObserversHearOnTheirQueueUnlessRemovedMeanwhile) {
    ManualRuntime rt;
    NotificationCenter center;
    int heard = 0;
    auto sub = center.addObserver("A", rt.mainQueue(), [&](const Notification& n) {
        heard += n.userInfo["n"].asNumberObject()->int32Value();
    });
    center.post("A", Value::dictionary({{"n", Value::number(2)}}));
    EXPECT_EQ(heard, 0);
    rt.runUntilIdle();
    EXPECT_EQ(heard, 2);

    center.post("A", Value::dictionary({{"n", Value::number(5)}}));
    sub.cancel();
    rt.runUntilIdle();
    EXPECT_EQ(heard, 2);
    EXPECT_EQ(center.observerCount("A"), 0u);
}

TEST(NotificationCenterTest, SubscriptionMayOutliveTheCentre) {
    Subscription sub;
    {
        NotificationCenter center;
        sub = center.addObserver("A", nullptr, [](const Notification&) {});
    }
    sub.cancel();
    SUCCEED();
}

}  // namespace
}  // namespace qv
