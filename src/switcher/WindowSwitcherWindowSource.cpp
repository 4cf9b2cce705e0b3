#include "switcher/WindowSwitcherWindowSource.h"

#include <algorithm>

#include "switcher/SwitcherRules.h"

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

namespace {

std::optional<Value> applicationAttribute(Accessibility& ax, int32_t pid, const char* name) {
    AXElement app = ax.createApplication(pid);
    ax.setMessagingTimeout(app, WindowSwitcherWindowSource::kAXMessagingTimeout);
    Value value;
    if (ax.copyAttributeValue(app, name, value) != kAXErrorSuccess) return std::nullopt;
    return value;
}

}  // namespace

std::optional<uint32_t> WindowSwitcherWindowSource::readFocusedWindowID(
    Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid) {
    auto value = applicationAttribute(ax, pid, "AXFocusedWindow");
    if (!value) return std::nullopt;
    auto window = value->asElement();
    if (!window) return std::nullopt;
    return resolveAXWindowID(ax, axGetWindow, *window);
}

std::optional<WindowSwitcherWindowSource::AXWindows> WindowSwitcherWindowSource::copyAXWindows(
    Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid) {
    auto value = applicationAttribute(ax, pid, "AXWindows");
    if (!value) return std::nullopt;
    auto elements = value->asElementArray();
    if (!elements) return std::nullopt;
    AXWindows windows;
    for (const AXElement& element : *elements) {
        ax.setMessagingTimeout(element, kAXMessagingTimeout);
        auto id = resolveAXWindowID(ax, axGetWindow, element);
        if (!id) continue;
        windows[*id] =
            AXWindowInfo{stringAttribute(ax, element, "AXRole"), stringAttribute(ax, element, "AXSubrole"),
                         stringAttribute(ax, element, "AXTitle"), boolAttribute(ax, element, "AXMinimized")};
    }
    return windows;
}

void WindowSwitcherWindowSource::focusedWindowID(int32_t pid,
                                                 std::function<void(std::optional<uint32_t>)> done) {
    platform_.appWorkers.ask(
        pid,
        [ax = &platform_.accessibility, getWindow = axGetWindow_, pid] {
            return readFocusedWindowID(*ax, getWindow, pid);
        },
        std::move(done));
}

std::shared_ptr<const Image> WindowSwitcherWindowSource::icon(const RunningApplication& app) {
    if (auto it = iconCache_.find(app.processIdentifier); it != iconCache_.end()) return it->second;
    std::shared_ptr<const Image> image = platform_.workspace.runningApplicationIcon(app.processIdentifier);
    if (!image && app.bundlePath) image = platform_.workspace.iconForFile(*app.bundlePath);
    if (image) iconCache_[app.processIdentifier] = image;
    return image;
}

std::optional<SwitcherEntry> WindowSwitcherWindowSource::admitUntracked(
    const Draft::Candidate::Untracked& untracked, const std::optional<AXWindows>& axWindows,
    uint32_t connection) {
    const uint32_t id = untracked.id;
    const CGWindowInfo& facts = untracked.facts;
    const RunningApplication& app = untracked.app;
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

std::optional<WindowSwitcherWindowSource::Draft> WindowSwitcherWindowSource::draft(Point atCGPoint) {
    auto screenUnder = screen(atCGPoint);
    if (!screenUnder) return std::nullopt;
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    auto active = spaces_.activeSpace(*screenUnder, connection);
    if (!active) return std::nullopt;
    Draft draft;
    draft.screen = *screenUnder;
    draft.spaceID = active->spaceID;
    const int32_t ownPID = platform_.system.currentProcessID();

    // Every window the server knows, and the stacking position of the on-screen ones (all layers).
    std::map<uint32_t, CGWindowInfo> facts;
    for (CGWindowInfo& info :
         readWindowList(platform_.windowServer, windowlist::kOptionExcludeDesktopElements)) {
        auto id = info.windowID();
        if (!id) continue;
        if (isOnscreen(info) && !draft.stackIndexByID.contains(*id))
            draft.stackIndexByID[*id] = static_cast<int>(draft.stackIndexByID.size());
        facts[*id] = std::move(info);
    }

    std::vector<uint32_t> candidates;
    uint64_t setTags = 0;
    uint64_t clearTags = kDesktopWindowsClearTags;
    auto listed = platform_.windowServer.copyWindowsWithOptionsAndTags(
        connection, 0, Value::array({Value::number(NumberObject::ofUnsigned(draft.spaceID))}), 2, &setTags,
        &clearTags);
    if (listed) {
        if (auto numbers = listed->asNumberArray()) {
            for (const NumberObject& n : *numbers) candidates.push_back(n.uint32Value());
        }
    }
    const std::set<uint32_t> listedIDs(candidates.begin(), candidates.end());
    for (const auto& [id, w] : windowStore_->windows()) {  // ascending ids
        if (w.spaceIDs.contains(draft.spaceID) && !listedIDs.contains(id)) candidates.push_back(id);
    }

    std::set<uint32_t> seen;
    for (uint32_t id : candidates) {
        if (!seen.insert(id).second) continue;
        auto tracked = windowStore_->windows().find(id);
        const bool isTracked = tracked != windowStore_->windows().end();
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
            draft.candidates.push_back(
                {SwitcherEntry{id, *pid, w.appName, w.windowTitle, icon(*app), w.isMinimized, true},
                 std::nullopt});
            continue;
        }
        if (fact == facts.end()) continue;
        // The checks that need no application; its Accessibility windows decide the rest.
        const CGWindowInfo& info = fact->second;
        if (info.layer() != 0) continue;
        auto bounds = info.bounds();
        if (!bounds || bounds->width() < kMinimumUntrackedSize || bounds->height() < kMinimumUntrackedSize)
            continue;
        if (auto alpha = info.alpha(); alpha && !(*alpha > 0)) continue;
        if (app->activationPolicy == ActivationPolicy::prohibited) continue;
        draft.candidates.push_back({SwitcherEntry{}, Draft::Candidate::Untracked{id, info, *app}});
        draft.axWindowsOf.insert(*pid);
    }

    if (auto front = platform_.workspace.frontmostApplication())
        draft.frontmostPID = front->processIdentifier;
    for (const auto& [id, info] : facts) draft.knownIDs.insert(id);
    for (const auto& [id, w] : windowStore_->windows()) draft.knownIDs.insert(id);
    return draft;
}

