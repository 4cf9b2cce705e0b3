#include <gtest/gtest.h>

#include "launcher/AppLauncherPanel.h"
#include "launcher/AppLauncherPanelContent.h"
#include "sim/SimApplications.h"
#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

// The launcher over a bar along the bottom of one display, opened as the bar's owner opens it.
class LauncherPanelTest : public testing::OneDesktop<> {
  protected:
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    PinStore pins{*settings};
    std::shared_ptr<AppLauncher> launcher;
    std::shared_ptr<AppLauncherPanel> panel;
    int dismissals = 0;
    const Rect barFrame{0, 0, 1440, 36};

    void install(const std::string& name, const std::string& id, std::vector<std::string> windows = {}) {
        SimInstalledApp app;
        app.name = name;
        app.bundleID = id;
        app.windowsOnLaunch = std::move(windows);
        sim.applications().install(std::move(app));
    }
    void open(bool settle = true) {
        if (!launcher) launcher = AppLauncher::create(sim.platform());
        panel = AppLauncherPanel::create(sim.platform(), Rect{}, launcher, pins, [this] {
            ++dismissals;
            if (panel) panel->close();
            panel = nullptr;
        });
        panel->setContentSize(AppLauncherPanel::kContentSize);
        panel->setFrameOrigin(AppLauncherPanel::originAbove(barFrame));
        panel->makeKeyAndOrderFront();
        if (settle) rt.runUntilIdle();
    }
    HostingView& host() { return *panel->contentView(); }
    std::vector<std::string> texts() {
        rt.runUntilIdle();
        std::vector<std::string> out;
        for (const DrawOp* op : host().displayList().texts()) out.push_back(op->joinedText());
        return out;
    }
    Point onScreen(const std::string& text, int occurrence = 1) {
        rt.runUntilIdle();
        for (const DrawOp* op : host().displayList().texts()) {
            if (op->joinedText() == text && --occurrence == 0)
                return panel->convertToScreen(Point{op->frame.midX(), op->frame.midY()});
        }
        ADD_FAILURE() << "no text " << text;
        return {};
    }
    void type(const std::string& text) {
        for (char c : text) sim.keyDown(0, std::string(1, c));
        rt.runUntilIdle();
    }
    std::optional<std::string> selectedName() {
        rt.runUntilIdle();
        for (const DrawOp& op : host().displayList().ops) {
            // The highlight is drawn right before the selected row's content.
            if (op.kind == DrawOp::Kind::shape && op.fill && op.shape.kind == ShapeKind::roundedRectangle &&
                op.frame.height() == 34) {
                for (const DrawOp* t : host().displayList().texts()) {
                    if (t->frame.midY() > op.frame.minY() && t->frame.midY() < op.frame.maxY())
                        return t->joinedText();
                }
            }
        }
        return std::nullopt;
    }
};

TEST_F(LauncherPanelTest, ALongQueryStaysInItsFieldAndTheMessageWithinTheMargins) {
    open();
    rt.advance(0.1);
    type(std::string(42, 'z'));
    const auto texts = host().displayList().texts();  // the title, the message, the query
    const double width = AppLauncherPanel::kContentSize.width;
    EXPECT_LT(texts.back()->clips.back().rect.maxX(), width - 24);  // the field, before the clear button
    EXPECT_GT(texts[1]->lines.size(), 1u);
    EXPECT_GE(texts[1]->frame.minX(), 16);
    EXPECT_LE(texts[1]->frame.maxX(), width - 16);
}

