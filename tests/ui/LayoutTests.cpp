#include <gtest/gtest.h>

#include <cstdlib>

#include "dispatch/ManualRuntime.h"
#include "ui/FontFaces.h"
#include "ui/HostingView.h"

namespace qv {
namespace {

// Lays `node` out in a view of `size` and returns the display list.
struct Host {
    ManualRuntime rt;
    std::shared_ptr<HostingView> host;
    DisplayList layout(Node node, Size size) {
        host = std::make_shared<HostingView>(rt, std::make_shared<ClosureView>([node] { return node; }));
        host->setFrameSize(size);
        host->layoutNow();
        return host->displayList();
    }
};

Rect regionOf(const DisplayList& list, const std::string& help) {
    for (const HitRegion& r : list.regions) {
        if (r.help == help) return r.frame;
    }
    ADD_FAILURE() << help;
    return {};
}

// A box of a fixed size, findable by its help text.
Node box(const std::string& name, double w, double h) {
    return Rectangle()->frame(w, h)->help(name);
}

TEST(TextMetricsTest, WidthsComeFromTheFacesThePicturesDrawWithAndTruncationKeepsTheHead) {
    // Each weight in the face the viewer matches for it, and what Liberation Sans lacks in DejaVu Sans.
    const auto file = [](char32_t c, FontWeight w) {
        const std::string path = fontfaces::faceFile(c, Font::system(13, w));
        return path.substr(path.rfind('/') + 1);
    };
    ASSERT_EQ(file(U'A', FontWeight::regular), "LiberationSans-Regular.ttf")
        << "fonts-liberation2 is missing (bash scripts/setup.sh installs it)";
    EXPECT_EQ(file(U'A', FontWeight::medium), "LiberationSans-Regular.ttf");
    EXPECT_EQ(file(U'A', FontWeight::semibold), "LiberationSans-Bold.ttf");
    EXPECT_EQ(file(U'\u05E9', FontWeight::regular), "LiberationSans-Regular.ttf");
    EXPECT_EQ(file(U'\u0645', FontWeight::bold), "DejaVuSans-Bold.ttf");
    Font f = Font::system(10);
    // Advances in the face's units of 2048 to the em: a and b 1139, an em dash 2048, Mono 1229.
    EXPECT_DOUBLE_EQ(textmetrics::width("ab", f), 20 * 1139 / 2048.0);
    EXPECT_DOUBLE_EQ(textmetrics::width("\u2014", f), 10);
    EXPECT_DOUBLE_EQ(textmetrics::width("iii", Font::system(10, FontWeight::regular, FontDesign::monospaced)),
                     30 * 1229 / 2048.0);
    EXPECT_GT(textmetrics::width("ab", Font::system(10, FontWeight::bold)), textmetrics::width("ab", f));
    // Shaped as drawn: a kerned pair is narrower than its letters apart; joined Arabic letters take
    // their joining forms, narrower than the same letters alone.
    EXPECT_LT(textmetrics::width("AV", f), textmetrics::advance(U'A', f) + textmetrics::advance(U'V', f));
    double alone = 0;
    for (char32_t c : textmetrics::codePoints("\u0645\u0631\u062D\u0628\u0627")) alone += textmetrics::advance(c, f);
    EXPECT_LT(textmetrics::width("\u0645\u0631\u062D\u0628\u0627", f), alone - 1);
    EXPECT_DOUBLE_EQ(textmetrics::lineHeight(Font::system(13)), 16);

    auto fits = textmetrics::truncateTail("Mail", f, 100);
    EXPECT_EQ(fits.text, "Mail");
    EXPECT_FALSE(fits.truncated);

    auto cut = textmetrics::truncateTail("Harbor Mail", f, 30);
    EXPECT_TRUE(cut.truncated);
    EXPECT_EQ(cut.text, "Har\u2026");  // H .72 a .56 r .33 + ellipsis 1.0 em: 26.1 of 30
    EXPECT_LE(cut.width, 30);
    // A blank before the cut does not stay in front of the ellipsis.
    EXPECT_EQ(textmetrics::truncateTail("ab cdefgh", f, 24.5).text, "ab\u2026");
    // Multi-byte characters are never split.
    EXPECT_EQ(textmetrics::truncateTail("\u00e9\u00e9\u00e9\u00e9\u00e9", f, 22).text, "\u00e9\u00e9\u2026");
}

TEST(TextMetricsTest, TextsHeldWhileTheCacheStartsOverStayWhole) {
    // Far more texts than the cache keeps: it starts over several times, and now and then while a
    // cut still holds the whole title it is shortening.
    const Font f = Font::system(10);
    for (int i = 0; i < 12000; ++i) {
        const std::string number = std::to_string(i);
        textmetrics::width(number, f);  // moves where the starting over falls
        const auto cut = textmetrics::truncateTail(number + " Harbor Mail", f, 60);
        ASSERT_TRUE(cut.truncated);
        ASSERT_EQ(cut.text.rfind(number + " ", 0), 0u) << cut.text;
        ASSERT_LE(cut.width, 60);
        ASSERT_DOUBLE_EQ(cut.width, textmetrics::width(cut.text, f));
    }
}

TEST(TextMetricsTest, WrapBreaksAtSpacesAndTheLastAllowedLineIsCut) {
    Font f = Font::system(10);
    auto lines = textmetrics::wrap("one two three four", f, 40);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "one two");
    EXPECT_EQ(lines[1].text, "three");
    EXPECT_EQ(lines[2].text, "four");
    auto limited = textmetrics::wrap("one two three four", f, 40, 2);
    ASSERT_EQ(limited.size(), 2u);
    EXPECT_TRUE(limited[1].truncated);
    EXPECT_EQ(textmetrics::wrap("a\nb", f, 100).size(), 2u);
    // A blank that would overflow still ends the line before it: the text keeps its two lines at
    // the width of its widest, where a stack places it after measuring it.
    auto two = textmetrics::wrap("one two three", f, 36);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].text, "one two");
    EXPECT_EQ(textmetrics::wrap("one two three", f, two[0].width).size(), 2u);
}

