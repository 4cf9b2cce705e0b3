#include "tracking/WindowStore.h"

#include <algorithm>

#include "tracking/ListedWindow.h"
#include "tracking/WindowAdmission.h"

namespace qv {

namespace {

// The per-Space listing: windows of any owner, without those tagged as not belonging to a Space.
constexpr uint32_t kSpaceListingOptions = 2;
constexpr uint64_t kSpaceListingClearTags = 0x4000000000ull;
constexpr int32_t kAllSpacesMask = 7;

// A window-list entry that passes the start-up scan's window-list tests.
std::optional<ListedWindow> passesStartUpTests(const CGWindowInfo& info,
                                               const std::unordered_set<int32_t>& eligible) {
    auto windowID = info.windowID();
    if (!windowID) return std::nullopt;
    return listedWindow(*windowID, info, eligible, kFirstLookListTests);
}

}  // namespace

std::shared_ptr<WindowStore> WindowStore::create(Platform& platform) {
    return std::make_shared<WindowStore>(Token{}, platform);
}

WindowStore::WindowStore(Token, Platform& platform)
    : platform_(platform), axGetWindow_(lookUpAXGetWindow(platform.accessibility)), spaces_(platform) {}

WindowStore::~WindowStore() {
    if (pendingCrossScreenRefresh_) pendingCrossScreenRefresh_->cancel();
    for (const auto& [pid, item] : lifecycleWorkByPID_) item->cancel();
}

const char* WindowStore::rawValue(PIDLifecyclePhase phase) {
    switch (phase) {
        case PIDLifecyclePhase::launching:
            return "launching";
        case PIDLifecyclePhase::runningUnobserved:
            return "runningUnobserved";
        case PIDLifecyclePhase::runningObserved:
            return "runningObserved";
    }
    return "";
}

std::set<int32_t> WindowStore::trackedPIDs() const {
    std::set<int32_t> pids;
    for (const auto& [id, w] : windows_) pids.insert(w.pid);
    return pids;
}

// --- Population and Spaces ---

WindowStore::WindowSpacesMap WindowStore::buildWindowSpacesMap(uint32_t connectionID) {
    bool complete = true;
    return buildWindowSpacesMap(connectionID, complete);
}

WindowStore::WindowSpacesMap WindowStore::buildWindowSpacesMap(uint32_t connectionID, bool& complete) {
    WindowSpacesMap map;
    map.reserve(512);
    WindowServer& ws = platform_.windowServer;
    const auto spaces = spaces_.getSpaces(connectionID);
    // Every display has at least one Space, so an empty list means the listing failed.
    complete = !spaces.empty();
    for (const SpaceWindows::SpaceInfo& space : spaces) {
        uint64_t setTags = 0;
        uint64_t clearTags = kSpaceListingClearTags;
        auto listed =
            ws.copyWindowsWithOptionsAndTags(connectionID, 0, numberArray(std::vector{space.spaceID}),
                                             kSpaceListingOptions, &setTags, &clearTags);
        const Value::Array* ids = listed ? listed->asArray() : nullptr;
        if (!ids) {
            complete = false;
            continue;
        }
        for (const Value& id : *ids) {
            if (auto n = id.asNumberObject()) map[n->uint32Value()].insert(space.spaceID);
        }
    }
    return map;
}

std::map<uint32_t, std::set<uint64_t>> WindowStore::querySpaces(const std::vector<uint32_t>& windowIDs,
                                                                uint32_t connectionID) {
    std::map<uint32_t, std::set<uint64_t>> out;
    for (uint32_t id : windowIDs) {
        auto answer = platform_.windowServer.copySpacesForWindows(connectionID, kAllSpacesMask,
                                                                  numberArray(std::vector{id}));
        auto numbers = answer ? answer->asNumberArray() : std::nullopt;
        if (!numbers) continue;
        std::set<uint64_t> spaces;
        for (const NumberObject& n : *numbers) spaces.insert(n.uint64Value());
        if (!spaces.empty()) out[id] = std::move(spaces);
    }
    return out;
}

std::vector<uint32_t> uniquePreservingOrder(const std::vector<uint32_t>& windowIDs) {
    std::vector<uint32_t> out;
    std::set<uint32_t> seen;
    for (uint32_t id : windowIDs) {
        if (seen.insert(id).second) out.push_back(id);
    }
    return out;
}

void WindowStore::populate(std::function<void()> done) {
    // What the window server says is read once, now; the answers of the applications come later.
    struct Pass {
        std::unordered_set<int32_t> eligible;
        uint32_t connectionID = 0;
        WindowSpacesMap windowSpaces;
        std::vector<CGWindowInfo> entries;
        std::map<int32_t, uint64_t> endsAtStart;
        std::map<uint32_t, TrackedWindow> newWindows;
        std::set<int32_t> pidsToScan;
        std::function<void()> done;
    };
    auto pass = std::make_shared<Pass>();
    WindowServer& ws = platform_.windowServer;
    pass->eligible = dockEligibleOwnerPIDs(platform_.workspace);
    pass->connectionID = ws.mainConnectionID();
    pass->windowSpaces = buildWindowSpacesMap(pass->connectionID);
    pass->entries = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0))
                        .value_or(std::vector<CGWindowInfo>{});
    pass->done = std::move(done);

    // Each application with a window that passes the window-list tests is asked for its list once.
    std::set<int32_t> pids;
    for (const CGWindowInfo& info : pass->entries) {
        if (auto listed = passesStartUpTests(info, pass->eligible)) pids.insert(listed->pid);
    }
    for (int32_t pid : pids) pass->endsAtStart[pid] = endsOf(pid);

    // Publishes and rescans once the windows are in and the focus is resolved.
    auto finish = [pass](WindowStore& self) {
        if (self.onChange) self.onChange();
        for (int32_t pid : pass->pidsToScan) self.scheduleDeferredScan(pid);
        if (pass->done) pass->done();
    };

    // The titles are in: the windows replace the store's.
    auto install = [pass, finish](WindowStore& self, Titles titles) {
        for (auto& [pid, byID] : titles) {
            for (auto& [id, title] : byID) {
                auto it = pass->newWindows.find(id);
                // An empty title read live stands.
                if (title && it != pass->newWindows.end() && it->second.pid == pid)
                    it->second.windowTitle = *title;
            }
        }
        // A process that ended while the scan waited keeps nothing.
        std::erase_if(pass->newWindows, [&](const auto& entry) {
            auto start = pass->endsAtStart.find(entry.second.pid);
            return start != pass->endsAtStart.end() && self.endsOf(entry.second.pid) != start->second;
        });
        // The per-Space listing leaves minimised windows out; ask for those one at a time.
        std::vector<uint32_t> unplaced;
        for (const auto& [id, w] : pass->newWindows) {
            if (w.isMinimized && w.spaceIDs.empty()) unplaced.push_back(id);
        }
        if (!unplaced.empty()) {
            for (auto& [id, spaces] : self.querySpaces(unplaced, pass->connectionID))
                pass->newWindows[id].spaceIDs = std::move(spaces);
        }
        self.windows_ = std::move(pass->newWindows);
        self.reconcileStateByWindowID_.clear();
        for (const auto& [id, w] : self.windows_)
            self.reconcileStateByWindowID_[id] = ReconcileState::active();

        if (auto front = self.platform_.workspace.frontmostApplication()) {
            self.askFocusedWindow(front->processIdentifier, finish);
        } else {
            finish(self);
        }
    };

    // Every list is in: the windows are admitted in the window list's order.
    auto admit = [pass, install](WindowStore& self, std::map<int32_t, AXWindowList> lists) {
        for (const auto& [pid, list] : lists) self.rememberElements(pid, list);
        TitleReads titleReads;
        for (const CGWindowInfo& info : pass->entries) {
            auto listed = passesStartUpTests(info, pass->eligible);
            if (!listed) continue;
            auto axList = lists.find(listed->pid);
            if (axList == lists.end()) continue;  // the process ended meanwhile
            const uint32_t windowID = listed->windowID;
            const int32_t pid = listed->pid;
            const AXWindowMetadataMap& metadata = axList->second.metadataByID;
            const bool hasAXWindowList = axList->second.hasList;
            const bool confirmationRequired = self.requiresAXConfirmationForLiveAdmission(pid);

            // Without a list, or an answer, to confirm it, a child window (a sheet, a drawer) would
            // pass as a window.
            auto isChildWindow = [&] {
                return self.spaces_.parentWindowIDs({windowID}, pass->connectionID).contains(windowID);
            };
            switch (cgWindowAXAdmission(windowID, metadata, hasAXWindowList).kind) {
                case CGWindowAXAdmission::Case::admitted:
                    if (!hasAXWindowList && isChildWindow()) continue;
                    break;
                case CGWindowAXAdmission::Case::rejected:
                    continue;
                case CGWindowAXAdmission::Case::missing:
                    pass->pidsToScan.insert(pid);
                    if (confirmationRequired) continue;
                    if (self.tentativeBootstrapRejection(windowID, pass->windowSpaces, pass->connectionID))
                        continue;
                    break;
                case CGWindowAXAdmission::Case::unanswered:
                    pass->pidsToScan.insert(pid);  // a later scan asks again
                    if (confirmationRequired || isChildWindow()) continue;
                    break;
            }

            TrackedWindow w = trackedWindowOf(*listed, info, self.platform_.workspace.runningApplication(pid),
                                              AppNameFallback::unknown);
            // The title is read live from the window's element; the window name stands in when
            // that gives none.
            if (auto element = describeFromList(w, axList->second, ListedTitle::readLive))
                titleReads[pid][windowID] = *element;
            if (auto s = pass->windowSpaces.find(windowID); s != pass->windowSpaces.end())
                w.spaceIDs = s->second;
            pass->newWindows[windowID] = std::move(w);
        }
        self.readTitles(std::move(titleReads), install);
    };

    askEach<AXWindowList>(
        pids,
        [](int32_t pid) {
            return [pid](const WindowStoreRequests& reads) { return reads.readWindowList(pid); };
        },
        admit);
}

