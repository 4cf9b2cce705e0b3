#include "launcher/AppListItem.h"

#include <algorithm>
#include <map>

namespace qv {

std::string AppListItem::rowID() const {
    switch (kind) {
        case Kind::sectionHeader:
            return "header:" + title;
        case Kind::app:
            return (section == AppListSection::pinned ? "pinned:" : "main:") + app.id;
        case Kind::topSpacer:
            return "topSpacer";
        case Kind::divider:
            return "divider";
    }
    return {};
}

double rowHeight(const AppListItem& item) {
    switch (item.kind) {
        case AppListItem::Kind::sectionHeader:
            return 28;
        case AppListItem::Kind::app:
            return 36;
        case AppListItem::Kind::topSpacer:
            return 4;
        case AppListItem::Kind::divider:
            return 14;
    }
    return 0;
}

double rowTop(const std::vector<AppListItem>& items, size_t row) {
    double top = 0;
    for (size_t i = 0; i < row && i < items.size(); ++i) top += rowHeight(items[i]);
    return top;
}

bool itemsEqual(const std::vector<AppListItem>& a, const std::vector<AppListItem>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const AppListItem& x, const AppListItem& y) {
        if (x.kind != y.kind) return false;
        if (x.kind == AppListItem::Kind::sectionHeader) return x.title == y.title;
        if (x.kind == AppListItem::Kind::app) return x.app.id == y.app.id && x.section == y.section;
        return true;
    });
}

std::optional<AppInfo> appAt(const std::vector<AppListItem>& items, std::optional<size_t> row) {
    if (!row || *row >= items.size() || !items[*row].isApp()) return std::nullopt;
    return items[*row].app;
}

// --- Keyboard moves ---

std::optional<size_t> firstAppRow(const std::vector<AppListItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isApp()) return i;
    }
    return std::nullopt;
}

std::optional<size_t> lastAppRow(const std::vector<AppListItem>& items) {
    for (size_t i = items.size(); i-- > 0;) {
        if (items[i].isApp()) return i;
    }
    return std::nullopt;
}

std::optional<size_t> nextAppRow(const std::vector<AppListItem>& items, std::optional<size_t> selected) {
    if (!selected) return firstAppRow(items);
    for (size_t i = *selected + 1; i < items.size(); ++i) {
        if (items[i].isApp()) return i;
    }
    return std::nullopt;
}

std::optional<size_t> previousAppRow(const std::vector<AppListItem>& items, std::optional<size_t> selected) {
    if (!selected) return lastAppRow(items);
    for (size_t i = std::min(*selected, items.size()); i-- > 0;) {
        if (items[i].isApp()) return i;
    }
    return std::nullopt;
}

// --- The row menu ---

std::optional<Menu> menuForRow(const std::vector<AppListItem>& items, size_t row, const PinStore& pins,
                               const AppListMenuActions& actions) {
    if (row >= items.size() || !items[row].isApp()) return std::nullopt;
    const AppInfo& app = items[row].app;
    auto item = [&app](std::string title, const std::function<void(const std::string&)>& action) {
        MenuItem m = MenuItem::button(std::move(title), [action, id = app.id] {
            if (action) action(id);
        });
        m.representedObject = app.id;
        return m;
    };
    Menu menu;
    menu.items.push_back(item("Open", actions.openApp));
    menu.items.push_back(MenuItem::separator());
    if (pins.isPinned(app.id, PinDestination::appMenu())) {
        menu.items.push_back(item("Unpin", actions.unpinFromAppMenu));
        return menu;
    }
    MenuItem bar = item("Bar", actions.togglePinToBar);
    bar.state = pins.isPinned(app.id, PinDestination::bar()) ? MenuItemState::on : MenuItemState::off;
    bar.enabled = app.id != app.path;  // only an app with a bundle identifier goes on the bar
    MenuItem list = item("App menu", actions.togglePinToAppMenu);
    list.state = pins.isPinned(app.id, PinDestination::appMenu()) ? MenuItemState::on : MenuItemState::off;
    menu.items.push_back(MenuItem::sub("Pin to", Menu{"", {bar, list}}));
    return menu;
}

// --- Reordering the pins ---

std::vector<std::string> pinnedAppIDs(const std::vector<AppListItem>& items) {
    std::vector<std::string> ids;
    for (const AppListItem& item : items) {
        if (item.isPinnedApp()) ids.push_back(item.app.id);
    }
    return ids;
}

std::optional<size_t> pinnedAppRow(const std::string& id, const std::vector<AppListItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].isPinnedApp() && items[i].app.id == id) return i;
    }
    return std::nullopt;
}

size_t pinnedInsertionIndex(const std::vector<std::string>& ids, const std::string& draggedID,
                            const std::vector<AppListItem>& items, double pointerY) {
    std::vector<std::string> others;
    for (const std::string& id : ids) {
        if (id != draggedID) others.push_back(id);
    }
    for (size_t i = 0; i < others.size(); ++i) {
        auto row = pinnedAppRow(others[i], items);
        if (!row) continue;
        const double middle = rowTop(items, *row) + rowHeight(items[*row]) / 2;
        if (middle > pointerY) return i;
    }
    return others.size();
}

std::vector<std::string> pinnedPreviewOrder(const std::string& draggedID, size_t index,
                                            const std::vector<std::string>& ids) {
    std::vector<std::string> order;
    for (const std::string& id : ids) {
        if (id != draggedID) order.push_back(id);
    }
    order.insert(order.begin() + static_cast<long>(std::min(index, order.size())), draggedID);
    return order;
}

std::vector<AppListItem> itemsByReplacingPinnedOrder(const std::vector<AppListItem>& items,
                                                     const std::vector<std::string>& ids) {
    std::map<std::string, AppInfo> byID;
    for (const AppListItem& item : items) {
        if (item.isPinnedApp()) byID.emplace(item.app.id, item.app);
    }
    std::vector<AppListItem> out = items;
    size_t k = 0;
    for (AppListItem& item : out) {
        if (!item.isPinnedApp()) continue;
        if (k < ids.size()) {
            if (auto it = byID.find(ids[k]); it != byID.end())
                item = AppListItem::appRow(it->second, AppListSection::pinned);
        }
        ++k;
    }
    return out;
}

std::optional<std::string> pinnedDropTargetAppID(const std::string& draggedID,
                                                 const std::vector<std::string>& preview,
                                                 const std::vector<std::string>& storedIDs) {
    auto at = std::find(preview.begin(), preview.end(), draggedID);
    if (at == preview.end()) return std::nullopt;
    const size_t i = static_cast<size_t>(at - preview.begin());
    std::vector<std::string> others;
    for (const std::string& id : preview) {
        if (id != draggedID) others.push_back(id);
    }
    if (i < others.size()) return others[i];
    if (others.empty()) return std::nullopt;
    // Dropped last among the pins shown: right after the last of them in the store.
    std::vector<std::string> stored;
    for (const std::string& id : storedIDs) {
        if (id != draggedID) stored.push_back(id);
    }
    auto last = std::find(stored.begin(), stored.end(), others.back());
    if (last == stored.end() || last + 1 == stored.end()) return std::nullopt;
    return *(last + 1);
}

}  // namespace qv
