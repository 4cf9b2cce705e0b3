#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "dispatch/Runtime.h"

namespace qv {

// The runtime of the program: serial queues and run-loop threads are real threads, timers real
// timed waits. The main queue runs on the thread that calls runMain() (or one of its variants).
//
// A serial queue keeps the promises of a system one: releasing it neither waits for the block under
// way nor drops what is queued; its thread runs what it was asked, delayed blocks included, then
// ends by itself. The runtime joins those threads as it finds them ended, and at its own end (or
// finishReleasedQueues) waits for each to finish what is due, dropping what is not due yet, so
// nothing it started runs after it. No lock is held across a join.
class RealRuntime : public Runtime {
  public:
    RealRuntime();
    ~RealRuntime() override;

    Seconds now() const override;
    std::shared_ptr<Queue> mainQueue() override;
    std::shared_ptr<Queue> makeSerialQueue(std::string label, QoS qos = QoS::standard) override;
    std::shared_ptr<RunLoopThread> startRunLoopThread(std::string name, QoS qos = QoS::standard) override;
    std::shared_ptr<Semaphore> makeSemaphore(long initial) override;

    // Runs the main queue on the calling thread until stopMain().
    void runMain();
    void stopMain();
    // Runs the main queue until `done` holds (checked after each block) or the timeout passes.
    bool runMainUntil(const std::function<bool()>& done, Seconds timeout);
    void runMainFor(Seconds duration);

    // Every queue released so far finishes what is due (what is not due yet is dropped), and its
    // thread ends: a platform that goes waits through it for the work let go that still uses it.
    void finishReleasedQueues();
    // Runs `work` while every timed semaphore wait, under way or begun meanwhile, ends at once as if
    // timed out: a platform that goes waits through it for the requests still asking a hung
    // application.
    void releasingWaits(const std::function<void()>& work);

    class Loop;    // internal
    struct State;  // internal

  private:
    std::shared_ptr<Loop> main_;
    std::shared_ptr<State> state_;
};

}  // namespace qv
