// What the bar model's actions do to the simulated applications: activation and its retries,
// focus by Accessibility, minimising, closing and launching. The requests run on the applications'
// workers and their answers come back on the main queue: each case lets the queues run first.
#include <gtest/gtest.h>

#include "model/BarViewModelFixture.h"
#include "support/WindowStoreProbe.h"

namespace qv {
namespace {

TEST_F(BarModelTest, ActivatingAWindowTheStoreDoesNotHoldChangesNothing) {
    open(editor, "Doc", m1);
    start();
    auto focusBefore = *model->focusedWindowID;
    size_t mark = sim.callLog.size();
    model->activateWindow(9999);
    rt.runUntilIdle();
    EXPECT_FALSE(model->pendingFocusedWindowID);
    EXPECT_EQ(*model->focusedWindowID, focusBefore);
    EXPECT_TRUE(model->preferredWindowIDByGroupKey.empty());
    EXPECT_EQ(sim.callLog.size(), mark);
}

TEST_F(BarModelTest, ActivationPrefersTheWindowInEveryGroupItBelongsTo) {
    uint32_t both = open(editor, "Both", m1);
    uint32_t nowhere = open(mail, "Nowhere", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    sim.setWindowSpaces(both, {m1, m2});
    start();
    // Ungrouped, so that the chips drawn at once with the new focus prune no group's preference.
    settings->setGroupWindowsByApp(false);
    model->activateWindow(both);
    EXPECT_EQ(model->preferredWindowIDByGroupKey,
              (std::map<std::string, uint32_t>{{BarViewModel::groupKey(m1, kEditor), both},
                                               {BarViewModel::groupKey(m2, kEditor), both}}));

    model->preferredWindowIDByGroupKey.clear();
    WindowStoreProbe::windows(*store).at(nowhere).spaceIDs.clear();
    model->activateWindow(nowhere);
    EXPECT_EQ(model->preferredWindowIDByGroupKey,
              (std::map<std::string, uint32_t>{{BarViewModel::groupKey(m1, kMail), nowhere}}))
        << "a window on no Space counts as on the active one";

    model->preferredWindowIDByGroupKey.clear();
    sim.overrides.activeSpace = 0;
    model->refresh();
    model->activateWindow(nowhere);
    EXPECT_TRUE(model->preferredWindowIDByGroupKey.empty());

    model->activateWindow(scratch);
    EXPECT_TRUE(model->preferredWindowIDByGroupKey.contains(BarViewModel::groupKey(m1, "Plain")));
}

TEST_F(BarModelTest, ActivationClearsTheAttentionOfApplicationsWithABundleIdentifier) {
    sim.app(editor)->wantsAttention = true;
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    start();
    rt.advance(BadgeService::kFirstPollDelay);
    rt.runUntilIdle();
    ASSERT_TRUE(chip(m1, doc).wantsAttention);

    auto setinfoRuns = [&] {
        size_t n = 0;
        for (const SimCall& c : sim.callsNamed("/usr/bin/lsappinfo"))
            n += *(*c.args.asArray())[0].asString() == "setinfo";
        return n;
    };
    model->activateWindow(scratch);
    rt.runUntilIdle();
    EXPECT_EQ(setinfoRuns(), 0u);
    model->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_GE(setinfoRuns(), 1u);
    EXPECT_FALSE(sim.app(editor)->wantsAttention);
    EXPECT_FALSE(chip(m1, doc).wantsAttention);
}

TEST_F(BarModelTest, TheWindowIsFoundByItsWindowNumberWhenThePrivateLookupFailsOrIsMissing) {
    uint32_t doc = open(editor, "Doc", m1);
    open(editor, "Other", m1);
    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    start();
    EXPECT_FALSE(model->axGetWindow);
    size_t mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    auto done = actions(mark);
    ASSERT_FALSE(done.empty());
    EXPECT_EQ(done.back(), "AXRaise " + w(doc));
    EXPECT_FALSE(model->activationRetry);

    sim.missingEntryPoints.clear();
    auto withLookup = BarViewModel::create(sim.platform(), store, settings, badges);
    ASSERT_TRUE(withLookup->axGetWindow);
    simAX.faults(editor).privateWindowLookupFails = true;
    mark = sim.callLog.size();
    withLookup->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_EQ(actions(mark).back(), "AXRaise " + w(doc));
    EXPECT_FALSE(withLookup->activationRetry);
}

TEST_F(BarModelTest, AMinimisedWindowIsRestoredBeforeItIsMadeMainFocusedAndRaised) {
    uint32_t doc = open(editor, "Doc", m1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    start();
    size_t mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    auto done = actions(mark);
    auto restore = std::find(done.begin(), done.end(), "AXMinimized=false " + w(doc));
    auto main = std::find(done.begin(), done.end(), "AXMain=true " + w(doc));
    ASSERT_NE(restore, done.end());
    EXPECT_LT(restore, main);
    EXPECT_FALSE(sim.window(doc)->minimized);
}

TEST_F(BarModelTest, AnEarlyFocusSetsTheApplicationsFocusedAndMainWindowBeforeActivating) {
    uint32_t doc = open(editor, "Doc", m1);
    start();
    size_t mark = sim.callLog.size();
    model->activateWindow(doc, true);
    rt.runUntilIdle();
    auto done = actions(mark);
    ASSERT_GE(done.size(), 6u);
    // Activation is handed on first, on the main thread; the worker's requests follow.
    EXPECT_EQ(done[0], "yield " + std::to_string(editor));
    EXPECT_EQ(std::vector(done.begin() + 1, done.begin() + 6),
              (std::vector<std::string>{"AXFocusedWindow=" + w(doc) + " " + app(editor),
                                        "AXMainWindow=" + w(doc) + " " + app(editor), "AXMain=true " + w(doc),
                                        "AXFocused=true " + w(doc), "AXRaise " + w(doc)}));
}

TEST_F(BarModelTest, CooperativeActivationFallsBackToADirectRequest) {
    uint32_t doc = open(editor, "Doc", m1);
    start();
    const std::string pid = std::to_string(editor);
    auto activation = [&](size_t mark) {
        std::vector<std::string> out;
        for (const std::string& a : actions(mark)) {
            if (a.rfind("AX", 0) != 0) out.push_back(a);
        }
        return out;
    };

    // Our application is active: it hands activation on.
    sim.windowing().activate(false);
    size_t mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_EQ(activation(mark), (std::vector<std::string>{"yield " + pid, "activateFrom " + pid}));
    EXPECT_EQ(sim.frontmostPID(), editor);
    EXPECT_FALSE(sim.windowing().isActive());

    // Active, but the request is refused: only the direct request follows.
    sim.activateApp(mail);
    sim.windowing().activate(false);
    simApps.refuseCooperativeActivation = true;
    mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_EQ(activation(mark),
              (std::vector<std::string>{"yield " + pid, "activateFrom " + pid, "activate " + pid}));
    EXPECT_EQ(sim.frontmostPID(), editor);

    // Not active: the cooperative request fails and we activate ourselves first.
    simApps.refuseCooperativeActivation = false;
    sim.activateApp(mail);
    mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_EQ(activation(mark), (std::vector<std::string>{"yield " + pid, "activateFrom " + pid,
                                                          "NSApp.activate", "activate " + pid}));
    EXPECT_EQ(sim.frontmostPID(), editor);

    // The process has ended: nothing to activate.
    sim.terminateApp(editor);
    mark = sim.callLog.size();
    model->activateWindow(doc);
    rt.runUntilIdle();
    EXPECT_TRUE(activation(mark).empty());
    EXPECT_EQ(*model->focusedWindowID, doc);
}

// The fault: every activation used to leave its own retry behind.
TEST_F(BarModelTest, ALaterActivationCancelsTheRetryOfAnEarlierOne) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t scratch = open(plain, "Scratch", m1);
    start();
    auto retryAfter = [&](std::function<void()> activation) {
        simAX.faults(editor).windowListUnreadable = true;
        model->activateWindow(doc);
        rt.runUntilIdle();
        ASSERT_TRUE(model->activationRetry);
        simAX.faults(editor).windowListUnreadable = false;
        rt.advance(0.05);
        activation();
        size_t mark = sim.callLog.size();
        rt.advance(BarViewModel::kActivationRetryDelay);
        for (const std::string& a : actions(mark)) EXPECT_EQ(a.find(w(doc)), std::string::npos) << a;
        EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
    };
    retryAfter([&] { model->activateWindow(inbox); });
    EXPECT_EQ(model->pendingFocusedWindowID, inbox);
    retryAfter([&] { EXPECT_EQ(focusByAXOnly(scratch), true); });
    EXPECT_EQ(model->pendingFocusedWindowID, scratch);
    retryAfter([&] { model->activateUntrackedWindow(inbox, mail, false); });
}

// A hung application holds back only its own worker: every action returns at once, and one on
// another application completes meanwhile.
TEST_F(BarModelTest, NoActionWaitsForAHungApplication) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    rt.runUntilIdle();
    simAX.faults(editor).unresponsive = true;
    (void)rt.takeLongestMainHold();
    model->activateWindow(doc);
    model->focusWindowWithAXOnly(doc, "test");
    model->minimizeWindow(doc);
    model->closeWindow(doc);
    model->activateUntrackedWindow(doc, editor, false);
    model->activateWindow(inbox);
    rt.runUntilIdle();
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0);
    EXPECT_EQ(sim.frontmostPID(), mail);
    EXPECT_EQ(countOf("AXRaise " + w(inbox)), 1u);
    EXPECT_EQ(*model->focusedWindowID, inbox);
}

// Answers come when the application gets to them: one of an activation a later one replaced, or
// about a window gone meanwhile, changes nothing.
TEST_F(BarModelTest, ALateAnswerOfAnEarlierActivationOrAboutAWindowGoneChangesNothing) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t draft = open(editor, "Draft", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    simAX.faults(editor).responseDelay = 0.3;
    simAX.faults(editor).windowListUnreadable = true;
    model->minimizeWindow(draft);  // Editor's worker is busy with it until 0.3 s
    model->activateWindow(doc);
    rt.advance(0.1);
    model->activateWindow(inbox);  // answered at once
    rt.advance(0.2);
    simAX.faults(editor).windowListUnreadable = false;  // its window could be found and raised now
    rt.advance(2.0);
    EXPECT_EQ(sim.frontmostPID(), mail) << "Editor's activation, answered after Mail's, is dropped";
    EXPECT_EQ(countOf("AXRaise " + w(doc)), 0u);
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
    EXPECT_EQ(model->pendingFocusedWindowID, inbox);

    // Gone from the store before the answers: no retry, and no focus shown.
    simAX.faults(editor).windowListUnreadable = true;
    model->activateWindow(doc);
    WindowStoreProbe::windows(*store).erase(doc);
    rt.advance(0.3);
    EXPECT_FALSE(model->activationRetry);
    simAX.faults(editor).windowListUnreadable = false;
    std::optional<bool> result;
    model->focusWindowWithAXOnly(draft, "test", [&result](bool ok) { result = ok; });
    WindowStoreProbe::windows(*store).erase(draft);
    model->refresh();
    rt.advance(5.0);
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
    EXPECT_EQ(result, true);
    EXPECT_NE(*model->focusedWindowID, draft);
}

// A slow application's activation replaced by the user's next choice stops between its requests:
// nothing it had not asked yet reaches the application, whichever way it was focusing.
TEST_F(BarModelTest, AReplacedActivationMakesNoFurtherRequest) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    simAX.faults(editor).responseDelay = 0.3;
    auto replaced = [&](std::function<void()> activation) {
        const size_t mark = sim.callLog.size();
        activation();
        rt.advance(0.5);  // the window is being looked for
        model->activateWindow(inbox);
        rt.advance(5.0);
        for (const std::string& a : actions(mark)) EXPECT_EQ(a.find(w(doc)), std::string::npos) << a;
    };
    replaced([&] { model->activateWindow(doc); });
    replaced([&] { model->focusWindowWithAXOnly(doc, "test"); });
    EXPECT_EQ(sim.frontmostPID(), mail);
}

