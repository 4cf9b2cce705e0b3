#pragma once

#include <string>
#include <string_view>

namespace qv {

// The platform's string services over UTF-8 text (ICU behind them): Unicode-aware conversions that
// every backend gives alike.
class TextServices {
  public:
    // UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
    static std::string fromUTF16(std::u16string_view units);
    // Without white space and line ends at either end.
    static std::string trimmingWhitespaceAndNewlines(std::string_view text);
    // Full Unicode upper-casing, independent of the user's locale ("ß" becomes "SS").
    static std::string uppercased(std::string_view text);
};

}  // namespace qv
