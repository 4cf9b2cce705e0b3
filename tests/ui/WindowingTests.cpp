#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"
#include "ui/Panel.h"
#include "ui/SvgQuery.h"
#include "ui/XmlLint.h"

namespace qv {
namespace {

// A hosting view that acts on the click that activates its window.
class FirstMouseView : public HostingView {
  public:
    using HostingView::HostingView;
    bool acceptsFirstMouse(const Event&) const override { return true; }
};

class WindowingTest : public testing::OneAppDesktop<> {
  protected:
    WindowingTest() : OneAppDesktop("com.example.atlas", "Atlas") {}

    SimWindowing& windowing = sim.windowing();
    int taps = 0;

    // A panel filled with a tappable rectangle, shown and laid out.
    std::shared_ptr<Panel> makePanel(Rect frame, uint64_t style = stylemask::kNonactivatingPanel,
                                     bool firstMouse = false) {
        auto panel = Panel::make<Panel>(sim.platform().windowing, rt, frame, style);
        auto view = std::make_shared<ClosureView>(
            [this] { return Rectangle()->fillWith(Color::gray())->onTapGesture([this] { ++taps; }); });
        panel->setContentView(firstMouse ? std::make_shared<FirstMouseView>(rt, view)
                                         : std::make_shared<HostingView>(rt, view));
        panel->orderFront();
        rt.runUntilIdle();
        return panel;
    }
    bool onScreen(const Panel& p) const {
        const SimWindow* w = sim.window(p.windowNumber());
        return w && sim.isOnScreen(*w);
    }
    Point centreOf(const Panel& p) const { return {p.frame().midX(), p.frame().midY()}; }
};

// --- Hiding with the application ---

TEST_F(WindowingTest, PanelsThatHideOnDeactivateLeaveWithTheApplicationAndComeBackWithIt) {
    auto popup = makePanel({100, 100, 200, 100});
    auto bar = makePanel({0, 0, 1440, 36});
    bar->hidesOnDeactivate = false;
    auto closedLater = makePanel({400, 100, 200, 100});
    auto alreadyHidden = makePanel({700, 100, 200, 100});
    alreadyHidden->orderOut();
    windowing.activate(true);
    windowing.deactivate();
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(onScreen(*popup));
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(onScreen(*bar));
    uint32_t closedNumber = closedLater->windowNumber();
    closedLater->close();
    windowing.deactivate();  // already inactive: nothing more happens

    windowing.activate(false);
    EXPECT_TRUE(popup->isVisible());
    EXPECT_TRUE(onScreen(*popup));
    EXPECT_FALSE(alreadyHidden->isVisible());  // it was not shown when the application left
    EXPECT_FALSE(sim.window(closedNumber));
    EXPECT_EQ(sim.windowsInListOrder().front()->id, popup->windowNumber());  // back in front
}

TEST_F(WindowingTest, APanelOrderedOutWhileHiddenWithTheApplicationStaysOut) {
    auto popup = makePanel({100, 100, 200, 100});
    windowing.activate(true);
    windowing.deactivate();
    size_t orderOuts = sim.callsNamed("NSWindow.orderOut").size();
    popup->orderOut();  // e.g. the pop-up is dismissed while another application is active
    EXPECT_EQ(sim.callsNamed("NSWindow.orderOut").size(), orderOuts);
    windowing.activate(true);
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(onScreen(*popup));
    // Shown again on purpose, it hides and returns with the application as before.
    popup->orderFront();
    windowing.deactivate();
    EXPECT_FALSE(onScreen(*popup));
    windowing.activate(true);
    EXPECT_TRUE(onScreen(*popup));
}

// --- The click that activates ---

TEST_F(WindowingTest, AClickThatActivatesTheApplicationReachesOnlyViewsThatAcceptTheFirstMouse) {
    auto settings = makePanel({100, 100, 300, 200}, stylemask::kTitled | stylemask::kClosable);
    sim.click(centreOf(*settings));
    EXPECT_EQ(taps, 0);  // it only activated the application and made the window key
    EXPECT_TRUE(windowing.isActive());
    EXPECT_TRUE(settings->isKeyWindow());
    EXPECT_EQ(sim.frontmostPID(), sim.ownPID());
    sim.click(centreOf(*settings));
    EXPECT_EQ(taps, 1);

    // After another application took over, a view that accepts the first mouse acts at once.
    settings->hidesOnDeactivate = false;
    auto eager = makePanel({500, 100, 300, 200}, stylemask::kTitled, true);
    eager->hidesOnDeactivate = false;
    windowing.deactivate();
    sim.click(centreOf(*eager));
    EXPECT_EQ(taps, 2);
    EXPECT_TRUE(eager->isKeyWindow());
    // A non-activating panel takes every click and leaves the application inactive.
    windowing.deactivate();
    auto bar = makePanel({0, 0, 1440, 36});
    size_t activations = sim.callsNamed("NSApp.activate").size();
    sim.click(centreOf(*bar));
    EXPECT_EQ(taps, 3);
    EXPECT_FALSE(windowing.isActive());
    EXPECT_EQ(sim.callsNamed("NSApp.activate").size(), activations);
}

TEST_F(WindowingTest, TheActivatingClickIsSeenByLocalMonitorsAndNeverByGlobalOnes) {
    auto settings = makePanel({100, 100, 300, 200}, stylemask::kTitled);
    std::vector<EventType> local, global;
    windowing.addLocalMonitor(EventType::leftMouseDown | EventType::leftMouseUp, [&](const Event& e) {
        local.push_back(e.type);
        return std::optional<Event>(e);
    });
    windowing.addGlobalMonitor(EventType::leftMouseDown | EventType::leftMouseUp,
                               [&](const Event& e) { global.push_back(e.type); });
    sim.click(centreOf(*settings));
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(local, (std::vector<EventType>{EventType::leftMouseDown, EventType::leftMouseUp}));
    EXPECT_TRUE(global.empty());
    // A right click on an inactive application's panel is delivered without activating it.
    windowing.deactivate();
    bool menu = false;
    auto view = std::make_shared<ClosureView>(
        [&] { return Rectangle()->fillWith(Color::gray())->onRightClick([&] { menu = true; }); });
    settings->setContentView(std::make_shared<HostingView>(rt, view));
    settings->orderFront();
    rt.runUntilIdle();
    sim.rightClick(centreOf(*settings));
    EXPECT_TRUE(menu);
    EXPECT_FALSE(windowing.isActive());
}

// --- Event monitors ---

TEST_F(WindowingTest, MonitorsSeeOnlyTheEventTypesOfTheirMasks) {
    auto bar = makePanel({0, 0, 1440, 36});
    std::vector<EventType> keysOnly, clicks, everything, globalMoves;
    windowing.addLocalMonitor(eventMask(EventType::keyDown), [&](const Event& e) {
        keysOnly.push_back(e.type);
        return std::optional<Event>(e);
    });
    windowing.addLocalMonitor(EventType::leftMouseDown | EventType::leftMouseUp | EventType::scrollWheel,
                              [&](const Event& e) {
                                  clicks.push_back(e.type);
                                  return std::optional<Event>(e);
                              });
    windowing.addLocalMonitor(~EventMask{0}, [&](const Event& e) {
        everything.push_back(e.type);
        return std::optional<Event>(e);
    });
    windowing.addGlobalMonitor(eventMask(EventType::mouseMoved),
                               [&](const Event& e) { globalMoves.push_back(e.type); });

    Point onBar{700, 18};
    sim.mouseMove(onBar);
    sim.click(onBar);
    sim.scroll(onBar, 0, -3);
    sim.mouseMove({700, 500});  // over the desktop: for the global monitors
    sim.click({700, 500});
    EXPECT_TRUE(keysOnly.empty());
    EXPECT_EQ(clicks, (std::vector<EventType>{EventType::leftMouseDown, EventType::leftMouseUp,
                                              EventType::scrollWheel}));
    EXPECT_EQ(everything.front(), EventType::mouseMoved);
    EXPECT_EQ(everything.size(), 4u);
    EXPECT_EQ(globalMoves, (std::vector<EventType>{EventType::mouseMoved}));

    // Keys: to the local monitors while our application is active, to the global ones otherwise.
    std::vector<uint16_t> globalKeys;
    windowing.addGlobalMonitor(eventMask(EventType::keyDown),
                               [&](const Event& e) { globalKeys.push_back(e.keyCode); });
    windowing.activate(true);
    sim.keyDown(0, "a");
    windowing.deactivate();
    sim.keyDown(11, "b");
    EXPECT_EQ(keysOnly.size(), 1u);
    EXPECT_EQ(globalKeys, (std::vector<uint16_t>{11}));
    (void)bar;
}

TEST_F(WindowingTest, MonitorsRunInOrderAndMaySwallowChangeOrRemoveEachOther) {
    std::string typed;
    auto view = std::make_shared<ClosureView>([&] {
        return TextField("Search", {[&] { return typed; }, [&](std::string v) { typed = v; }})
            ->frame(200, 22);
    });
    class Launcher : public Panel {
      public:
        using Panel::Panel;
        bool canBecomeKey() const override { return true; }
    };
    auto launcher = Panel::make<Launcher>(sim.platform().windowing, rt, Rect{100, 100, 200, 22},
                                          stylemask::kNonactivatingPanel);
    launcher->setContentView(std::make_shared<HostingView>(rt, view));
    launcher->makeKeyAndOrderFront();
    rt.runUntilIdle();
    windowing.activate(true);
    sim.click(centreOf(*launcher));

    std::vector<std::string> order;
    MonitorToken later = 0;
    std::optional<Event> current;
    windowing.addLocalMonitor(eventMask(EventType::keyDown), [&](const Event& e) -> std::optional<Event> {
        order.push_back("upper " + e.characters);
        current = windowing.currentEvent();
        if (e.characters == "x") return std::nullopt;  // swallowed
        Event changed = e;
        changed.characters = std::string(1, char(std::toupper(e.characters[0])));
        return changed;
    });
    windowing.addLocalMonitor(eventMask(EventType::keyDown), [&](const Event& e) -> std::optional<Event> {
        order.push_back("second " + e.characters);
        if (e.characters == "Q") {
            windowing.removeMonitor(later);
            windowing.addLocalMonitor(eventMask(EventType::keyDown), [&](const Event& ev) {
                order.push_back("added " + ev.characters);
                return std::optional<Event>(ev);
            });
        }
        return e;
    });
    later = windowing.addLocalMonitor(eventMask(EventType::keyDown), [&](const Event& e) {
        order.push_back("later " + e.characters);
        return std::optional<Event>(e);
    });

    sim.keyDown(0, "a");
    ASSERT_TRUE(current);
    EXPECT_EQ(current->type, EventType::keyDown);
    EXPECT_EQ(current->characters, "a");  // the event as it came, not as changed
    EXPECT_FALSE(windowing.currentEvent());
    sim.keyDown(7, "x");
    sim.keyDown(12, "q");  // the second monitor removes the third and adds a fourth
    sim.keyDown(14, "e");
    EXPECT_EQ(order, (std::vector<std::string>{"upper a", "second A", "later A", "upper x", "upper q",
                                               "second Q", "upper e", "second E", "added E"}));
    EXPECT_EQ(typed, "AQE");  // the field gets the changed characters, never the swallowed key
}

TEST_F(WindowingTest, RefusedMonitorsAreNeverCalled) {
    windowing.setMonitorsRefused(true);
    int calls = 0;
    EXPECT_EQ(windowing.addLocalMonitor(~EventMask{0},
                                        [&](const Event& e) {
                                            ++calls;
                                            return std::optional<Event>(e);
                                        }),
              0u);
    EXPECT_EQ(windowing.addGlobalMonitor(~EventMask{0}, [&](const Event&) { ++calls; }), 0u);
    EXPECT_EQ(windowing.monitorCount(), 0u);
    windowing.removeMonitor(0);  // harmless
    windowing.setMonitorsRefused(false);
    auto bar = makePanel({0, 0, 200, 36});
    sim.click({100, 18});
    sim.click({700, 500});
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(sim.callsNamed("NSEvent.addLocalMonitorForEvents").empty());
    (void)bar;
}

// --- Screenshots ---

class ScreenshotTest : public WindowingTest {
  protected:
    uint32_t side = sim.addDisplay("Side", Rect{1440, 0, 1280, 800});
    uint64_t otherSpace = sim.addSpace(display);
    uint64_t sideSpace = sim.addSpace(side);

