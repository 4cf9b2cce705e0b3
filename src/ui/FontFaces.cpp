#include "ui/FontFaces.h"

#include "ui/SvgRenderer.h"

#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <unicode/uchar.h>

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

namespace qv::fontfaces {

namespace {

struct Face {
    hb_font_t* font = nullptr;
    double upem = 1000;
    FcCharSet* charset = nullptr;
    std::string file;

    Face() = default;
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
    ~Face() {
        hb_font_destroy(font);
        if (charset) FcCharSetDestroy(charset);
    }
};

}  // namespace

class FaceSet {
  public:
    std::vector<const Face*> faces;
    std::array<int, 128> ascii{};  // the face of each ASCII character, looked up once
};

namespace {

std::mutex gMutex;

// Faces are loaded once per file and kept for the life of the process, like the renderer's cache.
const Face* loadFace(const std::string& file, int index, FcCharSet* charset) {
    static std::map<std::pair<std::string, int>, std::unique_ptr<Face>> loaded;
    auto& slot = loaded[{file, index}];
    if (!slot) {
        hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
        if (!blob) return nullptr;
        hb_face_t* face = hb_face_create(blob, unsigned(index));
        hb_blob_destroy(blob);
        if (hb_face_get_glyph_count(face) == 0) {
            hb_face_destroy(face);
            return nullptr;
        }
        slot = std::make_unique<Face>();
        slot->upem = hb_face_get_upem(face);
        slot->font = hb_font_create(face);
        hb_font_make_immutable(slot->font);
        hb_face_destroy(face);
        slot->charset = FcCharSetCopy(charset);
        slot->file = file;
    }
    return slot.get();
}

// The faces fontconfig sorts for the families and weight, as Pango asks it for a font set.
std::unique_ptr<FaceSet> matchFaces(const char* families, int weight) {
    if (!FcInit()) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    std::string_view list = families;
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view name = list.substr(0, comma);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(std::string(name).c_str()));
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(weight));
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result);
    auto set = std::make_unique<FaceSet>();
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
        FcChar8* file = nullptr;
        FcCharSet* charset = nullptr;
        int index = 0;
        if (FcPatternGetString(sorted->fonts[i], FC_FILE, 0, &file) != FcResultMatch ||
            FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch)
            continue;
        FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &index);
        if (const Face* f = loadFace(reinterpret_cast<const char*>(file), index, charset)) set->faces.push_back(f);
    }
    if (sorted) FcFontSetDestroy(sorted);
    FcPatternDestroy(pattern);
    // Whichever faces fontconfig gives for the list are the ones the viewer draws with, the first
    // family installed or not.
    if (set->faces.empty()) return nullptr;
    for (char32_t c = 0; c < 128; ++c) {
        set->ascii[c] = kNoFace;
        for (size_t f = 0; f < set->faces.size() && set->ascii[c] == kNoFace; ++f)
            if (FcCharSetHasChar(set->faces[f]->charset, c)) set->ascii[c] = int(f);
    }
    return set;
}

// Blanks, controls, format characters and variation selectors never choose a face of their own.
bool keepsFace(char32_t c) {
    switch (u_charType(UChar32(c))) {
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_SURROGATE:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
            return true;
        case U_SPACE_SEPARATOR:
            return c != 0x1680;
        default:
            return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
    }
}

}  // namespace

const char* familiesFor(FontDesign design) {
    return design == FontDesign::monospaced ? SvgRenderer::kMonospacedFonts : SvgRenderer::kSansFonts;
}

int cssWeight(FontWeight w) {
    switch (w) {
        case FontWeight::ultraLight:
            return 200;
        case FontWeight::thin:
            return 100;
        case FontWeight::light:
            return 300;
        case FontWeight::regular:
            return 400;
        case FontWeight::medium:
            return 500;
        case FontWeight::semibold:
            return 600;
        case FontWeight::bold:
            return 700;
        case FontWeight::heavy:
            return 800;
        case FontWeight::black:
            return 900;
    }
    return 400;
}

