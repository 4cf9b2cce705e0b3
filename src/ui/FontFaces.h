#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ui/TextMetrics.h"

namespace qv::fontfaces {

// The families pictures name for a design (SvgRenderer::kSansFonts, kMonospacedFonts). The viewer
// (librsvg through Pango and fontconfig) draws each character with the first installed face of the
// list that has it, and text is measured with those same faces.
const char* familiesFor(FontDesign design);
// The CSS weight a font is drawn at (100 to 900).
int cssWeight(FontWeight weight);

// The installed faces text of one design and weight is drawn with, in fontconfig's order for the
// families and weight, as the renderer matches them.
class FaceSet;

// Null when fontconfig has no face at all: text is then measured from a fixed table (see
// TextMetrics.cpp).
const FaceSet* faceSet(const Font& font);

inline constexpr int kNoFace = -1;
inline constexpr int kFollows = -2;
// The face that draws `c` after a character drawn with `previous` (kNoFace at the start): the
// first of the set that has it; kNoFace when none has it. Characters that are not graphic (blanks,
// controls, format characters, variation selectors) stay with the face before them, as the
// renderer keeps them, and take the face after them at the start (kFollows).
int faceFor(const FaceSet& set, char32_t c, int previous);
int firstFaceWith(const FaceSet& set, char32_t c);
// The file of the face that draws `c` in `font` when it starts a text; empty when no face has it
// or text is measured from the fixed table.
std::string faceFile(char32_t c, const Font& font);

// What shapeRun tells of each code point.
inline constexpr uint8_t kClusterStart = 1;  // a cluster of glyphs starts at it
inline constexpr uint8_t kUnsafeBreak = 2;   // cutting the text before it changes either side's shaping

// Shapes text[from, to) in one face and direction with the whole text as context (Arabic letters
// join across the run's ends), and adds each glyph's advance, in ems, to the advance of the code
// point its cluster starts at.
void shapeRun(const FaceSet& set, int face, std::span<const char32_t> text, size_t from, size_t to,
              bool rightToLeft, std::vector<double>& advances, std::vector<uint8_t>& flags);

// The box the renderer draws for a character no face has: as wide as its hexadecimal code, in ems.
double missingGlyphEms(char32_t c);

}  // namespace qv::fontfaces
