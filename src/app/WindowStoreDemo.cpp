#include "app/WindowStoreDemo.h"

#include <iomanip>

#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

namespace {

void printWindow(const WindowStore& store, const TrackedWindow& w, std::ostream& out) {
    out << "        " << std::setw(5) << w.windowID << "  " << std::left << std::setw(12) << w.appName
        << std::right << "  " << (w.windowTitle.empty() ? "(untitled)" : w.windowTitle);
    if (w.isMinimized) out << "  [minimised]";
    if (store.focusedWindowID == w.windowID) out << "  [focused]";
    out << "\n";
}

}  // namespace

void printTrackedWindows(Platform& platform, std::ostream& out) {
    auto store = WindowStore::create(platform);
    store->populate();

    SpaceWindows spaces(platform);
    auto screens = platform.displays.screens();
    out << "\nTracked windows\n";
    int64_t lastDisplay = -1;
    int desktopNumber = 0;
    for (const auto& space : spaces.getSpaces(platform.windowServer.mainConnectionID())) {
        if (space.displayIndex != lastDisplay) {
            lastDisplay = space.displayIndex;
            desktopNumber = 0;
            auto idx = spaces.screenIndex(space, screens);
            out << "  " << (idx ? screens[*idx].localizedName : space.displayIdentifier) << "\n";
        }
        out << "    " << (space.isFullScreen() ? "Full screen" : "Desktop " + std::to_string(++desktopNumber))
            << "\n";
        int shown = 0;
        for (const auto& [id, w] : store->windows) {
            if (!w.spaceIDs.contains(space.spaceID)) continue;
            printWindow(*store, w, out);
            ++shown;
        }
        if (shown == 0) out << "        (none)\n";
    }
    bool header = false;
    for (const auto& [id, w] : store->windows) {
        if (!w.spaceIDs.empty()) continue;
        if (!header) out << "    On no desktop\n";
        header = true;
        printWindow(*store, w, out);
    }

    out << "\nQueued for a deferred scan:";
    if (store->pendingScans.empty()) out << " none";
    for (int32_t pid : store->pendingScans) {
        auto app = platform.workspace.runningApplication(pid);
        out << " " << (app && app->localizedName ? *app->localizedName : std::to_string(pid));
    }
    out << "\n";
}

}  // namespace qv
