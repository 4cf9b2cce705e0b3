// Steps about window tiling: the system it runs on, applications that size their windows their own
// way, the user's press, drag and release of another application's window, the shortcut recorder's
// notification, and what tiling shows (the layout flyout, its hovered zone, the snap preview and
// its place in the window order, the taps).
#include <sstream>

#include "bar/BarManager.h"
#include "scenario/Context.h"

namespace qv {

namespace {

WindowTilingController& tiling(ScenarioContext& ctx) {
    const auto& tiling = ctx.barManager().windowTiling();
    if (!tiling) throw ScenarioFailure("the program has no window tiling");
    return *tiling;
}

// A panel's frame as the script writes frames: from the primary display's top-left corner.
Rect scriptFrame(ScenarioContext& ctx, const Panel& panel) {
    const auto screens = ctx.platform.displays.screens();
    return flipVertically(panel.frame(), screens.empty() ? 0 : screens.front().frame.maxY());
}

void showFlyout(ScenarioContext& ctx) {
    auto& panel = tiling(ctx).flyoutPanel();
    if (!panel->isVisible()) {
        ctx.out << "  flyout hidden\n";
        return;
    }
    ctx.out << "  flyout at " << rectText(scriptFrame(ctx, *panel)) << ", alpha " << panel->alpha() << "\n";
    // The fills as drawn: each tile, then its zones.
    for (const DrawOp& op : panel->contentView()->displayList().ops) {
        if (op.kind != DrawOp::Kind::shape || !op.fill || op.shape.cornerRadius > SnapLayoutView::kTileRadius)
            continue;
        const bool tile = op.shape.cornerRadius == SnapLayoutView::kTileRadius;
        ctx.out << (tile ? "    tile " : "      zone ") << rectText(op.frame) << " " << op.fill->color.hex()
                << " alpha " << op.fill->color.a << "\n";
    }
}

}  // namespace

void addTilingSteps(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "system-version", {{whole("MAJOR", 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (ctx.hasStarted()) throw ScenarioFailure("the system version is set before \"start\"");
            ctx.world.setOperatingSystemMajorVersion(call.whole(0));
        },
        "Sets the operating system's major version the program finds when it starts."));
    t.push_back(step(
        "separate-spaces", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDisplaysHaveSeparateSpaces(call.choice(0, kOnOff));
        },
        "Switches the system's \"Displays have separate Spaces\" setting."));
    t.push_back(step(
        "refuse-taps", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setEventTapsRefused(call.choice(0, kOnOff));
        },
        "The system refuses the program's event taps (no permission to watch input), or allows "
        "them."));
    t.push_back(step(
        "window-drift", {{text("APP"), orNone(number("SECONDS", 0))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::optional<double> seconds;
            if (!call.is(1, "none")) seconds = call.number(1);
            ctx.world.setWindowDrift(ctx.application(call.text(0)).pid, seconds);
        },
        "The application puts a window back where it was this long after the program last moved "
        "or resized it; none: it keeps what it is given."));
    t.push_back(step(
        "window-size-limits",
        {{text("APP"), number("MIN-WIDTH"), number("MIN-HEIGHT"), number("MAX-WIDTH"), number("MAX-HEIGHT")},
         {text("APP"), words({"none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::optional<Size> minimum, maximum;
            if (call.form == 0) {
                minimum = Size{call.number(1), call.number(2)};
                maximum = Size{call.number(3), call.number(4)};
            }
            ctx.world.setWindowSizeLimits(ctx.application(call.text(0)).pid, minimum, maximum);
        },
        "The sizes the application keeps its windows within, whoever asks; none: no limits."));
    t.push_back(step(
        "tiled-window-margins", {{words({"on", "off", "none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::optional<Value> value;
            if (!call.is(0, "none")) value = Value::number(NumberObject::ofBool(call.is(0, "on")));
            ctx.world.setPreference(WindowTilingController::kWindowManagerDomain,
                                    WindowTilingController::kTiledMarginsKey, value);
        },
        "The window manager's \"EnableTiledWindowMargins\" preference: on, off, or none (unset, "
        "which counts as on)."));
    t.push_back(step(
        "shortcut-recording", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.platform.notifications.post(
                Notification{WindowTilingController::kShortcutRecordingNotification,
                             {},
                             Value::number(NumberObject::ofBool(call.choice(0, kOnOff)))});
        },
        "A shortcut recorder of the settings window starts or ends recording: the program's key "
        "taps stand aside while it records."));
    t.push_back(step(
        "tiling-display", {{text("DISPLAY"), words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldDisplay display = ctx.display(call.args[0]);
            auto uuid = ctx.platform.displays.displayUUIDString(display.id);
            if (!uuid) throw ScenarioFailure("the display " + ctx.displayName(display.id) + " has no identifier");
            ctx.settings()->setWindowTilingDisabled(!call.choice(1, kOnOff), *uuid);
        },
        "The user's per-display tiling choice in the settings window: off lists the display's "
        "identifier in windowTilingDisabledDisplays, on takes it out."));
    const Form point = {number("X"), number("Y")};
    t.push_back(step(
        "press", {point},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.mouseDown(ctx.toScreen(call.point(0)), false);
        },
        "Presses the left button at a point and holds it."));
    t.push_back(step(
        "drag-to", {point},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.mouseDragged(ctx.toScreen(call.point(0)));
        },
        "Moves the pointer with the left button held, in one move."));
    t.push_back(step(
        "show flyout", {{}}, [](ScenarioContext& ctx, const StepCall&) { showFlyout(ctx); },
        "Prints the layout flyout's frame and alpha, and the fill of every tile and zone it draws."));
    const Arg hidden = words({"hidden"});
    t.push_back(step(
        "expect flyout", {{hidden}, frame(), form(frame(), number("ALPHA"))},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto& panel = tiling(ctx).flyoutPanel();
            std::ostringstream found;
            if (!panel->isVisible()) {
                found << "hidden";
            } else {
                found << rectText(scriptFrame(ctx, *panel));
                if (call.form == 2) found << " alpha " << panel->alpha();
            }
            std::ostringstream expected;
            if (call.form == 0) {
                expected << "hidden";
            } else {
                expected << rectText(call.rect(0));
                if (call.form == 2) expected << " alpha " << call.number(4);
            }
            expectEqual(ctx, expected.str(), found.str());
        },
        "Whether the layout flyout shows, where, and at what alpha."));
    t.push_back(step(
        "expect hovered-zone", {{whole("LAYOUT", 1), whole("ZONE", 1)}, {words({"none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto& zone = tiling(ctx).flyoutPanel()->layoutView()->highlightedZone();
            auto text = [](auto layout, auto zone) {
                return "layout " + std::to_string(layout) + " zone " + std::to_string(zone);
            };
            expectEqual(ctx, call.form == 1 ? "none" : text(call.whole(0), call.whole(1)),
                        zone ? text(zone->layout + 1, zone->zone + 1) : "none");
        },
        "The zone the flyout lights, layouts and zones counted from 1 in the flyout's order."));
    t.push_back(step(
        "expect preview", {{hidden}, frame(), form(frame(), text("TITLE"))},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto& panel = tiling(ctx).previewPanel();
            if (call.form == 0) {
                expectEqual(ctx, "hidden",
                            panel->isVisible() ? rectText(scriptFrame(ctx, *panel)) : "hidden");
                return;
            }
            if (!panel->isVisible()) failExpectation(rectText(call.rect(0)), "hidden");
            if (!near(scriptFrame(ctx, *panel), call.rect(0)))
                failExpectation(rectText(call.rect(0)), rectText(scriptFrame(ctx, *panel)));
            if (call.form == 2) {
                // Directly below the window in the window order.
                ctx.window(call.text(4));  // fails when there is no such window
                const auto order = ctx.world.windowOrder();
                std::string found = "not on screen";
                for (size_t i = 0; i + 1 < order.size(); ++i) {
                    if (order[i + 1] != panel->windowNumber()) continue;
                    found = "below " + ctx.windowTitle(order[i]).value_or("a window of the program");
                }
                if (!order.empty() && order.front() == panel->windowNumber())
                    found = "in front of every window";
                expectEqual(ctx, "below " + call.text(4), found);
                return;
            }
            held(ctx);
        },
        "Whether the snap preview shows and where; with a title, it stands directly below that window."));
    t.push_back(step(
        "expect taps", {{words(kOnOff), words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            WindowTilingController& c = tiling(ctx);
            auto word = [](bool on) { return std::string(on ? "on" : "off"); };
            expectEqual(ctx, call.text(0) + " " + call.text(1),
                        word(c.isMouseTapRunning()) + " " + word(c.isKeyTapRunning()));
        },
        "Whether tiling's mouse tap and its snap key tap run (on or off each)."));
}

}  // namespace qv
