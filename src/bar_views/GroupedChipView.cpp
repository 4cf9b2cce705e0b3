#include "bar_views/GroupedChipView.h"

#include "bar_views/ChipDecorations.h"

namespace qv {

std::optional<std::string> GroupedChipView::title() const {
    if (!showChipTitles) return std::nullopt;
    return chipTitle(showWindowTitles, group.displayTitle, group.appName);
}

Menu GroupedChipView::contextMenu() const {
    Menu menu;
    if (onQuitApp) menu.items.push_back(quitMenuItem(group.appName, onQuitApp));
    if (pinToBar && pinToAppMenu) {
        menu.items.push_back(MenuItem::separator());
        menu.items.push_back(pinToMenuItem(pinToBar, pinToAppMenu, canPin));
    }
    return menu;
}

Node GroupedChipView::body() && {
    const double s = metrics.iconSize;
    std::vector<Node> row;
    if (group.icon) row.push_back(IconWithBadge{group.icon, s, group.badge}.body());
    if (auto t = title()) {
        row.push_back(chipTitleText(*t, metrics));
        row.push_back(Rectangle()
                          ->fillWith(Color::primary().opacity(separatorOpacity()))
                          ->frame(1, s * 0.7)
                          ->padding(EdgeInsets::horizontal(1)));
    }
    row.push_back(Text(std::to_string(group.windowCount),
                       {.font = Font::system(s * 0.6, FontWeight::medium, FontDesign::rounded),
                        .color = Color::secondary(),
                        .lineLimit = 1}));
    auto self = std::make_shared<const GroupedChipView>(std::move(*this));
    return ChipChrome{
        .windowing = self->windowing,
        .metrics = self->metrics,
        .isFocused = self->group.isFocused,
        .usesLightBar = self->usesLightBar,
        .pulses = self->pulses(),
        .onHoverChanged = self->onHoverChanged,
        .contextMenu = [self] { return self->contextMenu(); },
    }
        .wrap(HStack(VerticalAlignment::center, self->metrics.iconTextSpacing, std::move(row)));
}

}  // namespace qv
