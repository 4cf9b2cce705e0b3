#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "ui/View.h"

namespace qv {

// A small bar that shows what the view layer draws: a launcher tile, labelled chips with icons in a
// horizontal scroll view (one with a badge over its icon), dividers and a show-desktop strip.
// The demo program puts it on its screenshot, and the layer's tests drive it.
class SampleBarView : public View {
  public:
    struct Chip {
        std::string title;
        Image icon;
        std::optional<std::string> badge;
        bool focused = false;
    };
    SampleBarView(std::vector<Chip> chips, double barHeight = 36);

    Node body() override;

    // What the user did, for whoever shows the bar.
    std::vector<std::string> tappedChips;
    int menuTaps = 0;
    std::optional<std::string> hoveredChip;

  private:
    Node chip(size_t index);
    std::vector<Chip> chips_;
    double height_;
};

}  // namespace qv
