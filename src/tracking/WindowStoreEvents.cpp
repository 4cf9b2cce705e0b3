// The window store's live updates: Accessibility events, window creation, focus and the
// activation candidates of a Space.
#include <algorithm>

#include "tracking/WindowStore.h"

namespace qv {

namespace {

constexpr uint32_t kSpaceListingOptions = 2;
constexpr uint64_t kSpaceListingClearTags = 0x4000000000ull;

// The index of the first screen that a window-server rectangle overlaps. Screens measure from the
// bottom-left corner, so the rectangle is flipped first; without that, displays stacked above or
// below the primary one are mistaken for one another.
std::optional<size_t> screenIndexOf(const Rect& windowServerFrame, const std::vector<Screen>& screens,
                                    double primaryScreenMaxY) {
    const Rect frame = flipVertically(windowServerFrame, primaryScreenMaxY);
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].frame.intersects(frame)) return i;
    }
    return std::nullopt;
}

}  // namespace

// --- Accessibility events ---

void WindowStore::handleAXEvent(const AXWindowEvent& event) {
    const std::string& name = event.notification;
    const std::optional<uint32_t>& id = event.windowID;
    auto trackedWindow = [&]() -> TrackedWindow* {
        if (!id) return nullptr;
        auto it = windows.find(*id);
        return it == windows.end() ? nullptr : &it->second;
    };

    if (name == "AXWindowCreated") {
        handleWindowCreated(event);
    } else if (name == "AXUIElementDestroyed") {
        if (id) forgetWindow(*id);
    } else if (name == "AXTitleChanged") {
        std::optional<std::string> title = id ? readTitle(event.element) : std::nullopt;
        if (title) {
            if (TrackedWindow* w = trackedWindow()) w->windowTitle = *title;
        } else {
            scheduleDeferredScan(event.pid);
        }
    } else if (name == "AXWindowResized") {
        if (id) {
            if (auto frame = readFrame(event.element)) {
                if (TrackedWindow* w = trackedWindow()) w->frame = *frame;
            }
        }
    } else if (name == "AXWindowMoved") {
        if (id) {
            if (auto frame = readFrame(event.element)) handleWindowMoved(*id, *frame);
        }
    } else if (name == "AXWindowMiniaturized") {
        if (id) {
            if (TrackedWindow* w = trackedWindow()) w->isMinimized = true;
            if (focusedWindowID == *id) focusedWindowID.reset();
        }
    } else if (name == "AXWindowDeminiaturized") {
        if (TrackedWindow* w = trackedWindow()) w->isMinimized = false;
    } else if (name == "AXFocusedWindowChanged") {
        handleFocusedWindowChanged(event);
        return;  // publishes by itself, and only for the frontmost process
    } else {
        return;
    }
    if (onChange) onChange();
}

void WindowStore::handleWindowMoved(uint32_t windowID, const Rect& frame) {
    const auto screens = platform_.displays.screens();
    const double maxY = spaces_.primaryScreenMaxY(screens);
    std::optional<size_t> oldScreen;
    auto it = windows.find(windowID);
    if (it != windows.end()) {
        oldScreen = screenIndexOf(it->second.frame, screens, maxY);
        it->second.frame = frame;
    }
    std::optional<size_t> newScreen = screenIndexOf(frame, screens, maxY);
    if (oldScreen != newScreen) scheduleCrossScreenSpacesRefresh();
}

void WindowStore::handleFocusedWindowChanged(const AXWindowEvent& event) {
    auto front = platform_.workspace.frontmostApplication();
    ++debugEventSequence;
    if (!front || front->processIdentifier != event.pid) return;
    if (event.windowID) {
        focusedWindowID = *event.windowID;
    } else {
        Accessibility& ax = platform_.accessibility;
        ax.setMessagingTimeout(event.element, axMessagingTimeoutSeconds);
        Value focused;
        std::optional<uint32_t> resolved;
        if (ax.copyAttributeValue(event.element, "AXFocusedWindow", focused) == kAXErrorSuccess) {
            if (auto element = focused.asElement()) resolved = resolveWindowID(*element);
        }
        if (resolved) {
            focusedWindowID = *resolved;
        } else {
            clearFocusOfOtherProcess(event.pid);
        }
    }
    if (onChange) onChange();
}

bool WindowStore::clearFocusOfOtherProcess(int32_t pid) {
    // The process's own focus is unknown; a focus that belongs to another process is certainly
    // stale. An untracked focus stays, since its owner cannot be known.
    if (!focusedWindowID) return false;
    auto it = windows.find(*focusedWindowID);
    if (it == windows.end() || it->second.pid == pid) return false;
    focusedWindowID.reset();
    return true;
}

