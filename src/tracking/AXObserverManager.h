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
#include <vector>

#include "dispatch/Runtime.h"
#include "platform/Accessibility.h"
#include "tracking/AXWindowEvent.h"

namespace qv {

// Keeps one Accessibility observer per observed application on a thread of its own, registers the
// notifications the window store needs, works out the window id each notification is about,
// coalesces bursts of title, move and resize notifications, and hands every event to `onEvent` on
// the callback queue. Callers only post requests; every Accessibility call happens on the
// observer thread.
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

    // Starts the observer thread and returns once its run loop exists.
    void start();
    // Detaches every process, drops pending events and waits for the thread to end.
    void stop();
    // Requests; dropped before start() and after stop().
    void observe(int32_t pid);
    void stopObserving(int32_t pid);
    void refreshWindows(const std::set<int32_t>& pids);

  private:
    struct PIDState {
        AXObserverRef observer;
        AXElement appElement;
        std::map<uint32_t, AXElement> observedWindows;
    };

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

    // Pending coalesced events, shared by the observer thread (which stores) and the callback
    // queue (which takes). Each entry remembers its process, so that detaching one cancels its own.
    class DebounceState {
      public:
        // Stores the item under the key and gives back the one it replaced.
        WorkItemPtr store(const DebounceKey& key, WorkItemPtr item, int32_t pid);
        bool takeIfCurrent(const WorkItem* item, const DebounceKey& key);
        void cancelAll();
        void cancelAll(int32_t pid);

      private:
        struct Pending {
            WorkItemPtr item;
            int32_t pid = 0;
        };
        std::mutex lock_;
        std::unordered_map<DebounceKey, Pending, DebounceKeyHash> workItems_;
    };

    void post(std::function<void(AXObserverManager&)> request);
    void threadMain();
    void teardown();
    void addObserver(int32_t pid);
    void removeObserver(int32_t pid);
    void refreshWindowObservations(int32_t pid);
    void scheduleRetry(int32_t pid);
    void retryAttach(int32_t pid, const WorkItemPtr& item);
    void cancelRetry(int32_t pid);
    void cancelAllRetries();
    std::optional<std::vector<AXElement>> copyAXWindows(const AXElement& appElement);
    std::optional<uint32_t> resolveWindowID(const AXElement& element);
    std::optional<uint32_t> resolveWindowIDFromObservedWindows(int32_t pid, const AXElement& element);
    void registerWindowNotifications(AXObserver& observer, const AXElement& element);
    void handleNotification(AXObserver& observer, const AXElement& element, const std::string& notification);
    void coalesce(const AXWindowEvent& event);
    static void axCallback(AXObserver& observer, const AXElement& element, const std::string& notification,
                           void* refcon);

    Runtime& runtime_;
    Accessibility& ax_;
    std::shared_ptr<Queue> callbackQueue_;
    std::map<int32_t, int> retryCount_;  // observer thread only
    std::shared_ptr<RunLoopThread> thread_;
    std::shared_ptr<RunLoop> runLoop_;
    std::shared_ptr<Semaphore> readySemaphore_;
    std::map<int32_t, PIDState> pidStates_;  // guarded by lock_
    std::mutex lock_;
    std::function<AXError(const AXElement&, uint32_t&)> axGetWindow_;
    std::shared_ptr<DebounceState> debounceState_;
    // The scheduled retry of each process, so that detaching can cancel it; observer thread only.
    std::map<int32_t, WorkItemPtr> retryWork_;
};

}  // namespace qv
