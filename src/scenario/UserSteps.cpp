// Steps of the user's hands: the pointer, the keyboard and menus. Points are written as the
// screenshots show them: from the primary display's top-left corner, y down. Elements are texts
// drawn on our panels (a button's label).
#include <cctype>

#include "platform/Event.h"
#include "scenario/Context.h"
#include "ui/TextMetrics.h"

namespace qv {

namespace {

struct KeyName {
    const char* name;
    uint16_t code;
    const char* characters;
};

// The keys of a US keyboard by name, with their virtual key codes and typed characters.
constexpr KeyName kKeys[] = {
    {"a", 0, "a"},          {"s", 1, "s"},          {"d", 2, "d"},     {"f", 3, "f"},      {"h", 4, "h"},
    {"g", 5, "g"},          {"z", 6, "z"},          {"x", 7, "x"},     {"c", 8, "c"},      {"v", 9, "v"},
    {"b", 11, "b"},         {"q", 12, "q"},         {"w", 13, "w"},    {"e", 14, "e"},     {"r", 15, "r"},
    {"y", 16, "y"},         {"t", 17, "t"},         {"1", 18, "1"},    {"2", 19, "2"},     {"3", 20, "3"},
    {"4", 21, "4"},         {"6", 22, "6"},         {"5", 23, "5"},    {"=", 24, "="},     {"9", 25, "9"},
    {"7", 26, "7"},         {"-", 27, "-"},         {"8", 28, "8"},    {"0", 29, "0"},     {"]", 30, "]"},
    {"o", 31, "o"},         {"u", 32, "u"},         {"[", 33, "["},    {"i", 34, "i"},     {"p", 35, "p"},
    {"return", 36, "\r"},   {"l", 37, "l"},         {"j", 38, "j"},    {"'", 39, "'"},     {"k", 40, "k"},
    {";", 41, ";"},         {"\\", 42, "\\"},       {",", 43, ","},    {"/", 44, "/"},     {"n", 45, "n"},
    {"m", 46, "m"},         {".", 47, "."},         {"tab", 48, "\t"}, {"space", 49, " "}, {"`", 50, "`"},
    {"delete", 51, "\x7f"}, {"escape", 53, "\x1b"}, {"left", 123, ""}, {"right", 124, ""}, {"down", 125, ""},
    {"up", 126, ""},        {"f1", 122, ""},        {"f2", 120, ""},   {"f3", 99, ""},     {"f4", 118, ""},
    {"f5", 96, ""},         {"f6", 97, ""},         {"f7", 98, ""},    {"f8", 100, ""},    {"f9", 101, ""},
    {"f10", 109, ""},       {"f11", 103, ""},       {"f12", 111, ""},
};

struct Modifier {
    const char* name;
    uint64_t flag;
    uint16_t code;  // the modifier key itself
};

constexpr Modifier kModifiers[] = {
    {"cmd", modifierflags::kCommand, 55},   {"command", modifierflags::kCommand, 55},
    {"shift", modifierflags::kShift, 56},   {"opt", modifierflags::kOption, 58},
    {"option", modifierflags::kOption, 58}, {"alt", modifierflags::kOption, 58},
    {"ctrl", modifierflags::kControl, 59},  {"control", modifierflags::kControl, 59},
    {"fn", modifierflags::kFunction, 63},
};

const Modifier* modifierNamed(const std::string& name) {
    for (const Modifier& m : kModifiers) {
        if (name == m.name) return &m;
    }
    return nullptr;
}

}  // namespace

// "cmd+shift+w": modifiers, then one key; a modifier alone presses that modifier key. Letters with
// Shift type their capital, as the characters ignoring the other modifiers do.
std::optional<Chord> parseChord(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        // "+" itself is no key here, so a "+" always separates.
        size_t plus = text.find('+', start);
        parts.push_back(text.substr(start, plus - start));
        if (plus == std::string::npos) break;
        start = plus + 1;
    }
    Chord chord;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const Modifier* m = modifierNamed(parts[i]);
        if (!m) return std::nullopt;
        chord.flags |= m->flag;
    }
    std::string key = parts.back();
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (const Modifier* m = modifierNamed(key)) {
        chord.keyCode = m->code;
        chord.flags |= m->flag;
        chord.modifierKey = m->flag;
        return chord;
    }
    for (const KeyName& k : kKeys) {
        if (key != k.name) continue;
        chord.keyCode = k.code;
        chord.characters = k.characters;
        if ((chord.flags & modifierflags::kShift) && chord.characters.size() == 1 &&
            std::islower(static_cast<unsigned char>(chord.characters[0]))) {
            chord.characters[0] =
                static_cast<char>(std::toupper(static_cast<unsigned char>(chord.characters[0])));
        }
        return chord;
    }
    return std::nullopt;
}