    std::shared_ptr<Panel> labelled(Rect frame, std::string label,
                                    uint64_t style = stylemask::kNonactivatingPanel) {
        auto panel = Panel::make<Panel>(sim.platform().windowing, rt, frame, style);
        panel->setContentView(std::make_shared<HostingView>(
            rt, std::make_shared<ClosureView>([label] {
                return Text(label)->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity});
            })));
        panel->orderFront();
        rt.runUntilIdle();
        return panel;
    }
    // The displays whose part of the screenshot shows `text`, by their clip ids.
    static std::vector<std::string> displaysShowing(const std::vector<SvgElement>& all,
                                                    const std::string& text) {
        std::vector<std::string> out;
        for (const SvgElement* t : named(all, "text")) {
            if (t->content != text) continue;
            for (size_t a : t->ancestors) {
                if (auto clip = urlTarget(all[a].attr("clip-path")); clip && clip->starts_with("disp"))
                    out.push_back(*clip);
            }
        }
        return out;
    }
    std::string clipOf(uint32_t displayID) const { return "disp" + std::to_string(displayID); }
};

TEST_F(ScreenshotTest, EachDisplayShowsThePanelsOnItsActiveSpace) {
    auto mainBar = labelled({0, 0, 1440, 36}, "Main bar");
    // The side display's bottom edge is 100 points above the primary's in AppKit's space.
    auto sideBar = labelled({1440, 100, 1280, 36}, "Side bar");
    auto straddling = labelled({1340, 400, 200, 40}, "Straddle");
    auto everywhere = labelled({600, 400, 200, 40}, "Everywhere");
    everywhere->collectionBehavior = collectionbehavior::kCanJoinAllSpaces;
    everywhere->orderFront();
    auto gone = labelled({600, 600, 200, 40}, "Ordered out");
    gone->orderOut();
    SimWindowSpec draft;
    draft.pid = app;
    draft.title = "Hidden draft";
    draft.frame = {200, 200, 500, 300};
    draft.space = otherSpace;
    sim.openWindow(draft);

    std::string doc = sim.renderSvg();
    auto all = parseSvg(doc);
    EXPECT_EQ(all[0].attr("viewBox"), "0 0 2720 900");
    EXPECT_EQ(displaysShowing(all, "Main bar"), (std::vector<std::string>{clipOf(display)}));
    EXPECT_EQ(displaysShowing(all, "Side bar"), (std::vector<std::string>{clipOf(side)}));
    // A panel across the edge between the displays is drawn, clipped, on both.
    EXPECT_EQ(displaysShowing(all, "Straddle"), (std::vector<std::string>{clipOf(display), clipOf(side)}));
    EXPECT_TRUE(displaysShowing(all, "Ordered out").empty());
    EXPECT_FALSE(textIndex(all, "Hidden draft"));
    std::set<std::string> ids;
    for (const SvgElement& e : all) {
        if (e.has("id")) {
            EXPECT_TRUE(ids.insert(e.attr("id")).second) << e.attr("id");
        }
    }

    // Another Space on the main display: its panels go, the side display and joiners stay.
    sim.switchToSpace(otherSpace);
    sim.finishDesktopSwitches();
    doc = sim.renderSvg();
    all = parseSvg(doc);
    EXPECT_TRUE(displaysShowing(all, "Main bar").empty());
    EXPECT_EQ(displaysShowing(all, "Side bar"), (std::vector<std::string>{clipOf(side)}));
    EXPECT_EQ(displaysShowing(all, "Everywhere"), (std::vector<std::string>{clipOf(display)}));
    EXPECT_TRUE(textIndex(all, "Hidden draft"));
    auto verdict = xmllint(doc);
    if (!verdict) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_TRUE(verdict->ok) << verdict->output;
}

