// Steps about the keyboard window switcher and the event taps it stands on: the system's version,
// faults of the taps, shortcut recording in the settings, and what the switcher and the
// applications show afterwards.
#include <algorithm>

#include "app/ScenarioContext.h"
#include "bar/BarManager.h"

namespace qv {

namespace {

using A = ArgKind;

// The switcher of the running program; none where the system does not support it.
std::shared_ptr<WindowSwitcherController> switcher(ScenarioContext& ctx) {
    auto bar = std::dynamic_pointer_cast<BarManager>(ctx.mainRuntime().barManager);
    return bar ? bar->windowSwitcher : nullptr;
}

std::string cardTitle(const SwitcherEntry& entry) {
    return entry.title.empty() ? entry.appName : entry.title;
}

// What each card of the open switcher shows as its picture, in card order: the window's picture,
// or the application's icon in its place.
std::vector<std::string> cardPictures(const WindowSwitcherController& controller) {
    const DisplayList& list = controller.panel()->contentView()->displayList();
    std::vector<std::string> looks;
    for (size_t i = 0; i < controller.model().entries->size(); ++i) {
        const std::string card = "#card-" + std::to_string(i) + "/";
        const bool picture = std::any_of(list.ops.begin(), list.ops.end(), [&](const DrawOp& op) {
            return op.kind == DrawOp::Kind::image && op.imageKind == ImageKind::bitmap &&
                   op.path.find(card) != std::string::npos;
        });
        looks.push_back(picture ? "picture" : "icon");
    }
    return looks;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "\"" : " \"") + w + "\"";
    return out.empty() ? "nothing" : out;
}

}  // namespace

void addSwitcherSteps(StepTable& t) {
    t.push_back({"open-special-window",
                 "dialog|transparent APP TITLE X Y WIDTH HEIGHT [DESKTOP]",
                 {{A::text, A::text, A::text, A::number, A::number, A::number, A::number},
                  {A::text, A::text, A::text, A::number, A::number, A::number, A::number, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldApplication app = ctx.application(call.text(1));
                     const Rect frame{call.number(3), call.number(4), call.number(5), call.number(6)};
                     std::optional<uint64_t> desktop;
                     if (call.count() == 8) desktop = ctx.desktop(call.text(7));
                     if (call.is(0, "dialog")) {
                         ctx.world.openDialog(app.pid, call.text(2), frame, desktop);
                     } else {
                         ctx.world.openTransparentWindow(app.pid, call.text(2), frame, desktop);
                     }
                 },
                 "An application opens a dialog, or a floating palette drawn fully transparent.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.number(5) <= 0 || call.number(6) <= 0) return "a window's size is positive";
                     return oneOf(0, {"dialog", "transparent"})(call);
                 }});
    t.push_back({"tap-fault",
                 "refuse|allow|time-out|lose-release",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     if (call.is(0, "refuse") || call.is(0, "allow")) {
                         ctx.world.setEventTapsRefused(call.is(0, "refuse"));
                     } else if (call.is(0, "time-out")) {
                         ctx.world.timeOutEventTaps();
                     } else {
                         ctx.world.loseNextModifierChange();
                     }
                 },
                 "Event taps misbehave: the system refuses to create them from now on (or allows it again), "
                 "switches every tap off as too slow, or loses the next change of the held modifier keys.",
                 oneOf(0, {"refuse", "allow", "time-out", "lose-release"})});
    const size_t firstExpectation = t.size();
    t.push_back({"expect switcher",
                 "TITLE|none",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto controller = switcher(ctx);
                     std::string found = "none";
                     if (controller && controller->panel()->isVisible()) {
                         auto entry = controller->model().selectedEntry();
                         found = entry ? "\"" + cardTitle(*entry) + "\" selected" : "nothing selected";
                     }
                     const std::string expected =
                         call.is(0, "none") ? "none" : "\"" + call.text(0) + "\" selected";
                     expectEqual(ctx, expected, found);
                 },
                 "The switcher is on screen with the card of that window selected; none: not on screen."});
    t.push_back({"expect switcher-cards",
                 "TITLE...",
                 {{A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto controller = switcher(ctx);
                     if (!controller) throw ScenarioFailure("the program has no window switcher");
                     std::vector<std::string> found;
                     for (const SwitcherEntry& e : *controller->model().entries)
                         found.push_back(cardTitle(e));
                     expectEqual(ctx, joined(call.texts(0)), joined(found));
                 },
                 "The cards of the switcher's last opening, in order."});
    t.push_back({"expect switcher-pictures",
                 "picture|icon...",
                 {{A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto controller = switcher(ctx);
                     if (!controller || !controller->panel()->isVisible())
                         failExpectation("the switcher on screen", "none");
                     expectEqual(ctx, joined(call.texts(0)), joined(cardPictures(*controller)));
                 },
                 "What each card of the open switcher shows, in order: the window's picture, or its "
                 "application's icon while there is none.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     for (const std::string& look : call.texts(0)) {
                         if (look != "picture" && look != "icon")
                             return "\"" + look + "\" is not one of picture, icon";
                     }
                     return std::nullopt;
                 }});
    t.push_back(
        {"expect event-taps",
         "[THREAD...]",
         {{}, {A::texts}},
         [](ScenarioContext& ctx, const StepCall& call) {
             const std::vector<std::string> expected =
                 call.count() ? call.texts(0) : std::vector<std::string>{};
             const std::vector<std::string> found = ctx.world.eventTaps();
             expectEqual(ctx, joined(expected), joined(found));
         },
         "The event taps events pass, in order, each named by the thread serving it; none listed: no tap."});
    t.push_back({"expect received-keys",
                 "APP [down:CHORD|up:CHORD...]",
                 {{A::text}, {A::text, A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::vector<std::string> found;
                     for (const WorldPostedEvent& e :
                          ctx.world.receivedKeys(ctx.application(call.text(0)).pid))
                         found.push_back(keyEventText(e));
                     const std::vector<std::string> expected =
                         call.count() > 1 ? call.texts(1) : std::vector<std::string>{};
                     expectEqual(ctx, joined(expected), joined(found));
                 },
                 "Every key event the application received from the user since the start, in order; none "
                 "listed: it received none.",
                 [](const StepCall& call) { return checkKeyEvents(call, 1); }});
    for (size_t i = firstExpectation; i < t.size(); ++i) t[i].looksOnly = true;
}

}  // namespace qv
