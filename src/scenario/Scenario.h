#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/Geometry.h"

namespace qv {

class ScenarioContext;

// One word of a script line; a quoted word is always text, never a number or a keyword.
struct ScenarioToken {
    std::string text;
    bool quoted = false;
};

// The kinds of argument a step takes.
enum class ArgKind {
    text,    // any word
    number,  // a finite decimal number, unquoted
    whole,   // a whole number that fits 32 signed bits, unquoted: counts, levels, ids
    name,    // a file name for a screenshot: letters, digits, ".", "_" and "-", not starting with "."
    word,    // one of the argument's words, unquoted (a word with a blank in it is written quoted)
};

// Words of a script and what each stands for: "on" true, "off" false.
template <class T>
using Choices = std::vector<std::pair<std::string, T>>;

inline const Choices<bool> kOnOff = {{"on", true}, {"off", false}};
inline const Choices<bool> kYesNo = {{"yes", true}, {"no", false}};

// One argument as a row declares it: what it takes, checked once when the script is read, and
// how the usage shows it. Handlers then read it as declared, without checking it again.
struct Arg {
    Arg(ArgKind kind = ArgKind::text) : kind(kind) {}

    ArgKind kind;
    std::string label;               // as the usage shows it: "X", "APP"; a word shows its words
    std::vector<std::string> words;  // a word's words; other kinds take these words too ("none")
    double least = -HUGE_VAL;        // numbers: the range they take
    double most = HUGE_VAL;
    bool aboveLeast = false;  // a number above `least`, not at it: a width
    bool repeated = false;    // any number of such words, at least `atLeast`, in its place
    size_t atLeast = 0;
    // A rule of its own beyond the kind: why a word does not fit; none when it does.
    std::function<std::optional<std::string>(const std::string&)> rule;
};

using Form = std::vector<Arg>;

// The arguments as rows declare them.
namespace arg {
Arg text(std::string label);
Arg number(std::string label, double least = -HUGE_VAL, double most = HUGE_VAL);
Arg positive(std::string label);  // a number above 0
Arg whole(std::string label, double least = INT32_MIN, double most = INT32_MAX);
Arg name(std::string label);
Arg words(std::vector<std::string> words);
template <class T>
Arg words(const Choices<T>& choices) {
    std::vector<std::string> list;
    for (const auto& [word, value] : choices) list.push_back(word);
    return words(std::move(list));
}
// The argument, or the word: "DISPLAY|closed"; "none" most often.
Arg orWord(Arg arg, std::string word);
inline Arg orNone(Arg arg) {
    return orWord(std::move(arg), "none");
}
// Words following a rule of their own.
Arg ruled(std::string label, std::function<std::optional<std::string>(const std::string&)> rule);
// Any number of such arguments, at least `atLeast`: at most one such run in a form.
Arg repeated(Arg each, size_t atLeast = 0);
// X Y WIDTH HEIGHT: a size of 0 or more, above 0 when `positiveSize`.
Form frame(bool positiveSize = false);
// A form of single arguments and runs of them: form(text("NAME"), frame(), whole("DESKTOPS")).
inline void append(Form& to, const Arg& one) {
    to.push_back(one);
}
inline void append(Form& to, const Form& run) {
    to.insert(to.end(), run.begin(), run.end());
}
template <class... Parts>
Form form(const Parts&... parts) {
    Form f;
    (append(f, parts), ...);
    return f;
}
}  // namespace arg

struct StepCall;
using StepRun = std::function<void(ScenarioContext&, const StepCall&)>;
using StepCheck = std::function<std::optional<std::string>(const StepCall&)>;

// One row of the step table: what a script line starting with `name` means. `forms` lists the
// argument lists the step accepts; the first that fits is taken. `check` finds faults across the
// arguments before anything runs (a malformed script); `run` carries the step out.
struct StepRow {
    std::string name;   // one or two words: "advance", "expect chips"
    std::string usage;  // the arguments as messages show them: "SECONDS"
    std::vector<Form> forms;
    StepRun run;
    std::string help;
    StepCheck check = nullptr;
    bool once = false;            // at most one such line in a script
    bool looksOnly = false;       // changes nothing: may follow the program's end (as "expect" and
                                  // "show" steps do by their names)
    bool writesPictures = false;  // writes DIR/NAME.svg
};

// A row whose usage is made from its forms, so that the two cannot disagree.
StepRow step(std::string name, std::vector<Form> forms, StepRun run, std::string help,
             StepCheck check = nullptr);
// The usage of these forms: "NAME [BUNDLE-ID [regular|accessory]]", "X Y | ELEMENT [N]".
std::string usageOf(const std::vector<Form>& forms);
// Whether a step only looks, and so may follow the program's end.
bool onlyLooks(const StepRow& row);

using StepTable = std::vector<StepRow>;

// One parsed line: its step and arguments, with the form they matched. The arguments fit their
// declarations, so the readers below only convert them.
struct StepCall {
    const StepRow* row = nullptr;
    std::vector<ScenarioToken> args;
    size_t form = 0;
    int line = 0;

