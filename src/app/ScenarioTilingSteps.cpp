// Steps about window tiling: the system it runs on, applications that size their windows their own
// way, the user's press, drag and release of another application's window, the shortcut recorder's
// notification, and what tiling shows (the layout flyout, its hovered zone, the snap preview and
// its place in the window order, the taps).
#include <sstream>

#include "app/ScenarioContext.h"
#include "bar/BarManager.h"

namespace qv {

namespace {

using A = ArgKind;

WindowTilingController& tiling(ScenarioContext& ctx) {
    auto bar = std::dynamic_pointer_cast<BarManager>(ctx.mainRuntime().barManager);
    if (!bar || !bar->windowTiling) throw ScenarioFailure("the program has no window tiling");
    return *bar->windowTiling;
}

// A panel's frame as the script writes frames: from the primary display's top-left corner.
Rect scriptFrame(ScenarioContext& ctx, const Panel& panel) {
    const auto screens = ctx.platform.displays.screens();
    return flipVertically(panel.frame(), screens.empty() ? 0 : screens.front().frame.maxY());
}

std::optional<std::string> checkOnOff(const StepCall& call) {
    return oneOf(call.count() - 1, {"on", "off"})(call);
}

std::optional<std::string> checkWholeNumbers(const StepCall& call, size_t from) {
    for (size_t i = from; i < call.count(); ++i) {
        if (call.quoted(i)) continue;
        const double n = call.number(i);
        if (n < 1 || n != static_cast<int>(n)) return "layouts and zones count from 1";
    }
    return std::nullopt;
}

void pointerStep(StepTable& t, const char* name, const char* help, void (WorldDriver::*press)(Point, bool)) {
    t.push_back({name,
                 "X Y",
                 {{A::number, A::number}},
                 [press](ScenarioContext& ctx, const StepCall& call) {
                     (ctx.world.*press)(ctx.toScreen({call.number(0), call.number(1)}), false);
                 },
                 help});
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
    t.push_back({"system-version",
                 "MAJOR",
                 {{A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     if (ctx.hasStarted())
                         throw ScenarioFailure("the system version is set before \"start\"");
                     ctx.world.setOperatingSystemMajorVersion(static_cast<int>(call.number(0)));
                 },
                 "Sets the operating system's major version the program finds when it starts.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     const double v = call.number(0);
                     if (v < 1 || v != static_cast<int>(v)) return "a major version is a whole number";
                     return std::nullopt;
                 }});
    t.push_back({"separate-spaces",
                 "on|off",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setDisplaysHaveSeparateSpaces(call.is(0, "on"));
                 },
                 "Switches the system's \"Displays have separate Spaces\" setting.",
                 checkOnOff});
    t.push_back(
        {"refuse-taps",
         "on|off",
         {{A::text}},
         [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setEventTapsRefused(call.is(0, "on")); },
         "The system refuses the program's event taps (no permission to watch input), or allows them.",
         checkOnOff});
    t.push_back({"window-drift",
                 "APP SECONDS|none",
                 {{A::text, A::number}, {A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::optional<double> seconds;
                     if (call.form == 0) seconds = call.number(1);
                     ctx.world.setWindowDrift(ctx.application(call.text(0)).pid, seconds);
                 },
                 "The application puts a window back where it was this long after the program last moved or "
                 "resized it; none: it keeps what it is given.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.form == 1) return oneOf(1, {"none"})(call);
                     if (call.number(1) < 0) return "a drift takes 0 seconds or more";
                     return std::nullopt;
                 }});
    t.push_back({"window-size-limits",
                 "APP MIN-WIDTH MIN-HEIGHT MAX-WIDTH MAX-HEIGHT | APP none",
                 {{A::text, A::number, A::number, A::number, A::number}, {A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::optional<Size> minimum, maximum;
                     if (call.form == 0) {
                         minimum = Size{call.number(1), call.number(2)};
                         maximum = Size{call.number(3), call.number(4)};
                     }
                     ctx.world.setWindowSizeLimits(ctx.application(call.text(0)).pid, minimum, maximum);
                 },
                 "The sizes the application keeps its windows within, whoever asks; none: no limits.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.form == 1) return oneOf(1, {"none"})(call);
                     return std::nullopt;
                 }});
    t.push_back({"tiled-window-margins",
                 "on|off|none",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::optional<Value> value;
                     if (!call.is(0, "none")) value = Value::number(NumberObject::ofBool(call.is(0, "on")));
                     ctx.world.setPreference(WindowTilingController::kWindowManagerDomain,
                                             WindowTilingController::kTiledMarginsKey, value);
                 },
                 "The window manager's \"EnableTiledWindowMargins\" preference: on, off, or none (unset, "
                 "which counts as on).",
                 oneOf(0, {"on", "off", "none"})});
    t.push_back({"shortcut-recording",
                 "on|off",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.platform.notifications.post(
                         Notification{WindowTilingController::kShortcutRecordingNotification,
                                      {},
                                      Value::number(NumberObject::ofBool(call.is(0, "on")))});
                 },
                 "A shortcut recorder of the settings window starts or ends recording: the program's key "
                 "taps stand aside while it records.",
                 checkOnOff});
    t.push_back({"tiling-display",
                 "DISPLAY on|off",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldDisplay display = ctx.display(call.args[0]);
                     auto uuid = ctx.platform.displays.displayUUIDString(display.id);
                     if (!uuid) throw ScenarioFailure("the display " + display.name + " has no identifier");
                     ctx.settings()->setWindowTilingDisabled(call.is(1, "off"), *uuid);
                 },
                 "The user's per-display tiling choice in the settings window: off lists the display's "
                 "identifier in windowTilingDisabledDisplays, on takes it out.",
                 checkOnOff});
    pointerStep(t, "press", "Presses the left button at a point and holds it.", &WorldDriver::mouseDown);
    t.push_back({"drag-to",
                 "X Y",
                 {{A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.mouseDragged(ctx.toScreen({call.number(0), call.number(1)}));
                 },
                 "Moves the pointer with the left button held, in one move."});
    t.push_back(
        {"show flyout",
         "",
         {{}},
         [](ScenarioContext& ctx, const StepCall&) { showFlyout(ctx); },
         "Prints the layout flyout's frame and alpha, and the fill of every tile and zone it draws."});
    t.back().looksOnly = true;
    const size_t firstExpectation = t.size();
    t.push_back(
        {"expect flyout",
         "hidden | X Y WIDTH HEIGHT [ALPHA]",
         {{A::text},
          {A::number, A::number, A::number, A::number},
          {A::number, A::number, A::number, A::number, A::number}},
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
                 expected << rectText(rectAt(call, 0));
                 if (call.form == 2) expected << " alpha " << call.number(4);
             }
             expectEqual(ctx, expected.str(), found.str());
         },
         "Whether the layout flyout shows, where, and at what alpha.",
         [](const StepCall& call) { return call.form == 0 ? oneOf(0, {"hidden"})(call) : std::nullopt; }});
    t.push_back({"expect hovered-zone",
                 "LAYOUT ZONE | none",
                 {{A::number, A::number}, {A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const auto& zone = tiling(ctx).flyoutPanel()->layoutView()->highlightedZone();
                     const std::string found = zone ? "layout " + std::to_string(zone->layout + 1) +
                                                          " zone " + std::to_string(zone->zone + 1)
                                                    : "none";
                     const std::string expected =
                         call.form == 1 ? "none"
                                        : "layout " + std::to_string(static_cast<int>(call.number(0))) +
                                              " zone " + std::to_string(static_cast<int>(call.number(1)));
                     expectEqual(ctx, expected, found);
                 },
                 "The zone the flyout lights, layouts and zones counted from 1 in the flyout's order.",
                 [](const StepCall& call) {
                     return call.form == 1 ? oneOf(0, {"none"})(call) : checkWholeNumbers(call, 0);
                 }});
    t.push_back(
        {"expect preview",
         "hidden | X Y WIDTH HEIGHT [TITLE]",
         {{A::text},
          {A::number, A::number, A::number, A::number},
          {A::number, A::number, A::number, A::number, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             auto& panel = tiling(ctx).previewPanel();
             if (call.form == 0) {
                 expectEqual(ctx, "hidden",
                             panel->isVisible() ? rectText(scriptFrame(ctx, *panel)) : "hidden");
                 return;
             }
             if (!panel->isVisible()) failExpectation(rectText(rectAt(call, 0)), "hidden");
             if (!near(scriptFrame(ctx, *panel), rectAt(call, 0)))
                 failExpectation(rectText(rectAt(call, 0)), rectText(scriptFrame(ctx, *panel)));
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
         "Whether the snap preview shows and where; with a title, it stands directly below that window.",
         [](const StepCall& call) { return call.form == 0 ? oneOf(0, {"hidden"})(call) : std::nullopt; }});
    t.push_back({"expect taps",
                 "MOUSE KEY",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     WindowTilingController& c = tiling(ctx);
                     auto word = [](bool on) { return std::string(on ? "on" : "off"); };
                     expectEqual(ctx, call.text(0) + " " + call.text(1),
                                 word(c.isMouseTapRunning()) + " " + word(c.isKeyTapRunning()));
                 },
                 "Whether tiling's mouse tap and its snap key tap run (on or off each).",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (auto e = oneOf(0, {"on", "off"})(call)) return e;
                     return oneOf(1, {"on", "off"})(call);
                 }});
    for (size_t i = firstExpectation; i < t.size(); ++i) t[i].looksOnly = true;
}

}  // namespace qv
