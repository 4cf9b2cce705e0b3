#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dispatch/Runtime.h"
#include "platform/Accessibility.h"
#include "tracking/AXWindowEvent.h"

namespace qv {

// Keeps one Accessibility observer per observed application, each on a run-loop thread of that
// application's own: its attach (the observer, the application's two registrations, the window list
// and each window's six), its refreshes, its retries and the delivery of its notifications all wait
// there, as every other request to the application waits on its worker, so an application slow or
// hung to answer holds back only its own notifications. The thread is made when the application is
// first asked for and ends when it is no longer observed, when its attach gives up, or at stop().
// Works out the window id each notification is about, coalesces bursts of title, move and resize
// notifications, and hands every event to `onEvent` on the callback queue. Callers only post
// requests; every Accessibility call happens on the application's thread.
class AXObserverManager : public std::enable_shared_from_this<AXObserverManager> {
    struct Token {};

  public:
    using AXWindowEvent = qv::AXWindowEvent;

    static constexpr std::array<const char*, 2> appNotifications = {"AXWindowCreated",
                                                                    "AXFocusedWindowChanged"};
    static constexpr std::array<const char*, 6> windowNotifications = {
        "AXTitleChanged",       "AXWindowResized",        "AXWindowMoved",
        "AXWindowMiniaturized", "AXWindowDeminiaturized", "AXUIElementDestroyed",
    };
    static constexpr std::array<const char*, 3> debouncedNotifications = {"AXTitleChanged", "AXWindowResized",
                                                                          "AXWindowMoved"};
    static constexpr std::array<double, 5> retryDelays = {0.5, 1, 2, 4, 8};
    static constexpr double kCoalescingDelay = 0.25;
    // A burst that never pauses (a title counting a download up) still delivers this long after its
    // first notification.
    static constexpr double kLongestCoalescingWait = 1.0;
    static constexpr float kRefreshMessagingTimeoutSeconds = 0.05f;

    static std::shared_ptr<AXObserverManager> create(Runtime& runtime, Accessibility& accessibility,
                                                     std::shared_ptr<Queue> callbackQueue);
    AXObserverManager(Token, Runtime& runtime, Accessibility& accessibility,
                      std::shared_ptr<Queue> callbackQueue);
    ~AXObserverManager();
    AXObserverManager(const AXObserverManager&) = delete;
    AXObserverManager& operator=(const AXObserverManager&) = delete;

    // Both run on the callback queue; assign them before start().
    std::function<void(const AXWindowEvent&)> onEvent;
    std::function<void(int32_t pid)> onObserverAdded;

    // Takes requests from now on.
    void start();
    // Detaches every process, drops pending events and waits for every application's thread to end.
    void stop();
    // Requests; dropped before start() and after stop().
    void observe(int32_t pid);
    void stopObserving(int32_t pid);
    void refreshWindows(const std::set<int32_t>& pids);

  private:
    // One observed application: its thread, and what only that thread touches.
    struct App {
        App(int32_t pid, std::weak_ptr<AXObserverManager> manager) : pid(pid), manager(std::move(manager)) {}
        const int32_t pid;
        const std::weak_ptr<AXObserverManager> manager;  // the observer's callbacks reach us through it
        std::shared_ptr<RunLoopThread> thread;
        std::shared_ptr<RunLoop> runLoop;
        size_t queued = 0;  // requests posted and not yet begun; guarded by lock_
        // On its own thread only.
        AXObserverRef observer;  // once attached
        AXElement appElement;
        std::map<uint32_t, AXElement> observedWindows;
        size_t retries = 0;
        WorkItemPtr retry;  // the scheduled retry, so that detaching can cancel it
    };
    using Request = std::function<void(AXObserverManager&, App&)>;

    struct DebounceKey {
        std::string notification;
        uint32_t windowID = 0;
        friend bool operator==(const DebounceKey&, const DebounceKey&) = default;
    };
    struct DebounceKeyHash {
        size_t operator()(const DebounceKey& k) const noexcept {
            size_t h = std::hash<std::string>()(k.notification);
            return h ^ (std::hash<uint32_t>()(k.windowID) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
        }
    };

    // Pending coalesced events, shared by the applications' threads (which store) and the callback
    // queue (which takes). Each entry remembers its process, so that detaching one cancels its own.
    class DebounceState {
      public:
        // Stores the item under the key and gives back the one it replaced, and when the burst the
        // item belongs to began (`now` for a new one).
        std::pair<WorkItemPtr, Seconds> store(const DebounceKey& key, WorkItemPtr item, int32_t pid, Seconds now);
        bool takeIfCurrent(const WorkItem* item, const DebounceKey& key);
        void cancelAll();
        void cancelAll(int32_t pid);

      private:
        struct Pending {
            WorkItemPtr item;
            int32_t pid = 0;
            Seconds burstStart = 0;
        };
        std::mutex lock_;
        std::unordered_map<DebounceKey, Pending, DebounceKeyHash> workItems_;
    };

    // Runs the request on the application's thread; `make` gives it one when it has none.
    void post(int32_t pid, bool make, Request request);
    // With lock_ held: keeps the ended thread to be joined, and lets go of those that finished.
    void keepEnding(std::shared_ptr<RunLoopThread> thread);
    void retire(App& app);
    void addObserver(App& app);
    void detach(App& app);
    void refreshWindowObservations(App& app);
    void scheduleRetry(App& app);
    void retryAttach(App& app, const WorkItemPtr& item);
    std::optional<std::vector<AXElement>> copyAXWindows(const AXElement& appElement);
    std::optional<uint32_t> resolveWindowID(const AXElement& element);
    static std::optional<uint32_t> observedWindowID(const App& app, const AXElement& element);
    void registerWindowNotifications(App& app, AXObserver& observer, const AXElement& element);
    void handleNotification(App& app, AXObserver& observer, const AXElement& element,
                            const std::string& notification);
    void coalesce(const AXWindowEvent& event);
    static void axCallback(AXObserver& observer, const AXElement& element, const std::string& notification,
                           void* refcon);

    Runtime& runtime_;
    Accessibility& ax_;
    std::shared_ptr<Queue> callbackQueue_;
    std::mutex lock_;
    bool started_ = false;                          // guarded by lock_
    std::map<int32_t, std::shared_ptr<App>> apps_;  // guarded by lock_
    // Threads of applications no longer observed, joined by stop() unless they finished before.
    std::vector<std::shared_ptr<RunLoopThread>> ending_;  // guarded by lock_
    std::function<AXError(const AXElement&, uint32_t&)> axGetWindow_;
    std::shared_ptr<DebounceState> debounceState_;
};

}  // namespace qv