std::vector<SwitcherEntry> WindowSwitcherWindowSource::admitted(const Draft& draft, const Answers* answers) {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    const std::optional<AXWindows> unanswered;
    std::vector<SwitcherEntry> entries;
    for (const Draft::Candidate& candidate : draft.candidates) {
        if (!candidate.untracked) {
            entries.push_back(candidate.tracked);
            continue;
        }
        if (!answers) continue;
        auto axWindows = answers->axWindows.find(candidate.untracked->app.processIdentifier);
        if (auto entry = admitUntracked(
                *candidate.untracked, axWindows == answers->axWindows.end() ? unanswered : axWindows->second,
                connection))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

SwitcherSnapshot WindowSwitcherWindowSource::assemble(const Draft& draft, std::vector<SwitcherEntry> entries,
                                                      std::optional<uint32_t> focused,
                                                      const WindowRecencyTracker& history) const {
    SwitcherSnapshot snap;
    snap.screen = draft.screen;
    snap.spaceID = draft.spaceID;
    snap.entries = switcherOrder(std::move(entries), history.order(), draft.stackIndexByID, focused);
    if (focused && std::any_of(snap.entries.begin(), snap.entries.end(),
                               [&](const SwitcherEntry& e) { return e.id == *focused; }))
        snap.focusedWindowID = focused;
    return snap;
}

SwitcherSnapshot WindowSwitcherWindowSource::provisionalSnapshot(const Draft& draft,
                                                                 std::optional<uint32_t> focusGuess) {
    return assemble(draft, admitted(draft, nullptr), focusGuess, recency);
}

void WindowSwitcherWindowSource::ask(const Draft& draft, std::function<void(Answers)> done) {
    auto answers = std::make_shared<Answers>();
    auto left = std::make_shared<size_t>(draft.axWindowsOf.size() + (draft.frontmostPID ? 1 : 0));
    if (*left == 0) {
        done(Answers{});
        return;
    }
    // Answers arrive on the main queue, one by one; the last one completes the set.
    auto arrived = [answers, left, done = std::move(done)] {
        if (--*left == 0) done(std::move(*answers));
    };
    Accessibility* ax = &platform_.accessibility;
    for (int32_t pid : draft.axWindowsOf) {
        platform_.appWorkers.ask(
            pid, [ax, getWindow = axGetWindow_, pid] { return copyAXWindows(*ax, getWindow, pid); },
            [answers, arrived, pid](std::optional<AXWindows> windows) {
                answers->axWindows[pid] = std::move(windows);
                arrived();
            });
    }
    if (draft.frontmostPID) {
        platform_.appWorkers.ask(
            *draft.frontmostPID,
            [ax, getWindow = axGetWindow_, pid = *draft.frontmostPID] {
                return readFocusedWindowID(*ax, getWindow, pid);
            },
            [answers, arrived](std::optional<uint32_t> focused) {
                answers->focusedWindowID = focused;
                arrived();
            });
    }
}

SwitcherSnapshot WindowSwitcherWindowSource::complete(const Draft& draft, const Answers& answers) {
    std::vector<SwitcherEntry> entries = admitted(draft, &answers);
    if (answers.focusedWindowID) recency.record(*answers.focusedWindowID);
    // Only an empty history takes the stacking order, so the list is read only then.
    if (recency.order().empty()) recency.seedIfEmpty(currentStackingOrder());
    recency.prune(draft.knownIDs);
    const auto focused = answers.focusedWindowID ? answers.focusedWindowID : knownFocus(draft);
    return assemble(draft, std::move(entries), focused, recency);
}

std::optional<uint32_t> WindowSwitcherWindowSource::knownFocus(const Draft& draft) const {
    // A hung application answers nothing; the focus the store last saw in it is still its focus.
    const std::optional<uint32_t> focused = windowStore_->focusedWindowID();
    if (!focused || !draft.frontmostPID) return std::nullopt;
    const bool ofFrontmost =
        std::any_of(draft.candidates.begin(), draft.candidates.end(), [&](const auto& c) {
            return !c.untracked && c.tracked.id == *focused && c.tracked.pid == *draft.frontmostPID;
        });
    return ofFrontmost ? focused : std::nullopt;
}

}  // namespace qv
