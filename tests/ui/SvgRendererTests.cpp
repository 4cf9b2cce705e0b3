#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "dispatch/ManualRuntime.h"
#include "ui/HostingView.h"
#include "ui/SvgQuery.h"
#include "ui/SvgRenderer.h"
#include "ui/SymbolDrawings.h"
#include "ui/XmlLint.h"

namespace qv {
namespace {

const std::string kReplacement = "\xef\xbf\xbd";

DrawOp shapeOp(Rect frame, Shape shape, RGBA fill) {
    DrawOp op;
    op.kind = DrawOp::Kind::shape;
    op.frame = frame;
    op.shape = shape;
    op.fill = ResolvedPaint{false, fill, {}, {}, {}};
    return op;
}

DrawOp textOp(Rect frame, std::vector<std::string> lines, Font font = Font::system(13)) {
    DrawOp op;
    op.kind = DrawOp::Kind::text;
    op.frame = frame;
    op.lines = std::move(lines);
    op.font = font;
    op.lineHeight = textmetrics::lineHeight(font);
    op.color = {0, 0, 0, 1};
    return op;
}

DrawOp imageOp(Rect frame, ImageKind kind, std::string name, std::shared_ptr<const Image> bitmap = nullptr) {
    DrawOp op;
    op.kind = DrawOp::Kind::image;
    op.frame = frame;
    op.imageKind = kind;
    op.imageName = std::move(name);
    op.bitmap = std::move(bitmap);
    op.color = {0, 0, 0, 1};
    return op;
}

std::vector<SvgElement> draw(std::vector<DrawOp> ops, Size size = {200, 100}) {
    DisplayList list;
    list.size = size;
    list.ops = std::move(ops);
    return parseSvg(SvgRenderer::render(list));
}

bool inside(const SvgElement& e, const std::vector<SvgElement>& all, const std::string& name,
            const std::string& attr) {
    for (size_t a : e.ancestors) {
        if (all[a].name == name && all[a].has(attr)) return true;
    }
    return false;
}

// Every "url(#...)" in the document names an element of it, and no id is defined twice.
void expectReferencesResolve(const std::vector<SvgElement>& all) {
    std::set<std::string> ids;
    for (const SvgElement& e : all) {
        if (e.has("id")) {
            EXPECT_TRUE(ids.insert(e.attr("id")).second) << "duplicate id " << e.attr("id");
        }
    }
    for (const SvgElement& e : all) {
        for (const auto& [key, value] : e.attrs) {
            if (auto target = urlTarget(value)) {
                EXPECT_TRUE(ids.contains(*target)) << key << "=" << value;
            }
        }
    }
}

// The red byte of an "rgb(r,g,b)" colour.
int redOf(const std::string& rgb) {
    return std::atoi(rgb.c_str() + 4);
}

void expectWellFormed(const std::string& doc) {
    auto verdict = xmllint(doc);
    if (!verdict) GTEST_SKIP() << "xmllint is not installed";
    EXPECT_TRUE(verdict->ok) << verdict->output;
}

// --- Text ---

TEST(SvgEscapeTest, MarkupInTextBecomesEntitiesAndCannotOpenElements) {
    EXPECT_EQ(SvgRenderer::escape("</text><g onload=\"x\">"), "&lt;/text&gt;&lt;g onload=&quot;x&quot;&gt;");
    EXPECT_EQ(SvgRenderer::escape("&lt;"), "&amp;lt;");  // entities in the input are text, not markup
    EXPECT_EQ(SvgRenderer::escape("Tab\there\nnext"), "Tab\there\nnext");
    EXPECT_EQ(SvgRenderer::escape(""), "");
    // Characters outside ASCII pass through unchanged.
    EXPECT_EQ(SvgRenderer::escape("Café — 日本語 🎉"), "Café — 日本語 🎉");
}

TEST(SvgEscapeTest, ControlCharactersAndNonCharactersAreReplaced) {
    std::string controls;
    for (char c = 1; c < 0x20; ++c) {
        if (c != '\t' && c != '\n') controls += c;
    }
    EXPECT_EQ(SvgRenderer::escape(controls), std::string(controls.size(), ' '));
    EXPECT_EQ(SvgRenderer::escape(std::string("a\0b", 3)), "a b");
    // A line drawn as measured: DEL and the line and paragraph separators show as blanks.
    EXPECT_EQ(SvgRenderer::escape("a\177b\u2028c\u2029d\u0085e"), "a b c d e");
    // U+FFFE and U+FFFF are well-formed UTF-8 but not characters XML may hold.
    EXPECT_EQ(SvgRenderer::escape("x\xef\xbf\xbey\xef\xbf\xbf"), "x" + kReplacement + "y" + kReplacement);
}

TEST(SvgEscapeTest, MalformedUtf8NeverTurnsIntoMarkupOrNul) {
    // Overlong forms of '<', '&' and NUL: each byte is malformed on its own.
    EXPECT_EQ(SvgRenderer::escape("\xc0\xbc"), kReplacement + kReplacement);
    EXPECT_EQ(SvgRenderer::escape("\xe0\x80\xa6"), kReplacement + kReplacement + kReplacement);
    EXPECT_EQ(SvgRenderer::escape("\xc0\x80"), kReplacement + kReplacement);
    EXPECT_EQ(SvgRenderer::escape("\xf0\x80\x80\xbc").find('<'), std::string::npos);
    // Encoded surrogates and code points past U+10FFFF.
    EXPECT_EQ(SvgRenderer::escape("\xed\xa0\x80").find("\xed"), std::string::npos);
    EXPECT_EQ(SvgRenderer::escape("\xf4\x90\x80\x80").find("\xf4"), std::string::npos);
    // A sequence cut short by the end of the text, and stray continuation bytes.
    EXPECT_EQ(SvgRenderer::escape("ok\xe2\x82"), "ok" + kReplacement + kReplacement);
    EXPECT_EQ(SvgRenderer::escape("\x80z"), kReplacement + "z");
    // The shortest forms are still read as the characters they are.
    EXPECT_EQ(SvgRenderer::escape("\xc3\xa9\xe2\x80\xa6\xf0\x9f\x8e\x89"), "é…🎉");
    EXPECT_EQ(textmetrics::codePoints("\xc0\xbc").size(), 2u);
}

TEST(SvgEscapeTest, DocumentsWithHostileTextStayWellFormed) {
    std::vector<DrawOp> ops;
    const std::vector<std::string> hostile = {"</text></svg><svg>",           "&amp; &#0; &unknown;",
                                              std::string("nul\0inside", 10), "\x1b[31mred",
                                              "\xc0\xbcscript\xc0\xbe",       "\xef\xbf\xbe\xef\xbf\xbf",
                                              "\xed\xa0\x80\xed\xb0\x80",     "\xff\xfe\xfd",
                                              "quote \" and ' apostrophe",    "]]> end of CDATA"};
    double y = 0;
    for (const std::string& s : hostile) ops.push_back(textOp({0, y += 14, 200, 14}, {s}));
    ops.push_back(imageOp({0, 0, 20, 20}, ImageKind::appIcon, "<&\"'>"));
    DisplayList list;
    list.size = {200, 200};
    list.ops = ops;
    std::string doc = SvgRenderer::render(list);
    auto all = parseSvg(doc);
    // Only the renderer's own elements: one per line plus the icon's tile and initial.
    EXPECT_EQ(named(all, "text").size(), hostile.size() + 1);
    EXPECT_TRUE(named(all, "script").empty());
    EXPECT_EQ(named(all, "svg").size(), 1u);
    expectWellFormed(doc);
}

TEST(SvgRendererTest, NumbersKeepTwoDecimalsAndColoursAreClampedBytes) {
    EXPECT_EQ(SvgRenderer::number(12.5), "12.5");
    EXPECT_EQ(SvgRenderer::number(100), "100");
    EXPECT_EQ(SvgRenderer::number(-3.14159), "-3.14");
    EXPECT_EQ(SvgRenderer::number(-0.004), "0");
    EXPECT_EQ(SvgRenderer::number(std::nan("")), "0");
    EXPECT_EQ(SvgRenderer::number(INFINITY), "0");
    EXPECT_EQ(SvgRenderer::color({1.2, -0.1, 0.5, 1}), "rgb(255,0,128)");
    EXPECT_EQ(SvgRenderer::color({0.2, 0.4, 0.6, 0}), "rgb(51,102,153)");  // alpha is the caller's
}

TEST(SvgRendererTest, TextLinesStandOneLineHeightApartInTheirFont) {
    DrawOp op =
        textOp({10, 20, 120, 60}, {"First line", "", "Third & last"}, Font::system(15, FontWeight::bold));
    op.color = {1, 0, 0, 0.5};
    op.opacity = 0.8;
    op.tracking = 1.5;
    DrawOp mono =
        textOp({0, 80, 100, 16}, {"ls -la"}, Font::system(12, FontWeight::regular, FontDesign::monospaced));
    DrawOp mixed = textOp({0, 100, 200, 40}, {"שלום עולם…", "1. Notes — שלום"}, Font::system(12));
    auto all = draw({op, mono, mixed});
    auto texts = named(all, "text");
    ASSERT_EQ(texts.size(), 5u);  // the empty line draws nothing but keeps its room
    EXPECT_EQ(texts[0]->content, "First line");
    EXPECT_EQ(texts[1]->content, "Third &amp; last");
    EXPECT_NEAR(texts[1]->num("y") - texts[0]->num("y"), 2 * op.lineHeight, 0.011);
    EXPECT_GT(texts[0]->num("y"), 20);  // the baseline lies inside the frame
    EXPECT_LT(texts[0]->num("y"), 20 + op.lineHeight);
    // Each line whole from the frame's left edge, its tracking as letter spacing: the viewer shapes
    // it as it was measured.
    EXPECT_EQ(texts[0]->num("x"), 10);
    EXPECT_EQ(texts[0]->num("letter-spacing"), 1.5);
    EXPECT_TRUE(named(all, "tspan").empty());
    EXPECT_EQ(texts[0]->attr("font-weight"), "700");
    EXPECT_EQ(texts[0]->attr("font-size"), "15");
    EXPECT_EQ(texts[0]->attr("fill"), "rgb(255,0,0)");
    EXPECT_EQ(texts[0]->num("fill-opacity"), 0.4);
    EXPECT_EQ(texts[0]->attr("xml:space"), "preserve");
    EXPECT_NE(texts[2]->attr("font-family").find("monospace"), std::string::npos);
    EXPECT_EQ(texts[0]->attr("font-family").find("monospace"), std::string::npos);
    EXPECT_FALSE(texts[2]->has("fill-opacity"));  // opaque text carries no opacity
    // A line whose first strong character reads right to left is embedded as right-to-left, so its
    // ellipsis ends it on the left; one that starts left to right is drawn as it is.
    EXPECT_EQ(texts[3]->content, "\u202Bשלום עולם…\u202C");
    EXPECT_EQ(texts[4]->content, "1. Notes — שלום");
}

// --- Shapes and paints ---

TEST(SvgRendererTest, ShapesBecomeRectanglesWithClampedCornersOrEllipses) {
    RGBA blue{0, 0, 1, 1};
    auto all = draw({shapeOp({0, 0, 40, 20}, Shape::rect(), blue),
                     shapeOp({50, 0, 40, 20}, Shape::roundedRect(6), blue),
                     shapeOp({100, 0, 40, 20}, Shape::roundedRect(50), blue),
                     shapeOp({0, 30, 60, 20}, Shape::capsule(), blue),
                     shapeOp({70, 30, 30, 20}, Shape::circle(), {0, 0, 1, 0.25})});
    auto rects = named(all, "rect");
    ASSERT_EQ(rects.size(), 4u);
    EXPECT_FALSE(rects[0]->has("rx"));
    EXPECT_EQ(rects[1]->num("rx"), 6);
    EXPECT_EQ(rects[2]->num("rx"), 10);  // never more than half the shorter side
    EXPECT_EQ(rects[3]->num("rx"), 10);  // a capsule is fully round at its ends
    EXPECT_EQ(rects[3]->num("width"), 60);
    EXPECT_EQ(rects[0]->attr("fill"), "rgb(0,0,255)");
    EXPECT_FALSE(rects[0]->has("fill-opacity"));
    auto ellipses = named(all, "ellipse");
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_EQ(ellipses[0]->num("cx"), 85);
    EXPECT_EQ(ellipses[0]->num("cy"), 40);
    EXPECT_EQ(ellipses[0]->num("rx"), 15);
    EXPECT_EQ(ellipses[0]->num("ry"), 10);
    EXPECT_EQ(ellipses[0]->num("fill-opacity"), 0.25);
}

TEST(SvgRendererTest, GradientsAreDefinedWithEvenStopsAndReferencedByTheirShape) {
    DrawOp op = shapeOp({0, 0, 100, 50}, Shape::roundedRect(8), {});
    op.fill = ResolvedPaint{
        true, {}, {{1, 0, 0, 1}, {0, 1, 0, 0.5}, {0, 0, 1, 0}}, UnitPoint::leading(), UnitPoint::trailing()};
    op.opacity = 0.5;
    DrawOp single = op;
    single.fill->stops = {{1, 1, 1, 1}};
    single.opacity = 1;
    auto all = draw({op, single});
    expectReferencesResolve(all);
    auto rects = named(all, "rect");
    ASSERT_EQ(rects.size(), 2u);
    auto target = urlTarget(rects[0]->attr("fill"));
    ASSERT_TRUE(target);
    const SvgElement* gradient = byID(all, *target);
    ASSERT_TRUE(gradient);
    EXPECT_EQ(gradient->name, "linearGradient");
    EXPECT_EQ(gradient->attr("x1"), "0");
    EXPECT_EQ(gradient->attr("y1"), "0.5");
    EXPECT_EQ(gradient->attr("x2"), "1");
    EXPECT_EQ(gradient->attr("y2"), "0.5");
    EXPECT_EQ(rects[0]->num("fill-opacity"), 0.5);  // the op's opacity; the stops keep their own
    std::vector<const SvgElement*> stops;
    for (const SvgElement* s : named(all, "stop")) {
        if (all[s->ancestors.back()].attr("id") == *target) stops.push_back(s);
    }
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_EQ(stops[0]->attr("offset"), "0");
    EXPECT_EQ(stops[1]->attr("offset"), "0.5");
    EXPECT_EQ(stops[2]->attr("offset"), "1");
    EXPECT_EQ(stops[1]->attr("stop-color"), "rgb(0,255,0)");
    EXPECT_EQ(stops[1]->attr("stop-opacity"), "0.5");
    EXPECT_EQ(stops[2]->attr("stop-opacity"), "0");
    // The second gradient has an id of its own.
    auto second = urlTarget(rects[1]->attr("fill"));
    ASSERT_TRUE(second);
    EXPECT_NE(*second, *target);
    EXPECT_FALSE(rects[1]->has("fill-opacity"));
}

TEST(SvgRendererTest, StrokesAreCentredOnTheEdgeOrDrawnInsideIt) {
    DrawOp centred = shapeOp({10, 10, 40, 20}, Shape::rect(), {1, 1, 1, 1});
    centred.stroke = ResolvedPaint{false, {0, 0, 0, 0.5}, {}, {}, {}};
    centred.lineWidth = 2;
    DrawOp border;
    border.frame = {60, 10, 40, 20};
    border.shape = Shape::circle();
    border.stroke = ResolvedPaint{false, {1, 0, 0, 1}, {}, {}, {}};
    border.lineWidth = 4;
    border.strokeInside = true;
    border.opacity = 0.5;
    auto all = draw({centred, border});
    auto rects = named(all, "rect");
    ASSERT_EQ(rects.size(), 2u);  // the fill, then the stroke above it
    EXPECT_EQ(rects[0]->attr("fill"), "rgb(255,255,255)");
    EXPECT_EQ(rects[1]->attr("fill"), "none");
    EXPECT_EQ(rects[1]->attr("stroke"), "rgb(0,0,0)");
    EXPECT_EQ(rects[1]->num("stroke-opacity"), 0.5);
    EXPECT_EQ(rects[1]->num("stroke-width"), 2);
    EXPECT_EQ(rects[1]->num("x"), 10);
    EXPECT_EQ(rects[1]->num("width"), 40);
    auto ellipses = named(all, "ellipse");
    ASSERT_EQ(ellipses.size(), 1u);  // no fill: the stroke alone
    EXPECT_EQ(ellipses[0]->attr("fill"), "none");
    EXPECT_EQ(ellipses[0]->num("rx"), 18);  // half the line width inside the frame
    EXPECT_EQ(ellipses[0]->num("ry"), 8);
    EXPECT_EQ(ellipses[0]->num("stroke-opacity"), 0.5);
}

TEST(SvgRendererTest, ClipsWrapOnlyTheirOpAndInvisibleOpsDrawNothing) {
    DrawOp clipped = shapeOp({0, 0, 100, 100}, Shape::rect(), {1, 0, 0, 1});
    clipped.clips = {{{10, 10, 50, 50}, Shape::rect()}, {{20, 20, 30, 30}, Shape::roundedRect(6)}};
    DrawOp after = shapeOp({0, 0, 5, 5}, Shape::rect(), {0, 1, 0, 1});
    DrawOp hidden = shapeOp({0, 0, 5, 5}, Shape::rect(), {0, 0, 1, 1});
    hidden.opacity = 0.0005;
    DrawOp rotated = shapeOp({100, 0, 20, 10}, Shape::rect(), {0, 0, 0, 1});
    rotated.rotation = M_PI / 2;
    auto all = draw({clipped, after, hidden, rotated});
    expectReferencesResolve(all);
    auto clipPaths = named(all, "clipPath");
    ASSERT_EQ(clipPaths.size(), 2u);
    std::vector<const SvgElement*> drawn;
    for (const SvgElement* r : named(all, "rect")) {
        if (!inside(*r, all, "clipPath", "id")) drawn.push_back(r);
    }
    ASSERT_EQ(drawn.size(), 3u);  // the invisible one is left out
    // The clipped shape stands inside a group per clip, outermost first.
    std::vector<std::string> clipRefs;
    for (size_t a : drawn[0]->ancestors) {
        if (all[a].has("clip-path")) clipRefs.push_back(*urlTarget(all[a].attr("clip-path")));
    }
    EXPECT_EQ(clipRefs, (std::vector<std::string>{clipPaths[0]->attr("id"), clipPaths[1]->attr("id")}));
    const SvgElement* roundClip = &all[size_t(clipPaths[1] - &all[0]) + 1];
    EXPECT_EQ(roundClip->num("rx"), 6);
    EXPECT_FALSE(inside(*drawn[1], all, "g", "clip-path"));  // the groups are closed after it
    EXPECT_EQ(drawn[1]->attr("fill"), "rgb(0,255,0)");
    // Rotation turns the op about its frame's centre, in degrees.
    const SvgElement& turn = all[drawn[2]->ancestors.back()];
    EXPECT_EQ(turn.attr("transform"), "rotate(90 110 5)");
}

TEST(SvgRendererTest, ShadowsAreBlurredShapesBehindTheirContent) {
    DrawOp shadow;
    shadow.kind = DrawOp::Kind::shadow;
    shadow.frame = {12, 14, 50, 30};
    shadow.shape = Shape::roundedRect(10);
    shadow.fill = ResolvedPaint{false, {0, 0, 0, 0.3}, {}, {}, {}};
    shadow.blur = 6;
    DrawOp sharp = shadow;
    sharp.blur = 0;
    auto all = draw({shadow, sharp});
    expectReferencesResolve(all);
    auto rects = named(all, "rect");
    ASSERT_EQ(rects.size(), 2u);
    auto filterID = urlTarget(rects[0]->attr("filter"));
    ASSERT_TRUE(filterID);
    const SvgElement* filter = byID(all, *filterID);
    ASSERT_TRUE(filter);
    EXPECT_EQ(filter->name, "filter");
    const SvgElement& blur = all[size_t(filter - &all[0]) + 1];
    EXPECT_EQ(blur.name, "feGaussianBlur");
    EXPECT_EQ(blur.num("stdDeviation"), 3);
    EXPECT_EQ(rects[0]->num("rx"), 10);
    EXPECT_EQ(rects[0]->num("fill-opacity"), 0.3);
    EXPECT_EQ(rects[0]->num("x"), 12);
    // Without blur the filter still has a positive deviation, which renderers require.
    const SvgElement* sharpFilter = byID(all, *urlTarget(rects[1]->attr("filter")));
    EXPECT_GT(all[size_t(sharpFilter - &all[0]) + 1].num("stdDeviation"), 0);
}

TEST(SvgRendererTest, MaterialsAreTintedForTheirColourScheme) {
    DrawOp light;
    light.kind = DrawOp::Kind::material;
    light.frame = {0, 0, 100, 40};
    light.material = Material::hudWindow;
    light.shape = Shape::roundedRect(12);
    DrawOp dark = light;
    dark.scheme = ColorScheme::dark;
    DrawOp window = light;
    window.material = Material::windowBackground;
    auto all = draw({light, dark, window});
    auto rects = named(all, "rect");
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_NE(rects[0]->attr("fill"), rects[1]->attr("fill"));
    EXPECT_LT(redOf(rects[1]->attr("fill")), 64);   // dark
    EXPECT_GT(redOf(rects[0]->attr("fill")), 192);  // light
    EXPECT_GT(rects[0]->num("fill-opacity"), 0);
    EXPECT_LT(rects[0]->num("fill-opacity"), 1);  // translucent
    EXPECT_FALSE(rects[2]->has("fill-opacity"));  // the window background is opaque
    EXPECT_EQ(rects[0]->num("rx"), 12);           // the material takes the shape it was clipped to
}

TEST(SvgRendererTest, SpinnersDrawEightSpokesOfRisingOpacity) {
    DrawOp spinner;
    spinner.kind = DrawOp::Kind::spinner;
    spinner.frame = {0, 0, 32, 32};
    spinner.color = {0.5, 0.5, 0.5, 1};
    auto all = draw({spinner});
    auto lines = named(all, "line");
    ASSERT_EQ(lines.size(), 8u);
    for (size_t i = 1; i < lines.size(); ++i)
        EXPECT_GT(lines[i]->num("opacity"), lines[i - 1]->num("opacity"));
    for (const SvgElement* l : lines) {
        EXPECT_LE(std::hypot(l->num("x2") - 16, l->num("y2") - 16), 16.01);  // within the frame's circle
        EXPECT_EQ(l->attr("stroke"), "rgb(128,128,128)");
    }
}

// --- Symbols and icons ---

// A symbol is its own drawing, scaled from its box to a square centred in the frame; a display's
// number is written in its square; a name without a drawing gets the placeholder.
TEST(SvgSymbolTest, SymbolsAreTheirDrawingsSquareAndCentredInTheirColour) {
    auto glyph = [](const std::string& name) {
        DrawOp op = imageOp({40, 10, 60, 24}, ImageKind::symbol, name);
        op.color = {1, 0.5, 0, 0.5};
        op.opacity = 0.5;
        return draw({op});
    };
    auto power = glyph("power");
    const SvgElement* placed = named(power, "g")[1];
    EXPECT_EQ(placed->attr("transform"), "translate(58,10) scale(1)");
    EXPECT_EQ(placed->num("opacity"), 0.25);
    auto paths = named(power, "path");
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0]->attr("d"), std::string(symbols::drawing("power")->stroke));
    EXPECT_EQ(paths[0]->attr("stroke"), "rgb(255,128,0)");
    EXPECT_EQ(paths[0]->attr("fill"), "none");
    auto filled = glyph("checkmark.circle.fill");
    ASSERT_EQ(named(filled, "path").size(), 1u);
    EXPECT_EQ(named(filled, "path")[0]->attr("fill-rule"), "evenodd");  // the check is cut out of the disc
    auto label = [&](const std::string& name) {
        auto all = glyph(name);
        auto texts = named(all, "text");
        return texts.size() == 1 ? texts[0]->text : std::string("-");
    };
    EXPECT_EQ(label("3.square.fill"), "3");
    EXPECT_EQ(label("number.square.fill"), "#");
    for (const char* unknown : {"no.such.symbol", "51.square.fill", "03.square.fill"})
        EXPECT_EQ(label(unknown), "?");
}

