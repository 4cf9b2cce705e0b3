#pragma once

#include <functional>
#include <memory>
#include <thread>
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

// A store populated on a real runtime's main thread, every change call checked to come on it:
// `allOnMain` turns false when one does not. Null when the first scan did not end in 10 s.
template <class Runtime, class Desktop>
std::shared_ptr<WindowStore> populatedOnMain(Runtime& rt, Desktop& sim, bool& allOnMain) {
    const std::thread::id mainThread = std::this_thread::get_id();
    auto store = WindowStore::create(sim.platform());
    store->onChange = [&allOnMain, mainThread] {
        allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
    };
    bool populated = false;
    store->populate([&populated] { populated = true; });
    if (!rt.runMainUntil([&populated] { return populated; }, 10.0)) return nullptr;
    return store;
}

}  // namespace qv