    size_t count() const { return args.size(); }
    const std::string& text(size_t i) const { return args.at(i).text; }
    bool quoted(size_t i) const { return args.at(i).quoted; }
    double number(size_t i) const;
    int32_t whole(size_t i) const { return static_cast<int32_t>(number(i)); }
    Point point(size_t i) const { return {number(i), number(i + 1)}; }
    Rect rect(size_t i) const { return {number(i), number(i + 1), number(i + 2), number(i + 3)}; }
    // The unquoted word `word` at position i.
    bool is(size_t i, const char* word) const {
        return i < args.size() && !args[i].quoted && args[i].text == word;
    }
    // The text, or nothing for the word none.
    std::optional<std::string> textOrNone(size_t i) const {
        return is(i, "none") ? std::nullopt : std::optional(text(i));
    }
    // What the word at position i stands for.
    template <class T>
    const T& choice(size_t i, const Choices<T>& choices) const {
        for (const auto& [word, value] : choices) {
            if (text(i) == word) return value;
        }
        throw std::logic_error(row->name + ": \"" + text(i) + "\" is not a declared word");
    }
    std::vector<std::string> texts(size_t from) const;
};

struct Scenario {
    std::string fileName;
    std::vector<StepCall> steps;
};

// A script that cannot be run as written, or whose screenshots cannot be written: exit 2.
struct ScenarioScriptError : std::runtime_error {
    ScenarioScriptError(int line, const std::string& message) : std::runtime_error(message), line(line) {}
    int line;
};

// A step whose expectation does not hold, or that names something absent: exit 1.
struct ScenarioFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses a whole script against the table: one step per line, "#" starts a comment outside
// quotes, words are separated by blanks and may be quoted with '"' (with \" and \\ inside).
// Throws ScenarioScriptError at the first fault.
Scenario parseScenario(const std::string& text, const std::string& fileName, const StepTable& table);

// Strict number reading: the whole word, finite.
std::optional<double> parseScenarioNumber(const std::string& word);

// "expected E, found F" failures.
[[noreturn]] void failExpectation(const std::string& expected, const std::string& found);

// --- The step table ---
// The rows of every feature area, in the order the documentation lists them. A feature area adds
// its rows with a function of its own and one line in scenarioSteps().
void addProgramSteps(StepTable& table);
void addWorldSteps(StepTable& table);
void addUserSteps(StepTable& table);
void addExpectSteps(StepTable& table);
void addBarSteps(StepTable& table);
void addDesktopListSteps(StepTable& table);  // DesktopListSteps.cpp
void addChipSteps(StepTable& table);
void addSystemSteps(StepTable& table);  // SystemSteps.cpp
void addNavigationSteps(StepTable& table);
void addLauncherSteps(StepTable& table);
void addTilingSteps(StepTable& table);          // TilingSteps.cpp
void addThumbnailSteps(StepTable& table);       // ThumbnailSteps.cpp
void addSwitcherSteps(StepTable& table);        // SwitcherSteps.cpp
void addSettingsWindowSteps(StepTable& table);  // SettingsWindowSteps.cpp
const StepTable& scenarioSteps();

}  // namespace qv
