#include "model/BarViewModel.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <unordered_set>

#include "platform/ui/Windowing.h"

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
    if (platform.accessibility.hasEntryPoint("_AXUIElementGetWindow")) {
        Accessibility& ax = platform.accessibility;
        axGetWindow = [&ax](const AXElement& element, uint32_t& id) { return ax.getWindow(element, id); };
    }
}

BarViewModel::~BarViewModel() {
    cancelActivationRetry();
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
        auto w = windowStore->windows.find(windowID);
        if (w == windowStore->windows.end() || w->second.isMinimized) return true;
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
        const std::string groupID = kGroupIDPrefix + chip.appKey();
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

std::shared_ptr<AXRequestBudget> BarViewModel::makeAXBudget() {
    return std::make_shared<AXRequestBudget>(platform_.accessibility, platform_.runtime);
}

void BarViewModel::applyAXFocusAndRaise(AXRequestBudget& budget, const AXElement& axWindow,
                                        uint32_t /*windowID*/, bool isMinimized, uint64_t /*seq*/) {
    if (isMinimized) (void)budget.setAttributeValue(axWindow, "AXMinimized", Value::boolean(false));
    (void)budget.setAttributeValue(axWindow, "AXMain", Value::boolean(true));
    (void)budget.setAttributeValue(axWindow, "AXFocused", Value::boolean(true));
    (void)budget.performAction(axWindow, "AXRaise");
}

void BarViewModel::requestActivation(const RunningApplication& app, uint64_t /*seq*/) {
    Windowing& ourApp = platform_.windowing;
    Workspace& workspace = platform_.workspace;
    const bool wasActive = ourApp.isActive();
    const RunningApplication current = workspace.currentApplication();
    ourApp.yieldActivation(app.processIdentifier);
    if (workspace.activateApplicationFrom(app.processIdentifier, current.processIdentifier,
                                          kActivationOptions))
        return;
    if (!wasActive) ourApp.activate(true);
    (void)workspace.activateApplication(app.processIdentifier, kActivationOptions);
}

void BarViewModel::cancelActivationRetry() {
    if (auto retry = std::exchange(activationRetry, nullptr)) retry->cancel();
    activationRetryWindowID = 0;
}

void BarViewModel::activateWindow(uint32_t id, bool focusBeforeActivation,
                                  std::shared_ptr<AXRequestBudget> budget) {
    auto found = windowStore->windows.find(id);
    if (found == windowStore->windows.end()) return;
    const TrackedWindow window = found->second;  // the calls below may change the store
    const uint64_t seq = ++debugEventSequence;
    // An older retry would raise its window over this one, or drop this one's pending focus.
    cancelActivationRetry();
    if (!budget) budget = makeAXBudget();

    const std::string& appKey = window.bundleIdentifier ? *window.bundleIdentifier : window.appName;
    std::vector<uint64_t> spaceIDs(window.spaceIDs.begin(), window.spaceIDs.end());
    if (spaceIDs.empty()) spaceIDs.push_back(*activeSpaceID);
    for (uint64_t spaceID : spaceIDs) {
        if (spaceID != 0) preferredWindowIDByGroupKey[groupKey(spaceID, appKey)] = id;
    }
    if (window.bundleIdentifier) badgeService->clearAttention(*window.bundleIdentifier);
    pendingFocusedWindowID = id;

    const AXElement appElement = platform_.accessibility.createApplication(window.pid);
    if (focusBeforeActivation) {
        if (auto element = findAXWindow(*budget, axGetWindow, appElement, id)) {
            (void)budget->setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element));
            (void)budget->setAttributeValue(appElement, "AXMainWindow", Value::element(*element));
            applyAXFocusAndRaise(*budget, *element, id, window.isMinimized, seq);
        }
    }
    if (auto app = platform_.workspace.runningApplication(window.pid)) requestActivation(*app, seq);

    if (auto element = findAXWindow(*budget, axGetWindow, appElement, id)) {
        applyAXFocusAndRaise(*budget, *element, id, window.isMinimized, seq);
    } else {
        std::weak_ptr<BarViewModel> weak = weak_from_this();
        activationRetryWindowID = id;
        // The retry spends what the first attempt left of the action's budget.
        activationRetry = platform_.runtime.mainQueue()->asyncAfter(
            kActivationRetryDelay,
            [weak, appElement, id, pid = window.pid, minimized = window.isMinimized, seq, budget] {
                if (auto self = weak.lock())
                    self->focusAndRaiseAXWindow(*budget, appElement, id, pid, minimized, seq);
            });
    }
    focusedWindowID = id;
}

