// The window store's rescans: deferred scan series, per-process lifecycle polling, the scan and
// reconciliation of one process, and the batch passes over the whole store.
#include <algorithm>

#include "tracking/WindowStore.h"

namespace qv {

namespace {

TrackedWindow trackedWindowFrom(uint32_t windowID, int32_t pid, const auto& candidate) {
    TrackedWindow w;
    w.windowID = windowID;
    w.pid = pid;
    w.appName = candidate.appName;
    w.bundleIdentifier = candidate.bundleID;
    w.windowTitle = candidate.title;
    w.frame = candidate.frame;
    w.isMinimized = candidate.isMinimized;
    w.spaceIDs = candidate.spaces;
    return w;
}

bool passesSizeTest(const Rect& bounds) {
    return bounds.width() >= WindowStore::kMinimumWindowSize &&
           bounds.height() >= WindowStore::kMinimumWindowSize;
}

}  // namespace

// --- Deferred scans ---

void WindowStore::scheduleDeferredScan(int32_t pid) {
    if (pendingScans.contains(pid)) return;
    pendingScans.insert(pid);
    // An older series of the same pid may still have blocks scheduled (its mark was cleared by a
    // process end); the series number keeps them from acting for this one.
    const uint64_t series = ++nextDeferredScanSeries_;
    deferredScanSeriesByPID_[pid] = series;
    std::weak_ptr<WindowStore> weak = weak_from_this();
    auto main = platform_.runtime.mainQueue();
    auto isCurrent = [pid, series](const WindowStore& store) {
        auto it = store.deferredScanSeriesByPID_.find(pid);
        return store.pendingScans.contains(pid) && it != store.deferredScanSeriesByPID_.end() &&
               it->second == series;
    };
    for (double delay : kDeferredScanPasses) {
        main->asyncAfter(delay, [weak, pid, isCurrent] {
            auto self = weak.lock();
            if (!self || !isCurrent(*self)) return;
            if (self->reconcileWindowsForPID(pid) > 0) {
                auto front = self->platform_.workspace.frontmostApplication();
                if (front && front->processIdentifier == pid) self->handleAppActivated(pid);
            }
        });
    }
    main->asyncAfter(kDeferredScanSeriesEnd, [weak, pid, isCurrent] {
        auto self = weak.lock();
        if (!self || !isCurrent(*self)) return;
        self->pendingScans.erase(pid);
        self->deferredScanSeriesByPID_.erase(pid);
    });
}

// --- Observer bootstrap ---

bool WindowStore::needsObserverBootstrap(int32_t pid) const {
    if (trackedPIDs().contains(pid)) return false;
    if (observerAttachedPIDs.contains(pid)) return false;
    if (lifecycleByPID.contains(pid)) return false;
    return !pendingScans.contains(pid);
}

void WindowStore::handleObserverAttached(int32_t pid) {
    observerAttachedPIDs.insert(pid);
    auto it = lifecycleByPID.find(pid);
    if (it == lifecycleByPID.end()) return;
    PIDLifecycleState& state = it->second;
    state.phase = PIDLifecyclePhase::runningObserved;
    state.observerAttached = true;
    state.nextInterval = kObservedInterval;
    state.stableScans = 0;
    state.lastTrackedWindowIDs = trackedWindowIDs(pid);
    scheduleLifecycleTick(pid, kActivityTickDelay);
}

int WindowStore::addWindowsForPID(int32_t pid) {
    PIDWindowScan scan = scanWindows(pid);
    const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(pid);
    int added = 0;
    bool heldBack = false;
    for (const auto& [id, candidate] : scan.candidates) {
        if (windows.contains(id)) {
            reconcileStateByWindowID[id] = ReconcileState::active();
        } else if (candidate.isAXConfirmed || !confirmationRequired) {
            windows[id] = trackedWindowFrom(id, pid, candidate);
            reconcileStateByWindowID[id] = ReconcileState::active();
            ++added;
        } else {
            heldBack = true;
        }
    }
    if (added > 0 && onChange) onChange();
    if (heldBack) scheduleDeferredScan(pid);
    return added;
}

// --- Lifecycle monitoring ---

std::set<uint32_t> WindowStore::trackedWindowIDs(int32_t pid) const {
    std::set<uint32_t> ids;
    for (const auto& [id, w] : windows) {
        if (w.pid == pid) ids.insert(id);
    }
    return ids;
}

void WindowStore::startLifecycleMonitoring(int32_t pid, double initialDelay) {
    PIDLifecycleState state;
    state.observerAttached = observerAttachedPIDs.contains(pid);
    state.phase = state.observerAttached ? PIDLifecyclePhase::runningObserved : PIDLifecyclePhase::launching;
    state.nextInterval = state.observerAttached ? kObservedInterval : kUnobservedBaseInterval;
    state.startedAt = platform_.runtime.now();
    state.stableScans = 0;
    state.lastTrackedWindowIDs = trackedWindowIDs(pid);
    lifecycleByPID[pid] = std::move(state);
    scheduleLifecycleTick(pid, initialDelay);
}

void WindowStore::ensureLifecycleMonitoringForWindowActivity(int32_t pid) {
    auto it = lifecycleByPID.find(pid);
    if (it == lifecycleByPID.end()) {
        startLifecycleMonitoring(pid, kActivityTickDelay);
        return;
    }
    it->second.stableScans = 0;
    it->second.lastTrackedWindowIDs = trackedWindowIDs(pid);
    scheduleLifecycleTick(pid, kActivityTickDelay);
}

void WindowStore::cancelLifecycleMonitoring(int32_t pid) {
    if (auto it = lifecycleWorkByPID.find(pid); it != lifecycleWorkByPID.end()) {
        it->second->cancel();
        lifecycleWorkByPID.erase(it);
    }
    lifecycleByPID.erase(pid);
}

void WindowStore::scheduleLifecycleTick(int32_t pid, double delay) {
    if (auto it = lifecycleWorkByPID.find(pid); it != lifecycleWorkByPID.end()) it->second->cancel();
    std::weak_ptr<WindowStore> weak = weak_from_this();
    auto item = makeWorkItem([weak, pid] {
        if (auto self = weak.lock()) self->runLifecycleTick(pid);
    });
    lifecycleWorkByPID[pid] = item;
    platform_.runtime.mainQueue()->asyncAfter(delay, item);
}

void WindowStore::runLifecycleTick(int32_t pid) {
    if (!lifecycleByPID.contains(pid)) return;
    auto app = platform_.workspace.runningApplication(pid);
    if (!app || app->isTerminated) {
        removeWindows(pid);
        return;
    }
    reconcileWindowsForPID(pid);
    // The reconciliation may have ended the monitoring through a callback; nothing to do then.
    auto it = lifecycleByPID.find(pid);
    if (it == lifecycleByPID.end()) return;
    PIDLifecycleState& state = it->second;

    std::set<uint32_t> ids = trackedWindowIDs(pid);
    const int stable =
        ids == state.lastTrackedWindowIDs && !hasMissingTrackedWindows(pid) ? state.stableScans + 1 : 0;
    const double now = platform_.runtime.now();
    double next = 0;
    if (!state.observerAttached) {
        next = std::clamp(state.nextInterval * kUnobservedGrowth, kUnobservedBaseInterval,
                          kUnobservedMaxInterval);
        state.phase = PIDLifecyclePhase::runningUnobserved;
    } else {
        if (stable >= kObservedStableTicks || now - state.startedAt >= kObservedTimeLimit) {
            cancelLifecycleMonitoring(pid);
            return;
        }
        next = kObservedInterval;
        state.phase = PIDLifecyclePhase::runningObserved;
    }
    state.nextInterval = next;
    state.stableScans = stable;
    state.lastTrackedWindowIDs = std::move(ids);
    scheduleLifecycleTick(pid, next);
}

bool WindowStore::hasMissingTrackedWindows(int32_t pid) const {
    for (const auto& [id, w] : windows) {
        if (w.pid != pid) continue;
        auto it = reconcileStateByWindowID.find(id);
        if (it != reconcileStateByWindowID.end() && !it->second.isActive()) return true;
    }
    return false;
}

// --- Scan and reconciliation of one process ---

WindowStore::PIDWindowScan WindowStore::scanWindows(int32_t pid) {
    WindowServer& ws = platform_.windowServer;
    const uint32_t cid = ws.mainConnectionID();
    const WindowSpacesMap windowSpaces = buildWindowSpacesMap(cid);
    const auto list = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0));
    const std::vector<CGWindowInfo> entries = list.value_or(std::vector<CGWindowInfo>{});
    const AXWindowList axList = readAXWindowList(pid);
    const AXWindowMetadataMap& metadata = axList.metadataByID;
    const bool hasAXWindowList = axList.hasList;
    PIDWindowScan scan;
    scan.windowListReadable = list.has_value();
    scan.ownerIsDockEligible = dockEligibleOwnerPIDs(platform_.workspace).contains(pid);
    const auto app = platform_.workspace.runningApplication(pid);
    const std::string fallbackName = app && app->localizedName ? *app->localizedName : "Unknown";
    const std::optional<std::string> bundleID = app ? app->bundleIdentifier : std::nullopt;

    for (const CGWindowInfo& info : entries) {
        if (info.ownerPID() != pid) continue;
        auto id = info.windowID();
        if (!id || info.layer() != 0) continue;
        scan.layerZeroWindowIDs.insert(*id);
        if (!scan.ownerIsDockEligible) continue;
        auto bounds = info.bounds();
        if (!bounds || !passesSizeTest(*bounds)) continue;
        if (auto alpha = info.alpha(); alpha && !(*alpha > 0)) continue;

        bool confirmed = hasAXWindowList;
        switch (cgWindowAXAdmission(*id, metadata, hasAXWindowList).kind) {
            case CGWindowAXAdmission::Case::admitted:
                break;
            case CGWindowAXAdmission::Case::unanswered:
                confirmed = false;  // present, but not confirmed
                break;
            case CGWindowAXAdmission::Case::rejected:
                scan.axRejectedWindowIDs.insert(*id);
                continue;
            case CGWindowAXAdmission::Case::missing:
                if (spaces_.parentWindowIDs({*id}, cid).contains(*id)) scan.axRejectedWindowIDs.insert(*id);
                continue;
        }

        ScannedWindowCandidate c;
        c.appName = info.ownerName().value_or(fallbackName);
        c.bundleID = bundleID;
        const auto m = metadata.find(*id);
        std::optional<std::string> title = m != metadata.end() ? m->second.title : std::nullopt;
        if (!title) title = readTitle(axList, *id);
        c.title = title ? *title : info.windowName().value_or("");
        c.frame = *bounds;
        if (auto s = windowSpaces.find(*id); s != windowSpaces.end()) c.spaces = s->second;
        c.isAXConfirmed = confirmed;
        c.isMinimized = m != metadata.end() && m->second.isMinimized.value_or(false);
        scan.candidates[*id] = std::move(c);
    }
    return scan;
}

