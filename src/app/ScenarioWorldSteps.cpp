// Steps of the world around the program: displays, desktops, other applications and their windows,
// and the permissions the user grants. Before "start" they build the world the program finds.
#include <set>

#include "app/ScenarioContext.h"

namespace qv {

namespace {

using A = ArgKind;

std::optional<std::string> positiveSize(const StepCall& call, size_t i) {
    if (call.number(i) <= 0 || call.number(i + 1) <= 0) return "a width and height above 0";
    return std::nullopt;
}

// Scripts name displays by name: two of one name could not be told apart.
void refuseSharedDisplayNames(ScenarioContext& ctx, const StepCall& call) {
    std::set<std::string> names;
    for (const WorldDisplay& d : ctx.world.displays()) {
        if (!names.insert(d.name).second)
            throw ScenarioScriptError(call.line, call.row->name + ": two displays are named \"" + d.name + "\"");
    }
}

Permission permissionNamed(const StepCall& call) {
    return call.is(0, "accessibility") ? Permission::accessibility : Permission::screenRecording;
}

}  // namespace

void addWorldSteps(StepTable& t) {
    t.push_back(
        {"demo-desktop",
         "",
         {{}},
         [](ScenarioContext& ctx, const StepCall& call) {
             ctx.world.buildDemoDesktop();
             refuseSharedDisplayNames(ctx, call);
         },
         "Builds the ready-made demo world: the \"Studio Display\" (1920 x 1080) with desktops 1 and 2 "
         "and a full-screen desktop F1, the \"Side Monitor\" (1440 x 900) with desktop 3, and "
         "applications with windows on them; Compass is frontmost.",
         nullptr,
         true});
    t.push_back({"add-display",
                 "NAME X Y WIDTH HEIGHT [DESKTOPS]",
                 {{A::text, A::number, A::number, A::number, A::number},
                  {A::text, A::number, A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     if (call.count() == 6) {
                         ctx.world.connectDisplay(call.text(0), rectAt(call, 1), static_cast<int>(call.number(5)));
                     } else {
                         ctx.world.addDisplay(call.text(0), rectAt(call, 1));
                     }
                     refuseSharedDisplayNames(ctx, call);
                 },
                 "Connects a display with its frame; the one at 0 0 is the primary display. With DESKTOPS it "
                 "comes with that many desktops of its own; otherwise add them with add-desktop.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.count() == 6 && (call.number(5) < 1 || call.number(5) > 16 ||
                                               call.number(5) != static_cast<int>(call.number(5))))
                         return "DESKTOPS is a whole number from 1 to 16";
                     return positiveSize(call, 3);
                 }});
    t.push_back({"remove-display",
                 "DISPLAY",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.removeDisplay(ctx.display(call.args[0]).id);
                 },
                 "Disconnects a display; its desktops go and their windows move to the primary display."});
    t.push_back({"move-display",
                 "DISPLAY X Y WIDTH HEIGHT",
                 {{A::text, A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.moveDisplay(ctx.display(call.args[0]).id, rectAt(call, 1));
                 },
                 "Gives a display a new frame (arranged elsewhere, or a new resolution).",
                 [](const StepCall& call) { return positiveSize(call, 3); }});
    t.push_back(
        {"screens",
         "on|off",
         {{A::text}},
         [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setScreensAvailable(call.is(0, "on")); },
         "With off, the system reports no screen at all while the desktops remain; on brings them back.",
         oneOf(0, {"on", "off"})});
    t.push_back(
        {"add-desktop",
         "DISPLAY [full-screen]",
         {{A::text}, {A::text, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             ctx.world.addDesktop(ctx.display(call.args[0]).id, call.count() == 2);
         },
         "Adds a desktop at the end of a display's desktops; the first one of a display is its active one.",
         oneOf(1, {"full-screen"})});
    t.push_back({"remove-desktop",
                 "DESKTOP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.removeDesktop(ctx.desktop(call.text(0)));
                 },
                 "Removes a desktop."});
    t.push_back({"switch-desktop",
                 "DESKTOP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.switchToDesktop(ctx.desktop(call.text(0)));
                 },
                 "Makes a desktop the active one of its display, as Mission Control does."});
    t.push_back({"wake",
                 "",
                 {{}},
                 [](ScenarioContext& ctx, const StepCall&) { ctx.world.wake(); },
                 "The computer wakes from sleep."});
    t.push_back(
        {"launch",
         "NAME [BUNDLE-ID [regular|accessory|prohibited [unresponsive]]]",
         {{A::text}, {A::text, A::text}, {A::text, A::text, A::text}, {A::text, A::text, A::text, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             std::optional<std::string> bundleID;
             if (call.count() >= 2) bundleID = call.text(1);
             ActivationPolicy policy = call.is(2, "accessory")    ? ActivationPolicy::accessory
                                       : call.is(2, "prohibited") ? ActivationPolicy::prohibited
                                                                  : ActivationPolicy::regular;
             const int32_t pid = ctx.world.launchApplication(call.text(0), bundleID, policy);
             // Before the program hears of the launch.
             if (call.count() == 4) ctx.world.setApplicationUnresponsive(pid, true);
         },
         "Launches an application (regular unless said otherwise); it has no window yet. An "
         "unresponsive one never answers Accessibility requests.",
         [](const StepCall& call) {
             auto error = oneOf(2, {"regular", "accessory", "prohibited"})(call);
             return error ? error : oneOf(3, {"unresponsive"})(call);
         }});
    t.push_back({"quit",
                 "APP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.quitApplication(ctx.application(call.text(0)).pid);
                 },
                 "An application quits; its windows go with it."});
    t.push_back({"crash",
                 "APP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.crashApplication(ctx.application(call.text(0)).pid);
                 },
                 "An application crashes: its windows vanish without a notification; only the workspace "
                 "reports its end."});
    t.push_back({"activate",
                 "APP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.activateApplication(ctx.application(call.text(0)).pid);
                 },
                 "Brings an application to the front, as a click in its window or the app switcher does."});
    t.push_back({"unresponsive",
                 "APP",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setApplicationUnresponsive(ctx.application(call.text(0)).pid, true);
                 },
                 "An application stops answering Accessibility requests and posts no notifications: each "
                 "request waits out its messaging timeout (6 s unless the caller set one)."});
    t.push_back({"latency",
                 "APP SECONDS",
                 {{A::text, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setApplicationLatency(ctx.application(call.text(0)).pid, call.number(1));
                 },
                 "An application takes this long to answer each Accessibility request; a caller whose "
                 "messaging timeout is shorter gives up when it runs out.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     const double seconds = call.number(1);
                     if (seconds < 0 || seconds > 3600) return "a latency takes 0 to 3600 seconds";
                     return std::nullopt;
                 }});
    t.push_back({"badge",
                 "APP LABEL|none",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::optional<std::string> label;
                     if (!call.is(1, "none")) label = call.text(1);
                     ctx.world.setBadge(ctx.application(call.text(0)).pid, label);
                 },
                 "Sets an application's Dock badge; none removes it (a quoted \"none\" is a label)."});
    t.push_back({"attention",
                 "APP on|off",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setWantsAttention(ctx.application(call.text(0)).pid, call.is(1, "on"));
                 },
                 "An application starts or stops asking for the user's attention.",
                 oneOf(1, {"on", "off"})});
    t.push_back(
        {"open-window",
         "APP TITLE [X Y WIDTH HEIGHT [DESKTOP]]",
         {{A::text, A::text},
          {A::text, A::text, A::number, A::number, A::number, A::number},
          {A::text, A::text, A::number, A::number, A::number, A::number, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             const WorldApplication app = ctx.application(call.text(0));
             const Rect frame = call.count() >= 6 ? rectAt(call, 2) : Rect{100, 100, 800, 600};
             std::optional<uint64_t> desktop;
             if (call.count() == 7) desktop = ctx.desktop(call.text(6));
             ctx.world.openWindow(app.pid, call.text(1), frame, desktop);
         },
         "An application opens a window (at 100 100 800 600 unless given), on the given desktop or the "
         "active desktop of the display under it.",
         [](const StepCall& call) { return call.count() >= 6 ? positiveSize(call, 4) : std::nullopt; }});
    t.push_back({"close-window",
                 "TITLE",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.closeWindow(ctx.window(call.text(0)).id);
                 },
                 "A window's application closes it."});
    t.push_back({"move-window",
                 "TITLE X Y",
                 {{A::text, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldWindow w = ctx.window(call.text(0));
                     ctx.world.setWindowFrame(
                         w.id, Rect{call.number(1), call.number(2), w.frame.width(), w.frame.height()});
                 },
                 "Moves a window's top-left corner to a point; its size stays."});
    t.push_back({"resize-window",
                 "TITLE WIDTH HEIGHT",
                 {{A::text, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldWindow w = ctx.window(call.text(0));
                     ctx.world.setWindowFrame(
                         w.id, Rect{w.frame.minX(), w.frame.minY(), call.number(1), call.number(2)});
                 },
                 "Resizes a window; its top-left corner stays.",
                 [](const StepCall& call) { return positiveSize(call, 1); }});
    t.push_back({"minimise",
                 "TITLE",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setWindowMinimized(ctx.window(call.text(0)).id, true);
                 },
                 "A window goes to the Dock."});
    t.push_back({"unminimise",
                 "TITLE",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setWindowMinimized(ctx.window(call.text(0)).id, false);
                 },
                 "A minimised window comes back."});
    t.push_back({"retitle",
                 "TITLE NEW-TITLE",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setWindowTitle(ctx.window(call.text(0)).id, call.text(1));
                 },
                 "A window's title changes."});
    t.push_back(
        {"move-to-desktop",
         "TITLE DESKTOP",
         {{A::text, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             ctx.world.moveWindowToDesktop(ctx.window(call.text(0)).id, ctx.desktop(call.text(1)));
         },
         "The user carries a window to another desktop (on another display it keeps its place there)."});
    t.push_back({"grant",
                 "accessibility|screen-recording",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setPermission(permissionNamed(call), true);
                 },
                 "The user grants our program a permission in System Settings.",
                 oneOf(0, {"accessibility", "screen-recording"})});
    t.push_back({"revoke",
                 "accessibility|screen-recording",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setPermission(permissionNamed(call), false);
                 },
                 "The user takes a permission back in System Settings.",
                 oneOf(0, {"accessibility", "screen-recording"})});
}

}  // namespace qv
