#include "app/BarModelDemo.h"

#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

namespace {

void printItems(const std::vector<DisplayItem>& items, std::ostream& out) {
    if (items.empty()) out << "        (no chips)\n";
    for (const DisplayItem& item : items) {
        std::string title;
        std::optional<std::string> badge;
        bool focused = false, attention = false, minimised = false;
        int64_t windows = 1;
        if (const ChipData* c = item.chip()) {
            title = c->windowTitle.empty() ? c->appName : c->windowTitle;
            badge = c->badge;
            focused = c->isFocused;
            attention = c->wantsAttention;
            minimised = c->isMinimized;
        } else {
            const GroupedChipData& g = *item.groupData();
            title = g.displayTitle;
            badge = g.badge;
            focused = g.isFocused;
            attention = g.wantsAttention;
            windows = g.windowCount;
        }
        out << "      " << (focused ? "> " : "  ") << title;
        if (windows > 1) out << "  (" << windows << " windows)";
        if (badge) out << "  [" << *badge << "]";
        if (attention) out << "  wants attention";
        if (minimised) out << "  minimised";
        out << "\n";
    }
}

void printBars(Platform& platform, const BarViewModel& model, std::ostream& out) {
    SpaceWindows spaces(platform);
    auto screens = platform.displays.screens();
    int64_t lastDisplay = -1;
    int desktopNumber = 0;
    for (const auto& space : *model.spaces) {
        if (space.displayIndex != lastDisplay) {
            lastDisplay = space.displayIndex;
            desktopNumber = 0;
            auto index = spaces.screenIndex(space, screens);
            out << "  " << (index ? screens[*index].localizedName : space.displayIdentifier) << "\n";
        }
        if (space.isFullScreen()) {
            out << "    Full screen (no bar)\n";
            continue;
        }
        out << "    Desktop " << ++desktopNumber << (space.spaceID == *model.activeSpaceID ? " (active)" : "")
            << "\n";
        printItems(model.displayItemsBySpace->at(space.spaceID), out);
    }
}

}  // namespace

void printBarModel(Platform& platform, RealRuntime& runtime, std::ostream& out) {
    auto store = WindowStore::create(platform);
    store->populate();
    auto settings = UserSettings::create(platform);
    auto badges =
        std::make_shared<BadgeService>(platform.runtime, platform.processes, platform.launchServices);
    auto model = BarViewModel::create(platform, store, settings, badges);
    runtime.runMainUntil([&] { return !badges->badgesByBundleID->empty(); },
                         BadgeService::kFirstPollDelay + LSAppInfo::kRunTimeout * 2 + 1.0);
    runtime.runMainFor(0.05);  // the refresh the badges queued

    out << "\nBars (\">\" marks the focused chip)\n";
    printBars(platform, *model, out);

    // A click on the active desktop's first chip that is not focused.
    const uint64_t active = *model->activeSpaceID;
    auto items = model->displayItemsBySpace->find(active);
    if (items == model->displayItemsBySpace->end()) return;
    for (const DisplayItem& item : items->second) {
        const ChipData* chip = item.chip();
        uint32_t id = chip ? chip->id : item.groupData()->windowIDs.front();
        bool focused = chip ? chip->isFocused : item.groupData()->isFocused;
        if (focused || !store->windows.contains(id)) continue;
        const TrackedWindow& window = store->windows.at(id);
        out << "\nA click on \"" << (window.windowTitle.empty() ? window.appName : window.windowTitle)
            << "\"\n";
        model->activateWindow(id);
        store->handleAppActivated(window.pid);  // what the activation handler does at start-up
        runtime.runMainFor(BarViewModel::kActivationRetryDelay + 0.05);
        printItems(model->displayItemsBySpace->at(active), out);
        break;
    }
}

}  // namespace qv
