#include <gtest/gtest.h>

#include "support/SimDesktops.h"

namespace qv {
namespace {

class SimDesktopTest : public testing::TwoDesktops {
  protected:
    Platform& p = sim.platform();
    int32_t app = launch("com.example.app", "App");

    uint32_t open(std::string title, uint64_t space, Rect frame = {100, 100, 800, 600}) {
        return TwoDesktops::open(app, std::move(title), space, frame);
    }
    static std::vector<uint64_t> ids(const std::optional<Value>& v) {
        std::vector<uint64_t> out;
        auto numbers = v->asNumberArray();
        for (auto& n : *numbers) out.push_back(n.uint64Value());
        return out;
    }
};

TEST_F(SimDesktopTest, WindowListEntriesCarryThePlatformKeysFrontToBackOnScreenFirst) {
    uint32_t back = open("Back", s1);
    uint32_t other = open("Other desktop", s2);
    uint32_t front = open("Front", s1);
    auto list = p.windowServer.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0);
    ASSERT_TRUE(list);
    const auto& entries = *list->asArray();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]["kCGWindowNumber"].asNumberObject()->uint32Value(), front);
    EXPECT_EQ(entries[1]["kCGWindowNumber"].asNumberObject()->uint32Value(), back);
    EXPECT_EQ(entries[2]["kCGWindowNumber"].asNumberObject()->uint32Value(), other);
    EXPECT_EQ(entries[0]["kCGWindowOwnerName"], Value::string("App"));
    EXPECT_EQ(entries[0]["kCGWindowName"], Value::string("Front"));
    EXPECT_EQ(entries[0]["kCGWindowIsOnscreen"], Value::boolean(true));
    EXPECT_FALSE(entries[2].has("kCGWindowIsOnscreen"));
    EXPECT_EQ(*rectFromDictionary(entries[0]["kCGWindowBounds"]), (Rect{100, 100, 800, 600}));

    auto onScreen = p.windowServer.copyWindowList(windowlist::kOptionOnScreenOnly, 0);
    EXPECT_EQ(onScreen->asArray()->size(), 2u);
    auto above = p.windowServer.copyWindowList(windowlist::kOptionOnScreenAboveWindow, back);
    ASSERT_EQ(above->asArray()->size(), 1u);
    EXPECT_EQ((*above->asArray())[0]["kCGWindowNumber"].asNumberObject()->uint32Value(), front);
}

TEST_F(SimDesktopTest, WithoutScreenRecordingOnlyOurOwnWindowsHaveNames) {
    open("Doc", s1);
    SimWindowSpec panel;
    panel.pid = sim.ownPID();
    panel.title = "Bar";
    panel.space = s1;
    sim.openWindow(panel);
    sim.setScreenRecordingGranted(false);
    std::map<std::string, Value> names;
    auto list = p.windowServer.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0);
    for (const Value& entry : *list->asArray())
        names[*entry["kCGWindowOwnerName"].asString()] = entry["kCGWindowName"];
    EXPECT_EQ(names["App"], Value());
    EXPECT_EQ(names["QuillVorn"], Value::string("Bar"));
}

TEST_F(SimDesktopTest, PerSpaceListingLeavesMinimisedWindowsOutButTheirSpacesAreKnown) {
    uint32_t a = open("A", s1);
    uint32_t minimised = open("M", s1);
    sim.setWindowMinimized(minimised, true);
    uint64_t set = 0, clear = 0x4000000000ull;
    auto listed = p.windowServer.copyWindowsWithOptionsAndTags(sim.connectionID(), 0,
                                                               numberArray(std::vector{s1}), 2, &set, &clear);
    EXPECT_EQ(ids(listed), std::vector<uint64_t>{a});
    auto spaces =
        p.windowServer.copySpacesForWindows(sim.connectionID(), 7, numberArray(std::vector{minimised}));
    EXPECT_EQ(ids(spaces), std::vector<uint64_t>{s1});
    EXPECT_FALSE(p.windowServer.copySpacesForWindows(sim.connectionID(), 7, Value::string("x")));

    // The windows of an application that quits leave the listing with it.
    sim.terminateApp(app);
    listed = p.windowServer.copyWindowsWithOptionsAndTags(sim.connectionID(), 0, numberArray(std::vector{s1}),
                                                          2, &set, &clear);
    EXPECT_TRUE(ids(listed).empty());
}

