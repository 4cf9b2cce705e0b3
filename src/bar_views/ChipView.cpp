#include "bar_views/ChipView.h"

#include "bar_views/ChipDecorations.h"

namespace qv {

std::optional<std::string> ChipView::title() const {
    if (!showChipTitles) return std::nullopt;
    return chipTitle(showWindowTitles, chip.windowTitle, chip.appName);
}

Menu ChipView::contextMenu(size_t screenCount) const {
    Menu menu;
    const bool hasQuit = static_cast<bool>(onQuitApp);
    const bool hasPin = pinToBar && pinToAppMenu;
    auto moveTo = moveToMenuItem(moveToGroupsWhenOpened ? moveToGroupsWhenOpened() : moveToGroups,
                                 screenCount, onMoveToSpace);
    if (hasQuit) menu.items.push_back(quitMenuItem(chip.appName, onQuitApp));
    if (hasQuit && hasPin) menu.items.push_back(MenuItem::separator());
    if (hasPin) menu.items.push_back(pinToMenuItem(pinToBar, pinToAppMenu, canPin));
    if (moveTo) menu.items.push_back(*moveTo);
    if ((onMinimize || onClose) && (hasQuit || hasPin || moveTo)) menu.items.push_back(MenuItem::separator());
    for (MenuItem& item : windowControlMenuItems(onMinimize, onClose)) menu.items.push_back(std::move(item));
    return menu;
}

Node ChipView::body() && {
    std::vector<Node> row;
    if (chip.icon) row.push_back(IconWithBadge{chip.icon, metrics.iconSize, chip.badge}.body());
    if (auto t = title()) row.push_back(chipTitleText(*t, metrics));
    // The menu is built from this evaluation's chip; one copy of it, however often the menu opens.
    auto self = std::make_shared<const ChipView>(std::move(*this));
    Windowing* w = &self->windowing;
    return ChipChrome{
        .windowing = self->windowing,
        .metrics = self->metrics,
        .isFocused = self->isFocused,
        .usesLightBar = self->usesLightBar,
        .pulses = self->pulses(),
        .onHoverChanged = self->onHoverChanged,
        .contextMenu = [self, w] { return self->contextMenu(w->screens().size()); },
    }
        .wrap(HStack(VerticalAlignment::center, self->metrics.iconTextSpacing, std::move(row)));
}

}  // namespace qv
