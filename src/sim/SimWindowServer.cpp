#include "sim/SimWindowServer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "sim/SimDesktop.h"

namespace qv {

namespace {

constexpr int32_t kErrorFailure = 1000;  // kCGErrorFailure

constexpr std::array<const char*, 6> kLookedUpNames = {
    "SLSWindowQueryWindows",        "SLSWindowQueryResultCopyWindows", "SLSWindowIteratorAdvance",
    "SLSWindowIteratorGetWindowID", "SLSWindowIteratorGetParentID",    "SLSSetConnectionProperty",
};

class SimWindowQuery : public WindowQuery {
  public:
    std::vector<std::pair<uint32_t, uint32_t>> windows;  // id, parent
};

class SimWindowIterator : public WindowIterator {
  public:
    std::vector<std::pair<uint32_t, uint32_t>> windows;
    long index = -1;
};

std::vector<uint64_t> idsOf(const Value& array) {
    std::vector<uint64_t> out;
    if (auto nums = array.asNumberArray()) {
        for (const NumberObject& n : *nums) out.push_back(n.uint64Value());
    }
    return out;
}

Value spaceDictionary(const SimSpace& s) {
    return Value::dictionary({{"id64", Value::number(NumberObject::ofUnsigned(s.id))},
                              {"ManagedSpaceID", Value::number(NumberObject::ofUnsigned(s.id))},
                              {"type", Value::number(s.type)},
                              {"uuid", Value::string(s.uuid)}});
}

}  // namespace

Value SimWindowServer::describe(uint32_t windowID) const {
    std::lock_guard lock(sim_.worldMutex());
    const SimWindow* w = sim_.window(windowID);
    if (!w) return {};
    Value::Dictionary d{
        {"kCGWindowNumber", Value::number(NumberObject::ofUnsigned(w->id))},
        {"kCGWindowOwnerPID", Value::number(w->ownerPID)},
        {"kCGWindowLayer", Value::number(w->layer)},
        {"kCGWindowBounds", dictionaryFromRect(w->frame)},
        {"kCGWindowAlpha", Value::number(static_cast<double>(w->alpha))},
        {"kCGWindowStoreType", Value::number(1)},
        {"kCGWindowSharingState", Value::number(1)},
    };
    if (const SimApp* a = sim_.app(w->ownerPID)) d["kCGWindowOwnerName"] = Value::string(a->name);
    // Other processes' window names are withheld from a process without Screen Recording access.
    const bool nameReadable = sim_.screenRecordingGranted() || w->ownerPID == sim_.ownPID();
    if (!w->title.empty() && nameReadable) d["kCGWindowName"] = Value::string(w->title);
    if (sim_.isOnScreen(*w)) d["kCGWindowIsOnscreen"] = Value::boolean(true);
    return Value::dictionary(std::move(d));
}

std::optional<Value> SimWindowServer::copyWindowList(uint32_t options, uint32_t relativeToWindow) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record(
        "CGWindowListCopyWindowInfo",
        Value::array({Value::number(options), Value::number(NumberObject::ofUnsigned(relativeToWindow))}));
    if (sim_.overrides.windowList) return sim_.overrides.windowList(options);
    using namespace windowlist;
    const auto order = sim_.windowsInListOrder();
    const bool above = options & kOptionOnScreenAboveWindow, below = options & kOptionOnScreenBelowWindow;
    const bool including = options & kOptionIncludingWindow;
    long relativeIndex = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i]->id == relativeToWindow) relativeIndex = static_cast<long>(i);
    }
    Value::Array out;
    for (size_t i = 0; i < order.size(); ++i) {
        const SimWindow* w = order[i];
        bool onScreen = sim_.isOnScreen(*w);
        bool isRelative = static_cast<long>(i) == relativeIndex;
        if (above || below) {
            // Relative to a window: the on-screen windows in front of it or behind it.
            if (relativeIndex < 0) break;
            bool keep = isRelative ? including
                                   : onScreen && ((above && static_cast<long>(i) < relativeIndex) ||
                                                  (below && static_cast<long>(i) > relativeIndex));
            if (!keep) continue;
        } else if (including) {
            if (!isRelative) continue;
        } else if ((options & kOptionOnScreenOnly) && !onScreen) {
            continue;
        }
        out.push_back(describe(w->id));
    }
    return Value::array(std::move(out));
}

