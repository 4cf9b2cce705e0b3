#include <gtest/gtest.h>

#include "sim/SimWindowing.h"
#include "support/HostedView.h"
#include "support/SimDesktops.h"
#include "ui/Panel.h"

namespace qv {
namespace {

// What the environment held where a probe stood, each time the tree was laid out.
struct Probe {
    std::vector<Environment> seen;
    Node at(Node node) {
        return node->environment([this](Environment& env) { seen.push_back(env); });
    }
};

class EnvironmentTest : public testing::HostedView {
  protected:
    void show(std::function<Node()> build, Size size = {300, 200}) {
        present(std::make_shared<ClosureView>(std::move(build)), size);
    }
    const DrawOp& text(const std::string& t) const {
        const DrawOp* op = host->displayList().findText(t);
        EXPECT_TRUE(op) << t;
        static DrawOp none;
        return op ? *op : none;
    }
};

RGBA primaryIn(ColorScheme s) {
    return Color::primary().resolve(s);
}

TEST_F(EnvironmentTest, TheHostsAppearanceColoursNestedViewsAndAnInnerSchemeWins) {
    auto nested = std::make_shared<ClosureView>([] {
        return VStack(
            {Text("nested"), Rectangle()->frame(10, 10), MaterialView(Material::menu)->frame(20, 10)});
    });
    show([nested] {
        return VStack({Text("outer"), ViewNode(nested),
                       VStack({Text("forced light")})->colorScheme(ColorScheme::light)});
    });
    EXPECT_EQ(text("nested").color, primaryIn(ColorScheme::light));

    host->setAppearance(Appearance::darkAqua);
    EXPECT_TRUE(host->needsUpdate());
    rt.runUntilIdle();
    EXPECT_EQ(text("outer").color, primaryIn(ColorScheme::dark));
    EXPECT_EQ(text("nested").color, primaryIn(ColorScheme::dark));
    EXPECT_EQ(text("forced light").color, primaryIn(ColorScheme::light));
    const DrawOp* fill = nullptr;
    const DrawOp* material = nullptr;
    for (const DrawOp& op : host->displayList().ops) {
        if (op.kind == DrawOp::Kind::shape) fill = &op;
        if (op.kind == DrawOp::Kind::material) material = &op;
    }
    ASSERT_TRUE(fill && material);
    EXPECT_EQ(fill->fill->color,
              primaryIn(ColorScheme::dark));  // an unstyled shape fills with the foreground
    EXPECT_EQ(material->scheme, ColorScheme::dark);

    // Without an appearance of its own the view follows the system; with one it keeps it.
    host->setAppearance(std::nullopt);
    host->setSystemColorScheme(ColorScheme::dark);
    rt.runUntilIdle();
    EXPECT_EQ(text("nested").color, primaryIn(ColorScheme::dark));
    host->setAppearance(Appearance::aqua);
    rt.runUntilIdle();
    EXPECT_EQ(host->effectiveColorScheme(), ColorScheme::light);
    EXPECT_EQ(text("nested").color, primaryIn(ColorScheme::light));
    int evaluations = host->evaluationCount();
    host->setAppearance(Appearance::aqua);  // unchanged: no new evaluation
    rt.runUntilIdle();
    EXPECT_EQ(host->evaluationCount(), evaluations);
}

TEST_F(EnvironmentTest, ReduceTransparencyReachesEveryNestedViewAndOnlyChangesReevaluate) {
    Probe deep, sibling, overridden;
    auto nested = std::make_shared<ClosureView>([&] { return ZStack({deep.at(Text("deep"))}); });
    show([&] {
        return HStack({ViewNode(nested), sibling.at(Text("sibling")),
                       overridden.at(Text("own"))->environment([](Environment& env) {
                           env.reduceTransparency = true;
                       })});
    });
    ASSERT_EQ(deep.seen.size(), 1u);
    EXPECT_FALSE(deep.seen.back().reduceTransparency);
    EXPECT_TRUE(overridden.seen.back().reduceTransparency);  // set for its own subtree
    EXPECT_FALSE(sibling.seen.back().reduceTransparency);

    host->setReduceTransparency(true);
    rt.runUntilIdle();
    ASSERT_EQ(deep.seen.size(), 2u);
    EXPECT_TRUE(deep.seen.back().reduceTransparency);
    EXPECT_TRUE(sibling.seen.back().reduceTransparency);
    host->setReduceTransparency(true);
    rt.runUntilIdle();
    EXPECT_EQ(deep.seen.size(), 2u);
    host->setReduceTransparency(false);
    rt.runUntilIdle();
    EXPECT_FALSE(deep.seen.back().reduceTransparency);
    EXPECT_FALSE(sibling.seen.back().reduceTransparency);
    EXPECT_TRUE(overridden.seen.back().reduceTransparency);
}

TEST_F(EnvironmentTest, FontForegroundAndLineLimitFlowDownUnlessTheTextSetsItsOwn) {
    auto nested = std::make_shared<ClosureView>([] { return Text("nested"); });
    const std::string longText = "A title far too long for the narrow column it stands in";
    show(
        [&] {
            return VStack(HorizontalAlignment::leading, 2,
                          {Text("plain"), ViewNode(nested),
                           Text("own", {.font = Font::system(9), .color = Color::red()}),
                           SymbolImage("xmark"), Text(longText)->frame(120, std::nullopt),
                           Text(longText, {.lineLimit = 2})->frame(120, std::nullopt)})
                ->font(Font::system(20, FontWeight::bold))
                ->foregroundStyle(Color::green())
                ->lineLimit(1);
        },
        {300, 300});
    for (const char* t : {"plain", "nested"}) {
        EXPECT_EQ(text(t).font, Font::system(20, FontWeight::bold)) << t;
        EXPECT_EQ(text(t).color, Color::green().resolve(ColorScheme::light)) << t;
    }
    EXPECT_EQ(text("own").font.size, 9);
    EXPECT_EQ(text("own").color, Color::red().resolve(ColorScheme::light));
    const DrawOp* symbol = nullptr;
    std::vector<const DrawOp*> cut;
    for (const DrawOp& op : host->displayList().ops) {
        if (op.kind == DrawOp::Kind::image) symbol = &op;
        if (op.kind == DrawOp::Kind::text && op.truncated) cut.push_back(&op);
    }
    ASSERT_TRUE(symbol);
    EXPECT_EQ(symbol->frame.size, (Size{20, 20}));  // symbols take the font's size
    EXPECT_EQ(symbol->color, Color::green().resolve(ColorScheme::light));
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0]->lines.size(), 1u);  // the inherited limit
    EXPECT_TRUE(cut[0]->lines[0].ends_with(textmetrics::kEllipsis));
    EXPECT_EQ(cut[1]->lines.size(), 2u);  // the text's own limit wins
}