TEST(SvgSymbolTest, IconsWithoutPixelsAreTilesWithTheirInitialInAStableColour) {
    auto tile = [](const std::string& name) {
        auto all = draw({imageOp({0, 0, 32, 32}, ImageKind::appIcon, name)});
        auto rects = named(all, "rect");
        auto texts = named(all, "text");
        EXPECT_EQ(rects.size(), 1u);
        EXPECT_EQ(texts.size(), 1u);
        return std::make_pair(rects.empty() ? "" : rects[0]->attr("fill"),
                              texts.empty() ? "" : texts[0]->text);
    };
    EXPECT_EQ(tile("Compass").second, "C");
    EXPECT_EQ(tile("Émile").second, "É");  // a whole character, not its first byte
    EXPECT_EQ(tile("<Tool>").second, "&lt;");
    EXPECT_EQ(tile("").second, "?");
    EXPECT_EQ(tile("Compass").first, tile("Compass").first);
    EXPECT_EQ(tile("Compass").first.front(), '#');
    // A picture whose pixel count does not match its size is not read: the tile stands in.
    auto broken = std::make_shared<Image>(Image::filled(4, 4, 0xFF0000FF));
    broken->height = 40;
    broken->name = "Broken";
    auto all = draw({imageOp({0, 0, 32, 32}, ImageKind::bitmap, "Broken", broken)});
    EXPECT_TRUE(named(all, "image").empty());
    EXPECT_EQ(named(all, "text").at(0)->text, "B");
}