TEST_F(SimDesktopTest, ManagedDisplaySpacesPerDisplayOrOneMainEntry) {
    uint32_t side = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    uint64_t s3 = sim.addSpace(side, kSimSpaceTypeFullScreen);
    sim.switchToSpace(s2);
    sim.finishDesktopSwitches();
    auto listing = p.windowServer.copyManagedDisplaySpaces(sim.connectionID());
    ASSERT_TRUE(listing && listing->asDictionaryArray());
    const auto& displays = *listing->asArray();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(*displays[0]["Display Identifier"].asString(), sim.display(display)->uuid);
    EXPECT_EQ(displays[0]["Current Space"]["id64"].asNumberObject()->uint64Value(), s2);
    EXPECT_EQ(displays[0]["Spaces"].asArray()->size(), 2u);
    EXPECT_EQ((*displays[1]["Spaces"].asArray())[0]["type"].asNumberObject()->int64Value(), 4);
    EXPECT_EQ((*displays[1]["Spaces"].asArray())[0]["ManagedSpaceID"].asNumberObject()->uint64Value(), s3);

    sim.setDisplaysHaveSeparateSpaces(false);
    auto shared = p.windowServer.copyManagedDisplaySpaces(sim.connectionID());
    ASSERT_EQ(shared->asArray()->size(), 1u);
    EXPECT_EQ((*shared->asArray())[0]["Display Identifier"], Value::string("Main"));
    EXPECT_EQ((*shared->asArray())[0]["Spaces"].asArray()->size(), 3u);
}

TEST_F(SimDesktopTest, ScreensPutThePrimaryFirstAndFlipDisplaysStackedAbove) {
    SimDesktop stacked(rt);
    uint32_t upper = stacked.addDisplay("Upper", Rect{200, -900, 1440, 900}, 7);
    uint32_t primary = stacked.addDisplay("Primary", Rect{0, 0, 1920, 1080}, 3);
    auto screens = stacked.platform().displays.screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0].localizedName, "Primary");
    EXPECT_EQ(screens[0].frame, (Rect{0, 0, 1920, 1080}));
    EXPECT_EQ(screens[1].frame, (Rect{200, 1080, 1440, 900}));
    EXPECT_EQ(screens[1].visibleFrame.height(), 875);
    EXPECT_EQ(screens[1].deviceDescription["NSScreenNumber"].asNumberObject()->uint32Value(), upper);
    EXPECT_EQ(stacked.platform().displays.mainDisplayID(), primary);
    std::vector<uint32_t> active;
    EXPECT_EQ(stacked.platform().displays.getActiveDisplayList(32, active), 0);
    EXPECT_EQ(active, (std::vector<uint32_t>{upper, primary}));
}

TEST_F(SimDesktopTest, SpaceMembershipCallsChangeTheWorldUnlessRefusedAndAreLogged) {
    uint32_t w = open("W", s1);
    Value windows = numberArray(std::vector{w});
    EXPECT_EQ(p.windowServer.addWindowsToSpaces(sim.connectionID(), windows, numberArray(std::vector{s2})),
              0);
    EXPECT_EQ(sim.window(w)->spaces, (std::set<uint64_t>{s1, s2}));
    p.windowServer.removeWindowsFromSpaces(sim.connectionID(), windows, numberArray(std::vector{s1}));
    EXPECT_EQ(sim.window(w)->spaces, (std::set<uint64_t>{s2}));

    sim.overrides.refuseAddWindowsToSpaces = true;
    EXPECT_NE(p.windowServer.addWindowsToSpaces(sim.connectionID(), windows, numberArray(std::vector{s1})),
              0);
    EXPECT_EQ(sim.window(w)->spaces, (std::set<uint64_t>{s2}));
    EXPECT_EQ(sim.callsNamed("CGSAddWindowsToSpaces").size(), 2u);
    EXPECT_EQ(sim.callsNamed("CGSRemoveWindowsFromSpaces").size(), 1u);
}

