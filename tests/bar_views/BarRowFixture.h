#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "model/BarMetrics.h"
#include "support/PreviewDesktop.h"
#include "ui/Panel.h"

namespace qv::testing {

// The preview desktop with a medium bar panel along its bottom edge whose content the test builds.
class BarRowFixture : public PreviewDesktop {
  protected:
    BarMetrics metrics = BarMetrics::forSize(BarSize::medium);
    std::shared_ptr<Panel> bar;
    std::shared_ptr<HostingView> host;

    void showBar(std::function<Node()> content) {
        bar = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 1440, barHeight(metrics.barSize)},
                                 stylemask::kNonactivatingPanel);
        bar->setLevel(windowlevel::kMainMenu);
        bar->hidesOnDeactivate = false;
        host = std::make_shared<HostingView>(rt, std::make_shared<ClosureView>(std::move(content)));
        bar->setContentView(host);
        bar->orderFrontRegardless();
        rt.runUntilIdle();
    }
    void relayout() {
        host->setNeedsUpdate();
        rt.runUntilIdle();
    }
    // A row of items from the bar's leading edge.
    static Node row(std::vector<Node> items) {
        return HStack(VerticalAlignment::center, 5, std::move(items))
            ->padding(EdgeInsets::horizontal(9))
            ->frame(Element::FlexFrame{
                .maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::leading()});
    }
    // A point of the bar's content, on screen.
    Point onScreen(Point content) const { return bar->convertToScreen(content); }
};

}  // namespace qv::testing