// --- Bitmaps ---

DecodedPng embedded(const SvgElement& image) {
    std::string href = image.attr("href");
    const std::string prefix = "data:image/png;base64,";
    EXPECT_EQ(href.rfind(prefix, 0), 0u);
    return decodePng(base64Decode(href.substr(prefix.size())));
}

TEST(SvgBitmapTest, BitmapsAreEmbeddedAsPngsThatDecodeToTheirPixels) {
    Image img;
    img.width = 3;
    img.height = 2;
    img.pixels = {0xFF000080, 0x00FF00FF, 0x0000FF00, 0x12345678, 0xFFFFFFFF, 0x00000000};
    auto op = imageOp({5, 6, 30, 20}, ImageKind::bitmap, "", std::make_shared<const Image>(img));
    op.opacity = 0.6;
    auto all = draw({op});
    auto images = named(all, "image");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0]->num("x"), 5);
    EXPECT_EQ(images[0]->num("y"), 6);
    EXPECT_EQ(images[0]->num("width"), 30);  // scaled to the frame
    EXPECT_EQ(images[0]->num("height"), 20);
    EXPECT_EQ(images[0]->attr("preserveAspectRatio"), "none");
    EXPECT_EQ(images[0]->num("opacity"), 0.6);
    DecodedPng png = embedded(*images[0]);
    ASSERT_EQ(png.error, "");
    EXPECT_EQ(png.width, 3);
    EXPECT_EQ(png.height, 2);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.colorType, 6);  // RGBA
    EXPECT_EQ(png.pixels, img.pixels);
    EXPECT_EQ(png.chunkTypes, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
}

