#include <gtest/gtest.h>

#include "model/BarViewModelFixture.h"
#include "support/WindowStoreProbe.h"

namespace qv {
namespace {

using Keys = std::vector<std::string>;
using IDs = std::vector<std::string>;

// --- Chips per desktop ---

TEST_F(BarModelTest, EverySpaceGetsItsWindowsAsChipsInWindowOrderAndEmptySpacesAnEmptyEntry) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t hidden = open(editor, "Hidden", m1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    uint32_t side = open(mail, "Side", s1, {2000, 100, 800, 600});
    start();

    std::vector<uint32_t> m1Chips;
    for (const ChipData& c : model->chipsBySpace->at(m1)) m1Chips.push_back(c.id);
    EXPECT_EQ(m1Chips, (std::vector<uint32_t>{doc, inbox, hidden}));
    for (uint64_t space : {m1, m2, full, s1}) {
        EXPECT_TRUE(model->chipsBySpace->contains(space)) << space;
        EXPECT_TRUE(model->displayItemsBySpace->contains(space)) << space;
    }
    EXPECT_EQ(model->chipsBySpace->size(), 4u);
    EXPECT_TRUE(model->chipsBySpace->at(m2).empty());
    EXPECT_TRUE(model->displayItemsBySpace->at(full).empty());
    EXPECT_EQ(model->chipsBySpace->at(s1).front().id, side);

    const ChipData& h = chip(m1, hidden);
    EXPECT_EQ(h.appName, "Editor");
    EXPECT_EQ(h.bundleIdentifier, kEditor);
    EXPECT_EQ(h.windowTitle, "Hidden");
    EXPECT_TRUE(h.isMinimized);
    EXPECT_FALSE(chip(m1, doc).isMinimized);
    EXPECT_EQ(model->spaces->size(), 4u);
    EXPECT_EQ(*model->activeSpaceID, m1);
}

TEST_F(BarModelTest, StoreChangesRefreshAtOnceAndOtherSourcesQueueARefreshOnTheMainQueue) {
    uint32_t doc = open(editor, "Doc", m1);
    start();
    int chips = 0, items = 0, spaces = 0, active = 0, focus = 0;
    Subscriptions subs;
    subs.push_back(model->chipsBySpace.subscribeToChanges([&](const auto&) { ++chips; }));
    subs.push_back(model->displayItemsBySpace.subscribeToChanges([&](const auto&) { ++items; }));
    subs.push_back(model->spaces.subscribeToChanges([&](const auto&) { ++spaces; }));
    subs.push_back(model->activeSpaceID.subscribeToChanges([&](const auto&) { ++active; }));
    subs.push_back(model->focusedWindowID.subscribeToChanges([&](const auto&) { ++focus; }));

    store->onChange();
    EXPECT_EQ(std::vector({chips, items, spaces, active, focus}), std::vector({1, 1, 1, 1, 1}))
        << "nothing changed, yet everything is published again";

    settings->setShowChipTitles(false);
    badges->badgesByBundleID = {{kEditor, "2"}};
    badges->attentionByBundleID = {kEditor};
    EXPECT_EQ(items, 1) << "no refresh inside the publishers' assignments";
    rt.runUntilIdle();
    EXPECT_EQ(items, 4);
    EXPECT_EQ(chip(m1, doc).badge, "2");
    EXPECT_TRUE(chip(m1, doc).wantsAttention);
}

TEST_F(BarModelTest, ADroppedModelIsNotKeptAliveByItsHooks) {
    open(editor, "Doc", m1);
    start();
    std::weak_ptr<BarViewModel> weak = model;
    model.reset();
    EXPECT_TRUE(weak.expired());
    store->onChange();
    settings->setShowChipTitles(false);
    rt.runUntilIdle();
}

TEST_F(BarModelTest, BadgesAndAttentionComeFromTheBadgeServiceForWindowsWithABundleIdentifier) {
    sim.app(mail)->badgeLabel = "3";
    sim.app(editor)->wantsAttention = true;
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    start();
    EXPECT_FALSE(chip(m1, inbox).badge);

    rt.advance(BadgeService::kFirstPollDelay);
    rt.runUntilIdle();
    EXPECT_EQ(chip(m1, inbox).badge, "3");
    EXPECT_FALSE(chip(m1, inbox).wantsAttention);
    EXPECT_TRUE(chip(m1, doc).wantsAttention);
    EXPECT_FALSE(chip(m1, doc).badge);
    EXPECT_FALSE(chip(m1, scratch).badge);
    EXPECT_FALSE(chip(m1, scratch).wantsAttention);
    EXPECT_EQ(model->badge(kMail), "3");
    EXPECT_FALSE(model->badge(kEditor));
}

TEST_F(BarModelTest, BundleIdentifiersWithWindowsLookAtTheWholeSpace) {
    open(editor, "Doc", m1);
    open(editor, "Other half", m1, {2000, 100, 800, 600});
    open(plain, "Scratch", m1);
    open(mail, "Inbox", s1, {2000, 100, 800, 600});
    start();
    EXPECT_EQ(model->bundleIDsWithWindows(m1), (std::set<std::string>{kEditor}));
    EXPECT_EQ(model->bundleIDsWithWindows(s1), (std::set<std::string>{kMail}));
    EXPECT_TRUE(model->bundleIDsWithWindows(m2).empty());
    EXPECT_TRUE(model->bundleIDsWithWindows(999).empty());
}

// --- The focus rule ---

TEST(BarViewModelFocusRule, APendingFocusHoldsWhileTheSystemReportsNoneOrTheSameApplication) {
    std::map<uint32_t, TrackedWindow> windows;
    auto add = [&](uint32_t id, std::optional<std::string> bundle, std::string name) {
        TrackedWindow w;
        w.windowID = id;
        w.bundleIdentifier = std::move(bundle);
        w.appName = std::move(name);
        windows[id] = w;
    };
    add(1, kEditor, "Editor");
    add(2, kEditor, "Editor");
    add(3, kMail, "Mail");
    add(4, std::nullopt, "Plain");
    add(5, std::nullopt, "Plain");  // another process of the same name

    struct Case {
        std::optional<uint32_t> pending, store, published, pendingAfter;
        std::string reason;
    };
    const std::string samePK = "pending-preserved-same-app pk=" + kEditor;
    const std::vector<Case> cases = {
        {std::nullopt, 3, 3, std::nullopt, "store(no-pending)"},
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "store(no-pending)"},
        {2, 2, 2, std::nullopt, "pending-confirmed"},
        {9, 3, 3, std::nullopt, "pending-abandoned-missing-window"},
        {2, std::nullopt, 2, 2, samePK},
        {2, 42, 2, 2, samePK},  // the system's focus is a window the store does not know
        {2, 1, 2, 2, samePK},
        {4, 5, 4, 4, "pending-preserved-same-app pk=Plain"},
        {2, 3, 3, std::nullopt, "pending-abandoned-different-app pk=" + kEditor},
    };
    for (const Case& c : cases) {
        auto d = BarViewModel::resolveFocus(c.pending, c.store, windows);
        EXPECT_EQ(d.published, c.published) << c.reason;
        EXPECT_EQ(d.pendingAfterwards, c.pendingAfter) << c.reason;
        EXPECT_EQ(d.reason, c.reason);
    }
}

TEST_F(BarModelTest, RefreshPublishesThePendingFocusUntilAnotherApplicationTakesFocus) {
    uint32_t one = open(editor, "One", m1);
    uint32_t two = open(editor, "Two", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    model->pendingFocusedWindowID = two;
    WindowStoreProbe::focusedWindowID(*store) = one;
    model->refresh();
    EXPECT_EQ(*model->focusedWindowID, two);
    EXPECT_TRUE(chip(m1, two).isFocused);
    EXPECT_FALSE(chip(m1, one).isFocused);
    EXPECT_EQ(model->pendingFocusedWindowID, two);

    WindowStoreProbe::focusedWindowID(*store) = inbox;
    model->refresh();
    EXPECT_EQ(*model->focusedWindowID, inbox);
    EXPECT_TRUE(chip(m1, inbox).isFocused);
    EXPECT_FALSE(model->pendingFocusedWindowID);
}

// --- Icons and names ---

TEST_F(BarModelTest, IconsAreLookedUpOncePerBundleAndAskedOfTheRunningApplicationWithoutOne) {
    install(kEditor, "Editor", [](auto& a) { a.icon = Image::filled(2, 2, 0xFF0000FF); });
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    start();

    ASSERT_TRUE(chip(m1, doc).icon);
    EXPECT_EQ(*chip(m1, doc).icon, Image::filled(2, 2, 0xFF0000FF));
    ASSERT_TRUE(chip(m1, inbox).icon);
    EXPECT_EQ(chip(m1, inbox).icon->name, "Mail") << "a running application's bundle is found too";
    ASSERT_TRUE(chip(m1, scratch).icon);
    EXPECT_EQ(chip(m1, scratch).icon->name, "Plain");

    const std::string lookup = "NSWorkspace.URLForApplicationWithBundleIdentifier";
    const size_t runningIconAsks = callCount("NSRunningApplication.icon", Value::number(plain));
    model->refresh();
    model->refresh();
    EXPECT_EQ(callCount(lookup, Value::string(kEditor)), 1u);
    EXPECT_EQ(callCount(lookup, Value::string(kMail)), 1u);
    EXPECT_EQ(callCount("NSRunningApplication.icon", Value::number(plain)), runningIconAsks + 2);
    EXPECT_EQ(model->iconCache.size(), 2u);
    EXPECT_FALSE(model->iconCache.contains("Plain"));
}

TEST_F(BarModelTest, IconFallsBackToTheRunningApplicationAndThenToTheGenericApplicationIcon) {
    uint32_t scratch = open(plain, "Scratch", m1);
    uint32_t ghost = open(plain, "Ghost", m1);
    start();
    // A window whose bundle cannot be located: the running application's icon, kept under the bundle.
    WindowStoreProbe::windows(*store).at(ghost).bundleIdentifier = "com.example.ghost";
    simApps.withoutIcon.insert(plain);
    model->refresh();
    ASSERT_TRUE(chip(m1, scratch).icon);
    EXPECT_EQ(chip(m1, scratch).icon->name, SimApplications::kGenericApplicationIconName);
    EXPECT_EQ(chip(m1, ghost).icon->name, SimApplications::kGenericApplicationIconName);
    EXPECT_FALSE(model->iconCache.contains("com.example.ghost")) << "the generic icon is not kept";

    simApps.withoutIcon.clear();
    model->refresh();
    EXPECT_EQ(chip(m1, ghost).icon->name, "Plain");
    ASSERT_TRUE(model->iconCache.contains("com.example.ghost"));
    simApps.withoutIcon.insert(plain);
    model->refresh();
    EXPECT_EQ(chip(m1, ghost).icon->name, "Plain") << "cached";
    EXPECT_EQ(chip(m1, scratch).icon->name, SimApplications::kGenericApplicationIconName);
}

TEST_F(BarModelTest, IconForABundleIdentifierIsCachedOnlyWhenTheApplicationIsFound) {
    start();
    EXPECT_FALSE(model->icon("com.example.nowhere"));
    EXPECT_FALSE(model->iconCache.contains("com.example.nowhere"));
    install(kNotes, "Notes");
    auto icon = model->icon(kNotes);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->name, "Notes");
    EXPECT_EQ(model->iconCache.at(kNotes), icon);
    simApps.uninstall(kNotes);
    EXPECT_EQ(model->icon(kNotes), icon);
}

TEST_F(BarModelTest, AppNamePrefersTheDisplayNameThenTheBundleNameThenTheFileName) {
    start();
    install(kNotes, "Notes", [](auto& a) { a.displayName = "Notes Pro"; });
    install("com.example.calc", "Calculator");
    install("com.example.odd", "Odd", [](auto& a) {
        a.path = "/Applications/Utilities/Odd Tool.app";
        a.infoDictionary = Value::dictionary(
            {{"CFBundleDisplayName", Value::number(5)}, {"CFBundleName", Value::array({})}});
    });

    EXPECT_EQ(model->appName(kNotes), "Notes Pro");
    EXPECT_EQ(model->appName("com.example.calc"), "Calculator");
    EXPECT_EQ(model->appName("com.example.odd"), "Odd Tool");
    EXPECT_EQ(model->appName(kMail), "Mail");
    EXPECT_EQ(model->appName("com.example.nowhere"), "com.example.nowhere");
}

// --- One bar per screen ---

// One set of desktops spans both displays, so a desktop's windows lie on either screen.
class ScreenFilterTest : public BarModelTest {
  protected:
    void SetUp() override { sim.setDisplaysHaveSeparateSpaces(false); }
    Rect onMain{100, 100, 800, 600};
    Rect onSide{2000, 100, 800, 600};
};

TEST_F(ScreenFilterTest, EachScreenShowsTheItemsOfTheWindowsOnIt) {
    uint32_t e1 = open(editor, "E1", m1, onMain);
    uint32_t e2 = open(editor, "E2", m1, onSide);
    uint32_t e3 = open(editor, "E3", m1, {2100, 150, 800, 600});
    uint32_t inbox = open(mail, "Inbox", m1, onMain);
    uint32_t tucked = open(mail, "Tucked", m1, onSide, [](auto& s) { s.minimized = true; });
    uint32_t scratch = open(plain, "Scratch", m1, onSide);
    start();
    ASSERT_EQ(itemIDs(m1), (IDs{"group-" + kEditor, "group-" + kMail, single(scratch)}));

    EXPECT_EQ(idsOf(model->displayItems(m1, std::nullopt)), itemIDs(m1));
    EXPECT_EQ(idsOf(model->displayItems(m1, 2)), itemIDs(m1)) << "no such screen";
    EXPECT_EQ(idsOf(model->displayItems(m1, 0)), (IDs{single(e1), "group-" + kMail}));
    auto side = model->displayItems(m1, 1);
    EXPECT_EQ(idsOf(side), (IDs{"group-" + kEditor, single(tucked), single(scratch)}));
    const GroupedChipData& editors = *side.front().groupData();
    EXPECT_EQ(editors.windowIDs, (std::vector<uint32_t>{e2, e3}));
    EXPECT_EQ(editors.windowCount, 2);
    EXPECT_EQ(editors.displayTitle, "E2");
    EXPECT_FALSE(editors.isFocused);
    auto main = model->displayItems(m1, 0);
    EXPECT_EQ(main[1].groupData()->windowIDs, (std::vector<uint32_t>{inbox, tucked}))
        << "a minimised window shows on every screen";

    WindowStoreProbe::focusedWindowID(*store) = e3;
    model->refresh();
    side = model->displayItems(m1, 1);
    EXPECT_EQ(side.front().groupData()->windowIDs, (std::vector<uint32_t>{e3, e2}));
    EXPECT_EQ(side.front().groupData()->displayTitle, "E3");
    EXPECT_TRUE(side.front().groupData()->isFocused);
    main = model->displayItems(m1, 0);
    ASSERT_TRUE(main.front().chip());
    EXPECT_FALSE(main.front().chip()->isFocused);

    // A window the store no longer knows stays until the next refresh says otherwise.
    WindowStoreProbe::windows(*store).erase(e2);
    EXPECT_EQ(model->displayItems(m1, 0).front().id(), "group-" + kEditor);
}

TEST(BarViewModelOneScreen, WithOneScreenEveryItemShows) {
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint64_t space = sim.addSpace(sim.addDisplay("Main", Rect{0, 0, 1440, 900}));
    int32_t pid = sim.launchApp(kEditor, "Editor");
    SimWindowSpec far;
    far.pid = pid;
    far.frame = {5000, 5000, 400, 400};
    far.space = space;
    sim.openWindow(far);
    auto store = WindowStore::create(sim.platform());
    store->populate();
    rt.runUntilIdle();
    auto settings = UserSettings::create(sim.platform());
    auto badges = std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    auto model = BarViewModel::create(sim.platform(), store, settings, badges);
    EXPECT_EQ(model->displayItems(space, 0).size(), 1u);
}

// --- Application groups ---

TEST_F(BarModelTest, WindowsOfOneApplicationFoldIntoAGroupInOrderOfTheirLowestWindowID) {
    uint32_t one = open(editor, "One", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t two = open(editor, "Two", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    int32_t twin = sim.launchApp(std::nullopt, "Plain");  // another process with the same name
    uint32_t untitled = open(twin, "", m1);
    start();
    badges->badgesByBundleID = {{kEditor, "5"}};
    badges->attentionByBundleID = {kEditor};
    rt.runUntilIdle();

    EXPECT_EQ(itemIDs(m1), (IDs{"group-" + kEditor, single(inbox), "group-Plain"}));
    const GroupedChipData& editors = group(m1, "group-" + kEditor);
    EXPECT_EQ(editors.windowIDs, (std::vector<uint32_t>{one, two}));
    EXPECT_EQ(editors.windowCount, 2);
    EXPECT_EQ(editors.appName, "Editor");
    EXPECT_EQ(editors.bundleIdentifier, kEditor);
    EXPECT_EQ(editors.displayTitle, "One");
    EXPECT_EQ(editors.icon, chip(m1, one).icon);
    EXPECT_EQ(editors.badge, "5");
    EXPECT_TRUE(editors.wantsAttention);
    EXPECT_FALSE(editors.isFocused);
    const GroupedChipData& plains = group(m1, "group-Plain");
    EXPECT_EQ(plains.windowIDs, (std::vector<uint32_t>{scratch, untitled}));
    EXPECT_FALSE(plains.bundleIdentifier);
    EXPECT_FALSE(plains.wantsAttention);

    // The untitled window leads once it is focused, and shows the application's name.
    WindowStoreProbe::focusedWindowID(*store) = untitled;
    model->refresh();
    EXPECT_EQ(group(m1, "group-Plain").displayTitle, "Plain");
    EXPECT_EQ(group(m1, "group-Plain").windowIDs.front(), untitled);
}

TEST_F(BarModelTest, TheFocusedWindowLeadsItsGroupAndStaysInFrontAfterFocusMovesOn) {
    uint32_t one = open(editor, "One", m1);
    uint32_t two = open(editor, "Two", m1);
    uint32_t three = open(editor, "Three", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    const std::string key = BarViewModel::groupKey(m1, kEditor);
    EXPECT_EQ(key, std::to_string(m1) + "|" + kEditor);

    WindowStoreProbe::focusedWindowID(*store) = three;
    model->refresh();
    const GroupedChipData* g = &group(m1, "group-" + kEditor);
    EXPECT_EQ(g->windowIDs, (std::vector<uint32_t>{three, one, two}));
    EXPECT_TRUE(g->isFocused);
    EXPECT_EQ(g->displayTitle, "Three");
    EXPECT_EQ(model->preferredWindowIDByGroupKey.at(key), three);

    WindowStoreProbe::focusedWindowID(*store) = inbox;
    model->refresh();
    g = &group(m1, "group-" + kEditor);
    EXPECT_EQ(g->windowIDs, (std::vector<uint32_t>{three, one, two}));
    EXPECT_FALSE(g->isFocused);
    EXPECT_EQ(g->displayTitle, "Three");

    // The preferred window closes: the group falls back to its lowest window id.
    WindowStoreProbe::windows(*store).erase(three);
    model->refresh();
    g = &group(m1, "group-" + kEditor);
    EXPECT_EQ(g->windowIDs, (std::vector<uint32_t>{one, two}));
    EXPECT_EQ(g->displayTitle, "One");
    EXPECT_FALSE(model->preferredWindowIDByGroupKey.contains(key));

    // Down to one window: a plain chip, and the group forgets its preference.
    model->preferredWindowIDByGroupKey[key] = two;
    WindowStoreProbe::windows(*store).erase(two);
    model->refresh();
    EXPECT_EQ(itemIDs(m1), (IDs{single(one), single(inbox)}));
    EXPECT_FALSE(model->preferredWindowIDByGroupKey.contains(key));
}

TEST_F(BarModelTest, WithGroupingOffEveryWindowIsAChipAndPreferencesAreKept) {
    uint32_t one = open(editor, "One", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t two = open(editor, "Two", m1);
    start();
    const std::string key = BarViewModel::groupKey(m1, kEditor);
    model->preferredWindowIDByGroupKey[key] = two;
    settings->setGroupWindowsByApp(false);
    rt.runUntilIdle();
    EXPECT_EQ(itemIDs(m1), (IDs{single(one), single(inbox), single(two)}));
    EXPECT_EQ(model->preferredWindowIDByGroupKey.at(key), two);

    settings->setGroupWindowsByApp(true);
    rt.runUntilIdle();
    EXPECT_EQ(group(m1, "group-" + kEditor).windowIDs, (std::vector<uint32_t>{two, one}));
}

// --- Chip order ---

TEST(BarViewModelOrder, MergedOrderPutsTheVisibleKeysWhereTheFirstOfThemStood) {
    EXPECT_EQ(BarViewModel::mergedAppOrder({"a", "b", "c", "d"}, {"c", "x", "a"}, 100),
              (Keys{"c", "x", "a", "b", "d"}));
    EXPECT_EQ(BarViewModel::mergedAppOrder({"p", "q"}, {"r"}, 100), (Keys{"p", "q", "r"}));
    EXPECT_EQ(BarViewModel::mergedAppOrder({"x", "a", "y", "b"}, {"b", "a"}, 100),
              (Keys{"x", "b", "a", "y"}));
    EXPECT_EQ(BarViewModel::mergedAppOrder({}, {"a", "b"}, 100), (Keys{"a", "b"}));

    Keys saved;
    for (int i = 0; i < 100; ++i) saved.push_back("k" + std::to_string(i));
    Keys merged = BarViewModel::mergedAppOrder(saved, {"n1", "n2", "n3"}, 100);
    ASSERT_EQ(merged.size(), 100u);
    EXPECT_EQ(merged[96], "k96") << "the oldest tail is forgotten first";
    EXPECT_EQ(merged[97], "n1");
    EXPECT_EQ(merged[99], "n3");

    // Visible keys are never dropped, even past the limit.
    Keys visible;
    for (int i = 0; i < 101; ++i) visible.push_back("v" + std::to_string(i));
    EXPECT_EQ(BarViewModel::mergedAppOrder({"old"}, visible, 100), visible);
}

TEST(BarViewModelOrder, DesktopKeyCountsTheOrdinaryDesktopsOfTheDisplay) {
    using S = SpaceWindows::SpaceInfo;
    std::vector<S> spaces = {S{0, "AAAA", 0, 10, 0}, S{0, "AAAA", 1, 11, 4}, S{0, "AAAA", 2, 12, 0},
                             S{1, "BBBB", 0, 20, 0}, S{1, "BBBB", 1, 21, 0}};
    EXPECT_EQ(BarViewModel::desktopKey(10, spaces), "AAAA#1");
    EXPECT_EQ(BarViewModel::desktopKey(11, spaces), std::nullopt) << "full screen";
    EXPECT_EQ(BarViewModel::desktopKey(12, spaces), "AAAA#2");
    EXPECT_EQ(BarViewModel::desktopKey(21, spaces), "BBBB#2");
    EXPECT_EQ(BarViewModel::desktopKey(99, spaces), std::nullopt);
}

TEST_F(BarModelTest, ASavedOrderPutsListedApplicationsFirstAndTheOthersAfterInTheirOrder) {
    uint32_t one = open(editor, "One", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    uint32_t two = open(editor, "Two", m1);
    uint32_t other = open(editor, "Elsewhere", m2);
    start();
    EXPECT_EQ(desktop(m1), model->spaces->front().displayIdentifier + "#1");
    settings->setChipOrder({"com.example.gone", kMail, "Plain", kMail}, desktop(m1));
    rt.runUntilIdle();
    EXPECT_EQ(itemIDs(m1), (IDs{single(inbox), single(scratch), "group-" + kEditor}));
    EXPECT_EQ(itemIDs(m2), (IDs{single(other)}));

    settings->setGroupWindowsByApp(false);
    settings->setChipOrder({kEditor, kMail}, desktop(m1));
    rt.runUntilIdle();
    EXPECT_EQ(itemIDs(m1), (IDs{single(one), single(two), single(inbox), single(scratch)}));
}

TEST_F(BarModelTest, DraggingAChipPlacesItAndSavesTheApplicationsOrderForTheDesktop) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    start();
    const std::string key = desktop(m1);
    ASSERT_EQ(itemIDs(m1), (IDs{single(doc), single(inbox), single(scratch)}));

    model->moveChip(single(scratch), single(doc), m1);
    EXPECT_EQ(itemIDs(m1), (IDs{single(scratch), single(doc), single(inbox)}));
    EXPECT_EQ(model->chipOrderBySpace.at(m1), itemIDs(m1));
    EXPECT_EQ(model->chipOrderIsGrouped, true);
    EXPECT_EQ(settings->chipOrder(key), (Keys{"Plain", kEditor, kMail}));

    // Onto itself, before a chip that is not there, or a chip that is not there: nothing.
    auto before = settings->data->chipOrderByDesktop;
    model->moveChip(single(inbox), single(inbox), m1);
    model->moveChip(single(inbox), "s-9999", m1);
    model->moveChip("s-9999", std::nullopt, m1);
    EXPECT_EQ(itemIDs(m1), (IDs{single(scratch), single(doc), single(inbox)}));
    EXPECT_EQ(settings->data->chipOrderByDesktop, before);

    model->moveChip(single(doc), std::nullopt, m1);
    EXPECT_EQ(itemIDs(m1), (IDs{single(scratch), single(inbox), single(doc)}));
    EXPECT_EQ(settings->chipOrder(key), (Keys{"Plain", kMail, kEditor}));

    // A drag made with grouping on is dropped when grouping goes off; the saved order stays.
    settings->setGroupWindowsByApp(false);
    rt.runUntilIdle();
    EXPECT_TRUE(model->chipOrderBySpace.empty());
    EXPECT_FALSE(model->chipOrderIsGrouped);
    EXPECT_EQ(itemIDs(m1), (IDs{single(scratch), single(inbox), single(doc)}));
}

TEST_F(BarModelTest, AFullScreenDesktopKeepsItsDragOrderInMemoryOnly) {
    uint32_t a = open(editor, "A", full, {0, 0, 1920, 1080});
    uint32_t b = open(mail, "B", full, {0, 0, 1920, 1080});
    start();
    model->moveChip(single(b), single(a), full);
    EXPECT_EQ(itemIDs(full), (IDs{single(b), single(a)}));
    EXPECT_TRUE(settings->data->chipOrderByDesktop.empty());
}

TEST_F(BarModelTest, AWindowChipDraggedAfterItsWindowJoinedAGroupMovesTheGroup) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    ASSERT_EQ(itemIDs(m1), (IDs{single(doc), single(inbox)}));
    open(editor, "Second", m1);
    store->populate();
    rt.runUntilIdle();
    ASSERT_EQ(itemIDs(m1), (IDs{"group-" + kEditor, single(inbox)}));

    EXPECT_EQ(model->canonicalDisplayItemID(single(doc), m1), "group-" + kEditor);
    EXPECT_EQ(model->canonicalDisplayItemID(single(inbox), m1), single(inbox));
    EXPECT_EQ(model->canonicalDisplayItemID("s-", m1), "s-");
    EXPECT_EQ(model->canonicalDisplayItemID("s-12x", m1), "s-12x");
    EXPECT_EQ(model->canonicalDisplayItemID(single(doc), m2), single(doc));
    model->moveChip(single(doc), std::nullopt, m1);
    EXPECT_EQ(itemIDs(m1), (IDs{single(inbox), "group-" + kEditor}));
}

}  // namespace
}  // namespace qv
