#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "settings/WindowTilingDisplaysView.h"
#include "sim/SimDesktop.h"
#include "tiling/TilingDisplays.h"
#include "ui/HostingView.h"

namespace qv {
namespace {

class TilingDisplayTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    Displays& displays = sim.platform().displays;
};

TEST_F(TilingDisplayTest, NamesAreNumberedOverTheWholeListAndScreensTilingCannotTellApartAreLeftOut) {
    uint32_t a = sim.addDisplay("Dell", Rect{0, 0, 1512.9, 982.4}, 0, "AAAAAAAA-0000-0000-0000-000000000001");
    uint32_t b = sim.addDisplay("Dell", Rect{1512, 0, 2560, 1440}, 0, "BBBBBBBB-0000-0000-0000-000000000002");
    uint32_t c = sim.addDisplay("Dell", Rect{4072, 0, 1920, 1080});
    sim.addDisplay("Studio", Rect{5992, 0, 1920, 1080}, 0, "DDDDDDDD-0000-0000-0000-000000000004");
    // The third "Dell" counts for the numbering though it is left out.
    sim.setDisplayUUIDReported(b, false);
    sim.setScreenNumberReported(c, false);
    auto list = TilingDisplay::current(displays);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (TilingDisplay{"AAAAAAAA-0000-0000-0000-000000000001", "Dell 1",
                                      "Main display \u00B7 1512 \u00D7 982"}));
    EXPECT_EQ(list[1], (TilingDisplay{"DDDDDDDD-0000-0000-0000-000000000004", "Studio", "1920 \u00D7 1080"}));
    EXPECT_EQ(identifiedScreens(displays).size(), 2u);
    (void)a;
}

TEST_F(TilingDisplayTest, AStoredOffStateAppliesOnlyWhileTheChoiceIsOfferedAndIsKept) {
    sim.addDisplay("Main", Rect{0, 0, 1440, 900}, 0, "AAAAAAAA-0000-0000-0000-000000000001");
    UserSettingsData data;
    data.showOnAllDisplays = true;
    data.windowTilingDisabledDisplays = {"AAAAAAAA-0000-0000-0000-000000000001"};
    // One display: the view offers no switch, so the stored state must not hold tiling off.
    EXPECT_TRUE(isTilingAllowedOnDisplay("AAAAAAAA-0000-0000-0000-000000000001", data, displays));
    uint32_t second =
        sim.addDisplay("Side", Rect{1440, 0, 1920, 1080}, 0, "BBBBBBBB-0000-0000-0000-000000000002");
    EXPECT_FALSE(isTilingAllowedOnDisplay("AAAAAAAA-0000-0000-0000-000000000001", data, displays));
    EXPECT_TRUE(isTilingAllowedOnDisplay("BBBBBBBB-0000-0000-0000-000000000002", data, displays));
    // A second display without a UUID does not count.
    sim.setDisplayUUIDReported(second, false);
    EXPECT_TRUE(isTilingAllowedOnDisplay("AAAAAAAA-0000-0000-0000-000000000001", data, displays));
    sim.setDisplayUUIDReported(second, true);
    sim.setDisplaysHaveSeparateSpaces(false);
    EXPECT_TRUE(isTilingAllowedOnDisplay("AAAAAAAA-0000-0000-0000-000000000001", data, displays));
    sim.setDisplaysHaveSeparateSpaces(true);
    data.showOnAllDisplays = false;
    EXPECT_TRUE(isTilingAllowedOnDisplay("AAAAAAAA-0000-0000-0000-000000000001", data, displays));
}

TEST_F(TilingDisplayTest, TheViewRereadsTheDisplaysOnlyOnAScreenChangeAndDimsWhileNoFeatureIsOn) {
    sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    sim.addSpace(sim.displays().front().id);
    auto settings = UserSettings::create(sim.platform());
    auto view = std::make_shared<WindowTilingDisplaysView>(sim.platform(), *settings);
    auto hosting = std::make_shared<HostingView>(rt, view);
    HostingView& host = *hosting;
    host.setFrameSize({380, 400});
    auto texts = [&] {
        rt.runUntilIdle();
        host.layoutNow();
        std::vector<std::string> out;
        for (const DrawOp* op : host.displayList().texts()) out.push_back(op->joinedText());
        return out;
    };
    EXPECT_TRUE(texts().empty());  // one display: nothing at all

    uint32_t side = sim.connectDisplay("Side", Rect{1440, 0, 1920, 1080}, 1);
    rt.runUntilIdle();
    ASSERT_EQ(view->displays().size(), 2u);
    EXPECT_EQ(texts().front().substr(0, 29), "Applies to every display. To ");  // bars not on all displays

    settings->setShowOnAllDisplays(true);
    auto shown = texts();
    EXPECT_EQ(shown,
              (std::vector<std::string>{"Use on these displays", "Main",
                                        "Main display \u00B7 1440 \u00D7 900", "Side", "1920 \u00D7 1080"}));
    EXPECT_DOUBLE_EQ(host.displayList().findText("Side")->opacity, 0.55);
    settings->setKeyboardSnapEnabled(true);
    texts();
    EXPECT_DOUBLE_EQ(host.displayList().findText("Side")->opacity, 1.0);

    // Switched off twice, stored once; back on, gone.
    const std::string sideID = view->displays()[1].id;
    settings->setWindowTilingDisabled(true, sideID);
    settings->setWindowTilingDisabled(true, sideID);
    EXPECT_EQ(settings->data->windowTilingDisabledDisplays, std::vector<std::string>{sideID});
    sim.removeDisplay(side);
    rt.runUntilIdle();
    EXPECT_EQ(view->displays().size(), 1u);
    EXPECT_EQ(settings->data->windowTilingDisabledDisplays, std::vector<std::string>{sideID});
}

}  // namespace
}  // namespace qv
