#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::symbols {

// A symbol drawn in a 24 x 24 box: strokes (round caps and joins), filled shapes (even-odd, so
// shapes inside others are cut out of them), and a short label written in its middle.
struct Drawing {
    std::string_view stroke;
    std::string_view fill;
    bool dashed = false;
    std::string label;
};

inline constexpr double kBox = 24;

// The drawing of every symbol the program names, none for any other name.
std::optional<Drawing> drawing(std::string_view name);
// What stands for a symbol without a drawing: a dotted circle round a question mark.
Drawing placeholder();

}  // namespace qv::symbols