// Refused, or not answered in time, a minimise leaves the window focused: the bar shows it again.
TEST_F(BarModelTest, AFailedMinimiseShowsTheFocusAgain) {
    uint32_t doc = open(editor, "Doc", m1);
    start();
    WindowStoreProbe::focusedWindowID(*store) = doc;
    model->refresh();
    simAX.faults(editor).refusedWrites = {"AXMinimized"};
    model->minimizeWindow(doc);
    EXPECT_FALSE(*model->focusedWindowID);
    rt.runUntilIdle();
    EXPECT_FALSE(sim.window(doc)->minimized);
    EXPECT_EQ(*model->focusedWindowID, doc);
}

TEST_F(BarModelTest, AFailedRetryGivesUpOnlyItsOwnPendingFocus) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    simAX.faults(editor).windowListUnreadable = true;
    model->activateWindow(doc);
    rt.runUntilIdle();
    // Some other path names another window as pending before the retry runs.
    model->pendingFocusedWindowID = inbox;
    rt.advance(BarViewModel::kActivationRetryDelay);
    EXPECT_EQ(model->pendingFocusedWindowID, inbox);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(editor))
        << "the failed retry still asks for a rescan";
    EXPECT_FALSE(model->activationRetry);
}

TEST_F(BarModelTest, ADroppedModelRunsNoRetry) {
    uint32_t doc = open(editor, "Doc", m1);
    start();
    simAX.faults(editor).windowListUnreadable = true;
    model->activateWindow(doc);
    rt.runUntilIdle();
    ASSERT_TRUE(model->activationRetry);
    model.reset();
    size_t mark = sim.callLog.size();
    rt.advance(1.0);
    for (size_t i = mark; i < sim.callLog.size(); ++i)
        EXPECT_NE(sim.callLog[i].name, "AXUIElementCopyAttributeValue");
    EXPECT_FALSE(WindowStoreProbe::pendingScans(*store).contains(editor));
}

