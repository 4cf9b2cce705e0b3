#include "app/WindowStoreDemo.h"

#include <algorithm>
#include <iomanip>

#include "tracking/AXObserverManager.h"
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

// "Desktop 2 of Studio Display", numbered as the bar numbers them.
std::string desktopName(Platform& platform, uint64_t spaceID) {
    SpaceWindows spaces(platform);
    auto screens = platform.displays.screens();
    int64_t display = -1;
    int number = 0;
    for (const auto& space : spaces.getSpaces(platform.windowServer.mainConnectionID())) {
        if (space.displayIndex != display) {
            display = space.displayIndex;
            number = 0;
        }
        if (!space.isFullScreen()) ++number;
        if (space.spaceID != spaceID) continue;
        auto idx = spaces.screenIndex(space, screens);
        std::string on = idx ? screens[*idx].localizedName : space.displayIdentifier;
        return (space.isFullScreen() ? std::string("a full-screen desktop")
                                     : "Desktop " + std::to_string(number)) +
               " of " + on;
    }
    return "no desktop";
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

void printWorldChangesReachingTheStore(Backend& backend, RealRuntime& runtime, std::ostream& out) {
    constexpr double kWait = 5.0;
    Platform& platform = backend.platform();
    auto store = WindowStore::create(platform);
    store->populate();

    // Wired as start-up wires them: events and attach reports come on the main queue.
    auto manager =
        AXObserverManager::create(platform.runtime, platform.accessibility, platform.runtime.mainQueue());
    std::weak_ptr<WindowStore> weak = store;
    manager->onEvent = [weak](const AXWindowEvent& event) {
        if (auto s = weak.lock()) s->handleAXEvent(event);
    };
    manager->onObserverAdded = [weak](int32_t pid) {
        if (auto s = weak.lock()) {
            s->handleObserverAttached(pid);
            s->addWindowsForPID(pid);
        }
    };
    manager->start();
    const std::set<int32_t> pids = store->trackedPIDs();
    for (int32_t pid : pids) manager->observe(pid);

    out << "\nWorld changes reaching the store\n";
    const bool attached = runtime.runMainUntil(
        [&] {
            return std::includes(store->observerAttachedPIDs.begin(), store->observerAttachedPIDs.end(),
                                 pids.begin(), pids.end());
        },
        kWait);
    auto front = platform.workspace.frontmostApplication();
    if (!attached || !front) {
        out << "  (" << (attached ? "no application is frontmost" : "the observers did not attach") << ")\n";
        return;
    }
    out << "  Observing " << pids.size() << " applications\n";
    const std::string name = front->localizedName.value_or("The frontmost application");
    const std::string title = "Scratch pad";
    const uint32_t id =
        backend.openApplicationWindow(front->processIdentifier, title, Rect{360, 240, 900, 600});
    if (id == 0) {
        out << "  (this desktop cannot be changed from here)\n";
        return;
    }
    const bool seen = runtime.runMainUntil([&] { return store->windows.contains(id); }, kWait);
    out << "  " << name << " opened \"" << title << "\" (window " << id << "): ";
    if (seen) {
        const TrackedWindow& w = store->windows.at(id);
        out << "tracked on "
            << (w.spaceIDs.empty() ? "no desktop" : desktopName(platform, *w.spaceIDs.begin())) << "\n";
    } else {
        out << "not seen\n";
    }
    backend.closeApplicationWindow(id);
    const bool gone = runtime.runMainUntil([&] { return !store->windows.contains(id); }, kWait);
    out << "  " << name << " closed it: " << (gone ? "no longer tracked" : "still tracked") << "\n";
    manager->stop();
}

}  // namespace qv
