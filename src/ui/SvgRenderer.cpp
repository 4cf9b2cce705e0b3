#include "ui/SvgRenderer.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "ui/EmbeddedBitmap.h"
#include "ui/FontFaces.h"
#include "ui/SymbolDrawings.h"

namespace qv {

namespace {

std::string opacityAttr(const char* name, double a) {
    if (a >= 0.999) return {};
    return std::string(" ") + name + "=\"" + SvgRenderer::number(std::max(0.0, a)) + "\"";
}

struct Writer {
    std::ostream& out;
    std::string prefix;
    int nextID = 0;
    std::string newID(const char* kind) { return prefix + kind + std::to_string(nextID++); }

    // A paint as an attribute value, defining a gradient when needed.
    std::string paint(const ResolvedPaint& p, const char* attr, double opacity) {
        if (!p.isGradient) {
            return std::string(" ") + attr + "=\"" + SvgRenderer::color(p.color) + "\"" +
                   opacityAttr((std::string(attr) + "-opacity").c_str(), p.color.a * opacity);
        }
        std::string id = newID("g");
        out << "<defs><linearGradient id=\"" << id << "\" x1=\"" << SvgRenderer::number(p.start.x)
            << "\" y1=\"" << SvgRenderer::number(p.start.y) << "\" x2=\"" << SvgRenderer::number(p.end.x)
            << "\" y2=\"" << SvgRenderer::number(p.end.y) << "\">";
        for (size_t i = 0; i < p.stops.size(); ++i) {
            double offset = p.stops.size() > 1 ? double(i) / double(p.stops.size() - 1) : 0;
            out << "<stop offset=\"" << SvgRenderer::number(offset) << "\" stop-color=\""
                << SvgRenderer::color(p.stops[i]) << "\" stop-opacity=\"" << SvgRenderer::number(p.stops[i].a)
                << "\"/>";
        }
        out << "</linearGradient></defs>";
        return std::string(" ") + attr + "=\"url(#" + id + ")\"" +
               opacityAttr((std::string(attr) + "-opacity").c_str(), opacity);
    }

    void shapeElement(const Shape& s, const Rect& r, const std::string& attrs) {
        using N = SvgRenderer;
        if (s.kind == ShapeKind::circle) {
            out << "<ellipse cx=\"" << N::number(r.midX()) << "\" cy=\"" << N::number(r.midY()) << "\" rx=\""
                << N::number(r.width() / 2) << "\" ry=\"" << N::number(r.height() / 2) << "\"" << attrs
                << "/>";
            return;
        }
        double radius = s.radiusIn(r);
        out << "<rect x=\"" << N::number(r.minX()) << "\" y=\"" << N::number(r.minY()) << "\" width=\""
            << N::number(r.width()) << "\" height=\"" << N::number(r.height()) << "\"";
        if (radius > 0) out << " rx=\"" << N::number(radius) << "\"";
        out << attrs << "/>";
    }

