#include <charconv>
#include <cmath>
#include <map>

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

// Why a token does not fit an argument kind; none when it fits.
std::optional<std::string> misfit(ArgKind kind, const ScenarioToken& token) {
    switch (kind) {
        case ArgKind::text:
        case ArgKind::texts:
            return std::nullopt;
        case ArgKind::number:
            if (!token.quoted && parseScenarioNumber(token.text)) return std::nullopt;
            return "bad number \"" + token.text + "\" (a finite decimal number, unquoted)";
        case ArgKind::whole:
            // Checked here, so that reading it as an integer later can never overflow.
            if (auto n = token.quoted ? std::nullopt : parseScenarioNumber(token.text);
                n && *n == std::trunc(*n) && *n >= INT32_MIN && *n <= INT32_MAX)
                return std::nullopt;
            return "bad whole number \"" + token.text +
                   "\" (a whole number from -2147483648 to 2147483647, "
                   "unquoted)";
        case ArgKind::name:
            if (isSafeName(token.text)) return std::nullopt;
            return "unsafe name \"" + token.text +
                   "\" (use up to 100 letters, digits, '.', '_' and '-', not starting with '.')";
    }
    return std::nullopt;
}

bool countFits(const std::vector<ArgKind>& form, size_t count) {
    if (!form.empty() && form.back() == ArgKind::texts) return count + 1 >= form.size();
    return count == form.size();
}

// The first form the arguments fit, or the clearest reason why none does.
size_t matchForm(const StepRow& row, const std::vector<ScenarioToken>& args, int line) {
    std::optional<std::string> typeError;
    size_t fewest = SIZE_MAX, most = 0;
    for (size_t f = 0; f < row.forms.size(); ++f) {
        const auto& form = row.forms[f];
        const bool open = !form.empty() && form.back() == ArgKind::texts;
        fewest = std::min(fewest, open ? form.size() - 1 : form.size());
        most = std::max(most, open ? SIZE_MAX : form.size());
        if (!countFits(form, args.size())) continue;
        std::optional<std::string> error;
        for (size_t i = 0; i < args.size() && !error; ++i)
            error = misfit(form[std::min(i, form.size() - 1)], args[i]);
        if (!error) return f;
        if (!typeError) typeError = error;
    }
    const std::string usage = row.name + (row.usage.empty() ? "" : " " + row.usage);
    if (typeError) throw ScenarioScriptError(line, row.name + ": " + *typeError + "; usage: " + usage);
    const char* what = args.size() < fewest ? "missing argument"
                       : args.size() > most ? "extra argument"
                                            : "wrong arguments";
    throw ScenarioScriptError(line, row.name + ": " + what + "; usage: " + usage);
}

}  // namespace

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
