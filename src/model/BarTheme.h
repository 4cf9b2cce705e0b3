#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qv {

// The look of the dark bar.
enum class BarTheme { frosted, longhorn, aero };

inline constexpr std::array<BarTheme, 3> kAllBarThemes{BarTheme::frosted, BarTheme::longhorn, BarTheme::aero};

constexpr std::string_view rawValue(BarTheme theme) {
    switch (theme) {
        case BarTheme::frosted:
            return "frosted";
        case BarTheme::longhorn:
            return "longhorn";
        case BarTheme::aero:
            return "aero";
    }
    return "frosted";
}

constexpr std::optional<BarTheme> barThemeFromRawValue(std::string_view text) {
    for (BarTheme theme : kAllBarThemes) {
        if (rawValue(theme) == text) return theme;
    }
    return std::nullopt;
}

// The theme a user who never picked one gets, by the running system's major version.
constexpr BarTheme defaultBarTheme(int operatingSystemMajorVersion) {
    return operatingSystemMajorVersion == 26 ? BarTheme::longhorn : BarTheme::frosted;
}

}  // namespace qv
