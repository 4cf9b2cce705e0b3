#include "platform/Workspace.h"

#include <cctype>

namespace qv {

bool isValidURLString(std::string_view text) {
    if (text.empty()) return false;
    constexpr std::string_view kAllowedMarks = "-._~:/?#[]@!$&'()*+,;=";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                return false;
            }
            i += 2;
            continue;
        }
        if (c < 0x80 &&
            (std::isalnum(c) || kAllowedMarks.find(static_cast<char>(c)) != std::string_view::npos))
            continue;
        return false;
    }
    return true;
}

}  // namespace qv
