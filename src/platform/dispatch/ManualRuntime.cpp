#include "platform/dispatch/ManualRuntime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <sstream>

namespace qv {

struct ManualRuntime::QueueState {
    std::string label;
    bool isMain = false;
    bool stopped = false;  // run loops only: a stopped loop drops what is still queued
    // Blocks run at `instant` during drive `drive`.
    Seconds instant = -1;
    uint64_t drive = 0;
    uint64_t blocksAtInstant = 0;
};

namespace {

[[noreturn]] void deadlock(const char* what) {
    std::fprintf(stderr, "ManualRuntime: %s would block forever: nothing left to run\n", what);
    std::abort();
}

}  // namespace

class ManualQueue : public RunLoop {
  public:
    ManualQueue(ManualRuntime& rt, std::shared_ptr<ManualRuntime::QueueState> state)
        : rt_(rt), state_(std::move(state)) {}

    const std::string& label() const override { return state_->label; }
    void async(std::function<void()> block) override { rt_.post(state_, rt_.now(), std::move(block)); }
    void asyncAfter(Seconds delay, WorkItemPtr item) override {
        rt_.post(state_, rt_.now() + std::max(0.0, delay), [item] { item->perform(); });
    }
    std::shared_ptr<RepeatingTimer> scheduleTimer(Seconds firstDelay, Seconds interval, Seconds leeway,
                                                  std::function<void()> handler) override;
    bool isCurrent() const override {
        std::lock_guard lock(rt_.mutex_);
        if (state_->isMain && rt_.executing_.empty())
            return true;  // the test's own thread is the main thread
        return !rt_.executing_.empty() && rt_.executing_.back() == state_.get();
    }
    void stop() override {
        std::lock_guard lock(rt_.mutex_);
        state_->stopped = true;
    }
    bool isStopped() const override {
        std::lock_guard lock(rt_.mutex_);
        return state_->stopped;
    }

    const std::shared_ptr<ManualRuntime::QueueState>& state() const { return state_; }

  private:
    ManualRuntime& rt_;
    std::shared_ptr<ManualRuntime::QueueState> state_;
};

class ManualTimer : public RepeatingTimer, public std::enable_shared_from_this<ManualTimer> {
  public:
    ManualTimer(ManualRuntime& rt, std::shared_ptr<ManualRuntime::QueueState> q, Seconds interval,
                Seconds leeway, std::function<void()> handler)
        : RepeatingTimer(interval, leeway, std::move(handler)), rt_(rt), queue_(std::move(q)) {}

    void arm(Seconds deadline) {
        std::weak_ptr<ManualTimer> weak = shared_from_this();
        rt_.post(queue_, deadline, [weak, deadline] {
            auto self = weak.lock();
            if (!self || self->isCancelled()) return;
            if (self->interval() > 0) self->arm(deadline + self->interval());
            self->fire();
        });
    }

  private:
    ManualRuntime& rt_;
    std::shared_ptr<ManualRuntime::QueueState> queue_;
};

std::shared_ptr<RepeatingTimer> ManualQueue::scheduleTimer(Seconds firstDelay, Seconds interval,
                                                           Seconds leeway, std::function<void()> handler) {
    auto t = std::make_shared<ManualTimer>(rt_, state_, interval, leeway, std::move(handler));
    t->arm(rt_.now() + std::max(0.0, firstDelay));
    return t;
}

// Signals remember their time: a block that blocks inside a timed wait can carry the clock past
// the waiter's deadline, and a signal given after the deadline must not end that wait.
class ManualSemaphore : public Semaphore {
  public:
    ManualSemaphore(ManualRuntime& rt, long initial) : rt_(rt) {
        for (long i = 0; i < initial; ++i) signals_.push_back(rt_.now());
    }
    void signal() override { signals_.push_back(rt_.now()); }
    void wait() override {
        ManualRuntime::MainThreadWait busy(rt_);
        while (signals_.empty()) {
            if (!rt_.runOne(rt_.now())) deadlock("Semaphore::wait");
        }
        signals_.pop_front();
    }
    bool wait(Seconds timeout) override {
        ManualRuntime::MainThreadWait busy(rt_);
        Seconds deadline = rt_.now() + std::max(0.0, timeout);
        while (signals_.empty()) {
            if (!rt_.runOne(deadline)) {
                std::lock_guard lock(rt_.mutex_);
                if (rt_.now_ < deadline) rt_.now_ = deadline;
                return false;
            }
        }
        if (signals_.front() > deadline) return false;
        signals_.pop_front();
        return true;
    }

  private:
    ManualRuntime& rt_;
    std::deque<Seconds> signals_;
};

class ManualRunLoopThread : public RunLoopThread {
  public:
    ManualRunLoopThread(ManualRuntime& rt, std::string name, std::shared_ptr<ManualQueue> loop)
        : rt_(rt), name_(std::move(name)), loop_(std::move(loop)) {}
    const std::string& name() const override { return name_; }
    std::shared_ptr<RunLoop> runLoop() const override { return loop_; }
    bool isFinished() const override { return loop_->isStopped(); }
    void join() override {
        while (!loop_->isStopped()) {
            if (!rt_.runOne(rt_.now(), loop_->state().get())) deadlock("RunLoopThread::join");
        }
    }

