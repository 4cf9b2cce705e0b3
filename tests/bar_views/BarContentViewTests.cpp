#include <gtest/gtest.h>

#include "bar_views/BarContentView.h"
#include "model/BarViewModelFixture.h"
#include "model/PinStore.h"

namespace qv {
namespace {

// Records what the bar asks of its thumbnail pop-ups, and when.
class RecordingPopups : public NoThumbnailPopups {
  public:
    explicit RecordingPopups(std::vector<std::string>& log) : log_(log) {}
    void dismissThumbnailPopupImmediate() override { log_.push_back("dismiss"); }

  private:
    std::vector<std::string>& log_;
};

class BarContentViewTest : public BarModelTest {
  protected:
    uint32_t inbox = open(mail, "Inbox", m1);
    uint32_t draft = open(editor, "Draft", m1);
    uint32_t notes = open(editor, "Notes", m1);
    std::shared_ptr<PinStore> pins;
    std::shared_ptr<BarContentView> view;
    std::vector<std::string> log;

    void SetUp() override {
        start();
        settings->setGroupWindowsByApp(false);
        rt.runUntilIdle();
        pins = std::make_shared<PinStore>(*settings);
        view = makeView();
    }
    std::shared_ptr<BarContentView> makeView() {
        auto v = std::make_shared<BarContentView>(sim.platform());
        v->viewModel = model;
        v->pinStore = pins;
        v->settings = settings;
        v->spaceID = m1;
        v->screenIndex = 0;
        v->metrics = BarMetrics::forSize(BarSize::medium);
        v->thumbnailPopups = std::make_shared<RecordingPopups>(log);
        v->body();
        return v;
    }
    bool running(int32_t pid) { return !sim.app(pid)->terminated; }
};

TEST_F(BarContentViewTest, AClickClosesThePopUpAtOnceAndActsOnTheNextTurnEvenAfterARebuild) {
    size_t mark = sim.callLog.size();
    view->handlePrimaryChipTap(inbox, false);
    EXPECT_EQ(log, (std::vector<std::string>{"dismiss"}));
    EXPECT_TRUE(actions(mark).empty());
    // The bar's content is replaced before the next turn: the click is not lost.
    view = makeView();
    rt.runUntilIdle();
    EXPECT_EQ(actions(mark).back(), "AXRaise " + w(inbox));

    // The chip as drawn focused: the click minimises.
    mark = sim.callLog.size();
    view->handlePrimaryChipTap(inbox, true);
    rt.runUntilIdle();
    EXPECT_EQ(actions(mark), (std::vector<std::string>{"AXMinimized=true " + w(inbox)}));

    // A group activates its first window; an empty group ignores the click.
    GroupedChipData group;
    view->handleGroupedChipTap(group);
    EXPECT_EQ(log.size(), 2u);
    group.windowIDs = {notes, draft};
    mark = sim.callLog.size();
    view->handleGroupedChipTap(group);
    rt.runUntilIdle();
    EXPECT_EQ(actions(mark).back(), "AXRaise " + w(notes));
}

TEST_F(BarContentViewTest, QuitAsksTheAppOfATrackedWindowAndNothingElse) {
    view->quitApp(999);
    EXPECT_EQ(callCount("NSRunningApplication.terminate"), 0u);
    // An app with unsaved work declines: its windows stay.
    simApps.declineTermination.insert(editor);
    view->quitApp(draft);
    rt.runUntilIdle();
    EXPECT_EQ(callCount("NSRunningApplication.terminate"), 1u);
    EXPECT_TRUE(running(editor));
    simApps.declineTermination.clear();
    // A normal quit request: the app quits on its own turn, all its windows with it.
    view->quitApp(draft);
    EXPECT_TRUE(running(editor));
    rt.runUntilIdle();
    EXPECT_FALSE(running(editor));
    EXPECT_FALSE(sim.window(notes));
    EXPECT_TRUE(running(mail));
}

TEST_F(BarContentViewTest, ADragCommitsOnceOnlyWhenTheOrderChangesAndOnlyTheChipRowClosesThePopUp) {
    const std::vector<std::string> row = itemIDs(m1);
    ASSERT_EQ(row.size(), 3u);
    view->chipFrames = {
        {row[0], Rect{0, 0, 100, 30}}, {row[1], Rect{110, 0, 100, 30}}, {row[2], Rect{220, 0, 100, 30}}};
    const DragValue nudge{{50, 15}, {70, 15}, {20, 0}};
    view->chipDragChanged(row[0], nudge);
    EXPECT_EQ(log, (std::vector<std::string>{"dismiss"}));
    view->chipDragEnded(row[0], nudge);
    EXPECT_EQ(itemIDs(m1), row);
    EXPECT_FALSE(view->draggedChipID);

    const DragValue past{{50, 15}, {161, 15}, {111, 0}};
    view->chipDragChanged(row[0], past);
    EXPECT_EQ(view->chipDragInsertionIndex, 1);
    EXPECT_EQ(view->chipOffset(row[1], row), -(100 + view->metrics.chipSpacing));
    view->chipDragEnded(row[0], past);
    EXPECT_EQ(itemIDs(m1), (std::vector<std::string>{row[1], row[0], row[2]}));
    EXPECT_TRUE(view->chipDragStartFrames.empty());
    EXPECT_FALSE(view->chipDragInsertionIndex);

    // The pinned row commits to the pin store and leaves the pop-up alone.
    pins->setPin("com.example.a", PinDestination::bar(), true);
    pins->setPin("com.example.b", PinDestination::bar(), true);
    view->body();
    view->pinnedChipFrames = {{"com.example.a", Rect{0, 0, 30, 30}}, {"com.example.b", Rect{35, 0, 30, 30}}};
    log.clear();
    const DragValue pinPast{{15, 15}, {66, 15}, {51, 0}};
    view->pinnedDragChanged("com.example.a", pinPast);
    view->pinnedDragEnded("com.example.a", pinPast);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(pins->pinnedAppIDs(PinDestination::bar()),
              (std::vector<std::string>{"com.example.b", "com.example.a"}));
}

}  // namespace
}  // namespace qv
