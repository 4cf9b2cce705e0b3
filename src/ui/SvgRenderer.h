#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "ui/DisplayList.h"

namespace qv {

// Turns display lists into SVG, so that a bar, a pop-up or a whole simulated screen can be looked at.
class SvgRenderer {
  public:
    // The families text is drawn and measured with (FontFaces.h): Debian's metric-compatible faces,
    // then the ones they stand in for, and a face for the scripts those lack.
    static constexpr const char* kSansFonts = "Liberation Sans, Helvetica, Arial, DejaVu Sans, sans-serif";
    static constexpr const char* kMonospacedFonts = "Liberation Mono, Menlo, DejaVu Sans Mono, monospace";

    // A standalone document of the list's size.
    static std::string render(const DisplayList& list, RGBA background = {0, 0, 0, 0});
    // The list's drawing as an SVG group placed at `origin`; `idPrefix` keeps its definitions' ids
    // apart from the other groups of the same document. Only what shows within `visible` (in the
    // list's coordinates; the list's own size when none) is drawn, and bitmaps are embedded at
    // `pixelScale` pixels per point at most.
    static void renderGroup(std::ostream& out, const DisplayList& list, Point origin, double opacity,
                            const std::string& idPrefix, double pixelScale = 1,
                            std::optional<Rect> visible = std::nullopt);

    static std::string escape(const std::string& text);
    static std::string color(const RGBA& c);  // "rgb(r,g,b)" with the alpha left to the caller
    static std::string number(double v);
    // A PNG of the bitmap, as a data URI.
    static std::string pngDataURI(const Image& image);
    // One line of text from `left`, whole, in the faces and shaping it was measured with: the
    // viewer puts right-to-left runs in their order and joins Arabic letters. `paint` holds the
    // fill attributes.
    static void drawText(std::ostream& out, std::string_view line, const Font& font, double left,
                         double baseline, const std::string& paint, double tracking = 0);
    // A symbol from its drawing (ui/SymbolDrawings), square and centred in the frame.
    static void drawSymbol(std::ostream& out, const std::string& name, double x, double y, double w, double h,
                           const RGBA& color, double opacity);
    // An application icon without pixels: a rounded tile coloured from its name, with its initial.
    static void drawNamedIcon(std::ostream& out, const std::string& name, double x, double y, double w,
                              double h, double opacity);
};

}  // namespace qv
