#include "dispatch/RealRuntime.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

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

    // Runs blocks until stopped, or until `until` passes, or until `done` holds after a block, or,
    // once released, until nothing is left (nothing due, when ending).
    // Returns false when it ended because the loop was stopped or released.
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
                auto now = Clock::now();
                const bool due = !entries_.empty() && entries_.begin()->first.deadline <= now;
                if (stopped_ || (released_ && !due && (entries_.empty() || ending_))) {
                    stopped_ = true;  // what is posted to a loop that ended is dropped
                    result = false;
                    break;
                }
                if (!due) {
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
    // Its queue was let go: the loop ends once it has run everything posted to it; `ending`, once
    // nothing is due.
    void release(bool ending) {
        std::lock_guard lock(mutex_);
        released_ = true;
        ending_ = ending_ || ending;
        cv_.notify_all();
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
    bool released_ = false;
    bool ending_ = false;
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

// A run-loop thread: a Loop with a thread of its own, which its owner stops (and joins) as a run
// loop is stopped.
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

// A serial queue: a Loop with a thread of its own. Released, its thread drains the loop and ends by
// itself; the runtime joins it.
class SerialQueue : public Queue {
  public:
    SerialQueue(std::string label, std::shared_ptr<RealRuntime::State> state);
    ~SerialQueue() override;
    const std::string& label() const override { return loop_->label(); }
    void async(std::function<void()> block) override { loop_->async(std::move(block)); }
    void asyncAfter(Seconds delay, WorkItemPtr item) override { loop_->asyncAfter(delay, std::move(item)); }
    std::shared_ptr<RepeatingTimer> scheduleTimer(Seconds firstDelay, Seconds interval, Seconds leeway,
                                                  std::function<void()> handler) override {
        return loop_->scheduleTimer(firstDelay, interval, leeway, std::move(handler));
    }
    bool isCurrent() const override { return loop_->isCurrent(); }

  private:
    std::shared_ptr<RealRuntime::State> state_;
    std::shared_ptr<RealRuntime::Loop> loop_;
    std::shared_ptr<std::atomic<bool>> finished_;
    std::thread thread_;
};

class RealSemaphore : public Semaphore {
  public:
    RealSemaphore(long initial, std::shared_ptr<RealRuntime::State> state)
        : state_(std::move(state)), count_(initial) {}
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
    bool wait(Seconds timeout) override;
    // Its timed waiters look again whether waits are being released.
    void wake() {
        std::lock_guard lock(m_);
        cv_.notify_all();
    }

  private:
    std::shared_ptr<RealRuntime::State> state_;
    std::mutex m_;
    std::condition_variable cv_;
    long count_;
};

}  // namespace

struct RealRuntime::State {
    struct Ending {
        std::thread thread;
        std::shared_ptr<Loop> loop;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::mutex mutex;
    std::vector<Ending> ending;  // the threads of released queues, not joined yet
    bool ended = false;          // the runtime is gone: a queue released later joins its thread itself
    std::vector<std::weak_ptr<RealSemaphore>> semaphores;
    std::atomic<int> releasingWaits{0};

    // Releases the queue's loop and takes its thread; joins, outside the lock, those found ended
    // meanwhile (and this one, after the runtime's end).
    void adopt(Ending released) {
        std::vector<Ending> joinable;
        {
            std::lock_guard lock(mutex);
            released.loop->release(ended);
            if (ended) {
                joinable.push_back(std::move(released));
            } else {
                auto done = std::partition(ending.begin(), ending.end(), [](const Ending& e) {
                    return !*e.finished || e.thread.get_id() == std::this_thread::get_id();
                });
                std::move(done, ending.end(), std::back_inserter(joinable));
                ending.erase(done, ending.end());
                ending.push_back(std::move(released));
            }
        }
        for (Ending& e : joinable) join(e);
    }
    // Each released queue finishes what is due, then its thread is joined; so are those released
    // meanwhile. `end`: the runtime ends, and a queue released afterwards joins its own thread.
    void finish(bool end) {
        for (;;) {
            std::vector<Ending> finishing;
            {
                std::lock_guard lock(mutex);
                ended = ended || end;
                finishing.swap(ending);
            }
            if (finishing.empty()) return;
            for (Ending& e : finishing) e.loop->release(true);
            for (Ending& e : finishing) join(e);
        }
    }
    static void join(Ending& e) {
        if (!e.thread.joinable()) return;
        if (e.thread.get_id() == std::this_thread::get_id()) {
            e.thread
                .detach();  // released by its own block after the runtime ended; it ends once that returns
        } else {
            e.thread.join();
        }
    }
};

namespace {

bool RealSemaphore::wait(Seconds timeout) {
    std::unique_lock lock(m_);
    cv_.wait_until(lock, deadlineAfter(timeout), [&] { return count_ > 0 || state_->releasingWaits > 0; });
    if (count_ <= 0) return false;
    --count_;
    return true;
}

SerialQueue::SerialQueue(std::string label, std::shared_ptr<RealRuntime::State> state)
    : state_(std::move(state)),
      loop_(std::make_shared<RealRuntime::Loop>(std::move(label))),
      finished_(std::make_shared<std::atomic<bool>>(false)) {
    // The thread holds its loop and flag itself: it outlives the queue until it has drained the loop.
    thread_ = std::thread([loop = loop_, finished = finished_] {
        loop->run();
        *finished = true;
    });
}

SerialQueue::~SerialQueue() {
    state_->adopt({std::move(thread_), loop_, finished_});
}

}  // namespace

std::shared_ptr<RepeatingTimer> RealRuntime::Loop::scheduleTimer(Seconds firstDelay, Seconds interval,
                                                                 Seconds leeway,
                                                                 std::function<void()> handler) {
    auto t = std::make_shared<RealTimer>(weak_from_this(), interval, leeway, std::move(handler));
    t->arm(deadlineAfter(firstDelay));
    return t;
}

RealRuntime::RealRuntime()
    : main_(std::make_shared<Loop>("com.apple.main-thread")), state_(std::make_shared<State>()) {}

RealRuntime::~RealRuntime() {
    state_->finish(true);
}

void RealRuntime::finishReleasedQueues() {
    state_->finish(false);
}

Seconds RealRuntime::now() const {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - kReferenceDateOffset;
}

std::shared_ptr<Queue> RealRuntime::mainQueue() {
    return main_;
}

std::shared_ptr<Queue> RealRuntime::makeSerialQueue(std::string label, QoS) {
    return std::make_shared<SerialQueue>(std::move(label), state_);
}

std::shared_ptr<RunLoopThread> RealRuntime::startRunLoopThread(std::string name, QoS) {
    return std::make_shared<ThreadedLoop>(std::move(name));
}

std::shared_ptr<Semaphore> RealRuntime::makeSemaphore(long initial) {
    auto semaphore = std::make_shared<RealSemaphore>(initial, state_);
    std::lock_guard lock(state_->mutex);
    std::erase_if(state_->semaphores, [](const auto& weak) { return weak.expired(); });
    state_->semaphores.push_back(semaphore);
    return semaphore;
}

void RealRuntime::releasingWaits(const std::function<void()>& work) {
    ++state_->releasingWaits;
    std::vector<std::shared_ptr<RealSemaphore>> waiting;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& weak : state_->semaphores) {
            if (auto semaphore = weak.lock()) waiting.push_back(std::move(semaphore));
        }
    }
    for (const auto& semaphore : waiting) semaphore->wake();
    waiting.clear();
    struct Done {
        State& state;
        ~Done() { --state.releasingWaits; }
    } done{*state_};
    work();
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