void WindowStore::handleWindowCreated(const AXWindowEvent& event) {
    const int32_t pid = event.pid;
    ensureLifecycleMonitoringForWindowActivity(pid);

    std::optional<uint32_t> id = event.windowID ? event.windowID : resolveWindowID(event.element);
    if (!id) {
        scheduleDeferredScan(pid);
        return;
    }
    const uint32_t cid = platform_.windowServer.mainConnectionID();

    if (auto it = windows.find(*id); it != windows.end()) {
        reconcileStateByWindowID[*id] = ReconcileState::active();
        const WindowSpacesMap map = buildWindowSpacesMap(cid);
        if (auto s = map.find(*id); s != map.end() && !s->second.empty() && s->second != it->second.spaceIDs)
            it->second.spaceIDs = s->second;
        return;
    }

    AXWindowMetadata metadata;
    metadata.title = readTitle(event.element);
    metadata.role = readStringAttribute(event.element, "AXRole");
    metadata.subrole = readStringAttribute(event.element, "AXSubrole");
    metadata.isModal = readBoolAttribute(event.element, "AXModal");
    metadata.isMinimized = readBoolAttribute(event.element, "AXMinimized");
    if (isClearlyIneligibleAXWindow(metadata)) {
        scheduleDeferredScan(pid);
        return;
    }

    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);
    const auto info = cgWindowInfo(*id);
    std::optional<int32_t> owner = info ? info->ownerPID() : std::nullopt;
    std::optional<Rect> bounds = info ? info->bounds() : std::nullopt;
    if (!info || info->layer() != 0 || !owner || !eligible.contains(*owner) || !bounds ||
        bounds->width() < kMinimumWindowSize || bounds->height() < kMinimumWindowSize) {
        scheduleDeferredScan(pid);
        return;
    }
    if (*owner != pid) {
        // The event's pid could not be read (0) or names another process: the window server's
        // owner is the one to trust, and its scan admits the window under it.
        scheduleDeferredScan(*owner);
        return;
    }

    const auto app = platform_.workspace.runningApplication(pid);
    TrackedWindow w;
    w.windowID = *id;
    w.pid = pid;
    if (auto name = info->ownerName()) {
        w.appName = *name;
    } else {
        w.appName = app && app->localizedName ? *app->localizedName : "Unknown";
    }
    if (app) w.bundleIdentifier = app->bundleIdentifier;
    std::optional<std::string> title = metadata.title ? metadata.title : readTitle(event.element);
    w.windowTitle = title ? *title : info->windowName().value_or("");
    w.frame = readFrame(event.element).value_or(*bounds);
    w.isMinimized = metadata.isMinimized == true;
    const WindowSpacesMap map = buildWindowSpacesMap(cid);
    if (auto s = map.find(*id); s != map.end()) w.spaceIDs = s->second;
    if (w.spaceIDs.empty()) {
        scheduleDeferredScan(pid);
        return;
    }
    windows[*id] = std::move(w);
    reconcileStateByWindowID[*id] = ReconcileState::active();
}

void WindowStore::scheduleCrossScreenSpacesRefresh() {
    if (pendingCrossScreenRefresh) pendingCrossScreenRefresh->cancel();
    std::weak_ptr<WindowStore> weak = weak_from_this();
    pendingCrossScreenRefresh = platform_.runtime.mainQueue()->asyncAfter(kCrossScreenRefreshDelay, [weak] {
        if (auto self = weak.lock()) self->refreshSpaces();
    });
}

void WindowStore::forgetWindow(uint32_t windowID) {
    windows.erase(windowID);
    reconcileStateByWindowID.erase(windowID);
    // A focus naming a window that is gone would mark no chip, or the wrong one after id reuse.
    if (focusedWindowID == windowID) focusedWindowID.reset();
}

void WindowStore::removeWindows(int32_t pid) {
    cancelLifecycleMonitoring(pid);
    pendingScans.erase(pid);
    deferredScanSeriesByPID_.erase(pid);
    std::vector<uint32_t> ids;
    for (const auto& [id, w] : windows) {
        if (w.pid == pid) ids.push_back(id);
    }
    if (ids.empty()) return;
    for (uint32_t id : ids) forgetWindow(id);
    if (onChange) onChange();
}

// --- Focus ---

void WindowStore::handleAppActivated(int32_t pid) {
    ++debugEventSequence;
    Accessibility& ax = platform_.accessibility;
    AXElement app = ax.createApplication(pid);
    ax.setMessagingTimeout(app, axMessagingTimeoutSeconds);
    Value focused;
    std::optional<uint32_t> id;
    if (ax.copyAttributeValue(app, "AXFocusedWindow", focused) == kAXErrorSuccess) {
        if (auto element = focused.asElement()) id = resolveWindowID(*element);
    }
    if (!id) {
        if (clearFocusOfOtherProcess(pid) && onChange) onChange();
        return;
    }
    focusedWindowID = *id;
    if (onChange) onChange();
}

std::vector<TrackedWindow> WindowStore::windowsOn(uint64_t spaceID) const {
    std::vector<TrackedWindow> out;
    for (const auto& [id, window] : windows) {  // the map keeps ascending ids
        if (window.spaceIDs.contains(spaceID)) out.push_back(window);
    }
    return out;
}

