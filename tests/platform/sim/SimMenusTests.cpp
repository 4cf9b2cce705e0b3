#include <gtest/gtest.h>

#include "platform/sim/SimWindowing.h"
#include "platform/ui/SvgQuery.h"
#include "platform/ui/SymbolDrawings.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class SimMenusTest : public testing::OneDesktop<> {};

// A screenshot draws the open menu where it was opened, the submenu the pointer opens beside it
// with its check mark and dimmed item, and nothing once the menu has closed.
TEST_F(SimMenusTest, ScreenshotsDrawTheOpenMenuAndTheSubmenuThePointerOpens) {
    MenuItem bar = MenuItem::button("Bar", [] {});
    bar.state = MenuItemState::on;
    bar.enabled = false;
    Menu menu{"",
              {MenuItem::button("Show Desktop", [] {}), MenuItem::separator(),
               MenuItem::sub("Pin to", Menu{"", {bar, MenuItem::button("App menu", [] {})}})}};
    sim.windowing().popUpContextMenu(menu, {200, 700}, nullptr);  // 200 points below the top
    auto all = parseSvg(sim.renderSvg());
    const auto item = textIndex(all, "Show Desktop");
    ASSERT_TRUE(item);
    EXPECT_TRUE(textIndex(all, "Pin to"));
    EXPECT_FALSE(textIndex(all, "App menu"));
    EXPECT_EQ(all[all[*item].ancestors.back()].attr("transform"), "translate(200,200)");

    const Rect pinTo = sim.windowing().openMenus().at(0).layout.rows.at(2).frame;
    sim.mouseMove({pinTo.midX(), 900 - pinTo.midY()});
    all = parseSvg(sim.renderSvg());
    ASSERT_TRUE(textIndex(all, "App menu"));
    const auto dimmed = textIndex(all, "Bar");
    ASSERT_TRUE(dimmed);
    EXPECT_LT(all[*dimmed].num("fill-opacity"), all[*textIndex(all, "App menu")].num("fill-opacity"));
    const std::string check(symbols::drawing("checkmark")->stroke);
    EXPECT_TRUE(
        std::any_of(all.begin(), all.end(), [&](const SvgElement& e) { return e.attr("d") == check; }));

    sim.windowing().dismissMenu();
    EXPECT_FALSE(textIndex(parseSvg(sim.renderSvg()), "Show Desktop"));
}

}  // namespace
}  // namespace qv
