#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tracking/WindowStore.h"

namespace qv {

// Reaches the window store's state and the operations only its own timers and passes call. The
// scans each ask the application's worker; their result comes on the main queue.
struct WindowStoreProbe {
    using PIDWindowScan = WindowStore::PIDWindowScan;
    using ReconcileState = WindowStore::ReconcileState;
    using WindowSpacesMap = WindowStore::WindowSpacesMap;

    // --- The model, to change it behind the store's back or read what it keeps to itself ---
    static std::map<uint32_t, TrackedWindow>& windows(WindowStore& store) { return store.windows_; }
    static std::optional<uint32_t>& focusedWindowID(WindowStore& store) { return store.focusedWindowID_; }
    static std::map<uint32_t, ReconcileState>& reconcileStateByWindowID(WindowStore& store) {
        return store.reconcileStateByWindowID_;
    }
    static std::set<int32_t>& observerAttachedPIDs(WindowStore& store) { return store.observerAttachedPIDs_; }
    static const std::map<int32_t, WorkItemPtr>& lifecycleWorkByPID(const WindowStore& store) {
        return store.lifecycleWorkByPID_;
    }
    static std::set<int32_t>& pendingScans(WindowStore& store) { return store.pendingScans_; }
    static WorkItemPtr& pendingCrossScreenRefresh(WindowStore& store) {
        return store.pendingCrossScreenRefresh_;
    }
    static uint64_t debugEventSequence(const WindowStore& store) { return store.debugEventSequence_; }

    // --- Requests, Spaces and admission ---
    static WindowStoreRequests requests(const WindowStore& store) { return store.requests(); }
    static WindowSpacesMap buildWindowSpacesMap(WindowStore& store, uint32_t connectionID) {
        return store.buildWindowSpacesMap(connectionID);
    }
    static std::map<uint32_t, std::set<uint64_t>> querySpaces(WindowStore& store,
                                                              const std::vector<uint32_t>& windowIDs,
                                                              uint32_t connectionID) {
        return store.querySpaces(windowIDs, connectionID);
    }
    static bool requiresAXConfirmationForLiveAdmission(const WindowStore& store, int32_t pid) {
        return store.requiresAXConfirmationForLiveAdmission(pid);
    }
    static std::optional<std::string> tentativeBootstrapRejection(WindowStore& store, uint32_t windowID,
                                                                  const WindowSpacesMap& windowSpaces,
                                                                  uint32_t connectionID) {
        return store.tentativeBootstrapRejection(windowID, windowSpaces, connectionID);
    }
    static std::optional<CGWindowInfo> cgWindowInfo(WindowStore& store, uint32_t windowID) {
        return store.cgWindowInfo(windowID);
    }

    // --- Passes ---
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
    // The sole window of a Space, given to `chosen` once the answers it waits for are applied.
    static void trackSoleWindow(WindowStore& store, uint64_t spaceID,
                                std::function<void(std::optional<uint32_t>)> chosen) {
        store.trackSoleWindow(spaceID, std::move(chosen));
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