void WindowStore::readTitles(TitleReads reads, std::function<void(WindowStore&, Titles)> then,
                             Urgency urgency) {
    std::set<int32_t> pids;
    for (const auto& [pid, elements] : reads) pids.insert(pid);
    auto shared = std::make_shared<const TitleReads>(std::move(reads));
    askEach<std::map<uint32_t, std::optional<std::string>>>(
        pids,
        [shared](int32_t pid) {
            return [elements = shared->at(pid)](const WindowStoreRequests& reads) {
                return reads.readTitles(elements);
            };
        },
        std::move(then), urgency);
}

// --- Admission ---

bool WindowStore::requiresAXConfirmationForLiveAdmission(int32_t pid) const {
    if (observerAttachedPIDs_.contains(pid)) return true;
    return std::any_of(windows_.begin(), windows_.end(),
                       [&](const auto& entry) { return entry.second.pid == pid; });
}

std::optional<std::string> WindowStore::tentativeBootstrapRejection(uint32_t windowID,
                                                                    const WindowSpacesMap& windowSpaces,
                                                                    uint32_t connectionID) {
    if (!spaces_.filtersChildWindows()) return std::nullopt;
    auto parents = spaces_.parentWindowIDs({windowID}, connectionID);
    if (auto it = parents.find(windowID); it != parents.end()) {
        return "child-window parent=" + std::to_string(it->second);
    }
    if (auto it = windowSpaces.find(windowID); it != windowSpaces.end() && !it->second.empty())
        return std::nullopt;
    if (querySpaces({windowID}, connectionID).contains(windowID)) return std::nullopt;
    return "no-space-assignment";
}

