#include <gtest/gtest.h>

#include "previews/ThumbnailCard.h"
#include "previews/ThumbnailPopupContent.h"
#include "previews/ThumbnailPopupPanel.h"
#include "previews/ThumbnailPopupShell.h"
#include "support/PreviewDesktop.h"

namespace qv::testing {
namespace {

class ThumbnailPopupTest : public PreviewDesktop {
  protected:
    int dismissals = 0, entered = 0, exited = 0;

    std::shared_ptr<ThumbnailPopupPanel> popup(Rect frame, std::shared_ptr<View> root) {
        auto panel = ThumbnailPopupPanel::make(
            sim.platform().windowing, rt, frame, frame.midX(), std::move(root),
            {[this] { ++dismissals; }, [this] { ++entered; }, [this] { ++exited; }});
        panel->orderFrontRegardless();
        rt.runUntilIdle();
        return panel;
    }
    std::shared_ptr<ThumbnailPopupPanel> popup(Rect frame = {500, 44, 358, 336}) {
        return popup(frame, std::make_shared<ClosureView>([] { return Fill(Color::white()); }));
    }
    ThumbnailContentEnvironment environment() { return {service, nullptr, ColorScheme::light, 1}; }
    // Symbols named `name` drawn in a display list.
    static size_t countSymbols(const DisplayList& list, const std::string& name) {
        size_t n = 0;
        for (const DrawOp& op : list.ops) n += op.imageName == name;
        return n;
    }
};

TEST_F(ThumbnailPopupTest, ThePanelFloatsNeverTakesTheKeysAndCallsItsDismissHandlerOnce) {
    auto panel = popup();
    EXPECT_EQ(panel->level(), 101);
    EXPECT_EQ(panel->styleMask(), stylemask::kNonactivatingPanel);
    EXPECT_EQ(panel->collectionBehavior, 72u);
    ASSERT_TRUE(panel->trackingArea);
    EXPECT_EQ(panel->trackingArea->options, 0x287u);
    panel->makeKeyWindow();
    EXPECT_NE(windowing.keyWindow(), panel);
    EXPECT_TRUE(panel->contentView()->acceptsFirstMouse(Event{}));

    // Entering and leaving; moves inside tell nothing.
    sim.mouseMove({600, 200});
    sim.mouseMove({620, 210});
    sim.mouseMove({600, 600});
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(exited, 1);
    EXPECT_EQ(windowing.cursor(), Cursor::arrow);

    panel->close();
    panel->close();
    EXPECT_EQ(dismissals, 1);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(windowing.monitorCount(), 0u);
}

TEST_F(ThumbnailPopupTest, ARightClickInAnotherApplicationClosesThePanelButNotOneInOurOwn) {
    sim.openWindow(mail, "Other", desk, Rect{0, 0, 400, 300});
    auto own = Panel::make<Panel>(sim.platform().windowing, rt, Rect{900, 0, 200, 36},
                                  stylemask::kNonactivatingPanel);
    own->orderFrontRegardless();
    auto panel = popup();
    sim.rightClick({1000, 10});  // our own window
    EXPECT_TRUE(panel->isVisible());
    sim.rightClick({100, 800});  // the other application's window (top-left space y 100)
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(dismissals, 1);
}

TEST_F(ThumbnailPopupTest, ResizingKeepsTheBottomEdgeAndStaysEightPointsInsideTheScreen) {
    auto panel = popup({500, 44, 1046, 336});
    panel->updateWidthAndCenter(702, 1400);
    rt.advance(ThumbnailPopupPanel::kMoveDuration);
    EXPECT_EQ(panel->frame(), (Rect{1440 - 702 - 8, 44, 702, 336}));
    EXPECT_EQ(panel->anchorX, 1440 - 702 - 8);
    EXPECT_EQ(panel->animations().back().animation, Animation::easeInOut(0.15));
    panel->updateWidthAndCenter(5000, 20);  // wider than the screen: cut, the left margin wins
    rt.advance(ThumbnailPopupPanel::kMoveDuration);
    EXPECT_EQ(panel->frame(), (Rect{8, 44, 1424, 336}));

    // Off every screen nothing bounds it.
    auto lost = popup({3000, 44, 358, 336});
    lost->updateWidthAndCenter(702, 3000);
    rt.advance(ThumbnailPopupPanel::kMoveDuration);
    EXPECT_EQ(lost->frame(), (Rect{3000 - 351, 44, 702, 336}));
}

TEST_F(ThumbnailPopupTest, PicturesWinOverTheSpinnerAndKeepTheirAspectInTheBox) {
    auto wide = std::make_shared<const Image>(Image::filled(1000, 200, 0xFF0000FF));
    EXPECT_EQ((ThumbnailImage{wide, true}.look()), ThumbnailImage::Look::picture);
    EXPECT_EQ((ThumbnailImage{nullptr, true}.look()), ThumbnailImage::Look::spinner);
    EXPECT_EQ((ThumbnailImage{nullptr, false}.look()), ThumbnailImage::Look::placeholder);
    auto host = std::make_shared<HostingView>(rt, std::make_shared<ClosureView>([wide] {
                                                  return ThumbnailImage{wide, true}.body();
                                              }));
    host->setFrameSize({310, 228});
    host->layoutNow();
    bool found = false;
    for (const DrawOp& op : host->displayList().ops) {
        if (op.bitmap != wide) continue;
        found = true;
        EXPECT_EQ(op.frame, (Rect{0, 83, 310, 62}));
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(thumbnailPopupHeight(BarSize::medium), 336);
    EXPECT_EQ(thumbnailPopupHeight(BarSize::xxl), 348);
    EXPECT_EQ(groupedThumbnailPopupWidth(3, 5000), 1046);
    EXPECT_EQ(groupedThumbnailPopupWidth(0, 5000), 310);
    EXPECT_EQ(groupedThumbnailPopupWidth(3, 784), 784);
}

TEST_F(ThumbnailPopupTest, ControlsShowOnlyOnTheHoveredCardAndOnlyForTheCallbacksGiven) {
    int minimized = 0, closed = 0, taps = 0;
    ThumbnailCard card{.title = "Doc", .onTap = [&] { ++taps; }, .onClose = [&] { ++closed; }};
    EXPECT_TRUE(card.controls(false).empty());
    ASSERT_EQ(card.controls(true).size(), 1u);
    EXPECT_EQ(card.controls(true)[0].symbolName, "xmark");
    card.onMinimize = [&] { ++minimized; };
    ASSERT_EQ(card.controls(true).size(), 2u);
    EXPECT_EQ(card.controls(true)[0].symbolName, "minus");

    // The divider stands only between "Move to" and Minimize or Close.
    auto titles = [](const Menu& m) {
        std::vector<std::string> t;
        for (const MenuItem& i : m.items) t.push_back(i.isSeparator ? "-" : i.title);
        return t;
    };
    EXPECT_EQ(titles(card.contextMenu()), (std::vector<std::string>{"Minimize", "Close Window"}));
    card.moveToGroups = {{"uuid", "Display 1", 1, {{7, "Desktop 2"}}}};
    card.onMoveToSpace = [](uint64_t) {};
    EXPECT_EQ(titles(card.contextMenu()),
              (std::vector<std::string>{"Move to", "-", "Minimize", "Close Window"}));
    card.onMinimize = nullptr;
    card.onClose = nullptr;
    EXPECT_EQ(titles(card.contextMenu()), (std::vector<std::string>{"Move to"}));

    // Hovering the card shows the controls; the symbol shows only over its own control.
    card.onMinimize = [&] { ++minimized; };
    card.onClose = [&] { ++closed; };
    auto panel = popup({100, 100, 330, 273}, std::make_shared<ClosureView>([card] { return card.body(); }));
    const DisplayList& list = panel->contentView()->displayList();
    sim.mouseMove({200, 150});
    rt.runUntilIdle();
    EXPECT_EQ(countSymbols(list, "xmark"), 0u);
    Rect closeButton;
    for (const HitRegion& r : list.regions) {
        if (r.frame.width() == WindowControlButton::kSide) closeButton = r.frame;  // the last: close
    }
    ASSERT_FALSE(closeButton.isEmpty());
    const Point onClose = panel->convertToScreen({closeButton.midX(), closeButton.midY()});
    sim.mouseMove(onClose);
    rt.runUntilIdle();
    EXPECT_EQ(countSymbols(list, "xmark"), 1u);
    EXPECT_EQ(countSymbols(list, "minus"), 0u);
    sim.click(onClose);
    rt.runUntilIdle();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(taps, 0);
}

class ThumbnailContentTest : public ThumbnailPopupTest {
  protected:
    void SetUp() override {
        openDocs(1);
        startModel();
        rt.runUntilIdle();
    }
    std::shared_ptr<SingleThumbnailContent> single(ChipData chip) {
        auto content = std::make_shared<SingleThumbnailContent>();
        content->chip = std::move(chip);
        content->environment = environment();
        return content;
    }
    std::shared_ptr<GroupedThumbnailContent> grouped(std::vector<uint32_t> ids) {
        auto content = std::make_shared<GroupedThumbnailContent>();
        content->group.id = "group-com.example.editor";
        content->group.appName = "Editor";
        content->group.windowIDs = std::move(ids);
        content->spaceID = desk;
        content->viewModel = model;
        content->maxAvailableWidth = 1424;
        content->environment = environment();
        content->onWidthChange = [this](double w) { widths.push_back(w); };
        content->onEmpty = [this] { ++empties; };
        return content;
    }
    std::vector<double> widths;
    int empties = 0;

    // The model drops the chips of windows that closed.
    void dropChips(std::set<uint32_t> ids) {
        auto chips = *model->chipsBySpace;
        std::erase_if(chips[desk], [&](const ChipData& c) { return ids.count(c.id) > 0; });
        model->chipsBySpace = chips;
        rt.runUntilIdle();
    }
};

TEST_F(ThumbnailContentTest, TheSingleContentLoadsOnceAndNeverCapturesAMinimisedWindow) {
    auto content = single(model->chipsBySpace->at(desk)[0]);
    sim.screenCapture().setCaptureFault(CaptureFault::hold);
    auto panel = popup({100, 44, 358, 336}, content);
    EXPECT_TRUE(content->isLoading);
    EXPECT_EQ(countSymbols(panel->contentView()->displayList(), "rectangle.on.rectangle.slash"), 0u);
    sim.screenCapture().releaseHeldCaptures();
    rt.runUntilIdle();
    EXPECT_FALSE(content->isLoading);
    ASSERT_TRUE(content->thumbnail);
    content->appear();  // on screen again: no second load
    rt.runUntilIdle();
    EXPECT_EQ(sim.screenCapture().captures().size(), 1u);

    // A minimised window: the cached picture, no capture, no minimise control.
    auto minimised = single(content->chip);
    minimised->chip.isMinimized = true;
    popup({100, 44, 358, 336}, minimised);
    EXPECT_EQ(minimised->thumbnail, content->thumbnail);
    EXPECT_FALSE(minimised->isLoading);
    EXPECT_EQ(sim.screenCapture().captures().size(), 1u);

    // A result that arrives after its content is gone goes nowhere.
    rt.advance(31);
    auto gone = single(content->chip);
    std::weak_ptr<SingleThumbnailContent> weak = gone;
    auto p = popup({100, 44, 358, 336}, std::exchange(gone, nullptr));
    p->close();
    p.reset();
    rt.runUntilIdle();
    EXPECT_TRUE(weak.expired());
}

TEST_F(ThumbnailContentTest, TheGroupFollowsItsWindowsAndNeverReplacesAPicture) {
    // The group's order, not the bar's; a window not on the desktop is left out.
    auto content = grouped({docs[2], 999, docs[0], docs[1]});
    std::vector<uint32_t> shown;
    for (const ChipData& c : content->windows()) shown.push_back(c.id);
    EXPECT_EQ(shown, (std::vector<uint32_t>{docs[2], docs[0], docs[1]}));

    service->prefetch({docs[0]});
    rt.runUntilIdle();
    auto cached = service->cachedThumbnail(docs[0]);
    sim.screenCapture().setCaptureFault(CaptureFault::hold);
    auto panel = popup({100, 44, 1046, 336}, content);
    EXPECT_EQ(content->thumbnails.at(docs[0]), cached);
    EXPECT_EQ(content->loadingIDs, (std::set<uint32_t>{docs[1], docs[2]}));

    // A window closes while the others still load: narrower, and nothing is asked twice.
    const size_t asked = sim.screenCapture().captures().size();
    dropChips({docs[2]});
    EXPECT_EQ(widths, (std::vector<double>{702}));
    EXPECT_EQ(sim.screenCapture().captures().size(), asked);
    sim.screenCapture().releaseHeldCaptures();
    rt.runUntilIdle();
    EXPECT_TRUE(content->loadingIDs.empty());
    EXPECT_EQ(content->thumbnails.at(docs[0]), cached);

    dropChips({docs[0], docs[1]});
    EXPECT_EQ(empties, 1);
}

}  // namespace
}  // namespace qv::testing