std::optional<Value> SimWindowServer::createDescriptionFromArray(const Value& windowIDs) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGWindowListCreateDescriptionFromArray", windowIDs);
    if (sim_.overrides.windowDescription) return sim_.overrides.windowDescription(windowIDs);
    if (!windowIDs.asArray()) return std::nullopt;
    Value::Array out;
    for (uint64_t id : idsOf(windowIDs)) {
        if (sim_.window(static_cast<uint32_t>(id))) out.push_back(describe(static_cast<uint32_t>(id)));
    }
    return Value::array(std::move(out));
}

uint32_t SimWindowServer::mainConnectionID() {
    return sim_.connectionID();
}

std::optional<Value> SimWindowServer::copyManagedDisplaySpaces(uint32_t connection) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSCopyManagedDisplaySpaces", Value::number(NumberObject::ofUnsigned(connection)));
    if (sim_.overrides.managedDisplaySpaces) return sim_.overrides.managedDisplaySpaces();
    auto entry = [&](const std::string& identifier, const std::vector<uint64_t>& spaceIDs, uint64_t current) {
        Value::Array spaces;
        Value currentDict;
        for (uint64_t id : spaceIDs) {
            const SimSpace* s = sim_.space(id);
            if (!s) continue;
            spaces.push_back(spaceDictionary(*s));
            if (id == current) currentDict = spaceDictionary(*s);
        }
        Value::Dictionary d{{"Display Identifier", Value::string(identifier)},
                            {"Spaces", Value::array(spaces)}};
        if (!currentDict.isNull()) d["Current Space"] = currentDict;
        return Value::dictionary(std::move(d));
    };
    Value::Array out;
    if (sim_.displaysHaveSeparateSpaces()) {
        for (const SimDisplay& d : sim_.displays()) out.push_back(entry(d.uuid, d.spaces, d.activeSpace));
    } else if (const SimDisplay* primary = sim_.primaryDisplay()) {
        // One set of Spaces spans every display; the listing names it "Main".
        std::vector<uint64_t> all;
        for (const SimDisplay& d : sim_.displays()) all.insert(all.end(), d.spaces.begin(), d.spaces.end());
        out.push_back(entry("Main", all, primary->activeSpace));
    }
    return Value::array(std::move(out));
}

uint64_t SimWindowServer::getActiveSpace(uint32_t connection) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSGetActiveSpace", Value::number(NumberObject::ofUnsigned(connection)));
    if (sim_.overrides.activeSpace) return *sim_.overrides.activeSpace;
    const SimDisplay* p = sim_.primaryDisplay();
    return p ? p->activeSpace : 0;
}

std::optional<Value> SimWindowServer::copySpacesForWindows(uint32_t, int32_t mask, const Value& windowIDs) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSCopySpacesForWindows", Value::array({Value::number(mask), windowIDs}));
    if (sim_.overrides.spacesForWindows) return sim_.overrides.spacesForWindows(windowIDs);
    if (!windowIDs.asNumberArray()) return std::nullopt;
    std::set<uint64_t> spaces;
    for (uint64_t id : idsOf(windowIDs)) {
        if (const SimWindow* w = sim_.window(static_cast<uint32_t>(id)))
            spaces.insert(w->spaces.begin(), w->spaces.end());
    }
    return numberArray(std::vector<uint64_t>(spaces.begin(), spaces.end()));
}

int32_t SimWindowServer::addWindowsToSpaces(uint32_t, const Value& windowIDs, const Value& spaceIDs) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSAddWindowsToSpaces", Value::array({windowIDs, spaceIDs}));
    if (sim_.overrides.refuseAddWindowsToSpaces) return kErrorFailure;
    for (uint64_t w : idsOf(windowIDs)) {
        SimWindow* win = sim_.window(static_cast<uint32_t>(w));
        if (!win) continue;
        for (uint64_t s : idsOf(spaceIDs)) {
            if (sim_.space(s)) win->spaces.insert(s);
        }
    }
    return 0;
}

