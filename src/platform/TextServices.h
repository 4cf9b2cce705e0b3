#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The platform's string services over UTF-8 text (ICU behind them): Unicode-aware conversions that
// every backend gives alike.
class TextServices {
  public:
    // Whether the bytes are well-formed UTF-8: no stray or cut-short sequence, overlong form,
    // surrogate or value past U+10FFFF.
    static bool isValidUTF8(std::string_view bytes);
    // UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
    static std::string fromUTF16(std::u16string_view units);
    // Without white space and line ends at either end.
    static std::string trimmingWhitespaceAndNewlines(std::string_view text);
    // Full Unicode upper-casing, independent of the user's locale ("ß" becomes "SS").
    static std::string uppercased(std::string_view text);

    // --- Searching and sorting in the user's locale (an identifier such as "en_US") ---
    // folding(options: [.caseInsensitive, .diacriticInsensitive, .widthInsensitive], locale:), then
    // lowercased(with:): case folded, diacritics dropped (decomposed, nonspacing marks removed,
    // composed again), full- and half-width forms made ordinary (no other compatibility folds),
    // then lower-cased by the locale's rules.
    static std::string foldedForSearch(std::string_view text, const std::string& localeID);
    // User-perceived characters (extended grapheme clusters), as a character break iterator counts.
    static size_t graphemeCount(std::string_view text);
    // The text without its last user-perceived character (a flag, an emoji with its modifiers, a
    // letter with its marks), as String.removeLast() leaves it.
    static std::string droppingLastCharacter(std::string_view text);
    // The maximal runs of letters and numbers (general categories L and N; a combining mark stays
    // with the character before it); everything else separates them.
    static std::vector<std::string> letterAndNumberRuns(std::string_view text);

    // A regular expression of the platform's syntax (NSRegularExpression), compiled once; safe to
    // use from several threads. The engine keeps its backtracking state on the heap, so a long run of
    // one character class cannot exhaust the stack.
    class RegularExpression {
      public:
        // An invalid pattern gives an expression that matches nothing.
        explicit RegularExpression(std::string_view pattern);
        ~RegularExpression();
        RegularExpression(const RegularExpression&) = delete;
        RegularExpression& operator=(const RegularExpression&) = delete;
        bool isValid() const { return pattern_ != nullptr; }
        // stringByReplacingMatches(in:range: whole text, withTemplate:) with a literal replacement.
        std::string replacingMatches(std::string_view text, std::string_view replacement) const;

        // A matcher of the expression, made once and reset for each text it searches: making one
        // costs far more than a search of a short line. One thread at a time. The text is read in
        // place as UTF-8: bytes that are not UTF-8 read as replacement characters and cannot break a
        // search, and what it finds are pieces of the text.
        class Matcher {
          public:
            explicit Matcher(const RegularExpression& expression);
            ~Matcher();
            Matcher(const Matcher&) = delete;
            Matcher& operator=(const Matcher&) = delete;

            // Group 1 of the first match; absent without a match or a usable group 1.
            std::optional<std::string_view> firstCapture(std::string_view text);
            // Group 1 of every match, in order.
            std::vector<std::string_view> captures(std::string_view text);

          private:
            template <class F>
            void search(std::string_view text, F&& onCapture);
            struct State;
            std::unique_ptr<State> state_;
        };

        // How many matchers all expressions have made so far, in every thread.
        static uint64_t matchersMade();

      private:
        struct Compiled;
        std::unique_ptr<Compiled> pattern_;
    };

    // localizedCaseInsensitiveCompare: the locale's collation at secondary strength (case is
    // ignored, accents are not). One collator per locale and thread.
    static int compareCaseInsensitive(std::string_view a, std::string_view b, const std::string& localeID);
    // A key whose byte order is that comparison's order, for sorting many texts.
    static std::string caseInsensitiveSortKey(std::string_view text, const std::string& localeID);
};

}  // namespace qv
