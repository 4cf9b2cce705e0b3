// Steps of the world around the program: displays, desktops, other applications and their windows,
// and the permissions the user grants. Before "start" they build the world the program finds.
#include <algorithm>

#include "scenario/Context.h"

namespace qv {

namespace {

// A change of the world, made without a word when the step ends with "silently": its
// Accessibility notifications are lost.
void perhapsSilently(ScenarioContext& ctx, const StepCall& call, const std::function<void()>& change) {
    if (call.is(call.count() - 1, "silently")) {
        ctx.world.silently(change);
    } else {
        change();
    }
}

// Scripts name desktops up to a limit: one beyond it could not be named.
void refuseUnnamedDesktops(ScenarioContext& ctx, const StepCall& call) {
    int ordinary = 0, fullScreen = 0;
    for (const WorldDisplay& d : ctx.world.displays()) {
        for (const WorldDesktop& desk : d.desktops) ++(desk.fullScreen ? fullScreen : ordinary);
    }
    if (std::max(ordinary, fullScreen) > ScenarioContext::kMostDesktops)
        throw ScenarioScriptError(call.line, call.row->name + ": more than " +
                                                 std::to_string(ScenarioContext::kMostDesktops) +
                                                 (fullScreen > ordinary ? " full-screen" : "") +
                                                 " desktops, which scripts cannot name");
}

const Choices<ActivationPolicy> kPolicies = {
    {"regular", ActivationPolicy::regular},
    {"accessory", ActivationPolicy::accessory},
    {"prohibited", ActivationPolicy::prohibited},
};

}  // namespace

void addWorldSteps(StepTable& t) {
    using namespace arg;
    const Arg app = text("APP"), title = text("TITLE"), display = text("DISPLAY"), desktop = text("DESKTOP");
    t.push_back(step(
        "demo-desktop", {{}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.buildDemoDesktop();
            ctx.checkDisplayNames(call);
        },
        "Builds the ready-made demo world: the \"Studio Display\" (1920 x 1080) with desktops 1 and 2 "
        "and a full-screen desktop F1, the \"Side Monitor\" (1440 x 900) with desktop 3, and "
        "applications with windows on them. Compass is frontmost, with its focused window "
        "\"Compass — Maps\" on the Side Monitor."));
    t.back().once = true;
    t.push_back(step(
        "add-display",
        {form(text("NAME"), frame(true)), form(text("NAME"), frame(true), whole("DESKTOPS", 1, 16))},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (call.count() == 6) {
                ctx.world.connectDisplay(call.text(0), call.rect(1), call.whole(5));
            } else {
                ctx.world.addDisplay(call.text(0), call.rect(1));
            }
            ctx.checkDisplayNames(call);
            refuseUnnamedDesktops(ctx, call);
        },
        "Connects a display with its frame; the one at 0 0 is the primary display. With DESKTOPS it "
        "comes with that many desktops of its own; otherwise add them with add-desktop."));
    t.push_back(step(
        "remove-display", {{display}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.removeDisplay(ctx.display(call.args[0]).id);
        },
        "Disconnects a display; its desktops go and their windows move to the primary display."));
    t.push_back(step(
        "reconnect-display",
        {{text("NAME")},
         {text("NAME"), whole("DESKTOPS", 1, 16)},
         form(text("NAME"), frame(true)),
         form(text("NAME"), frame(true), whole("DESKTOPS", 1, 16))},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::optional<Rect> frame;
            if (call.count() >= 5) frame = call.rect(1);
            const int desktops = call.count() == 2 || call.count() == 6 ? call.whole(call.count() - 1) : 0;
            if (!ctx.world.reconnectDisplay(call.text(0), frame, desktops))
                throw ScenarioFailure("no display named \"" + call.text(0) + "\" was unplugged");
            ctx.checkDisplayNames(call);
            refuseUnnamedDesktops(ctx, call);
        },
        "The display of that name unplugged last is plugged back: the same monitor, with its UUID and "
        "a new display id, where it was unless a frame is given, with DESKTOPS desktops of its own."));
    t.push_back(step(
        "move-display", {form(display, frame(true))},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.moveDisplay(ctx.display(call.args[0]).id, call.rect(1));
        },
        "Gives a display a new frame (arranged elsewhere, or a new resolution)."));
    t.push_back(step(
        "screens", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setScreensAvailable(call.choice(0, kOnOff));
        },
        "With off, the system reports no screen at all while the desktops remain; on brings them back."));
    t.push_back(step(
        "screen-change-notices", {{whole("COUNT", 1, 3)}},
        [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setScreenChangeNotices(call.whole(0)); },
        "How many times the system tells of each change of the displays (2 unless set); windows of "
        "an unplugged display move after the notices."));
    t.push_back(step(
        "add-desktop", {{display}, {display, words({"full-screen"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.addDesktop(ctx.display(call.args[0]).id, call.count() == 2);
            refuseUnnamedDesktops(ctx, call);
        },
        "Adds a desktop at the end of a display's desktops; the first one of a display is its active "
        "one."));
    t.push_back(step(
        "remove-desktop", {{desktop}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.removeDesktop(ctx.desktop(call.text(0)));
        },
        "Removes a desktop."));
    t.push_back(step(
        "switch-desktop", {{desktop}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.switchToDesktop(ctx.desktop(call.text(0)));
            // The world the program finds when it starts has finished switching.
            if (!ctx.hasStarted()) ctx.world.finishDesktopSwitches();
        },
        "Makes a desktop the active one of its display, as Mission Control does: the switch takes "
        "its time (0.33 s unless set) and is announced at its end; before start it is done at once."));
    t.push_back(step(
        "wake", {{}}, [](ScenarioContext& ctx, const StepCall&) { ctx.world.wake(); },
        "The computer wakes from sleep."));
    const Arg name = text("NAME"), bundle = text("BUNDLE-ID");
    t.push_back(step(
        "launch",
        {{name},
         {name, bundle},
         {name, bundle, words(kPolicies)},
         {name, bundle, words(kPolicies), words({"unresponsive"})},
         {name, bundle, words(kPolicies), words({"ready-after"}), number("SECONDS", 0, 3600)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::optional<std::string> bundleID;
            if (call.count() >= 2) bundleID = call.text(1);
            const ActivationPolicy policy =
                call.count() >= 3 ? call.choice(2, kPolicies) : ActivationPolicy::regular;
            const int32_t pid = ctx.world.launchApplication(call.text(0), bundleID, policy);
            // Before the program hears of the launch.
            if (call.count() == 4) ctx.world.setApplicationUnresponsive(pid, true);
            if (call.count() == 5) ctx.world.setApplicationReadyAfter(pid, call.number(4));
        },
        "Launches an application (regular unless said otherwise); it has no window yet. An "
        "unresponsive one never answers Accessibility requests; one ready after SECONDS lists no "
        "windows, announces nothing and takes no observer until then."));
    t.push_back(step(
        "quit", {{app}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.quitApplication(ctx.application(call.text(0)).pid);
        },
        "An application quits; its windows go with it."));
    t.push_back(step(
        "crash", {{app}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.crashApplication(ctx.application(call.text(0)).pid);
        },
        "An application crashes: its windows vanish without a notification; only the workspace "
        "reports its end."));
    t.push_back(step(
        "activate", {{app}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.activateApplication(ctx.application(call.text(0)).pid);
        },
        "Brings an application to the front, as a click in its window or the app switcher does."));
    t.push_back(step(
        "unresponsive", {{app}, {app, words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setApplicationUnresponsive(ctx.application(call.text(0)).pid,
                                                 call.count() == 1 || call.choice(1, kOnOff));
        },
        "An application hangs (on unless said): it answers no Accessibility request, each waiting out "
        "its messaging timeout (6 s unless the caller set one), posts no notifications, and comes "
        "forward or quits when asked only once it answers again (off)."));
    t.push_back(step(
        "latency", {{app, number("SECONDS", 0, 3600)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setApplicationLatency(ctx.application(call.text(0)).pid, call.number(1));
        },
        "An application takes this long to answer each Accessibility request; a caller whose "
        "messaging timeout is shorter gives up when it runs out."));
    t.push_back(step(
        "badge", {{app, orNone(text("LABEL"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setBadge(ctx.application(call.text(0)).pid, call.textOrNone(1));
        },
        "Sets an application's Dock badge; none removes it (a quoted \"none\" is a label)."));
    t.push_back(step(
        "attention", {{app, words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setWantsAttention(ctx.application(call.text(0)).pid, call.choice(1, kOnOff));
        },
        "An application starts or stops asking for the user's attention."));
    const Arg silently = words({"silently"});
    t.push_back(step(
        "open-window",
        {{app, title},
         {app, title, silently},
         form(app, title, frame(true)),
         form(app, title, frame(true), silently),
         form(app, title, frame(true), desktop),
         form(app, title, frame(true), desktop, silently)},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldApplication app = ctx.application(call.text(0));
            const Rect frame = call.count() >= 6 ? call.rect(2) : Rect{100, 100, 800, 600};
            std::optional<uint64_t> desktop;
            if (call.count() >= 7 && !call.is(6, "silently")) desktop = ctx.desktop(call.text(6));
            perhapsSilently(ctx, call, [&] { ctx.world.openWindow(app.pid, call.text(1), frame, desktop); });
        },
        "An application opens a window (at 100 100 800 600 unless given), on the given desktop or "
        "the active desktop of the display under it; silently: without a notification."));
    t.push_back(step(
        "close-window", {{title}, {title, silently}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint32_t id = ctx.window(call.text(0)).id;
            perhapsSilently(ctx, call, [&] { ctx.world.closeWindow(id); });
        },
        "A window's application closes it; silently: without a notification."));
    t.push_back(step(
        "move-window", {{title, number("X"), number("Y")}, {title, number("X"), number("Y"), silently}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldWindow w = ctx.window(call.text(0));
            perhapsSilently(ctx, call, [&] {
                ctx.world.setWindowFrame(w.id, Rect{call.number(1), call.number(2), w.frame.width(),
                                                    w.frame.height()});
            });
        },
        "Moves a window's top-left corner to a point; its size stays. Silently: without a "
        "notification."));
    t.push_back(step(
        "resize-window", {{title, positive("WIDTH"), positive("HEIGHT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldWindow w = ctx.window(call.text(0));
            ctx.world.setWindowFrame(w.id,
                                     Rect{w.frame.minX(), w.frame.minY(), call.number(1), call.number(2)});
        },
        "Resizes a window; its top-left corner stays."));
    t.push_back(step(
        "minimise", {{title}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setWindowMinimized(ctx.window(call.text(0)).id, true);
        },
        "A window goes to the Dock."));
    t.push_back(step(
        "unminimise", {{title}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setWindowMinimized(ctx.window(call.text(0)).id, false);
        },
        "A minimised window comes back."));
    t.push_back(step(
        "retitle", {{title, text("NEW-TITLE")}, {title, text("NEW-TITLE"), silently}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint32_t id = ctx.window(call.text(0)).id;
            perhapsSilently(ctx, call, [&] { ctx.world.setWindowTitle(id, call.text(1)); });
        },
        "A window's title changes; silently: without a notification."));
    t.push_back(step(
        "move-to-desktop", {{title, desktop}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.moveWindowToDesktop(ctx.window(call.text(0)).id, ctx.desktop(call.text(1)));
        },
        "The user carries a window to another desktop (on another display it keeps its place "
        "there)."));
    t.push_back(step(
        "grant", {{words(kPermissions)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setPermission(call.choice(0, kPermissions), true);
        },
        "The user grants our program a permission in System Settings."));
    t.push_back(step(
        "revoke", {{words(kPermissions)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setPermission(call.choice(0, kPermissions), false);
        },
        "The user takes a permission back in System Settings."));
}

}  // namespace qv
