#include "model/BarViewModel.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <unordered_set>

#include "platform/Windowing.h"

namespace qv {

namespace {

const std::string* stringIn(const Value::Dictionary& info, const char* key) {
    return valueFor(info, key).asString();
}

}  // namespace

std::shared_ptr<BarViewModel> BarViewModel::create(Platform& platform,
                                                   std::shared_ptr<WindowStore> windowStore,
                                                   std::shared_ptr<UserSettings> settings,
                                                   std::shared_ptr<BadgeService> badgeService) {
    auto model = std::make_shared<BarViewModel>(Token{}, platform, std::move(windowStore),
                                                std::move(settings), std::move(badgeService));
    model->start();
    return model;
}

BarViewModel::BarViewModel(Token, Platform& platform, std::shared_ptr<WindowStore> store,
                           std::shared_ptr<UserSettings> settings, std::shared_ptr<BadgeService> badges)
    : windowStore(std::move(store)),
      badgeService(std::move(badges)),
      platform_(platform),
      spaceWindows_(platform),
      settings_(std::move(settings)) {
    axGetWindow = lookUpAXGetWindow(platform.accessibility);
}

BarViewModel::~BarViewModel() {
    cancelActivationRetry();
    if (activationReplaced_) activationReplaced_->cancel();
}

void BarViewModel::start() {
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    windowStore->onChange = [weak] {
        if (auto self = weak.lock()) self->refresh();
    };
    // Settings, badges and attention change outside a refresh: rebuild once the change is done.
    auto queueRefresh = [weak, main = platform_.runtime.mainQueue()] {
        main->async([weak] {
            if (auto self = weak.lock()) self->refresh();
        });
    };
    settingsCancellable_ =
        settings_->data.subscribeToChanges([queueRefresh](const UserSettingsData&) { queueRefresh(); });
    badgeCancellable_ = badgeService->badgesByBundleID.subscribeToChanges(
        [queueRefresh](const std::map<std::string, std::string>&) { queueRefresh(); });
    attentionCancellable_ = badgeService->attentionByBundleID.subscribeToChanges(
        [queueRefresh](const std::set<std::string>&) { queueRefresh(); });
    badgeService->start();
    refresh();
}

// --- Chips ---

BarViewModel::FocusDecision BarViewModel::resolveFocus(std::optional<uint32_t> pending,
                                                       std::optional<uint32_t> storeFocus,
                                                       const std::map<uint32_t, TrackedWindow>& windows) {
    if (!pending) return {storeFocus, std::nullopt, "store(no-pending)"};
    if (storeFocus == pending) return {storeFocus, std::nullopt, "pending-confirmed"};
    auto p = windows.find(*pending);
    if (p == windows.end()) return {storeFocus, std::nullopt, "pending-abandoned-missing-window"};
    const TrackedWindow& pw = p->second;
    const std::string& pendingKey = pw.bundleIdentifier ? *pw.bundleIdentifier : pw.appName;
    auto s = storeFocus ? windows.find(*storeFocus) : windows.end();
    if (s == windows.end()) return {pending, pending, "pending-preserved-same-app pk=" + pendingKey};
    const TrackedWindow& sw = s->second;
    const std::string& storeKey = sw.bundleIdentifier ? *sw.bundleIdentifier : sw.appName;
    if (storeKey == pendingKey) return {pending, pending, "pending-preserved-same-app pk=" + pendingKey};
    return {storeFocus, std::nullopt, "pending-abandoned-different-app pk=" + pendingKey};
}

std::vector<DisplayItem> BarViewModel::displayItems(uint64_t spaceID,
                                                    std::optional<size_t> screenIndex) const {
    std::vector<DisplayItem> out;
    displayItems(spaceID, screenIndex, out);
    return out;
}

void BarViewModel::displayItems(uint64_t spaceID, std::optional<size_t> screenIndex,
                                std::vector<DisplayItem>& out) const {
    auto found = displayItemsBySpace->find(spaceID);
    if (found == displayItemsBySpace->end()) {
        out.clear();
        return;
    }
    const std::vector<DisplayItem>& items = found->second;
    // Assigned, the items keep the strings and the buffer `out` already has.
    if (!screenIndex) {
        out = items;
        return;
    }
    const std::vector<Screen> screens = platform_.displays.screens();
    if (screens.size() < 2 || *screenIndex >= screens.size()) {
        out = items;
        return;
    }

    const Rect screenFrame = screens[*screenIndex].frame;
    const double primaryHeight = screens.front().frame.height();
    std::unordered_map<uint32_t, const ChipData*> chipByID;
    if (auto c = chipsBySpace->find(spaceID); c != chipsBySpace->end()) {
        for (const ChipData& chip : c->second) chipByID[chip.id] = &chip;
    }
    auto onScreen = [&](uint32_t windowID) {
        auto w = windowStore->windows().find(windowID);
        if (w == windowStore->windows().end() || w->second.isMinimized) return true;
        const Rect& f = w->second.frame;
        Rect converted{f.minX(), primaryHeight - f.maxY(), f.width(), f.height()};
        return converted.intersects(screenFrame);
    };

    out.clear();
    for (const DisplayItem& item : items) {
        if (const ChipData* chip = item.chip()) {
            if (onScreen(chip->id)) out.push_back(item);
            continue;
        }
        const GroupedChipData& group = *item.groupData();
        std::vector<uint32_t> kept;
        for (uint32_t id : group.windowIDs) {
            if (onScreen(id)) kept.push_back(id);
        }
        if (kept.empty()) continue;
        if (kept.size() == 1) {
            if (auto c = chipByID.find(kept.front()); c != chipByID.end()) {
                out.push_back(DisplayItem::single(*c->second));
                continue;
            }
        }
        GroupedChipData narrowed = group;
        narrowed.windowIDs = kept;
        narrowed.windowCount = static_cast<int64_t>(kept.size());
        uint32_t titleID = kept.front();
        bool focusedFound = false;
        for (uint32_t id : kept) {
            if (auto c = chipByID.find(id); c != chipByID.end() && c->second->isFocused) {
                titleID = id;
                focusedFound = true;
                break;
            }
        }
        narrowed.isFocused = focusedFound;
        if (auto c = chipByID.find(titleID); c != chipByID.end()) {
            const ChipData& title = *c->second;
            narrowed.displayTitle = title.windowTitle.empty() ? title.appName : title.windowTitle;
        }
        out.push_back(DisplayItem::group(std::move(narrowed)));
    }
}

std::set<std::string> BarViewModel::bundleIDsWithWindows(uint64_t spaceID) const {
    std::set<std::string> out;
    auto found = chipsBySpace->find(spaceID);
    if (found == chipsBySpace->end()) return out;
    for (const ChipData& chip : found->second) {
        if (chip.bundleIdentifier) out.insert(*chip.bundleIdentifier);
    }
    return out;
}

std::shared_ptr<const Image> BarViewModel::locatedIcon(const std::string& bundleID) {
    auto path = platform_.workspace.urlForApplication(bundleID);
    if (!path) return nullptr;
    auto image = platform_.workspace.iconForFile(*path);
    if (image) iconCache[bundleID] = image;
    return image;
}

std::shared_ptr<const Image> BarViewModel::resolveIcon(const TrackedWindow& window) {
    if (window.bundleIdentifier) {
        if (auto cached = iconCache.find(*window.bundleIdentifier); cached != iconCache.end())
            return cached->second;
        if (auto image = locatedIcon(*window.bundleIdentifier)) return image;
    }
    if (auto image = platform_.workspace.runningApplicationIcon(window.pid)) {
        if (window.bundleIdentifier) iconCache[*window.bundleIdentifier] = image;
        return image;
    }
    return platform_.workspace.iconForContentType(kContentTypeApplicationBundle);
}

std::shared_ptr<const Image> BarViewModel::icon(const std::string& bundleID) {
    if (auto cached = iconCache.find(bundleID); cached != iconCache.end()) return cached->second;
    return locatedIcon(bundleID);
}

std::optional<std::string> BarViewModel::badge(const std::string& bundleID) const {
    auto found = badgeService->badgesByBundleID->find(bundleID);
    if (found == badgeService->badgesByBundleID->end()) return std::nullopt;
    return found->second;
}

std::string BarViewModel::appName(const std::string& bundleID) {
    auto path = platform_.workspace.urlForApplication(bundleID);
    if (!path) return bundleID;
    if (auto info = platform_.workspace.bundleInfoDictionary(*path)) {
        if (const Value::Dictionary* dictionary = info->asDictionary()) {
            if (const std::string* name = stringIn(*dictionary, "CFBundleDisplayName")) return *name;
            if (const std::string* name = stringIn(*dictionary, "CFBundleName")) return *name;
        }
    }
    std::string last = *path;
    while (last.size() > 1 && last.back() == '/') last.pop_back();
    if (auto slash = last.rfind('/'); slash != std::string::npos) last = last.substr(slash + 1);
    if (auto dot = last.rfind('.'); dot != std::string::npos && dot > 0) last = last.substr(0, dot);
    return last;
}

// --- Groups ---

std::optional<uint32_t> BarViewModel::windowIDOfSingleItemID(std::string_view id) {
    if (id.rfind(kSingleIDPrefix, 0) != 0 || id.size() == 2) return std::nullopt;
    uint32_t value = 0;
    const char* first = id.data() + 2;
    const char* last = id.data() + id.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

std::string BarViewModel::groupKey(uint64_t spaceID, const std::string& appKey) {
    return std::to_string(spaceID) + "|" + appKey;
}

// --- Orders ---

std::optional<std::string> BarViewModel::desktopKey(uint64_t spaceID,
                                                    const std::vector<SpaceInfo>& spaceList) {
    auto found = std::find_if(spaceList.begin(), spaceList.end(),
                              [&](const SpaceInfo& s) { return s.spaceID == spaceID; });
    if (found == spaceList.end() || found->isFullScreen()) return std::nullopt;
    int64_t position = 0;
    for (const SpaceInfo& s : spaceList) {
        if (s.displayIdentifier == found->displayIdentifier && !s.isFullScreen() &&
            s.spaceIndex <= found->spaceIndex)
            ++position;
    }
    return found->displayIdentifier + "#" + std::to_string(position);
}

std::string BarViewModel::canonicalDisplayItemID(const std::string& id, uint64_t spaceID) const {
    auto items = displayItemsBySpace->find(spaceID);
    if (items == displayItemsBySpace->end()) return id;
    for (const DisplayItem& item : items->second) {
        if (item.id() == id) return id;
    }
    auto windowID = windowIDOfSingleItemID(id);
    auto chips = chipsBySpace->find(spaceID);
    if (!windowID || chips == chipsBySpace->end()) return id;
    for (const ChipData& chip : chips->second) {
        if (chip.id != *windowID) continue;
        std::string groupID = kGroupIDPrefix + chip.appKey();
        for (const DisplayItem& item : items->second) {
            if (item.id() == groupID) return groupID;
        }
        break;
    }
    return id;
}

void BarViewModel::moveChip(const std::string& id, const std::optional<std::string>& before,
                            uint64_t spaceID) {
    const std::string dragged = canonicalDisplayItemID(id, spaceID);
    std::optional<std::string> target;
    if (before) target = canonicalDisplayItemID(*before, spaceID);
    if (target && *target == dragged) return;

    std::vector<std::string> order;
    auto items = displayItemsBySpace->find(spaceID);
    if (auto stored = chipOrderBySpace.find(spaceID); stored != chipOrderBySpace.end()) {
        order = stored->second;
    }
    if (items != displayItemsBySpace->end()) {
        std::unordered_set<std::string> present(order.begin(), order.end());
        for (const DisplayItem& item : items->second) {
            if (present.insert(item.id()).second) order.push_back(item.id());
        }
    }
    auto draggedAt = std::find(order.begin(), order.end(), dragged);
    if (draggedAt == order.end()) return;
    if (target && std::find(order.begin(), order.end(), *target) == order.end()) return;

    order.erase(draggedAt);
    if (target) {
        order.insert(std::find(order.begin(), order.end(), *target), dragged);
    } else {
        order.push_back(dragged);
    }
    chipOrderBySpace[spaceID] = std::move(order);
    chipOrderIsGrouped = settings_->data->groupWindowsByApp;
    refresh();
    auto refreshed = displayItemsBySpace->find(spaceID);
    saveAppOrder(refreshed == displayItemsBySpace->end() ? std::vector<DisplayItem>{} : refreshed->second,
                 spaceID);
}

void BarViewModel::saveAppOrder(const std::vector<DisplayItem>& items, uint64_t spaceID) {
    auto key = desktopKey(spaceID, *spaces);
    if (!key) return;
    std::vector<std::string> visible;
    std::unordered_set<std::string> seen;
    for (const DisplayItem& item : items) {
        if (seen.insert(item.appKey()).second) visible.push_back(item.appKey());
    }
    if (visible.empty()) return;
    settings_->setChipOrder(mergedAppOrder(settings_->chipOrder(*key), visible, kSavedAppOrderLimit), *key);
}

std::vector<std::string> BarViewModel::mergedAppOrder(std::vector<std::string> saved,
                                                      const std::vector<std::string>& visible, size_t limit) {
    const std::unordered_set<std::string> visibleSet(visible.begin(), visible.end());
    size_t insertion = saved.size();
    for (size_t i = 0; i < saved.size(); ++i) {
        if (visibleSet.contains(saved[i])) {
            insertion = i;
            break;
        }
    }
    std::erase_if(saved, [&](const std::string& key) { return visibleSet.contains(key); });
    insertion = std::min(insertion, saved.size());
    saved.insert(saved.begin() + static_cast<std::ptrdiff_t>(insertion), visible.begin(), visible.end());
    while (saved.size() > limit) {
        auto last = std::find_if(saved.rbegin(), saved.rend(),
                                 [&](const std::string& key) { return !visibleSet.contains(key); });
        if (last == saved.rend()) break;
        saved.erase(std::next(last).base());
    }
    return saved;
}

// --- Actions ---
// Each action asks the application's worker and comes back here with the answers; an answer
// holds the model weakly and finds it as it is then. An activation's answers are applied only
// while it is the latest: a later one has taken over what it left undone.

void BarViewModel::cancelActivationRetry() {
    if (auto retry = std::exchange(activationRetry, nullptr)) retry->cancel();
    retryableActivation = 0;
    activationRetryWindowID = 0;
}

uint64_t BarViewModel::beginActivation() {
    const uint64_t seq = ++debugEventSequence;
    latestActivation_ = seq;
    // An older retry would raise its window over this one, or drop this one's pending focus.
    cancelActivationRetry();
    if (activationReplaced_) activationReplaced_->cancel();
    activationReplaced_ = makeCancellationToken();
    return seq;
}

ActivationRequest BarViewModel::activationRequest(int32_t pid, uint32_t windowID, bool isMinimized,
                                                  bool focusBeforeActivation) {
    ActivationRequest request;
    request.pid = pid;
    request.windowID = windowID;
    request.isMinimized = isMinimized;
    request.focusBeforeActivation = focusBeforeActivation;
    request.replaced = activationReplaced_;
    // A process that has ended is not asked to come forward.
    request.running = platform_.workspace.runningApplication(pid).has_value();
    if (request.running) {
        request.wasActive = platform_.windowing.isActive();
        request.ourPID = platform_.workspace.currentApplication().processIdentifier;
    }
    return request;
}

void BarViewModel::askActivation(const ActivationRequest& request, uint64_t seq, bool retries,
                                 bool ourAppActivated) {
    // AppKit is ours to call on the main thread only: activation is handed on before the worker
    // asks the application to take it.
    if (!ourAppActivated && request.running) platform_.windowing.yieldActivation(request.pid);
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    platform_.appWorkers.ask(
        request.pid,
        [request, ourAppActivated, ax = &platform_.accessibility, getWindow = axGetWindow,
         workspace = &platform_.workspace] {
            return ourAppActivated ? finishActivation(request, *ax, getWindow, *workspace)
                                   : requestActivation(request, *ax, getWindow, *workspace);
        },
        [weak, request, seq, retries](ActivationAnswer answer) {
            if (auto self = weak.lock()) self->applyActivationAnswer(request, seq, retries, answer);
        });
}

void BarViewModel::applyActivationAnswer(const ActivationRequest& request, uint64_t seq, bool retries,
                                         ActivationAnswer answer) {
    if (seq != latestActivation_) return;
    if (answer.needsOurActivation) {
        // Our application comes forward here, on the main thread, and the application is then
        // asked directly, in the same order as a refused request always had.
        platform_.windowing.activate(true);
        askActivation(request, seq, retries, true);
        return;
    }
    if (!retries || retryableActivation != seq) return;
    // Found, or gone meanwhile: nothing is left to retry.
    if (answer.found || !windowStore->windows().contains(request.windowID)) {
        cancelActivationRetry();
        return;
    }
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    activationRetry = platform_.runtime.mainQueue()->asyncAfter(kActivationRetryDelay, [weak, request, seq] {
        if (auto self = weak.lock()) self->retryActivation(request, seq);
    });
}

void BarViewModel::retryActivation(const ActivationRequest& request, uint64_t seq) {
    activationRetry.reset();
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    platform_.appWorkers.ask(
        request.pid,
        [request, ax = &platform_.accessibility, getWindow = axGetWindow] {
            return focusAndRaiseAXWindow(*ax, getWindow, ax->createApplication(request.pid), request.windowID,
                                         request.isMinimized, request.replaced);
        },
        [weak, request, seq](bool found) {
            if (auto self = weak.lock()) self->applyRetryAnswer(request, seq, found);
        });
}

void BarViewModel::applyRetryAnswer(const ActivationRequest& request, uint64_t seq, bool found) {
    if (retryableActivation != seq) return;
    cancelActivationRetry();
    if (found) return;
    // The store's picture of the application is wrong: it looks again.
    windowStore->scheduleDeferredScan(request.pid);
    // Only this activation's own pending focus is given up.
    if (pendingFocusedWindowID == request.windowID) pendingFocusedWindowID.reset();
}

CancellationTokenPtr BarViewModel::activateWindow(uint32_t id, bool focusBeforeActivation) {
    auto found = windowStore->windows().find(id);
    if (found == windowStore->windows().end()) return nullptr;
    const TrackedWindow window = found->second;
    const uint64_t seq = beginActivation();

    const std::string& appKey = window.bundleIdentifier ? *window.bundleIdentifier : window.appName;
    std::vector<uint64_t> spaceIDs(window.spaceIDs.begin(), window.spaceIDs.end());
    if (spaceIDs.empty()) spaceIDs.push_back(*activeSpaceID);
    for (uint64_t spaceID : spaceIDs) {
        if (spaceID != 0) preferredWindowIDByGroupKey[groupKey(spaceID, appKey)] = id;
    }
    if (window.bundleIdentifier) badgeService->clearAttention(*window.bundleIdentifier);
    pendingFocusedWindowID = id;
    retryableActivation = seq;
    activationRetryWindowID = id;
    askActivation(activationRequest(window.pid, id, window.isMinimized, focusBeforeActivation), seq, true,
                  false);
    // The bar shows the new focus at once, chips drawn with it; the system confirms it later.
    publish(id);
    return activationReplaced_;
}

void BarViewModel::focusWindowWithAXOnly(uint32_t id, const std::string& /*context*/,
                                         std::function<void(bool)> completion) {
    auto found = windowStore->windows().find(id);
    if (found == windowStore->windows().end()) {
        if (completion) completion(false);
        return;
    }
    const TrackedWindow window = found->second;
    const uint64_t seq = beginActivation();
    pendingFocusedWindowID = id;
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    platform_.appWorkers.ask(
        window.pid,
        [ax = &platform_.accessibility, getWindow = axGetWindow, pid = window.pid, id,
         minimized = window.isMinimized, replaced = activationReplaced_] {
            return qv::focusWindowWithAXOnly(*ax, getWindow, pid, id, minimized, replaced);
        },
        [weak, id, pid = window.pid, seq, completion = std::move(completion)](AXOnlyFocusAnswer answer) {
            auto self = weak.lock();
            if (!self) return;
            self->applyAXOnlyFocus(id, pid, seq, answer);
            if (completion) completion(answer.found && answer.succeeded);
        });
}

void BarViewModel::applyAXOnlyFocus(uint32_t windowID, int32_t pid, uint64_t seq, AXOnlyFocusAnswer answer) {
    if (seq != latestActivation_) return;
    if (!answer.found) {
        if (pendingFocusedWindowID == windowID) pendingFocusedWindowID.reset();
        windowStore->scheduleDeferredScan(pid);
        return;
    }
    // Shown as focused while it is still the window waiting for the system's word: one minimised or
    // gone meanwhile is not.
    if (pendingFocusedWindowID == windowID) focusedWindowID = windowID;
}

void BarViewModel::activateUntrackedWindow(uint32_t id, int32_t pid, bool isMinimized) {
    const uint64_t seq = beginActivation();
    askActivation(activationRequest(pid, id, isMinimized, false), seq, false, false);
}

void BarViewModel::minimizeWindow(uint32_t id) {
    auto found = windowStore->windows().find(id);
    if (found == windowStore->windows().end()) return;
    const int32_t pid = found->second.pid;
    // A retry still to come for this window would bring it straight back.
    if (retryableActivation && activationRetryWindowID == id) cancelActivationRetry();
    if (pendingFocusedWindowID == id) pendingFocusedWindowID.reset();
    if (*focusedWindowID == id) focusedWindowID = std::nullopt;
    std::weak_ptr<BarViewModel> weak = weak_from_this();
    platform_.appWorkers.ask(
        pid,
        [ax = &platform_.accessibility, getWindow = axGetWindow, pid, id, known = windowStore->elementOf(id)] {
            return minimizeAXWindow(*ax, getWindow, pid, id, known);
        },
        [weak](bool minimized) {
            if (auto self = weak.lock()) self->applyMinimizeAnswer(minimized);
        });
}

void BarViewModel::applyMinimizeAnswer(bool minimized) {
    // Refused, or not answered in time: the window stays as it was, and the bar shows again the
    // focus the store knows instead of the one it dropped for the minimise.
    if (!minimized) refresh();
}

void BarViewModel::closeWindow(uint32_t id) {
    auto found = windowStore->windows().find(id);
    if (found == windowStore->windows().end()) return;
    const int32_t pid = found->second.pid;
    // The window's removal arrives later through the store's own events.
    platform_.appWorkers.ask(pid, [ax = &platform_.accessibility, getWindow = axGetWindow, pid, id] {
        closeAXWindow(*ax, getWindow, pid, id);
    });
}

void BarViewModel::launchApp(const std::string& bundleID) {
    auto path = platform_.workspace.urlForApplication(bundleID);
    if (!path) return;
    platform_.workspace.openApplication(*path);
}

}  // namespace qv
