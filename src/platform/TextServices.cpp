#include "platform/TextServices.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <map>

namespace qv {

namespace {

icu::UnicodeString fromUTF8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUTF8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

}  // namespace

bool TextServices::isValidUTF8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int64_t>(bytes.size());
    for (int64_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

std::string TextServices::fromUTF16(std::u16string_view units) {
    return toUTF8(icu::UnicodeString(units.data(), static_cast<int32_t>(units.size())));
}

std::string TextServices::trimmingWhitespaceAndNewlines(std::string_view text) {
    icu::UnicodeString s = fromUTF8(text);
    int32_t start = 0, end = s.length();
    while (start < end && u_isUWhiteSpace(s.char32At(start))) start = s.moveIndex32(start, 1);
    while (end > start) {
        int32_t previous = s.moveIndex32(end, -1);
        if (!u_isUWhiteSpace(s.char32At(previous))) break;
        end = previous;
    }
    return toUTF8(icu::UnicodeString(s, start, end - start));
}

std::string TextServices::uppercased(std::string_view text) {
    icu::UnicodeString s = fromUTF8(text);
    s.toUpper(icu::Locale::getRoot());
    return toUTF8(s);
}

namespace {

bool isPlainASCII(std::string_view text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) return false;
    }
    return true;
}

// Full- and half-width forms become their ordinary characters; nothing else changes.
icu::UnicodeString foldingWidth(const icu::UnicodeString& s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfkd = icu::Normalizer2::getNFKDInstance(status);
    icu::UnicodeString out;
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        i = s.moveIndex32(i, 1);
        const int32_t type = u_getIntPropertyValue(c, UCHAR_DECOMPOSITION_TYPE);
        icu::UnicodeString decomposed;
        if (U_SUCCESS(status) && (type == U_DT_WIDE || type == U_DT_NARROW) &&
            nfkd->getDecomposition(c, decomposed)) {
            out.append(decomposed);
        } else {
            out.append(c);
        }
    }
    return out;
}

// Decomposed, without nonspacing marks, composed again.
icu::UnicodeString foldingDiacritics(const icu::UnicodeString& s) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return s;
    icu::UnicodeString decomposed = nfd->normalize(s, status);
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i = decomposed.moveIndex32(i, 1);
        if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
    }
    icu::UnicodeString composed = nfc->normalize(bare, status);
    return U_SUCCESS(status) ? composed : bare;
}

}  // namespace

std::string TextServices::foldedForSearch(std::string_view text, const std::string& localeID) {
    if (isPlainASCII(text)) {
        std::string out(text);
        for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    }
    icu::UnicodeString s = foldingWidth(fromUTF8(text));
    s.foldCase(U_FOLD_CASE_DEFAULT);
    s = foldingDiacritics(s);
    s.toLower(icu::Locale(localeID.c_str()));
    return toUTF8(s);
}

size_t TextServices::graphemeCount(std::string_view text) {
    if (isPlainASCII(text)) return text.size();
    thread_local std::unique_ptr<icu::BreakIterator> characters;
    UErrorCode status = U_ZERO_ERROR;
    if (!characters)
        characters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    icu::UnicodeString s = fromUTF8(text);
    if (!characters || U_FAILURE(status)) return static_cast<size_t>(s.countChar32());
    characters->setText(s);
    size_t count = 0;
    for (int32_t p = characters->next(); p != icu::BreakIterator::DONE; p = characters->next()) ++count;
    return count;
}

std::string TextServices::droppingLastCharacter(std::string_view text) {
    if (text.empty()) return {};
    if (isPlainASCII(text)) return std::string(text.substr(0, text.size() - 1));
    thread_local std::unique_ptr<icu::BreakIterator> characters;
    UErrorCode status = U_ZERO_ERROR;
    if (!characters)
        characters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    icu::UnicodeString s = fromUTF8(text);
    if (!characters || U_FAILURE(status)) return toUTF8(s.tempSubString(0, s.moveIndex32(s.length(), -1)));
    characters->setText(s);
    const int32_t start = characters->preceding(s.length());
    return toUTF8(s.tempSubString(0, start == icu::BreakIterator::DONE ? 0 : start));
}

std::vector<std::string> TextServices::letterAndNumberRuns(std::string_view text) {
    std::vector<std::string> runs;
    icu::UnicodeString s = fromUTF8(text);
    icu::UnicodeString run;
    bool inRun = false;
    auto finish = [&] {
        if (!run.isEmpty()) runs.push_back(toUTF8(run));
        run.remove();
        inRun = false;
    };
    for (int32_t i = 0; i < s.length();) {
        const UChar32 c = s.char32At(i);
        i = s.moveIndex32(i, 1);
        const uint32_t category = U_GET_GC_MASK(c);
        if (category & (U_GC_L_MASK | U_GC_N_MASK)) {
            run.append(c);
            inRun = true;
        } else if ((category & U_GC_M_MASK) && inRun) {
            run.append(c);
        } else {
            finish();
        }
    }
    finish();
    return runs;
}

// --- Regular expressions ---

struct TextServices::RegularExpression::Compiled {
    std::unique_ptr<icu::RegexPattern> pattern;
};