TEST_F(LauncherPanelTest, ThePanelTakesTheKeysWithoutActivatingAndIsDismissedOnce) {
    install("Compass", "com.example.compass");
    int32_t other = sim.launchApp(std::string("com.example.other"), "Other");
    uint32_t otherWindow = sim.openWindow(other, "Elsewhere", space, Rect{600, 100, 400, 300});
    open(false);  // before the first scan has ended
    host().layoutNow();
    EXPECT_TRUE(host().displayList().findText("Loading applications..."));
    EXPECT_EQ(panel->styleMask(), 32896u);
    EXPECT_EQ(panel->level(), 3);
    EXPECT_EQ(panel->collectionBehavior, 72u);
    EXPECT_FALSE(panel->canBecomeMain());
    EXPECT_EQ(panel->frame(), (Rect{5, 44, 300, 400}));
    EXPECT_TRUE(panel->isKeyWindow());
    EXPECT_FALSE(sim.windowing().isActive());
    rt.advance(0.1);  // the search field takes the focus
    auto shown = texts();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Compass"), shown.end());

    // Up, Down and Return are the panel's, with or without a callback; the rest reach the content.
    panel->onArrowDown = panel->onReturn = nullptr;
    sim.keyDown(keycodes::kDownArrow);
    sim.keyDown(keycodes::kReturn);
    EXPECT_EQ(sim.callsNamed("NSWorkspace.openApplication").size(), 0u);
    type("cx");
    sim.keyDown(keycodes::kLeftArrow);
    sim.keyDown(keycodes::kDelete);
    rt.runUntilIdle();
    EXPECT_EQ(*launcher->searchQuery, "c");
    shown = texts();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Compass"), shown.end());
    type("q");
    shown = texts();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "No apps matching \"cq\""), shown.end());
    EXPECT_EQ(sim.windowing().cursor(), Cursor::arrow);

    // A click inside keeps it; a click in another application's window dismisses it once, though
    // both the monitor and the loss of key status ask.
    sim.click(onScreen("Applications"));
    EXPECT_EQ(dismissals, 0);
    sim.click(Point{800, 900 - 250});
    EXPECT_EQ(dismissals, 1);
    EXPECT_FALSE(panel);
    EXPECT_EQ(sim.frontmostPID(), other);
    EXPECT_EQ(*launcher->searchQuery, "") << "the next opening starts unfiltered";
    (void)otherWindow;

    // Escape reaches the content, which asks for dismissal.
    open();
    rt.advance(0.1);
    sim.keyDown(keycodes::kEscape);
    rt.runUntilIdle();
    EXPECT_EQ(dismissals, 2);
}

TEST_F(LauncherPanelTest, TypingRanksTheListAndReturnOpensTheSelectedApplication) {
    for (auto [name, id] :
         std::vector<std::pair<const char*, const char*>>{{"Zcode", "com.example.zcode"},
                                                          {"Vivid Studio Code", "com.example.vivid"},
                                                          {"Code", "com.example.code"},
                                                          {"Notes", "com.example.notes"}}) {
        install(name, id);
    }
    install("Code Editor", "com.example.editor", {"untitled"});
    open();
    rt.advance(0.1);
    type("code");
    auto shown = texts();

    std::vector<std::string> rows(shown.begin() + 1, shown.begin() + 5);
    EXPECT_EQ(rows, (std::vector<std::string>{"Code", "Code Editor", "Vivid Studio Code", "Zcode"}));
    EXPECT_EQ(selectedName(), "Code") << "a changed list selects its first app";
    sim.keyDown(keycodes::kDownArrow);
    EXPECT_EQ(selectedName(), "Code Editor");
    sim.keyDown(keycodes::kReturn);
    EXPECT_EQ(dismissals, 1);
    rt.runUntilIdle();
    auto opened = sim.callsNamed("NSWorkspace.openApplication");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].args, Value::string("/Applications/Code Editor.app"));
    bool launched = false;
    for (const auto& [id, window] : sim.windows()) launched = launched || window.title == "untitled";
    EXPECT_TRUE(launched);

    // With nothing selected, Return opens the first result; with no result, nothing.
    open();
    rt.advance(0.1);
    type("zc");
    panel->onArrowUp();  // moves the selection off and back: still the only row
    sim.keyDown(keycodes::kReturn);
    rt.runUntilIdle();
    EXPECT_EQ(sim.callsNamed("NSWorkspace.openApplication").back().args,
              Value::string("/Applications/Zcode.app"));
    open();
    rt.advance(0.1);
    type("qq");
    sim.keyDown(keycodes::kReturn);
    EXPECT_EQ(dismissals, 2);
    EXPECT_TRUE(panel);
}

TEST_F(LauncherPanelTest, TheRowMenuPinsToTheListAndTheBar) {
    install("Compass", "com.example.compass");
    install("Ledger", "com.example.ledger");
    SimInstalledApp plain;
    plain.name = "Plain";
    sim.applications().install(plain);  // no identifier: it cannot go on the bar
    open();
    rt.advance(0.1);

    sim.rightClick(onScreen("Ledger"));
    rt.runUntilIdle();
    ASSERT_TRUE(sim.windowing().openMenu());
    EXPECT_EQ(sim.windowing().openMenu()->menu.titles(), (std::vector<std::string>{"Open", "-", "Pin to"}));
    EXPECT_EQ(selectedName(), "Ledger");
    ASSERT_TRUE(sim.pickMenuItem({"Pin to", "App menu"}));
    EXPECT_EQ(texts(), (std::vector<std::string>{"Applications", "Pinned", "Ledger", "Compass", "Ledger",
                                                 "Plain", "Search applications..."}));
    sim.rightClick(onScreen("Ledger", 1));
    EXPECT_EQ(sim.windowing().openMenu()->menu.titles(), (std::vector<std::string>{"Open", "-", "Unpin"}));
    sim.windowing().dismissMenu();

    sim.rightClick(onScreen("Plain"));
    const MenuItem* bar = sim.windowing().openMenu()->menu.find({"Pin to", "Bar"});
    ASSERT_TRUE(bar);
    EXPECT_FALSE(bar->enabled);
    sim.windowing().dismissMenu();
    sim.rightClick(onScreen("Compass"));
    ASSERT_TRUE(sim.pickMenuItem({"Pin to", "Bar"}));
    EXPECT_TRUE(pins.isPinned("com.example.compass", PinDestination::bar()));
    sim.rightClick(onScreen("Compass"));
    EXPECT_EQ(sim.windowing().openMenu()->menu.find({"Pin to", "Bar"})->state, MenuItemState::on);
    sim.windowing().dismissMenu();

    // While searching the Pinned section goes; spaces alone are no search.
    type("  ");
    auto shown = texts();
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Pinned"), shown.end());
    type("l");
    shown = texts();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), "Pinned"), 0);
    sim.click(onScreen("Ledger"));  // a click launches
    EXPECT_EQ(dismissals, 1);
}

