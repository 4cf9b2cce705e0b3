#include "platform/ui/TextMetrics.h"

#include <array>
#include <cmath>

namespace qv::textmetrics {

namespace {

// Advances of the printable ASCII characters, from space (32) to tilde (126), in ems.
constexpr std::array<double, 95> kAscii = {
    0.28, 0.28, 0.36, 0.56, 0.56, 0.89, 0.67, 0.19, 0.33, 0.33, 0.39, 0.58, 0.28, 0.33, 0.28, 0.28,  // ' '../
    0.56, 0.56, 0.56, 0.56, 0.56, 0.56, 0.56, 0.56, 0.56, 0.56,                                      // 0-9
    0.28, 0.28, 0.58, 0.58, 0.58, 0.56, 1.02,                                                        // :..@
    0.67, 0.67, 0.72, 0.72, 0.67, 0.61, 0.78, 0.72, 0.28, 0.50, 0.67, 0.56, 0.83,                    // A-M
    0.72, 0.78, 0.67, 0.78, 0.72, 0.67, 0.61, 0.72, 0.67, 0.94, 0.67, 0.67, 0.61,                    // N-Z
    0.28, 0.28, 0.28, 0.47, 0.56, 0.33,                                                              // [..`
    0.56, 0.56, 0.50, 0.56, 0.56, 0.28, 0.56, 0.56, 0.22, 0.22, 0.50, 0.22, 0.83,                    // a-m
    0.56, 0.56, 0.56, 0.56, 0.33, 0.50, 0.28, 0.56, 0.50, 0.72, 0.50, 0.50, 0.50,                    // n-z
    0.33, 0.26, 0.33, 0.58,                                                                          // {..~
};

double weightFactor(FontWeight w) {
    switch (w) {
        case FontWeight::ultraLight:
            return 0.94;
        case FontWeight::thin:
            return 0.95;
        case FontWeight::light:
            return 0.97;
        case FontWeight::regular:
            return 1.0;
        case FontWeight::medium:
            return 1.03;
        case FontWeight::semibold:
            return 1.06;
        case FontWeight::bold:
            return 1.09;
        case FontWeight::heavy:
            return 1.12;
        case FontWeight::black:
            return 1.15;
    }
    return 1.0;
}

double ems(char32_t c) {
    if (c >= 32 && c <= 126) return kAscii[c - 32];
    if (c == 0x2026) return 1.0;                                                                // ellipsis
    if ((c >= 0x0300 && c <= 0x036F) || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F)) return 0;  // combining
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || c >= 0x1F300) {
        return 1.0;  // wide: CJK, full-width forms, pictographs
    }
    if (c >= 0x2190 && c <= 0x23FF) return 0.84;  // arrows and technical symbols (modifier keys)
    return 0.6;
}

// The code point starting at `i`, and where the next one starts; malformed bytes decode one at a
// time as the replacement character.
char32_t decodeAt(std::string_view s, size_t& i) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + size_t(len) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = true;
    for (int k = 1; k < len; ++k) {
        auto cb = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((cb & 0xC0) != 0x80) ok = false;
        c = (c << 6) | (cb & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed too: decoding them would
    // let "\xC0\xBC" pass for '<'.
    static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (c < kShortest[len] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)) ok = false;
    if (!ok) {
        ++i;
        return 0xFFFD;
    }
    i += size_t(len);
    return c;
}

}  // namespace

std::vector<char32_t> codePoints(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) out.push_back(decodeAt(s, i));
    return out;
}

std::string encode(const std::vector<char32_t>& cps, size_t from, size_t count) {
    std::string out;
    size_t end = count == std::string::npos ? cps.size() : std::min(cps.size(), from + count);
    for (size_t i = from; i < end; ++i) {
        char32_t c = cps[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

double advance(char32_t c, const Font& font) {
    if (font.design == FontDesign::monospaced) return ems(c) == 0 ? 0 : 0.6 * font.size;
    double design = font.design == FontDesign::rounded ? 1.01 : 1.0;
    return ems(c) * font.size * weightFactor(font.weight) * design;
}

double width(std::string_view utf8, const Font& font, double tracking) {
    double w = 0;
    // Measured on every layout of every text: decoded in place, without a copy.
    for (size_t i = 0; i < utf8.size();) w += advance(decodeAt(utf8, i), font) + tracking;
    return w;
}

double lineHeight(const Font& font) {
    return std::ceil(font.size * 1.2);
}

Line truncateTail(std::string_view text, const Font& font, double maxWidth, double tracking) {
    double full = width(text, font, tracking);
    if (full <= maxWidth + 1e-9) return {std::string(text), full, false};
    auto cps = codePoints(text);
    double ellipsis = width(kEllipsis, font, tracking);
    double w = 0;
    size_t keep = 0;
    while (keep < cps.size()) {
        double next = advance(cps[keep], font) + tracking;
        if (w + next + ellipsis > maxWidth + 1e-9) break;
        w += next;
        ++keep;
    }
    // No trailing blank before the ellipsis.
    while (keep > 0 && cps[keep - 1] == U' ') {
        --keep;
        w -= advance(U' ', font) + tracking;
    }
    return {encode(cps, 0, keep) + std::string(kEllipsis), w + ellipsis, true};
}

std::vector<Line> wrap(std::string_view text, const Font& font, double maxWidth, int lineLimit,
                       double tracking) {
    std::vector<Line> lines;
    auto cps = codePoints(text);
    size_t i = 0;
    while (i < cps.size()) {
        if (lineLimit > 0 && static_cast<int>(lines.size()) == lineLimit - 1) {
            // The last allowed line takes the rest, cut at its tail.
            lines.push_back(truncateTail(encode(cps, i), font, maxWidth, tracking));
            return lines;
        }
        size_t lineStart = i, lastBreak = std::string::npos;
        double w = 0;
        size_t j = i;
        bool hardBreak = false;
        for (; j < cps.size(); ++j) {
            if (cps[j] == U'\n') {
                hardBreak = true;
                break;
            }
            double a = advance(cps[j], font) + tracking;
            if (w + a > maxWidth + 1e-9 && j > lineStart) break;
            if (cps[j] == U' ') lastBreak = j;
            w += a;
        }
        size_t end = j, next = j;
        if (hardBreak) {
            next = j + 1;
        } else if (j < cps.size() && lastBreak != std::string::npos) {
            end = lastBreak;
            next = lastBreak + 1;
        }
        std::string s = encode(cps, lineStart, end - lineStart);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        lines.push_back({s, width(s, font, tracking), false});
        i = next;
        while (!hardBreak && i < cps.size() && cps[i] == U' ') ++i;
    }
    if (lines.empty()) lines.push_back({"", 0, false});
    return lines;
}

}  // namespace qv::textmetrics
