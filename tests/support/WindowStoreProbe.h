#pragma once

#include "tracking/WindowStore.h"

namespace qv {

// Reaches the window store's per-process scans, which only its timers call.
struct WindowStoreProbe {
    static auto scanWindows(WindowStore& store, int32_t pid) { return store.scanWindows(pid); }
    static int reconcileWindowsForPID(WindowStore& store, int32_t pid) {
        return store.reconcileWindowsForPID(pid);
    }
    static bool hasMissingTrackedWindows(const WindowStore& store, int32_t pid) {
        return store.hasMissingTrackedWindows(pid);
    }
};

}  // namespace qv