std::optional<TrackedWindow> WindowStore::bestActivationCandidate(
    const std::vector<TrackedWindow>& candidates) {
    if (candidates.empty()) return std::nullopt;
    const TrackedWindow* best = &candidates.front();
    for (size_t i = 1; i < candidates.size(); ++i) {
        const TrackedWindow& w = candidates[i];
        const double area = w.frame.area(), bestArea = best->frame.area();
        // Comparisons with a NaN area are false, so such a window neither wins nor is beaten.
        if (area > bestArea || (area == bestArea && best->windowTitle.empty() && !w.windowTitle.empty()))
            best = &w;
    }
    return *best;
}

std::optional<uint32_t> WindowStore::trackSoleWindow(uint64_t spaceID) {
    WindowServer& ws = platform_.windowServer;
    const uint32_t cid = ws.mainConnectionID();
    uint64_t setTags = 0;
    uint64_t clearTags = kSpaceListingClearTags;
    auto listed = ws.copyWindowsWithOptionsAndTags(cid, 0, numberArray(std::vector{spaceID}),
                                                   kSpaceListingOptions, &setTags, &clearTags);
    std::vector<uint32_t> listedIDs;
    if (const Value::Array* ids = listed ? listed->asArray() : nullptr) {
        for (const Value& v : *ids) {
            if (auto n = v.asNumberObject()) listedIDs.push_back(n->uint32Value());
        }
    }
    listedIDs = uniquePreservingOrder(listedIDs);
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);

    std::vector<TrackedWindow> collected;
    bool changed = false;
    std::set<int32_t> pidsToScan;
    std::map<int32_t, AXWindowList> axListByPID;

    for (uint32_t id : listedIDs) {
        if (auto it = windows.find(id); it != windows.end()) {
            if (it->second.spaceIDs.insert(spaceID).second) changed = true;
            collected.push_back(it->second);
            continue;
        }
        auto info = cgWindowInfo(id);
        if (!info || info->layer() != 0) continue;
        auto pid = info->ownerPID();
        if (!pid || !eligible.contains(*pid)) continue;
        auto bounds = info->bounds();
        if (!bounds || bounds->width() < kMinimumWindowSize || bounds->height() < kMinimumWindowSize)
            continue;
        if (auto alpha = info->alpha(); alpha && !(*alpha > 0)) continue;

        auto listed = axListByPID.find(*pid);
        if (listed == axListByPID.end()) listed = axListByPID.emplace(*pid, readAXWindowList(*pid)).first;
        const AXWindowList& axList = listed->second;
        const AXWindowMetadataMap& metadata = axList.metadataByID;
        const auto admission = cgWindowAXAdmission(id, metadata, axList.hasList);
        if (admission.kind == CGWindowAXAdmission::Case::rejected) continue;
        if (admission.kind != CGWindowAXAdmission::Case::admitted) {
            pidsToScan.insert(*pid);
            continue;
        }

        const auto app = platform_.workspace.runningApplication(*pid);
        const auto m = metadata.find(id);
        TrackedWindow w;
        w.windowID = id;
        w.pid = *pid;
        if (auto name = info->ownerName()) {
            w.appName = *name;
        } else {
            w.appName = app && app->localizedName ? *app->localizedName : "Unknown";
        }
        if (app) w.bundleIdentifier = app->bundleIdentifier;
        std::optional<std::string> title = m != metadata.end() ? m->second.title : std::nullopt;
        if (!title) title = readTitle(axList, id);
        w.windowTitle = title ? *title : info->windowName().value_or("");
        w.frame = *bounds;
        w.isMinimized = m != metadata.end() && m->second.isMinimized == true;
        if (auto s = querySpaces({id}, cid); s.contains(id)) w.spaceIDs = std::move(s[id]);
        w.spaceIDs.insert(spaceID);
        windows[id] = w;
        reconcileStateByWindowID[id] = ReconcileState::active();
        collected.push_back(std::move(w));
        changed = true;
    }

    if (changed && onChange) onChange();
    for (int32_t pid : pidsToScan) scheduleDeferredScan(pid);

    if (!collected.empty()) {
        std::vector<TrackedWindow> candidates;
        std::copy_if(collected.begin(), collected.end(), std::back_inserter(candidates),
                     [](const TrackedWindow& w) { return !w.isMinimized; });
        if (candidates.empty()) candidates = collected;
        if (candidates.size() == 1) return candidates.front().windowID;
        if (focusedWindowID && std::any_of(candidates.begin(), candidates.end(), [&](const TrackedWindow& w) {
                return w.windowID == *focusedWindowID;
            })) {
            return focusedWindowID;
        }
        return bestActivationCandidate(candidates)->windowID;
    }

    std::vector<TrackedWindow> onSpace = windowsOn(spaceID);
    std::erase_if(onSpace, [](const TrackedWindow& w) { return w.isMinimized; });
    if (auto best = bestActivationCandidate(onSpace)) return best->windowID;
    return std::nullopt;
}

}  // namespace qv