  private:
    ManualRuntime& rt_;
    std::string name_;
    std::shared_ptr<ManualQueue> loop_;
};

ManualRuntime::ManualRuntime(Seconds startTime) : now_(startTime) {
    auto state = std::make_shared<QueueState>();
    state->label = "com.apple.main-thread";
    state->isMain = true;
    main_ = std::make_shared<ManualQueue>(*this, state);
}

ManualRuntime::~ManualRuntime() {
    // Pending blocks may own objects whose destructors post more work; drop them outside the lock.
    std::set<Entry> doomed;
    {
        std::lock_guard lock(mutex_);
        doomed.swap(entries_);
    }
}

Seconds ManualRuntime::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::shared_ptr<Queue> ManualRuntime::mainQueue() {
    return main_;
}

std::shared_ptr<Queue> ManualRuntime::makeSerialQueue(std::string label, QoS) {
    auto state = std::make_shared<QueueState>();
    state->label = std::move(label);
    return std::make_shared<ManualQueue>(*this, state);
}

std::shared_ptr<RunLoopThread> ManualRuntime::startRunLoopThread(std::string name, QoS) {
    auto state = std::make_shared<QueueState>();
    state->label = name;
    auto loop = std::make_shared<ManualQueue>(*this, state);
    return std::make_shared<ManualRunLoopThread>(*this, std::move(name), std::move(loop));
}

std::shared_ptr<Semaphore> ManualRuntime::makeSemaphore(long initial) {
    return std::make_shared<ManualSemaphore>(*this, initial);
}

void ManualRuntime::post(const std::shared_ptr<QueueState>& q, Seconds deadline, std::function<void()> fn) {
    std::lock_guard lock(mutex_);
    if (q->stopped) return;
    entries_.insert(Entry{deadline, seq_++, q, std::move(fn)});
}

ManualRuntime::MainThreadWait::MainThreadWait(ManualRuntime& rt) : rt_(rt) {
    std::lock_guard lock(rt_.mutex_);
    if (!rt_.executing_.empty()) return;
    // The test's own thread is the main thread: while it waits, so does the main queue.
    occupied_ = static_cast<ManualQueue&>(*rt_.main_).state().get();
    rt_.executing_.push_back(occupied_);
}

ManualRuntime::MainThreadWait::~MainThreadWait() {
    if (!occupied_) return;
    std::lock_guard lock(rt_.mutex_);
    rt_.executing_.pop_back();
}

bool ManualRuntime::isExecuting(const QueueState* q) const {
    for (const QueueState* e : executing_) {
        if (e == q) return true;
    }
    return false;
}

void ManualRuntime::beginDrive() {
    std::lock_guard lock(mutex_);
    if (executing_.empty()) ++drive_;
}

void ManualRuntime::countBlockAtInstant(QueueState& q) {
    if (q.instant != now_ || q.drive != drive_) {
        q.instant = now_;
        q.drive = drive_;
        q.blocksAtInstant = 0;
    }
    if (++q.blocksAtInstant <= kMaxBlocksAtOneInstant) return;
    q.blocksAtInstant = 0;
    std::ostringstream message;
    message << "the queue \"" << q.label << "\" ran " << kMaxBlocksAtOneInstant << " blocks at " << now_
            << " s and keeps adding work due now";
    throw NeverSettled(message.str(), q.label);
}

bool ManualRuntime::runOne(Seconds limit, const QueueState* onlyQueue) {
    Entry entry;
    std::vector<std::function<void()>> dropped;  // blocks of stopped run loops, released unrun
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.begin();
        while (it != entries_.end() && it->deadline <= limit) {
            if (it->queue->stopped) {
                dropped.push_back(std::move(const_cast<Entry&>(*it).fn));
                it = entries_.erase(it);
                continue;
            }
            if ((onlyQueue && it->queue.get() != onlyQueue) || isExecuting(it->queue.get())) {
                ++it;  // a serial queue never runs two blocks at once
                continue;
            }
            break;
        }
        if (it == entries_.end() || it->deadline > limit) return false;
        entry = std::move(const_cast<Entry&>(*it));
        entries_.erase(it);
        if (entry.deadline > now_) now_ = entry.deadline;
        countBlockAtInstant(*entry.queue);
        executing_.push_back(entry.queue.get());
    }
    // Unmarked also when the block throws, so that the runtime stays usable.
    struct Unmark {
        ManualRuntime& rt;
        std::function<void()>& fn;
        ~Unmark() {
            fn = nullptr;  // destroy captured state before unmarking
            std::lock_guard lock(rt.mutex_);
            rt.executing_.pop_back();
        }
    } unmark{*this, entry.fn};
    entry.fn();
    return true;
}

void ManualRuntime::advance(Seconds dt) {
    advanceTo(now() + std::max(0.0, dt));
}

void ManualRuntime::advanceTo(Seconds t) {
    beginDrive();
    // Steps that add up to a deadline reach it: 2.5 + 0.199 + 0.001 falls an ulp short of 2.5 + 0.2
    // in doubles, so a deadline a few ulps past t counts as due at t.
    auto within = [](Seconds limit) {
        return limit + 16 * std::numeric_limits<Seconds>::epsilon() * std::abs(limit);
    };
    // A blocking wait inside a block may carry the clock past t; what that made due runs too.
    while (runOne(within(std::max(t, now())))) {
    }
    std::lock_guard lock(mutex_);
    if (now_ < t) now_ = t;
}

void ManualRuntime::runUntilIdle() {
    beginDrive();
    while (runOne(now())) {
    }
}

size_t ManualRuntime::pendingCount() const {
    std::lock_guard lock(mutex_);
    size_t n = 0;
    for (const Entry& e : entries_) n += e.queue->stopped ? 0 : 1;
    return n;
}

std::optional<Seconds> ManualRuntime::nextDeadline() const {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
        if (!e.queue->stopped) return e.deadline;
    }
    return std::nullopt;
}

}  // namespace qv
