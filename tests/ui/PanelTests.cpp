#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"
#include "ui/OutsideClickMonitor.h"
#include "ui/Panel.h"
#include "ui/SampleBarView.h"
#include "ui/SvgQuery.h"
#include "ui/SvgRenderer.h"
#include "ui/XmlLint.h"

namespace qv {
namespace {

class PanelTest : public testing::OneAppDesktop<> {
  protected:
    PanelTest() : OneAppDesktop("com.example.compass", "Compass") {}

    std::shared_ptr<Panel> makePanel(Rect frame, int level, std::shared_ptr<View> view = nullptr,
                                     uint64_t style = stylemask::kNonactivatingPanel) {
        auto panel = Panel::make<Panel>(sim.platform().windowing, rt, frame, style);
        panel->setLevel(level);
        if (view) panel->setContentView(std::make_shared<HostingView>(rt, view));
        return panel;
    }
    uint32_t openAppWindow(Rect wsFrame, std::string title = "Start Page") {
        return open(std::move(title), wsFrame);
    }
    std::vector<uint32_t> onScreenIDs() {
        std::vector<uint32_t> ids;
        auto list = sim.platform().windowServer.copyWindowList(windowlist::kOptionOnScreenOnly, 0);
        for (const Value& e : *list->asArray())
            ids.push_back(e["kCGWindowNumber"].asNumberObject()->uint32Value());
        return ids;
    }
};

TEST_F(PanelTest, APanelIsAWindowOfOurProcessAtItsLevelAndInWindowOrder) {
    uint32_t window = openAppWindow({100, 100, 800, 600});
    auto bar = makePanel({0, 0, 1440, 36}, windowlevel::kMainMenu);
    EXPECT_EQ(onScreenIDs(), (std::vector<uint32_t>{window}));  // not on screen before ordered in
    bar->orderFrontRegardless();
    ASSERT_EQ(onScreenIDs(), (std::vector<uint32_t>{bar->windowNumber(), window}));
    const SimWindow* w = sim.window(bar->windowNumber());
    EXPECT_EQ(w->ownerPID, sim.ownPID());
    EXPECT_EQ(w->layer, 24);
    EXPECT_EQ(w->frame, (Rect{0, 864, 1440, 36}));  // the bottom of the screen, in window-server space
    EXPECT_EQ(w->spaces, (std::set<uint64_t>{space}));

    // Above the normal window even after that window is raised; a normal-level panel goes by order.
    sim.raiseWindow(window);
    EXPECT_EQ(onScreenIDs().front(), bar->windowNumber());
    auto preview = makePanel({200, 200, 300, 200}, windowlevel::kNormal);
    preview->orderFront();
    EXPECT_EQ(onScreenIDs(), (std::vector<uint32_t>{bar->windowNumber(), preview->windowNumber(), window}));
    preview->orderBelow(window);
    EXPECT_EQ(onScreenIDs(), (std::vector<uint32_t>{bar->windowNumber(), window, preview->windowNumber()}));

    // Frames and levels follow the panel; ordered out it leaves the screen, closed the list.
    bar->setFrame({0, 0, 1440, 44}, true);
    EXPECT_EQ(sim.window(bar->windowNumber())->frame, (Rect{0, 856, 1440, 44}));
    bar->setLevel(windowlevel::kPopUpMenu);
    EXPECT_EQ(sim.window(bar->windowNumber())->layer, 101);
    bar->orderOut();
    EXPECT_EQ(onScreenIDs(), (std::vector<uint32_t>{window, preview->windowNumber()}));
    uint32_t number = preview->windowNumber();
    preview->close();
    EXPECT_FALSE(sim.window(number));
    EXPECT_EQ(sim.callsNamed("NSWindow.close").size(), 1u);
}

TEST_F(PanelTest, PanelsThatJoinAllSpacesOrMoveToTheActiveOneFollowTheUser) {
    uint64_t other = sim.addSpace(display);
    auto everywhere = makePanel({0, 0, 100, 100}, windowlevel::kFloating);
    everywhere->collectionBehavior = collectionbehavior::kCanJoinAllSpaces;
    everywhere->orderFront();
    EXPECT_EQ(sim.window(everywhere->windowNumber())->spaces, (std::set<uint64_t>{space, other}));

    auto settings = makePanel({0, 0, 100, 100}, windowlevel::kFloating);
    settings->collectionBehavior = collectionbehavior::kMoveToActiveSpace;
    settings->orderFront();
    sim.switchToSpace(other);
    sim.finishDesktopSwitches();
    EXPECT_FALSE(sim.isOnScreen(*sim.window(settings->windowNumber())));
    settings->orderFront();
    EXPECT_EQ(sim.window(settings->windowNumber())->spaces, (std::set<uint64_t>{other}));
}

TEST_F(PanelTest, PointerEventsGoToThePanelUnderThePointerOrToOtherApplicationsAndGlobalMonitors) {
    int taps = 0;
    auto view = std::make_shared<ClosureView>([&] {
        return HStack(
            {Rectangle()->fillWith(Color::red())->frame(100, 36)->onTapGesture([&] { ++taps; }), Spacer()});
    });
    auto bar = makePanel({0, 0, 1440, 36}, windowlevel::kMainMenu, view);
    bar->orderFrontRegardless();
    bar->contentView()->layoutNow();
    uint32_t window = openAppWindow({100, 100, 800, 600});

    std::vector<EventType> global, local;
    auto& windowing = sim.windowing();
    windowing.addGlobalMonitor(EventType::leftMouseDown | EventType::mouseMoved,
                               [&](const Event& e) { global.push_back(e.type); });
    MonitorToken localToken =
        windowing.addLocalMonitor(eventMask(EventType::leftMouseDown), [&](const Event& e) {
            local.push_back(e.type);
            return std::optional<Event>(e);
        });

    sim.click({50, 18});  // on the drawn part of the bar
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(local, (std::vector<EventType>{EventType::leftMouseDown}));
    EXPECT_TRUE(global.empty());
    EXPECT_NE(sim.frontmostPID(), app);

    // The transparent rest of the bar lets the click through to the desktop; the window activates.
    sim.click({500, 18});
    EXPECT_EQ(global, (std::vector<EventType>{EventType::leftMouseDown}));
    sim.click({300, 500});  // on the app's window
    EXPECT_EQ(sim.frontmostPID(), app);
    EXPECT_EQ(global.size(), 2u);
    (void)window;

    // A local monitor that swallows the click keeps it from the bar.
    windowing.removeMonitor(localToken);
    windowing.addLocalMonitor(eventMask(EventType::leftMouseDown), [](const Event&) { return std::nullopt; });
    sim.click({50, 18});
    EXPECT_EQ(taps, 1);
    // A panel that ignores the mouse lets everything through.
    bar->ignoresMouseEvents = true;
    EXPECT_FALSE(sim.windowing().panelAt({50, 18}));
}

TEST_F(PanelTest, AContextMenuIsRecordedAndAnItemPickedByItsTitlesRunsItsAction) {
    std::vector<std::string> chosen;
    bool pinned = false;
    auto view = std::make_shared<ClosureView>([&] {
        return Rectangle()->fillWith(Color::gray())->frame(200, 36)->contextMenu([&] {
            Menu menu;
            menu.items.push_back(MenuItem::button("Quit Compass", [&] { chosen.push_back("quit"); }));
            menu.items.push_back(MenuItem::separator());
            Menu pin;
            MenuItem bar = MenuItem::button("Bar", [&] { pinned = !pinned; });
            bar.state = pinned ? MenuItemState::on : MenuItemState::off;
            pin.items.push_back(bar);
            MenuItem appMenu = MenuItem::button("App menu", [&] { chosen.push_back("app menu"); });
            appMenu.enabled = false;
            pin.items.push_back(appMenu);
            menu.items.push_back(MenuItem::sub("Pin to", pin));
            return menu;
        });
    });
    auto bar = makePanel({0, 0, 200, 36}, windowlevel::kMainMenu, view);
    bar->orderFrontRegardless();
    bar->contentView()->layoutNow();
    sim.rightClick({100, 18});
    ASSERT_TRUE(sim.windowing().openMenu());
    EXPECT_EQ(sim.windowing().openMenu()->windowNumber, bar->windowNumber());
    EXPECT_EQ(sim.callsNamed("NSMenu.popUpContextMenu").size(), 1u);
    EXPECT_FALSE(sim.pickMenuItem({"Pin to", "App menu"}));  // disabled
    EXPECT_FALSE(sim.pickMenuItem({"Pin to", "Dock"}));      // no such item
    EXPECT_TRUE(sim.pickMenuItem({"Pin to", "Bar"}));
    EXPECT_TRUE(pinned);
    EXPECT_FALSE(sim.windowing().openMenu());  // choosing closed it
    EXPECT_FALSE(sim.pickMenuItem({"Quit Compass"}));
    sim.rightClick({100, 18});
    EXPECT_EQ(sim.windowing().openMenu()->menu.find({"Pin to", "Bar"})->state, MenuItemState::on);
    EXPECT_TRUE(sim.pickMenuItem({"Quit Compass"}));
    EXPECT_EQ(chosen, (std::vector<std::string>{"quit"}));
}

TEST_F(PanelTest, KeysGoToTheFocusedFieldOfTheKeyPanelAfterTheLocalMonitors) {
    std::string query;
    auto view = std::make_shared<ClosureView>([&] {
        return TextField("Search applications...", {[&] { return query; }, [&](std::string v) { query = v; }})
            ->frame(280, 22);
    });
    class LauncherPanel : public Panel {
      public:
        using Panel::Panel;
        bool canBecomeKey() const override { return true; }
    };
    auto launcher = Panel::make<LauncherPanel>(sim.platform().windowing, rt, Rect{5, 44, 300, 400},
                                               stylemask::kNonactivatingPanel);
    launcher->setContentView(std::make_shared<HostingView>(rt, view));
    launcher->makeKeyAndOrderFront();
    launcher->contentView()->layoutNow();
    sim.windowing().activate(true);
    EXPECT_TRUE(launcher->isKeyWindow());
    std::vector<uint16_t> arrows;
    sim.windowing().addLocalMonitor(
        eventMask(EventType::keyDown), [&](const Event& e) -> std::optional<Event> {
            if (e.keyCode == keycodes::kUpArrow || e.keyCode == keycodes::kDownArrow) {
                arrows.push_back(e.keyCode);
                return std::nullopt;
            }
            return e;
        });
    // Its first text field has the keys from the moment the panel is key, before any click.
    sim.keyDown(8, "c");
    sim.click(launcher->convertToScreen({150, 200}));
    sim.keyDown(keycodes::kDownArrow);
    sim.keyDown(31, "o");
    EXPECT_EQ(query, "co");
    EXPECT_EQ(arrows, (std::vector<uint16_t>{keycodes::kDownArrow}));
    // Another application activated: the panel resigns key and keys go elsewhere.
    sim.windowing().deactivate();
    EXPECT_FALSE(launcher->isKeyWindow());
    sim.keyDown(0, "a");
    EXPECT_EQ(query, "co");
}

TEST_F(PanelTest, APressOutsideClosesThePanelUnlessItIsALeftPressOnItsToggle) {
    auto panel = makePanel(Rect{5, 44, 300, 400}, windowlevel::kFloating);
    auto bar = makePanel(Rect{0, 0, 1440, 36}, windowlevel::kMainMenu);
    panel->orderFront();
    bar->orderFront();
    openAppWindow(Rect{600, 100, 400, 300});
    int closes = 0;
    const Rect toggle{8, 4, 29, 28};  // the bar's menu button
    OutsideClickMonitor monitor(
        sim.platform().windowing, panel, [&] { ++closes; }, [&](Point p) { return toggle.contains(p); });
    sim.click(Point{100, 200});  // inside
    sim.click(Point{20, 18});    // the toggle: its own action closes
    EXPECT_EQ(closes, 0);
    sim.rightClick(Point{20, 18});  // any other press outside closes: a right click on the toggle,
    sim.click(Point{700, 18});      // the bar elsewhere,
    sim.click(Point{800, 600});     // another application's window
    EXPECT_EQ(closes, 3);
    panel->orderOut();
    sim.click(Point{700, 18});
    EXPECT_EQ(closes, 3) << "a hidden panel is not closed again";

    sim.windowing().setMonitorsRefused(true);
    OutsideClickMonitor without(sim.platform().windowing, panel, [&] { ++closes; });
    EXPECT_EQ(without.localMonitor(), 0u);
    EXPECT_EQ(without.globalMonitor(), 0u);
}

TEST_F(PanelTest, TrackingAreasReportEnteringAndLeavingToTheirOwner) {
    class Popup : public Panel {
      public:
        using Panel::Panel;
        std::vector<std::string> log;
        void mouseEntered(const Event&) override { log.push_back("entered"); }
        void mouseExited(const Event&) override { log.push_back("exited"); }
    };
    auto popup = Panel::make<Popup>(sim.platform().windowing, rt, Rect{100, 44, 358, 336},
                                    stylemask::kNonactivatingPanel);
    popup->setLevel(windowlevel::kPopUpMenu);
    popup->setContentView(std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([] { return Rectangle()->fillWith(Color::windowBackground()); })));
    auto area = std::make_shared<TrackingArea>();
    area->rect = popup->contentView()->bounds();
    area->options = 0x287;
    area->owner = popup;
    popup->contentView()->addTrackingArea(area);
    popup->orderFrontRegardless();
    popup->contentView()->layoutNow();
    sim.mouseMove({50, 100});
    sim.mouseMove({200, 200});
    sim.mouseMove({210, 210});
    sim.mouseMove({600, 200});
    EXPECT_EQ(popup->log, (std::vector<std::string>{"entered", "exited"}));
}

TEST_F(PanelTest, FrameAndAlphaAnimationsCompleteOnTheClock) {
    auto panel = makePanel({100, 44, 358, 336}, windowlevel::kPopUpMenu);
    panel->setAlphaValue(0);
    panel->orderFrontRegardless();
    panel->animateAlpha(1, Animation::easeOut(0.15));
    panel->animateFrame({300, 44, 358, 336}, Animation::easeInOut(0.15));
    EXPECT_TRUE(panel->isAnimating());
    ASSERT_EQ(panel->animations().size(), 2u);
    EXPECT_EQ(panel->animations()[0].target, "alpha");
    EXPECT_EQ(panel->animations()[0].animation.curve, AnimationCurve::easeOut);
    rt.advance(0.149);
    EXPECT_EQ(panel->alpha(), 0);
    EXPECT_EQ(panel->frame().minX(), 100);
    rt.advance(0.001);
    EXPECT_FALSE(panel->isAnimating());
    EXPECT_EQ(panel->alpha(), 1);
    EXPECT_EQ(sim.window(panel->windowNumber())->alpha, 1.0f);
    EXPECT_EQ(panel->frame().minX(), 300);
    // A second move replaces a running one: only the last target is reached.
    panel->animateFrame({400, 44, 358, 336}, Animation::easeInOut(0.15));
    rt.advance(0.1);
    panel->animateFrame({500, 44, 358, 336}, Animation::easeInOut(0.15));
    rt.advance(0.1);
    EXPECT_EQ(panel->frame().minX(), 300);
    rt.advance(0.051);
    EXPECT_EQ(panel->frame().minX(), 500);
    // A closed panel's pending animation does nothing.
    panel->animateAlpha(0.5, Animation::easeOut(0.2));
    panel->close();
    rt.advance(1);
    EXPECT_EQ(panel->alpha(), 1);
}

TEST_F(PanelTest, TheSampleBarAtTheBottomOfTheDisplayRendersToValidSvg) {
    std::vector<SampleBarView::Chip> chips = {
        {"Compass", Image::named("Compass", 64, 64), std::nullopt, true},
        {"Inkwell <notes> & \"drafts\"", Image::filled(4, 4, 0x3366FFFF), std::nullopt, false},
        {"Harbor Mail", Image::named("Harbor Mail", 64, 64), std::string("3"), false},
    };
    auto view = std::make_shared<SampleBarView>(chips);
    auto bar = makePanel({0, 0, 1440, 36}, windowlevel::kMainMenu, view);
    bar->contentView()->setAppearance(Appearance::darkAqua);
    bar->orderFrontRegardless();
    openAppWindow({200, 150, 900, 600}, "Inbox — 3 unread & more");
    rt.runUntilIdle();

    const DisplayList& list = bar->contentView()->displayList();
    const DrawOp* badge = list.findText("3");
    const DrawOp* mail = list.findText("Harbor Mail");
    ASSERT_TRUE(badge && mail);
    EXPECT_LT(badge->frame.maxX(), mail->frame.minX());  // the badge's room is reserved before the title
    EXPECT_EQ(list.findText("Compass")->color.r, 1);     // dark bar: light text
    // The chips stand in the scroll view after the menu tile and a divider, in their order.
    EXPECT_LT(list.findText("Compass")->frame.maxX(), mail->frame.minX());
    EXPECT_GT(list.findText("Compass")->frame.minX(), 49);

    // Hovering and clicking a chip through the simulated pointer.
    Point onMail = bar->convertToScreen({mail->frame.midX(), 2});  // above the drawn chip, still in the bar
    sim.mouseMove(onMail);
    EXPECT_EQ(view->hoveredChip, "Harbor Mail");
    sim.click(onMail);
    EXPECT_EQ(view->tappedChips, (std::vector<std::string>{"Harbor Mail"}));
    sim.mouseMove({700, 500});
    EXPECT_FALSE(view->hoveredChip);

    std::string barSvg = SvgRenderer::render(list);
    EXPECT_TRUE(textIndex(parseSvg(barSvg), "Inkwell &lt;notes&gt; &amp; "));  // cut at 140 points
    EXPECT_NE(barSvg.find("data:image/png;base64,"), std::string::npos);
    std::string screenshot = sim.renderSvg();
    const auto shot = parseSvg(screenshot);
    ASSERT_TRUE(textIndex(shot, "Inbox — 3 unread &amp; more"));
    ASSERT_TRUE(textIndex(shot, "Harbor Mail"));
    // Our bar is drawn after (above) the app's window.
    EXPECT_GT(*textIndex(shot, "Harbor Mail"), *textIndex(shot, "Inbox"));

    for (const std::string* doc : {&barSvg, &screenshot}) {
        auto verdict = xmllint(*doc);
        if (!verdict) GTEST_SKIP() << "xmllint is not installed";
        EXPECT_TRUE(verdict->ok) << verdict->output;
    }
}

TEST(SvgRendererTest, EscapesTextAndReplacesWhatXmlCannotHold) {
    EXPECT_EQ(SvgRenderer::escape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(SvgRenderer::escape(std::string("x\x01y")), "x y");
    EXPECT_EQ(SvgRenderer::escape(std::string("\xff")),
              "\xef\xbf\xbd");  // not UTF-8: the replacement character
    EXPECT_EQ(SvgRenderer::number(1.0), "1");
    EXPECT_EQ(SvgRenderer::number(0.126), "0.13");
    EXPECT_EQ(SvgRenderer::number(-0.001), "0");
}

}  // namespace
}  // namespace qv
