#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <map>
#include <sstream>

#include "platform/TextServices.h"
#include "scenario/Scenario.h"

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
        what += std::isinf(most) ? " of " + numberText(least) + " or more"
                                 : " from " + numberText(least) + " to " + numberText(most);
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

// An unquoted word that reads as a number the language does not take ("nan", "inf", "0x10",
// "1e400"), where another form of the step takes a number: it was meant as that number, and is
// refused as one rather than read as a text.
const Arg* meantAsNumber(const StepRow& row, size_t i, const ScenarioToken& token) {
    if (token.quoted || token.text.empty() || parseScenarioNumber(token.text)) return nullptr;
    char* end = nullptr;
    std::strtod(token.text.c_str(), &end);
    if (end != token.text.c_str() + token.text.size()) return nullptr;
    for (const Form& form : row.forms) {
        if (!runOf(form) && i < form.size() &&
            (form[i].kind == ArgKind::number || form[i].kind == ArgKind::whole))
            return &form[i];
    }
    return nullptr;
}

// How far a line's arguments go along one form: the leading arguments that fit it, and what
// stops them (a misfit, the end of the line before the form's end, or words beyond it).
struct Fit {
    enum Kind { fits, missing, misfits, extra };
    Kind kind = fits;
    size_t fitted = 0;
    std::optional<std::string> error;  // a misfit's reason
    const Arg* next = nullptr;         // the argument at the place that stopped them
};

Fit fitOf(const StepRow& row, const Form& form, const std::vector<ScenarioToken>& args) {
    const auto run = runOf(form);
    const size_t count = args.size();
    Fit fit;
    if (count > mostOf(form)) fit.kind = Fit::extra;
    if (count < fewestOf(form)) fit.kind = Fit::missing;
    // A line too short for the form is read as the form's first arguments, its run at its fewest.
    auto argAt = [&](size_t i) -> const Arg& {
        if (fit.kind == Fit::fits) return argFor(form, i, count);
        if (!run || i < *run) return form[i];
        const size_t inRun = form[*run].atLeast;
        return i < *run + inRun ? form[*run] : form[i + 1 - inRun];
    };
    const size_t checked = fit.kind == Fit::extra ? form.size() : count;
    for (; fit.fitted < checked; ++fit.fitted) {
        const Arg& arg = argAt(fit.fitted);
        const ScenarioToken& token = args[fit.fitted];
        fit.error = misfit(arg, token);
        if (!fit.error && arg.kind == ArgKind::text) {
            if (const Arg* number = meantAsNumber(row, fit.fitted, token))
                fit.error = numberMisfit(*number, token);
        }
        if (fit.error) {
            fit.kind = Fit::misfits;
            fit.next = &arg;
            return fit;
        }
    }
    if (fit.kind == Fit::missing) fit.next = &argAt(count);
    return fit;
}

// The first form the arguments fit, or the clearest reason why none does, told by the form the
// line was meant for: the one whose arguments fit furthest. A line that stops short of a form
// names what is missing; at a misfit, every form that expects a word there lends its words.
size_t matchForm(const StepRow& row, const std::vector<ScenarioToken>& args, int line) {
    std::vector<Fit> fits;
    for (size_t f = 0; f < row.forms.size(); ++f) {
        fits.push_back(fitOf(row, row.forms[f], args));
        if (fits.back().kind == Fit::fits) return f;
    }
    // Furthest first; on a tie a line that stops short before one that misfits before one too long.
    const auto rank = [](const Fit& fit) { return std::make_pair(fit.fitted, -static_cast<int>(fit.kind)); };
    const Fit best = *std::max_element(fits.begin(), fits.end(),
                                       [&](const Fit& a, const Fit& b) { return rank(a) < rank(b); });
    const std::string usage = row.name + (row.usage.empty() ? "" : " " + row.usage);
    std::string fault;
    if (best.kind == Fit::missing) {
        std::vector<Form> meant;
        std::string next = shown(*best.next);
        for (size_t f = 0; f < fits.size(); ++f) {
            if (fits[f].kind != Fit::missing || fits[f].fitted != best.fitted) continue;
            meant.push_back(row.forms[f]);
            if (shown(*fits[f].next) != next) next = "argument";
        }
        fault = "missing " + next;
        if (meant.size() < row.forms.size()) fault += " for \"" + row.name + " " + usageOf(meant) + "\"";
    } else if (best.kind == Fit::extra) {
        fault = "extra argument \"" + args[best.fitted].text + "\"";
    } else {
        fault = *best.error;
        std::vector<std::string> wordsThere;
        bool onlyWordsThere = true;
        for (const Fit& fit : fits) {
            if (fit.kind != Fit::misfits || fit.fitted != best.fitted) continue;
            onlyWordsThere = onlyWordsThere && fit.next->kind == ArgKind::word;
            for (const std::string& w : fit.next->words) {
                if (std::find(wordsThere.begin(), wordsThere.end(), w) == wordsThere.end())
                    wordsThere.push_back(w);
            }
        }
        if (onlyWordsThere && !args[best.fitted].quoted) fault = notAmong(args[best.fitted].text, wordsThere);
    }
    throw ScenarioScriptError(line, row.name + ": " + fault + "; usage: " + usage);
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
    return {number("X"), number("Y"), number("WIDTH", 0), number("HEIGHT", 0)};
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
        if (!TextServices::isValidUTF8(line))
            throw ScenarioScriptError(lineNumber, "bytes that are not UTF-8: a script is UTF-8 text");
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