    // Opens one group per clip; returns how many to close.
    int openClips(const ClipList& clips) {
        for (const ClipRegion& c : clips) {
            std::string id = newID("c");
            out << "<clipPath id=\"" << id << "\">";
            shapeElement(c.shape, c.rect, "");
            out << "</clipPath><g clip-path=\"url(#" << id << ")\">";
        }
        return int(clips.size());
    }
};

// The system's materials blur what lies behind them until no edge or text of it can be made out;
// a picture cannot blur what it drew before, so its materials are all but opaque instead.
RGBA materialTint(Material m, ColorScheme scheme) {
    bool dark = scheme == ColorScheme::dark;
    switch (m) {
        case Material::hudWindow:
            return dark ? RGBA{0.12, 0.12, 0.13, 0.95} : RGBA{0.93, 0.93, 0.94, 0.95};
        case Material::menu:
            return dark ? RGBA{0.16, 0.16, 0.17, 0.96} : RGBA{0.96, 0.96, 0.97, 0.96};
        case Material::popover:
            return dark ? RGBA{0.18, 0.18, 0.19, 0.97} : RGBA{0.97, 0.97, 0.97, 0.97};
        case Material::ultraThick:
            return dark ? RGBA{0.14, 0.14, 0.15, 0.98} : RGBA{0.97, 0.97, 0.98, 0.98};
        case Material::thick:
            return dark ? RGBA{0.15, 0.15, 0.16, 0.97} : RGBA{0.96, 0.96, 0.97, 0.97};
        case Material::regular:
            return dark ? RGBA{0.16, 0.16, 0.17, 0.95} : RGBA{0.95, 0.95, 0.96, 0.95};
        case Material::thin:
            return dark ? RGBA{0.17, 0.17, 0.18, 0.93} : RGBA{0.95, 0.95, 0.96, 0.93};
        case Material::ultraThin:
            return dark ? RGBA{0.18, 0.18, 0.19, 0.9} : RGBA{0.95, 0.95, 0.96, 0.9};
        case Material::windowBackground:
            return dark ? RGBA{0.196, 0.196, 0.196, 1} : RGBA{0.925, 0.925, 0.925, 1};
    }
    return {0.5, 0.5, 0.5, 0.95};
}

std::string base64(const std::string& in) {
    static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v =
            (uint32_t(uint8_t(in[i])) << 16) | (uint32_t(uint8_t(in[i + 1])) << 8) | uint8_t(in[i + 2]);
        out += k[(v >> 18) & 63];
        out += k[(v >> 12) & 63];
        out += k[(v >> 6) & 63];
        out += k[v & 63];
    }
    if (i < in.size()) {
        uint32_t v = uint32_t(uint8_t(in[i])) << 16;
        if (i + 1 < in.size()) v |= uint32_t(uint8_t(in[i + 1])) << 8;
        out += k[(v >> 18) & 63];
        out += k[(v >> 12) & 63];
        out += i + 1 < in.size() ? k[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Where an op may leave ink: its frame, widened by strokes and blurs, and its whole turning circle
// when it is rotated.
Rect inkBounds(const DrawOp& op) {
    const Rect& f = op.frame;
    double margin = 2 + op.lineWidth + 3 * op.blur;
    if (op.kind == DrawOp::Kind::shadow)
        margin += std::max(f.width(), f.height()) / 2;          // the filter's region
    if (op.kind == DrawOp::Kind::text) margin += op.font.size;  // overhanging glyphs
    if (op.rotation != 0) margin += std::hypot(f.width(), f.height()) / 2;
    return f.insetBy(-margin, -margin);
}

}  // namespace

std::string SvgRenderer::number(double v) {
    if (!std::isfinite(v)) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
        bool dot = s.back() == '.';
        s.pop_back();
        if (dot) break;
    }
    if (s == "-0") s = "0";
    return s;
}

std::string SvgRenderer::color(const RGBA& c) {
    auto byte = [](double v) { return std::lround(std::clamp(v, 0.0, 1.0) * 255); };
    return "rgb(" + std::to_string(byte(c.r)) + "," + std::to_string(byte(c.g)) + "," +
           std::to_string(byte(c.b)) + ")";
}

std::string SvgRenderer::escape(const std::string& text) {
    // Decoded first, so that only whole, well-formed characters reach the output: malformed bytes
    // become replacement characters and can never re-form markup.
    std::string out;
    for (char32_t c : textmetrics::codePoints(text)) {
        switch (c) {
            case U'&':
                out += "&amp;";
                break;
            case U'<':
                out += "&lt;";
                break;
            case U'>':
                out += "&gt;";
                break;
            case U'"':
                out += "&quot;";
                break;
            case U'\'':
                out += "&apos;";
                break;
            default:
                if (textmetrics::drawnAsBlank(c) && c != U'\t' && c != U'\n') {
                    out += ' ';  // as measured; control characters are not allowed in XML 1.0 text
                } else if (c == 0xFFFE || c == 0xFFFF) {
                    out += "\uFFFD";  // nor are these non-characters
                } else {
                    out += textmetrics::encode({c});
                }
        }
    }
    return out;
}

std::string SvgRenderer::pngDataURI(const Image& image) {
    return "data:image/png;base64," + base64(embeddedbitmap::png(image));
}

void SvgRenderer::drawText(std::ostream& out, std::string_view line, const Font& font, double left,
                           double baseline, const std::string& paint, double tracking) {
    out << "<text x=\"" << number(left) << "\" y=\"" << number(baseline) << "\" font-size=\""
        << number(font.size) << "\" font-weight=\"" << fontfaces::cssWeight(font.weight) << "\" font-family=\""
        << fontfaces::familiesFor(font.design) << "\"" << paint;
    if (tracking != 0) out << " letter-spacing=\"" << number(tracking) << "\"";
    out << " xml:space=\"preserve\">";
    // The viewer lays every line out left to right; a right-to-left one is embedded as such, so that
    // the marks at its ends (an ellipsis, a full stop) stand where its reader expects them.
    if (textmetrics::isRightToLeft(line)) {
        out << "\u202B" << escape(std::string(line)) << "\u202C</text>";
    } else {
        out << escape(std::string(line)) << "</text>";
    }
}

void SvgRenderer::drawNamedIcon(std::ostream& out, const std::string& name, double x, double y, double w,
                                double h, double opacity) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
    static const std::array<const char*, 8> palette = {"#4f7cff", "#ff7a45", "#2fb36d", "#b05cff",
                                                       "#ff4d6d", "#12a4c9", "#f2b705", "#6c7a89"};
    const char* fill = palette[hash % palette.size()];
    double r = std::min(w, h) * 0.22;
    out << "<g" << opacityAttr("opacity", opacity) << "><rect x=\"" << number(x + w * 0.04) << "\" y=\""
        << number(y + h * 0.04) << "\" width=\"" << number(w * 0.92) << "\" height=\"" << number(h * 0.92)
        << "\" rx=\"" << number(r) << "\" fill=\"" << fill << "\"/>";
    auto cps = textmetrics::codePoints(name);
    std::string initial = cps.empty() ? "?" : textmetrics::encode(cps, 0, 1);
    out << "<text x=\"" << number(x + w / 2) << "\" y=\"" << number(y + h * 0.68) << "\" font-size=\""
        << number(h * 0.5) << "\" font-family=\"" << kSansFonts << "\" font-weight=\"700\" "
        << "text-anchor=\"middle\" fill=\"#ffffff\">" << escape(initial) << "</text></g>";
}

void SvgRenderer::drawSymbol(std::ostream& out, const std::string& name, double x, double y, double w,
                             double h, const RGBA& c, double opacity) {
    const symbols::Drawing d = symbols::drawing(name).value_or(symbols::placeholder());
    const double s = std::min(w, h);
    if (!(s > 0)) return;
    const double k = s / symbols::kBox;
    char scale[32];
    std::snprintf(scale, sizeof scale, "%.4g", k);
    out << "<g transform=\"translate(" << number(x + (w - s) / 2) << "," << number(y + (h - s) / 2)
        << ") scale(" << scale << ")\"" << opacityAttr("opacity", c.a * opacity) << ">";
    if (!d.stroke.empty()) {
        // At least a pixel wide, however small the symbol.
        out << "<path d=\"" << d.stroke << "\" fill=\"none\" stroke=\"" << color(c) << "\" stroke-width=\""
            << number(std::max(1.0, s * 0.085) / k) << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\""
            << (d.dashed ? " stroke-dasharray=\"2.5 2\"" : "") << "/>";
    }
    if (!d.fill.empty())
        out << "<path d=\"" << d.fill << "\" fill=\"" << color(c) << "\" fill-rule=\"evenodd\"/>";
    if (!d.label.empty()) {
        out << "<text x=\"12\" y=\"16\" font-size=\"" << (d.label.size() > 1 ? 10 : 12)
            << "\" font-weight=\"700\" text-anchor=\"middle\" font-family=\"" << kSansFonts << "\" fill=\""
            << color(c) << "\">" << escape(d.label) << "</text>";
    }
    out << "</g>";
}

void SvgRenderer::renderGroup(std::ostream& out, const DisplayList& list, Point origin, double opacity,
                              const std::string& idPrefix, double pixelScale, std::optional<Rect> visible) {
    Writer w{out, idPrefix};
    out << "<g transform=\"translate(" << number(origin.x) << "," << number(origin.y) << ")\""
        << opacityAttr("opacity", opacity) << ">";
    const Rect shown = visible.value_or(Rect{{0, 0}, list.size});
    for (const DrawOp& op : list.ops) {
        if (op.opacity <= 0.001) continue;
        // What its clips and the picture's edges cut away is left out.
        Rect seen = shown;
        for (const ClipRegion& c : op.clips)
            seen = seen.intersects(c.rect) ? seen.intersection(c.rect) : Rect{};
        if (seen.isEmpty() || !inkBounds(op).intersects(seen)) continue;
        int clips = w.openClips(op.clips);
        const Rect& f = op.frame;
        if (op.rotation != 0) {
            out << "<g transform=\"rotate(" << number(op.rotation * 180 / M_PI) << " " << number(f.midX())
                << " " << number(f.midY()) << ")\">";
        }
        switch (op.kind) {
            case DrawOp::Kind::shape: {
                if (op.fill) w.shapeElement(op.shape, f, w.paint(*op.fill, "fill", op.opacity));
                if (op.stroke) {
                    Rect r = op.strokeInside ? f.insetBy(op.lineWidth / 2, op.lineWidth / 2) : f;
                    w.shapeElement(op.shape, r,
                                   " fill=\"none\"" + w.paint(*op.stroke, "stroke", op.opacity) +
                                       " stroke-width=\"" + number(op.lineWidth) + "\"");
                }
                break;
            }
            case DrawOp::Kind::shadow: {
                std::string id = w.newID("s");
                out << "<filter id=\"" << id << "\" x=\"-50%\" y=\"-50%\" width=\"200%\" height=\"200%\">"
                    << "<feGaussianBlur stdDeviation=\"" << number(std::max(0.1, op.blur / 2))
                    << "\"/></filter>";
                w.shapeElement(op.shape, f,
                               w.paint(*op.fill, "fill", op.opacity) + " filter=\"url(#" + id + ")\"");
                break;
            }
            case DrawOp::Kind::material: {
                ResolvedPaint p;
                p.color = materialTint(op.material, op.scheme);
                w.shapeElement(op.shape, f, w.paint(p, "fill", op.opacity));
                break;
            }
            case DrawOp::Kind::spinner: {
                double r = std::min(f.width(), f.height()) / 2;
                for (int i = 0; i < 8; ++i) {
                    double a = i * M_PI / 4;
                    out << "<line x1=\"" << number(f.midX() + std::cos(a) * r * 0.45) << "\" y1=\""
                        << number(f.midY() + std::sin(a) * r * 0.45) << "\" x2=\""
                        << number(f.midX() + std::cos(a) * r * 0.9) << "\" y2=\""
                        << number(f.midY() + std::sin(a) * r * 0.9) << "\" stroke=\"" << color(op.color)
                        << "\" stroke-width=\"" << number(std::max(1.0, r * 0.16))
                        << "\" stroke-linecap=\"round\""
                        << opacityAttr("opacity", op.opacity * (0.25 + 0.09 * i)) << "/>";
                }
                break;
            }
            case DrawOp::Kind::image: {
                if (op.imageKind == ImageKind::symbol) {
                    drawSymbol(out, op.imageName, f.minX(), f.minY(), f.width(), f.height(), op.color,
                               op.opacity);
                } else if (op.bitmap && op.bitmap->hasPixels()) {
                    // A turned picture keeps all of its pixels: its clips are not upright to it.
                    const auto placed = embeddedbitmap::place(
                        f, op.rotation != 0 ? f : seen, op.bitmap->width, op.bitmap->height, pixelScale);
                    if (!placed) break;
                    const Rect& p = placed->frame;
                    out << "<image x=\"" << number(p.minX()) << "\" y=\"" << number(p.minY()) << "\" width=\""
                        << number(p.width()) << "\" height=\"" << number(p.height())
                        << "\" preserveAspectRatio=\"none\"" << opacityAttr("opacity", op.opacity)
                        << " href=\"" << pngDataURI(embeddedbitmap::resample(*op.bitmap, *placed)) << "\"/>";
                } else {
                    drawNamedIcon(out, op.imageName, f.minX(), f.minY(), f.width(), f.height(), op.opacity);
                }
                break;
            }
            case DrawOp::Kind::text: {
                double ascent =
                    op.font.size * 0.8 + (op.lineHeight - op.font.size * 1.2) / 2 + op.font.size * 0.1;
                const std::string paint = " fill=\"" + color(op.color) + "\"" +
                                          opacityAttr("fill-opacity", op.color.a * op.opacity);
                for (size_t i = 0; i < op.lines.size(); ++i) {
                    if (op.lines[i].empty()) continue;
                    drawText(out, op.lines[i], op.font, f.minX(),
                             f.minY() + op.lineHeight * double(i) + ascent, paint, op.tracking);
                }
                break;
            }
        }
        if (op.rotation != 0) out << "</g>";
        for (int i = 0; i < clips; ++i) out << "</g>";
    }
    out << "</g>";
}

std::string SvgRenderer::render(const DisplayList& list, RGBA background) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
        << number(list.size.width) << "\" height=\"" << number(list.size.height) << "\" viewBox=\"0 0 "
        << number(list.size.width) << " " << number(list.size.height) << "\">";
    if (background.a > 0) {
        out << "<rect width=\"100%\" height=\"100%\" fill=\"" << color(background) << "\""
            << opacityAttr("fill-opacity", background.a) << "/>";
    }
    renderGroup(out, list, {0, 0}, 1, "d");
    out << "</svg>\n";
    return out.str();
}

}  // namespace qv
