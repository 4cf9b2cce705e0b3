#include "tracking/AXObserverManager.h"

#include <algorithm>

#include "tracking/AXWindowID.h"

namespace qv {

namespace {

bool isDebounced(const std::string& notification) {
    const auto& names = AXObserverManager::debouncedNotifications;
    return std::find(names.begin(), names.end(), notification) != names.end();
}

}  // namespace

// --- DebounceState ---

WorkItemPtr AXObserverManager::DebounceState::store(const DebounceKey& key, WorkItemPtr item, int32_t pid) {
    std::lock_guard lock(lock_);
    Pending& slot = workItems_[key];
    WorkItemPtr replaced = std::move(slot.item);
    slot = Pending{std::move(item), pid};
    return replaced;
}

bool AXObserverManager::DebounceState::takeIfCurrent(const WorkItem* item, const DebounceKey& key) {
    std::lock_guard lock(lock_);
    auto it = workItems_.find(key);
    if (it == workItems_.end() || it->second.item.get() != item) return false;
    workItems_.erase(it);
    return true;
}

void AXObserverManager::DebounceState::cancelAll() {
    std::vector<WorkItemPtr> pending;
    {
        std::lock_guard lock(lock_);
        for (auto& [key, entry] : workItems_) pending.push_back(std::move(entry.item));
        workItems_.clear();
    }
    for (const auto& item : pending) item->cancel();
}

void AXObserverManager::DebounceState::cancelAll(int32_t pid) {
    std::vector<WorkItemPtr> pending;
    {
        std::lock_guard lock(lock_);
        for (auto it = workItems_.begin(); it != workItems_.end();) {
            if (it->second.pid == pid) {
                pending.push_back(std::move(it->second.item));
                it = workItems_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& item : pending) item->cancel();
}

// --- Construction and lifecycle ---

std::shared_ptr<AXObserverManager> AXObserverManager::create(Runtime& runtime, Accessibility& accessibility,
                                                             std::shared_ptr<Queue> callbackQueue) {
    return std::make_shared<AXObserverManager>(Token{}, runtime, accessibility, std::move(callbackQueue));
}

AXObserverManager::AXObserverManager(Token, Runtime& runtime, Accessibility& accessibility,
                                     std::shared_ptr<Queue> callbackQueue)
    : runtime_(runtime),
      ax_(accessibility),
      callbackQueue_(std::move(callbackQueue)),
      readySemaphore_(runtime.makeSemaphore(0)),
      debounceState_(std::make_shared<DebounceState>()) {
    axGetWindow_ = lookUpAXGetWindow(ax_);
}

AXObserverManager::~AXObserverManager() {
    stop();
}

void AXObserverManager::start() {
    if (thread_) return;
    thread_ = runtime_.startRunLoopThread("AXObserverManager", QoS::userInitiated);
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    auto ready = readySemaphore_;
    thread_->runLoop()->async([weak, ready] {
        // The strong reference ends before the signal, so the caller's reference is the last one.
        if (auto self = weak.lock()) self->threadMain();
        ready->signal();
    });
    readySemaphore_->wait();
}

void AXObserverManager::threadMain() {
    runLoop_ = thread_->runLoop();
}

void AXObserverManager::stop() {
    if (!runLoop_) {
        debounceState_->cancelAll();
        return;
    }
    if (runLoop_->isCurrent()) {
        // Released from a block of our own thread: tear down here; the thread ends after it.
        teardown();
    } else {
        runLoop_->async([this] { teardown(); });
        thread_->join();
    }
    thread_.reset();
    runLoop_.reset();
}

void AXObserverManager::teardown() {
    std::vector<int32_t> pids;
    {
        std::lock_guard lock(lock_);
        for (const auto& [pid, state] : pidStates_) pids.push_back(pid);
    }
    for (int32_t pid : pids) removeObserver(pid);
    // Retries of processes that never attached end with the thread as well.
    cancelAllRetries();
    debounceState_->cancelAll();
    runLoop_->stop();
}

// --- Requests ---

void AXObserverManager::post(std::function<void(AXObserverManager&)> request) {
    if (!runLoop_) return;
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    runLoop_->async([weak, request = std::move(request)] {
        if (auto self = weak.lock()) request(*self);
    });
}

void AXObserverManager::observe(int32_t pid) {
    post([pid](AXObserverManager& m) { m.addObserver(pid); });
}

void AXObserverManager::stopObserving(int32_t pid) {
    // Events already coalesced for the process are dropped at once; the detach drops those that
    // arrive until it runs, and its pending retry.
    debounceState_->cancelAll(pid);
    post([pid](AXObserverManager& m) { m.removeObserver(pid); });
}

void AXObserverManager::refreshWindows(const std::set<int32_t>& pids) {
    post([pids](AXObserverManager& m) {
        for (int32_t pid : pids) {
            bool attached;
            {
                std::lock_guard lock(m.lock_);
                attached = m.pidStates_.contains(pid);
            }
            if (attached) {
                m.refreshWindowObservations(pid);
            } else {
                m.addObserver(pid);
            }
        }
    });
}

// --- On the observer thread ---

std::optional<uint32_t> AXObserverManager::resolveWindowID(const AXElement& element) {
    return resolveAXWindowID(ax_, axGetWindow_, element);
}

std::optional<uint32_t> AXObserverManager::resolveWindowIDFromObservedWindows(int32_t pid,
                                                                              const AXElement& element) {
    std::lock_guard lock(lock_);
    auto it = pidStates_.find(pid);
    if (it == pidStates_.end()) return std::nullopt;
    for (const auto& [id, recorded] : it->second.observedWindows) {
        if (recorded == element) return id;
    }
    return std::nullopt;
}

std::optional<std::vector<AXElement>> AXObserverManager::copyAXWindows(const AXElement& appElement) {
    Value windows;
    if (ax_.copyAttributeValue(appElement, "AXWindows", windows) != kAXErrorSuccess) return std::nullopt;
    return windows.asElementArray();
}

void AXObserverManager::registerWindowNotifications(AXObserver& observer, const AXElement& element) {
    for (const char* name : windowNotifications) ax_.observerAddNotification(observer, element, name, this);
}

void AXObserverManager::addObserver(int32_t pid) {
    {
        std::lock_guard lock(lock_);
        if (pidStates_.contains(pid)) return;
    }
    AXObserverRef observer;
    if (ax_.observerCreate(pid, &AXObserverManager::axCallback, observer) != kAXErrorSuccess || !observer)
        return;
    AXElement appElement = ax_.createApplication(pid);
    ax_.addObserverSourceToRunLoop(*observer, runLoop_);

    auto registered = [&](const char* name) {
        AXError err = ax_.observerAddNotification(*observer, appElement, name, this);
        return err == kAXErrorSuccess || err == kAXErrorNotificationAlreadyRegistered;
    };
    bool created = registered(appNotifications[0]);
    bool focused = registered(appNotifications[1]);
    if (!created && !focused) {
        ax_.removeObserverSourceFromRunLoop(*observer, runLoop_);
        scheduleRetry(pid);
        return;
    }

    std::map<uint32_t, AXElement> windows;
    for (const AXElement& window : copyAXWindows(appElement).value_or(std::vector<AXElement>{})) {
        registerWindowNotifications(*observer, window);
        if (auto id = resolveWindowID(window)) windows[*id] = window;
    }
    {
        std::lock_guard lock(lock_);
        pidStates_[pid] = PIDState{observer, appElement, std::move(windows)};
    }
    retryCount_.erase(pid);
    cancelRetry(pid);
    callbackQueue_->async([callback = onObserverAdded, pid] {
        if (callback) callback(pid);
    });
}

void AXObserverManager::scheduleRetry(int32_t pid) {
    int n = retryCount_.contains(pid) ? retryCount_[pid] : 0;
    if (n >= static_cast<int>(retryDelays.size())) {
        retryCount_.erase(pid);
        retryWork_.erase(pid);
        return;
    }
    retryCount_[pid] = n + 1;
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    auto self = std::make_shared<std::weak_ptr<WorkItem>>();
    auto item = makeWorkItem([weak, pid, self] {
        auto manager = weak.lock();
        if (!manager || !manager->runLoop_) return;
        manager->post([pid, item = self->lock()](AXObserverManager& m) { m.retryAttach(pid, item); });
    });
    *self = item;
    retryWork_[pid] = item;
    callbackQueue_->asyncAfter(retryDelays[static_cast<size_t>(n)], item);
}

void AXObserverManager::cancelRetry(int32_t pid) {
    if (auto it = retryWork_.find(pid); it != retryWork_.end()) {
        it->second->cancel();
        retryWork_.erase(it);
    }
}

void AXObserverManager::cancelAllRetries() {
    for (const auto& [pid, item] : retryWork_) item->cancel();
    retryWork_.clear();
    retryCount_.clear();
}

void AXObserverManager::retryAttach(int32_t pid, const WorkItemPtr& item) {
    // A retry whose series was ended meanwhile (the process was detached) does nothing.
    auto it = retryWork_.find(pid);
    if (it == retryWork_.end() || it->second != item) return;
    retryWork_.erase(it);
    addObserver(pid);
}

void AXObserverManager::refreshWindowObservations(int32_t pid) {
    PIDState state;
    {
        std::lock_guard lock(lock_);
        auto it = pidStates_.find(pid);
        if (it == pidStates_.end()) return;
        state = it->second;
    }
    // Refreshes follow every change of desktop: a hung application holds this thread, and every
    // notification behind it, no longer than the window store waits for one.
    ax_.setMessagingTimeout(state.appElement, kRefreshMessagingTimeoutSeconds);
    auto windows = copyAXWindows(state.appElement);
    if (!windows || windows->empty()) return;
    for (const AXElement& window : *windows) {
        auto id = resolveWindowID(window);
        if (!id) continue;
        registerWindowNotifications(*state.observer, window);
        if (state.observedWindows.contains(*id)) continue;
        std::lock_guard lock(lock_);
        if (auto it = pidStates_.find(pid); it != pidStates_.end()) it->second.observedWindows[*id] = window;
    }
}

void AXObserverManager::removeObserver(int32_t pid) {
    retryCount_.erase(pid);
    cancelRetry(pid);
    debounceState_->cancelAll(pid);
    PIDState state;
    {
        std::lock_guard lock(lock_);
        auto it = pidStates_.find(pid);
        if (it == pidStates_.end()) return;
        state = std::move(it->second);
        pidStates_.erase(it);
    }
    for (const char* name : appNotifications)
        ax_.observerRemoveNotification(*state.observer, state.appElement, name);
    for (const auto& [id, window] : state.observedWindows) {
        for (const char* name : windowNotifications)
            ax_.observerRemoveNotification(*state.observer, window, name);
    }
    ax_.removeObserverSourceFromRunLoop(*state.observer, runLoop_);
}

void AXObserverManager::axCallback(AXObserver& observer, const AXElement& element,
                                   const std::string& notification, void* refcon) {
    if (!refcon) return;
    auto self = static_cast<AXObserverManager*>(refcon)->weak_from_this().lock();
    if (!self) return;
    self->handleNotification(observer, element, notification);
}

void AXObserverManager::handleNotification(AXObserver& observer, const AXElement& element,
                                           const std::string& notification) {
    int32_t pid = 0;
    ax_.getPid(element, pid);
    std::optional<uint32_t> windowID = resolveWindowID(element);
    if (!windowID) windowID = resolveWindowIDFromObservedWindows(pid, element);

    if (notification == "AXWindowCreated") {
        registerWindowNotifications(observer, element);
        if (windowID) {
            std::lock_guard lock(lock_);
            if (auto it = pidStates_.find(pid); it != pidStates_.end())
                it->second.observedWindows[*windowID] = element;
        }
    }
    if (notification == "AXUIElementDestroyed" && windowID) {
        std::lock_guard lock(lock_);
        if (auto it = pidStates_.find(pid); it != pidStates_.end())
            it->second.observedWindows.erase(*windowID);
    }

    AXWindowEvent event{notification, pid, element, windowID};
    if (windowID && isDebounced(notification)) {
        coalesce(event);
        return;
    }
    callbackQueue_->async([callback = onEvent, event] {
        if (callback) callback(event);
    });
}

void AXObserverManager::coalesce(const AXWindowEvent& event) {
    DebounceKey key{event.notification, *event.windowID};
    auto self = std::make_shared<std::weak_ptr<WorkItem>>();
    std::weak_ptr<DebounceState> weakState = debounceState_;
    auto item = makeWorkItem([weakState, self, key, callback = onEvent, event] {
        auto me = self->lock();
        auto state = weakState.lock();
        if (me && state && state->takeIfCurrent(me.get(), key) && callback) callback(event);
    });
    *self = item;
    if (WorkItemPtr replaced = debounceState_->store(key, item, event.pid)) replaced->cancel();
    callbackQueue_->asyncAfter(kCoalescingDelay, item);
}

}  // namespace qv
