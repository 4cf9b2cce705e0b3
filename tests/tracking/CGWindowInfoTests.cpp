#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "tracking/CGWindowInfo.h"

namespace qv {
namespace {

CGWindowInfo entry(Value::Dictionary d) {
    return CGWindowInfo{Value::dictionary(std::move(d))};
}

TEST(CGWindowInfoTest, FieldsBridgeNumberObjectsAndTakeNativeValuesOnlyInTheirExactType) {
    CGWindowInfo info = entry({
        {CGWindowKeys::windowNumber, Value::number(NumberObject::ofUnsigned(0x1000000FFull))},
        {CGWindowKeys::ownerPID, Value::number(NumberObject::ofSigned(-5))},
        {CGWindowKeys::layer, Value::number(2.9)},
        {CGWindowKeys::alpha, Value::number(1)},
    });
    EXPECT_EQ(info.windowID(), 0xFFu);
    EXPECT_EQ(info.ownerPID(), -5);
    EXPECT_EQ(info.layer(), 2);
    EXPECT_EQ(info.alpha(), 1.0f);

    // Native values count only in their exact type.
    CGWindowInfo exact = entry({
        {CGWindowKeys::windowNumber, Value::uint32(77)},
        {CGWindowKeys::ownerPID, Value::int32(501)},
        {CGWindowKeys::alpha, Value::float32(0.5f)},
    });
    EXPECT_EQ(exact.windowID(), 77u);
    EXPECT_EQ(exact.ownerPID(), 501);
    EXPECT_EQ(exact.alpha(), 0.5f);

    CGWindowInfo wrong = entry({
        {CGWindowKeys::windowNumber, Value::string("77")},
        {CGWindowKeys::ownerPID, Value::int64(501)},
        {CGWindowKeys::alpha, Value::float64(0.5)},
        {CGWindowKeys::ownerName, Value::number(1)},
    });
    EXPECT_FALSE(wrong.windowID());
    EXPECT_FALSE(wrong.ownerPID());
    EXPECT_FALSE(wrong.alpha());
    EXPECT_FALSE(wrong.ownerName());

    // An empty entry gives nothing.
    CGWindowInfo empty = entry({});
    EXPECT_FALSE(empty.windowID());
    EXPECT_FALSE(empty.ownerPID());
    EXPECT_FALSE(empty.layer());
    EXPECT_FALSE(empty.bounds());
    EXPECT_FALSE(empty.alpha());
    EXPECT_FALSE(empty.ownerName());
    EXPECT_FALSE(empty.windowName());
}

TEST(CGWindowInfoTest, BoundsMustBeACompleteRectangleDictionary) {
    EXPECT_EQ(entry({{CGWindowKeys::bounds, dictionaryFromRect(Rect{1, 2, 40, 50})}}).bounds(),
              (Rect{1, 2, 40, 50}));
    EXPECT_FALSE(entry({{CGWindowKeys::bounds, Value::dictionary({{"X", Value::number(1)}})}}).bounds());
    EXPECT_FALSE(entry({{CGWindowKeys::bounds, Value::string("{{0,0},{1,1}}")}}).bounds());
}

TEST(CGWindowInfoTest, WindowInfoListRejectsListsWithNonDictionaries) {
    EXPECT_FALSE(windowInfoList(std::nullopt));
    EXPECT_FALSE(windowInfoList(Value::number(1)));
    EXPECT_FALSE(windowInfoList(Value::array({Value::dictionary({}), Value::number(1)})));
    EXPECT_EQ(windowInfoList(Value::array({Value::dictionary({}), Value::dictionary({})}))->size(), 2u);
}

TEST(DockEligibleOwnerPIDsTest, OnlyRunningRegularAppsOutsideTheSystemList) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    int32_t regular = sim.launchApp(std::string("com.example.app"), "App");
    int32_t noBundle = sim.launchApp(std::nullopt, "Script");
    sim.launchApp(std::string("com.apple.dock"), "Dock");
    sim.launchApp(std::string("com.apple.Spotlight"), "Spotlight");
    sim.launchApp(std::string("com.example.menu"), "Menu", ActivationPolicy::accessory);
    sim.launchApp(std::string("com.example.daemon"), "Daemon", ActivationPolicy::prohibited);
    int32_t dying = sim.launchApp(std::string("com.example.dying"), "Dying");
    sim.app(dying)->terminated = true;  // terminated but still listed
    // The comparison is exact: a differently cased system id is an ordinary app.
    int32_t cased = sim.launchApp(std::string("com.apple.DOCK"), "Impostor");

    auto pids = dockEligibleOwnerPIDs(sim.platform().workspace, 5.0);
    EXPECT_EQ(pids, (std::unordered_set<int32_t>{regular, noBundle, cased}));

    // No regular application gives the empty set.
    SimDesktop bare(rt);  // only our own accessory process runs
    EXPECT_TRUE(dockEligibleOwnerPIDs(bare.platform().workspace).empty());
}

}  // namespace
}  // namespace qv