int WindowStore::reconcileWindowsForPID(int32_t pid) {
    PIDWindowScan scan = scanWindows(pid);
    const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(pid);
    const int withSpace =
        static_cast<int>(std::count_if(scan.candidates.begin(), scan.candidates.end(),
                                       [](const auto& c) { return !c.second.spaces.empty(); }));
    bool changed = false;
    bool heldBack = false;

    for (const auto& [id, candidate] : scan.candidates) {
        if (auto it = windows.find(id); it != windows.end()) {
            TrackedWindow& w = it->second;
            if (w.windowTitle != candidate.title) {
                w.windowTitle = candidate.title;
                changed = true;
            }
            if (w.frame != candidate.frame) {
                w.frame = candidate.frame;
                changed = true;
            }
            if (!candidate.spaces.empty() && w.spaceIDs != candidate.spaces) {
                w.spaceIDs = candidate.spaces;
                changed = true;
            }
            reconcileStateByWindowID[id] = ReconcileState::active();
        } else if (candidate.spaces.empty()) {
            continue;
        } else if (candidate.isAXConfirmed || !confirmationRequired) {
            windows[id] = trackedWindowFrom(id, pid, candidate);
            reconcileStateByWindowID[id] = ReconcileState::active();
            changed = true;
        } else {
            heldBack = true;
        }
    }

    const std::set<uint32_t> collected = trackedWindowIDs(pid);
    if (!scan.ownerIsDockEligible) {
        for (uint32_t id : collected) forgetWindow(id);
        if (!collected.empty() && onChange) onChange();
        return withSpace;
    }

    const auto app = platform_.workspace.runningApplication(pid);
    const bool alive = app && !app->isTerminated;
    const double now = platform_.runtime.now();
    if (alive && !scan.windowListReadable) {
        // A window list that could not be read proves nothing about a live process. One that was
        // read without the process's windows does: its last window may have closed unannounced.
        for (uint32_t id : collected) reconcileStateByWindowID[id] = ReconcileState::active();
    } else {
        for (uint32_t id : collected) {
            const bool present =
                scan.layerZeroWindowIDs.contains(id) && !scan.axRejectedWindowIDs.contains(id);
            if (present) {
                reconcileStateByWindowID[id] = ReconcileState::active();
                continue;
            }
            if (!alive) {
                forgetWindow(id);
                changed = true;
                continue;
            }
            ReconcileState next = ReconcileState::missing(now, 1);
            if (auto it = reconcileStateByWindowID.find(id);
                it != reconcileStateByWindowID.end() && !it->second.isActive())
                next = ReconcileState::missing(it->second.firstMissingAt, it->second.misses + 1);
            reconcileStateByWindowID[id] = next;
            if (next.misses >= kMissesBeforeRemoval && now - next.firstMissingAt >= kMissingGracePeriod) {
                forgetWindow(id);
                changed = true;
            }
        }
    }

    if (changed && onChange) onChange();
    if (heldBack) scheduleDeferredScan(pid);
    return withSpace;
}

