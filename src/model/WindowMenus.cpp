#include "model/WindowMenus.h"

#include <utility>

namespace qv {

std::vector<MenuItem> windowControlMenuItems(const std::function<void()>& onMinimize,
                                             const std::function<void()>& onClose) {
    std::vector<MenuItem> items;
    if (onMinimize) {
        MenuItem item = MenuItem::button("Minimize", onMinimize);
        item.symbolName = "minus.rectangle";
        items.push_back(item);
    }
    if (onClose) {
        MenuItem item = MenuItem::button(kCloseWindowMenuTitle, onClose);
        item.symbolName = "xmark.circle";
        items.push_back(item);
    }
    return items;
}

std::optional<MenuItem> moveToMenuItem(const std::vector<MoveToDisplayGroup>& groups, size_t screenCount,
                                       const std::function<void(uint64_t spaceID)>& onMoveToSpace) {
    if (!onMoveToSpace || groups.empty()) return std::nullopt;
    auto buttons = [&](const MoveToDisplayGroup& group) {
        Menu menu;
        for (const MoveToSpaceEntry& entry : group.spaces) {
            uint64_t id = entry.spaceID;
            menu.items.push_back(MenuItem::button(entry.label, [onMoveToSpace, id] { onMoveToSpace(id); }));
        }
        return menu;
    };
    if (groups.size() == 1 && screenCount <= 1) return MenuItem::sub("Move to", buttons(groups.front()));
    Menu menu;
    for (const MoveToDisplayGroup& group : groups) {
        MenuItem item = MenuItem::sub("  " + group.displayLabel, buttons(group));
        item.symbolName = displayNumberSymbol(group.displayNumber);
        menu.items.push_back(std::move(item));
    }
    return MenuItem::sub("Move to", std::move(menu));
}

}  // namespace qv
