#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "dispatch/Runtime.h"

namespace qv {

// The runtime of the program: serial queues and run-loop threads are real threads, timers real
// timed waits. The main queue runs on the thread that calls runMain() (or one of its variants).
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

    class Loop;  // internal

  private:
    std::shared_ptr<Loop> main_;
};

}  // namespace qv
