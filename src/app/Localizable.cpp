#include "app/Localizable.h"

#include <array>
#include <utility>

namespace qv {

std::string localized(std::string_view key) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 2> kEnglish = {{
        {"quit", "Quit"},
        {"continue", "Continue"},
    }};
    for (const auto& [k, text] : kEnglish) {
        if (k == key) return std::string(text);
    }
    return std::string(key);
}

}  // namespace qv