int32_t SimWindowServer::removeWindowsFromSpaces(uint32_t, const Value& windowIDs, const Value& spaceIDs) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSRemoveWindowsFromSpaces", Value::array({windowIDs, spaceIDs}));
    if (sim_.overrides.refuseRemoveWindowsFromSpaces) return kErrorFailure;
    for (uint64_t w : idsOf(windowIDs)) {
        SimWindow* win = sim_.window(static_cast<uint32_t>(w));
        if (!win) continue;
        for (uint64_t s : idsOf(spaceIDs)) win->spaces.erase(s);
    }
    return 0;
}

int32_t SimWindowServer::spaceSetEdgeReservation(uint32_t, uint64_t spaceID, int32_t edge, double a, double b,
                                                 double c, double height) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSSpaceSetEdgeReservation",
                Value::array({Value::number(NumberObject::ofUnsigned(spaceID)), Value::number(edge),
                              Value::number(a), Value::number(b), Value::number(c), Value::number(height)}));
    if (!sim_.space(spaceID)) return kErrorFailure;
    if (height > 0) {
        sim_.edgeReservations[spaceID] = height;
    } else {
        sim_.edgeReservations.erase(spaceID);
    }
    return 0;
}

std::optional<Value> SimWindowServer::copyWindowsWithOptionsAndTags(uint32_t, uint32_t owner,
                                                                    const Value& spaceIDs, uint32_t options,
                                                                    uint64_t* setTags, uint64_t* clearTags) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record(
        "SLSCopyWindowsWithOptionsAndTags",
        Value::array({Value::number(NumberObject::ofUnsigned(owner)), spaceIDs, Value::number(options),
                      Value::number(NumberObject::ofUnsigned(setTags ? *setTags : 0)),
                      Value::number(NumberObject::ofUnsigned(clearTags ? *clearTags : 0))}));
    if (sim_.overrides.windowsOnSpaces) return sim_.overrides.windowsOnSpaces(spaceIDs);
    if (!spaceIDs.asNumberArray()) return std::nullopt;
    std::vector<uint32_t> ids;
    std::set<uint32_t> listed;
    for (uint64_t s : idsOf(spaceIDs)) {
        for (const SimWindow* w : sim_.windowsOnSpaceInListOrder(s)) {
            // The per-Space listing leaves minimised windows out.
            if (!w->minimized && listed.insert(w->id).second) ids.push_back(w->id);
        }
    }
    return numberArray(ids);
}

bool SimWindowServer::hasEntryPoint(std::string_view name) {
    std::lock_guard lock(sim_.worldMutex());
    if (sim_.missingEntryPoints.contains(std::string(name))) return false;
    if (name == "SLSFindWindowAndOwner") return true;
    return std::find(kLookedUpNames.begin(), kLookedUpNames.end(), name) != kLookedUpNames.end();
}

std::shared_ptr<WindowQuery> SimWindowServer::windowQueryWindows(uint32_t, const Value& windowIDs,
                                                                 uint32_t count) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSWindowQueryWindows", Value::array({windowIDs, Value::number(count)}));
    auto q = std::make_shared<SimWindowQuery>();
    auto ids = idsOf(windowIDs);
    if (ids.size() > count) ids.resize(count);
    for (uint64_t id : ids) {
        if (const SimWindow* w = sim_.window(static_cast<uint32_t>(id)))
            q->windows.emplace_back(w->id, w->parent);
    }
    return q;
}

std::shared_ptr<WindowIterator> SimWindowServer::windowQueryResultCopyWindows(WindowQuery& query) {
    std::lock_guard lock(sim_.worldMutex());
    auto it = std::make_shared<SimWindowIterator>();
    it->windows = static_cast<SimWindowQuery&>(query).windows;
    return it;
}

bool SimWindowServer::windowIteratorAdvance(WindowIterator& iterator) {
    std::lock_guard lock(sim_.worldMutex());
    auto& it = static_cast<SimWindowIterator&>(iterator);
    if (it.index + 1 >= static_cast<long>(it.windows.size())) return false;
    ++it.index;
    return true;
}

