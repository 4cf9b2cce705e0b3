#include "previews/WindowSwitcherWindowSource.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

namespace qv {

namespace {

std::optional<std::string> stringAttribute(Accessibility& ax, const AXElement& element, const char* name) {
    Value value;
    if (ax.copyAttributeValue(element, name, value) != kAXErrorSuccess) return std::nullopt;
    if (const std::string* s = value.asString()) return *s;
    return std::nullopt;
}

std::optional<bool> boolAttribute(Accessibility& ax, const AXElement& element, const char* name) {
    Value value;
    if (ax.copyAttributeValue(element, name, value) != kAXErrorSuccess) return std::nullopt;
    if (auto b = value.asBool()) return b;
    if (auto n = value.asNumberObject()) return n->boolValue();
    return std::nullopt;
}

bool isOnscreen(const CGWindowInfo& info) {
    const Value& v = info.dict[CGWindowKeys::isOnscreen];
    if (auto n = v.asNumberObject()) return n->boolValue();
    return v.asBool().value_or(false);
}

std::vector<CGWindowInfo> readWindowList(WindowServer& server, uint32_t options) {
    return windowInfoList(server.copyWindowList(options, 0)).value_or(std::vector<CGWindowInfo>{});
}

}  // namespace

const std::set<std::string>& WindowSwitcherWindowSource::excludedBundleIDs() {
    static const std::set<std::string> ids = {
        "com.apple.dock",      "com.apple.WindowManager",        "com.apple.controlcenter",
        "com.apple.Spotlight", "com.apple.notificationcenterui", "com.apple.loginwindow",
    };
    return ids;
}

const std::set<std::string>& WindowSwitcherWindowSource::allowedUntrackedSubroles() {
    static const std::set<std::string> subroles = {"AXStandardWindow", "AXDialog", "AXFloatingWindow"};
    return subroles;
}

WindowSwitcherWindowSource::WindowSwitcherWindowSource(Platform& platform,
                                                       std::shared_ptr<WindowStore> windowStore)
    : platform_(platform),
      windowStore_(std::move(windowStore)),
      spaces_(platform),
      axGetWindow_(lookUpAXGetWindow(platform.accessibility)) {
    // The cache is this object's own, and the subscription ends with it.
    terminationObserver_ = platform.workspace.notificationCenter().addObserver(
        notifications::kWorkspaceDidTerminateApplication, platform.runtime.mainQueue(),
        [this](const Notification& n) {
            if (auto pid = n.userInfo[notifications::kWorkspaceApplicationKey].asNumberObject())
                iconCache_.erase(pid->int32Value());
        });
}

std::optional<Screen> WindowSwitcherWindowSource::screen(Point containingCGPoint) {
    std::vector<uint32_t> displays;
    if (platform_.displays.getDisplaysWithPoint(containingCGPoint, 1, displays) != 0 || displays.empty())
        return std::nullopt;
    for (const Screen& s : platform_.displays.screens()) {
        if (SpaceWindows::displayID(s) == displays.front()) return s;
    }
    return std::nullopt;
}

std::vector<uint32_t> WindowSwitcherWindowSource::currentStackingOrder() {
    std::vector<uint32_t> ids;
    const auto list = readWindowList(
        platform_.windowServer, windowlist::kOptionOnScreenOnly | windowlist::kOptionExcludeDesktopElements);
    for (const CGWindowInfo& info : list) {
        auto id = info.windowID();
        if (id && info.layer() == 0) ids.push_back(*id);
    }
    return ids;
}

std::optional<uint32_t> WindowSwitcherWindowSource::resolveWindowID(const AXElement& element) {
    return resolveAXWindowID(platform_.accessibility, axGetWindow_, element);
}

std::optional<Value> WindowSwitcherWindowSource::applicationAttribute(int32_t pid, const char* name) {
    Accessibility& ax = platform_.accessibility;
    AXElement app = ax.createApplication(pid);
    ax.setMessagingTimeout(app, kAXMessagingTimeout);
    Value value;
    if (ax.copyAttributeValue(app, name, value) != kAXErrorSuccess) return std::nullopt;
    return value;
}

std::optional<uint32_t> WindowSwitcherWindowSource::focusedWindowID(int32_t pid) {
    auto value = applicationAttribute(pid, "AXFocusedWindow");
    if (!value) return std::nullopt;
    auto window = value->asElement();
    if (!window) return std::nullopt;
    return resolveWindowID(*window);
}

std::optional<WindowSwitcherWindowSource::AXWindows> WindowSwitcherWindowSource::copyAXWindows(int32_t pid) {
    auto value = applicationAttribute(pid, "AXWindows");
    if (!value) return std::nullopt;
    auto elements = value->asElementArray();
    if (!elements) return std::nullopt;
    Accessibility& ax = platform_.accessibility;
    AXWindows windows;
    for (const AXElement& element : *elements) {
        ax.setMessagingTimeout(element, kAXMessagingTimeout);
        auto id = resolveWindowID(element);
        if (!id) continue;
        windows[*id] =
            AXWindowInfo{stringAttribute(ax, element, "AXRole"), stringAttribute(ax, element, "AXSubrole"),
                         stringAttribute(ax, element, "AXTitle"), boolAttribute(ax, element, "AXMinimized")};
    }
    return windows;
}

std::shared_ptr<const Image> WindowSwitcherWindowSource::icon(const RunningApplication& app) {
    if (auto it = iconCache_.find(app.processIdentifier); it != iconCache_.end()) return it->second;
    std::shared_ptr<const Image> image = platform_.workspace.runningApplicationIcon(app.processIdentifier);
    if (!image && app.bundlePath) image = platform_.workspace.iconForFile(*app.bundlePath);
    if (image) iconCache_[app.processIdentifier] = image;
    return image;
}

std::optional<SwitcherEntry> WindowSwitcherWindowSource::admitUntracked(
    uint32_t id, const CGWindowInfo& facts, const RunningApplication& app,
    std::map<int32_t, std::optional<AXWindows>>& axCache, uint32_t connection) {
    if (facts.layer() != 0) return std::nullopt;
    auto bounds = facts.bounds();
    if (!bounds || bounds->width() < kMinimumUntrackedSize || bounds->height() < kMinimumUntrackedSize)
        return std::nullopt;
    if (auto alpha = facts.alpha(); alpha && !(*alpha > 0)) return std::nullopt;
    if (app.activationPolicy == ActivationPolicy::prohibited) return std::nullopt;

    auto cached = axCache.find(app.processIdentifier);
    if (cached == axCache.end())
        cached = axCache.emplace(app.processIdentifier, copyAXWindows(app.processIdentifier)).first;
    const std::optional<AXWindows>& axWindows = cached->second;
    const AXWindowInfo* axInfo = nullptr;
    if (axWindows) {
        auto it = axWindows->find(id);
        if (it == axWindows->end()) return std::nullopt;
        axInfo = &it->second;
        if (axInfo->role != "AXWindow") return std::nullopt;
        if (axInfo->subrole && !allowedUntrackedSubroles().contains(*axInfo->subrole)) return std::nullopt;
    } else {
        // Without an Accessibility list only a regular application's top-level windows pass.
        if (app.activationPolicy != ActivationPolicy::regular) return std::nullopt;
        if (spaces_.parentWindowIDs({id}, connection).contains(id)) return std::nullopt;
    }

    SwitcherEntry entry;
    entry.id = id;
    entry.pid = app.processIdentifier;
    entry.appName = app.localizedName ? *app.localizedName : facts.ownerName().value_or("Unknown");
    if (axInfo && axInfo->title) {
        entry.title = *axInfo->title;
    } else {
        entry.title = facts.windowName().value_or("");
    }
    entry.icon = icon(app);
    entry.isMinimized = axInfo && axInfo->isMinimized ? *axInfo->isMinimized : false;
    entry.isTracked = false;
    return entry;
}

std::optional<SwitcherSnapshot> WindowSwitcherWindowSource::snapshot(Point atCGPoint) {
    auto screenUnder = screen(atCGPoint);
    if (!screenUnder) return std::nullopt;
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    auto active = spaces_.activeSpace(*screenUnder, connection);
    if (!active) return std::nullopt;
    const uint64_t spaceID = active->spaceID;
    const int32_t ownPID = platform_.system.currentProcessID();

    // Every window the server knows, and the stacking position of the on-screen ones (all layers).
    std::map<uint32_t, CGWindowInfo> facts;
    std::map<uint32_t, int> stackIndexByID;
    for (CGWindowInfo& info :
         readWindowList(platform_.windowServer, windowlist::kOptionExcludeDesktopElements)) {
        auto id = info.windowID();
        if (!id) continue;
        if (isOnscreen(info) && !stackIndexByID.contains(*id))
            stackIndexByID[*id] = static_cast<int>(stackIndexByID.size());
        facts[*id] = std::move(info);
    }

    std::vector<uint32_t> candidates;
    uint64_t setTags = 0;
    uint64_t clearTags = kDesktopWindowsClearTags;
    auto listed = platform_.windowServer.copyWindowsWithOptionsAndTags(
        connection, 0, Value::array({Value::number(NumberObject::ofUnsigned(spaceID))}), 2, &setTags,
        &clearTags);
    if (listed) {
        if (auto numbers = listed->asNumberArray()) {
            for (const NumberObject& n : *numbers) candidates.push_back(n.uint32Value());
        }
    }
    const std::set<uint32_t> listedIDs(candidates.begin(), candidates.end());
    for (const auto& [id, w] : windowStore_->windows) {  // ascending ids
        if (w.spaceIDs.contains(spaceID) && !listedIDs.contains(id)) candidates.push_back(id);
    }

    std::map<int32_t, std::optional<AXWindows>> axCache;
    std::set<uint32_t> seen;
    std::vector<SwitcherEntry> admitted;
    for (uint32_t id : candidates) {
        if (!seen.insert(id).second) continue;
        auto tracked = windowStore_->windows.find(id);
        const bool isTracked = tracked != windowStore_->windows.end();
        auto fact = facts.find(id);
        std::optional<int32_t> pid;
        if (isTracked) {
            pid = tracked->second.pid;
        } else if (fact != facts.end()) {
            pid = fact->second.ownerPID();
        }
        if (!pid || *pid == ownPID) continue;
        auto app = platform_.workspace.runningApplication(*pid);
        if (!app || app->isTerminated) continue;
        if (app->bundleIdentifier && excludedBundleIDs().contains(*app->bundleIdentifier)) continue;
        if (isTracked) {
            const TrackedWindow& w = tracked->second;
            admitted.push_back(
                SwitcherEntry{id, *pid, w.appName, w.windowTitle, icon(*app), w.isMinimized, true});
            continue;
        }
        if (fact == facts.end()) continue;
        if (auto entry = admitUntracked(id, fact->second, *app, axCache, connection))
            admitted.push_back(std::move(*entry));
    }

    std::optional<uint32_t> focused;
    if (auto front = platform_.workspace.frontmostApplication()) {
        focused = focusedWindowID(front->processIdentifier);
        if (focused) recency.record(*focused);
    }
    // Only an empty history takes the stacking order, so the list is read only then.
    if (recency.order().empty()) recency.seedIfEmpty(currentStackingOrder());
    std::set<uint32_t> known;
    for (const auto& [id, info] : facts) known.insert(id);
    for (const auto& [id, w] : windowStore_->windows) known.insert(id);
    recency.prune(known);

    SwitcherSnapshot snap;
    snap.screen = *screenUnder;
    snap.spaceID = spaceID;
    snap.entries = order(std::move(admitted), recency, stackIndexByID, focused);
    if (focused && std::any_of(snap.entries.begin(), snap.entries.end(),
                               [&](const SwitcherEntry& e) { return e.id == *focused; }))
        snap.focusedWindowID = focused;
    return snap;
}

namespace {

// Recent entries by their place in the history; the others slotted in before the first recent
// entry that stands further back in the stack. Sorted by index, with each entry's keys found once.
std::vector<SwitcherEntry> historyOrder(std::vector<SwitcherEntry> group,
                                        const std::vector<uint32_t>& history,
                                        const std::map<uint32_t, int>& stackIndexByID) {
    std::unordered_map<uint32_t, size_t> rankByID;
    for (size_t i = 0; i < history.size(); ++i) rankByID.emplace(history[i], i);
    std::vector<std::optional<size_t>> rank(group.size());
    std::vector<std::optional<int>> stack(group.size());
    std::vector<size_t> inHistory, others;
    for (size_t i = 0; i < group.size(); ++i) {
        if (auto r = rankByID.find(group[i].id); r != rankByID.end()) rank[i] = r->second;
        if (auto s = stackIndexByID.find(group[i].id); s != stackIndexByID.end()) stack[i] = s->second;
        (rank[i] ? inHistory : others).push_back(i);
    }
    std::stable_sort(inHistory.begin(), inHistory.end(),
                     [&](size_t a, size_t b) { return *rank[a] < *rank[b]; });
    std::stable_sort(others.begin(), others.end(), [&](size_t a, size_t b) {
        return stack[a].value_or(INT_MAX) < stack[b].value_or(INT_MAX);
    });

    // Only the recent entries that are stacked anchor the others, so where another entry goes
    // depends on them alone: before the first whose stack index exceeds its own, which is the first
    // place where the deepest index of the anchors so far exceeds it. Entries bound for the same
    // place keep their sorted order; those with no place go last, in the same order.
    std::vector<int> deepestSoFar(inHistory.size());
    int deepest = -1;
    for (size_t k = 0; k < inHistory.size(); ++k) {
        if (auto s = stack[inHistory[k]]) deepest = std::max(deepest, *s);
        deepestSoFar[k] = deepest;
    }
    std::vector<std::vector<size_t>> before(inHistory.size());
    std::vector<size_t> last;
    for (size_t i : others) {
        const size_t at =
            stack[i]
                ? static_cast<size_t>(std::upper_bound(deepestSoFar.begin(), deepestSoFar.end(), *stack[i]) -
                                      deepestSoFar.begin())
                : inHistory.size();
        (at < inHistory.size() ? before[at] : last).push_back(i);
    }
    std::vector<SwitcherEntry> out;
    out.reserve(group.size());
    for (size_t k = 0; k < inHistory.size(); ++k) {
        for (size_t i : before[k]) out.push_back(std::move(group[i]));
        out.push_back(std::move(group[inHistory[k]]));
    }
    for (size_t i : last) out.push_back(std::move(group[i]));
    return out;
}

}  // namespace

std::vector<SwitcherEntry> WindowSwitcherWindowSource::order(std::vector<SwitcherEntry> entries,
                                                             const WindowRecencyTracker& recency,
                                                             const std::map<uint32_t, int>& stackIndexByID,
                                                             std::optional<uint32_t> focusedWindowID) {
    std::vector<SwitcherEntry> shown;
    std::vector<SwitcherEntry> minimized;
    for (SwitcherEntry& e : entries) (e.isMinimized ? minimized : shown).push_back(std::move(e));
    std::vector<SwitcherEntry> out = historyOrder(std::move(shown), recency.order(), stackIndexByID);
    for (SwitcherEntry& e : historyOrder(std::move(minimized), recency.order(), stackIndexByID))
        out.push_back(std::move(e));
    if (focusedWindowID) {
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const SwitcherEntry& e) { return e.id == *focusedWindowID; });
        if (it != out.end() && it != out.begin()) std::rotate(out.begin(), it, it + 1);
    }
    return out;
}

}  // namespace qv
