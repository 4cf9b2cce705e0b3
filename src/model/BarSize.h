#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qv {

// The bar size preset, stored in the settings as its raw text.
enum class BarSize { small, medium, large, xl, xxl };

inline constexpr std::array<BarSize, 5> kAllBarSizes{BarSize::small, BarSize::medium, BarSize::large,
                                                     BarSize::xl, BarSize::xxl};

constexpr std::string_view rawValue(BarSize size) {
    switch (size) {
        case BarSize::small:
            return "small";
        case BarSize::medium:
            return "medium";
        case BarSize::large:
            return "large";
        case BarSize::xl:
            return "xl";
        case BarSize::xxl:
            return "xxl";
    }
    return "medium";
}

// Exact, case-sensitive match; no case for any other text.
constexpr std::optional<BarSize> barSizeFromRawValue(std::string_view text) {
    for (BarSize size : kAllBarSizes) {
        if (rawValue(size) == text) return size;
    }
    return std::nullopt;
}

// How every reader takes the stored text: an unknown size is medium.
constexpr BarSize barSizeFromSetting(std::string_view text) {
    return barSizeFromRawValue(text).value_or(BarSize::medium);
}

// The height of the bar panel, and of the strip reserved for it, in points.
constexpr double barHeight(BarSize size) {
    switch (size) {
        case BarSize::small:
            return 30;
        case BarSize::medium:
            return 36;
        case BarSize::large:
            return 44;
        case BarSize::xl:
            return 54;
        case BarSize::xxl:
            return 66;
    }
    return 36;
}

}  // namespace qv
