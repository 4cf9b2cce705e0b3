#include <gtest/gtest.h>

#include "platform/dispatch/ManualRuntime.h"
#include "platform/ui/HostingView.h"

namespace qv {
namespace {

TEST(HostingViewAdditionsTest, AHostingViewFitsItsRootsIdealSizeWhateverItsFrame) {
    ManualRuntime rt;
    Font f = Font::system(12);
    auto host = std::make_shared<HostingView>(rt, std::make_shared<ClosureView>([f] {
                                                  return Text("A rather long application name",
                                                              {.font = f, .lineLimit = 1})
                                                      ->padding(EdgeInsets{6, 10, 6, 10})
                                                      ->accessibilityLabel("Atlas", true);
                                              }));
    host->setFrameSize({40, 10});
    EXPECT_EQ(host->fittingSize(), (Size{textmetrics::width("A rather long application name", f) + 20,
                                         textmetrics::lineHeight(f) + 12}));
    host->layoutNow();
    ASSERT_EQ(host->displayList().regions.size(), 1u);
    const HitRegion& r = host->displayList().regions[0];
    EXPECT_EQ(r.accessibilityLabel, "Atlas");
    EXPECT_TRUE(r.accessibilityButton);
}

TEST(HostingViewAdditionsTest, AHoveredNodeThatGoesAwayLeavesWithItsStateStillThere) {
    ManualRuntime rt;
    bool shown = true;
    std::vector<std::string> seen;
    auto host = std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([&] {
            if (!shown) return EmptyNode();
            return WithState<std::string>("idle", [&](State<std::string> s) {
                return Rectangle()->frame(50, 20)->onHover([s, &seen](bool on) mutable {
                    s.set(on ? "hovered by the pointer" : "left by the pointer");
                    seen.push_back(s.get());
                });
            });
        }));
    host->setFrameSize({100, 20});
    host->layoutNow();
    host->mouseMoved({50, 10});
    shown = false;
    host->layoutNow();
    EXPECT_EQ(seen, (std::vector<std::string>{"hovered by the pointer", "left by the pointer"}));
}

}  // namespace
}  // namespace qv