TEST_F(BarModelTest, FocusByAccessibilityAloneCountsEveryRequestButFrontmost) {
    uint32_t doc = open(editor, "Doc", m1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    size_t mark = sim.callLog.size();
    EXPECT_EQ(focusByAXOnly(doc), true);
    EXPECT_EQ(actions(mark),
              (std::vector<std::string>{
                  "AXFrontmost=true " + app(editor), "AXFocusedWindow=" + w(doc) + " " + app(editor),
                  "AXMainWindow=" + w(doc) + " " + app(editor), "AXMinimized=false " + w(doc),
                  "AXMain=true " + w(doc), "AXFocused=true " + w(doc), "AXRaise " + w(doc)}));
    EXPECT_EQ(*model->focusedWindowID, doc);
    EXPECT_EQ(model->pendingFocusedWindowID, doc);
    EXPECT_EQ(sim.frontmostPID(), editor);
    EXPECT_TRUE(actions(mark).size() == 7 && callCount("NSRunningApplication.activateWithOptions") == 0);

    simAX.faults(mail).refusedWrites = {"AXFrontmost"};
    EXPECT_EQ(focusByAXOnly(inbox), true);
    simAX.faults(mail).refusedWrites.clear();
    simAX.faults(mail).refusedActions = {"AXRaise"};
    EXPECT_EQ(focusByAXOnly(inbox), false);
    simAX.faults(mail).refusedActions.clear();

    EXPECT_EQ(focusByAXOnly(9999), false);
    EXPECT_EQ(model->pendingFocusedWindowID, inbox) << "an untracked window leaves the pending focus";

    simAX.faults(mail).windowListUnreadable = true;
    EXPECT_EQ(focusByAXOnly(inbox), false);
    EXPECT_FALSE(model->pendingFocusedWindowID);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).contains(mail));
}