TEST_F(SimDesktopTest, OverridesReplaceAnswersWithRawValuesOrNoResult) {
    sim.overrides.managedDisplaySpaces = [] { return std::optional<Value>(Value::string("garbage")); };
    EXPECT_EQ(*p.windowServer.copyManagedDisplaySpaces(1), Value::string("garbage"));
    sim.overrides.windowList = [](uint32_t) { return std::optional<Value>(); };
    EXPECT_FALSE(p.windowServer.copyWindowList(0, 0));
    sim.missingEntryPoints.insert("SLSWindowIteratorAdvance");
    EXPECT_FALSE(p.windowServer.hasEntryPoint("SLSWindowIteratorAdvance"));
    EXPECT_TRUE(p.windowServer.hasEntryPoint("SLSWindowQueryWindows"));
    EXPECT_FALSE(p.windowServer.hasEntryPoint("SLSNoSuchCall"));
}

TEST_F(SimDesktopTest, EdgeReservationsAreRecordedAndClearedWithZero) {
    p.windowServer.spaceSetEdgeReservation(sim.connectionID(), s1, 2, 0, 0, 0, 44);
    EXPECT_EQ(sim.edgeReservations.at(s1), 44);
    p.windowServer.spaceSetEdgeReservation(sim.connectionID(), s1, 2, 0, 0, 0, 0);
    EXPECT_FALSE(sim.edgeReservations.contains(s1));
}

TEST_F(SimDesktopTest, WorkspaceFollowsLaunchActivationAndTermination) {
    std::vector<std::string> heard;
    auto sub = p.workspace.notificationCenter().addObserver(
        notifications::kWorkspaceDidTerminateApplication, nullptr, [&](const Notification& n) {
            heard.push_back(std::to_string(
                n.userInfo[notifications::kWorkspaceApplicationKey].asNumberObject()->int32Value()));
        });
    open("W", s1);
    sim.activateApp(app);
    ASSERT_TRUE(p.workspace.frontmostApplication());
    EXPECT_EQ(p.workspace.frontmostApplication()->processIdentifier, app);
    EXPECT_TRUE(p.workspace.runningApplication(app)->isActive);

    sim.terminateApp(app);
    EXPECT_FALSE(p.workspace.frontmostApplication());
    EXPECT_FALSE(p.workspace.runningApplication(app));
    EXPECT_TRUE(sim.windows().empty());
    EXPECT_EQ(heard, std::vector<std::string>{std::to_string(app)});

    // Our own process is listed as an accessory application.
    auto own = p.workspace.runningApplication(p.system.currentProcessID());
    ASSERT_TRUE(own);
    EXPECT_EQ(own->activationPolicy, ActivationPolicy::accessory);
}