class PinDragTest : public LauncherPanelTest {
  protected:
    void SetUp() override {
        for (const char* name : {"Alpha", "Bravo", "Charlie"}) {
            install(name, std::string("com.example.") + name);
            pins.setPin(std::string("com.example.") + name, PinDestination::appMenu(), true);
        }
        pins.setPin("com.example.hidden", PinDestination::appMenu(), true);  // not installed: not shown
        open();
        rt.advance(0.1);
    }
    std::vector<std::string> pinnedRows() {
        auto shown = texts();
        return {shown.begin() + 2, shown.begin() + 5};
    }
    const AnimationRecord* lastMove() {
        const AnimationRecord* found = nullptr;
        for (const AnimationRecord& a : host().animations()) {
            if (a.target.ends_with("#move")) found = &a;
        }
        return found;
    }
    void dragFrom(Point from, Point to) {
        sim.mouseDown(from);
        for (int i = 1; i <= 4; ++i) {
            sim.mouseDrag(Point{from.x + (to.x - from.x) * i / 4, from.y + (to.y - from.y) * i / 4});
            rt.runUntilIdle();
        }
    }
};

TEST_F(PinDragTest, DroppingAPinInsideTheListStoresTheNewOrder) {
    const Point alpha = onScreen("Alpha"), charlie = onScreen("Charlie");
    dragFrom(alpha, Point{charlie.x, charlie.y - 10});  // below Charlie's middle
    EXPECT_EQ(pinnedRows(), (std::vector<std::string>{"Bravo", "Charlie", "Alpha"}));
    ASSERT_TRUE(lastMove());
    EXPECT_EQ(lastMove()->animation, Animation::easeInOut(0.16));
    bool transparent = false;
    for (const DrawOp* op : host().displayList().texts()) {
        transparent = transparent || (op->joinedText() == "Alpha" && op->opacity == 0);
    }
    EXPECT_TRUE(transparent) << "the dragged row stands invisible under its drag image";
    EXPECT_EQ(pins.pinnedAppIDs(PinDestination::appMenu()).front(),
              "com.example.Alpha");  // nothing stored yet
    sim.mouseUp(Point{charlie.x, charlie.y - 10});
    rt.runUntilIdle();
    // Dropped after the last pin shown: right after it, before the pin the list does not show.
    EXPECT_EQ(pins.pinnedAppIDs(PinDestination::appMenu()),
              (std::vector<std::string>{"com.example.Bravo", "com.example.Charlie", "com.example.Alpha",
                                        "com.example.hidden"}));
    EXPECT_EQ(pinnedRows(), (std::vector<std::string>{"Bravo", "Charlie", "Alpha"}));
    EXPECT_EQ(dismissals, 0) << "a drag is no click";
}

TEST_F(PinDragTest, APinReleasedOutsideTheListSlidesBackAndStoresNothing) {
    const Point alpha = onScreen("Alpha"), charlie = onScreen("Charlie");
    dragFrom(alpha, Point{charlie.x, charlie.y - 10});
    const auto before = pins.pinnedApps.get();
    sim.mouseDrag(Point{900, 500});
    sim.mouseUp(Point{900, 500});  // outside the panel
    rt.runUntilIdle();
    EXPECT_EQ(pins.pinnedApps.get(), before);
    EXPECT_EQ(pinnedRows(), (std::vector<std::string>{"Alpha", "Bravo", "Charlie"}));
    ASSERT_TRUE(lastMove());
    EXPECT_EQ(lastMove()->fromValue, "4");
    EXPECT_EQ(lastMove()->toValue, "2");
    for (const DrawOp* op : host().displayList().texts()) EXPECT_EQ(op->opacity, 1) << op->joinedText();
}

}  // namespace
}  // namespace qv
