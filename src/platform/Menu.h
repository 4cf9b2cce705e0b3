#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qv {

struct Menu;

enum class MenuItemState { off, on, mixed };

// One item of a menu (NSMenuItem): a separator, or a titled item with an action and/or a submenu.
struct MenuItem {
    std::string title;
    std::function<void()> action;
    MenuItemState state = MenuItemState::off;
    bool enabled = true;
    bool isSeparator = false;
    bool destructive = false;
    std::string symbolName;  // image shown before the title, a symbol name
    std::string keyEquivalent;
    std::string representedObject;
    std::shared_ptr<Menu> submenu;

    static MenuItem separator() {
        MenuItem item;
        item.isSeparator = true;
        return item;
    }
    static MenuItem button(std::string title, std::function<void()> action) {
        MenuItem item;
        item.title = std::move(title);
        item.action = std::move(action);
        return item;
    }
    static MenuItem sub(std::string title, Menu menu);
    // The item as one reads it: its symbol's name, then its title without the blanks that keep it
    // clear of the symbol ("2.square.fill Side Monitor"); the title alone without a symbol.
    std::string shownTitle() const {
        const size_t start = title.find_first_not_of(' ');
        const std::string text = start == std::string::npos ? std::string() : title.substr(start);
        return symbolName.empty() ? text : symbolName + " " + text;
    }
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;

    // The item reached by following titles through submenus ("Pin to", "Bar"); none when a title
    // is missing on the way. An item drawn after a symbol is also found as it reads
    // ("2.square.fill Side Monitor"), which tells apart two items of one title.
    const MenuItem* find(const std::vector<std::string>& titles) const;
    // The titles of the items, a separator as "-".
    std::vector<std::string> titles() const;
};

inline MenuItem MenuItem::sub(std::string title, Menu menu) {
    MenuItem item;
    item.title = std::move(title);
    menu.title = item.title;
    item.submenu = std::make_shared<Menu>(std::move(menu));
    return item;
}

inline const MenuItem* Menu::find(const std::vector<std::string>& path) const {
    const Menu* menu = this;
    const MenuItem* found = nullptr;
    for (size_t i = 0; i < path.size(); ++i) {
        if (!menu) return nullptr;
        found = nullptr;
        for (const MenuItem& item : menu->items) {
            if (!item.isSeparator && (item.title == path[i] || item.shownTitle() == path[i])) {
                found = &item;
                break;
            }
        }
        if (!found) return nullptr;
        menu = found->submenu.get();
    }
    return found;
}

inline std::vector<std::string> Menu::titles() const {
    std::vector<std::string> out;
    for (const MenuItem& item : items) out.push_back(item.isSeparator ? "-" : item.title);
    return out;
}

}  // namespace qv
