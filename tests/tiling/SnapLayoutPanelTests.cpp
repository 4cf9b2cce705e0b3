#include <gtest/gtest.h>

#include "support/SimDesktops.h"
#include "tiling/SnapLayoutPanel.h"

namespace qv {
namespace {

class SnapLayoutPanelTest : public testing::OneAppDesktop<> {
  protected:
    SnapLayoutPanelTest() : OneAppDesktop("com.example.editor", "Editor") {}

    uint32_t back = open("Back", Rect{0, 0, 800, 600});
    uint32_t dragged = open("Dragged", Rect{100, 100, 800, 600});
    uint32_t front = open("Front", Rect{900, 100, 400, 400});

    // The shape fills drawn in the flyout: each one's alpha, or -1 for the accent colour.
    static std::vector<double> fills(const SnapLayoutPanel& panel) {
        std::vector<double> out;
        for (const DrawOp& op : panel.contentView()->displayList().ops) {
            if (op.kind != DrawOp::Kind::shape || !op.fill ||
                op.shape.cornerRadius > SnapLayoutView::kTileRadius)
                continue;
            const RGBA accent = Color::accent().resolve(ColorScheme::light);
            out.push_back(op.fill->color == accent ? -1 : op.fill->color.a);
        }
        return out;
    }
    size_t orderIndex(uint32_t id) const {
        const auto order = sim.windowsInListOrder();
        return std::find_if(order.begin(), order.end(), [&](const SimWindow* w) { return w->id == id; }) -
               order.begin();
    }
};

TEST_F(SnapLayoutPanelTest, TheFlyoutFadesInOnceThenJumpsAndRedrawsOnlyForANewZoneOrNewMetrics) {
    auto panel = SnapLayoutPanel::create(sim.platform().windowing, rt);
    EXPECT_EQ(panel->level(), 101);
    EXPECT_EQ(panel->collectionBehavior, 329u);
    EXPECT_TRUE(panel->ignoresMouseEvents);
    EXPECT_FALSE(panel->canBecomeKey());
    // A 4:3-ish usable area: five landscape layouts in two rows.
    panel->layoutView()->setMetrics(SnapFlyoutMetrics(SnapLayout::presets(1.748, 1440), 1.748));
    panel->show({588, 753, 264, 114});
    EXPECT_EQ(panel->alpha(), 0);
    EXPECT_EQ(panel->animations().back().animation, Animation::easeOut(0.12));
    rt.advance(0.12);
    EXPECT_EQ(panel->alpha(), 1);
    const size_t animations = panel->animations().size();
    panel->show({600, 753, 264, 114});
    EXPECT_EQ(panel->frame().minX(), 600);
    EXPECT_EQ(panel->animations().size(), animations);

    // Nothing lit: tiles at 0.06, zones at 0.22 (2 + 2 + 3 + 3 + 4 zones).
    std::vector<double> plain;
    for (size_t zones : {2, 2, 3, 3, 4}) {
        plain.push_back(0.06);
        plain.insert(plain.end(), zones, 0.22);
    }
    EXPECT_EQ(fills(*panel), plain);
    const int evaluations = panel->contentView()->evaluationCount();
    panel->layoutView()->setHighlightedZone(SnapFlyoutMetrics::ZoneID{1, 0});
    rt.runUntilIdle();
    std::vector<double> lit = plain;
    lit[3] = 0.1;   // the second layout's tile
    lit[4] = -1;    // its first zone in the accent colour
    lit[5] = 0.32;  // its other zone
    EXPECT_EQ(fills(*panel), lit);
    EXPECT_EQ(panel->contentView()->evaluationCount(), evaluations + 1);
    panel->layoutView()->setHighlightedZone(SnapFlyoutMetrics::ZoneID{1, 0});
    rt.runUntilIdle();
    EXPECT_EQ(panel->contentView()->evaluationCount(), evaluations + 1);
    panel->layoutView()->setMetrics(panel->layoutView()->metrics());
    rt.runUntilIdle();
    EXPECT_EQ(panel->contentView()->evaluationCount(), evaluations + 2);
}

TEST_F(SnapLayoutPanelTest, ThePreviewGoesBelowTheDraggedWindowAndSlidesWithoutChangingItsPlace) {
    auto panel = SnapPreviewPanel::create(sim.platform().windowing, rt);
    EXPECT_FALSE(panel->hasShadow);
    EXPECT_EQ(panel->collectionBehavior, 329u);
    panel->show({8, 67, 708, 808}, dragged);
    EXPECT_EQ(panel->level(), 0);
    EXPECT_EQ(panel->alpha(), 0);
    EXPECT_EQ(panel->frame(), (Rect{8, 67, 708, 808}));
    EXPECT_EQ(panel->animations().back().animation, (Animation{AnimationCurve::defaultCurve, 0.14}));
    EXPECT_EQ(orderIndex(panel->windowNumber()), orderIndex(dragged) + 1);
    EXPECT_LT(orderIndex(front), orderIndex(dragged));
    rt.advance(0.14);
    EXPECT_EQ(panel->alpha(), 1);

    panel->show({724, 67, 708, 808}, front);
    EXPECT_EQ(panel->frame(), (Rect{8, 67, 708, 808}));  // sliding
    EXPECT_EQ(panel->animations().back().animation, Animation::easeOut(0.14));
    rt.advance(0.14);
    EXPECT_EQ(panel->frame(), (Rect{724, 67, 708, 808}));
    EXPECT_EQ(orderIndex(panel->windowNumber()), orderIndex(dragged) + 1);

    // Without a window it floats above every normal window.
    panel->orderOut();
    panel->show({0, 0, 100, 100}, std::nullopt);
    EXPECT_EQ(panel->level(), 3);
    EXPECT_EQ(orderIndex(panel->windowNumber()), 0u);
}

}  // namespace
}  // namespace qv
