#include "model/LSAppInfo.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <charconv>

#include "platform/TextServices.h"

namespace qv {

namespace {

bool isWhiteSpace(UChar32 c) {
    return c >= 0 && u_isUWhiteSpace(c);
}

bool isNumeric(UChar32 c) {
    return c >= 0 && u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

const uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

// Walks the code points from the front while `keep` holds; an ill-formed sequence reads as a
// negative value. Returns the byte offset where it stopped.
template <class Keep>
size_t skipForward(std::string_view text, Keep&& keep) {
    const uint8_t* s = bytesOf(text);
    int64_t length = static_cast<int64_t>(text.size()), i = 0;
    while (i < length) {
        int64_t next = i;
        UChar32 c;
        U8_NEXT(s, next, length, c);
        if (!keep(c)) break;
        i = next;
    }
    return static_cast<size_t>(i);
}

std::string_view trimmed(std::string_view text) {
    const uint8_t* s = bytesOf(text);
    int64_t length = static_cast<int64_t>(text.size()), i = 0;
    std::optional<int64_t> first;
    int64_t end = 0;
    while (i < length) {
        int64_t begin = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (isWhiteSpace(c)) continue;
        if (!first) first = begin;
        end = i;
    }
    if (!first) return {};
    return text.substr(static_cast<size_t>(*first), static_cast<size_t>(end - *first));
}

template <class Int>
std::optional<Int> decimal(std::string_view text) {
    Int value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

LSAppInfo::LSAppInfo(Processes& processes, std::string path, Seconds timeout)
    : lsappinfoPath(std::move(path)),
      listHeaderRegex(R"re(^\s*\d+\)\s+"[^"]*"\s+ASN:([^:]+):\s*$)re"),
      bundleIDRegex(R"re(bundleID="([^"]+)")re"),
      pidRegex(R"re(\bpid\s*=\s*([0-9]+)\b)re"),
      asnRegex(R"re(ASN:([^:]+):)re"),
      processes_(processes),
      timeout_(timeout) {}

std::optional<LSAppInfoResult> LSAppInfo::runLSAppInfo(const std::vector<std::string>& arguments) const {
    ProcessResult run = processes_.run(lsappinfoPath, arguments, timeout_);
    if (!run.launched || run.timedOut || run.outputLimitExceeded) return std::nullopt;
    LSAppInfoResult result;
    result.arguments = arguments;
    result.exitStatus = run.exitStatus;
    result.standardOutputDecoded = isValidUTF8(run.standardOutput);
    if (result.standardOutputDecoded) result.standardOutput = std::move(run.standardOutput);
    if (isValidUTF8(run.standardError)) result.standardError = std::move(run.standardError);
    result.errCode = parseLSAppInfoErrorCode(result.standardError);
    return result;
}

std::vector<AppRecord> LSAppInfo::parseListOutput(std::string_view text) const {
    struct InProgress {
        std::optional<std::string> asn;
        std::optional<std::string> bundleID;
        std::optional<int64_t> pid;
    };
    std::vector<AppRecord> records;
    InProgress current;
    TextServices::RegularExpression::Matcher header(listHeaderRegex), bundleID(bundleIDRegex), pid(pidRegex);
    auto finish = [&] {
        if (current.asn && current.bundleID && current.pid) {
            records.push_back(AppRecord{*current.asn, *current.bundleID, *current.pid});
        }
    };

    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        // Each pattern needs a literal text of its own: a line without it cannot match, and is not
        // searched, so that a flood of other lines (blank ones, say) costs little.
        auto has = [&](std::string_view literal) { return line.find(literal) != std::string_view::npos; };
        std::optional<std::string_view> asn;
        if (has("ASN:")) asn = header.firstCapture(line);
        if (asn) {
            finish();
            current = InProgress{normalizedASN(*asn), std::nullopt, std::nullopt};
        } else if (current.asn) {
            if (!current.bundleID && has("bundleID=\"")) {
                if (auto id = bundleID.firstCapture(line)) current.bundleID = std::string(*id);
            }
            if (!current.pid && has("pid")) {
                if (auto digits = pid.firstCapture(line)) current.pid = decimal<int64_t>(*digits);
            }
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    finish();
    return records;
}

std::set<std::string> LSAppInfo::parseFindOutputASNs(std::string_view text) const {
    std::set<std::string> asns;
    for (const std::string& capture : allCaptures(text, asnRegex)) asns.insert(normalizedASN(capture));
    return asns;
}

std::optional<int64_t> LSAppInfo::parseLSAppInfoErrorCode(std::string_view text) {
    size_t at = text.find("err=");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(at + 4);
    size_t runEnd = skipForward(rest, [](UChar32 c) { return c == '-' || isNumeric(c); });
    // Only an optional leading minus and ASCII digits read as a number; any other numeric
    // character in the run makes it no number at all.
    return decimal<int64_t>(rest.substr(0, runEnd));
}

std::vector<std::string> LSAppInfo::allCaptures(std::string_view text,
                                                const TextServices::RegularExpression& regex) {
    std::vector<std::string> out;
    for (std::string_view capture : TextServices::RegularExpression::Matcher(regex).captures(text)) {
        out.emplace_back(capture);
    }
    return out;
}

std::string LSAppInfo::normalizedASN(std::string_view text) {
    std::string_view s = trimmed(text);
    if (size_t cut = s.find("-\""); cut != std::string_view::npos) s = s.substr(0, cut);
    size_t first = s.find_first_not_of(':');
    if (first == std::string_view::npos) return {};
    size_t last = s.find_last_not_of(':');
    return std::string(s.substr(first, last - first + 1));
}

bool LSAppInfo::isValidUTF8(std::string_view bytes) {
    return TextServices::isValidUTF8(bytes);
}

}  // namespace qv
