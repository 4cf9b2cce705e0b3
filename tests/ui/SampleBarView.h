#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "ui/View.h"

namespace qv {

// A small bar made of what the view layer draws: a launcher tile, labelled chips with icons in a
// horizontal scroll view (one with a badge over its icon), dividers and a show-desktop strip. The
// panel tests show it in a panel, point and click at it, and read its picture back.
class SampleBarView : public View {
  public:
    struct Chip {
        std::string title;
        Image icon;
        std::optional<std::string> badge;
        bool focused = false;
    };
    SampleBarView(std::vector<Chip> chips, double barHeight = 36)
        : chips_(std::move(chips)), height_(barHeight) {}

    Node body() override {
        Node menuButton =
            ZStack({RoundedRectangle(6)->fillWith(Color::primary().opacity(0.1)),
                    SymbolImage("square.grid.2x2", Font::system(16, FontWeight::medium), Color::primary())})
                ->frame(36, 28)
                ->padding(EdgeInsets{0, 8, 0, 5})
                ->frame(std::nullopt, height_)
                ->contentShape()
                ->onTapGesture([this] { ++menuTaps; })
                ->help("Applications");
        std::vector<Node> chips;
        for (size_t i = 0; i < chips_.size(); ++i) chips.push_back(chip(i)->id("chip-" + std::to_string(i)));
        Node row =
            ScrollView(
                Axis::horizontal,
                HStack(VerticalAlignment::center, 6, std::move(chips))->padding(EdgeInsets::horizontal(5)),
                {.showsIndicators = false})
                ->frame(Element::FlexFrame{.maxWidth = kInfinity});
        Node background = ZStack({MaterialView(Material::hudWindow), Fill(Color::white(0.06))})
                              ->overlay(Fill(Color::white(0.18))->frame(std::nullopt, 1), Alignment::top());
        return HStack(VerticalAlignment::center, 0,
                      {menuButton, Divider()->frame(std::nullopt, height_ * 0.7)->opacity(0.3), row,
                       Divider()
                           ->frame(std::nullopt, height_ * 0.7)
                           ->opacity(0.3)
                           ->padding(EdgeInsets{0, 5, 0, 0}),
                       Rectangle()
                           ->fillWith(Color::primary().opacity(0.05))
                           ->frame(6, height_)
                           ->help("Show Desktop")})
            ->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity})
            ->background(background);
    }

    // What the user did, for whoever shows the bar.
    std::vector<std::string> tappedChips;
    int menuTaps = 0;
    std::optional<std::string> hoveredChip;

  private:
    Node chip(size_t index) {
        const Chip& c = chips_[index];
        const double icon = 20;
        Node badge = EmptyNode();
        double reserved = 0;
        if (c.badge) {
            Font f = Font::system(7.5, FontWeight::bold, FontDesign::rounded);
            double side = std::max(12.0, icon * 0.5);
            double width = std::clamp(textmetrics::width(*c.badge, f) + 6, side, side * 2.5);
            badge = Text(*c.badge, {.font = f, .color = Color::white(), .lineLimit = 1})
                        ->frame(width, side)
                        ->background(Capsule()->fillWith(Color::red()))
                        ->offset(icon * 0.75, 0);
            reserved = std::max(0.0, icon * 0.75 + width - icon) + 2;
        }
        Node iconWithBadge =
            ZStack(Alignment::topLeading(), {IconImage(c.icon)->resizableImage()->frame(icon, icon), badge})
                ->frame(icon + reserved, icon, Alignment::leading());
        std::string title = c.title;
        return HStack(VerticalAlignment::center, 6,
                      {iconWithBadge,
                       Text(c.title, {.font = Font::system(14, FontWeight::medium), .lineLimit = 1})
                           ->frame(Element::FlexFrame{.maxWidth = 140, .alignment = Alignment::leading()})})
            ->padding(EdgeInsets::horizontal(8))
            ->frame(std::nullopt, 28)
            ->background(RoundedRectangle(7)->fillWith(Color::primary().opacity(c.focused ? 0.2 : 0.1)))
            ->overlay(c.focused ? RoundedRectangle(7)->strokeBorder(Color::primary().opacity(0.35), 1)
                                : EmptyNode())
            ->frame(std::nullopt, height_)
            ->contentShape()
            ->onHover([this, title](bool on) {
                if (on) {
                    hoveredChip = title;
                } else if (hoveredChip == title) {
                    hoveredChip.reset();
                }
            })
            ->onTapGesture([this, title] { tappedChips.push_back(title); })
            ->help(title);
    }

    std::vector<Chip> chips_;
    double height_;
};

}  // namespace qv