TEST(TextMetricsTest, TextIsMeasuredAsTheViewerDrawsIt) {
    const Font f = Font::system(10);
    for (const char* odd : {"a\u2028b", "a\u2029b", "a\u0085b"})  // one line: a blank in their place
        EXPECT_DOUBLE_EQ(textmetrics::width(odd, f), textmetrics::width("a b", f)) << odd;
    // A blank before a letter of the first face takes that face (569 units), one between two
    // letters of the fallback face takes theirs (651).
    const std::string hy = "\u0561";
    EXPECT_DOUBLE_EQ(textmetrics::width(hy + " x", f) - textmetrics::width(hy + "x", f), 10 * 569 / 2048.0);
    EXPECT_DOUBLE_EQ(textmetrics::width(hy + " " + hy, f) - textmetrics::width(hy + hy, f),
                     10 * 651 / 2048.0);
    // Both directions in one text: wrapped at its own width, it keeps its one line.
    const std::string mixed = "W a  \u0645\u0631\u062D\u0628\u0627";
    EXPECT_EQ(textmetrics::wrap(mixed, f, textmetrics::width(mixed, f)).size(), 1u);
    // Bounded by bytes: ten titles of 100 KB take 18 MB shaped.
    for (char c = 'a'; c < 'k'; ++c) textmetrics::width(c + std::string(100'000, 'x'), f);
    EXPECT_LT(textmetrics::cachedBytes(), size_t(12) << 20);
}

TEST(FontFacesTest, TextIsMeasuredWithTheFacesFontconfigGivesWhicheverAreInstalled) {
    // Run again with DejaVu alone (tests/CMakeLists.txt), where a fixed table measured before.
    ASSERT_FALSE(fontfaces::faceFile(U'a', Font::system(10)).empty());
    if (!std::getenv("QV_DEJAVU_ONLY")) return;
    EXPECT_DOUBLE_EQ(textmetrics::width("aa", Font::system(10)), 20 * 1255 / 2048.0);
}

TEST(LayoutTest, HStackPutsSpacingBetweenChildrenAndAlignsThemVertically) {
    Host h;
    auto list =
        h.layout(HStack(VerticalAlignment::top, 10, {box("a", 20, 10), box("b", 30, 40), box("c", 5, 20)}),
                 {200, 100});
    // The stack is 75 wide and 40 high, centred in the view.
    EXPECT_EQ(regionOf(list, "a"), (Rect{62.5, 30, 20, 10}));
    EXPECT_EQ(regionOf(list, "b"), (Rect{92.5, 30, 30, 40}));
    EXPECT_EQ(regionOf(list, "c"), (Rect{132.5, 30, 5, 20}));

    list = h.layout(HStack(VerticalAlignment::bottom, 0, {box("a", 20, 10), box("b", 30, 40)}), {50, 40});
    EXPECT_EQ(regionOf(list, "a"), (Rect{0, 30, 20, 10}));
}

TEST(LayoutTest, VStackAlignsHorizontallyAndSpacersTakeTheRest) {
    Host h;
    auto list =
        h.layout(VStack(HorizontalAlignment::trailing, 4, {box("a", 20, 10), box("b", 60, 10)}), {60, 24});
    EXPECT_EQ(regionOf(list, "a"), (Rect{40, 0, 20, 10}));
    EXPECT_EQ(regionOf(list, "b"), (Rect{0, 14, 60, 10}));

    // A spacer pushes the last child to the far end; its minimum length is kept.
    list = h.layout(HStack(VerticalAlignment::center, 0, {box("a", 20, 10), Spacer(), box("b", 30, 10)}),
                    {200, 10});
    EXPECT_EQ(regionOf(list, "a").minX(), 0);
    EXPECT_EQ(regionOf(list, "b").minX(), 170);
    list = h.layout(HStack(VerticalAlignment::center, 0, {box("a", 20, 10), Spacer(), box("b", 30, 10)}),
                    {50, 10});
    // Too narrow: the spacer still holds its 8 points, so the content is wider than the view.
    EXPECT_EQ(regionOf(list, "b").minX() - regionOf(list, "a").maxX(), 8);
}

TEST(LayoutTest, FlexibleFramesFollowTheirMinimumMaximumAndInfiniteBounds) {
    Host h;
    // maxWidth infinity takes all the offered width; the content is aligned inside.
    auto list =
        h.layout(box("a", 20, 10)
                     ->frame(Element::FlexFrame{.maxWidth = kInfinity, .alignment = Alignment::leading()})
                     ->help("frame"),
                 {300, 50});
    EXPECT_EQ(regionOf(list, "frame"), (Rect{0, 20, 300, 10}));
    EXPECT_EQ(regionOf(list, "a"), (Rect{0, 20, 20, 10}));

    // A minimum larger than the content wins; a maximum caps what is offered.
    list = h.layout(box("a", 20, 10)->frame(Element::FlexFrame{.minWidth = 50})->help("min"), {300, 50});
    EXPECT_EQ(regionOf(list, "min").width(), 50);
    list = h.layout(Rectangle()->frame(Element::FlexFrame{.maxWidth = 80, .maxHeight = 20})->help("max"),
                    {300, 50});
    EXPECT_EQ(regionOf(list, "max"), (Rect{110, 15, 80, 20}));

    // Both bounds: the proposal clamped into them, whatever the content.
    list = h.layout(box("a", 5, 5)->frame(Element::FlexFrame{.minWidth = 10, .maxWidth = 40})->help("both"),
                    {300, 50});
    EXPECT_EQ(regionOf(list, "both").width(), 40);

    // Two infinite frames in a row share the width evenly beside a fixed child.
    list = h.layout(
        HStack(VerticalAlignment::center, 0,
               {Rectangle()->frame(Element::FlexFrame{.maxWidth = kInfinity})->help("l"), box("m", 40, 10),
                Rectangle()->frame(Element::FlexFrame{.maxWidth = kInfinity})->help("r")}),
        {240, 10});
    EXPECT_EQ(regionOf(list, "l").width(), 100);
    EXPECT_EQ(regionOf(list, "m").minX(), 100);
    EXPECT_EQ(regionOf(list, "r").width(), 100);
}

TEST(LayoutTest, PaddingPerEdgeAndFixedSizesAddUp) {
    Host h;
    auto list = h.layout(box("a", 20, 10)->padding(EdgeInsets{1, 2, 3, 4})->help("pad"), {26, 14});
    EXPECT_EQ(regionOf(list, "pad"), (Rect{0, 0, 26, 14}));
    EXPECT_EQ(regionOf(list, "a"), (Rect{2, 1, 20, 10}));

    // A fixed frame ignores the offered size; its content is centred by default.
    list = h.layout(box("a", 10, 10)->frame(30, 20)->help("f"), {100, 100});
    EXPECT_EQ(regionOf(list, "f"), (Rect{35, 40, 30, 20}));
    EXPECT_EQ(regionOf(list, "a"), (Rect{45, 45, 10, 10}));
    // Only the height fixed: the width follows the content.
    list = h.layout(box("a", 10, 10)->frame(std::nullopt, 20, Alignment::top())->help("f"), {100, 100});
    EXPECT_EQ(regionOf(list, "f"), (Rect{45, 40, 10, 20}));
    EXPECT_EQ(regionOf(list, "a").minY(), 40);
}

// The platform's regular push button is 20 points tall, whichever bordered style it wears.
TEST(LayoutTest, BorderedButtonsAreTheRegularControlHeight) {
    Host h;
    auto list = h.layout(HStack(VerticalAlignment::center, 8,
                                {Button("Quit", [] {}, ButtonStyle::bordered)->help("quit"),
                                 Button("Continue", [] {}, ButtonStyle::borderedProminent)->help("go")}),
                         {300, 100});
    EXPECT_EQ(regionOf(list, "quit").height(), 20);
    EXPECT_EQ(regionOf(list, "go").height(), 20);
}

TEST(LayoutTest, TextIsTruncatedAtItsTailWithinItsFrameAndWrapsWithoutALineLimit) {
    Host h;
    Font f = Font::system(10);
    auto list =
        h.layout(Text("Harbor Mail", {.font = f, .lineLimit = 1})->frame(Element::FlexFrame{.maxWidth = 30}),
                 {200, 20});
    const DrawOp* op = list.texts().front();
    EXPECT_TRUE(op->truncated);
    EXPECT_EQ(op->joinedText(), "Har\u2026");
    EXPECT_LE(op->frame.width(), 30);

    list =
        h.layout(Text("one two three four", {.font = f})->frame(40, 60, Alignment::topLeading()), {100, 100});
    op = list.texts().front();
    EXPECT_EQ(op->lines, (std::vector<std::string>{"one two", "three", "four"}));
    EXPECT_EQ(op->frame.height(), 36);

    // A text in a wide frame keeps its ideal width and is not cut.
    list = h.layout(Text("Mail", {.font = f})->frame(200, 20), {200, 20});
    EXPECT_FALSE(list.texts().front()->truncated);
    EXPECT_NEAR(list.texts().front()->frame.width(), textmetrics::width("Mail", f), 1e-9);

    // Offered a hair less than its width, a text is drawn as it was measured: cut.
    const double offered = textmetrics::width("Harbor Mail", f) - 5e-7;
    list = h.layout(Text("Harbor Mail", {.font = f, .lineLimit = 1})->frame(offered, 20), {200, 20});
    EXPECT_EQ(list.texts().front()->joinedText(), textmetrics::truncateTail("Harbor Mail", f, offered).text);
}

TEST(LayoutTest, BackgroundsTakeTheContentsFrameAndZIndexReordersDrawing) {
    Host h;
    auto list = h.layout(
        Text("Hi", {.font = Font::system(10)})
            ->padding(4)
            ->background(RoundedRectangle(3)->fillWith(Color::red()))
            ->overlay(Rectangle()->fillWith(Color::blue())->frame(std::nullopt, 1), Alignment::bottom()),
        {100, 100});
    ASSERT_EQ(list.ops.size(), 3u);
    EXPECT_EQ(list.ops[0].kind, DrawOp::Kind::shape);  // behind the text
    EXPECT_EQ(list.ops[1].kind, DrawOp::Kind::text);
    EXPECT_EQ(list.ops[0].frame.width(), list.ops[1].frame.width() + 8);
    EXPECT_EQ(list.ops[2].frame.height(), 1);
    EXPECT_EQ(list.ops[2].frame.maxY(), list.ops[0].frame.maxY());

    list =
        h.layout(HStack(VerticalAlignment::center, 0, {Text("first")->zIndex(1), Text("second")}), {200, 20});
    EXPECT_EQ(list.texts()[0]->joinedText(), "second");
    EXPECT_EQ(list.texts()[1]->joinedText(), "first");
}

TEST(LayoutTest, ModifiersTransformTheirSubtree) {
    Host h;
    auto list = h.layout(box("a", 20, 20)->scaleEffect(1.5)->offset(10, 0)->opacity(0.5)->frame(100, 100),
                         {100, 100});
    // Scaled about its centre (50, 50), then moved right.
    EXPECT_EQ(regionOf(list, "a"), (Rect{45, 35, 30, 30}));
    ASSERT_EQ(list.ops.size(), 1u);
    EXPECT_DOUBLE_EQ(list.ops[0].opacity, 0.5);

    list = h.layout(box("a", 20, 20)->clipShape(Shape::roundedRect(4))->frame(100, 100), {100, 100});
    ASSERT_EQ(list.ops[0].clips.size(), 1u);
    EXPECT_EQ(list.ops[0].clips[0].rect, (Rect{40, 40, 20, 20}));

    // Adaptive colours resolve against the environment's colour scheme.
    list = h.layout(Rectangle()->fillWith(Color::primary())->colorScheme(ColorScheme::dark), {10, 10});
    EXPECT_EQ(list.ops[0].fill->color.r, 1);
    list = h.layout(Rectangle()->fillWith(Color::primary())->colorScheme(ColorScheme::light), {10, 10});
    EXPECT_EQ(list.ops[0].fill->color.r, 0);
}

TEST(LayoutTest, HorizontalScrollViewTakesTheWidthOfferedAndShowsItsContentAtIdealSize) {
    Host h;
    std::vector<Node> items;
    for (int i = 0; i < 5; ++i) items.push_back(box("i" + std::to_string(i), 50, 20));
    auto controller = std::make_shared<ScrollController>();
    Node node = ScrollView(Axis::horizontal, HStack(VerticalAlignment::center, 10, std::move(items)),
                           {.controller = controller});
    auto list = h.layout(node, {120, 20});
    EXPECT_EQ(regionOf(list, "i0"), (Rect{0, 0, 50, 20}));
    EXPECT_EQ(regionOf(list, "i4").minX(), 240);
    ASSERT_FALSE(list.ops.empty());
    EXPECT_EQ(list.ops[0].clips.back().rect, (Rect{0, 0, 120, 20}));

    // Scrolled to a child by id, centred where the content allows.
    node = ScrollView(Axis::horizontal,
                      HStack(VerticalAlignment::center, 10,
                             {box("i0", 50, 20)->id("a"), box("i1", 50, 20)->id("b"),
                              box("i2", 50, 20)->id("c"), box("i3", 50, 20)->id("d")}),
                      {.controller = controller});
    controller->scrollTo("c", UnitPoint::center());
    list = h.layout(node, {120, 20});
    EXPECT_EQ(controller->offset().x, 85);  // child c spans 120...170: its centre 145 less half the view
    EXPECT_EQ(regionOf(list, "i2").minX(), 35);
    controller->scrollTo("d", UnitPoint::leading());
    list = h.layout(node, {120, 20});
    EXPECT_EQ(controller->offset().x, 110);  // clamped to the end: 230 - 120
}

}  // namespace
}  // namespace qv
