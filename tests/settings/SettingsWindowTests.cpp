#include <gtest/gtest.h>

#include <map>

#include "bar/DockController.h"
#include "settings/SettingsWindowController.h"
#include "sim/SimAppKit.h"
#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"
#include "ui/SymbolDrawings.h"

namespace qv {
namespace {

// The settings window on a desktop of two displays, built as the program builds it.
class SettingsWindowTest : public testing::TwoDisplays {
  protected:
    SettingsWindowTest() : TwoDisplays({1440, 0, 1920, 1080}, "Studio") {}

    uint64_t desk = sim.addSpace(main);
    uint64_t sideDesk = sim.addSpace(side);
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<HotkeyManager> hotkey;
    std::shared_ptr<DockController> dock;
    Published<bool> canCheck{false};
    int checks = 0;
    std::shared_ptr<SettingsWindowController> controller;

    void open(int systemVersion = 27) {
        sim.setOperatingSystemMajorVersion(systemVersion);
        settings = UserSettings::create(sim.platform());
        hotkey = HotkeyManager::create(sim.platform(), *settings);
        dock = DockController::create(sim.platform(), settings);
        controller = SettingsWindowController::create(sim.platform(), [this, systemVersion] {
            return SettingsServices{
                *settings,          *hotkey, *dock, canCheck, [this] { ++checks; }, systemVersion >= 27,
                systemVersion >= 27};
        });
        controller->show();
        rt.runUntilIdle();
    }
    SettingsPanelContent& content() {
        return static_cast<SettingsPanelContent&>(*controller->panel->contentView()->rootView());
    }
    const DisplayList& list() {
        rt.runUntilIdle();
        controller->panel->contentView()->layoutNow();
        return controller->panel->contentView()->displayList();
    }
    bool shows(const std::string& text) { return list().findText(text) != nullptr; }
    // The switch of a row: the track beside its title.
    const DrawOp* switchOf(const std::string& title) {
        const DisplayList& l = list();
        const DrawOp* t = l.findText(title);
        if (!t) return nullptr;
        for (const DrawOp& op : l.ops) {
            if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::capsule &&
                op.frame.minX() > t->frame.maxX() && std::abs(op.frame.minY() - t->frame.minY()) < 4)
                return &op;
        }
        return nullptr;
    }
    bool isOn(const std::string& title) {
        const DrawOp* track = switchOf(title);
        for (const DrawOp& op : controller->panel->contentView()->displayList().ops) {
            if (track && op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::circle &&
                track->frame.contains({op.frame.midX(), op.frame.midY()}))
                return op.frame.midX() > track->frame.midX();
        }
        ADD_FAILURE() << "no switch " << title;
        return false;
    }
    void storeTheme(const std::string& text) {
        auto data = *settings->data;
        data.theme = text;
        settings->data = data;
    }
    void clickSwitch(const std::string& title) {
        const DrawOp* s = switchOf(title);
        ASSERT_TRUE(s) << title;
        auto& host = *controller->panel->contentView();
        host.mouseDown({s->frame.midX(), s->frame.midY()});
        host.mouseUp({s->frame.midX(), s->frame.midY()});
        rt.runUntilIdle();
    }
    void scrollDown(double by) {
        controller->panel->contentView()->scrollWheel({210, 280}, 0, -by);
        rt.runUntilIdle();
    }
};

TEST_F(SettingsWindowTest, OneWindowCentredOnTheMainScreenFloatingWhileKeyAndFreshAfterAClose) {
    open();
    auto panel = controller->panel;
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->title(), "quillVorn settings");
    EXPECT_EQ(panel->styleMask(), 3u);
    EXPECT_EQ(panel->collectionBehavior, 258u);
    EXPECT_EQ(panel->contentRect(), (Rect{510, 170, 420, 560}));
    EXPECT_TRUE(panel->isKeyWindow());
    EXPECT_EQ(panel->level(), 3);
    EXPECT_FALSE(panel->hidesOnDeactivate);

    // Shown again while on screen: the same window, where it was.
    panel->setFrameOrigin({20, 30});
    controller->show();
    EXPECT_EQ(controller->panel, panel);
    EXPECT_EQ(panel->frame().origin, (Point{20, 30}));

    panel->resignKey();
    EXPECT_EQ(panel->level(), 0);
    panel->becomeKey();
    EXPECT_EQ(panel->level(), 3);

    // Command-W closes it through the handler; the next one is new and centred again.
    sim.keyDown(13, "w", modifierflags::kCommand);
    rt.runUntilIdle();
    EXPECT_TRUE(panel->isClosed());
    EXPECT_FALSE(controller->panel);
    controller->show();
    rt.runUntilIdle();
    ASSERT_TRUE(controller->panel);
    EXPECT_NE(controller->panel, panel);
    EXPECT_EQ(controller->panel->contentRect(), (Rect{510, 170, 420, 560}));
}

TEST_F(SettingsWindowTest, WithNoScreenAtAllTheWindowStandsAtTheOriginAndShows) {
    sim.setScreensAvailable(false);
    open();
    ASSERT_TRUE(controller->panel);
    EXPECT_EQ(controller->panel->contentRect(), (Rect{0, 0, 420, 560}));
    EXPECT_TRUE(controller->panel->isVisible());
}