TEST_F(SimDesktopTest, ADesktopSwitchLandsAtItsEndAndALaterOneTakesItsPlace) {
    const uint64_t s3 = sim.addSpace(display);
    int changes = 0;
    auto observer = sim.workspaceNotifications().addObserver(notifications::kWorkspaceActiveSpaceDidChange,
                                                             nullptr, [&](const Notification&) { ++changes; });
    const uint32_t held = open("Held", s1);
    ASSERT_TRUE(sim.grabWindow(held, Point{300, 110}));
    sim.switchToSpace(s2);
    rt.advance(0.2);
    EXPECT_TRUE(sim.isActiveSpace(s1));
    sim.switchToSpace(s3);  // starts afresh
    rt.advance(SimDesktop::kDesktopSwitchSeconds - 0.01);
    EXPECT_TRUE(sim.isActiveSpace(s1));
    EXPECT_EQ(changes, 0);
    rt.advance(0.01);
    EXPECT_TRUE(sim.isActiveSpace(s3));
    EXPECT_EQ(sim.window(held)->spaces, std::set<uint64_t>{s3});  // taken along at the end
    EXPECT_EQ(changes, 1);

    // Taken back to the desktop shown, a switch is still announced.
    sim.switchToSpace(s2);
    rt.advance(0.1);
    sim.switchToSpace(s3);
    rt.advance(SimDesktop::kDesktopSwitchSeconds);
    EXPECT_TRUE(sim.isActiveSpace(s3));
    EXPECT_EQ(changes, 2);
}

// A monitor plugged back is itself under a new id: its UUID, frame and wallpaper come back; one
// that is not away does not.
TEST_F(SimDesktopTest, AnUnpluggedMonitorComesBackAsItself) {
    const uint32_t side = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    sim.setWallpaper(side, {0x102030, 0x405060});
    const std::string uuid = sim.display(side)->uuid;
    sim.removeDisplay(side);
    const uint32_t back = sim.reconnectDisplay("Side", std::nullopt, 1);
    EXPECT_NE(back, side);
    EXPECT_EQ(sim.display(back)->uuid, uuid);
    EXPECT_EQ(sim.display(back)->frame, (Rect{1920, 0, 1440, 900}));
    EXPECT_EQ(sim.wallpaper(back).from, 0x102030u);
    EXPECT_EQ(sim.reconnectDisplay("Side", std::nullopt, 0), 0u);  // none of that name is away now
}

TEST_F(SimDesktopTest, ParentLookupThroughTheWindowQueryEntryPoints) {
    uint32_t parent = open("Parent", s1);
    SimWindowSpec child;
    child.pid = app;
    child.space = s1;
    child.parent = parent;
    uint32_t c = sim.openWindow(child);
    auto& ws = p.windowServer;
    auto q = ws.windowQueryWindows(sim.connectionID(), numberArray(std::vector{parent, c}), 2);
    auto it = ws.windowQueryResultCopyWindows(*q);
    std::vector<std::pair<uint32_t, uint32_t>> seen;
    while (ws.windowIteratorAdvance(*it))
        seen.emplace_back(ws.windowIteratorGetWindowID(*it), ws.windowIteratorGetParentID(*it));
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint32_t>>{{parent, 0}, {c, parent}}));
}

}  // namespace
}  // namespace qv

#include "platform/Backend.h"
#include "sim/WorldDriver.h"

namespace qv {
namespace {

TEST(SimBackendTest, TheWorldDriverOpensAndClosesWindowsOfRunningApplications) {
    ManualRuntime rt;
    auto backend = makeBackend(rt);
    WorldDriver& world = *backend->world();
    world.buildDemoDesktop();
    auto front = backend->platform().workspace.frontmostApplication();
    ASSERT_TRUE(front);
    uint32_t id =
        world.openWindow(front->processIdentifier, "Scratch", Rect{300, 200, 600, 400}, std::nullopt);
    ASSERT_NE(id, 0u);
    auto entries = backend->platform().windowServer.createDescriptionFromArray(numberArray(std::vector{id}));
    ASSERT_EQ(entries->asArray()->size(), 1u);
    EXPECT_EQ((*entries->asArray())[0]["kCGWindowName"], Value::string("Scratch"));
    auto listed = [&] {
        auto all = world.windows();
        return std::any_of(all.begin(), all.end(), [&](const WorldWindow& w) { return w.id == id; });
    };
    EXPECT_TRUE(listed());
    world.closeWindow(id);
    EXPECT_FALSE(listed());
    EXPECT_EQ(world.openWindow(99999, "Nobody's", Rect{0, 0, 100, 100}, std::nullopt), 0u);
}

}  // namespace
}  // namespace qv
