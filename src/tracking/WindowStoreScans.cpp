// The window store's rescans: deferred scan series, per-process lifecycle polling, the scan and
// reconciliation of one process, and the batch passes over the whole store.
#include <algorithm>

#include "tracking/ListedWindow.h"
#include "tracking/WindowAdmission.h"
#include "tracking/WindowStore.h"

namespace qv {

// --- Deferred scans ---

void WindowStore::scheduleDeferredScan(int32_t pid) {
    if (pendingScans_.contains(pid)) return;
    pendingScans_.insert(pid);
    // An older series of the same pid may still have blocks scheduled (its mark was cleared by a
    // process end); the series number keeps them from acting for this one.
    const uint64_t series = ++nextDeferredScanSeries_;
    deferredScanSeriesByPID_[pid] = series;
    std::weak_ptr<WindowStore> weak = weak_from_this();
    auto main = platform_.runtime.mainQueue();
    auto isCurrent = [pid, series](const WindowStore& store) {
        auto it = store.deferredScanSeriesByPID_.find(pid);
        return store.pendingScans_.contains(pid) && it != store.deferredScanSeriesByPID_.end() &&
               it->second == series;
    };
    for (double delay : kDeferredScanPasses) {
        main->asyncAfter(delay, [weak, pid, isCurrent] {
            auto self = weak.lock();
            if (!self || !isCurrent(*self)) return;
            self->reconcileWindowsForPID(pid, [pid](WindowStore& self, int withSpace) {
                if (withSpace <= 0) return;
                auto front = self.platform_.workspace.frontmostApplication();
                if (front && front->processIdentifier == pid) self.handleAppActivated(pid);
            });
        });
    }
    main->asyncAfter(kDeferredScanSeriesEnd, [weak, pid, isCurrent] {
        auto self = weak.lock();
        if (!self || !isCurrent(*self)) return;
        self->pendingScans_.erase(pid);
        self->deferredScanSeriesByPID_.erase(pid);
    });
}

// --- Observer bootstrap ---

bool WindowStore::needsObserverBootstrap(int32_t pid) const {
    if (trackedPIDs().contains(pid)) return false;
    if (observerAttachedPIDs_.contains(pid)) return false;
    if (lifecycleByPID_.contains(pid)) return false;
    return !pendingScans_.contains(pid);
}

void WindowStore::handleObserverAttached(int32_t pid) {
    observerAttachedPIDs_.insert(pid);
    auto it = lifecycleByPID_.find(pid);
    if (it == lifecycleByPID_.end()) return;
    PIDLifecycleState& state = it->second;
    state.phase = PIDLifecyclePhase::runningObserved;
    state.observerAttached = true;
    state.nextInterval = kObservedInterval;
    state.stableScans = 0;
    state.lastTrackedWindowIDs = trackedWindowIDs(pid);
    scheduleLifecycleTick(pid, kActivityTickDelay);
}

void WindowStore::handleObserverDetached(int32_t pid) {
    observerAttachedPIDs_.erase(pid);
}

void WindowStore::addWindowsForPID(int32_t pid, std::function<void(int)> done) {
    scanWindows(pid, [pid, done = std::move(done)](WindowStore& self, PIDWindowScan scan) {
        const int added = self.applyFirstFill(pid, scan);
        if (done) done(added);
    });
}

int WindowStore::applyFirstFill(int32_t pid, const PIDWindowScan& scan) {
    const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(pid);
    int added = 0;
    bool heldBack = false;
    for (const auto& [id, candidate] : scan.candidates) {
        if (windows_.contains(id)) {
            reconcileStateByWindowID_[id] = ReconcileState::active();
        } else if (candidate.isAXConfirmed || !confirmationRequired) {
            windows_[id] = candidate.window;
            reconcileStateByWindowID_[id] = ReconcileState::active();
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
    for (const auto& [id, w] : windows_) {
        if (w.pid == pid) ids.insert(id);
    }
    return ids;
}

void WindowStore::startLifecycleMonitoring(int32_t pid, double initialDelay) {
    PIDLifecycleState state;
    state.observerAttached = observerAttachedPIDs_.contains(pid);
    state.phase = state.observerAttached ? PIDLifecyclePhase::runningObserved : PIDLifecyclePhase::launching;
    state.nextInterval = state.observerAttached ? kObservedInterval : kUnobservedBaseInterval;
    state.startedAt = platform_.runtime.now();
    state.stableScans = 0;
    state.lastTrackedWindowIDs = trackedWindowIDs(pid);
    lifecycleByPID_[pid] = std::move(state);
    scheduleLifecycleTick(pid, initialDelay);
}

void WindowStore::ensureLifecycleMonitoringForWindowActivity(int32_t pid) {
    auto it = lifecycleByPID_.find(pid);
    if (it == lifecycleByPID_.end()) {
        startLifecycleMonitoring(pid, kActivityTickDelay);
        return;
    }
    it->second.stableScans = 0;
    it->second.lastTrackedWindowIDs = trackedWindowIDs(pid);
    scheduleLifecycleTick(pid, kActivityTickDelay);
}

void WindowStore::cancelLifecycleMonitoring(int32_t pid) {
    if (auto it = lifecycleWorkByPID_.find(pid); it != lifecycleWorkByPID_.end()) {
        it->second->cancel();
        lifecycleWorkByPID_.erase(it);
    }
    lifecycleByPID_.erase(pid);
}

void WindowStore::scheduleLifecycleTick(int32_t pid, double delay) {
    if (auto it = lifecycleWorkByPID_.find(pid); it != lifecycleWorkByPID_.end()) it->second->cancel();
    std::weak_ptr<WindowStore> weak = weak_from_this();
    auto item = makeWorkItem([weak, pid] {
        if (auto self = weak.lock()) self->runLifecycleTick(pid);
    });
    lifecycleWorkByPID_[pid] = item;
    platform_.runtime.mainQueue()->asyncAfter(delay, item);
}

void WindowStore::runLifecycleTick(int32_t pid) {
    if (!lifecycleByPID_.contains(pid)) return;
    auto app = platform_.workspace.runningApplication(pid);
    if (!app || app->isTerminated) {
        removeWindows(pid);
        return;
    }
    // The tick running now; one scheduled while its rescan waits for the application replaces it.
    auto running = lifecycleWorkByPID_.find(pid);
    WorkItemPtr tick = running != lifecycleWorkByPID_.end() ? running->second : nullptr;
    reconcileWindowsForPID(pid, [pid, tick](WindowStore& self, int) {
        auto current = self.lifecycleWorkByPID_.find(pid);
        if (current == self.lifecycleWorkByPID_.end() || current->second != tick) return;
        self.finishLifecycleTick(pid);
    });
}

void WindowStore::finishLifecycleTick(int32_t pid) {
    // The reconciliation may have ended the monitoring through a callback; nothing to do then.
    auto it = lifecycleByPID_.find(pid);
    if (it == lifecycleByPID_.end()) return;
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
    for (const auto& [id, w] : windows_) {
        if (w.pid != pid) continue;
        auto it = reconcileStateByWindowID_.find(id);
        if (it != reconcileStateByWindowID_.end() && !it->second.isActive()) return true;
    }
    return false;
}

// --- Scan and reconciliation of one process ---

void WindowStore::scanWindows(int32_t pid, std::function<void(WindowStore&, PIDWindowScan)> then) {
    // Nobody waits on a rescan, and a slow application's takes seconds: it is asked in steps, in the
    // background, so that the user's requests are taken between them. The list first, then its
    // windows, read until a user's request waits and asked again for the rest behind it, then the
    // titles to read live. The window server is read when
    // the windows' answers are in, so that both tell of the same moment as nearly as can be. Every
    // step goes through the worker, even with nothing to ask: two scans of one process finish in
    // the order they were asked.
    struct Entries {
        AXWindowList list;
        uint64_t asked = 0;
    };
    auto readTitlesAndFinish = [pid, then](WindowStore& self, const Entries& entries) {
        std::map<uint32_t, AXElement> titleReads;
        auto scan = std::make_shared<PIDWindowScan>(self.scanFromAnswer(pid, entries.list, titleReads));
        for (auto& [id, c] : scan->candidates) {
            auto m = entries.list.metadataByID.find(id);
            // A title from the application's list is as old as its question; the window name is now.
            c.titleAsOf =
                m != entries.list.metadataByID.end() && m->second.title ? entries.asked : self.markNow();
        }
        self.askInBackground(
            pid, [titleReads](const WindowStoreRequests& reads) { return reads.readTitles(titleReads); },
            [scan, then, asked = self.markNow()](WindowStore& self,
                                                 std::map<uint32_t, std::optional<std::string>> titles) {
                for (auto& [id, title] : titles) {
                    if (auto c = scan->candidates.find(id); title && c != scan->candidates.end()) {
                        c->second.window.windowTitle = *title;
                        c->second.titleAsOf = asked;
                    }
                }
                then(self, std::move(*scan));
            });
    };
    struct Step {
        std::vector<AXElement> elements;
        size_t next = 0;
        AXWindowList read;
    };
    auto readSome = std::make_shared<std::function<void(WindowStore&, std::shared_ptr<Entries>, Step)>>();
    *readSome = [pid, readTitlesAndFinish, weakReadSome = std::weak_ptr(readSome)](
                    WindowStore& self, std::shared_ptr<Entries> entries, Step step) {
        for (auto& [id, m] : step.read.metadataByID) entries->list.metadataByID[id] = std::move(m);
        for (auto& [id, e] : step.read.elementsByID) entries->list.elementsByID[id] = std::move(e);
        if (step.next >= step.elements.size()) {
            readTitlesAndFinish(self, *entries);
            return;
        }
        auto again = weakReadSome.lock();
        if (!again) return;
        self.askInBackground(
            pid,
            [step = Step{std::move(step.elements), step.next, {}},
             waiting = self.platform_.appWorkers.userRequestWaiting(pid)](const WindowStoreRequests& reads) mutable {
                step.read = reads.readWindowEntries(step.elements, step.next, waiting);
                return step;
            },
            [entries, again](WindowStore& self, Step step) { (*again)(self, entries, std::move(step)); });
    };
    askInBackground(
        pid,
        [pid, waiting = platform_.appWorkers.userRequestWaiting(pid)](const WindowStoreRequests& reads) {
            AXWindowElements listed = reads.readWindowElements(pid);
            Step step;
            step.elements = std::move(listed.elements);
            if (!waiting()) step.read = reads.readWindowEntries(step.elements, step.next, waiting);
            step.read.hasList = listed.hasList;
            return step;
        },
        [readSome, asked = markNow()](WindowStore& self, Step step) {
            auto entries = std::make_shared<Entries>();
            entries->list.hasList = step.read.hasList;
            // Titles read in any step are as old as the question: a title read asked later wins.
            entries->asked = asked;
            (*readSome)(self, entries, std::move(step));
        });
}

WindowStore::PIDWindowScan WindowStore::scanFromAnswer(int32_t pid, const AXWindowList& axList,
                                                       std::map<uint32_t, AXElement>& titleReads) {
    WindowServer& ws = platform_.windowServer;
    const uint32_t cid = ws.mainConnectionID();
    const WindowSpacesMap windowSpaces = buildWindowSpacesMap(cid);
    const auto list = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0));
    const std::vector<CGWindowInfo> entries = list.value_or(std::vector<CGWindowInfo>{});
    const AXWindowMetadataMap& metadata = axList.metadataByID;
    const bool hasAXWindowList = axList.hasList;
    rememberElements(pid, axList);
    PIDWindowScan scan;
    scan.windowListReadable = list.has_value();
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);
    scan.ownerIsDockEligible = eligible.contains(pid);
    const auto app = platform_.workspace.runningApplication(pid);

