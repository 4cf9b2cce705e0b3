#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace qv {

// Seconds; absolute times count from the platform's reference date, like CFAbsoluteTime.
using Seconds = double;

enum class QoS { background, utility, standard, userInitiated, userInteractive };

// A block that can be cancelled before it runs; cancelling after it ran has no effect.
class WorkItem {
  public:
    explicit WorkItem(std::function<void()> block) : block_(std::move(block)) {}
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
    // Runs the block unless the item was cancelled.
    void perform() {
        if (!isCancelled() && block_) block_();
    }

  private:
    std::atomic<bool> cancelled_{false};
    std::function<void()> block_;
};
using WorkItemPtr = std::shared_ptr<WorkItem>;

inline WorkItemPtr makeWorkItem(std::function<void()> block) {
    return std::make_shared<WorkItem>(std::move(block));
}

// A repeating timer source; it fires until cancelled or released. Each runtime arms it its way.
class RepeatingTimer {
  public:
    RepeatingTimer(Seconds interval, Seconds leeway, std::function<void()> handler)
        : interval_(interval), leeway_(leeway), handler_(std::move(handler)) {}
    virtual ~RepeatingTimer() = default;
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
    Seconds interval() const { return interval_; }
    Seconds leeway() const { return leeway_; }

  protected:
    void fire() { handler_(); }

  private:
    Seconds interval_;
    Seconds leeway_;
    std::function<void()> handler_;
    std::atomic<bool> cancelled_{false};
};

// A serial queue: blocks run one at a time in the order of their deadlines, and blocks with equal
// deadlines in the order they were posted.
class Queue {
  public:
    virtual ~Queue() = default;
    virtual const std::string& label() const = 0;
    virtual void async(std::function<void()> block) = 0;
    virtual void asyncAfter(Seconds delay, WorkItemPtr item) = 0;
    WorkItemPtr asyncAfter(Seconds delay, std::function<void()> block) {
        auto item = makeWorkItem(std::move(block));
        asyncAfter(delay, item);
        return item;
    }
    // First fire after `firstDelay`, then every `interval`; `leeway` lets the system fire late.
    // The timer stops when cancelled or when the returned handle is released.
    virtual std::shared_ptr<RepeatingTimer> scheduleTimer(Seconds firstDelay, Seconds interval,
                                                          Seconds leeway, std::function<void()> handler) = 0;
    // True while the calling code runs on this queue.
    virtual bool isCurrent() const = 0;
};

// The run loop of a thread of our own: blocks are performed on it (CFRunLoopPerformBlock),
// event sources deliver through it, and stop() ends the thread's loop (CFRunLoopStop).
class RunLoop : public Queue {
  public:
    virtual void stop() = 0;
    virtual bool isStopped() const = 0;
};

class RunLoopThread {
  public:
    virtual ~RunLoopThread() = default;
    virtual const std::string& name() const = 0;
    virtual std::shared_ptr<RunLoop> runLoop() const = 0;
    virtual bool isFinished() const = 0;
    // Waits until the thread's run loop has stopped and the thread has ended.
    virtual void join() = 0;
};

class Semaphore {
  public:
    virtual ~Semaphore() = default;
    virtual void signal() = 0;
    virtual void wait() = 0;
    // False when the timeout passed first.
    virtual bool wait(Seconds timeout) = 0;
};

// What the calling thread is about to wait for, when that is another application or process: the
// platform's stand-ins name it around a blocking wait, and a runtime that measures how long the
// main thread waited tells by it who held it. Scopes nest; the innermost names the wait.
class WaitingFor {
  public:
    explicit WaitingFor(std::string what) : what_(std::move(what)), outer_(top()) { top() = this; }
    ~WaitingFor() { top() = outer_; }
    WaitingFor(const WaitingFor&) = delete;
    WaitingFor& operator=(const WaitingFor&) = delete;
    // The innermost wait named on this thread; none outside every scope.
    static const std::string* current() { return top() ? &top()->what_ : nullptr; }

    // The innermost scope itself: a runtime that runs several blocks' stacks on one thread keeps
    // each stack's own.
    using Scope = const WaitingFor*;
    static Scope& innermost() { return top(); }

  private:
    static const WaitingFor*& top() {
        thread_local const WaitingFor* innermost = nullptr;
        return innermost;
    }
    std::string what_;
    const WaitingFor* outer_;
};

class Runtime {
  public:
    virtual ~Runtime() = default;
    virtual Seconds now() const = 0;
    virtual std::shared_ptr<Queue> mainQueue() = 0;
    virtual std::shared_ptr<Queue> makeSerialQueue(std::string label, QoS qos = QoS::standard) = 0;
    // Returns once the new thread's run loop exists.
    virtual std::shared_ptr<RunLoopThread> startRunLoopThread(std::string name, QoS qos = QoS::standard) = 0;
    virtual std::shared_ptr<Semaphore> makeSemaphore(long initial) = 0;
};

}  // namespace qv
