// SimWindowing's open menus: where they stand on screen, and the submenus the pointer opens.
#include <algorithm>

#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"

namespace qv {

namespace {

// The part of the display under a point that menus may take: all of it but its menu bar.
Rect menuScreen(const SimDesktop& sim, Point p) {
    const std::vector<SimDisplay>& displays = sim.displays();
    if (displays.empty()) return {p.x, p.y, 0, 0};
    auto shown = std::find_if(displays.begin(), displays.end(),
                              [&](const SimDisplay& d) { return d.frame.contains(p); });
    const SimDisplay& d = shown != displays.end() ? *shown : displays.front();
    Rect usable = d.frame;
    if (sim.showsMenuBar(d)) {
        usable.origin.y += SimDesktop::kMenuBarHeight;
        usable.size.height -= SimDesktop::kMenuBarHeight;
    }
    return usable;
}

}  // namespace

std::vector<SimOpenMenu> SimWindowing::openMenus() const {
    const SimPresentedMenu* presented = openMenu();
    if (!presented) return {};
    const Point anchor = flipVertically(presented->location, sim_.primaryHeight());
    const Point pointer = flipVertically(pointerLocation(), sim_.primaryHeight());
    const Rect screen = menuScreen(sim_, anchor);
    std::vector<SimOpenMenu> out{{MenuLayout::contextMenu(presented->menu, anchor, screen), nullptr}};
    for (const std::string& title : presented->openSubmenus) {
        const MenuLayout& parent = out.back().layout;
        auto row = std::find_if(parent.rows.begin(), parent.rows.end(), [&](const MenuLayout::Row& r) {
            return r.item->submenu && r.item->title == title;
        });
        if (row == parent.rows.end()) break;
        out.back().highlighted = row->item;
        out.push_back({MenuLayout::submenu(*row->item->submenu, parent.frame, row->frame, screen), nullptr});
    }
    if (const MenuLayout::Row* under = out.back().layout.rowAt(pointer)) out.back().highlighted = under->item;
    return out;
}

void SimWindowing::trackOpenMenu(Point p) {
    if (!openMenu()) return;
    const Point pointer = flipVertically(p, sim_.primaryHeight());
    const std::vector<SimOpenMenu> open = openMenus();
    // Submenus stand above the menus that open them: the deepest under the pointer counts.
    for (size_t level = open.size(); level-- > 0;) {
        const MenuLayout::Row* row = open[level].layout.rowAt(pointer);
        if (!row) continue;
        std::vector<std::string>& path = menus_.back().openSubmenus;
        path.resize(level);
        if (row->item->submenu && row->item->enabled) path.push_back(row->item->title);
        return;
    }
}

}  // namespace qv