// A picture is embedded at the pixels it is drawn at, and only the part its clips and the
// picture's edges leave showing; drawing that shows nowhere is left out.
TEST(SvgBitmapTest, BitmapsAreEmbeddedAtTheirDrawnSizeAndOnlyWhereTheyShow) {
    Image img = Image::filled(400, 200, 0xFF0000FF);  // red, its right half blue
    for (int y = 0; y < 200; ++y) std::fill_n(img.pixels.begin() + y * 400 + 200, 200, 0x0000FFFF);
    auto bitmap = std::make_shared<const Image>(img);
    DrawOp whole = imageOp({0, 0, 40, 20}, ImageKind::bitmap, "", bitmap);
    DrawOp clipped = imageOp({0, 30, 100, 50}, ImageKind::bitmap, "", bitmap);
    clipped.clips = {{{50, 0, 100, 100}, Shape::roundedRect(4)}};
    DrawOp hidden = imageOp({0, 90, 100, 50}, ImageKind::bitmap, "", bitmap);
    hidden.clips = {{{0, 0, 10, 10}, Shape::rect()}};
    DrawOp outside = shapeOp({150, 20, 10, 10}, Shape::rect(), {0, 1, 0, 1});
    DisplayList list;
    list.size = {200, 200};
    list.ops = {whole, clipped, hidden, outside};
    std::ostringstream out;
    SvgRenderer::renderGroup(out, list, {0, 0}, 1, "a", 2, Rect{0, 0, 120, 200});
    auto all = parseSvg("<svg>" + out.str() + "</svg>");
    auto images = named(all, "image");
    ASSERT_EQ(images.size(), 2u);
    DecodedPng small = embedded(*images[0]);
    EXPECT_EQ(small.width, 80);  // 40 x 20 points at 2 pixels each
    EXPECT_EQ(small.height, 40);
    EXPECT_EQ(small.pixels[0], 0xFF0000FFu);
    EXPECT_EQ(small.pixels[79], 0x0000FFFFu);
    // The clipped one: its right half, where the clip lets it show.
    EXPECT_EQ(images[1]->num("x"), 50);
    EXPECT_EQ(images[1]->num("width"), 50);
    EXPECT_EQ(images[1]->num("height"), 50);
    DecodedPng right = embedded(*images[1]);
    EXPECT_EQ(right.width, 100);
    EXPECT_EQ(std::count(right.pixels.begin(), right.pixels.end(), 0x0000FFFFu), 100 * 100);
    for (const SvgElement* r : named(all, "rect")) EXPECT_NE(r->attr("fill"), "rgb(0,255,0)");  // not visible
    expectWellFormed("<svg xmlns=\"http://www.w3.org/2000/svg\">" + out.str() + "</svg>");
}

