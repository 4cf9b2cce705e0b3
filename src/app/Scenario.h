#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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
    texts,   // any number of words, the rest of the line (last only)
};

struct StepCall;

// One row of the step table: what a script line starting with `name` means. `forms` lists the
// argument lists the step accepts; the first that fits is taken. `check` finds faults of the
// arguments before anything runs (a malformed script); `run` carries the step out.
struct StepRow {
    std::string name;   // one or two words: "advance", "expect chips"
    std::string usage;  // the arguments as the documentation shows them: "SECONDS"
    std::vector<std::vector<ArgKind>> forms;
    std::function<void(ScenarioContext&, const StepCall&)> run;
    std::string help;
    std::function<std::optional<std::string>(const StepCall&)> check = nullptr;
    bool once = false;            // at most one such line in a script
    bool looksOnly = false;       // changes nothing: may follow the program's end
    bool writesPictures = false;  // writes DIR/NAME.svg
};

using StepTable = std::vector<StepRow>;

// One parsed line: its step and arguments, with the form they matched.
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
    // The unquoted word `word` at position i.
    bool is(size_t i, const char* word) const {
        return i < args.size() && !args[i].quoted && args[i].text == word;
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
void addDesktopListSteps(StepTable& table);  // ScenarioDesktopListSteps.cpp
void addChipSteps(StepTable& table);
void addSystemSteps(StepTable& table);  // ScenarioSystemSteps.cpp
void addNavigationSteps(StepTable& table);
void addLauncherSteps(StepTable& table);
void addTilingSteps(StepTable& table);  // ScenarioTilingSteps.cpp
void addThumbnailSteps(StepTable& table);  // ScenarioThumbnailSteps.cpp
void addSwitcherSteps(StepTable& table);  // ScenarioSwitcherSteps.cpp
const StepTable& scenarioSteps();

}  // namespace qv
