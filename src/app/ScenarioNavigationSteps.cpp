// Steps about switching desktops and carrying windows between them: the system's shortcuts for
// switching to a desktop, scrolling with natural scrolling, and what the system shows afterwards
// (each display's active desktop, the frontmost application, the keys our program posted and to
// whom it gave activation back).
#include "app/ScenarioContext.h"

namespace qv {

namespace {

using A = ArgKind;

constexpr int32_t kFirstDesktopHotKey = 118;  // desktop 1
constexpr int32_t kLastDesktopHotKey = 133;   // desktop 16

std::optional<std::string> checkHotKeyID(const StepCall& call) {
    const double id = call.number(0);
    if (id < kFirstDesktopHotKey || id > kLastDesktopHotKey || id != static_cast<int>(id))
        return "a desktop shortcut's id is a whole number from 118 (desktop 1) to 133 (desktop 16)";
    return std::nullopt;
}

std::string hotKeyState(const std::optional<WorldHotKey>& key) {
    if (!key) return "none";
    return key->enabled ? "on" : "off";
}

}  // namespace

void addNavigationSteps(StepTable& t) {
    t.push_back(
        {"symbolic-hot-key",
         "ID CHORD on|off [refuse-enabling] | ID none",
         {{A::number, A::text}, {A::number, A::text, A::text}, {A::number, A::text, A::text, A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             const auto id = static_cast<int32_t>(call.number(0));
             if (call.form == 0) {
                 ctx.world.setSymbolicHotKey(id, std::nullopt);
                 return;
             }
             const Chord chord = *parseChord(call.text(1));
             ctx.world.setSymbolicHotKey(
                 id, WorldHotKey{chord.keyCode, chord.flags, call.is(2, "on"), call.count() == 4});
         },
         "Sets the system's shortcut for switching to a desktop: 118 is desktop 1, 133 desktop 16; off: "
         "switched off in the keyboard settings; refuse-enabling: the system refuses to switch it on; none: "
         "the system reports no shortcut.",
         [](const StepCall& call) -> std::optional<std::string> {
             if (auto error = checkHotKeyID(call)) return error;
             if (call.form == 0) return oneOf(1, {"none"})(call);
             if (!parseChord(call.text(1))) return "\"" + call.text(1) + "\" is no key chord";
             if (auto error = oneOf(2, {"on", "off"})(call)) return error;
             return oneOf(3, {"refuse-enabling"})(call);
         }});
    t.push_back({"desktop-shortcuts",
                 "on|off",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.setDesktopShortcutsEnabled(call.is(0, "on"));
                 },
                 "The user switches every \"Switch to Desktop N\" shortcut on or off in the keyboard "
                 "settings; a fresh system has them off.",
                 oneOf(0, {"on", "off"})});
    t.push_back({"natural-scroll",
                 "X Y DX DY",
                 {{A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.naturalScroll(ctx.toScreen({call.number(0), call.number(1)}), call.number(2),
                                             call.number(3));
                 },
                 "Scrolls at a point with natural scrolling: the event reports its direction inverted "
                 "from the device's, so a negative DY is the upward gesture."});
    t.push_back({"momentum-scroll",
                 "X Y DX DY",
                 {{A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.world.momentumScroll(ctx.toScreen({call.number(0), call.number(1)}), call.number(2),
                                              call.number(3));
                 },
                 "Scrolls at a point as a trackpad coasts after the fingers lift: the event carries a "
                 "momentum phase."});
    const size_t firstExpectation = t.size();
    t.push_back({"expect active-desktop",
                 "DISPLAY DESKTOP",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldDisplay display = ctx.display(call.args[0]);
                     const uint64_t expected = ctx.desktop(call.text(1));
                     std::string found = "none";
                     for (const WorldDesktop& d : display.desktops) {
                         if (d.active) found = ctx.desktopReference(d.id);
                     }
                     expectEqual(ctx, ctx.desktopReference(expected), found);
                 },
                 "The desktop a display shows."});
    t.push_back({"expect frontmost",
                 "APP|program",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::string found = ctx.world.ourApplicationFrontmost() ? "program" : "none";
                     for (const WorldApplication& app : ctx.world.applications()) {
                         if (app.frontmost) found = app.name;
                     }
                     expectEqual(ctx, call.text(0), found);
                 },
                 "The frontmost application by name; program: our own."});
    t.push_back({"expect symbolic-hot-key",
                 "ID on|off|none",
                 {{A::whole, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     expectEqual(ctx, call.text(1), hotKeyState(ctx.world.symbolicHotKey(call.whole(0))));
                 },
                 "Whether the system's shortcut with that id is switched on; none: it has no value.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (auto error = checkHotKeyID(call)) return error;
                     return oneOf(1, {"on", "off", "none"})(call);
                 }});
    t.push_back({"expect posted-keys",
                 "[down:CHORD|up:CHORD...]",
                 {{A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     std::vector<std::string> found;
                     const auto posted = ctx.world.postedEvents();
                     for (size_t i = ctx.postedEventsSeen; i < posted.size(); ++i) {
                         if (posted[i].type == 10 || posted[i].type == 11)
                             found.push_back(keyEventText(posted[i]));
                     }
                     ctx.postedEventsSeen = posted.size();
                     std::vector<std::string> expected;
                     for (const std::string& word : call.texts(0)) {
                         const size_t colon = word.find(':');
                         const Chord chord = *parseChord(word.substr(colon + 1));
                         expected.push_back(word.substr(0, colon + 1) +
                                            chordText(chord.keyCode, chord.flags));
                     }
                     expectEqual(ctx, quotedList(expected), quotedList(found));
                 },
                 "The key events the program posted since the previous such expectation, in order, each "
                 "with the modifier flags it carried; none listed: none.",
                 [](const StepCall& call) { return checkKeyEvents(call, 0); }});
    t.push_back({"expect yields",
                 "[APP...]",
                 {{A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     expectEqual(ctx, quotedList(call.texts(0)), quotedList(ctx.world.activationYields()));
                 },
                 "Every application the program gave activation back to, oldest first; none listed: none."});
    for (size_t i = firstExpectation; i < t.size(); ++i) t[i].looksOnly = true;
}

}  // namespace qv
