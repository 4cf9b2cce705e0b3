#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "dispatch/Runtime.h"
#include "platform/Value.h"

namespace qv {

struct Notification {
    std::string name;
    // Workspace notifications about an application carry its pid as a number under
    // "NSWorkspaceApplicationKey".
    Value userInfo;
    // The notification's object; our own notifications may carry a value in it.
    Value object;
};

// Named notifications. An observer given a queue is called there, asynchronously; one without a
// queue is called synchronously on the posting thread.
class NotificationCenter {
  public:
    using Handler = std::function<void(const Notification&)>;

    [[nodiscard]] Subscription addObserver(std::string name, std::shared_ptr<Queue> queue, Handler handler);
    void post(const Notification& n);
    void post(std::string name, Value userInfo = {}) {
        post(Notification{std::move(name), std::move(userInfo), {}});
    }
    size_t observerCount(const std::string& name) const;

  private:
    struct Observer {
        std::string name;
        std::shared_ptr<Queue> queue;
        Handler handler;
        std::atomic<bool> active{true};
    };
    using List = std::vector<std::shared_ptr<Observer>>;
    // Shared with the subscriptions, which may outlive the centre.
    struct State {
        std::mutex mutex;
        std::shared_ptr<const List> observers = std::make_shared<const List>();
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Names of the notifications the platform posts.
namespace notifications {
inline constexpr const char* kApplicationWillTerminate = "NSApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidChangeScreenParameters =
    "NSApplicationDidChangeScreenParametersNotification";
inline constexpr const char* kWorkspaceDidLaunchApplication = "NSWorkspaceDidLaunchApplicationNotification";
inline constexpr const char* kWorkspaceDidTerminateApplication =
    "NSWorkspaceDidTerminateApplicationNotification";
inline constexpr const char* kWorkspaceDidActivateApplication =
    "NSWorkspaceDidActivateApplicationNotification";
inline constexpr const char* kWorkspaceDidWake = "NSWorkspaceDidWakeNotification";
inline constexpr const char* kWorkspaceActiveSpaceDidChange = "NSWorkspaceActiveSpaceDidChangeNotification";
inline constexpr const char* kWorkspaceApplicationKey = "NSWorkspaceApplicationKey";
inline constexpr const char* kWorkspaceAccessibilityDisplayOptionsDidChange =
    "NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification";
}  // namespace notifications

}  // namespace qv