TEST_F(ScreenshotTest, AWindowShowsItsContentOnlyWithinItsFrame) {
    auto panel = labelled({100, 400, 200, 40}, "Clipped");
    // Another application's window too, whatever the length of its name.
    const std::string longName(20000, 'W');
    const int32_t wide = sim.launchApp("com.example.wide", longName);
    const uint32_t window = sim.openWindow(wide, "Wide", space, Rect{400, 100, 300, 200});
    auto all = parseSvg(sim.renderSvg());
    // The rectangles the text is clipped to.
    const auto clipsOf = [&](const std::string& text) {
        std::vector<Rect> clips;
        for (const SvgElement* t : named(all, "text")) {
            for (size_t a : t->content == text ? t->ancestors : std::vector<size_t>{}) {
                auto id = urlTarget(all[a].attr("clip-path"));
                for (const SvgElement* r : named(all, "rect")) {
                    if (id && !r->ancestors.empty() && all[r->ancestors.back()].attr("id") == *id)
                        clips.push_back({r->num("x"), r->num("y"), r->num("width"), r->num("height")});
                }
            }
        }
        return clips;
    };
    const auto clippedTo = [](const std::vector<Rect>& clips, const Rect& frame) {
        return std::find(clips.begin(), clips.end(), frame) != clips.end();
    };
    EXPECT_TRUE(clippedTo(clipsOf("Clipped"), sim.window(panel->windowNumber())->frame));
    EXPECT_TRUE(clippedTo(clipsOf(longName), sim.window(window)->frame));
}