void BarViewModel::focusAndRaiseAXWindow(AXRequestBudget& budget, const AXElement& appElement,
                                         uint32_t windowID, int32_t pid, bool isMinimized, uint64_t seq) {
    activationRetry.reset();
    activationRetryWindowID = 0;
    if (auto element = findAXWindow(budget, axGetWindow, appElement, windowID)) {
        applyAXFocusAndRaise(budget, *element, windowID, isMinimized, seq);
        return;
    }
    windowStore->scheduleDeferredScan(pid);
    // Only this activation's own pending focus is given up.
    if (pendingFocusedWindowID == windowID) pendingFocusedWindowID.reset();
}

bool BarViewModel::focusWindowWithAXOnly(uint32_t id, const std::string& /*context*/) {
    auto found = windowStore->windows.find(id);
    if (found == windowStore->windows.end()) return false;
    const TrackedWindow window = found->second;
    ++debugEventSequence;
    cancelActivationRetry();
    AXRequestBudget budget(platform_.accessibility, platform_.runtime);
    const AXElement appElement = platform_.accessibility.createApplication(window.pid);
    pendingFocusedWindowID = id;

    auto element = findAXWindow(budget, axGetWindow, appElement, id);
    if (!element) {
        pendingFocusedWindowID.reset();
        windowStore->scheduleDeferredScan(window.pid);
        return false;
    }
    (void)budget.setAttributeValue(appElement, "AXFrontmost", Value::boolean(true));
    bool ok =
        budget.setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element)) == kAXErrorSuccess;
    ok &= budget.setAttributeValue(appElement, "AXMainWindow", Value::element(*element)) == kAXErrorSuccess;
    if (window.isMinimized)
        ok &= budget.setAttributeValue(*element, "AXMinimized", Value::boolean(false)) == kAXErrorSuccess;
    ok &= budget.setAttributeValue(*element, "AXMain", Value::boolean(true)) == kAXErrorSuccess;
    ok &= budget.setAttributeValue(*element, "AXFocused", Value::boolean(true)) == kAXErrorSuccess;
    ok &= budget.performAction(*element, "AXRaise") == kAXErrorSuccess;
    focusedWindowID = id;
    return ok;
}

void BarViewModel::activateUntrackedWindow(uint32_t id, int32_t pid, bool isMinimized) {
    const uint64_t seq = ++debugEventSequence;
    cancelActivationRetry();
    if (auto app = platform_.workspace.runningApplication(pid)) requestActivation(*app, seq);
    AXRequestBudget budget(platform_.accessibility, platform_.runtime);
    const AXElement appElement = platform_.accessibility.createApplication(pid);
    if (auto element = findAXWindow(budget, axGetWindow, appElement, id))
        applyAXFocusAndRaise(budget, *element, id, isMinimized, seq);
}

void BarViewModel::minimizeWindow(uint32_t id) {
    auto found = windowStore->windows.find(id);
    if (found == windowStore->windows.end()) return;
    const int32_t pid = found->second.pid;
    // A retry still waiting for this window would bring it straight back.
    if (activationRetry && activationRetryWindowID == id) cancelActivationRetry();
    if (pendingFocusedWindowID == id) pendingFocusedWindowID.reset();
    if (*focusedWindowID == id) focusedWindowID = std::nullopt;
    AXRequestBudget budget(platform_.accessibility, platform_.runtime);
    const AXElement appElement = platform_.accessibility.createApplication(pid);
    if (auto element = findAXWindow(budget, axGetWindow, appElement, id))
        (void)budget.setAttributeValue(*element, "AXMinimized", Value::boolean(true));
}

void BarViewModel::closeWindow(uint32_t id) {
    auto found = windowStore->windows.find(id);
    if (found == windowStore->windows.end()) return;
    AXRequestBudget budget(platform_.accessibility, platform_.runtime);
    const AXElement appElement = platform_.accessibility.createApplication(found->second.pid);
    auto element = findAXWindow(budget, axGetWindow, appElement, id);
    if (!element) return;
    Value button;
    if (budget.copyAttributeValue(*element, "AXCloseButton", button) != kAXErrorSuccess) return;
    if (auto closeButton = button.asElement()) (void)budget.performAction(*closeButton, "AXPress");
}

void BarViewModel::launchApp(const std::string& bundleID) {
    auto path = platform_.workspace.urlForApplication(bundleID);
    if (!path) return;
    platform_.workspace.openApplication(*path);
}

}  // namespace qv
