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
// where no face is installed. Widths depend on the text, the font and the installed faces alone.
namespace textmetrics {

inline constexpr std::string_view kEllipsis = "\u2026";

// Unicode code points of a UTF-8 string; malformed bytes count as one replacement character each.
std::vector<char32_t> codePoints(std::string_view utf8);
std::string encode(std::span<const char32_t> cps, size_t from = 0, size_t count = std::string::npos);
inline std::string encode(const std::vector<char32_t>& cps, size_t from = 0,
                          size_t count = std::string::npos) {
    return encode(std::span<const char32_t>(cps), from, count);
}

// Controls, DEL and the line and paragraph separators: a text stands on one line, so these are
// measured and drawn as the blank that line shows in their place.
inline bool drawnAsBlank(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

double advance(char32_t c, const Font& font);
// Width of a single line; `tracking` is added after every character.
double width(std::string_view utf8, const Font& font, double tracking = 0);
double lineHeight(const Font& font);
// Whether a line reads right to left: its first strong character does. A cut Hebrew title then
// ends, on the left, with its ellipsis.
bool isRightToLeft(std::string_view utf8);
// Where a caret after the last character stands, from the line's left edge: characters stand in
// visual order, so after a right-to-left one it stands at that character's left.
double caretOffset(std::string_view utf8, const Font& font);
// What the shaped texts kept for measuring take, in bytes; bounded whatever their lengths.
size_t cachedBytes();

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
