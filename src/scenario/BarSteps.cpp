// Steps about the bars themselves: the bar panel of each desktop, the mirror bars, the strips
// registered with the window server and the edge reservations, and the environment switches.
#include <algorithm>
#include <sstream>

#include "bar/BarManager.h"
#include "scenario/Context.h"

namespace qv {

namespace {

// A call's argument as a script writes it: "pid:APP" the process of an application, running or
// ended ("pid:program" our own), "window:TITLE" a window's number; any other word as it is.
std::string callArgument(ScenarioContext& ctx, const ScenarioToken& word) {
    const std::string& w = word.text;
    if (w.starts_with("pid:")) {
        const std::string app = w.substr(4);
        if (app == "program") return std::to_string(ctx.world.ourProcess());
        if (auto pid = ctx.world.processNamed(app)) return std::to_string(*pid);
        throw ScenarioFailure("no application named \"" + app + "\" has run");
    }
    if (w.starts_with("window:")) return std::to_string(ctx.window(w.substr(7)).id);
    return w;
}

// The desktops one of our panels is pinned to, by reference, and whether it shows.
struct PanelInWorld {
    std::vector<std::string> desktops;
    bool shown = false;
};

PanelInWorld inWorld(ScenarioContext& ctx, const BarPanel& panel) {
    PanelInWorld out;
    if (auto w = ctx.world.ourWindow(panel.windowNumber())) {
        for (uint64_t id : w->desktops) out.desktops.push_back(ctx.desktopReference(id));
        out.shown = w->onScreen;
    }
    std::sort(out.desktops.begin(), out.desktops.end());
    return out;
}

// The mirrors on a display's screen, by the desktop each mirrors; each must be pinned to it.
std::vector<std::string> mirrorsOn(ScenarioContext& ctx, uint32_t displayID) {
    std::vector<std::string> out;
    for (const auto& [key, panel] : ctx.barManager().mirrorPanels()) {
        if (panel->displayID() != displayID) continue;
        const std::string desktop = ctx.desktopReference(key.spaceID);
        if (inWorld(ctx, *panel).desktops != std::vector<std::string>{desktop})
            throw ScenarioFailure("the mirror of desktop " + desktop + " is not pinned to it alone");
        out.push_back(desktop);
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string stripText(const std::optional<Rect>& strip) {
    return strip ? rectText(*strip) : "none";
}

void showBars(ScenarioContext& ctx) {
    BarManager& bar = ctx.barManager();
    const auto strips = ctx.world.dockRects();
    const auto reservations = ctx.world.edgeReservations();
    ctx.out << "  bar size " << rawValue(bar.metrics().barSize) << ", " << barHeight(bar.metrics().barSize)
            << " pt high\n";
    for (const WorldDisplay& d : ctx.world.displays()) {
        auto strip = strips.find(d.id);
        ctx.out << "  " << ctx.displayName(d.id) << ": strip "
                << stripText(strip == strips.end() ? std::nullopt : std::optional<Rect>(strip->second))
                << "\n";
        for (const WorldDesktop& desk : d.desktops) {
            const std::string ref = ctx.desktopReference(desk.id);
            auto panel = bar.panels().find(desk.id);
            ctx.out << "    desktop " << ref << ": ";
            if (panel == bar.panels().end()) {
                ctx.out << "no bar";
            } else {
                const PanelInWorld w = inWorld(ctx, *panel->second);
                ctx.out << "bar " << rectText(panel->second->frame()) << (w.shown ? ", shown" : ", hidden");
            }
            if (auto r = reservations.find(desk.id); r != reservations.end())
                ctx.out << ", reserved " << r->second << " pt";
            ctx.out << "\n";
        }
        const auto mirrors = mirrorsOn(ctx, d.id);
        if (!mirrors.empty()) ctx.out << "    mirrors of desktops " << quotedList(mirrors) << "\n";
    }
}

std::string lookText(const std::optional<Appearance>& appearance) {
    if (!appearance) return "system";
    return *appearance == Appearance::aqua ? "light" : "dark";
}

// The display whose screen holds the open launcher, by name.
std::string launcherPlace(ScenarioContext& ctx, const AppLauncherPanel& launcher) {
    const Rect frame = launcher.frame();
    for (const Screen& screen : ctx.platform.displays.screens()) {
        if (!screen.frame.contains(frame.origin)) continue;
        const auto id = SpaceWindows::displayID(screen);
        if (id) return ctx.displayName(*id) + " at " + rectText(frame);
    }
    return "off every display at " + rectText(frame);
}

// The bar's services: the look it takes from the wallpaper, the private lookups it may miss, and
// the launcher it opens.
void addBarServiceSteps(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "entry-point", {{text("NAME"), words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setEntryPointAvailable(call.text(0), call.choice(1, kOnOff));
        },
        "Whether the run-time lookup of a private platform function by name finds it. The "
        "program looks most of them up when it starts."));
    t.push_back(step(
        "expect bar-look", {{text("BAR"), words({"light", "dark", "system"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto& content = scriptBar(ctx, call.text(0)).panel->contentView();
            expectEqual(ctx, call.text(1), content ? lookText(content->appearance()) : "no content");
        },
        "The look of a desktop's bar (N) or of a mirror bar (N@DISPLAY): light (Aqua) or dark "
        "(Dark Aqua) by the wallpaper under it, or the system's own when Reduce Transparency is "
        "on."));
    t.push_back(step(
        "expect launcher", {{orWord(text("DISPLAY"), "closed")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto& launcher = ctx.barManager().launcherPanel();
            if (call.is(0, "closed")) {
                expectEqual(ctx, "closed", launcher ? "open on " + launcherPlace(ctx, *launcher) : "closed");
                return;
            }
            const std::string name = ctx.displayName(ctx.display(call.args[0]).id);
            if (!launcher) failExpectation("open on " + name, "closed");
            const std::string place = launcherPlace(ctx, *launcher);
            if (!place.starts_with(name + " at ")) failExpectation("open on " + name, "open on " + place);
            held(ctx);
        },
        "The launcher is open on a display's screen (above one of its bars), or closed."));
}

}  // namespace

void addBarSteps(StepTable& t) {
    using namespace arg;
    const Arg desktop = text("DESKTOP"), shownOrHidden = words({"shown", "hidden"});
    t.push_back(step(
        "environment", {{text("NAME"), orNone(text("VALUE"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setEnvironmentVariable(call.text(0), call.textOrNone(1));
        },
        "Sets a variable of the environment the program runs in (none removes it). The program "
        "reads its switches once, so after start it changes nothing."));
    t.push_back(step(
        "full-screen", {{desktop, words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDesktopFullScreen(ctx.desktop(call.text(0)), call.choice(1, kOnOff));
        },
        "Turns a desktop into a full-screen one (on) or back (off); it keeps its place, and the "
        "desktops are numbered afresh."));
    t.push_back(step(
        "refuse-dock-rect", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDockRectRefused(call.choice(0, kOnOff));
        },
        "With on, the window server refuses every strip the bar registers as the Dock's; off "
        "accepts them again."));
    t.push_back(step(
        "show bars", {{}}, [](ScenarioContext& ctx, const StepCall&) { showBars(ctx); },
        "Prints each display's registered strip, each desktop's bar (frame, shown or hidden) and "
        "reservation, and the mirror bars."));
    t.push_back(step(
        "expect bar",
        {{desktop, words({"none"})}, form(desktop, frame()), form(desktop, frame(), shownOrHidden)},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint64_t desktop = ctx.desktop(call.text(0));
            const auto& panels = ctx.barManager().panels();
            auto it = panels.find(desktop);
            if (call.form == 0) {
                if (it != panels.end()) failExpectation("no bar on desktop " + call.text(0), "one");
                held(ctx);
                return;
            }
            if (it == panels.end()) failExpectation("a bar on desktop " + call.text(0), "none");
            const Rect frame = it->second->frame();
            if (!near(frame, call.rect(1))) failExpectation(rectText(call.rect(1)), rectText(frame));
            const PanelInWorld w = inWorld(ctx, *it->second);
            if (w.desktops != std::vector<std::string>{call.text(0)})
                failExpectation("pinned to desktop " + call.text(0), "pinned to " + quotedList(w.desktops));
            if (call.count() == 6) expectEqual(ctx, call.text(5), w.shown ? "shown" : "hidden");
            held(ctx);
        },
        "A desktop's bar panel: its frame from the primary screen's bottom-left corner, pinned to that "
        "desktop "
        "alone, and whether it shows; none: the desktop has no bar."));
    t.push_back(step(
        "expect bar-content", {{text("BAR"), words({"small", "medium", "large", "xl", "xxl"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(1),
                        std::string(rawValue(scriptBar(ctx, call.text(0)).view->metrics.barSize)));
        },
        "The bar size the content of a desktop's bar (N) or of a mirror bar (N@DISPLAY) was built "
        "for."));
    t.push_back(step(
        "expect mirrors", {{text("DISPLAY"), repeated(desktop)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::vector<std::string> expected = call.texts(1);
            std::sort(expected.begin(), expected.end());
            expectEqual(ctx, quotedList(expected), quotedList(mirrorsOn(ctx, ctx.display(call.args[0]).id)));
        },
        "The mirror bars on a display, by the desktop each shows and is pinned to; none listed: no "
        "mirrors."));
    const Arg mirror = ruled("N@DISPLAY", [](const std::string& bar) -> std::optional<std::string> {
        if (bar.find('@') == std::string::npos) return "a mirror is named N@DISPLAY";
        return std::nullopt;
    });
    t.push_back(step(
        "expect mirror-frame", {form(mirror, frame()), form(mirror, frame(), shownOrHidden)},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar mirror = scriptBar(ctx, call.text(0));
            const Rect frame = mirror.panel->frame();
            if (!near(frame, call.rect(1))) failExpectation(rectText(call.rect(1)), rectText(frame));
            const bool shown = inWorld(ctx, *mirror.panel).shown;
            if (call.count() == 6) expectEqual(ctx, call.text(5), shown ? "shown" : "hidden");
            held(ctx);
        },
        "A mirror bar (N@DISPLAY): its frame from the primary screen's bottom-left corner, and "
        "whether it shows."));
    t.push_back(step(
        "expect dock-rect", {form(text("DISPLAY"), frame()), {text("DISPLAY"), words({"none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto strips = ctx.world.dockRects();
            auto it = strips.find(ctx.display(call.args[0]).id);
            const std::optional<Rect> found =
                it == strips.end() ? std::nullopt : std::optional<Rect>(it->second);
            if (call.form == 1) {
                expectEqual(ctx, "none", stripText(found));
                return;
            }
            if (!found || !near(*found, call.rect(1)))
                failExpectation(rectText(call.rect(1)), stripText(found));
            held(ctx);
        },
        "The strip the window server holds as the Dock's on a display, from the primary display's "
        "top-left corner; none: no strip."));
    t.push_back(step(
        "expect calls", {{text("NAME"), whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(1)),
                        std::to_string(ctx.world.callCount(call.text(0))));
        },
        "How often the program has made a platform call of that name so far, refused ones "
        "included."));
    t.push_back(step(
        "expect call-args",
        {{text("NAME"), words({"last"}), repeated(text("ARG"))},
         {text("NAME"), whole("N", 1), repeated(text("ARG"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto calls = ctx.world.callArguments(call.text(0));
            const size_t n = call.form == 0 ? calls.size() : static_cast<size_t>(call.whole(1));
            if (calls.empty()) throw ScenarioFailure("the program made no call of " + call.text(0));
            if (n > calls.size())
                throw ScenarioFailure("the program made " + std::to_string(calls.size()) + " calls of " +
                                      call.text(0) + ", not " + call.text(1));
            std::vector<std::string> expected;
            for (size_t i = 2; i < call.count(); ++i) expected.push_back(callArgument(ctx, call.args[i]));
            expectEqual(ctx, quotedList(expected), quotedList(calls[n - 1]));
        },
        "The arguments of the program's last, or N-th, call of a platform function; pid:APP and "
        "window:TITLE stand for an application's process and a window's number."));
    t.push_back(step(
        "expect reservation", {{desktop, orNone(number("HEIGHT"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto reservations = ctx.world.edgeReservations();
            auto it = reservations.find(ctx.desktop(call.text(0)));
            std::ostringstream found;
            if (it == reservations.end()) {
                found << "none";
            } else {
                found << it->second;
            }
            expectEqual(ctx, call.text(1), found.str());
        },
        "The height reserved along the bottom edge of a desktop; none: no reservation."));
    addBarServiceSteps(t);
}

}  // namespace qv
