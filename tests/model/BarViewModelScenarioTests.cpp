// The bar model end to end on the simulated desktop: what the bars show, and what a click, a drag
// and the chip actions do to the simulated applications.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "model/BarViewModelFixture.h"
#include "support/WindowStoreProbe.h"

namespace qv {
namespace {

using Lines = std::vector<std::string>;

// A bar as a person reads it: "*" marks the focused chip, "[n]" a badge, "!" an attention request,
// "(n)" the windows of a group.
Lines describe(const std::vector<DisplayItem>& items) {
    Lines out;
    for (const DisplayItem& item : items) {
        std::string line;
        std::optional<std::string> badge;
        bool attention = false;
        if (const ChipData* c = item.chip()) {
            line = (c->isFocused ? "*" : "") + (c->windowTitle.empty() ? c->appName : c->windowTitle);
            if (c->isMinimized) line += " _";
            badge = c->badge;
            attention = c->wantsAttention;
        } else {
            const GroupedChipData& g = *item.groupData();
            line = (g.isFocused ? "*" : "") + g.displayTitle + " (" + std::to_string(g.windowCount) + ")";
            badge = g.badge;
            attention = g.wantsAttention;
        }
        if (badge) line += " [" + *badge + "]";
        if (attention) line += " !";
        out.push_back(line);
    }
    return out;
}

class BarScenarioTest : public BarModelTest {
  protected:
    int32_t notes = sim.launchApp(kNotes, "Notes");
    Lines bar(uint64_t space) const { return describe(model->displayItemsBySpace->at(space)); }
};

TEST_F(BarScenarioTest, EachDesktopShowsItsChipsInTheSavedOrderWithBadgesAndAttention) {
    sim.app(mail)->badgeLabel = "3";
    sim.app(notes)->wantsAttention = true;
    open(editor, "Draft", m1);
    open(mail, "Inbox", m1);
    open(editor, "Outline", m1);
    open(plain, "", m1);
    open(notes, "Groceries", m2);
    open(mail, "Archive", m2);
    open(editor, "Wide view", s1, {2000, 100, 900, 600});
    sim.focusWindow(sim.windowsInListOrder().front()->id);  // the last window opened: "Wide view"
    start();
    settings->setChipOrder({kMail, kEditor}, desktop(m1));
    settings->setChipOrder({kNotes}, desktop(m2));
    rt.advance(BadgeService::kFirstPollDelay);
    rt.runUntilIdle();

    EXPECT_EQ(bar(m1), (Lines{"Inbox [3]", "Draft (2)", "Plain"}));
    EXPECT_EQ(bar(m2), (Lines{"Groceries !", "Archive [3]"}));
    EXPECT_EQ(bar(s1), (Lines{"*Wide view"}));
    EXPECT_TRUE(bar(full).empty());

    settings->setGroupWindowsByApp(false);
    rt.runUntilIdle();
    EXPECT_EQ(bar(m1), (Lines{"Inbox [3]", "Draft", "Outline", "Plain"}));

    // The user has seen the notes: activating them ends the request on the next poll.
    uint32_t groceries = model->chipsBySpace->at(m2).front().id;
    model->activateWindow(groceries);
    store->handleAppActivated(notes);  // as the start-up code does on the activation
    rt.runUntilIdle();
    EXPECT_EQ(bar(m2), (Lines{"*Groceries", "Archive [3]"}));
    EXPECT_FALSE(sim.app(notes)->wantsAttention);
}

TEST_F(BarScenarioTest, GroupingFollowsTheSettingBothWays) {
    open(editor, "Draft", m1);
    open(mail, "Inbox", m1);
    open(editor, "Outline", m1);
    open(mail, "Sent", m1);
    start();
    EXPECT_EQ(bar(m1), (Lines{"Draft (2)", "Inbox (2)"}));
    settings->setGroupWindowsByApp(false);
    EXPECT_EQ(bar(m1), (Lines{"Draft (2)", "Inbox (2)"})) << "until the queued refresh";
    rt.runUntilIdle();
    EXPECT_EQ(bar(m1), (Lines{"Draft", "Inbox", "Outline", "Sent"}));
    settings->setGroupWindowsByApp(true);
    rt.runUntilIdle();
    EXPECT_EQ(bar(m1), (Lines{"Draft (2)", "Inbox (2)"}));
}

// Two sessions share one home folder; the second builds its desktops afresh, so every Space id
// changes while the displays keep their identifiers.
struct Session {
    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BarViewModel> model;
};

// What start-up builds on one desktop: the store's first scan, the settings, badges and the model.
Session startSession(ManualRuntime& rt, SimDesktop& sim) {
    auto store = WindowStore::create(sim.platform());
    store->populate();
    rt.runUntilIdle();
    auto settings = UserSettings::create(sim.platform());
    auto badges = std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    auto model = BarViewModel::create(sim.platform(), store, settings, badges);
    return {store, settings, model};
}

TEST(BarScenarioRestart, ADraggedOrderIsSavedUnderTheDesktopKeyAndComesBackAfterARestart) {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-bar-restart-XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(pattern.data()));
    const std::filesystem::path home = pattern;
    const std::string mainUUID = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    std::string savedKey;
    uint64_t firstSpaceID = 0;
    {
        ManualRuntime rt;
        SimDesktop sim{rt, home.string()};
        uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1920, 1080}, 1, mainUUID);
        sim.addSpace(display);
        uint64_t second = sim.addSpace(display);
        firstSpaceID = second;
        int32_t editor = sim.launchApp(kEditor, "Editor");
        int32_t mail = sim.launchApp(kMail, "Mail");
        for (auto [pid, title] : {std::pair{editor, "Draft"}, std::pair{mail, "Inbox"}}) {
            sim.openWindow(pid, title, second);
        }
        auto [store, settings, model] = startSession(rt, sim);
        const auto& items = model->displayItemsBySpace->at(second);
        ASSERT_EQ(describe(items), (Lines{"Draft", "Inbox"}));
        std::string inboxID = items[1].id();
        std::string draftID = items[0].id();
        model->moveChip(inboxID, draftID, second);
        EXPECT_EQ(describe(model->displayItemsBySpace->at(second)), (Lines{"Inbox", "Draft"}));
        savedKey = mainUUID + "#2";
        EXPECT_EQ(settings->chipOrder(savedKey), (std::vector<std::string>{kMail, kEditor}));
        rt.advance(1.0);  // the settings are written half a second after the change
    }
    {
        ManualRuntime rt;
        SimDesktop sim{rt, home.string()};
        uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1920, 1080}, 1, mainUUID);
        for (int i = 0; i < 5; ++i) sim.removeSpace(sim.addSpace(display));
        uint64_t first = sim.addSpace(display);
        uint64_t second = sim.addSpace(display);
        ASSERT_NE(second, firstSpaceID);
        int32_t mail = sim.launchApp(kMail, "Mail");
        int32_t editor = sim.launchApp(kEditor, "Editor");
        for (auto [pid, title, space] :
             {std::tuple{editor, "Draft", second}, std::tuple{mail, "Inbox", second},
              std::tuple{editor, "Notes", first}, std::tuple{mail, "Later", first}}) {
            sim.openWindow(pid, title, space);
        }
        auto [store, settings, model] = startSession(rt, sim);
        EXPECT_EQ(BarViewModel::desktopKey(second, *model->spaces), savedKey);
        EXPECT_EQ(describe(model->displayItemsBySpace->at(second)), (Lines{"Inbox", "Draft"}));
        EXPECT_EQ(describe(model->displayItemsBySpace->at(first)), (Lines{"Notes", "Later"}))
            << "the first desktop has no saved order";
    }
    std::filesystem::remove_all(home);
}