TEST_F(ScreenshotTest, PanelsCarryTheirAlphaAndTitledOnesTheirFrameAndTitle) {
    auto faded = labelled({100, 400, 200, 40}, "Faded");
    faded->setAlphaValue(0.5);
    auto settings = labelled({300, 300, 400, 200}, "General", stylemask::kTitled);
    settings->setTitle("Settings <beta> & more");
    auto all = parseSvg(sim.renderSvg());
    bool sawFaded = false, sawTitle = false;
    for (const SvgElement* t : named(all, "text")) {
        if (t->content == "Faded") {
            sawFaded = true;
            double opacity = 1;
            for (size_t a : t->ancestors) {
                if (all[a].has("opacity")) opacity *= all[a].num("opacity");
            }
            EXPECT_EQ(opacity, 0.5);
        }
        if (t->content == "Settings &lt;beta&gt; &amp; more") {
            sawTitle = true;
            // The title bar lies above the content, which starts 28 points lower.
            const SimWindow* w = sim.window(settings->windowNumber());
            EXPECT_LT(t->num("y"), w->frame.minY() + 28);
        }
    }
    EXPECT_TRUE(sawFaded);
    EXPECT_TRUE(sawTitle);
    // The menu bar, with the frontmost application's name, is drawn where it takes its room: on
    // every display while displays have separate Spaces, else on the primary display only.
    std::string front = sim.frontmostPID() ? sim.app(*sim.frontmostPID())->name : "Finder";
    EXPECT_EQ(displaysShowing(all, front), (std::vector<std::string>{clipOf(display), clipOf(side)}));
    sim.setDisplaysHaveSeparateSpaces(false);
    EXPECT_EQ(displaysShowing(parseSvg(sim.renderSvg()), front), (std::vector<std::string>{clipOf(display)}));
}

}  // namespace
}  // namespace qv
