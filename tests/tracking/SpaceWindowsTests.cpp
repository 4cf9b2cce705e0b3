#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "tracking/SpaceWindows.h"

namespace qv {
namespace {

using SpaceInfo = SpaceWindows::SpaceInfo;

Value spaceDict(uint64_t id, int64_t type = 0) {
    return Value::dictionary(
        {{"id64", Value::number(NumberObject::ofUnsigned(id))}, {"type", Value::number(type)}});
}

class SpaceWindowsTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t main = sim.addDisplay("Main", Rect{0, 0, 1920, 1080}, 1);
    uint32_t side = sim.addDisplay("Side", Rect{1920, 0, 1440, 900}, 3);
    uint64_t m1 = sim.addSpace(main);
    uint64_t m2 = sim.addSpace(main);
    uint64_t mfs = sim.addSpace(main, kSimSpaceTypeFullScreen);
    uint64_t s1 = sim.addSpace(side);
    uint32_t cid = sim.connectionID();

    SpaceWindows spaces() { return SpaceWindows(sim.platform()); }
    void answerSpaces(Value listing) {
        sim.overrides.managedDisplaySpaces = [listing] { return std::optional<Value>(listing); };
    }
    std::vector<Screen> screens() { return sim.platform().displays.screens(); }
    uint32_t openWindow(std::set<uint64_t> on, uint32_t parent = 0) {
        int32_t pid = sim.launchApp(std::string("com.example.app"), "App");
        SimWindowSpec spec;
        spec.pid = pid;
        spec.space = 0;
        spec.parent = parent;
        uint32_t id = sim.openWindow(spec);
        sim.setWindowSpaces(id, std::move(on));
        return id;
    }
};

TEST_F(SpaceWindowsTest, GetSpacesKeepsDisplayThenSpaceOrderWithTypes) {
    auto all = spaces().getSpaces(cid);
    std::string mainUUID = sim.display(main)->uuid, sideUUID = sim.display(side)->uuid;
    EXPECT_EQ(all, (std::vector<SpaceInfo>{{0, mainUUID, 0, m1, 0},
                                           {0, mainUUID, 1, m2, 0},
                                           {0, mainUUID, 2, mfs, 4},
                                           {1, sideUUID, 0, s1, 0}}));
    EXPECT_TRUE(all[2].isFullScreen());
}

TEST_F(SpaceWindowsTest, GetSpacesReadsOddListings) {
    answerSpaces(Value::array({
        Value::dictionary(
            {{"Display Identifier", Value::string("  \n")}, {"Spaces", Value::array({spaceDict(10)})}}),
        Value::dictionary({{"Display Identifier", Value::number(42)}}),  // no Spaces: contributes nothing
        Value::dictionary(
            {{"Spaces",
              Value::array({
                  Value::dictionary({{"id", Value::number(5)}}),  // neither id key: skipped
                  Value::dictionary({{"ManagedSpaceID", Value::number(12)}, {"type", Value::string("4")}}),
              })}}),
        Value::dictionary(
            {{"Display Identifier", Value::uuid("ab-cd")}, {"Spaces", Value::array({spaceDict(13, 4)})}}),
    }));
    EXPECT_EQ(spaces().getSpaces(cid),
              (std::vector<SpaceInfo>{
                  {0, "Display 0", 0, 10, 0}, {2, "Display 2", 1, 12, 0}, {3, "AB-CD", 0, 13, 4}}));
    EXPECT_EQ(SpaceWindows::displayIdentifier(Value::number(42), 1), "42");
    EXPECT_EQ(SpaceWindows::displayIdentifier(Value::string(" DEAD-BEEF "), 1), "DEAD-BEEF");

    // Unusable listings give no Spaces.
    answerSpaces(Value::string("no"));
    EXPECT_TRUE(spaces().getSpaces(cid).empty());
    answerSpaces(Value::array({Value::dictionary({}), Value::number(1)}));
    EXPECT_TRUE(spaces().getSpaces(cid).empty());
    sim.overrides.managedDisplaySpaces = [] { return std::optional<Value>(); };
    EXPECT_TRUE(spaces().getSpaces(cid).empty());
}

TEST_F(SpaceWindowsTest, SpaceIDConversionRules) {
    EXPECT_EQ(SpaceWindows::spaceID(Value::uint64(1ull << 40)), 1ull << 40);
    EXPECT_EQ(SpaceWindows::spaceID(Value::number(7)), 7u);
    EXPECT_EQ(SpaceWindows::spaceID(Value::int64(9)), 9u);
    EXPECT_FALSE(SpaceWindows::spaceID(Value::int64(-9)));
    EXPECT_EQ(SpaceWindows::spaceID(Value::uint32(11)), 11u);
    EXPECT_FALSE(SpaceWindows::spaceID(Value::string("7")));
    EXPECT_FALSE(SpaceWindows::spaceID(Value()));
    EXPECT_EQ(SpaceWindows::extractSpaceID(Value::dictionary({{"id", Value::number(3)}})), 3u);
    EXPECT_EQ(SpaceWindows::extractSpaceID(
                  Value::dictionary({{"id", Value::number(3)}, {"ManagedSpaceID", Value::number(4)}})),
              4u);
}

TEST_F(SpaceWindowsTest, ActiveSpaceIDsOnePerDisplayWithoutDuplicates) {
    sim.switchToSpace(m2);
    sim.finishDesktopSwitches();
    EXPECT_EQ(spaces().getActiveSpaceIDs(cid), (std::vector<uint64_t>{m2, s1}));

    answerSpaces(Value::array({
        Value::dictionary({{"Current Space", Value::number(8)}}),
        Value::dictionary({{"Current Space ID", Value::number(8)}}),
        Value::dictionary(
            {{"Spaces",
              Value::array({spaceDict(20), Value::dictionary({{"id64", Value::number(21)},
                                                              {"isCurrent", Value::boolean(true)}})})}}),
        Value::dictionary(
            {{"Spaces", Value::array({Value::dictionary(
                            {{"id64", Value::number(22)}, {"Current Space", Value::number(1)}})})}}),
    }));
    // The last display's flag is a number, not boolean true: it names no current Space.
    EXPECT_EQ(spaces().getActiveSpaceIDs(cid), (std::vector<uint64_t>{8, 21}));

    // No current Space anywhere: the active Space call answers.
    sim.overrides.activeSpace = 777;
    answerSpaces(Value::array({Value::dictionary({{"Spaces", Value::array({spaceDict(1)})}})}));
    EXPECT_EQ(spaces().getActiveSpaceIDs(cid), std::vector<uint64_t>{777});
    answerSpaces(Value::array({}));
    EXPECT_EQ(spaces().getActiveSpaceIDs(cid), std::vector<uint64_t>{777});
    answerSpaces(Value::number(3));
    EXPECT_EQ(spaces().getActiveSpaceIDs(cid), std::vector<uint64_t>{777});
}

TEST_F(SpaceWindowsTest, DisplayIdentifiersAreNormalisedBeforeMatching) {
    auto sw = spaces();
    auto list = screens();
    EXPECT_EQ(SpaceWindows::normalizedDisplayIdentifier(" {abc-Def}\n"), "ABC-DEF");
    for (const char* id : {"main", " Primary ", "{main}", "MAIN"}) {
        ASSERT_TRUE(sw.screen(id, list)) << id;
        EXPECT_EQ(SpaceWindows::displayID(*sw.screen(id, list)), main) << id;
    }
    std::string sideUUID = sim.display(side)->uuid;
    std::string lower = "{" + sideUUID + "}";
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(sw.screenIndex(lower, list), 1u);
    EXPECT_EQ(sw.screenIndex("3", list), 1u);
    EXPECT_EQ(sw.screenIndex("+1", list), 0u);
    EXPECT_FALSE(sw.screenIndex("9", list));
    EXPECT_FALSE(sw.screenIndex("{}", list));
    EXPECT_FALSE(sw.screenIndex("NOT-A-UUID", list));

    // DecimalIdentifiersAreNeverComparedAsUUIDs.
    SimDesktop odd(rt);
    odd.addDisplay("Odd", Rect{0, 0, 100, 100}, 5, "3");  // a display whose UUID text is "3"
    EXPECT_FALSE(SpaceWindows(odd.platform()).screenIndex("3", odd.platform().displays.screens()));
}

TEST_F(SpaceWindowsTest, ScreenIndexForASpaceFallsBackToItsDisplayPosition) {
    auto sw = spaces();
    auto list = screens();
    SpaceInfo unknown{1, "UNKNOWN", 0, 5, 0};
    EXPECT_EQ(sw.screenIndex(unknown, list), 1u);
    EXPECT_FALSE(sw.screenIndex(unknown, std::vector<Screen>{list[0]}));
    EXPECT_EQ(sw.screenIndex(SpaceInfo{0, sim.display(side)->uuid, 0, s1, 0}, list), 1u);
}

TEST_F(SpaceWindowsTest, ActiveSpaceOfAScreen) {
    auto sw = spaces();
    auto list = screens();
    sim.switchToSpace(m2);
    sim.finishDesktopSwitches();
    EXPECT_EQ(sw.activeSpace(list[0], cid)->spaceID, m2);
    EXPECT_EQ(sw.activeSpace(list[1], cid)->spaceID, s1);

    // With one shared set of Spaces, every screen gets its current Space without matching.
    sim.setDisplaysHaveSeparateSpaces(false);
    EXPECT_EQ(sw.activeSpace(list[1], cid)->spaceID, m2);

    // Narrower than getActiveSpaceIDs: a bare number under "Current Space" does not count.
    answerSpaces(Value::array({Value::dictionary({{"Current Space", Value::number(4)}})}));
    EXPECT_FALSE(sw.activeSpace(list[0], cid));
    answerSpaces(Value::array({Value::dictionary({{"Current Space ID", Value::number(4)}})}));
    EXPECT_EQ(sw.activeSpace(list[0], cid)->spaceID, 4u);
}

TEST_F(SpaceWindowsTest, SpacesOfAWindow) {
    uint32_t w = openWindow({m1, s1});
    EXPECT_EQ(spaces().spaceIDs(w, cid), (std::set<uint64_t>{m1, s1}));
    sim.overrides.spacesForWindows = [](const Value&) {
        return std::optional<Value>(Value::array({Value::string("x")}));
    };
    EXPECT_TRUE(spaces().spaceIDs(w, cid).empty());
}

TEST_F(SpaceWindowsTest, ParentWindowsOnlyFromOperatingSystem27) {
    uint32_t parent = openWindow({m1});
    uint32_t child = openWindow({m1}, parent);
    sim.setOperatingSystemMajorVersion(26);
    EXPECT_TRUE(spaces().parentWindowIDs({parent, child}, cid).empty());
    EXPECT_FALSE(spaces().filtersChildWindows());

    sim.setOperatingSystemMajorVersion(27);
    auto sw = spaces();
    EXPECT_TRUE(sw.filtersChildWindows());
    EXPECT_EQ(sw.parentWindowIDs({parent, child}, cid), (std::map<uint32_t, uint32_t>{{child, parent}}));
    EXPECT_TRUE(sw.parentWindowIDs({}, cid).empty());

    // All five entry points or none.
    sim.missingEntryPoints.insert("SLSWindowIteratorGetParentID");
    EXPECT_FALSE(spaces().hasWindowQueryFunctions());
    EXPECT_TRUE(spaces().parentWindowIDs({child}, cid).empty());
}

TEST_F(SpaceWindowsTest, MoveWindowExclusivelyPinsTheWindowToOneSpace) {
    uint32_t w = openWindow({m1, m2});
    spaces().moveWindowExclusively(w, s1);
    EXPECT_EQ(sim.window(w)->spaces, std::set<uint64_t>{s1});
    auto removals = sim.callsNamed("CGSRemoveWindowsFromSpaces");
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_EQ((*removals[0].args.asArray())[1], numberArray(std::vector<uint64_t>{m1, m2}));

    sim.callLog.clear();
    spaces().moveWindowExclusively(w, s1);  // already only there
    EXPECT_TRUE(sim.callsNamed("CGSRemoveWindowsFromSpaces").empty());
    EXPECT_EQ(sim.callsNamed("CGSAddWindowsToSpaces").size(), 1u);

    // AFailedAddNeverLeavesTheWindowOnNoSpace.
    uint32_t refused = openWindow({m1});
    sim.overrides.refuseAddWindowsToSpaces = true;
    spaces().moveWindowExclusively(refused, s1);
    EXPECT_EQ(sim.window(refused)->spaces, std::set<uint64_t>{m1});
    EXPECT_TRUE(sim.callsNamed("CGSRemoveWindowsFromSpaces").empty());
}

TEST_F(SpaceWindowsTest, BottomEdgeReservationPassesEdgeTwoAndTheHeight) {
    spaces().setBottomEdgeReservation(m1, 44);
    auto calls = sim.callsNamed("SLSSpaceSetEdgeReservation");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args,
              Value::array({Value::number(NumberObject::ofUnsigned(m1)), Value::number(2), Value::number(0.0),
                            Value::number(0.0), Value::number(0.0), Value::number(44.0)}));
    EXPECT_EQ(sim.edgeReservations.at(m1), 44);
}