std::string chordText(uint16_t keyCode, uint64_t flags) {
    std::string out;
    for (const char* name : {"ctrl", "opt", "shift", "cmd", "fn"}) {
        if (flags & modifierNamed(name)->flag) out += std::string(name) + "+";
    }
    for (const KeyName& k : kKeys) {
        if (k.code == keyCode) return out + k.name;
    }
    return out + std::to_string(keyCode);
}

std::string keyEventText(const WorldPostedEvent& e) {
    return std::string(e.type == 10 ? "down:" : "up:") + chordText(e.keyCode, e.flags);
}

Arg chordArg() {
    return arg::ruled("CHORD", [](const std::string& word) -> std::optional<std::string> {
        if (parseChord(word)) return std::nullopt;
        return "\"" + word +
               "\" is no key chord (modifiers cmd, shift, opt, ctrl, fn joined by + to one key)";
    });
}

Arg keyEventsArg() {
    return arg::repeated(
        arg::ruled("down:CHORD|up:CHORD", [](const std::string& word) -> std::optional<std::string> {
            const size_t colon = word.find(':');
            const std::string kind = word.substr(0, colon);
            if (colon == std::string::npos || (kind != "down" && kind != "up") ||
                !parseChord(word.substr(colon + 1)))
                return "\"" + word + "\" is no key event (down:CHORD or up:CHORD)";
            return std::nullopt;
        }));
}

Chord chordAt(const StepCall& call, size_t i) {
    return *parseChord(call.text(i));
}

namespace {

// Where a pointer step acts: a point of the script, or the centre of an element's text.
Point pointOf(ScenarioContext& ctx, const StepCall& call) {
    if (call.form == 0) return ctx.toScreen(call.point(0));
    return ctx.element(call.text(0), call.count() == 2 ? call.whole(1) : 1).screenPoint;
}

const std::vector<Form> kPointForms = {{arg::number("X"), arg::number("Y")},
                                       {arg::text("ELEMENT")},
                                       {arg::text("ELEMENT"), arg::whole("N", 1, 1000)}};

// A modifier alone changes the flags held; any other key goes down and up with them.
void pressKey(ScenarioContext& ctx, const Chord& chord, bool down, bool up) {
    if (down) {
        if (chord.modifierKey) {
            ctx.world.flagsChanged(chord.flags);
        } else {
            ctx.world.keyDown(chord.keyCode, chord.characters, chord.flags);
        }
    }
    if (down && up) ctx.settle();
    if (up) {
        if (chord.modifierKey) {
            // Every modifier the chord names is let go: "ctrl+opt" is both keys, as a user lets go.
            ctx.world.flagsChanged(0);
        } else {
            ctx.world.keyUp(chord.keyCode, chord.flags);
        }
    }
}

}  // namespace