TEST_F(BarModelTest, AnUntrackedWindowIsActivatedWithoutTouchingTheModel) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t loose = open(mail, "Loose", m1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    start();
    WindowStoreProbe::windows(*store).erase(loose);
    model->refresh();
    model->activateWindow(doc);
    rt.runUntilIdle();
    const auto preferred = model->preferredWindowIDByGroupKey;
    size_t mark = sim.callLog.size();
    model->activateUntrackedWindow(loose, mail, true);
    rt.runUntilIdle();
    auto done = actions(mark);
    EXPECT_EQ(done.front(), "yield " + std::to_string(mail));
    EXPECT_EQ(done.back(), "AXRaise " + w(loose));
    EXPECT_EQ(sim.frontmostPID(), mail);
    EXPECT_FALSE(sim.window(loose)->minimized);
    EXPECT_EQ(model->pendingFocusedWindowID, doc);
    EXPECT_EQ(*model->focusedWindowID, doc);
    EXPECT_EQ(model->preferredWindowIDByGroupKey, preferred);

    simAX.faults(mail).windowListUnreadable = true;
    model->activateUntrackedWindow(loose, mail, false);
    rt.runUntilIdle();
    EXPECT_FALSE(model->activationRetry);
}

TEST_F(BarModelTest, MinimisingTheFocusedWindowDropsTheFocusAndMinimisesIt) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    model->activateWindow(doc);
    model->minimizeWindow(inbox);
    rt.runUntilIdle();
    EXPECT_EQ(model->pendingFocusedWindowID, doc);
    EXPECT_EQ(*model->focusedWindowID, doc);
    EXPECT_TRUE(sim.window(inbox)->minimized);

    model->minimizeWindow(doc);
    rt.runUntilIdle();
    EXPECT_FALSE(model->pendingFocusedWindowID);
    EXPECT_FALSE(*model->focusedWindowID);
    EXPECT_TRUE(sim.window(doc)->minimized);
    model->minimizeWindow(9999);
}

