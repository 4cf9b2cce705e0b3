#include <gtest/gtest.h>

#include <limits>

#include "tracking/ListedWindow.h"

namespace qv {
namespace {

constexpr int32_t kOwner = 501;

CGWindowInfo entry(Rect bounds, Value::Dictionary more = {}) {
    more.emplace(CGWindowKeys::ownerPID, Value::number(kOwner));
    more.emplace(CGWindowKeys::layer, Value::number(0));
    more.emplace(CGWindowKeys::bounds, dictionaryFromRect(bounds));
    return CGWindowInfo{Value::dictionary(std::move(more))};
}

bool passes(const CGWindowInfo& info, WindowListTests tests) {
    return listedWindow(7, info, {kOwner}, tests).has_value();
}

TEST(ListedWindowTest, ThePassesPartOnlyOverAlphaAndASizeThatIsNotANumber) {
    const Rect fine{10, 20, 40, 40};
    for (WindowListTests tests : {kRescanListTests, kSoleWindowListTests, kFirstLookListTests}) {
        EXPECT_EQ(listedWindow(7, entry(fine), {kOwner}, tests)->bounds, fine);
        EXPECT_FALSE(listedWindow(7, entry(fine), {}, tests));  // an owner that is not eligible
        EXPECT_FALSE(passes(entry({10, 20, 39.9, 40}), tests));
        EXPECT_FALSE(passes(entry(fine, {{CGWindowKeys::layer, Value::number(3)}}), tests));
    }

    const CGWindowInfo clear = entry(fine, {{CGWindowKeys::alpha, Value::number(0)}});
    EXPECT_FALSE(passes(clear, kRescanListTests));
    EXPECT_FALSE(passes(clear, kSoleWindowListTests));
    EXPECT_TRUE(passes(clear, kFirstLookListTests));

    const CGWindowInfo unmeasurable = entry({10, 20, std::numeric_limits<double>::quiet_NaN(), 40});
    EXPECT_FALSE(passes(unmeasurable, kRescanListTests));
    EXPECT_TRUE(passes(unmeasurable, kSoleWindowListTests));
    EXPECT_TRUE(passes(unmeasurable, kFirstLookListTests));
}

TEST(ListedWindowTest, OnlyTheStartUpScanNamesAWindowUnknownAndReadsEveryTitleLive) {
    RunningApplication app;
    app.processIdentifier = kOwner;
    app.localizedName = "Editor";
    const ListedWindow listed{7, kOwner, {0, 0, 100, 100}};
    const CGWindowInfo info = entry({0, 0, 100, 100}, {{CGWindowKeys::windowName, Value::string("Name")}});

    const TrackedWindow built = trackedWindowOf(listed, info, app, AppNameFallback::runningApplication);
    EXPECT_EQ(built.appName, "Editor");
    EXPECT_EQ(built.windowTitle, "Name");
    EXPECT_EQ(trackedWindowOf(listed, info, app, AppNameFallback::unknown).appName, "Unknown");
    const CGWindowInfo named = entry({0, 0, 100, 100}, {{CGWindowKeys::ownerName, Value::string("Owner")}});
    EXPECT_EQ(trackedWindowOf(listed, named, app, AppNameFallback::unknown).appName, "Owner");

    AXWindowList list;
    list.hasList = true;
    list.metadataByID[7] = AXWindowMetadata{"Listed", "AXWindow", "AXStandardWindow", false, true};
    list.elementsByID.emplace(7, AXElement(kOwner, 7));
    TrackedWindow taken = built;
    EXPECT_FALSE(describeFromList(taken, list, ListedTitle::taken));
    EXPECT_EQ(taken.windowTitle, "Listed");
    EXPECT_TRUE(taken.isMinimized);
    TrackedWindow readLive = built;
    EXPECT_EQ(describeFromList(readLive, list, ListedTitle::readLive), AXElement(kOwner, 7));
    EXPECT_EQ(readLive.windowTitle, "Name");

    // Without a title in the list both read it live; the window name stands until then.
    list.metadataByID[7].title = std::nullopt;
    TrackedWindow untitled = built;
    EXPECT_TRUE(describeFromList(untitled, list, ListedTitle::taken));
    EXPECT_EQ(untitled.windowTitle, "Name");
}

}  // namespace
}  // namespace qv
