#include <gtest/gtest.h>

#include "support/HostedView.h"

namespace qv {
namespace {

class ScrollViewTest : public testing::HostedView {
  protected:
    int rows = 10;
    std::shared_ptr<ScrollController> controller = std::make_shared<ScrollController>();
    std::shared_ptr<ClosureView> view;
    std::vector<std::string> taps;

    // Rows 20 points high, 100 wide, each with an id, a help text and a tap handler.
    Node column(const std::string& prefix, int count) {
        std::vector<Node> items;
        for (int i = 0; i < count; ++i) {
            std::string name = prefix + std::to_string(i);
            items.push_back(Rectangle()
                                ->fillWith(Color::gray())
                                ->frame(100, 20)
                                ->help(name)
                                ->onTapGesture([this, name] { taps.push_back(name); })
                                ->id(name));
        }
        return VStack(HorizontalAlignment::center, 0, std::move(items));
    }
    void show(std::function<Node()> build, Size size) {
        view = std::make_shared<ClosureView>(std::move(build));
        present(view, size);
    }
    void showColumn(Size size = {100, 60}) {
        show([this] { return ScrollView(Axis::vertical, column("row", rows), {.controller = controller}); },
             size);
    }
    Rect frameOf(const std::string& help) const {
        for (const HitRegion& r : host->displayList().regions) {
            if (r.help == help) return r.frame;
        }
        ADD_FAILURE() << help;
        return {};
    }
    void scrollTo(const std::string& id, UnitPoint anchor,
                  std::optional<Animation> animation = std::nullopt) {
        controller->scrollTo(id, anchor, animation);
        host->setNeedsUpdate();
        rt.runUntilIdle();
    }
    std::vector<AnimationRecord> scrollAnimations() const {
        std::vector<AnimationRecord> out;
        for (const auto& a : host->animations()) {
            if (a.target.ends_with("#scroll")) out.push_back(a);
        }
        return out;
    }
};

TEST_F(ScrollViewTest, TheWheelMovesTheContentWithinItsRangeAndAShrinkingContentPullsItBack) {
    showColumn();
    EXPECT_TRUE(host->scrollWheel({50, 30}, 0, -50));
    rt.runUntilIdle();
    EXPECT_EQ(controller->offset(), (Point{0, 50}));
    EXPECT_EQ(frameOf("row0").minY(), -50);
    host->scrollWheel({50, 30}, 0, -1000);
    rt.runUntilIdle();
    EXPECT_EQ(frameOf("row9").maxY(), 60);  // 200 points of rows in a 60-point view
    EXPECT_EQ(controller->offset().y, 140);
    EXPECT_FALSE(host->scrollWheel({50, 30}, 25, 0));  // a sideways wheel does not move a vertical view
    host->scrollWheel({50, 30}, 0, 1000);
    rt.runUntilIdle();
    EXPECT_EQ(frameOf("row0").minY(), 0);

    // Rows removed while scrolled to the end: the offset follows the new end.
    host->scrollWheel({50, 30}, 0, -1000);
    rt.runUntilIdle();
    rows = 4;
    host->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(controller->offset().y, 20);
    EXPECT_EQ(frameOf("row3").maxY(), 60);
    // Content that fits has nothing to scroll.
    rows = 2;
    host->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(controller->offset().y, 0);
    EXPECT_FALSE(host->scrollWheel({50, 30}, 0, -10));
    EXPECT_FALSE(host->scrollWheel({50, 100}, 0, -10));  // outside the scroll view
}

TEST_F(ScrollViewTest, ContentScrolledOutOfTheViewIsClippedForDrawingAndClicks) {
    show(
        [this] {
            return VStack(
                HorizontalAlignment::center, 0,
                {Rectangle()->fillWith(Color::white())->frame(100, 20),
                 ScrollView(Axis::vertical, column("row", rows), {.controller = controller})->frame(100, 40),
                 Rectangle()->fillWith(Color::white())->frame(100, 20)});
        },
        {100, 80});
    host->scrollWheel({50, 40}, 0, -30);
    rt.runUntilIdle();
    // Row 1 now stands half under the header, row 3 half under the footer.
    EXPECT_EQ(frameOf("row1"), (Rect{0, 10, 100, 20}));
    auto drawn = host->displayList().opsAt("#row1/m/m/m/m");
    ASSERT_EQ(drawn.size(), 1u);
    ASSERT_EQ(drawn[0]->clips.size(), 1u);
    EXPECT_EQ(drawn[0]->clips[0].rect, (Rect{0, 20, 100, 40}));
    for (Point p : {Point{50, 15}, Point{50, 65}}) {
        host->mouseDown(p);
        host->mouseUp(p);
    }
    EXPECT_TRUE(taps.empty());  // the header and footer, not the rows beneath them
    host->mouseDown({50, 25});
    host->mouseUp({50, 25});
    EXPECT_EQ(taps, (std::vector<std::string>{"row1"}));
}

TEST_F(ScrollViewTest, ScrollingToAnIdPutsThatChildAtTheAnchorWithinTheRange) {
    showColumn();
    scrollTo("row5", UnitPoint::top());
    EXPECT_EQ(controller->offset().y, 100);
    EXPECT_EQ(frameOf("row5").minY(), 0);
    scrollTo("row5", UnitPoint::center());
    EXPECT_EQ(frameOf("row5").midY(), 30);
    scrollTo("row5", UnitPoint::bottom());
    EXPECT_EQ(frameOf("row5").maxY(), 60);
    scrollTo("row9", UnitPoint::top());  // would leave empty space below: clamped to the end
    EXPECT_EQ(controller->offset().y, 140);
    scrollTo("row0", UnitPoint::bottom());  // clamped to the start
    EXPECT_EQ(controller->offset().y, 0);
    scrollTo("row7", UnitPoint::center());
    EXPECT_EQ(controller->offset().y, 120);
    scrollTo("no such row", UnitPoint::top());
    EXPECT_EQ(controller->offset().y, 120);
    EXPECT_TRUE(scrollAnimations().empty());

    // The request is done once: the user's scrolling afterwards is not undone by later layouts.
    host->scrollWheel({50, 30}, 0, 100);
    rt.runUntilIdle();
    host->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(controller->offset().y, 20);
}

TEST_F(ScrollViewTest, AnAnimatedScrollIsRecordedFromWhereItWasToWhereItGoes) {
    showColumn();
    rt.advance(1);
    scrollTo("row4", UnitPoint::top(), Animation::easeOut(0.12));
    EXPECT_EQ(controller->offset().y, 80);  // the content stands at the target at once
    auto records = scrollAnimations();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::stod(records[0].fromValue), 0);
    EXPECT_EQ(std::stod(records[0].toValue), 80);
    EXPECT_EQ(records[0].animation, Animation::easeOut(0.12));
    EXPECT_EQ(records[0].startTime, 1);
    ASSERT_EQ(host->activeAnimations().size(), 1u);
    rt.advance(0.119);
    EXPECT_EQ(host->activeAnimations().size(), 1u);
    rt.advance(0.002);
    EXPECT_TRUE(host->activeAnimations().empty());

