#include <gtest/gtest.h>

#include <vector>

#include "dispatch/Published.h"

namespace qv {
namespace {

TEST(PublishedTest, SubscribeDeliversTheCurrentValueThenEachAssignment) {
    Published<int> p(1);
    std::vector<int> seen;
    auto sub = p.subscribe([&](const int& v) { seen.push_back(v); });
    p = 2;
    p = 2;  // every assignment is delivered, equal or not
    p = 3;
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 2, 3}));
}

TEST(PublishedTest, SubscribersSeeTheNewValueBeforeTheStoreHoldsIt) {
    Published<int> p(1);
    std::vector<int> storedDuringDelivery;
    auto sub = p.subscribeToChanges([&](const int&) { storedDuringDelivery.push_back(p.get()); });
    p = 5;
    EXPECT_EQ(storedDuringDelivery, std::vector<int>{1});
    EXPECT_EQ(p.get(), 5);
}

TEST(PublishedTest, AnUpdateInPlaceIsDeliveredOnceMade) {
    Published<std::vector<int>> p(std::vector<int>{1});
    std::vector<std::vector<int>> delivered, stored;
    auto sub = p.subscribeToChanges([&](const std::vector<int>& v) {
        delivered.push_back(v);
        stored.push_back(p.get());
    });
    p.update([](std::vector<int>& v) { v.push_back(2); });
    EXPECT_EQ(delivered, (std::vector<std::vector<int>>{{1, 2}}));
    EXPECT_EQ(stored, delivered);
}

TEST(PublishedTest, SubscribeToChangesSkipsTheCurrentValue) {
    Published<std::string> p("a");
    std::vector<std::string> seen;
    auto sub = p.subscribeToChanges([&](const std::string& v) { seen.push_back(v); });
    p = "b";
    EXPECT_EQ(seen, std::vector<std::string>{"b"});
}

TEST(PublishedTest, CancelledOrDestroyedSubscriptionsHearNothing) {
    Published<int> p(0);
    int a = 0, b = 0;
    auto subA = p.subscribeToChanges([&](const int&) { ++a; });
    {
        auto subB = p.subscribeToChanges([&](const int&) { ++b; });
        p = 1;
    }
    subA.cancel();
    p = 2;
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
}

TEST(PublishedTest, AHandlerMayCancelItselfAndSubscriptionsMayOutliveThePublisher) {
    Subscription outer;
    int calls = 0;
    {
        Published<int> p(0);
        outer = p.subscribeToChanges([&](const int&) {
            ++calls;
            outer.cancel();
        });
        p = 1;
        p = 2;
        auto late = p.subscribeToChanges([](const int&) {});
        outer = std::move(late);
    }
    outer.cancel();  // the publisher is gone; nothing happens
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace qv