const FaceSet* faceSet(const Font& font) {
    // One set per family list and weight, matched on first use and kept.
    static std::array<std::array<std::unique_ptr<FaceSet>, 10>, 2> sets;
    static std::array<std::array<bool, 10>, 2> matched{};
    const int design = font.design == FontDesign::monospaced ? 1 : 0;
    const int weight = cssWeight(font.weight) / 100;
    std::lock_guard lock(gMutex);
    if (!matched[design][weight]) {
        sets[design][weight] = matchFaces(familiesFor(font.design), weight * 100);
        matched[design][weight] = true;
    }
    return sets[design][weight].get();
}

int firstFaceWith(const FaceSet& set, char32_t c) {
    if (c < 128) return set.ascii[c];
    for (size_t f = 0; f < set.faces.size(); ++f)
        if (FcCharSetHasChar(set.faces[f]->charset, c)) return int(f);
    return kNoFace;
}

int faceFor(const FaceSet& set, char32_t c, int previous) {
    if (c > ' ' && c < 127) return set.ascii[c];
    if (keepsFace(c)) return previous >= 0 ? previous : kFollows;
    // A mark stays on its base's face when that face has it.
    const int8_t kind = u_charType(UChar32(c));
    if (previous >= 0 && (kind == U_NON_SPACING_MARK || kind == U_ENCLOSING_MARK) &&
        FcCharSetHasChar(set.faces[size_t(previous)]->charset, c))
        return previous;
    return firstFaceWith(set, c);
}

std::string faceFile(char32_t c, const Font& font) {
    const FaceSet* set = faceSet(font);
    const int face = set ? firstFaceWith(*set, c) : kNoFace;
    return face >= 0 ? set->faces[size_t(face)]->file : std::string();
}

void shapeRun(const FaceSet& set, int face, std::span<const char32_t> text, size_t from, size_t to,
              bool rightToLeft, std::vector<double>& advances, std::vector<uint8_t>& flags) {
    const Face& f = *set.faces.at(size_t(face));
    // One buffer per thread, kept: a title is shaped at every change, and making a buffer anew
    // each time allocated and touched memory the last one had already warmed.
    struct Buffer {
        hb_buffer_t* buffer = hb_buffer_create();
        ~Buffer() { hb_buffer_destroy(buffer); }
    };
    thread_local Buffer kept;
    hb_buffer_t* buffer = kept.buffer;
    hb_buffer_clear_contents(buffer);
    static_assert(sizeof(hb_codepoint_t) == sizeof(char32_t));
    hb_buffer_add_codepoints(buffer, reinterpret_cast<const hb_codepoint_t*>(text.data()), int(text.size()),
                             unsigned(from), int(to - from));
    hb_buffer_set_direction(buffer, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    // A fixed language: the locale of the process must not change widths.
    static const hb_language_t english = hb_language_from_string("en", -1);
    hb_buffer_set_language(buffer, english);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(f.font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
    for (unsigned g = 0; g < count; ++g) {
        const uint32_t c = info[g].cluster;
        advances[c] += pos[g].x_advance / f.upem;
        flags[c] |= kClusterStart;
        if (hb_glyph_info_get_glyph_flags(&info[g]) & HB_GLYPH_FLAG_UNSAFE_TO_BREAK) flags[c] |= kUnsafeBreak;
    }
}

double missingGlyphEms(char32_t c) {
    if (c <= 0xFFFF) return 0.70;  // four hexadecimal digits in two rows of two
    // Six digits in three columns; an emoji is drawn with the metrics of the emoji face the
    // renderer looks for, which comes out wider.
    return u_hasBinaryProperty(UChar32(c), UCHAR_EMOJI_PRESENTATION) ? 1.04 : 0.98;
}

}  // namespace qv::fontfaces