TextServices::RegularExpression::RegularExpression(std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(fromUTF8(pattern), 0, parseError, status));
    if (U_SUCCESS(status) && compiled) pattern_ = std::make_unique<Compiled>(Compiled{std::move(compiled)});
}

TextServices::RegularExpression::~RegularExpression() = default;

std::string TextServices::RegularExpression::replacingMatches(std::string_view text,
                                                              std::string_view replacement) const {
    if (!pattern_) return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input = fromUTF8(text);
    std::unique_ptr<icu::RegexMatcher> matcher(pattern_->pattern->matcher(input, status));
    if (U_FAILURE(status) || !matcher) return std::string(text);
    // The replacement is literal: escape what the template syntax would read.
    const icu::UnicodeString raw = fromUTF8(replacement);
    icu::UnicodeString literal;
    for (int32_t i = 0; i < raw.length(); ++i) {
        const char16_t c = raw.charAt(i);
        if (c == u'$' || c == u'\\') literal.append(u'\\');
        literal.append(c);
    }
    icu::UnicodeString out = matcher->replaceAll(literal, status);
    return U_SUCCESS(status) ? toUTF8(out) : std::string(text);
}

namespace {
std::atomic<uint64_t> matchersMadeCount{0};
}  // namespace

uint64_t TextServices::RegularExpression::matchersMade() {
    return matchersMadeCount.load(std::memory_order_relaxed);
}

struct TextServices::RegularExpression::Matcher::State {
    std::unique_ptr<icu::RegexMatcher> matcher;
    UText* input = nullptr;
    ~State() { utext_close(input); }
};

TextServices::RegularExpression::Matcher::Matcher(const RegularExpression& expression)
    : state_(std::make_unique<State>()) {
    if (expression.pattern_) {
        UErrorCode status = U_ZERO_ERROR;
        state_->matcher.reset(expression.pattern_->pattern->matcher(status));
        if (U_FAILURE(status)) state_->matcher.reset();
    }
    matchersMadeCount.fetch_add(1, std::memory_order_relaxed);
}

TextServices::RegularExpression::Matcher::~Matcher() = default;

// Calls `onCapture` with group 1 of each match in turn until it returns false. The text is read in
// place as UTF-8, so match positions are byte offsets into it.
template <class F>
void TextServices::RegularExpression::Matcher::search(std::string_view text, F&& onCapture) {
    if (!state_->matcher) return;
    UErrorCode status = U_ZERO_ERROR;
    state_->input = utext_openUTF8(state_->input, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status)) return;
    icu::RegexMatcher& matcher = *state_->matcher;
    matcher.reset(state_->input);
    while (matcher.find(status) && U_SUCCESS(status)) {
        if (matcher.groupCount() < 1) continue;
        UErrorCode groupStatus = U_ZERO_ERROR;
        int64_t start = matcher.start64(1, groupStatus);
        int64_t end = matcher.end64(1, groupStatus);
        if (U_FAILURE(groupStatus) || start < 0 || end < start || static_cast<uint64_t>(end) > text.size()) {
            continue;  // no range that maps back onto the text: no match
        }
        if (!onCapture(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)))) break;
    }
}

std::optional<std::string_view> TextServices::RegularExpression::Matcher::firstCapture(
    std::string_view text) {
    std::optional<std::string_view> found;
    search(text, [&](std::string_view capture) {
        found = capture;
        return false;
    });
    return found;
}

std::vector<std::string_view> TextServices::RegularExpression::Matcher::captures(std::string_view text) {
    std::vector<std::string_view> out;
    search(text, [&](std::string_view capture) {
        out.push_back(capture);
        return true;
    });
    return out;
}

// --- Collation ---

namespace {

// One collator per locale and thread: collators are not shared between threads.
icu::Collator* caseInsensitiveCollator(const std::string& localeID) {
    thread_local std::map<std::string, std::unique_ptr<icu::Collator>> collators;
    auto it = collators.find(localeID);
    if (it == collators.end()) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(
            icu::Collator::createInstance(icu::Locale(localeID.c_str()), status));
        if (U_FAILURE(status)) c.reset();
        if (c) c->setStrength(icu::Collator::SECONDARY);
        it = collators.emplace(localeID, std::move(c)).first;
    }
    return it->second.get();
}

}  // namespace

int TextServices::compareCaseInsensitive(std::string_view a, std::string_view b,
                                         const std::string& localeID) {
    icu::Collator* collator = caseInsensitiveCollator(localeID);
    if (!collator) return a < b ? -1 : (b < a ? 1 : 0);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult r =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

std::string TextServices::caseInsensitiveSortKey(std::string_view text, const std::string& localeID) {
    icu::Collator* collator = caseInsensitiveCollator(localeID);
    if (!collator) return std::string(text);
    icu::UnicodeString s = fromUTF8(text);
    const int32_t size = collator->getSortKey(s, nullptr, 0);
    std::string key(static_cast<size_t>(std::max(0, size)), '\0');
    collator->getSortKey(s, reinterpret_cast<uint8_t*>(key.data()), size);
    if (!key.empty() && key.back() == '\0') key.pop_back();  // the terminator
    return key;
}

}  // namespace qv
