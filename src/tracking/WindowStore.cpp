#include "tracking/WindowStore.h"

#include <algorithm>

#include "tracking/AXWindowID.h"

namespace qv {

namespace {

// The per-Space listing: windows of any owner, without those tagged as not belonging to a Space.
constexpr uint32_t kSpaceListingOptions = 2;
constexpr uint64_t kSpaceListingClearTags = 0x4000000000ull;
constexpr int32_t kAllSpacesMask = 7;

// A request that got no answer says nothing about the attribute, unlike one that finds no value.
bool isUnanswered(AXError err) {
    return err == kAXErrorCannotComplete || err == kAXErrorNotImplemented || err == kAXErrorFailure;
}

}  // namespace

std::shared_ptr<WindowStore> WindowStore::create(Platform& platform) {
    return std::make_shared<WindowStore>(Token{}, platform);
}

WindowStore::WindowStore(Token, Platform& platform)
    : axGetWindow(lookUpAXGetWindow(platform.accessibility)), platform_(platform), spaces_(platform) {}

WindowStore::~WindowStore() {
    if (pendingCrossScreenRefresh) pendingCrossScreenRefresh->cancel();
    for (const auto& [pid, item] : lifecycleWorkByPID) item->cancel();
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
    for (const auto& [id, w] : windows) pids.insert(w.pid);
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

std::vector<uint32_t> WindowStore::uniquePreservingOrder(const std::vector<uint32_t>& windowIDs) {
    std::vector<uint32_t> out;
    std::set<uint32_t> seen;
    for (uint32_t id : windowIDs) {
        if (seen.insert(id).second) out.push_back(id);
    }
    return out;
}

void WindowStore::populate() {
    WindowServer& ws = platform_.windowServer;
    const auto eligible = dockEligibleOwnerPIDs(platform_.workspace);
    const uint32_t connectionID = ws.mainConnectionID();
    const WindowSpacesMap windowSpaces = buildWindowSpacesMap(connectionID);
    const auto entries = windowInfoList(ws.copyWindowList(windowlist::kOptionExcludeDesktopElements, 0))
                             .value_or(std::vector<CGWindowInfo>{});

    std::map<uint32_t, TrackedWindow> newWindows;
    // Each application's list is read once; the titles are read live from its elements.
    std::map<int32_t, AXWindowList> axListByPID;
    std::set<int32_t> pidsToScan;

    for (const CGWindowInfo& info : entries) {
        auto windowID = info.windowID();
        if (!windowID) continue;
        auto layer = info.layer();
        if (!layer || *layer != 0) continue;
        auto pid = info.ownerPID();
        if (!pid || !eligible.contains(*pid)) continue;
        auto bounds = info.bounds();
        if (!bounds || bounds->width() < kMinimumWindowSize || bounds->height() < kMinimumWindowSize)
            continue;

        auto listed = axListByPID.find(*pid);
        if (listed == axListByPID.end()) listed = axListByPID.emplace(*pid, readAXWindowList(*pid)).first;
        const AXWindowList& axList = listed->second;
        const bool confirmationRequired = requiresAXConfirmationForLiveAdmission(*pid);
        const AXWindowMetadataMap& metadata = axList.metadataByID;
        const bool hasAXWindowList = axList.hasList;

        // Without a list, or an answer, to confirm it, a child window (a sheet, a drawer) would
        // pass as a window.
        auto isChildWindow = [&] {
            return spaces_.parentWindowIDs({*windowID}, connectionID).contains(*windowID);
        };
        switch (cgWindowAXAdmission(*windowID, metadata, hasAXWindowList).kind) {
            case CGWindowAXAdmission::Case::admitted:
                if (!hasAXWindowList && isChildWindow()) continue;
                break;
            case CGWindowAXAdmission::Case::rejected:
                continue;
            case CGWindowAXAdmission::Case::missing:
                pidsToScan.insert(*pid);
                if (confirmationRequired) continue;
                if (tentativeBootstrapRejection(*windowID, windowSpaces, connectionID)) continue;
                break;
            case CGWindowAXAdmission::Case::unanswered:
                pidsToScan.insert(*pid);  // a later scan asks again
                if (confirmationRequired || isChildWindow()) continue;
                break;
        }

        TrackedWindow w;
        w.windowID = *windowID;
        w.pid = *pid;
        w.appName = info.ownerName().value_or("Unknown");
        if (auto app = platform_.workspace.runningApplication(*pid))
            w.bundleIdentifier = app->bundleIdentifier;
        if (auto title = readTitle(axList, *windowID)) {
            w.windowTitle = *title;  // an empty title read live stands
        } else {
            w.windowTitle = info.windowName().value_or("");
        }
        w.frame = *bounds;
        if (auto m = metadata.find(*windowID); m != metadata.end())
            w.isMinimized = m->second.isMinimized.value_or(false);
        if (auto s = windowSpaces.find(*windowID); s != windowSpaces.end()) w.spaceIDs = s->second;
        newWindows[*windowID] = std::move(w);
    }

    // The per-Space listing leaves minimised windows out; ask for those one at a time.
    std::vector<uint32_t> unplaced;
    for (const auto& [id, w] : newWindows) {
        if (w.isMinimized && w.spaceIDs.empty()) unplaced.push_back(id);
    }
    if (!unplaced.empty()) {
        for (auto& [id, spaces] : querySpaces(unplaced, connectionID))
            newWindows[id].spaceIDs = std::move(spaces);
    }

    windows = std::move(newWindows);
    reconcileStateByWindowID.clear();
    for (const auto& [id, w] : windows) reconcileStateByWindowID[id] = ReconcileState::active();

    if (auto front = platform_.workspace.frontmostApplication()) handleAppActivated(front->processIdentifier);
    if (onChange) onChange();
    for (int32_t pid : pidsToScan) scheduleDeferredScan(pid);
}

// --- Admission ---

std::pair<WindowStore::AXWindowMetadataMap, bool> WindowStore::copyAXWindowMetadataByID(int32_t pid) {
    AXWindowList list = readAXWindowList(pid);
    return {std::move(list.metadataByID), list.hasList};
}

WindowStore::AXWindowList WindowStore::readAXWindowList(int32_t pid) {
    AXWindowList out;
    Value list;
    if (readAttribute(platform_.accessibility.createApplication(pid), "AXWindows", list) != kAXErrorSuccess)
        return out;
    auto elements = list.asElementArray();
    if (!elements) return out;
    out.hasList = true;
    for (AXElement& element : *elements) {
        auto id = resolveWindowID(element);
        if (!id) continue;
        AXWindowMetadata m;
        bool unanswered = false;
        m.title = readStringAttribute(element, "AXTitle");
        m.role = readStringAttribute(element, "AXRole", &unanswered);
        m.subrole = readStringAttribute(element, "AXSubrole", &unanswered);
        m.isModal = readBoolAttribute(element, "AXModal", &unanswered);
        m.isMinimized = readBoolAttribute(element, "AXMinimized", &unanswered);
        m.unanswered = unanswered;
        out.metadataByID[*id] = std::move(m);
        out.elementsByID[*id] = std::move(element);
    }
    return out;
}

WindowStore::CGWindowAXAdmission WindowStore::cgWindowAXAdmission(uint32_t windowID,
                                                                  const AXWindowMetadataMap& metadataByID,
                                                                  bool hasAXWindowList) {
    if (!hasAXWindowList) return CGWindowAXAdmission::admitted();
    auto it = metadataByID.find(windowID);
    if (it == metadataByID.end()) return CGWindowAXAdmission::missing();
    if (it->second.unanswered) return CGWindowAXAdmission::unanswered();
    if (isDockEligibleAXWindow(it->second)) return CGWindowAXAdmission::admitted();
    return CGWindowAXAdmission::rejected(axIneligibilityReason(it->second));
}

bool WindowStore::isDockEligibleAXWindow(const AXWindowMetadata& m) {
    if (m.role != "AXWindow") return false;
    if (m.isModal == true) return false;
    if (m.isMinimized == true) return true;
    if (!m.subrole) return true;
    return *m.subrole == "AXStandardWindow";
}

std::string WindowStore::axIneligibilityReason(const AXWindowMetadata& m) {
    if (m.role != "AXWindow") return "ax-role-not-window role=" + m.role.value_or("nil");
    if (m.isModal == true) return "ax-modal-window";
    return "ax-subrole-not-standard subrole=" + m.subrole.value_or("nil");
}

bool WindowStore::requiresAXConfirmationForLiveAdmission(int32_t pid) const {
    if (observerAttachedPIDs.contains(pid)) return true;
    return std::any_of(windows.begin(), windows.end(),
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

bool WindowStore::isClearlyIneligibleAXWindow(const AXWindowMetadata& m) {
    if (m.role && *m.role != "AXWindow") return true;
    if (m.isModal == true) return true;
    if (m.isMinimized == true) return false;
    if (!m.subrole) return false;
    return *m.subrole != "AXStandardWindow";
}

std::optional<CGWindowInfo> WindowStore::cgWindowInfo(uint32_t windowID) {
    auto entries =
        windowInfoList(platform_.windowServer.createDescriptionFromArray(numberArray(std::vector{windowID})));
    if (!entries || entries->empty()) return std::nullopt;
    return entries->front();
}

// --- Accessibility readers ---

std::optional<uint32_t> WindowStore::resolveWindowID(const AXElement& element) {
    return resolveAXWindowID(platform_.accessibility, axGetWindow, element);
}

AXError WindowStore::readAttribute(const AXElement& element, const std::string& attribute, Value& value) {
    Accessibility& ax = platform_.accessibility;
    ax.setMessagingTimeout(element, axMessagingTimeoutSeconds);
    return ax.copyAttributeValue(element, attribute, value);
}

std::optional<std::string> WindowStore::readStringAttribute(const AXElement& element,
                                                            const std::string& attribute, bool* unanswered) {
    Value value;
    AXError err = readAttribute(element, attribute, value);
    if (unanswered && isUnanswered(err)) *unanswered = true;
    if (err != kAXErrorSuccess) return std::nullopt;
    if (const std::string* s = value.asString()) return *s;
    return std::nullopt;
}

std::optional<std::string> WindowStore::readTitle(const AXElement& element) {
    return readStringAttribute(element, "AXTitle");
}

std::optional<std::string> WindowStore::readTitle(const AXWindowList& list, uint32_t windowID) {
    auto it = list.elementsByID.find(windowID);
    return it == list.elementsByID.end() ? std::nullopt : readTitle(it->second);
}

std::optional<bool> WindowStore::readBoolAttribute(const AXElement& element, const std::string& attribute,
                                                   bool* unanswered) {
    Value value;
    AXError err = readAttribute(element, attribute, value);
    if (unanswered && isUnanswered(err)) *unanswered = true;
    if (err != kAXErrorSuccess) return std::nullopt;
    if (auto b = value.asBool()) return b;
    if (auto n = value.asNumberObject()) return n->boolValue();
    return std::nullopt;
}

std::optional<Rect> WindowStore::readFrame(const AXElement& element) {
    Value position;
    if (readAttribute(element, "AXPosition", position) != kAXErrorSuccess) return std::nullopt;
    Value size;
    if (platform_.accessibility.copyAttributeValue(element, "AXSize", size) != kAXErrorSuccess)
        return std::nullopt;
    auto p = position.asAXValue();
    auto z = size.asAXValue();
    if (!p || p->type != AXValueData::Type::Point || !z || z->type != AXValueData::Type::Size)
        return std::nullopt;
    return Rect{p->point, z->size};
}

}  // namespace qv