TEST_F(SettingsWindowTest, SectionsFollowTheSystemVersion) {
    open(25);
    EXPECT_TRUE(shows("Show on all displays"));
    EXPECT_FALSE(shows("Frosted glass"));
    scrollDown(2000);
    EXPECT_FALSE(shows("WINDOW SWITCHER"));
    EXPECT_FALSE(shows("WINDOW TILING"));
    EXPECT_TRUE(shows("LAUNCHER"));

    controller->panel->close();
    // An unknown theme text shows the theme the system gives it: longhorn at 26, frosted at 27.
    open(26);
    storeTheme("neon");
    EXPECT_FALSE(isOn("Frosted glass"));
    scrollDown(2000);
    EXPECT_FALSE(shows("WINDOW SWITCHER"));
    controller->panel->close();
    open(27);
    storeTheme("neon");
    EXPECT_TRUE(isOn("Frosted glass"));
    EXPECT_EQ(settings->data->theme, "neon");
    scrollDown(2000);
    EXPECT_TRUE(shows("WINDOW SWITCHER"));
    EXPECT_TRUE(shows("WINDOW TILING"));
}

// Each symbol the window names has a drawing, and no two names share one.
TEST_F(SettingsWindowTest, EveryRowDrawsASymbolOfItsOwn) {
    open();
    std::map<std::string, std::string> drawnAs;  // the name that drew each drawing
    for (const bool scrolled : {false, true}) {
        if (scrolled) scrollDown(2000);
        for (const DrawOp& op : list().ops) {
            if (op.kind != DrawOp::Kind::image || op.imageKind != ImageKind::symbol) continue;
            const auto d = symbols::drawing(op.imageName);
            ASSERT_TRUE(d) << op.imageName;
            const std::string key = std::string(d->stroke) + "|" + std::string(d->fill) + "|" + d->label;
            EXPECT_EQ(drawnAs.try_emplace(key, op.imageName).first->second, op.imageName) << "draws alike";
        }
    }
    EXPECT_GE(drawnAs.size(), 15u);
}

TEST_F(SettingsWindowTest, SwitchesReadAndWriteTheirSettingAndDimmedRowsTakeNoClicks) {
    open();
    // Aero shows off; on stores frosted and off stores longhorn, never aero.
    settings->setTheme(BarTheme::aero);
    EXPECT_FALSE(isOn("Frosted glass"));
    clickSwitch("Frosted glass");
    EXPECT_EQ(settings->data->theme, "frosted");
    clickSwitch("Frosted glass");
    EXPECT_EQ(settings->data->theme, "longhorn");

    // An unknown bar size shows Medium and stays stored as it is.
    auto data = *settings->data;
    data.barSize = "huge";
    settings->data = data;
    // The selected segment is the one with a card behind its label.
    const DisplayList& shown = list();
    const DrawOp* medium = shown.findText("Medium");
    ASSERT_TRUE(medium);
    bool mediumSelected = false;
    for (const DrawOp& op : shown.ops) {
        if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::roundedRectangle && op.fill &&
            op.frame.contains({medium->frame.midX(), medium->frame.midY()}) && op.frame.height() == 18)
            mediumSelected = true;
    }
    EXPECT_TRUE(mediumSelected);
    EXPECT_EQ(settings->data->barSize, "huge");
    EXPECT_TRUE(shows("Scroll down switches to desktop on the Right"));

    scrollDown(300);
    clickSwitch("Show chip titles");
    EXPECT_FALSE(settings->data->showChipTitles);
    EXPECT_DOUBLE_EQ(switchOf("Show window names")->opacity, 0.55);
    clickSwitch("Show window names");
    EXPECT_TRUE(settings->data->showWindowNamesInChips);  // the click did nothing
    clickSwitch("Show chip titles");
    EXPECT_DOUBLE_EQ(switchOf("Show window names")->opacity, 1.0);
    clickSwitch("Show window names");
    EXPECT_FALSE(settings->data->showWindowNamesInChips);
}

TEST_F(SettingsWindowTest, TheFooterChecksWhileItMayAndQuitsGivingTheDockBackOnlyWithoutRunAtLogin) {
    open();
    scrollDown(3000);
    auto click = [&](const std::string& text) {
        const DrawOp* t = list().findText(text);
        ASSERT_TRUE(t) << text;
        controller->panel->contentView()->mouseDown({t->frame.midX(), t->frame.midY()});
        controller->panel->contentView()->mouseUp({t->frame.midX(), t->frame.midY()});
        rt.runUntilIdle();
    };
    click("check for updates");
    EXPECT_EQ(checks, 0);
    canCheck = true;
    click("check for updates");
    EXPECT_EQ(checks, 1);

    settings->setHideDock(true);
    rt.runUntilIdle();
    const size_t restartsBefore = sim.callsNamed("/usr/bin/killall").size();
    click("quit quillVorn");
    ASSERT_TRUE(sim.appKit().hasTerminated());
    std::vector<std::string> order;
    for (const SimCall& c : sim.callLog) {
        if (c.name == "/usr/bin/killall" || c.name == "NSApp.terminate") order.push_back(c.name);
    }
    EXPECT_EQ(sim.callsNamed("/usr/bin/killall").size(), restartsBefore + 1);
    EXPECT_EQ(order.back(), "NSApp.terminate");
    EXPECT_EQ(order[order.size() - 2], "/usr/bin/killall");
}

TEST_F(SettingsWindowTest, WithRunAtLoginTheQuitLeavesTheDockAlone) {
    open();
    settings->setHideDock(true);
    settings->setRunAtLogin(true);
    rt.runUntilIdle();
    ASSERT_TRUE(settings->data->runAtLogin);
    const size_t restartsBefore = sim.callsNamed("/usr/bin/killall").size();
    content().quit();
    EXPECT_EQ(sim.callsNamed("/usr/bin/killall").size(), restartsBefore);
    EXPECT_EQ(sim.callsNamed("NSApp.terminate").size(), 1u);
}

}  // namespace
}  // namespace qv