    for (const CGWindowInfo& info : entries) {
        if (info.ownerPID() != pid) continue;
        auto id = info.windowID();
        if (!id || info.layer() != 0) continue;
        scan.layerZeroWindowIDs.insert(*id);
        const auto listed = listedWindow(*id, info, eligible, kRescanListTests);
        if (!listed) continue;

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
        c.window = trackedWindowOf(*listed, info, app, AppNameFallback::runningApplication);
        // Without a title in the metadata, the title is read live; the window name stands in.
        if (auto element = describeFromList(c.window, axList, ListedTitle::taken)) titleReads[*id] = *element;
        if (auto s = windowSpaces.find(*id); s != windowSpaces.end()) c.window.spaceIDs = s->second;
        c.isAXConfirmed = confirmed;
        scan.candidates[*id] = std::move(c);
    }
    return scan;
}

void WindowStore::reconcileWindowsForPID(int32_t pid, std::function<void(WindowStore&, int)> then) {
    scanWindows(pid, [pid, then = std::move(then)](WindowStore& self, PIDWindowScan scan) {
        const int withSpace = self.applyReconcile(pid, scan);
        if (then) then(self, withSpace);
    });
}

int WindowStore::applyReconcile(int32_t pid, const PIDWindowScan& scan) {
    const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(pid);
    const int withSpace =
        static_cast<int>(std::count_if(scan.candidates.begin(), scan.candidates.end(),
                                       [](const auto& c) { return !c.second.window.spaceIDs.empty(); }));
    bool changed = false;
    bool heldBack = false;

    for (const auto& [id, candidate] : scan.candidates) {
        const TrackedWindow& found = candidate.window;
        if (auto it = windows_.find(id); it != windows_.end()) {
            TrackedWindow& w = it->second;
            if (w.windowTitle != found.windowTitle && takesTitle(id, candidate.titleAsOf)) {
                w.windowTitle = found.windowTitle;
                changed = true;
            }
            if (w.frame != found.frame) {
                w.frame = found.frame;
                changed = true;
            }
            if (!found.spaceIDs.empty() && w.spaceIDs != found.spaceIDs) {
                w.spaceIDs = found.spaceIDs;
                changed = true;
            }
            reconcileStateByWindowID_[id] = ReconcileState::active();
        } else if (found.spaceIDs.empty()) {
            continue;
        } else if (candidate.isAXConfirmed || !confirmationRequired) {
            windows_[id] = found;
            reconcileStateByWindowID_[id] = ReconcileState::active();
            titleAsOf_[id] = candidate.titleAsOf;
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
        for (uint32_t id : collected) reconcileStateByWindowID_[id] = ReconcileState::active();
    } else {
        for (uint32_t id : collected) {
            const bool present =
                scan.layerZeroWindowIDs.contains(id) && !scan.axRejectedWindowIDs.contains(id);
            if (present) {
                reconcileStateByWindowID_[id] = ReconcileState::active();
                continue;
            }
            if (!alive) {
                forgetWindow(id);
                changed = true;
                continue;
            }
            ReconcileState next = ReconcileState::missing(now, 1);
            if (auto it = reconcileStateByWindowID_.find(id);
                it != reconcileStateByWindowID_.end() && !it->second.isActive())
                next = ReconcileState::missing(it->second.firstMissingAt, it->second.misses + 1);
            reconcileStateByWindowID_[id] = next;
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
        for (auto& [id, w] : windows_) {
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

void WindowStore::resyncMinimizedWindows(std::function<void()> done) {
    askEach<AXWindowList>(
        trackedPIDs(),
        [](int32_t pid) {
            return [pid](const WindowStoreRequests& reads) { return reads.readWindowList(pid); };
        },
        [done = std::move(done)](WindowStore& self, std::map<int32_t, AXWindowList> lists) {
            const uint32_t cid = self.platform_.windowServer.mainConnectionID();
            bool minimizedChanged = false;
            std::vector<uint32_t> requery;
            for (auto& [id, w] : self.windows_) {
                auto list = lists.find(w.pid);
                if (list != lists.end()) {
                    const AXWindowMetadataMap& metadata = list->second.metadataByID;
                    if (auto m = metadata.find(id); m != metadata.end() && m->second.isMinimized &&
                                                    *m->second.isMinimized != w.isMinimized) {
                        w.isMinimized = *m->second.isMinimized;
                        minimizedChanged = true;
                    }
                }
                if (w.isMinimized && w.spaceIDs.empty()) requery.push_back(id);
            }
            bool spacesChanged = false;
            if (!requery.empty()) {
                for (auto& [id, spaces] : self.querySpaces(requery, cid)) {
                    if (auto it = self.windows_.find(id); it != self.windows_.end()) {
                        it->second.spaceIDs = std::move(spaces);
                        spacesChanged = true;
                    }
                }
            }
            // A chip's minimised look follows the flag, so a changed flag is published like a Space.
            if ((minimizedChanged || spacesChanged) && self.onChange) self.onChange();
            if (done) done();
        },
        Urgency::background);
}

void WindowStore::discoverNewWindowsForTrackedPIDs(std::function<void(int)> done) {
    std::set<int32_t> pids = trackedPIDs();
    pids.insert(observerAttachedPIDs_.begin(), observerAttachedPIDs_.end());
    askEach<AXWindowList>(
        pids,
        [](int32_t pid) {
            return [pid](const WindowStoreRequests& reads) { return reads.readWindowList(pid); };
        },
        [pids, done = std::move(done)](WindowStore& self, std::map<int32_t, AXWindowList> lists) {
            self.discoverFrom(pids, lists, done);
        },
        Urgency::background);
}

void WindowStore::discoverFrom(const std::set<int32_t>& pids, const std::map<int32_t, AXWindowList>& lists,
                               std::function<void(int)> done) {
    WindowServer& ws = platform_.windowServer;
    const uint32_t cid = ws.mainConnectionID();
    const WindowSpacesMap windowSpaces = buildWindowSpacesMap(cid);
    const auto list = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0));
    const std::vector<CGWindowInfo> entries = list.value_or(std::vector<CGWindowInfo>{});
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);

    auto found = std::make_shared<std::map<uint32_t, TrackedWindow>>();
    std::set<int32_t> pidsToScan;
    // A tracked window the window server no longer lists closed while its application answered,
    // perhaps unannounced (a window of another desktop is observed only once listed there): its
    // process is rescanned, which removes it.
    std::set<uint32_t> listedIDs;
    for (const CGWindowInfo& info : entries) {
        if (auto id = info.windowID()) listedIDs.insert(*id);
    }
    for (const auto& [id, w] : windows_) {
        if (list && pids.contains(w.pid) && lists.contains(w.pid) && !listedIDs.contains(id))
            pidsToScan.insert(w.pid);
    }
    TitleReads titleReads;
    const AXWindowList noList;
    for (const CGWindowInfo& info : entries) {
        auto id = info.windowID();
        if (!id || windows_.contains(*id)) continue;
        const auto listed = listedWindow(*id, info, eligible, kRescanListTests);
        if (!listed || !pids.contains(listed->pid)) continue;
        const int32_t pid = listed->pid;

        auto ax = lists.find(pid);
        const AXWindowList& axList = ax != lists.end() ? ax->second : noList;
        const bool hasAXWindowList = axList.hasList;
        const auto admission = cgWindowAXAdmission(*id, axList.metadataByID, hasAXWindowList);
        if (admission.kind == CGWindowAXAdmission::Case::rejected) continue;
        if (admission.kind != CGWindowAXAdmission::Case::admitted) {
            pidsToScan.insert(pid);  // missing, or unanswered: a later scan looks again
            continue;
        }

        TrackedWindow w = trackedWindowOf(*listed, info, platform_.workspace.runningApplication(pid),
                                          AppNameFallback::runningApplication);
        const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(pid);
        if (auto s = windowSpaces.find(*id); s != windowSpaces.end()) w.spaceIDs = s->second;
        if (w.spaceIDs.empty() || (!hasAXWindowList && confirmationRequired)) {
            pidsToScan.insert(pid);
            continue;
        }
        // Without Screen Recording access other applications' windows have no name in the window
        // list: the title comes from Accessibility first.
        if (auto element = describeFromList(w, axList, ListedTitle::taken)) titleReads[pid][*id] = *element;
        (*found)[*id] = std::move(w);
    }

    readTitles(
        std::move(titleReads),
        [found, pidsToScan, done](WindowStore& self, Titles titles) {
            int added = 0;
            for (auto& [id, w] : *found) {
                if (self.windows_.contains(id)) continue;  // tracked meanwhile: left as it is
                if (auto title = titles[w.pid][id]) w.windowTitle = *title;
                self.windows_[id] = std::move(w);
                self.reconcileStateByWindowID_[id] = ReconcileState::active();
                ++added;
            }
            if (added > 0 && self.onChange) self.onChange();
            for (int32_t pid : pidsToScan) self.scheduleDeferredScan(pid);
            if (done) done(added);
        },
        Urgency::background);
}

}  // namespace qv