void addUserSteps(StepTable& t) {
    t.push_back(step(
        "move", kPointForms,
        [](ScenarioContext& ctx, const StepCall& call) { ctx.world.mouseMove(pointOf(ctx, call)); },
        "Moves the pointer to a point, or over the N-th place (1 unless given) a text shows on our panels."));
    t.push_back(step(
        "click", kPointForms,
        [](ScenarioContext& ctx, const StepCall& call) { ctx.click(pointOf(ctx, call)); },
        "Presses and releases the left button at a point, or on an element of our panels (a button by "
        "its label). An element that is not there fails."));
    t.push_back(step(
        "right-click", kPointForms,
        [](ScenarioContext& ctx, const StepCall& call) { ctx.click(pointOf(ctx, call), true); },
        "The same with the right button."));
    t.push_back(step(
        "click-close-button", {{arg::text("PANEL-TITLE")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = ctx.panelTitled(call.text(0));
            if (!panel) throw ScenarioFailure("no panel titled \"" + call.text(0) + "\" on screen");
            auto button = panel->closeButtonFrame();
            if (!button) throw ScenarioFailure("\"" + call.text(0) + "\" has no close button");
            ctx.click({button->midX(), button->midY()});
        },
        "Clicks the close button in the title bar of one of our panels, as the user closes it."));
    t.push_back(step(
        "scroll", {{arg::number("X"), arg::number("Y"), arg::number("DX"), arg::number("DY")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.scroll(ctx.toScreen(call.point(0)), call.number(2), call.number(3));
        },
        "Scrolls at a point by DX and DY points (positive DY scrolls up)."));
    t.push_back(step(
        "drag", {{arg::number("X1"), arg::number("Y1"), arg::number("X2"), arg::number("Y2")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const Point from = call.point(0), to = call.point(2);
            constexpr int kSteps = 4;
            ctx.world.mouseDown(ctx.toScreen(from), false);
            ctx.settle();
            for (int i = 1; i <= kSteps; ++i) {
                const double f = double(i) / kSteps;
                ctx.world.mouseDragged(
                    ctx.toScreen({from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f}));
                ctx.settle();
            }
            ctx.world.mouseUp(ctx.toScreen(to), false);
        },
        "Presses at the first point, drags in four moves to the second and releases there."));
    t.push_back(step(
        "key", {{chordArg()}},
        [](ScenarioContext& ctx, const StepCall& call) { pressKey(ctx, chordAt(call, 0), true, true); },
        "Presses and releases a key with modifiers: cmd+w, cmd+shift+w, opt+tab, escape, f5."));
    t.push_back(step(
        "key-down", {{chordArg()}},
        [](ScenarioContext& ctx, const StepCall& call) { pressKey(ctx, chordAt(call, 0), true, false); },
        "Presses a key with the modifier flags given and holds it; a modifier alone (shift, cmd+opt) "
        "changes the modifiers held."));
    t.push_back(step(
        "key-up", {{chordArg()}},
        [](ScenarioContext& ctx, const StepCall& call) { pressKey(ctx, chordAt(call, 0), false, true); },
        "Releases a key, with the modifier flags still held; a chord of modifiers alone lets go every one "
        "it names."));
    t.push_back(step(
        "key-repeat", {{chordArg()}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const Chord chord = chordAt(call, 0);
            if (!ctx.world.keyRepeat(chord.keyCode, chord.characters, chord.flags))
                throw ScenarioFailure("\"" + call.text(0) + "\": its key is not held (key-down first)");
        },
        "The system repeats a key held down with key-down: one auto-repeated key-down, with the modifier "
        "flags "
        "given.",
        [](const StepCall& call) -> std::optional<std::string> {
            if (chordAt(call, 0).modifierKey) return "a modifier key does not repeat";
            return std::nullopt;
        }));
    t.push_back(step(
        "type", {{arg::text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            for (char32_t cp : textmetrics::codePoints(call.text(0))) {
                const std::string ch = textmetrics::encode({cp});
                Chord chord;
                chord.characters = ch;
                std::string lower = ch;
                if (cp < 0x80 && std::isupper(static_cast<int>(cp))) {
                    lower[0] = static_cast<char>(std::tolower(static_cast<int>(cp)));
                    chord.flags = modifierflags::kShift;
                }
                for (const KeyName& k : kKeys) {
                    if (lower == k.characters) chord.keyCode = k.code;
                }
                pressKey(ctx, chord, true, true);
                ctx.settle();
            }
        },
        "Types a text, one key per character (characters beyond a US keyboard come with key code 0)."));
    t.push_back(step(
        "pick-menu", {{arg::repeated(arg::text("TITLE"), 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            requireOpenMenu(ctx);
            if (!ctx.world.pickMenuItem(call.texts(0)))
                throw ScenarioFailure("no enabled menu item " + quotedList(call.texts(0)) +
                                      " in an open menu");
        },
        "Chooses an item of the open context menu by its title, through submenus: pick-menu \"Move "
        "to\" \"Desktop 2\"."));
}

}  // namespace qv
