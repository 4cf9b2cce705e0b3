#include <algorithm>
#include <charconv>
#include <cmath>
#include <iomanip>
#include <map>
#include <sstream>

#include "app/Scenario.h"

namespace qv {

namespace {

constexpr size_t kMaxNameLength = 100;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The words of one line, without its comment.
std::vector<ScenarioToken> tokenize(const std::string& line, int lineNumber) {
    std::vector<ScenarioToken> tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (isBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        ScenarioToken token;
        if (line[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) c = line[i++];
                token.text += c;
            }
            if (!closed) throw ScenarioScriptError(lineNumber, "unterminated quote");
            if (i < line.size() && !isBlank(line[i]) && line[i] != '#')
                throw ScenarioScriptError(lineNumber, "a closing quote must be followed by a blank");
        } else {
            while (i < line.size() && !isBlank(line[i])) {
                if (line[i] == '"') throw ScenarioScriptError(lineNumber, "a quote inside a word");
                token.text += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool isSafeName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.') return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// A number as messages write it: 3600, -2147483648, 0.5.
std::string numberText(double n) {
    std::ostringstream os;
    os << std::setprecision(15) << n;
    return os.str();
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : separator) + w;
    return out;
}

std::string notAmong(const std::string& word, const std::vector<std::string>& words) {
    return "\"" + word + "\" is not " + (words.size() == 1 ? "" : "one of ") + joined(words, ", ");
}

// A declared word; one with a blank in it can only be written quoted.
bool isWordOf(const Arg& arg, const ScenarioToken& token) {
    return std::any_of(arg.words.begin(), arg.words.end(), [&](const std::string& w) {
        return token.text == w && (!token.quoted || w.find(' ') != std::string::npos);
    });
}

std::string numberMisfit(const Arg& arg, const ScenarioToken& token) {
    const bool whole = arg.kind == ArgKind::whole;
    // Whole numbers are checked here, so that reading one as an integer later can never overflow.
    const double least = whole ? std::max(arg.least, double(INT32_MIN)) : arg.least;
    const double most = whole ? std::min(arg.most, double(INT32_MAX)) : arg.most;
    std::string what = whole                                   ? "a whole number"
                       : std::isinf(least) && std::isinf(most) ? "a finite decimal number"
                                                               : "a number";
    if (arg.aboveLeast) {
        what += " above " + numberText(least);
    } else if (!std::isinf(least)) {
        what += " from " + numberText(least) + (std::isinf(most) ? "" : " to " + numberText(most));
    } else if (!std::isinf(most)) {
        what += " up to " + numberText(most);
    }
    what += ", unquoted";
    if (!arg.words.empty()) what += ", or " + joined(arg.words, " or ");
    const std::string label = arg.label.empty() ? whole ? "whole number" : "number" : arg.label;
    return "bad " + label + " \"" + token.text + "\" (" + what + ")";
}

// Why a token does not fit an argument; none when it fits.
std::optional<std::string> misfit(const Arg& arg, const ScenarioToken& token) {
    if (isWordOf(arg, token)) return std::nullopt;
    switch (arg.kind) {
        case ArgKind::text:
            break;
        case ArgKind::number:
        case ArgKind::whole: {
            const auto n = token.quoted ? std::nullopt : parseScenarioNumber(token.text);
            const bool whole = arg.kind == ArgKind::whole;
            if (!n || (whole && (*n != std::trunc(*n) || *n < INT32_MIN || *n > INT32_MAX)) ||
                (arg.aboveLeast ? *n <= arg.least : *n < arg.least) || *n > arg.most)
                return numberMisfit(arg, token);
            break;
        }
        case ArgKind::name:
            if (!isSafeName(token.text))
                return "unsafe name \"" + token.text +
                       "\" (use up to 100 letters, digits, '.', '_' and '-', not starting with '.')";
            break;
        case ArgKind::word:
            if (token.quoted && isWordOf(arg, {token.text, false}))
                return "\"" + token.text + "\" is quoted: the word " + token.text +
                       " is written without quotes";
            return notAmong(token.text, arg.words);
    }
    return arg.rule ? arg.rule(token.text) : std::nullopt;
}

// The place of a form's run of repeated arguments, if it has one.
std::optional<size_t> runOf(const Form& form) {
    auto it = std::find_if(form.begin(), form.end(), [](const Arg& a) { return a.repeated; });
    if (it == form.end()) return std::nullopt;
    return static_cast<size_t>(it - form.begin());
}

size_t fewestOf(const Form& form) {
    const auto run = runOf(form);
    return run ? form.size() - 1 + form[*run].atLeast : form.size();
}

size_t mostOf(const Form& form) {
    return runOf(form) ? SIZE_MAX : form.size();
}

// The declaration the i-th of `count` arguments answers to: those after a run count from the end.
const Arg& argFor(const Form& form, size_t i, size_t count) {
    const auto run = runOf(form);
    if (!run || i < *run) return form[i];
    const size_t after = form.size() - 1 - *run;
    return i >= count - after ? form[form.size() - (count - i)] : form[*run];
}

// The first form the arguments fit, or the clearest reason why none does: the fault of the form
// that fits furthest, with the words of every form that expects a word there.
size_t matchForm(const StepRow& row, const std::vector<ScenarioToken>& args, int line) {
    std::optional<std::string> typeError;
    size_t furthest = 0;
    std::vector<std::string> wordsThere;
    bool onlyWordsThere = true;
    size_t fewest = SIZE_MAX, most = 0;
    for (size_t f = 0; f < row.forms.size(); ++f) {
        const Form& form = row.forms[f];
        fewest = std::min(fewest, fewestOf(form));
        most = std::max(most, mostOf(form));
        if (args.size() < fewestOf(form) || args.size() > mostOf(form)) continue;
        size_t i = 0;
        std::optional<std::string> error;
        for (; i < args.size(); ++i) {
            if ((error = misfit(argFor(form, i, args.size()), args[i]))) break;
        }
        if (!error) return f;
        const Arg& there = argFor(form, i, args.size());
        if (typeError && i < furthest) continue;
        if (!typeError || i > furthest) {
            typeError = error;
            furthest = i;
            wordsThere.clear();
            onlyWordsThere = true;
        }
        onlyWordsThere = onlyWordsThere && there.kind == ArgKind::word;
        for (const std::string& w : there.words) {
            if (std::find(wordsThere.begin(), wordsThere.end(), w) == wordsThere.end())
                wordsThere.push_back(w);
        }
    }
    const std::string usage = row.name + (row.usage.empty() ? "" : " " + row.usage);
    if (typeError && onlyWordsThere && !args[furthest].quoted)
        typeError = notAmong(args[furthest].text, wordsThere);
    if (typeError) throw ScenarioScriptError(line, row.name + ": " + *typeError + "; usage: " + usage);
    const char* what = args.size() < fewest ? "missing argument"
                       : args.size() > most ? "extra argument"
                                            : "wrong arguments";
    throw ScenarioScriptError(line, row.name + ": " + what + "; usage: " + usage);
}

// How the usage shows one argument.
std::string shown(const Arg& arg) {
    std::string text = arg.label;
    if (arg.kind == ArgKind::word) {
        std::vector<std::string> words;
        for (const std::string& w : arg.words)
            words.push_back(w.find(' ') == std::string::npos ? w : "\"" + w + "\"");
        text = joined(words, "|");
    } else if (!arg.words.empty()) {
        text += "|" + joined(arg.words, "|");
    }
    if (arg.repeated) text = arg.atLeast ? text + "..." : "[" + text + "...]";
    return text;
}

}  // namespace

namespace arg {

Arg text(std::string label) {
    Arg a(ArgKind::text);
    a.label = std::move(label);
    return a;
}

Arg number(std::string label, double least, double most) {
    Arg a(ArgKind::number);
    a.label = std::move(label);
    a.least = least;
    a.most = most;
    return a;
}

Arg positive(std::string label) {
    Arg a = number(std::move(label), 0);
    a.aboveLeast = true;
    return a;
}

Arg whole(std::string label, double least, double most) {
    Arg a = number(std::move(label), least, most);
    a.kind = ArgKind::whole;
    return a;
}

Arg name(std::string label) {
    Arg a(ArgKind::name);
    a.label = std::move(label);
    return a;
}

Arg words(std::vector<std::string> words) {
    Arg a(ArgKind::word);
    a.words = std::move(words);
    return a;
}

Arg orWord(Arg arg, std::string word) {
    arg.words.push_back(std::move(word));
    return arg;
}

Arg ruled(std::string label, std::function<std::optional<std::string>(const std::string&)> rule) {
    Arg a = text(std::move(label));
    a.rule = std::move(rule);
    return a;
}

Arg repeated(Arg each, size_t atLeast) {
    each.repeated = true;
    each.atLeast = atLeast;
    return each;
}

Form frame(bool positiveSize) {
    if (positiveSize) return {number("X"), number("Y"), positive("WIDTH"), positive("HEIGHT")};
    return {number("X"), number("Y"), number("WIDTH"), number("HEIGHT")};
}

}  // namespace arg

std::string usageOf(const std::vector<Form>& forms) {
    // Forms that each extend the one before show as one with nested brackets; others apart.
    std::vector<std::string> groups;
    std::vector<std::string> previous;
    std::string text;
    size_t open = 0;
    for (size_t f = 0; f < forms.size(); ++f) {
        std::vector<std::string> args;
        for (const Arg& a : forms[f]) args.push_back(shown(a));
        if (f > 0 && args.size() > previous.size() &&
            std::equal(previous.begin(), previous.end(), args.begin())) {
            const std::vector<std::string> extra(args.begin() + static_cast<std::ptrdiff_t>(previous.size()),
                                                 args.end());
            text += (text.empty() ? "[" : " [") + joined(extra, " ");
            ++open;
        } else {
            if (f > 0) groups.push_back(text + std::string(open, ']'));
            text = joined(args, " ");
            open = 0;
        }
        previous = std::move(args);
    }
    if (!forms.empty()) groups.push_back(text + std::string(open, ']'));
    return joined(groups, " | ");
}

StepRow step(std::string name, std::vector<Form> forms, StepRun run, std::string help, StepCheck check) {
    StepRow row{std::move(name), "", std::move(forms), std::move(run), std::move(help), std::move(check)};
    row.usage = usageOf(row.forms);
    return row;
}

bool onlyLooks(const StepRow& row) {
    return row.looksOnly || row.name.starts_with("expect ") || row.name.starts_with("show ");
}

std::optional<double> parseScenarioNumber(const std::string& word) {
    if (word.empty()) return std::nullopt;
    const char* begin = word.data();
    if (*begin == '+') ++begin;  // from_chars takes no plus sign
    double value = 0;
    auto [end, error] = std::from_chars(begin, word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double StepCall::number(size_t i) const {
    return parseScenarioNumber(text(i)).value_or(0);
}

std::vector<std::string> StepCall::texts(size_t from) const {
    std::vector<std::string> out;
    for (size_t i = from; i < args.size(); ++i) out.push_back(args[i].text);
    return out;
}

void failExpectation(const std::string& expected, const std::string& found) {
    throw ScenarioFailure("expected " + expected + ", found " + found);
}

Scenario parseScenario(const std::string& text, const std::string& fileName, const StepTable& table) {
    std::map<std::string, const StepRow*> byName;
    for (const StepRow& row : table) byName.emplace(row.name, &row);
    Scenario scenario;
    scenario.fileName = fileName;
    std::map<const StepRow*, int> onceLines;
    int lineNumber = 0;
    // Editors that save UTF-8 with a byte-order mark put it before the first line.
    size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.find('\0') != std::string::npos)
            throw ScenarioScriptError(lineNumber, "a NUL byte: a script is plain text");
        std::vector<ScenarioToken> tokens = tokenize(line, lineNumber);
        if (tokens.empty()) continue;
        if (tokens[0].quoted) throw ScenarioScriptError(lineNumber, "a step name is never quoted");
        const StepRow* row = nullptr;
        size_t nameWords = 1;
        if (tokens.size() >= 2 && !tokens[1].quoted) {
            if (auto it = byName.find(tokens[0].text + " " + tokens[1].text); it != byName.end()) {
                row = it->second;
                nameWords = 2;
            }
        }
        if (!row) {
            auto it = byName.find(tokens[0].text);
            if (it == byName.end()) {
                // A two-word step ("expect chips") is reported with its second word.
                std::string name = tokens[0].text;
                auto next = byName.lower_bound(name + " ");
                if (tokens.size() >= 2 && next != byName.end() && next->first.starts_with(name + " "))
                    name += " " + tokens[1].text;
                throw ScenarioScriptError(lineNumber, "unknown step \"" + name + "\"");
            }
            row = it->second;
        }
        StepCall call;
        call.row = row;
        call.line = lineNumber;
        call.args.assign(tokens.begin() + static_cast<std::ptrdiff_t>(nameWords), tokens.end());
        call.form = matchForm(*row, call.args, lineNumber);
        if (row->check) {
            if (auto error = row->check(call))
                throw ScenarioScriptError(lineNumber, row->name + ": " + *error);
        }
        if (row->once) {
            if (auto [it, fresh] = onceLines.emplace(row, lineNumber); !fresh)
                throw ScenarioScriptError(lineNumber, row->name + ": only once per script (already at line " +
                                                          std::to_string(it->second) + ")");
        }
        scenario.steps.push_back(std::move(call));
    }
    return scenario;
}

}  // namespace qv
