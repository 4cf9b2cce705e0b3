#include <gtest/gtest.h>

#include "bar_views/ThumbnailHoverController.h"
#include "bar_views/ThumbnailPlacement.h"
#include "support/PreviewDesktop.h"

namespace qv::testing {
namespace {

// A bar's hover thumbnails on a desktop with an app of three windows and a one-window app.
class ThumbnailHoverTest : public PreviewDesktop {
  protected:
    uint32_t inbox = 0;
    std::shared_ptr<ThumbnailHoverController> hover;
    std::vector<std::string> events;
    bool noScreen = false;

    void SetUp() override {
        openDocs(10);
        inbox = sim.openWindow(mail, "Inbox", desk, Rect{300, 200, 900, 500});
        startModel();
        ThumbnailHoverHost host;
        host.viewModel = model;
        host.service = service;
        host.barSize = [] { return BarSize::medium; };
        host.spaceID = [this] { return desk; };
        host.displayItems = [this] { return model->displayItems(desk, std::nullopt); };
        host.preferredScreen = [this](std::optional<Rect>, Point) -> std::optional<Screen> {
            if (noScreen) return std::nullopt;
            return windowing.screens().front();
        };
        host.fadeIn = [](Panel& panel, Seconds d) {
            panel.setAlphaValue(0);
            panel.orderFrontRegardless();
            panel.animateAlpha(1, Animation::easeOut(d));
        };
        host.activateWindowDeferred = [this](uint32_t id) {
            hover->dismissThumbnailPopupImmediate();
            events.push_back("activate " + std::to_string(id));
        };
        host.onThumbnailWillShow = [this] { events.push_back("will show"); };
        hover = std::make_shared<ThumbnailHoverController>(sim.platform(), std::move(host));
        rt.runUntilIdle();
    }
    HoverTarget groupTarget(double x = 500) {
        for (const DisplayItem& item : model->displayItems(desk, std::nullopt))
            if (item.isGroup())
                return HoverTarget::group(*item.groupData(), Rect{x, 0, 120, 36}, std::nullopt, {x + 60, 18});
        ADD_FAILURE() << "no group";
        return HoverTarget::single({}, {}, std::nullopt, {});
    }
    HoverTarget singleTarget(double x = 800) {
        ChipData chip = model->chipsBySpace->at(desk).back();
        return HoverTarget::single(chip, Rect{x, 0, 120, 36}, std::nullopt, {x + 60, 18});
    }
    std::shared_ptr<ThumbnailPopupPanel> popup() const { return hover->activeThumbnailPanel(); }
    // The pointer enters the target's chip and rests there for the delay.
    std::shared_ptr<ThumbnailPopupPanel> rest(const HoverTarget& target) {
        hover->handleChipHover(true, target);
        rt.advance(0.25);
        return popup();
    }
};

// Also the former TheShowTimerShowsTheTargetOfItsArmingAndExitKeepsThePendingTarget.
TEST_F(ThumbnailHoverTest, ThePointerRestingAQuarterSecondShowsThePopupAboveTheChip) {
    auto target = groupTarget();
    // Leaving before the delay shows nothing, though the pending target is kept.
    hover->handleChipHover(true, target);
    hover->handleChipHover(false, target);
    EXPECT_TRUE(hover->pendingHoverTarget());
    rt.advance(1);
    EXPECT_FALSE(popup());

    // The bar the chip stands on: moves over it restart the delay.
    auto bar = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 1440, 36},
                                  stylemask::kNonactivatingPanel);
    bar->setContentView(std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([] { return Fill(Color::white()); })));
    bar->orderFrontRegardless();
    hover->handleChipHover(true, target);
    rt.advance(0.1);
    sim.mouseMove({560, 18});
    rt.advance(0.249);
    EXPECT_FALSE(popup());
    rt.advance(0.001);
    ASSERT_TRUE(popup());
    EXPECT_EQ(popup()->frame(), (Rect{560 - 523, 44, 1046, 336}));
    EXPECT_EQ(popup()->level(), 101);
    EXPECT_EQ(hover->thumbnailTargetID(), target.id());
    EXPECT_EQ(events, (std::vector<std::string>{"will show"}));
    EXPECT_EQ(popup()->animations().back().animation, Animation::easeOut(0.15));
}

TEST_F(ThumbnailHoverTest, FromOnePopupToTheNextChipAtOnceInANewPanelSlidingFromTheLast) {
    auto first = rest(groupTarget());
    const Rect from = first->frame();
    hover->handleChipHover(false, groupTarget());
    hover->handleChipHover(true, singleTarget());
    ASSERT_TRUE(popup());
    EXPECT_NE(popup(), first);
    EXPECT_TRUE(first->isClosed());
    EXPECT_EQ(popup()->frame(), from);
    rt.advance(0.15);
    EXPECT_EQ(popup()->frame(), (Rect{860 - 179, 44, 358, 336}));
    // The old panel's late dismissal leaves the new one alone, and its content's new width resizes
    // neither panel.
    EXPECT_EQ(hover->thumbnailTargetID(), singleTarget().id());
    const Rect closedAt = first->frame();
    std::dynamic_pointer_cast<GroupedThumbnailContent>(first->contentView()->rootView())->onWidthChange(702);
    rt.advance(1);
    ASSERT_TRUE(popup());
    EXPECT_EQ(popup()->frame().width(), 358);
    EXPECT_EQ(first->frame(), closedAt);
}

TEST_F(ThumbnailHoverTest, WithNoScreenNothingIsShownAndAnOpenPopupStays) {
    auto open = rest(groupTarget());
    noScreen = true;
    hover->handleChipHover(true, singleTarget());
    EXPECT_EQ(popup(), open);
    EXPECT_FALSE(open->isClosed());
}

TEST_F(ThumbnailHoverTest, ARightClickElsewhereClosesThePopupWithoutSilencingTheNextChip) {
    rest(groupTarget());
    hover->handleChipHover(false, groupTarget());
    hover->suppressPendingThumbnailForContextMenuIfNeeded();  // in the dismissal's 0.2 s
    EXPECT_FALSE(popup());
    EXPECT_FALSE(hover->suppressThumbnailForCurrentHover());
    EXPECT_TRUE(rest(singleTarget()));

    // Over a chip, a context menu keeps that chip's pop-up shut until the pointer leaves it.
    hover->suppressPendingThumbnailForContextMenuIfNeeded();
    EXPECT_TRUE(hover->suppressThumbnailForCurrentHover());
    hover->handleChipHover(true, singleTarget());
    rt.advance(1);
    EXPECT_FALSE(popup());
    hover->handleChipHover(false, singleTarget());
    EXPECT_TRUE(rest(singleTarget()));
}

TEST_F(ThumbnailHoverTest, ThePopupStaysWhileThePointerIsOnItAndCardsCloseItBeforeActivating) {
    rest(singleTarget());
    hover->handleChipHover(false, singleTarget());
    const Rect f = popup()->frame();
    rt.advance(kThumbnailFadeInDuration);
    sim.mouseMove({f.midX(), f.midY()});
    EXPECT_TRUE(hover->isThumbnailPopupHovered());
    rt.advance(0.5);
    ASSERT_TRUE(popup());
    EXPECT_TRUE(hover->isThumbnailPopupWindow(popup()->windowNumber()));
    // A click on the card: the pop-up is gone before the window is activated.
    sim.click({f.midX(), f.midY()});
    EXPECT_FALSE(popup());
    EXPECT_EQ(events.back(), "activate " + std::to_string(inbox));
}

}  // namespace
}  // namespace qv::testing
