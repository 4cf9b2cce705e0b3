#include "platform/TextServices.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

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

}  // namespace qv
