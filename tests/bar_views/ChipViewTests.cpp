#include <gtest/gtest.h>

#include "bar_views/BarRowFixture.h"
#include "bar_views/ChipView.h"
#include "bar_views/GroupedChipView.h"
#include "bar_views/PinnedChipView.h"

namespace qv {
namespace {

class ChipViewTest : public testing::BarRowFixture {
  protected:
    ChipData chip;
    bool focused = false;
    std::vector<std::tuple<bool, Rect, std::optional<Rect>, Point>> reports;

    void show() {
        chip.appName = "Harbor Mail";
        chip.icon = std::make_shared<const Image>(Image::named("Harbor Mail", 64, 64));
        showBar([this] {
            return row({ChipView{
                .windowing = sim.platform().windowing,
                .chip = chip,
                .metrics = metrics,
                .isFocused = focused,
                .onHoverChanged = [this](bool h, Rect c, std::optional<Rect> w, Point p) {
                    reports.emplace_back(h, c, w, p);
                }}.body()});
        });
    }
    // The first drawn op of a kind: the body is the first filled shape, the pulse's outline the
    // only accent stroke.
    const DrawOp* find(bool accentStroke) const {
        for (const DrawOp& op : host->displayList().ops) {
            if (accentStroke ? op.stroke && op.stroke->color == Color::accent().resolve(ColorScheme::light)
                             : op.fill && op.shape.kind == ShapeKind::roundedRectangle)
                return &op;
        }
        return nullptr;
    }
};

TEST_F(ChipViewTest, TheWholeHeightOfTheBarIsTheChipsHoverArea) {
    show();
    const DrawOp* body = find(false);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->frame.height(), metrics.chipHeight);
    Point above = onScreen({body->frame.midX(), body->frame.minY() - 1});
    sim.mouseMove(above);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], std::make_tuple(true, body->frame, std::optional<Rect>(bar->frame()), above));
    sim.mouseMove({700, 400});
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_FALSE(std::get<0>(reports[1]));
}

TEST_F(ChipViewTest, AnUnfocusedChipPulsesWhileItsAppWantsAttention) {
    chip.wantsAttention = true;
    show();  // shown pulsing: it starts at once
    EXPECT_EQ(find(true)->lineWidth, 2.5);
    EXPECT_NEAR(find(true)->opacity, 0.9, 1e-9);
    ASSERT_EQ(host->animations().size(), 1u);
    EXPECT_EQ(host->animations()[0].animation, Animation::easeInOut(0.8).repeatingForever(true));
    EXPECT_NEAR(find(false)->fill->color.a, 0.85 * 0.1, 1e-9);

    focused = true;  // the focused window's chip never pulses
    relayout();
    EXPECT_EQ(find(true)->opacity, 0);
    EXPECT_NEAR(find(false)->fill->color.a, 0.85 * 0.2, 1e-9);
    EXPECT_EQ(host->animations().back().animation, Animation::standard());

    focused = false;
    relayout();
    EXPECT_EQ(host->animations().size(), 3u);
    chip.wantsAttention = false;  // the attention clears: the pulse ends for good
    relayout();
    EXPECT_EQ(find(true)->opacity, 0);
    rt.advance(10);
    EXPECT_EQ(host->animations().size(), 4u);  // no timer flips it
    EXPECT_TRUE(host->activeAnimations().empty());
}

TEST_F(ChipViewTest, APinnedChipKeepsItsIconAndAWideBadgeInItsOwnSquare) {
    metrics = BarMetrics::forSize(BarSize::small);
    showBar([this] {
        return row({PinnedChipView{.windowing = sim.platform().windowing,
                                   .runtime = rt,
                                   .bundleID = "com.example.atlas",
                                   .appName = "Atlas",
                                   .icon = std::make_shared<const Image>(Image::named("Atlas", 64, 64)),
                                   .metrics = metrics,
                                   .badge = "1234"}
                        .body()});
    });
    Rect square, icon, badge;  // the square is filled with the primary colour at 0.06
    const RGBA squareFill = Color::primary().opacity(0.06).resolve(ColorScheme::light);
    for (const DrawOp& op : host->displayList().ops) {
        if (op.kind == DrawOp::Kind::image) icon = op.frame;
        if (op.fill && op.fill->color == squareFill && op.opacity > 0) square = op.frame;
        if (op.fill && op.shape.kind == ShapeKind::capsule) badge = op.frame;
    }
    EXPECT_TRUE(square.contains(icon)) << icon;
    EXPECT_TRUE(square.contains(badge)) << badge;
}

TEST_F(ChipViewTest, TheGroupSeparatorIsDrawnFainterOnALightBar) {
    GroupedChipData group;
    group.appName = group.displayTitle = "Harbor Mail";
    group.windowCount = 2;
    bool light = true;
    showBar([&] {
        return row({GroupedChipView{
            .windowing = sim.platform().windowing, .group = group, .metrics = metrics, .usesLightBar = light}
                        .body()});
    });
    // The separator is the only shape one point wide.
    auto separatorAlpha = [&] {
        for (const DrawOp& op : host->displayList().ops) {
            if (op.fill && op.shape.kind == ShapeKind::rectangle && op.frame.width() == 1)
                return op.fill->color.a;
        }
        return -1.0;
    };
    EXPECT_NEAR(separatorAlpha(), Color::primary().opacity(0.18).resolve(ColorScheme::light).a, 1e-9);
    light = false;
    relayout();
    EXPECT_NEAR(separatorAlpha(), Color::primary().opacity(0.3).resolve(ColorScheme::light).a, 1e-9);
}

}  // namespace
}  // namespace qv