    // Already there: nothing to animate. A new move replaces a running one.
    scrollTo("row4", UnitPoint::top(), Animation::easeOut(0.12));
    EXPECT_EQ(scrollAnimations().size(), 1u);
    scrollTo("row6", UnitPoint::top(), Animation::easeOut(0.12));
    rt.advance(0.05);
    scrollTo("row2", UnitPoint::top(), Animation::easeOut(0.12));
    records = scrollAnimations();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(records[1].completed);
    EXPECT_EQ(std::stod(records[2].fromValue), 120);
    EXPECT_EQ(std::stod(records[2].toValue), 40);
    EXPECT_EQ(host->activeAnimations().size(), 1u);
}

TEST_F(ScrollViewTest, AHorizontalViewScrollsToItsChildAlongItsOwnAxis) {
    show(
        [this] {
            std::vector<Node> items;
            for (int i = 0; i < 8; ++i) {
                items.push_back(Rectangle()
                                    ->frame(50, 20)
                                    ->help("tile" + std::to_string(i))
                                    ->id("tile" + std::to_string(i)));
            }
            return ScrollView(Axis::horizontal, HStack(VerticalAlignment::center, 0, std::move(items)),
                              {.controller = controller});
        },
        {120, 20});
    scrollTo("tile3", UnitPoint::center());
    EXPECT_EQ(controller->offset(), (Point{115, 0}));  // its middle (175) at the view's middle (60)
    EXPECT_EQ(frameOf("tile3").midX(), 60);
    EXPECT_EQ(frameOf("tile3").minY(), 0);  // nothing moves across the axis
    scrollTo("tile7", UnitPoint::leading());
    EXPECT_EQ(controller->offset().x, 280);
}

TEST_F(ScrollViewTest, NestedScrollViewsBothFollowRequestsMadeInTheSameTurn) {
    auto inner = std::make_shared<ScrollController>();
    show(
        [this, inner] {
            std::vector<Node> tiles;
            for (int i = 0; i < 6; ++i) {
                std::string name = "tile" + std::to_string(i);
                tiles.push_back(Rectangle()->frame(50, 20)->help(name)->id(name));
            }
            Node strip = ScrollView(Axis::horizontal, HStack(VerticalAlignment::center, 0, std::move(tiles)),
                                    {.controller = inner})
                             ->frame(100, 20);
            return ScrollView(
                Axis::vertical,
                VStack(HorizontalAlignment::center, 0, {column("row", 5), strip, column("low", 5)}),
                {.controller = controller});
        },
        {100, 60});
    controller->scrollTo("low2", UnitPoint::top());
    inner->scrollTo("tile4", UnitPoint::leading());
    host->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(controller->offset().y, 160);
    EXPECT_EQ(inner->offset().x, 200);
    EXPECT_EQ(frameOf("low2").minY(), 0);
    EXPECT_EQ(frameOf("tile4").minX(), 0);
    // Scrolled out of sight, the strip still keeps its own offset.
    EXPECT_LT(frameOf("tile4").maxY(), 0);
}

TEST_F(ScrollViewTest, AViewWithoutAControllerKeepsItsOffsetAcrossEvaluations) {
    int generation = 0;
    show(
        [&] {
            return ScrollView(Axis::vertical, VStack(HorizontalAlignment::center, 0,
                                                     {Text("generation " + std::to_string(generation)),
                                                      column("row", rows)}));
        },
        {100, 60});
    host->scrollWheel({50, 30}, 0, -45);
    rt.runUntilIdle();
    double row0 = frameOf("row0").minY();
    ++generation;
    host->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(frameOf("row0").minY(), row0);
    EXPECT_LT(row0, 0);
}

}  // namespace
}  // namespace qv