// --- Batch passes ---

void WindowStore::refreshSpaces() {
    bool complete = true;
    const WindowSpacesMap map = buildWindowSpacesMap(platform_.windowServer.mainConnectionID(), complete);
    // A listing that could not be read says nothing about where windows are; emptying every
    // window's Spaces would empty every bar until the next refresh.
    if (complete) {
        for (auto& [id, w] : windows) {
            auto it = map.find(id);
            if (it == map.end() || it->second.empty()) {
                if (!w.isMinimized) w.spaceIDs.clear();
            } else if (it->second != w.spaceIDs) {
                w.spaceIDs = it->second;
            }
        }
    }
    if (onChange) onChange();
}

void WindowStore::resyncMinimizedWindows() {
    const uint32_t cid = platform_.windowServer.mainConnectionID();
    std::map<int32_t, AXWindowMetadataMap> metadataByPID;
    for (int32_t pid : trackedPIDs()) metadataByPID[pid] = copyAXWindowMetadataByID(pid).first;

    bool minimizedChanged = false;
    std::vector<uint32_t> requery;
    for (auto& [id, w] : windows) {
        const AXWindowMetadataMap& metadata = metadataByPID[w.pid];
        if (auto m = metadata.find(id);
            m != metadata.end() && m->second.isMinimized && *m->second.isMinimized != w.isMinimized) {
            w.isMinimized = *m->second.isMinimized;
            minimizedChanged = true;
        }
        if (w.isMinimized && w.spaceIDs.empty()) requery.push_back(id);
    }
    bool spacesChanged = false;
    if (!requery.empty()) {
        for (auto& [id, spaces] : querySpaces(requery, cid)) {
            if (auto it = windows.find(id); it != windows.end()) {
                it->second.spaceIDs = std::move(spaces);
                spacesChanged = true;
            }
        }
    }
    // A chip's minimised look follows the flag, so a changed flag is published like a Space.
    if ((minimizedChanged || spacesChanged) && onChange) onChange();
}

