#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class FontWeight { ultraLight, thin, light, regular, medium, semibold, bold, heavy, black };
enum class FontDesign { standard, rounded, monospaced };

struct Font {
    double size = 13;
    FontWeight weight = FontWeight::regular;
    FontDesign design = FontDesign::standard;

    static Font system(double size, FontWeight weight = FontWeight::regular,
                       FontDesign design = FontDesign::standard) {
        return {size, weight, design};
    }
    friend bool operator==(const Font&, const Font&) = default;
};

// Text measured as the pictures draw it: each character in the installed face that draws it, at
// its weight, shaped by HarfBuzz as the viewer shapes it (FontFaces.h); a fixed table stands in
// where the pictures' first family is not installed. Widths depend on the text and font alone.
namespace textmetrics {

inline constexpr std::string_view kEllipsis = "\u2026";

// Unicode code points of a UTF-8 string; malformed bytes count as one replacement character each.
std::vector<char32_t> codePoints(std::string_view utf8);
std::string encode(std::span<const char32_t> cps, size_t from = 0, size_t count = std::string::npos);
inline std::string encode(const std::vector<char32_t>& cps, size_t from = 0,
                          size_t count = std::string::npos) {
    return encode(std::span<const char32_t>(cps), from, count);
}

double advance(char32_t c, const Font& font);
// Width of a single line; `tracking` is added after every character.
double width(std::string_view utf8, const Font& font, double tracking = 0);
double lineHeight(const Font& font);
// Whether a line reads right to left: its first strong character does. A cut Hebrew title then
// ends, on the left, with its ellipsis.
bool isRightToLeft(std::string_view utf8);

struct Line {
    std::string text;
    double width = 0;
    bool truncated = false;
};
// The longest head of `text` that, followed by an ellipsis, fits `maxWidth`; the text itself when it
// fits. Nothing fits below the width of the ellipsis: the result is then the ellipsis alone.
Line truncateTail(std::string_view text, const Font& font, double maxWidth, double tracking = 0);
// Greedy word wrap within `maxWidth`; a word is broken between clusters when wider than the line.
// With a line limit the last line kept is truncated at its tail when text remains.
std::vector<Line> wrap(std::string_view text, const Font& font, double maxWidth, int lineLimit = 0,
                       double tracking = 0);

}  // namespace textmetrics
}  // namespace qv