TEST_F(BarModelTest, ClosingPressesTheCloseButtonWhenThereIsOne) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t stuck = open(mail, "Stuck", m1);
    start();
    model->closeWindow(doc);
    rt.runUntilIdle();
    EXPECT_FALSE(sim.window(doc));
    EXPECT_TRUE(store->windows().contains(doc)) << "the store learns of it through its own events";

    AXElement window = simAX.windowElement(stuck);
    simAX.overrides.copyAttributeValue =
        [window](const AXElement& e, const std::string& attribute) -> std::optional<SimAXAnswer> {
        if (e == window && attribute == "AXCloseButton") return SimAXAnswer{kAXErrorNoValue, {}};
        return std::nullopt;
    };
    size_t mark = sim.callLog.size();
    model->closeWindow(stuck);
    rt.runUntilIdle();
    EXPECT_TRUE(sim.window(stuck));
    EXPECT_TRUE(actions(mark).empty());
}

TEST_F(BarModelTest, LaunchingOpensTheInstalledApplication) {
    start();
    install(kNotes, "Notes", [](auto& a) { a.windowsOnLaunch = {"Untitled"}; });

    model->launchApp("com.example.nowhere");
    EXPECT_EQ(callCount("NSWorkspace.openApplication"), 0u);

    model->launchApp(kNotes);
    EXPECT_EQ(callCount("NSWorkspace.openApplication", Value::string("/Applications/Notes.app")), 1u);
    rt.runUntilIdle();
    std::optional<int32_t> launched;
    for (const auto& [pid, a] : sim.apps()) {
        if (a.bundleID == kNotes && !a.terminated) launched = pid;
    }
    ASSERT_TRUE(launched);
    EXPECT_EQ(sim.frontmostPID(), launched);
    size_t windows = 0;
    for (const auto& [id, window] : sim.windows())
        windows += window.ownerPID == *launched && window.title == "Untitled";
    EXPECT_EQ(windows, 1u);

    // A second launch brings the running application forward instead of starting another.
    sim.activateApp(mail);
    model->launchApp(kNotes);
    rt.runUntilIdle();
    EXPECT_EQ(sim.frontmostPID(), launched);
    size_t instances = 0;
    for (const auto& [pid, a] : sim.apps()) instances += a.bundleID == kNotes;
    EXPECT_EQ(instances, 1u);
}

TEST_F(BarModelTest, MinimisingAWindowWhoseRetryIsWaitingCancelsTheRetry) {
    uint32_t doc = open(editor, "Doc", m1);
    uint32_t inbox = open(mail, "Inbox", m1);
    start();
    simAX.faults(editor).windowListUnreadable = true;
    model->activateWindow(doc);
    model->refresh();  // a change of the store before the answer leaves the activation its own
    rt.runUntilIdle();
    ASSERT_TRUE(model->activationRetry);
    simAX.faults(editor).windowListUnreadable = false;

    model->minimizeWindow(inbox);  // another window: the retry still waits
    EXPECT_TRUE(model->activationRetry);

    model->minimizeWindow(doc);
    EXPECT_FALSE(model->activationRetry);
    rt.runUntilIdle();
    size_t mark = sim.callLog.size();
    rt.advance(BarViewModel::kActivationRetryDelay);
    for (const std::string& a : actions(mark)) EXPECT_EQ(a.find(w(doc)), std::string::npos) << a;
    EXPECT_TRUE(sim.window(doc)->minimized);
}

}  // namespace
}  // namespace qv
