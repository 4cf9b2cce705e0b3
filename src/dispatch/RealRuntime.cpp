#include "dispatch/RealRuntime.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

// Seconds between 1970-01-01 and the platform's reference date 2001-01-01.
constexpr double kReferenceDateOffset = 978307200.0;

Clock::time_point deadlineAfter(Seconds delay) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(0.0, delay)));
}

}  // namespace

// One serial executor: a timed list of blocks, drained by the thread that runs it.
class RealRuntime::Loop : public RunLoop, public std::enable_shared_from_this<Loop> {
  public:
    explicit Loop(std::string label) : label_(std::move(label)) {}

    const std::string& label() const override { return label_; }
    void async(std::function<void()> block) override { post(Clock::now(), std::move(block)); }
    void asyncAfter(Seconds delay, WorkItemPtr item) override {
        post(deadlineAfter(delay), [item] { item->perform(); });
    }
    std::shared_ptr<RepeatingTimer> scheduleTimer(Seconds firstDelay, Seconds interval, Seconds leeway,
                                                  std::function<void()> handler) override;
    bool isCurrent() const override { return current() == this; }
    // Notifies under the lock, as post does: the loop's owner may destroy it once run returns.
    void stop() override {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        cv_.notify_all();
    }
    bool isStopped() const override {
        std::lock_guard lock(mutex_);
        return stopped_;
    }

    void post(Clock::time_point deadline, std::function<void()> fn) {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        entries_.emplace(Key{deadline, seq_++}, std::move(fn));
        cv_.notify_all();
    }

    // Runs blocks until stopped, or until `until` passes, or until `done` holds after a block.
    // Returns false when it ended because the loop was stopped.
    bool run(std::optional<Clock::time_point> until = std::nullopt,
             const std::function<bool()>* done = nullptr) {
        const Loop* previous = current();
        current() = this;
        bool result = true;
        for (;;) {
            if (done && (*done)()) break;
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                if (stopped_) {
                    result = false;
                    break;
                }
                auto now = Clock::now();
                if (entries_.empty() || entries_.begin()->first.deadline > now) {
                    if (until && now >= *until) break;
                    auto wake =
                        entries_.empty() ? Clock::time_point::max() : entries_.begin()->first.deadline;
                    if (until) wake = std::min(wake, *until);
                    // A condition that another thread makes true is polled while nothing is due.
                    if (done) wake = std::min(wake, now + std::chrono::milliseconds(5));
                    if (wake == Clock::time_point::max()) {
                        cv_.wait(lock);
                    } else {
                        cv_.wait_until(lock, wake);
                    }
                    continue;
                }
                fn = std::move(entries_.begin()->second);
                entries_.erase(entries_.begin());
            }
            fn();
            fn = nullptr;
        }
        current() = previous;
        if (!result) {
            std::map<Key, std::function<void()>> dropped;
            std::lock_guard lock(mutex_);
            dropped.swap(entries_);
        }
        return result;
    }

    void reset() {
        std::lock_guard lock(mutex_);
        stopped_ = false;
    }

  private:
    struct Key {
        Clock::time_point deadline;
        uint64_t seq;
        bool operator<(const Key& o) const {
            return deadline < o.deadline || (deadline == o.deadline && seq < o.seq);
        }
    };
    static const Loop*& current() {
        thread_local const Loop* loop = nullptr;
        return loop;
    }

    std::string label_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::map<Key, std::function<void()>> entries_;
    uint64_t seq_ = 0;
    bool stopped_ = false;
};

namespace {

class RealTimer : public RepeatingTimer, public std::enable_shared_from_this<RealTimer> {
  public:
    RealTimer(std::weak_ptr<RealRuntime::Loop> loop, Seconds interval, Seconds leeway,
              std::function<void()> handler)
        : RepeatingTimer(interval, leeway, std::move(handler)), loop_(std::move(loop)) {}

    void arm(Clock::time_point deadline) {
        auto loop = loop_.lock();
        if (!loop) return;
        std::weak_ptr<RealTimer> weak = shared_from_this();
        loop->post(deadline, [weak, deadline] {
            auto self = weak.lock();
            if (!self || self->isCancelled()) return;
            if (self->interval() > 0) {
                self->arm(deadline + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(self->interval())));
            }
            self->fire();
        });
    }

  private:
    std::weak_ptr<RealRuntime::Loop> loop_;
};