TEST(SvgBitmapTest, IconsWithPixelsAreEmbeddedThroughTheViews) {
    ManualRuntime rt;
    Image icon = Image::filled(2, 2, 0x3366FFFF);
    icon.name = "Compass";
    auto host = std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([icon] {
            return HStack({IconImage(icon)->resizableImage()->frame(20, 20),
                           IconImage(Image::named("Atlas", 64, 64))->resizableImage()->frame(20, 20)});
        }));
    host->setFrameSize({60, 20});
    host->layoutNow();
    auto all = parseSvg(SvgRenderer::render(host->displayList()));
    auto images = named(all, "image");
    ASSERT_EQ(images.size(), 1u);  // the named icon without pixels is a tile
    EXPECT_EQ(images[0]->num("width"), 20);
    EXPECT_EQ(embedded(*images[0]).pixels, icon.pixels);
    EXPECT_EQ(named(all, "text").at(0)->text, "A");
}

// --- Whole documents ---

TEST(SvgRendererTest, GroupsInOneDocumentKeepTheirDefinitionsApart) {
    DrawOp op = shapeOp({0, 0, 50, 50}, Shape::circle(), {});
    op.fill = ResolvedPaint{true, {}, {{1, 0, 0, 1}, {0, 0, 1, 1}}, UnitPoint::top(), UnitPoint::bottom()};
    op.clips = {{{0, 0, 25, 50}, Shape::rect()}};
    DrawOp shadow = shapeOp({0, 0, 50, 50}, Shape::circle(), {0, 0, 0, 0.3});
    shadow.kind = DrawOp::Kind::shadow;
    DisplayList list;
    list.size = {50, 50};
    list.ops = {shadow, op};
    std::ostringstream out;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"200\" height=\"50\">";
    SvgRenderer::renderGroup(out, list, {0, 0}, 1, "a");
    SvgRenderer::renderGroup(out, list, {100, 0}, 0.5, "b");
    out << "</svg>";
    auto all = parseSvg(out.str());
    expectReferencesResolve(all);
    std::vector<const SvgElement*> placed;
    for (const SvgElement* g : named(all, "g")) {
        if (g->has("transform")) placed.push_back(g);
    }
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[1]->attr("transform"), "translate(100,0)");
    EXPECT_EQ(placed[1]->num("opacity"), 0.5);
    EXPECT_FALSE(placed[0]->has("opacity"));
    expectWellFormed(out.str());
}

