#include <gtest/gtest.h>

#include "bar_views/BarRowFixture.h"
#include "bar_views/ChipSheet.h"
#include "bar_views/ShowDesktopButton.h"
#include "ui/SvgQuery.h"
#include "ui/XmlLint.h"

namespace qv {
namespace {

class ShowDesktopButtonTest : public testing::BarRowFixture {
  protected:
    void SetUp() override {
        metrics = BarMetrics::forSize(BarSize::xl);
        showBar([this] { return row({Spacer(), ShowDesktopButton{sim.platform().dock, metrics}.body()}); });
    }
    const DrawOp& strip() const { return host->displayList().ops.back(); }
};

TEST_F(ShowDesktopButtonTest, EachClickAsksTheDockToShowTheDesktop) {
    EXPECT_EQ(strip().frame.size, (Size{6, 54}));
    EXPECT_NEAR(strip().fill->color.a, 0.85 * 0.05, 1e-9);
    Point centre = onScreen({strip().frame.midX(), strip().frame.midY()});
    sim.mouseMove(centre);
    rt.runUntilIdle();
    EXPECT_EQ(strip().frame.size, (Size{6, 54}));  // hovering changes the fill only
    EXPECT_NEAR(strip().fill->color.a, 0.85 * 0.15, 1e-9);
    EXPECT_TRUE(host->animations().empty());
    EXPECT_EQ(host->helpText(bar->convertFromScreen(centre)), "Show Desktop");

    sim.click(centre);
    sim.click(centre);
    auto sent = sim.callsNamed("CoreDockSendNotification");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].args, Value::array({Value::string("com.apple.showdesktop.awake"), Value::number(0)}));
    EXPECT_EQ(sent[1].args, sent[0].args);
    // Without the Dock's entry point nothing is sent, and nothing fails.
    sim.missingEntryPoints.insert("CoreDockSendNotification");
    sim.click(centre);
    EXPECT_EQ(sim.callsNamed("CoreDockSendNotification").size(), 2u);
}

TEST_F(ShowDesktopButtonTest, TheChipSheetIsAWellFormedDocumentOfEveryBackground) {
    std::string svg = chipSheetSvg(sim.platform());
    if (auto verdict = xmllint(svg)) {
        EXPECT_TRUE(verdict->ok) << verdict->output;
    }
    const auto all = parseSvg(svg);
    for (const char* label : {"Dark bar, frosted", "Dark bar, longhorn", "Dark bar, aero", "Light bar",
                              "Reduce Transparency, dark", "Reduce Transparency, light"}) {
        EXPECT_TRUE(textIndex(all, label)) << label;
    }
    EXPECT_TRUE(textIndex(all, "Quarterly planning n\u2026"));
}

}  // namespace
}  // namespace qv