TEST_F(SpaceWindowsTest, DisplayNumbersPutTheMainDisplayFirst) {
    SimDesktop world(rt);
    uint32_t left = world.addDisplay("Left", Rect{-1440, 0, 1440, 900}, 9);
    uint32_t primary = world.addDisplay("Primary", Rect{0, 0, 1920, 1080}, 4);
    SpaceWindows sw(world.platform());
    EXPECT_EQ(sw.displayNumber(world.display(primary)->uuid), 1);
    EXPECT_EQ(sw.displayNumber(" {" + world.display(left)->uuid + "} "), 2);
    EXPECT_EQ(sw.displayNumber("9"), 2);
    EXPECT_FALSE(sw.displayNumber("MAIN"));
    EXPECT_FALSE(sw.displayNumber("unknown"));
    world.overrides.activeDisplayListError = 1001;
    EXPECT_FALSE(sw.displayNumber("4"));
}

TEST_F(SpaceWindowsTest, PrimaryScreenMaxY) {
    auto sw = spaces();
    EXPECT_EQ(sw.primaryScreenMaxY({}), 0.0);
    EXPECT_EQ(sw.primaryScreenMaxY(screens()), 1080.0);
    // Without the main display in the list, the first screen's top edge.
    EXPECT_EQ(sw.primaryScreenMaxY({screens()[1]}), screens()[1].frame.maxY());
}

TEST_F(SpaceWindowsTest, DisplayIDOfAScreenNeedsANumber) {
    Screen s;
    EXPECT_FALSE(SpaceWindows::displayID(s));
    s.deviceDescription = Value::dictionary({{"NSScreenNumber", Value::string("1")}});
    EXPECT_FALSE(SpaceWindows::displayID(s));
    s.deviceDescription = Value::dictionary({{"NSScreenNumber", Value::number(5)}});
    EXPECT_EQ(SpaceWindows::displayID(s), 5u);
}

}  // namespace
}  // namespace qv
