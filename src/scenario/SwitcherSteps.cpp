// Steps about the keyboard window switcher and the event taps it stands on: the system's version,
// faults of the taps, shortcut recording in the settings, and what the switcher and the
// applications show afterwards.
#include <algorithm>

#include "bar/BarManager.h"
#include "scenario/Context.h"

namespace qv {

namespace {

// The switcher of the running program; none where the system does not support it.
std::shared_ptr<WindowSwitcherController> switcher(ScenarioContext& ctx) {
    return ctx.barManager().windowSwitcher();
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

}  // namespace

void addSwitcherSteps(StepTable& t) {
    using namespace arg;
    const Form window = form(words({"dialog", "transparent"}), text("APP"), text("TITLE"), frame(true));
    t.push_back(step(
        "open-special-window", {window, form(window, text("DESKTOP"))},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldApplication app = ctx.application(call.text(1));
            std::optional<uint64_t> desktop;
            if (call.count() == 8) desktop = ctx.desktop(call.text(7));
            if (call.is(0, "dialog")) {
                ctx.world.openDialog(app.pid, call.text(2), call.rect(3), desktop);
            } else {
                ctx.world.openTransparentWindow(app.pid, call.text(2), call.rect(3), desktop);
            }
        },
        "An application opens a dialog, or a floating palette drawn fully transparent."));
    t.push_back(step(
        "tap-fault", {{words({"refuse", "allow", "time-out", "lose-release"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (call.is(0, "refuse") || call.is(0, "allow")) {
                ctx.world.setEventTapsRefused(call.is(0, "refuse"));
            } else if (call.is(0, "time-out")) {
                ctx.world.timeOutEventTaps();
            } else {
                ctx.world.loseNextModifierChange();
            }
        },
        "Event taps misbehave: the system refuses to create them from now on (or allows it "
        "again), switches every tap off as too slow, or loses the next change of the held modifier "
        "keys."));
    t.push_back(step(
        "expect switcher", {{orNone(text("TITLE"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto controller = switcher(ctx);
            std::string found = "none";
            if (controller && controller->panel()->isVisible()) {
                auto entry = controller->model().selectedEntry();
                found = entry ? "\"" + cardTitle(*entry) + "\" selected" : "nothing selected";
            }
            const auto title = call.textOrNone(0);
            expectEqual(ctx, title ? "\"" + *title + "\" selected" : "none", found);
        },
        "The switcher is on screen with the card of that window selected; none: not on screen."));
    t.push_back(step(
        "expect switcher-cards", {{repeated(text("TITLE"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto controller = switcher(ctx);
            if (!controller) throw ScenarioFailure("the program has no window switcher");
            std::vector<std::string> found;
            for (const SwitcherEntry& e : *controller->model().entries) found.push_back(cardTitle(e));
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(found));
        },
        "The cards of the switcher's last opening, in order."));
    t.push_back(step(
        "expect switcher-pictures", {{repeated(words({"picture", "icon"}))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto controller = switcher(ctx);
            if (!controller || !controller->panel()->isVisible())
                failExpectation("the switcher on screen", "none");
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(cardPictures(*controller)));
        },
        "What each card of the open switcher shows, in order: the window's picture, or its "
        "application's icon while there is none."));
    t.push_back(step(
        "expect event-taps", {{repeated(text("THREAD"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(ctx.world.eventTaps()));
        },
        "The event taps events pass, in order, each named by the thread serving it; none listed: "
        "no tap."));
    t.push_back(step(
        "expect received-keys", {{text("APP"), keyEventsArg()}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::vector<std::string> found;
            for (const WorldPostedEvent& e : ctx.world.receivedKeys(ctx.application(call.text(0)).pid))
                found.push_back(keyEventText(e));
            expectEqual(ctx, quotedList(call.texts(1)), quotedList(found));
        },
        "Every key event the application received from the user since the start, in order; none "
        "listed: it received none."));
}

}  // namespace qv