int WindowStore::discoverNewWindowsForTrackedPIDs() {
    WindowServer& ws = platform_.windowServer;
    const uint32_t cid = ws.mainConnectionID();
    const WindowSpacesMap windowSpaces = buildWindowSpacesMap(cid);
    const auto entries = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0))
                             .value_or(std::vector<CGWindowInfo>{});
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);

    std::set<int32_t> pids = trackedPIDs();
    pids.insert(observerAttachedPIDs.begin(), observerAttachedPIDs.end());
    std::map<int32_t, AXWindowList> axByPID;
    for (int32_t pid : pids) axByPID[pid] = readAXWindowList(pid);

    int added = 0;
    std::set<int32_t> pidsToScan;
    const AXWindowList noList;
    for (const CGWindowInfo& info : entries) {
        auto pid = info.ownerPID();
        if (!pid || !pids.contains(*pid) || !eligible.contains(*pid)) continue;
        auto id = info.windowID();
        if (!id || windows.contains(*id)) continue;
        if (info.layer() != 0) continue;
        auto bounds = info.bounds();
        if (!bounds || !passesSizeTest(*bounds)) continue;
        if (auto alpha = info.alpha(); alpha && !(*alpha > 0)) continue;

        auto ax = axByPID.find(*pid);
        const AXWindowList& axList = ax != axByPID.end() ? ax->second : noList;
        const AXWindowMetadataMap& metadata = axList.metadataByID;
        const bool hasAXWindowList = axList.hasList;
        const auto admission = cgWindowAXAdmission(*id, metadata, hasAXWindowList);
        if (admission.kind == CGWindowAXAdmission::Case::rejected) continue;
        if (admission.kind != CGWindowAXAdmission::Case::admitted) {
            pidsToScan.insert(*pid);  // missing, or unanswered: a later scan looks again
            continue;
        }

        const auto app = platform_.workspace.runningApplication(*pid);
        TrackedWindow w;
        w.windowID = *id;
        w.pid = *pid;
        if (auto name = info.ownerName()) {
            w.appName = *name;
        } else {
            w.appName = app && app->localizedName ? *app->localizedName : "Unknown";
        }
        if (app) w.bundleIdentifier = app->bundleIdentifier;
        const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(*pid);
        if (auto s = windowSpaces.find(*id); s != windowSpaces.end()) w.spaceIDs = s->second;
        if (w.spaceIDs.empty() || (!hasAXWindowList && confirmationRequired)) {
            pidsToScan.insert(*pid);
            continue;
        }
        // Without Screen Recording access other applications' windows have no name in the window
        // list: the title comes from Accessibility first.
        const auto m = metadata.find(*id);
        std::optional<std::string> title = m != metadata.end() ? m->second.title : std::nullopt;
        if (!title) title = readTitle(axList, *id);
        w.windowTitle = title ? *title : info.windowName().value_or("");
        w.frame = *bounds;
        if (m != metadata.end()) w.isMinimized = m->second.isMinimized.value_or(false);
        windows[*id] = std::move(w);
        reconcileStateByWindowID[*id] = ReconcileState::active();
        ++added;
    }
    if (added > 0 && onChange) onChange();
    for (int32_t pid : pidsToScan) scheduleDeferredScan(pid);
    return added;
}

}  // namespace qv
