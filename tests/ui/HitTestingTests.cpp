#include <gtest/gtest.h>

#include "support/HostedView.h"

namespace qv {
namespace {

class HitTestingTest : public testing::HostedView {
  protected:
    std::vector<std::string> log;

    void show(Node node, Size size) {
        present(std::make_shared<ClosureView>([node] { return node; }), size);
    }
    // A filled box that logs its taps.
    Node box(const std::string& name, Color color, double w = 60, double h = 40) {
        return Rectangle()->fillWith(color)->frame(w, h)->onTapGesture([this, name] { log.push_back(name); });
    }
    // Where the op filled with `color` stands in drawing order, or -1.
    int drawIndex(Color color) const {
        RGBA c = color.resolve(ColorScheme::light);
        for (size_t i = 0; i < list().ops.size(); ++i) {
            const DrawOp& op = list().ops[i];
            if (op.kind == DrawOp::Kind::shape && op.fill && op.fill->color == c) return int(i);
        }
        return -1;
    }
    const DrawOp* shadow() const {
        for (const DrawOp& op : list().ops) {
            if (op.kind == DrawOp::Kind::shadow) return &op;
        }
        return nullptr;
    }
};

// --- Z-index ---

TEST_F(HitTestingTest, AHigherZIndexDrawsASiblingAboveLaterOnesAndGivesItTheClick) {
    show(ZStack(Alignment::topLeading(),
                {box("red", Color::red())->zIndex(1), box("blue", Color::blue())->offset(30, 0)})
             ->frame(100, 40, Alignment::topLeading()),
         {100, 40});
    EXPECT_GT(drawIndex(Color::red()), drawIndex(Color::blue()));
    click({45, 20});  // where they overlap
    click({80, 20});
    click({10, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"red", "blue", "red"}));

    // Without it the later sibling is above.
    log.clear();
    show(
        ZStack(Alignment::topLeading(), {box("red", Color::red()), box("blue", Color::blue())->offset(30, 0)})
            ->frame(100, 40, Alignment::topLeading()),
        {100, 40});
    EXPECT_LT(drawIndex(Color::red()), drawIndex(Color::blue()));
    click({45, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"blue"}));

    // Negative and equal indices keep their places in the stack.
    log.clear();
    // Overlapping neighbours in a stack: a negative index sends the second one below the first,
    // however deep in its modifiers the index is given; equal indices keep the order of the code.
    show(HStack(VerticalAlignment::center, -20,
                {box("red", Color::red()), box("blue", Color::blue())->zIndex(-1)->padding(0),
                 box("green", Color::green())}),
         {200, 40});
    EXPECT_LT(drawIndex(Color::blue()), drawIndex(Color::red()));
    EXPECT_LT(drawIndex(Color::red()), drawIndex(Color::green()));
    // The layout itself does not change: red 30...90, blue 70...130, green 110...170.
    click({80, 20});
    click({120, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"red", "green"}));
    log.clear();
    show(HStack(VerticalAlignment::center, -20,
                {box("red", Color::red())->zIndex(2), box("blue", Color::blue())->zIndex(2)}),
         {200, 40});
    click({100, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"blue"}));

    // A z-index orders only the siblings of its own stack.
    log.clear();
    show(ZStack(Alignment::topLeading(),
                {ZStack({box("red", Color::red())->zIndex(10)}), box("blue", Color::blue())->offset(30, 0)})
             ->frame(100, 40, Alignment::topLeading()),
         {100, 40});
    EXPECT_LT(drawIndex(Color::red()), drawIndex(Color::blue()));
    click({45, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"blue"}));
}

// --- Hit testing switched off ---

TEST_F(HitTestingTest, AnOverlayThatTakesNoHitsLetsClicksAndHoverThroughToTheViewBeneath) {
    bool overlayHovered = false;
    Node badge = Text("3")
                     ->padding(4)
                     ->background(Capsule()->fillWith(Color::red()))
                     ->onHover([&](bool on) { overlayHovered = on; })
                     ->onTapGesture([this] { log.push_back("badge"); })
                     ->help("badge")
                     ->allowsHitTesting(false);
    show(box("chip", Color::gray(), 100, 40)->help("chip")->overlay(badge, Alignment::topTrailing()),
         {100, 40});
    // The badge is drawn, but has no hit regions of its own.
    EXPECT_TRUE(list().findText("3"));
    EXPECT_GE(drawIndex(Color::red()), 0);
    for (const HitRegion& r : list().regions) EXPECT_EQ(r.path.find("/ov"), std::string::npos) << r.path;
    Point onBadge{95, 5};
    host->mouseMoved(onBadge);
    click(onBadge);
    EXPECT_FALSE(overlayHovered);
    EXPECT_EQ(log, (std::vector<std::string>{"chip"}));
    EXPECT_EQ(host->helpText(onBadge), "chip");
    // The view still answers the window there: the click lands in it, then passes to the chip.
    EXPECT_TRUE(host->hitTest(onBadge));
}

TEST_F(HitTestingTest, HitTestingSwitchedOffCannotBeSwitchedOnAgainInside) {
    show(ZStack({box("base", Color::gray(), 100, 40),
                 box("inner", Color::red(), 50, 20)->allowsHitTesting(true)->allowsHitTesting(false)}),
         {100, 40});
    click({50, 20});
    show(ZStack({box("base", Color::gray(), 100, 40), box("inner", Color::red(), 50, 20)
                                                          ->allowsHitTesting(false)
                                                          ->padding(0)
                                                          ->allowsHitTesting(true)}),
         {100, 40});
    click({50, 20});
    EXPECT_EQ(log, (std::vector<std::string>{"base", "base"}));
}

