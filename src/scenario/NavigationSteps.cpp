// Steps about switching desktops and carrying windows between them: the system's shortcuts for
// switching to a desktop, scrolling with natural scrolling, and what the system shows afterwards
// (each display's active desktop, the frontmost application, the keys our program posted and to
// whom it gave activation back).
#include "scenario/Context.h"

namespace qv {

namespace {

constexpr int32_t kFirstDesktopHotKey = 118;  // desktop 1
constexpr int32_t kLastDesktopHotKey = 133;   // desktop 16

std::string hotKeyState(const std::optional<WorldHotKey>& key) {
    if (!key) return "none";
    return key->enabled ? "on" : "off";
}

}  // namespace

void addNavigationSteps(StepTable& t) {
    using namespace arg;
    const Arg id = whole("ID", kFirstDesktopHotKey, kLastDesktopHotKey);
    const Form shortcut = {id, chordArg(), words(kOnOff)};
    t.push_back(step(
        "symbolic-hot-key", {shortcut, form(shortcut, words({"refuse-enabling"})), {id, words({"none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (call.form == 2) {
                ctx.world.setSymbolicHotKey(call.whole(0), std::nullopt);
                return;
            }
            const Chord chord = chordAt(call, 1);
            ctx.world.setSymbolicHotKey(
                call.whole(0),
                WorldHotKey{chord.keyCode, chord.flags, call.choice(2, kOnOff), call.count() == 4});
        },
        "Sets the system's shortcut for switching to a desktop: 118 is desktop 1, 133 desktop 16; "
        "off: switched off in the keyboard settings; refuse-enabling: the system refuses to switch "
        "it on; none: the system reports no shortcut."));
    t.push_back(step(
        "desktop-shortcuts", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDesktopShortcutsEnabled(call.choice(0, kOnOff));
        },
        "The user switches every \"Switch to Desktop N\" shortcut on or off in the keyboard "
        "settings; a fresh system has them off."));
    t.push_back(step(
        "desktop-switch-duration", {{number("SECONDS", 0, 60)}},
        [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setDesktopSwitchDuration(call.number(0)); },
        "How long every desktop switch takes from now on (0.33 s unless set; 0: at once); the "
        "change is announced at its end."));
    const Form scroll = {number("X"), number("Y"), number("DX"), number("DY")};
    t.push_back(step(
        "natural-scroll", {scroll},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.naturalScroll(ctx.toScreen(call.point(0)), call.number(2), call.number(3));
        },
        "Scrolls at a point with natural scrolling: the event reports its direction inverted "
        "from the device's, so a negative DY scrolls up."));
    t.push_back(step(
        "momentum-scroll", {scroll},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.momentumScroll(ctx.toScreen(call.point(0)), call.number(2), call.number(3));
        },
        "Scrolls at a point as a trackpad coasts after the fingers lift: the event carries a "
        "momentum phase."));
    t.push_back(step(
        "expect active-desktop", {{text("DISPLAY"), text("DESKTOP")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldDisplay display = ctx.display(call.args[0]);
            const uint64_t expected = ctx.desktop(call.text(1));
            std::string found = "none";
            for (const WorldDesktop& d : display.desktops) {
                if (d.active) found = ctx.desktopReference(d.id);
            }
            expectEqual(ctx, ctx.desktopReference(expected), found);
        },
        "The desktop a display shows."));
    t.push_back(step(
        "expect frontmost", {{orWord(text("APP"), "program")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::string found = ctx.world.ourApplicationFrontmost() ? "program" : "none";
            for (const WorldApplication& app : ctx.world.applications()) {
                if (app.frontmost) found = app.name;
            }
            expectEqual(ctx, call.text(0), found);
        },
        "The frontmost application by name; program: our own."));
    t.push_back(step(
        "expect symbolic-hot-key", {{id, words({"on", "off", "none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(1), hotKeyState(ctx.world.symbolicHotKey(call.whole(0))));
        },
        "Whether the system's shortcut with that id is switched on; none: it has no value."));
    t.push_back(step(
        "expect posted-keys", {{keyEventsArg()}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::vector<std::string> found;
            const auto posted = ctx.world.postedEvents();
            for (size_t i = ctx.postedEventsSeen; i < posted.size(); ++i) {
                if (posted[i].type == 10 || posted[i].type == 11) found.push_back(keyEventText(posted[i]));
            }
            ctx.postedEventsSeen = posted.size();
            std::vector<std::string> expected;
            for (const std::string& word : call.texts(0)) {
                const size_t colon = word.find(':');
                const Chord chord = *parseChord(word.substr(colon + 1));
                expected.push_back(word.substr(0, colon + 1) + chordText(chord.keyCode, chord.flags));
            }
            expectEqual(ctx, quotedList(expected), quotedList(found));
        },
        "The key events the program posted since the previous such expectation, in order, each "
        "with the modifier flags it carried; none listed: none."));
    t.push_back(step(
        "expect yields", {{repeated(text("APP"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(ctx.world.activationYields()));
        },
        "Every application the program gave activation back to, oldest first; none listed: "
        "none."));
}

}  // namespace qv