TEST(SvgRendererTest, AViewWithEveryKindOfDrawingRendersToAWellFormedDocument) {
    ManualRuntime rt;
    bool on = true;
    std::string mode = "b";
    Image photo = Image::filled(3, 3, 0x80808080);
    auto root = std::make_shared<ClosureView>([&] {
        return VStack(
                   HorizontalAlignment::leading, 4,
                   {Text("Mail & \"Notes\" <3 \x01\xc0\xbc",
                         {.font = Font::system(13, FontWeight::semibold)}),
                    HStack({RoundedRectangle(6)
                                ->fillWith(Gradient{{Color::blue(), Color::accent().opacity(0.4)}})
                                ->strokeBorder(Color::white(0.5), 1)
                                ->frame(40, 20)
                                ->shadow(Color::black(0.3), 4, 0, 2),
                            Circle()->strokeWith(Color::red(), 2)->frame(20, 20)->opacity(0.5),
                            MaterialView(Material::popover)->frame(30, 20)->clipShape(Shape::capsule()),
                            ProgressSpinner()->scaleEffect(0.5),
                            SymbolImage("xmark.circle.fill", Font::system(14), Color::secondary()),
                            BitmapImage(photo)->resizableImage()->frame(16, 16)->rotationEffect(0.3),
                            IconImage(Image::named("Harbor Mail", 64, 64))->resizableImage()->frame(16, 16)}),
                    Toggle({[&] { return on; }, [&](bool v) { on = v; }}, "Show <labels>"),
                    SegmentedPicker({{"a", "Small"}, {"b", "Medium & up"}},
                                    {[&] { return mode; }, [&](std::string v) { mode = v; }}),
                    ScrollView(Axis::horizontal,
                               HStack({Text("one long line of text that scrolls sideways")}))
                        ->frame(120, 20)})
            ->padding(6)
            ->colorScheme(ColorScheme::dark);
    });
    auto host = std::make_shared<HostingView>(rt, root);
    host->setFrameSize({400, 220});
    host->layoutNow();
    std::string doc = SvgRenderer::render(host->displayList(), {0.1, 0.1, 0.1, 0.9});
    auto all = parseSvg(doc);
    expectReferencesResolve(all);
    EXPECT_FALSE(named(all, "linearGradient").empty());
    EXPECT_FALSE(named(all, "filter").empty());
    EXPECT_FALSE(named(all, "clipPath").empty());
    EXPECT_EQ(named(all, "image").size(), 1u);
    EXPECT_EQ(all[1].name, "rect");  // the background first
    EXPECT_EQ(all[1].num("fill-opacity"), 0.9);
    expectWellFormed(doc);
}

}  // namespace
}  // namespace qv
