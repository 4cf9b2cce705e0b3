#pragma once

#include <functional>
#include <utility>

#include "tracking/WindowStore.h"

namespace qv {

// Reaches the window store's per-process scans, which only its timers call. Each asks the
// application's worker; its result comes on the main queue.
struct WindowStoreProbe {
    using PIDWindowScan = WindowStore::PIDWindowScan;

    template <class Then>
    static void scanWindows(WindowStore& store, int32_t pid, Then then) {
        store.scanWindows(pid, [then](WindowStore&, auto scan) mutable { then(std::move(scan)); });
    }
    static void reconcileWindowsForPID(WindowStore& store, int32_t pid, std::function<void(int)> then) {
        store.reconcileWindowsForPID(pid, [then = std::move(then)](WindowStore&, int n) { then(n); });
    }
    static bool hasMissingTrackedWindows(const WindowStore& store, int32_t pid) {
        return store.hasMissingTrackedWindows(pid);
    }
};

}  // namespace qv
