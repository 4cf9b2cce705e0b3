#include "tracking/AXObserverManager.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tracking/AXWindowID.h"

namespace qv {

namespace {

bool isDebounced(const std::string& notification) {
    const auto& names = AXObserverManager::debouncedNotifications;
    return std::find(names.begin(), names.end(), notification) != names.end();
}

}  // namespace

// --- DebounceState ---

std::pair<WorkItemPtr, Seconds> AXObserverManager::DebounceState::store(const DebounceKey& key, WorkItemPtr item,
                                                                         int32_t pid, Seconds now) {
    std::lock_guard lock(lock_);
    auto [slot, fresh] = workItems_.try_emplace(key);
    const Seconds burstStart = fresh ? now : slot->second.burstStart;
    WorkItemPtr replaced = std::move(slot->second.item);
    slot->second = Pending{std::move(item), pid, burstStart};
    return {std::move(replaced), burstStart};
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
      debounceState_(std::make_shared<DebounceState>()) {
    axGetWindow_ = lookUpAXGetWindow(ax_);
}

AXObserverManager::~AXObserverManager() {
    stop();
}

void AXObserverManager::start() {
    std::lock_guard lock(lock_);
    started_ = true;
}

void AXObserverManager::stop() {
    std::map<int32_t, std::shared_ptr<App>> apps;
    std::vector<std::shared_ptr<RunLoopThread>> threads;
    {
        std::lock_guard lock(lock_);
        started_ = false;
        apps.swap(apps_);
        threads.swap(ending_);
    }
    for (const auto& entry : apps) {
        const std::shared_ptr<App>& app = entry.second;
        if (app->runLoop->isCurrent()) {
            // Released from a block of this application's thread: detach here; the thread ends after it.
            detach(*app);
            app->runLoop->stop();
        } else {
            app->runLoop->async([this, app] {
                detach(*app);
                app->runLoop->stop();
            });
        }
        threads.push_back(app->thread);
    }
    for (const auto& thread : threads) {
        if (!thread->runLoop()->isCurrent()) thread->join();
    }
    debounceState_->cancelAll();
}

void AXObserverManager::keepEnding(std::shared_ptr<RunLoopThread> thread) {
    std::erase_if(ending_, [](const auto& ended) { return ended->isFinished(); });
    ending_.push_back(std::move(thread));
}

// --- Requests ---

void AXObserverManager::post(int32_t pid, bool make, Request request) {
    std::lock_guard lock(lock_);
    if (!started_) return;
    auto it = apps_.find(pid);
    if (it == apps_.end()) {
        if (!make) return;
        auto app = std::make_shared<App>(pid, weak_from_this());
        app->thread =
            runtime_.startRunLoopThread("AXObserverManager " + std::to_string(pid), QoS::userInitiated);
        app->runLoop = app->thread->runLoop();
        it = apps_.emplace(pid, std::move(app)).first;
    }
    ++it->second->queued;
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    std::weak_ptr<App> weakApp = it->second;
    it->second->runLoop->async([weak, weakApp, request = std::move(request)] {
        auto self = weak.lock();
        auto app = weakApp.lock();
        if (!self || !app) return;
        {
            std::lock_guard lock(self->lock_);
            --app->queued;
        }
        request(*self, *app);
    });
}

void AXObserverManager::observe(int32_t pid) {
    post(pid, true, [](AXObserverManager& m, App& app) { m.addObserver(app); });
}

void AXObserverManager::stopObserving(int32_t pid) {
    // Events already coalesced for the process are dropped at once; the detach drops those that
    // arrive until it runs, and its pending retry.
    debounceState_->cancelAll(pid);
    std::lock_guard lock(lock_);
    auto it = apps_.find(pid);
    if (it == apps_.end()) return;
    std::shared_ptr<App> app = std::move(it->second);
    apps_.erase(it);
    keepEnding(app->thread);
    // The detach waits behind what the application's thread is still doing; nothing here waits for it.
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    app->runLoop->async([weak, app] {
        if (auto self = weak.lock()) self->detach(*app);
        app->runLoop->stop();
    });
}

void AXObserverManager::refreshWindows(const std::set<int32_t>& pids) {
    for (int32_t pid : pids) {
        post(pid, true, [](AXObserverManager& m, App& app) {
            if (app.observer) {
                m.refreshWindowObservations(app);
            } else {
                m.addObserver(app);
            }
        });
    }
}

// --- On the application's thread ---

std::optional<uint32_t> AXObserverManager::resolveWindowID(const AXElement& element) {
    return resolveAXWindowID(ax_, axGetWindow_, element);
}

std::optional<uint32_t> AXObserverManager::observedWindowID(const App& app, const AXElement& element) {
    for (const auto& [id, recorded] : app.observedWindows) {
        if (recorded == element) return id;
    }
    return std::nullopt;
}

std::optional<std::vector<AXElement>> AXObserverManager::copyAXWindows(const AXElement& appElement) {
    Value windows;
    if (ax_.copyAttributeValue(appElement, "AXWindows", windows) != kAXErrorSuccess) return std::nullopt;
    return windows.asElementArray();
}

void AXObserverManager::registerWindowNotifications(App& app, AXObserver& observer,
                                                    const AXElement& element) {
    for (const char* name : windowNotifications) ax_.observerAddNotification(observer, element, name, &app);
}

void AXObserverManager::addObserver(App& app) {
    if (app.observer) return;
    AXObserverRef observer;
    if (ax_.observerCreate(app.pid, &AXObserverManager::axCallback, observer) != kAXErrorSuccess ||
        !observer) {
        retire(app);
        return;
    }
    AXElement appElement = ax_.createApplication(app.pid);
    ax_.addObserverSourceToRunLoop(*observer, app.runLoop);

    auto registered = [&](const char* name) {
        AXError err = ax_.observerAddNotification(*observer, appElement, name, &app);
        return err == kAXErrorSuccess || err == kAXErrorNotificationAlreadyRegistered;
    };
    bool created = registered(appNotifications[0]);
    bool focused = registered(appNotifications[1]);
    if (!created && !focused) {
        ax_.removeObserverSourceFromRunLoop(*observer, app.runLoop);
        scheduleRetry(app);
        return;
    }

    std::map<uint32_t, AXElement> windows;
    for (const AXElement& window : copyAXWindows(appElement).value_or(std::vector<AXElement>{})) {
        registerWindowNotifications(app, *observer, window);
        if (auto id = resolveWindowID(window)) windows[*id] = window;
    }
    app.observer = std::move(observer);
    app.appElement = appElement;
    app.observedWindows = std::move(windows);
    app.retries = 0;
    if (app.retry) std::exchange(app.retry, nullptr)->cancel();
    callbackQueue_->async([callback = onObserverAdded, pid = app.pid] {
        if (callback) callback(pid);
    });
}

void AXObserverManager::scheduleRetry(App& app) {
    if (app.retries >= retryDelays.size()) {
        app.retries = 0;
        app.retry.reset();
        retire(app);
        return;
    }
    const double delay = retryDelays[app.retries++];
    std::weak_ptr<AXObserverManager> weak = weak_from_this();
    auto self = std::make_shared<std::weak_ptr<WorkItem>>();
    auto item = makeWorkItem([weak, pid = app.pid, self] {
        auto manager = weak.lock();
        if (!manager) return;
        manager->post(pid, false,
                      [item = self->lock()](AXObserverManager& m, App& app) { m.retryAttach(app, item); });
    });
    *self = item;
    app.retry = item;
    callbackQueue_->asyncAfter(delay, item);
}

void AXObserverManager::retryAttach(App& app, const WorkItemPtr& item) {
    // A retry whose series was ended meanwhile (the process was detached) does nothing.
    if (!item || app.retry != item) return;
    app.retry.reset();
    addObserver(app);
}

void AXObserverManager::retire(App& app) {
    // An application whose attach gave up, with no retry to come, keeps no thread; a later request
    // makes it a new one.
    if (app.retry) return;
    std::lock_guard lock(lock_);
    auto it = apps_.find(app.pid);
    if (it == apps_.end() || it->second.get() != &app || app.queued > 0) return;
    keepEnding(app.thread);
    app.runLoop->stop();
    apps_.erase(it);  // the block running this holds the application until it ends
}

void AXObserverManager::refreshWindowObservations(App& app) {
    // Refreshes follow every change of desktop: an application slow to answer holds its own thread
    // no longer than the window store waits for one.
    ax_.setMessagingTimeout(app.appElement, kRefreshMessagingTimeoutSeconds);
    auto windows = copyAXWindows(app.appElement);
    if (!windows || windows->empty()) return;
    for (const AXElement& window : *windows) {
        auto id = resolveWindowID(window);
        if (!id) continue;
        registerWindowNotifications(app, *app.observer, window);
        app.observedWindows.try_emplace(*id, window);
    }
}

void AXObserverManager::detach(App& app) {
    app.retries = 0;
    if (app.retry) std::exchange(app.retry, nullptr)->cancel();
    debounceState_->cancelAll(app.pid);
    if (!app.observer) return;
    for (const char* name : appNotifications)
        ax_.observerRemoveNotification(*app.observer, app.appElement, name);
    for (const auto& [id, window] : app.observedWindows) {
        for (const char* name : windowNotifications)
            ax_.observerRemoveNotification(*app.observer, window, name);
    }
    ax_.removeObserverSourceFromRunLoop(*app.observer, app.runLoop);
    app.observer.reset();
    app.observedWindows.clear();
}

void AXObserverManager::axCallback(AXObserver& observer, const AXElement& element,
                                   const std::string& notification, void* refcon) {
    // Deliveries run on the application's own run loop, which has stopped before the application goes.
    auto* app = static_cast<App*>(refcon);
    if (!app) return;
    auto self = app->manager.lock();
    if (!self) return;
    self->handleNotification(*app, observer, element, notification);
}

void AXObserverManager::handleNotification(App& app, AXObserver& observer, const AXElement& element,
                                           const std::string& notification) {
    int32_t pid = 0;
    ax_.getPid(element, pid);
    std::optional<uint32_t> windowID = resolveWindowID(element);
    if (!windowID) windowID = observedWindowID(app, element);

    if (notification == "AXWindowCreated") {
        registerWindowNotifications(app, observer, element);
        if (windowID && app.observer) app.observedWindows[*windowID] = element;
    }
    if (notification == "AXUIElementDestroyed" && windowID) app.observedWindows.erase(*windowID);

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
    const Seconds now = runtime_.now();
    auto [replaced, burstStart] = debounceState_->store(key, item, event.pid, now);
    if (replaced) replaced->cancel();
    const Seconds delay = std::min(kCoalescingDelay, burstStart + kLongestCoalescingWait - now);
    callbackQueue_->asyncAfter(std::max(0.0, delay), item);
}

}  // namespace qv
