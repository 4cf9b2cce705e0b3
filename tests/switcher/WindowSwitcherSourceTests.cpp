#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "support/SwitcherDesktop.h"
#include "switcher/WindowSwitcherWindowSource.h"

namespace qv::testing {
namespace {

class WindowSwitcherSourceTest : public SwitcherDesktop {
  protected:
    // The snapshot at a point once the applications asked have answered.
    std::optional<SwitcherSnapshot> snapshot(WindowSwitcherWindowSource& source, Point at) {
        auto plan = source.draft(at);
        if (!plan) return std::nullopt;
        std::optional<WindowSwitcherWindowSource::Answers> answers;
        source.ask(*plan, [&answers](WindowSwitcherWindowSource::Answers a) { answers = std::move(a); });
        rt.runUntilIdle();
        EXPECT_TRUE(answers);
        return answers ? std::optional(source.complete(*plan, *answers)) : std::nullopt;
    }
    static std::vector<std::string> titlesOf(const SwitcherSnapshot& snap) {
        std::vector<std::string> titles;
        for (const SwitcherEntry& e : snap.entries) titles.push_back(e.title);
        return titles;
    }
};

TEST_F(WindowSwitcherSourceTest, ListsTheDesktopUnderThePointWithItsSwitchableUntrackedWindows) {
    startModel();
    WindowSwitcherWindowSource source(sim.platform(), store);
    auto snap = snapshot(source, {2500, 450});
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->spaceID, side);
    EXPECT_EQ(snap->focusedWindowID, draft);
    // The focused window first, the dialog admitted by its own checks, the minimised one last; the
    // narrow, invisible and Dock windows never.
    std::vector<std::string> titles;
    for (const SwitcherEntry& e : snap->entries) titles.push_back(e.title);
    EXPECT_EQ(titles.front(), "Draft");
    EXPECT_EQ(titles.back(), "Parked");
    EXPECT_EQ(std::set<std::string>(titles.begin(), titles.end()),
              (std::set<std::string>{"Draft", "Inbox", "Notes", "Send?", "Parked"}));
    EXPECT_EQ(titles.size(), 5u);
    for (const SwitcherEntry& e : snap->entries) EXPECT_EQ(e.isTracked, e.id != dialog) << e.title;

    // No display under the point: no snapshot.
    EXPECT_FALSE(source.draft({-500, -500}));

    // Untracked windows follow Accessibility or the application's policy (formerly
    // UntrackedWindowsFollowAccessibilityOrTheApplicationsPolicy).
    SimAccessibility& ax = sim.accessibility();
    uint32_t palette = sim.openWindow(mail, "Palette", side, Rect{2500, 400, 200, 200},
                                      [](SimWindowSpec& s) { s.subrole = "AXSystemDialog"; });
    uint32_t bare = sim.openWindow(mail, "Bare", side, Rect{2500, 400, 200, 200}, [](SimWindowSpec& s) {
        s.subrole.reset();
        s.modal = true;
    });
    uint32_t hidden = sim.openWindow(mail, "Hidden", side, Rect{2500, 400, 200, 200}, [](SimWindowSpec& s) {
        s.inAXWindowList = false;
        s.subrole = "AXDialog";
    });
    auto listed = [&](uint32_t id) {
        auto snap = snapshot(source, {2500, 450});
        return std::any_of(snap->entries.begin(), snap->entries.end(),
                           [&](const SwitcherEntry& e) { return e.id == id; });
    };
    EXPECT_FALSE(listed(palette));  // a subrole outside the allowed ones
    EXPECT_TRUE(listed(bare));      // no subrole passes
    EXPECT_FALSE(listed(hidden));   // Accessibility lists the application's windows, not this one

    // Without an Accessibility window list, a regular application's top-level windows pass.
    ax.faults(mail).windowListUnreadable = true;
    EXPECT_TRUE(listed(hidden));
    EXPECT_TRUE(listed(dialog));
    EXPECT_FALSE(listed(sim.openWindow(mail, "Sheet", side, Rect{2500, 400, 200, 200}, [&](SimWindowSpec& s) {
        s.parent = dialog;
        s.subrole = "AXDialog";
    })));  // but not its child windows
}

// What needs no application shows at once; the applications' answers bring the rest, in the same
// order, and only they change the history.
TEST_F(WindowSwitcherSourceTest, TheTrackedWindowsComeAtOnceAndTheAnswersCompleteTheList) {
    startModel();
    WindowSwitcherWindowSource source(sim.platform(), store);
    const std::vector<uint32_t> history = source.recency.order();
    auto plan = source.draft({2500, 450});
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->axWindowsOf, std::set<int32_t>{mail});  // the dialog's application
    EXPECT_EQ(plan->frontmostPID, editor);
    const SwitcherSnapshot early = source.provisionalSnapshot(*plan, draft);
    EXPECT_EQ(titlesOf(early), (std::vector<std::string>{"Draft", "Notes", "Inbox", "Parked"}));
    EXPECT_EQ(source.recency.order(), history);

    std::optional<WindowSwitcherWindowSource::Answers> answers;
    source.ask(*plan, [&answers](WindowSwitcherWindowSource::Answers a) { answers = std::move(a); });
    EXPECT_FALSE(answers) << "the answers come on the main queue";
    rt.runUntilIdle();
    ASSERT_TRUE(answers);
    EXPECT_EQ(answers->focusedWindowID, draft);
    const SwitcherSnapshot done = source.complete(*plan, *answers);
    auto titles = titlesOf(done);
    titles.erase(std::find(titles.begin(), titles.end(), "Send?"));
    EXPECT_EQ(titles, titlesOf(early));
}

TEST_F(WindowSwitcherSourceTest, AFocusedWindowOnAnotherDisplayIsRecordedButNotFocusedHere) {
    startModel();
    sim.focusWindow(mainWindow);
    WindowSwitcherWindowSource source(sim.platform(), store);
    auto snap = snapshot(source, {2500, 450});
    ASSERT_TRUE(snap);
    EXPECT_FALSE(snap->focusedWindowID);
    EXPECT_EQ(source.recency.order().front(), mainWindow);
}

TEST_F(WindowSwitcherSourceTest, AnIconIsForgottenWhenItsApplicationEnds) {
    startModel();
    WindowSwitcherWindowSource source(sim.platform(), store);
    ASSERT_TRUE(snapshot(source, {2500, 450}));
    const size_t cached = source.iconCacheCount();
    ASSERT_GT(cached, 0u);
    sim.terminateApp(mail);
    rt.runUntilIdle();
    // A later application given the same pid must not show the old one's icon.
    EXPECT_EQ(source.iconCacheCount(), cached - 1);
}

}  // namespace
}  // namespace qv::testing
