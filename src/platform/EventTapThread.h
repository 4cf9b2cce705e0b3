#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "dispatch/Runtime.h"
#include "platform/EventTaps.h"

namespace qv {

// One event tap served by a run-loop thread of its own: the tap objects of the system build on it.
// `start` creates the tap, starts the thread and waits until that thread has put the tap's source
// on its run loop and enabled the tap. The wait is bounded: a thread that does not come up within
// a second, or whose set-up fails, must not freeze the caller, so the tap is then invalidated, the
// thread stopped and joined, and `start` answers false for the owner to retry later.
class EventTapThread {
  public:
    struct Spec {
        std::string threadName;
        EventTapLocation location = EventTapLocation::session;
        EventTapPlacement placement = EventTapPlacement::headInsert;
        EventTapOptions options = EventTapOptions::defaultTap;
        CGEventMask mask = 0;
    };
    static constexpr Seconds kSetUpTimeout = 1.0;

    EventTapThread(EventTaps& taps, Runtime& runtime);
    ~EventTapThread();
    EventTapThread(const EventTapThread&) = delete;
    EventTapThread& operator=(const EventTapThread&) = delete;

    // True when the tap runs, also when it ran already. `didCreateTap` runs once the tap exists,
    // before its thread starts.
    bool start(const Spec& spec, EventTapCallback callback, const std::function<void()>& didCreateTap = {});
    // Disables and invalidates the tap, stops its run loop and joins its thread. Safe when stopped.
    void stop();
    bool isRunning() const;
    // Enables the tap again after the system switched it off; nothing when stopped.
    void enableAgain();

  private:
    struct State {
        std::mutex mutex;
        EventTapRef tap;
        std::shared_ptr<RunLoop> runLoop;
        std::shared_ptr<RunLoopThread> thread;
    };

    EventTaps& taps_;
    Runtime& runtime_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace qv