TEST_F(BarScenarioTest, AClickActivatesTheWindowAndTheSystemsReportConfirmsIt) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    sim.focusWindow(inbox);
    start();
    ASSERT_EQ(bar(m1), (Lines{"Doc", "*Inbox"}));

    size_t mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    const std::string pid = std::to_string(editor);
    EXPECT_EQ(actions(mark),
              (Lines{"yield " + pid, "activateFrom " + pid, "NSApp.activate", "activate " + pid,
                     "AXMain=true " + w(doc), "AXFocused=true " + w(doc), "AXRaise " + w(doc)}));
    EXPECT_EQ(sim.frontmostPID(), editor);
    EXPECT_EQ(sim.windowsInListOrder().front()->id, doc);
    EXPECT_EQ(*model->focusedWindowID, doc);
    EXPECT_EQ(model->pendingFocusedWindowID, doc);
    EXPECT_FALSE(model->activationRetry);

    // The start-up code hands the activation to the store, whose change rebuilds the bar.
    store->handleAppActivated(editor);
    rt.runUntilIdle();
    EXPECT_EQ(bar(m1), (Lines{"*Doc", "Inbox"}));
    EXPECT_FALSE(model->pendingFocusedWindowID) << "confirmed";
}

TEST_F(BarScenarioTest, AWindowThatCannotBeFoundAtOnceIsTriedOnceMore150msLater) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    sim.focusWindow(inbox);
    start();
    simAX.faults(editor).windowListUnreadable = true;
    const Seconds clicked = rt.now();
    model->activateWindow(doc);
    EXPECT_EQ(*model->focusedWindowID, doc) << "the bar shows the click at once";
    rt.runUntilIdle();  // the application answers the first attempt at once
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 0u);

    simAX.faults(editor).windowListUnreadable = false;  // the application has caught up
    rt.advanceTo(clicked + BarViewModel::kActivationRetryDelay - 1e-6);
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 0u);
    rt.advanceTo(clicked + BarViewModel::kActivationRetryDelay);
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 1u);
    EXPECT_EQ(countOf("AXMain=true " + w(doc)), 1u);
    rt.advance(5.0);
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 1u) << "exactly one retry";
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
    EXPECT_EQ(model->pendingFocusedWindowID, doc);
}