// A serial queue or run-loop thread: a Loop with a thread of its own.
class ThreadedLoop : public RunLoopThread {
  public:
    explicit ThreadedLoop(std::string name)
        : name_(std::move(name)),
          loop_(std::make_shared<RealRuntime::Loop>(name_)),
          finished_(std::make_shared<std::atomic<bool>>(false)) {
        std::mutex m;
        std::condition_variable cv;
        bool ready = false;
        // The thread keeps its loop and flag alive: the last reference to this object may be
        // dropped by a block running on the thread itself.
        thread_ = std::thread([loop = loop_, finished = finished_, &m, &cv, &ready] {
            {
                std::lock_guard lock(m);
                ready = true;
                cv.notify_all();  // under the lock: the constructor's cv dies once it returns
            }
            loop->run();
            *finished = true;
        });
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return ready; });
    }
    ~ThreadedLoop() override {
        loop_->stop();
        if (thread_.joinable()) {
            if (thread_.get_id() == std::this_thread::get_id()) {
                thread_.detach();  // released by its own block; the loop ends once that block returns
            } else {
                thread_.join();
            }
        }
    }
    const std::string& name() const override { return name_; }
    std::shared_ptr<RunLoop> runLoop() const override { return loop_; }
    bool isFinished() const override { return *finished_; }
    void join() override {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    }

  private:
    std::string name_;
    std::shared_ptr<RealRuntime::Loop> loop_;
    std::shared_ptr<std::atomic<bool>> finished_;
    std::thread thread_;
};

// A serial queue keeps its thread alive for as long as the queue itself is referenced.
class SerialQueue : public Queue {
  public:
    explicit SerialQueue(std::string label) : thread_(std::move(label)), loop_(thread_.runLoop()) {}
    const std::string& label() const override { return loop_->label(); }
    void async(std::function<void()> block) override { loop_->async(std::move(block)); }
    void asyncAfter(Seconds delay, WorkItemPtr item) override { loop_->asyncAfter(delay, std::move(item)); }
    std::shared_ptr<RepeatingTimer> scheduleTimer(Seconds firstDelay, Seconds interval, Seconds leeway,
                                                  std::function<void()> handler) override {
        return loop_->scheduleTimer(firstDelay, interval, leeway, std::move(handler));
    }
    bool isCurrent() const override { return loop_->isCurrent(); }

  private:
    ThreadedLoop thread_;
    std::shared_ptr<RunLoop> loop_;
};

class RealSemaphore : public Semaphore {
  public:
    explicit RealSemaphore(long initial) : count_(initial) {}
    // Notified under the lock: a waiter woken by the count may destroy the semaphore as soon as
    // it returns, while a notify outside the lock would still be touching it.
    void signal() override {
        std::lock_guard lock(m_);
        ++count_;
        cv_.notify_one();
    }
    void wait() override {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return count_ > 0; });
        --count_;
    }
    bool wait(Seconds timeout) override {
        std::unique_lock lock(m_);
        if (!cv_.wait_until(lock, deadlineAfter(timeout), [&] { return count_ > 0; })) return false;
        --count_;
        return true;
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    long count_;
};

}  // namespace

std::shared_ptr<RepeatingTimer> RealRuntime::Loop::scheduleTimer(Seconds firstDelay, Seconds interval,
                                                                 Seconds leeway,
                                                                 std::function<void()> handler) {
    auto t = std::make_shared<RealTimer>(weak_from_this(), interval, leeway, std::move(handler));
    t->arm(deadlineAfter(firstDelay));
    return t;
}

RealRuntime::RealRuntime() : main_(std::make_shared<Loop>("com.apple.main-thread")) {}

RealRuntime::~RealRuntime() = default;

Seconds RealRuntime::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - kReferenceDateOffset;
}

std::shared_ptr<Queue> RealRuntime::mainQueue() {
    return main_;
}

std::shared_ptr<Queue> RealRuntime::makeSerialQueue(std::string label, QoS) {
    return std::make_shared<SerialQueue>(std::move(label));
}

std::shared_ptr<RunLoopThread> RealRuntime::startRunLoopThread(std::string name, QoS) {
    return std::make_shared<ThreadedLoop>(std::move(name));
}

std::shared_ptr<Semaphore> RealRuntime::makeSemaphore(long initial) {
    return std::make_shared<RealSemaphore>(initial);
}

void RealRuntime::runMain() {
    main_->reset();
    main_->run();
}

void RealRuntime::stopMain() {
    main_->stop();
}

bool RealRuntime::runMainUntil(const std::function<bool()>& done, Seconds timeout) {
    if (done()) return true;
    main_->run(deadlineAfter(timeout), &done);
    return done();
}

void RealRuntime::runMainFor(Seconds duration) {
    main_->run(deadlineAfter(duration));
}

}  // namespace qv