// --- Content shapes ---

TEST_F(HitTestingTest, AContentShapeBoundsTheGesturesGivenAboveIt) {
    std::vector<std::string> hovers;
    show(Rectangle()
             ->fillWith(Color::clear())
             ->frame(40, 40)
             ->contentShape(Shape::circle())
             ->onHover([&](bool on) { hovers.push_back(on ? "in" : "out"); })
             ->onTapGesture([this] { log.push_back("close"); }),
         {40, 40});
    click({3, 3});  // inside the frame, outside the circle
    EXPECT_TRUE(log.empty());
    click({20, 20});
    click({20, 2});  // the circle's top
    EXPECT_EQ(log, (std::vector<std::string>{"close", "close"}));
    // The clicks left the pointer over the circle; its corner of the frame is outside.
    hovers.clear();
    host->mouseMoved({37, 37});
    host->mouseMoved({36, 36});
    host->mouseMoved({30, 30});
    host->mouseMoved({38, 2});
    EXPECT_EQ(hovers, (std::vector<std::string>{"out", "in", "out"}));
    EXPECT_FALSE(host->hitTest({3, 3}));
    EXPECT_TRUE(host->hitTest({20, 20}));
}

TEST_F(HitTestingTest, AContentShapeMakesTheEmptyPartsOfAViewTakeThePointer) {
    Node row = HStack({Text("Label"), Spacer()})->frame(200, 30);
    show(row, {200, 30});
    EXPECT_FALSE(host->hitTest({150, 15}));  // nothing drawn, nothing to hit: the window lets it through
    EXPECT_TRUE(host->hitTest({10, 15}));    // the label
    show(row->contentShape(), {200, 30});
    EXPECT_TRUE(host->hitTest({150, 15}));
    EXPECT_FALSE(host->hitTest({250, 15}));  // beyond the view's bounds
    show(row->contentShape(Shape::capsule()), {200, 30});
    EXPECT_FALSE(host->hitTest({199, 1}));  // the capsule's rounded end
    EXPECT_TRUE(host->hitTest({185, 15}));
}

// --- Shadows ---

TEST_F(HitTestingTest, AShadowIsDrawnBeneathItsContentOffsetAndBlurred) {
    show(RoundedRectangle(8)->fillWith(Color::white())->frame(80, 40)->shadow(Color::black(0.4), 6, 20, 3),
         {200, 100});
    const DrawOp* s = shadow();
    ASSERT_TRUE(s);
    EXPECT_LT(s, &list().ops[size_t(drawIndex(Color::white()))]);
    const Rect content = list().ops[size_t(drawIndex(Color::white()))].frame;
    EXPECT_EQ(content, (Rect{60, 30, 80, 40}));
    EXPECT_EQ(s->frame, content.offsetBy(20, 3));
    EXPECT_EQ(s->blur, 6);
    EXPECT_EQ(s->fill->color, (RGBA{0, 0, 0, 0.4}));
    EXPECT_EQ(s->shape, Shape::roundedRect(8));  // the shape seen through its frame
    // A shadow does not take the pointer where the content is not.
    EXPECT_FALSE(host->hitTest({150, 50}));
    EXPECT_TRUE(host->hitTest({100, 50}));
}

TEST_F(HitTestingTest, AShadowFollowsTheOutlineOfClippedOrBackedContent) {
    show(Rectangle()
             ->fillWith(Color::blue())
             ->frame(80, 40)
             ->clipShape(Shape::roundedRect(10))
             ->shadow(Color::black(0.3), 4),
         {100, 50});
    ASSERT_TRUE(shadow());
    EXPECT_EQ(shadow()->shape, Shape::roundedRect(10));
    show(Text("Card")
             ->padding(10)
             ->background(RoundedRectangle(12)->fillWith(Color::white()))
             ->shadow(Color::black(0.2), 8),
         {100, 50});
    ASSERT_TRUE(shadow());
    EXPECT_EQ(shadow()->shape, Shape::roundedRect(12));
    EXPECT_EQ(shadow()->frame, list().ops[size_t(drawIndex(Color::white()))].frame);
    show(Circle()->fillWith(Color::red())->frame(30, 30)->shadow(Color::black(0.2), 2), {100, 50});
    EXPECT_EQ(shadow()->shape, Shape::circle());
    // Text alone has no outline to follow: its frame is the shadow's.
    show(Text("Plain")->shadow(Color::black(0.2), 2), {100, 50});
    ASSERT_TRUE(shadow());
    EXPECT_EQ(shadow()->shape, Shape::rect());
    EXPECT_EQ(shadow()->frame, list().findText("Plain")->frame);
}

TEST_F(HitTestingTest, AShadowTakesTheOpacityScaleAndSchemeOfItsPlace) {
    show(RoundedRectangle(4)
             ->fillWith(Color::white())
             ->frame(40, 20)
             ->shadow(Color::primary().opacity(0.5), 3, 0, 2)
             ->opacity(0.5)
             ->scaleEffect(2, UnitPoint::topLeading())
             ->colorScheme(ColorScheme::dark),
         {40, 20});
    const DrawOp* s = shadow();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->opacity, 0.5);
    EXPECT_EQ(s->frame, (Rect{0, 4, 80, 40}));  // the offset is scaled with the content
    EXPECT_EQ(s->fill->color, Color::primary().opacity(0.5).resolve(ColorScheme::dark));
    EXPECT_EQ(s->fill->color.r, 1);  // a light shadow on a dark scheme
}

}  // namespace
}  // namespace qv