uint32_t SimWindowServer::windowIteratorGetWindowID(WindowIterator& iterator) {
    std::lock_guard lock(sim_.worldMutex());
    auto& it = static_cast<SimWindowIterator&>(iterator);
    return it.index >= 0 && it.index < static_cast<long>(it.windows.size())
               ? it.windows[size_t(it.index)].first
               : 0;
}

uint32_t SimWindowServer::windowIteratorGetParentID(WindowIterator& iterator) {
    std::lock_guard lock(sim_.worldMutex());
    auto& it = static_cast<SimWindowIterator&>(iterator);
    return it.index >= 0 && it.index < static_cast<long>(it.windows.size())
               ? it.windows[size_t(it.index)].second
               : 0;
}

int32_t SimWindowServer::setConnectionProperty(uint32_t connection, uint32_t targetConnection,
                                               const std::string& property, const Value& value) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSSetConnectionProperty",
                Value::array({Value::number(NumberObject::ofUnsigned(connection)),
                              Value::number(NumberObject::ofUnsigned(targetConnection)),
                              Value::string(property), value}));
    sim_.connectionProperties[property] = value;
    return 0;
}

// --- The window under a point ---

int32_t SimWindowServer::findWindowAndOwner(uint32_t, int32_t, int32_t, int32_t, Point location,
                                            Point& windowPoint, uint32_t& windowID,
                                            uint32_t& ownerConnection) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSFindWindowAndOwner",
                Value::array({Value::number(location.x), Value::number(location.y)}));
    windowID = 0;
    ownerConnection = 0;
    for (const SimWindow* w : sim_.windowsInListOrder()) {
        if (!sim_.isOnScreen(*w)) break;
        if (w->alpha <= 0 || !w->frame.contains(location)) continue;
        windowID = w->id;
        windowPoint = {location.x - w->frame.minX(), location.y - w->frame.minY()};
        // Every other process has a connection of its own.
        ownerConnection =
            w->ownerPID == sim_.ownPID() ? sim_.connectionID() : 0x2000u + static_cast<uint32_t>(w->ownerPID);
        break;
    }
    return 0;
}

// --- The Dock's strip ---

int32_t SimWindowServer::setDockRectWithOrientation(uint32_t, int32_t first, int32_t second, double x,
                                                    double y, double width, double height) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("SLSSetDockRectWithOrientation",
                Value::array({Value::number(first), Value::number(second), Value::number(x), Value::number(y),
                              Value::number(width), Value::number(height)}));
    if (sim_.overrides.dockRectError) return *sim_.overrides.dockRectError;
    // The strip belongs to the display whose bottom edge it stands on, across its whole width.
    constexpr double kTolerance = 0.5;
    for (const SimDisplay& d : sim_.displays()) {
        if (std::abs(d.frame.minX() - x) > kTolerance || std::abs(d.frame.width() - width) > kTolerance ||
            std::abs(d.frame.maxY() - (y + height)) > kTolerance)
            continue;
        if (height > 0) {
            sim_.dockRects[d.id] = Rect{x, y, width, height};
        } else {
            sim_.dockRects.erase(d.id);
        }
        break;
    }
    return 0;
}

void SimDesktop::setScreenNumberReported(uint32_t displayID, bool reported) {
    std::lock_guard lock(world_);
    for (SimDisplay& d : displays_) {
        if (d.id == displayID) d.reportsScreenNumber = reported;
    }
}

void SimDesktop::setDisplayUUIDReported(uint32_t displayID, bool reported) {
    std::lock_guard lock(world_);
    for (SimDisplay& d : displays_) {
        if (d.id == displayID) d.reportsUUID = reported;
    }
}

uint32_t SimDesktop::connectDisplay(std::string name, Rect frame, int desktops, std::string uuid) {
    holdScreenChange_ = true;
    const uint32_t id = addDisplay(std::move(name), frame, 0, std::move(uuid));
    for (int i = 0; i < desktops; ++i) addSpace(id);
    holdScreenChange_ = false;
    postScreenParametersChanged();
    return id;
}

void SimDesktop::setSpaceType(uint64_t spaceID, int64_t type) {
    std::lock_guard lock(world_);
    if (auto it = spaces_.find(spaceID); it != spaces_.end()) it->second.type = type;
}

}  // namespace qv