TEST_F(BarScenarioTest, AFailedRetryGivesUpThePendingFocusAndRescansTheApplication) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    sim.focusWindow(inbox);
    start();
    simAX.faults(editor).windowListUnreadable = true;
    simAX.faults(editor).unresponsive = true;  // it does not report its focused window either
    model->activateWindow(doc);
    // Each attempt waits out the default time-out on the application's worker.
    rt.advance(SimAccessibility::kDefaultMessagingTimeout + BarViewModel::kActivationRetryDelay);
    EXPECT_EQ(model->pendingFocusedWindowID, doc) << "the retry is still waiting for its answer";
    rt.advance(SimAccessibility::kDefaultMessagingTimeout);
    EXPECT_FALSE(model->pendingFocusedWindowID);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(editor));
    EXPECT_EQ(*model->focusedWindowID, doc) << "the shown focus stays until the next refresh";
    model->refresh();
    EXPECT_EQ(bar(m1), (Lines{"Doc", "*Inbox"}));
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 0u);
}

TEST_F(BarScenarioTest, TwoQuickClicksLeaveTheSecondWindowInFront) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t notesWindow = open(notes, "Groceries", m1);
    sim.focusWindow(notesWindow);
    start();

    // The first application is slow to list its windows; it has caught up by the time its retry
    // would have run.
    simAX.faults(editor).windowListUnreadable = true;
    model->activateWindow(doc);
    rt.advance(0.05);
    simAX.faults(editor).windowListUnreadable = false;
    model->activateWindow(inbox);
    rt.advance(1.0);

    EXPECT_EQ(sim.frontmostPID(), mail);
    EXPECT_EQ(sim.windowsInListOrder().front()->id, inbox);
    EXPECT_GT(sim.window(inbox)->z, sim.window(doc)->z);
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 0u);
    EXPECT_EQ(model->pendingFocusedWindowID, inbox);
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
    store->handleAppActivated(mail);
    rt.runUntilIdle();
    EXPECT_EQ(bar(m1), (Lines{"Doc", "*Inbox", "Groceries"}));
}

TEST_F(BarScenarioTest, MinimiseCloseAndLaunchActOnTheSimulatedApplications) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    sim.focusWindow(doc);
    start();
    ASSERT_EQ(bar(m1), (Lines{"*Doc", "Inbox"}));

    // A click on the focused chip minimises its window.
    model->minimizeWindow(doc);
    rt.runUntilIdle();
    EXPECT_TRUE(sim.window(doc)->minimized);
    EXPECT_FALSE(*model->focusedWindowID);
    store->populate();  // the store's rescan picks up what the applications did
    rt.runUntilIdle();
    EXPECT_TRUE(chip(m1, doc).isMinimized);

    model->closeWindow(inbox);
    rt.runUntilIdle();
    EXPECT_FALSE(sim.window(inbox));
    store->populate();
    rt.runUntilIdle();
    EXPECT_EQ(model->chipsBySpace->at(m1).size(), 1u);

    install("com.example.sketch", "Sketch", [](auto& a) { a.windowsOnLaunch = {"Untitled sketch"}; });
    model->launchApp("com.example.sketch");
    rt.runUntilIdle();
    ASSERT_TRUE(sim.frontmostPID());
    EXPECT_EQ(sim.app(*sim.frontmostPID())->bundleID, "com.example.sketch");
    store->populate();
    rt.runUntilIdle();
    ASSERT_EQ(model->chipsBySpace->at(m1).size(), 2u);
    const ChipData& launched = model->chipsBySpace->at(m1).back();
    EXPECT_EQ(launched.windowTitle, "Untitled sketch");
    EXPECT_TRUE(launched.isFocused);
    EXPECT_EQ(model->appName("com.example.sketch"), "Sketch");
}

}  // namespace
}  // namespace qv
