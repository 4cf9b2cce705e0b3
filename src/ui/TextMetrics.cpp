#include "ui/TextMetrics.h"

#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>

#include "ui/FontFaces.h"

namespace qv::textmetrics {

namespace {

// Where no face is installed, text is measured from this table: advances of the printable ASCII
// characters, from space (32) to tilde (126), in ems, of a proportional sans-serif face, scaled by a
// factor per weight; other characters by their kind (0.6 em for most).
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

double tableEms(char32_t c) {
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

std::string encode(std::span<const char32_t> cps, size_t from, size_t count) {
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

namespace {

double tableAdvance(char32_t c, const Font& font) {
    if (font.design == FontDesign::monospaced) return tableEms(c) == 0 ? 0 : 0.6;
    double design = font.design == FontDesign::rounded ? 1.01 : 1.0;
    return tableEms(c) * weightFactor(font.weight) * design;
}

// A text cut into clusters of glyphs, in logical order, with their advances in ems.
struct Shaped {
    Shaped(std::string_view utf8, std::pmr::memory_resource* memory)
        : text(utf8, memory), cps(memory), starts(memory), prefix(memory), safe(memory) {}

    std::pmr::string text;              // as it was asked for
    std::pmr::vector<char32_t> cps;     // the text, controls as blanks (as the pictures draw them)
    std::pmr::vector<uint32_t> starts;  // each cluster's first code point, then the text's length
    std::pmr::vector<double> prefix;    // ems before each cluster; the last is the whole width
    std::pmr::vector<uint8_t> safe;     // per cluster: cutting the text before it keeps both sides' shaping

    size_t clusters() const { return starts.size() - 1; }
    size_t bytes() const {
        return sizeof(Shaped) + text.capacity() + cps.capacity() * sizeof(char32_t) +
               starts.capacity() * sizeof(uint32_t) + prefix.capacity() * sizeof(double) + safe.capacity();
    }
    bool isBlank(size_t k) const { return cps[starts[k]] == U' '; }
};

// Left-to-right everywhere unless some character could be right-to-left.
std::vector<uint8_t> bidiLevels(std::span<const char32_t> cps) {
    std::vector<uint8_t> levels(cps.size(), 0);
    bool any = false;
    for (char32_t c : cps) any = any || c >= 0x0590;
    if (!any) return levels;
    std::vector<UChar> utf16;
    std::vector<size_t> unitOf;  // the first UTF-16 unit of each code point
    for (char32_t c : cps) {
        unitOf.push_back(utf16.size());
        if (c >= 0x10000) {
            utf16.push_back(UChar(0xD7C0 + (c >> 10)));
            utf16.push_back(UChar(0xDC00 | (c & 0x3FF)));
        } else {
            utf16.push_back(UChar(c));
        }
    }
    UErrorCode error = U_ZERO_ERROR;
    UBiDi* bidi = ubidi_openSized(int32_t(utf16.size()), 0, &error);
    // The paragraph takes the direction of its first strong character, as the system's text of
    // natural direction does; the pictures draw such a line so (isRightToLeft).
    ubidi_setPara(bidi, utf16.data(), int32_t(utf16.size()), UBIDI_DEFAULT_LTR, nullptr, &error);
    const UBiDiLevel* unitLevels = U_SUCCESS(error) ? ubidi_getLevels(bidi, &error) : nullptr;
    if (unitLevels && U_SUCCESS(error)) {
        for (size_t i = 0; i < cps.size(); ++i) levels[i] = unitLevels[unitOf[i]];
    }
    ubidi_close(bidi);
    return levels;
}

// Each character's script, characters common to scripts taking the one they stand in.
std::vector<int> scripts(std::span<const char32_t> cps) {
    std::vector<int> out(cps.size(), USCRIPT_COMMON);
    int current = USCRIPT_COMMON;
    for (size_t i = 0; i < cps.size(); ++i) {
        UErrorCode error = U_ZERO_ERROR;
        // ASCII letters are Latin and the rest of ASCII common to all scripts, without asking.
        const char32_t c = cps[i];
        const int s = c < 0x80 ? ((c | 0x20) >= U'a' && (c | 0x20) <= U'z' ? USCRIPT_LATIN : USCRIPT_COMMON)
                               : uscript_getScript(UChar32(c), &error);
        if (s != USCRIPT_COMMON && s != USCRIPT_INHERITED && U_SUCCESS(error)) {
            if (current == USCRIPT_COMMON) std::fill(out.begin(), out.begin() + long(i), s);
            current = s;
        }
        out[i] = current;
    }
    return out;
}

void shapeWithFaces(const fontfaces::FaceSet& set, Shaped& s, std::vector<double>& adv,
                    std::vector<uint8_t>& flags) {
    const size_t n = s.cps.size();
    std::vector<int> faces(n);
    int previous = fontfaces::kNoFace;
    for (size_t i = 0; i < n; ++i) previous = faces[i] = fontfaces::faceFor(set, s.cps[i], previous);
    // Blanks at the start take the face after them; a text of blanks alone, the first that has them.
    for (size_t i = n; i-- > 0;) {
        if (faces[i] != fontfaces::kFollows) continue;
        faces[i] = i + 1 < n && faces[i + 1] >= 0 ? faces[i + 1] : fontfaces::firstFaceWith(set, s.cps[i]);
    }
    // Blanks before a change of face go over to the face after them when that is the face they
    // resolve to themselves, as the renderer hands a run's trailing blanks to the next run.
    for (size_t i = 1; i < n; ++i) {
        if (faces[i] < 0 || faces[i] == faces[i - 1] || u_charType(UChar32(s.cps[i])) == U_SPACE_SEPARATOR)
            continue;
        for (size_t j = i; j-- > 0 && u_charType(UChar32(s.cps[j])) == U_SPACE_SEPARATOR &&
                           fontfaces::firstFaceWith(set, s.cps[j]) == faces[i];)
            faces[j] = faces[i];
    }
    const std::vector<uint8_t> levels = bidiLevels(s.cps);
    const std::vector<int> script = scripts(s.cps);
    for (size_t from = 0; from < n;) {
        size_t to = from + 1;
        while (to < n && faces[to] == faces[from] && levels[to] == levels[from] && script[to] == script[from]) ++to;
        if (faces[from] >= 0) {
            fontfaces::shapeRun(set, faces[from], s.cps, from, to, levels[from] % 2 == 1, adv, flags);
            flags[from] |= fontfaces::kClusterStart;
        } else {
            // No face has them: the renderer's box for each, and nothing for what is not drawn.
            for (size_t i = from; i < to; ++i) {
                if (u_hasBinaryProperty(UChar32(s.cps[i]), UCHAR_DEFAULT_IGNORABLE_CODE_POINT) && i > 0) continue;
                adv[i] = fontfaces::missingGlyphEms(s.cps[i]);
                flags[i] |= fontfaces::kClusterStart;
            }
        }
        from = to;
    }
}

// Fills `s`, whose text is set, with its code points and clusters. Every array is reserved at its
// final size first: the memory it takes is never given back one block at a time.
void shapeText(Shaped& s, const Font& font) {
    s.cps.reserve(s.text.size());
    for (size_t i = 0; i < s.text.size();) {
        const char32_t c = decodeAt(s.text, i);
        s.cps.push_back(drawnAsBlank(c) ? U' ' : c);
    }
    const size_t n = s.cps.size();
    std::vector<double> adv(n, 0);
    std::vector<uint8_t> flags(n, 0);
    if (const fontfaces::FaceSet* set = fontfaces::faceSet(font)) {
        shapeWithFaces(*set, s, adv, flags);
    } else {
        for (size_t i = 0; i < n; ++i) {
            adv[i] = tableAdvance(s.cps[i], font);
            // Marks and joiners stay with the character before them.
            if (adv[i] > 0 || i == 0) flags[i] = fontfaces::kClusterStart;
        }
    }
    const size_t clusters = size_t(std::count_if(flags.begin(), flags.end(), [](uint8_t f) {
        return (f & fontfaces::kClusterStart) != 0;
    }));
    s.starts.reserve(clusters + 1);
    s.prefix.reserve(clusters + 1);
    s.safe.reserve(clusters + 1);
    double x = 0;
    for (size_t i = 0; i < n; ++i) {
        if (flags[i] & fontfaces::kClusterStart) {
            s.starts.push_back(uint32_t(i));
            s.prefix.push_back(x);
            s.safe.push_back(!(flags[i] & fontfaces::kUnsafeBreak));
        }
        x += adv[i];
    }
    s.starts.push_back(uint32_t(n));
    s.prefix.push_back(x);
    s.safe.push_back(1);
    s.safe.front() = 1;
}

// Texts are measured again on every layout: shaped once per font and kept, up to a bound. The
// texts of one filling of the cache are laid one after another in memory of their own and let go
// together: kept among the heap's short-lived blocks, they spread every later layout's
// allocations over more and more memory, which each layout then paid for in cache misses.
class ShapedCache {
  public:
    static ShapedCache& shared() {
        // Never destroyed: a text shaped on another thread may be let go after the program's end.
        static ShapedCache* cache = new ShapedCache;
        return *cache;
    }

    std::shared_ptr<const Shaped> get(std::string_view utf8, const Font& font) {
        const Key key{tag(font), utf8};
        const size_t hash = Hash{}(key);
        std::lock_guard lock(mutex_);
        // A layout measures the same few texts again and again: the last ones asked for stay at
        // hand, where the large map's lookups missed the processor's caches.
        Recent& recent = recent_[hash % recent_.size()];
        if (recent.shaped && recent.hash == hash && recent.font == key.font && recent.shaped->text == utf8)
            return recent.shaped;
        auto it = map_->find(key);
        if (it == map_->end()) {
            // Bounded by what the texts take, not by their count: a long title takes about eighteen
            // times its length.
            if (bytes_ >= kByteBound) startOver();
            auto s = shape(utf8, font);
            bytes_ += s->bytes() + kEntryBytes;
            // The key views the text its entry holds, which lives as long as the entry.
            it = map_->emplace(Key{key.font, s->text}, std::move(s)).first;
        }
        recent = Recent{hash, key.font, it->second};
        return it->second;
    }

    size_t bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

  private:
    static constexpr size_t kByteBound = size_t(8) << 20;
    static constexpr size_t kEntryBytes = 64;  // the map's node and bucket, the count of holders

    // Memory only ever taken, given back whole when the last text shaped in it goes.
    struct Arena {
        std::pmr::monotonic_buffer_resource memory{size_t(64) * 1024};
    };

    // The shaping differs by design and weight, not by size.
    static uint16_t tag(const Font& font) {
        return uint16_t(uint16_t(font.design) << 8 | uint16_t(fontfaces::cssWeight(font.weight) / 100));
    }
    struct Key {
        uint16_t font;
        std::string_view text;
        bool operator==(const Key&) const = default;
    };
    struct Hash {
        size_t operator()(const Key& k) const { return std::hash<std::string_view>{}(k.text) * 31 + k.font; }
    };
    using Map = std::pmr::unordered_map<Key, std::shared_ptr<const Shaped>, Hash>;

    struct Recent {
        size_t hash = 0;
        uint16_t font = 0;
        std::shared_ptr<const Shaped> shaped;
    };

    ShapedCache() { startOver(); }

    // A text shaped into the arena, which it keeps while anyone holds it; only the count of its
    // holders lives on the heap, so that the arena outlasts it.
    std::shared_ptr<const Shaped> shape(std::string_view utf8, const Font& font) {
        std::pmr::polymorphic_allocator<Shaped> allocator(&arena_->memory);
        std::shared_ptr<Shaped> s(allocator.new_object<Shaped>(utf8, &arena_->memory),
                                  [arena = arena_](Shaped* p) { std::destroy_at(p); });
        shapeText(*s, font);
        return s;
    }

    // The recent texts go too: held there, they would keep the old arena for good.
    void startOver() {
        recent_ = {};
        bytes_ = 0;
        map_.reset();
        arena_ = std::make_shared<Arena>();
        map_.emplace(&arena_->memory);
        map_->reserve(8192);
    }

    std::mutex mutex_;
    std::array<Recent, 64> recent_;
    std::shared_ptr<Arena> arena_;
    std::optional<Map> map_;
    size_t bytes_ = 0;
};

std::shared_ptr<const Shaped> shaped(std::string_view utf8, const Font& font) {
    return ShapedCache::shared().get(utf8, font);
}

// Ems of clusters [a, b): the shaping of the whole text where both cuts are safe, the text between
// them shaped alone otherwise.
double rangeEms(const Shaped& s, size_t a, size_t b, const Font& font) {
    if (s.safe[a] && s.safe[b]) return s.prefix[b] - s.prefix[a];
    return shaped(encode(s.cps, s.starts[a], s.starts[b] - s.starts[a]), font)->prefix.back();
}

double rangeWidth(const Shaped& s, size_t a, size_t b, const Font& font, double tracking) {
    return rangeEms(s, a, b, font) * font.size + tracking * double(s.starts[b] - s.starts[a]);
}

}  // namespace

double advance(char32_t c, const Font& font) {
    return width(encode({c}), font);
}

bool isRightToLeft(std::string_view utf8) {
    for (char32_t c : codePoints(utf8)) {
        const UCharDirection direction = u_charDirection(UChar32(c));
        if (direction == U_LEFT_TO_RIGHT) return false;
        if (direction == U_RIGHT_TO_LEFT || direction == U_RIGHT_TO_LEFT_ARABIC) return true;
    }
    return false;
}

double caretOffset(std::string_view utf8, const Font& font) {
    if (utf8.empty()) return 0;
    const auto s = shaped(utf8, font);
    const size_t n = s->clusters();
    const std::vector<uint8_t> levels = bidiLevels(s->cps);
    std::vector<UBiDiLevel> clusterLevels(n);
    for (size_t k = 0; k < n; ++k) clusterLevels[k] = levels[s->starts[k]];
    std::vector<int32_t> logicalAt(n);
    ubidi_reorderVisual(clusterLevels.data(), int32_t(n), logicalAt.data());
    double x = 0;
    for (size_t v = 0; v < n; ++v) {
        const size_t k = size_t(logicalAt[v]);
        const double w = (s->prefix[k + 1] - s->prefix[k]) * font.size;
        if (k + 1 == n) return clusterLevels[k] % 2 == 1 ? x : x + w;
        x += w;
    }
    return x;
}

double width(std::string_view utf8, const Font& font, double tracking) {
    if (utf8.empty()) return 0;
    const auto s = shaped(utf8, font);
    return s->prefix.back() * font.size + tracking * double(s->cps.size());
}

size_t cachedBytes() {
    return ShapedCache::shared().bytes();
}

double lineHeight(const Font& font) {
    return std::ceil(font.size * 1.2);
}

Line truncateTail(std::string_view text, const Font& font, double maxWidth, double tracking) {
    double full = width(text, font, tracking);
    if (full <= maxWidth + 1e-9) return {std::string(text), full, false};
    const auto s = shaped(text, font);
    const double ellipsis = width(kEllipsis, font, tracking);
    // The most clusters whose advances leave room for the ellipsis ...
    size_t keep = 0;
    while (keep < s->clusters() && s->prefix[keep + 1] * font.size + tracking * double(s->starts[keep + 1]) +
                                           ellipsis <=
                                       maxWidth + 1e-9)
        ++keep;
    for (;; --keep) {
        // ... without a trailing blank, and fewer while the head shaped with its ellipsis does not fit.
        while (keep > 0 && s->isBlank(keep - 1)) --keep;
        std::string out = encode(s->cps, 0, s->starts[keep]) + std::string(kEllipsis);
        const double w = width(out, font, tracking);
        if (keep == 0 || w <= maxWidth + 1e-9) return {std::move(out), w, true};
    }
}

std::vector<Line> wrap(std::string_view text, const Font& font, double maxWidth, int lineLimit,
                       double tracking) {
    std::vector<Line> lines;
    const std::vector<char32_t> all = codePoints(text);
    size_t from = 0;  // the code point the next line starts at
    while (from < all.size()) {
        size_t end = from;
        while (end < all.size() && all[end] != U'\n') ++end;
        if (lineLimit > 0 && static_cast<int>(lines.size()) == lineLimit - 1) {
            // The last allowed line takes the rest, cut at its tail.
            lines.push_back(truncateTail(encode(all, from), font, maxWidth, tracking));
            return lines;
        }
        const auto s = shaped(encode(all, from, end - from), font);
        const size_t n = s->clusters();
        if (n == 0) lines.push_back({"", 0, false});
        for (size_t i = 0; i < n;) {
            // The line ends after the last word that fits (a blank at the end of a line takes no
            // room), or at the last cluster that fits when not even its first word does; it holds
            // at least one cluster. Only whole words are tried: a joined word cut short takes other
            // forms and can be wider than the whole line. Wrapped again at the width of its widest
            // line, the text keeps its lines.
            size_t stop = i;
            for (size_t k = i + 1; k <= n; ++k) {
                if (k < n && (!s->isBlank(k) || s->isBlank(k - 1))) continue;
                if (rangeWidth(*s, i, k, font, tracking) > maxWidth + 1e-9) break;
                stop = k;
            }
            if (stop == i) {
                stop = i + 1;
                while (stop < n && rangeWidth(*s, i, stop + 1, font, tracking) <= maxWidth + 1e-9) ++stop;
            }
            const size_t next = stop;
            while (stop > i && s->isBlank(stop - 1)) --stop;
            std::string line = encode(all, from + s->starts[i], s->starts[stop] - s->starts[i]);
            lines.push_back({line, width(line, font, tracking), false});
            i = next;
            while (i < n && s->isBlank(i)) ++i;
            if (i < n && lineLimit > 0 && static_cast<int>(lines.size()) == lineLimit - 1) {
                lines.push_back(truncateTail(encode(all, from + s->starts[i]), font, maxWidth, tracking));
                return lines;
            }
        }
        from = end + 1;
    }
    if (lines.empty()) lines.push_back({"", 0, false});
    return lines;
}

}  // namespace qv::textmetrics