TEST_F(EnvironmentTest, ADisabledAncestorCannotBeReenabledFromInside) {
    int taps = 0;
    Probe probe;
    show([&] {
        return VStack({probe.at(Rectangle()->frame(50, 20)->onTapGesture([&] { ++taps; }))->disabled(false)})
            ->disabled(true);
    });
    EXPECT_FALSE(probe.seen.back().isEnabled);
    host->mouseDown({150, 100});
    host->mouseUp({150, 100});
    EXPECT_EQ(taps, 0);
    for (const HitRegion& r : host->displayList().regions) EXPECT_FALSE(r.enabled);
}

// --- Through the panels of the simulated desktop ---

class PanelEnvironmentTest : public testing::OneDesktop<> {
  protected:
    std::shared_ptr<Panel> panelShowing(std::function<Node()> build) {
        auto panel = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 300, 40},
                                        stylemask::kNonactivatingPanel);
        panel->setContentView(
            std::make_shared<HostingView>(rt, std::make_shared<ClosureView>(std::move(build))));
        panel->orderFrontRegardless();
        rt.runUntilIdle();
        return panel;
    }
};

TEST_F(PanelEnvironmentTest, TheSystemAppearanceReachesPanelsWithoutAnAppearanceOfTheirOwn) {
    auto follows = panelShowing([] { return Text("follows"); });
    auto fixed = panelShowing([] { return Text("fixed"); });
    fixed->contentView()->setAppearance(Appearance::aqua);
    sim.windowing().setSystemAppearanceDark(true);
    rt.runUntilIdle();
    EXPECT_EQ(follows->contentView()->displayList().findText("follows")->color, primaryIn(ColorScheme::dark));
    EXPECT_EQ(fixed->contentView()->displayList().findText("fixed")->color, primaryIn(ColorScheme::light));
    // A panel made later starts in the system's appearance.
    auto late = panelShowing([] { return Text("late"); });
    EXPECT_EQ(late->contentView()->effectiveColorScheme(), ColorScheme::dark);
    sim.windowing().setSystemAppearanceDark(false);
    rt.runUntilIdle();
    EXPECT_EQ(follows->contentView()->displayList().findText("follows")->color,
              primaryIn(ColorScheme::light));
}

TEST_F(PanelEnvironmentTest, ReduceTransparencyReachesPanelContentAndIsAnnouncedOncePerChange) {
    Probe probe;
    int posts = 0;
    auto observer = sim.workspaceNotifications().addObserver(
        "NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification", nullptr,
        [&](const Notification&) { ++posts; });
    auto panel = panelShowing([&] { return probe.at(Text("bar")); });
    EXPECT_FALSE(probe.seen.back().reduceTransparency);
    sim.windowing().setReduceTransparency(true);
    sim.windowing().setReduceTransparency(true);
    EXPECT_EQ(posts, 1);
    EXPECT_TRUE(sim.platform().windowing.accessibilityDisplayShouldReduceTransparency());
    rt.runUntilIdle();
    EXPECT_TRUE(probe.seen.back().reduceTransparency);
    // A panel whose content view is replaced gives the new view the setting at once.
    Probe second;
    panel->setContentView(std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([&] { return second.at(Text("again")); })));
    rt.runUntilIdle();
    ASSERT_FALSE(second.seen.empty());
    EXPECT_TRUE(second.seen.back().reduceTransparency);
    sim.windowing().setReduceTransparency(false);
    EXPECT_EQ(posts, 2);
}

}  // namespace
}  // namespace qv
