#include "platform/EventTapThread.h"

#include <atomic>

namespace qv {

EventTapThread::EventTapThread(EventTaps& taps, Runtime& runtime) : taps_(taps), runtime_(runtime) {}

EventTapThread::~EventTapThread() {
    stop();
}

bool EventTapThread::start(const Spec& spec, EventTapCallback callback,
                           const std::function<void()>& didCreateTap) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->tap) return true;
    }
    EventTapRef tap =
        taps_.tapCreate(spec.location, spec.placement, spec.options, spec.mask, std::move(callback));
    if (!tap) return false;
    {
        std::lock_guard lock(state_->mutex);
        state_->tap = tap;
    }
    if (didCreateTap) didCreateTap();

    auto ready = runtime_.makeSemaphore(0);
    auto failed = std::make_shared<std::atomic<bool>>(false);
    auto thread = runtime_.startRunLoopThread(spec.threadName, QoS::userInteractive);
    {
        std::lock_guard lock(state_->mutex);
        state_->thread = thread;
    }
    std::shared_ptr<RunLoop> loop = thread->runLoop();
    // The set-up signals on every path, so that a failure is known at once rather than at the
    // time-out.
    loop->async([weakState = std::weak_ptr<State>(state_), weakLoop = std::weak_ptr<RunLoop>(loop), tap,
                 ready, failed, &taps = taps_] {
        auto state = weakState.lock();
        auto loop = weakLoop.lock();
        if (!state || !loop || !taps.addToRunLoop(*tap, loop)) {
            *failed = true;
            ready->signal();
            return;
        }
        taps.tapEnable(*tap, true);
        {
            std::lock_guard lock(state->mutex);
            if (state->tap == tap) state->runLoop = loop;
        }
        ready->signal();
    });
    if (ready->wait(kSetUpTimeout) && !*failed) return true;
    stop();
    return false;
}

void EventTapThread::stop() {
    EventTapRef tap;
    std::shared_ptr<RunLoopThread> thread;
    {
        std::lock_guard lock(state_->mutex);
        tap = std::move(state_->tap);
        thread = std::move(state_->thread);
        state_->runLoop.reset();
    }
    if (tap) {
        taps_.tapEnable(*tap, false);
        taps_.invalidate(*tap);
    }
    if (thread) {
        thread->runLoop()->stop();
        thread->join();
    }
}

bool EventTapThread::isRunning() const {
    std::lock_guard lock(state_->mutex);
    return state_->tap != nullptr;
}

void EventTapThread::enableAgain() {
    EventTapRef tap;
    {
        std::lock_guard lock(state_->mutex);
        tap = state_->tap;
    }
    if (tap) taps_.tapEnable(*tap, true);
}

}  // namespace qv
