#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "launcher/AppInfo.h"
#include "model/PinStore.h"
#include "platform/Menu.h"

namespace qv {

// Where an app row stands in the launcher's list.
enum class AppListSection { pinned, main };

// One row of the launcher's list.
struct AppListItem {
    enum class Kind { sectionHeader, app, topSpacer, divider };
    Kind kind = Kind::topSpacer;
    std::string title;  // a section header's
    AppInfo app;        // an app row's
    AppListSection section = AppListSection::main;

    static AppListItem sectionHeader(std::string title) {
        return {Kind::sectionHeader, std::move(title), {}, {}};
    }
    static AppListItem appRow(AppInfo app, AppListSection section) {
        return {Kind::app, {}, std::move(app), section};
    }
    static AppListItem topSpacer() { return {Kind::topSpacer, {}, {}, {}}; }
    static AppListItem divider() { return {Kind::divider, {}, {}, {}}; }

    bool isApp() const { return kind == Kind::app; }
    bool isPinnedApp() const { return kind == Kind::app && section == AppListSection::pinned; }
    // Unique within one list: an app may be listed in both sections.
    std::string rowID() const;
};

// The private drag type of a pinned row: its app's id as a string.
inline constexpr const char* kPinnedAppPasteboardType = "com.quillvorn.pinned-app-id";

// Fixed per kind: header 28, app 36, top spacer 4, divider 14.
double rowHeight(const AppListItem& item);
double rowTop(const std::vector<AppListItem>& items, size_t row);
// Lists that show the same rows: same kinds, header titles, app ids and sections (names, paths and
// icons are not compared); the list reloads only when they differ.
bool itemsEqual(const std::vector<AppListItem>& a, const std::vector<AppListItem>& b);
std::optional<AppInfo> appAt(const std::vector<AppListItem>& items, std::optional<size_t> row);

// --- Keyboard moves over app rows; none means the selection stays ---
std::optional<size_t> firstAppRow(const std::vector<AppListItem>& items);
std::optional<size_t> lastAppRow(const std::vector<AppListItem>& items);
// No selection: the first app row; else the next app row, none at the end (no wrap).
std::optional<size_t> nextAppRow(const std::vector<AppListItem>& items, std::optional<size_t> selected);
// No selection: the last app row; else the nearest app row before, none at the top (no wrap).
std::optional<size_t> previousAppRow(const std::vector<AppListItem>& items, std::optional<size_t> selected);

// --- The row menu ---
struct AppListMenuActions {
    std::function<void(const std::string& id)> openApp;
    std::function<void(const std::string& id)> togglePinToBar;
    std::function<void(const std::string& id)> togglePinToAppMenu;
    std::function<void(const std::string& id)> unpinFromAppMenu;
};
// "Open", then "Unpin" for an app pinned to the launcher's list, else "Pin to" with "Bar" (only
// for an app with a bundle identifier) and "App menu"; none for rows that are not apps.
std::optional<Menu> menuForRow(const std::vector<AppListItem>& items, size_t row, const PinStore& pins,
                               const AppListMenuActions& actions);

// --- Reordering the pins by dragging ---
std::vector<std::string> pinnedAppIDs(const std::vector<AppListItem>& items);
std::optional<size_t> pinnedAppRow(const std::string& id, const std::vector<AppListItem>& items);
// Where the dragged pin goes among the others (`ids` without it), for a pointer at `pointerY` in
// the list's rows (y down): before the first other whose row's middle lies below the pointer.
size_t pinnedInsertionIndex(const std::vector<std::string>& ids, const std::string& draggedID,
                            const std::vector<AppListItem>& items, double pointerY);
// `ids` without the dragged id, with it put back at `index` (clamped).
std::vector<std::string> pinnedPreviewOrder(const std::string& draggedID, size_t index,
                                            const std::vector<std::string>& ids);
// The pinned rows showing the apps in the order of `ids`; everything else unchanged.
std::vector<AppListItem> itemsByReplacingPinnedOrder(const std::vector<AppListItem>& items,
                                                     const std::vector<std::string>& ids);
// The stored pin before which the dropped one is to be stored; none: at the end. Dropped after the
// last pin shown, it goes right after that pin in the store, before pins the list does not show.
std::optional<std::string> pinnedDropTargetAppID(const std::string& draggedID,
                                                 const std::vector<std::string>& preview,
                                                 const std::vector<std::string>& storedIDs);

}  // namespace qv