std::optional<CGWindowInfo> WindowStore::cgWindowInfo(uint32_t windowID) {
    auto entries =
        windowInfoList(platform_.windowServer.createDescriptionFromArray(numberArray(std::vector{windowID})));
    if (!entries || entries->empty()) return std::nullopt;
    return entries->front();
}

// --- Asking applications ---

uint64_t WindowStore::endsOf(int32_t pid) const {
    auto it = endsByPID_.find(pid);
    return it == endsByPID_.end() ? 0 : it->second;
}

void WindowStore::answered(int32_t pid, uint64_t asked, const Hearing& heard) {
    if (auto it = pendingByPID_.find(pid); it != pendingByPID_.end()) it->second.asked.erase(asked);
    applyHeldChanges(pid);
    auto app = platform_.workspace.runningApplication(pid);
    if (!app || app->isTerminated) return;  // a process that is gone answers nothing, hung or not
    if (heard.unanswered > 0) {
        if (unansweredPIDs_.insert(pid).second) recheckUnanswered(pid);
    } else if (heard.answered > 0 && unansweredPIDs_.erase(pid)) {
        scheduleDeferredScan(pid);
    }
}

void WindowStore::recheckUnanswered(int32_t pid) {
    // Nothing else may ask it again: it is rescanned now and then until it answers.
    std::weak_ptr<WindowStore> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kUnansweredRecheckInterval, [weak, pid, ends = endsOf(pid)] {
        auto self = weak.lock();
        if (!self || self->endsOf(pid) != ends || !self->unansweredPIDs_.contains(pid)) return;
        self->reconcileWindowsForPID(pid, [pid](WindowStore& self, int) {
            if (self.unansweredPIDs_.contains(pid)) self.recheckUnanswered(pid);
        });
    });
}

void WindowStore::inOrder(int32_t pid, Then apply) {
    auto pending = pendingByPID_.find(pid);
    if (pending == pendingByPID_.end()) {
        apply(*this);
        return;
    }
    // Every question still unanswered was asked before this change; it waits for their answers.
    pending->second.held.push_back({asked_, endsOf(pid), std::move(apply)});
}

void WindowStore::applyHeldChanges(int32_t pid) {
    while (true) {
        auto it = pendingByPID_.find(pid);
        if (it == pendingByPID_.end()) return;
        PendingAnswers& pending = it->second;
        if (pending.held.empty()) {
            if (pending.asked.empty()) pendingByPID_.erase(it);
            return;
        }
        if (!pending.asked.empty() && *pending.asked.begin() <= pending.held.front().after) return;
        HeldChange change = std::move(pending.held.front());
        pending.held.pop_front();
        // What was asked of the process before it ended no longer applies, nor what waited for it.
        if (change.ends == endsOf(pid)) change.apply(*this);
    }
}

bool WindowStore::takesTitle(uint32_t windowID, uint64_t asOf) {
    uint64_t& applied = titleAsOf_[windowID];
    if (asOf < applied) return false;
    applied = asOf;
    return true;
}

}  // namespace qv
