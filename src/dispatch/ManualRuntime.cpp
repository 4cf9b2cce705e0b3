#include "dispatch/ManualRuntime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <limits>
#include <sstream>
#include <utility>

#include "dispatch/ManualRuntimeCarrier.h"

namespace qv {

namespace {

constexpr Seconds kNever = std::numeric_limits<Seconds>::infinity();

[[noreturn]] void deadlock(const char* what) {
    std::fprintf(stderr, "ManualRuntime: %s would block forever: nothing left to run\n", what);
    std::abort();
}

// Steps that add up to a deadline reach it: 2.5 + 0.199 + 0.001 falls an ulp short of 2.5 + 0.2
// in doubles, so a deadline a few ulps past t counts as due at t.
Seconds within(Seconds limit) {
    return limit + 16 * std::numeric_limits<Seconds>::epsilon() * std::abs(limit);
}

}  // namespace

struct ManualRuntime::QueueState {
    std::string label;
    bool isMain = false;
    bool stopped = false;  // run loops only: a stopped loop drops what is still queued
    bool busy = false;     // one of its blocks is running or parked
    // Blocks run at `instant` during drive `drive`.
    Seconds instant = -1;
    uint64_t drive = 0;
    uint64_t blocksAtInstant = 0;
    std::vector<std::shared_ptr<Waiter>> joiners;  // carriers waiting for the loop to stop
};

// A parked block: the carrier it runs on, what it waits for and until when.
struct ManualRuntime::Waiter {
    Carrier* carrier = nullptr;
    QueueState* queue = nullptr;
    Seconds deadline = kNever;
    uint64_t seq = 0;
    bool woken = false;  // signalled (or its loop stopped) at `wokenAt`
    Seconds wokenAt = 0;
    std::function<void()> forget;  // drops it from what it waits on

    Seconds readyAt() const { return woken ? wokenAt : deadline; }
};

// How far a carrier that ends its block may go on running other blocks, for as long as it lives;
// what was set before comes back after.
struct ManualRuntime::ChainScope {
    ChainScope(ManualRuntime& rt, Chain chain, Seconds target) : rt(rt) {
        std::lock_guard lock(rt.mutex_);
        previous = rt.chain_;
        previousTarget = rt.chainTarget_;
        rt.chain_ = chain;
        rt.chainTarget_ = target;
    }
    ~ChainScope() {
        std::lock_guard lock(rt.mutex_);
        rt.chain_ = previous;
        rt.chainTarget_ = previousTarget;
    }
    ChainScope(const ChainScope&) = delete;
    ChainScope& operator=(const ChainScope&) = delete;
    ManualRuntime& rt;
    Chain previous;
    Seconds previousTarget;
};

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
        if (state_->isMain) {
            // The test's own thread is the main thread.
            return !ManualRuntime::Carrier::current() &&
                   (!ManualRuntime::Carrier::currentQueue() ||
                    ManualRuntime::Carrier::currentQueue() == state_.get());
        }
        return ManualRuntime::Carrier::currentQueue() == state_.get();
    }
    void stop() override {
        std::lock_guard lock(rt_.mutex_);
        state_->stopped = true;
        for (const auto& joiner : std::exchange(state_->joiners, {})) {
            joiner->woken = true;
            joiner->wokenAt = rt_.now_;
            joiner->seq = rt_.seq_++;
        }
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

// Signals remember their time: the main thread's timed wait runs other work, which can carry the
// clock past its deadline; a signal given after the deadline must not end that wait.
class ManualSemaphore : public Semaphore, public std::enable_shared_from_this<ManualSemaphore> {
  public:
    ManualSemaphore(ManualRuntime& rt, long initial) : rt_(rt) {
        for (long i = 0; i < initial; ++i) signals_.push_back(rt_.now());
    }
    void signal() override {
        std::lock_guard lock(rt_.mutex_);
        if (waiters_.empty()) {
            signals_.push_back(rt_.now_);
            return;
        }
        auto waiter = waiters_.front();
        waiters_.pop_front();
        waiter->woken = true;
        waiter->wokenAt = rt_.now_;
        waiter->seq = rt_.seq_++;
    }
    void wait() override { (void)waitUntil(kNever); }
    bool wait(Seconds timeout) override { return waitUntil(rt_.now() + std::max(0.0, timeout)); }

  private:
    bool waitUntil(Seconds deadline) {
        if (rt_.onCarrier()) return waitOnCarrier(deadline);
        const bool signalled = rt_.waitOnMainThread([this] { return hasSignal(); }, deadline, "a semaphore");
        std::lock_guard lock(rt_.mutex_);
        if (!signalled || signals_.front() > deadline) return false;
        signals_.pop_front();
        return true;
    }

    bool waitOnCarrier(Seconds deadline) {
        std::shared_ptr<ManualRuntime::Waiter> waiter;
        {
            std::lock_guard lock(rt_.mutex_);
            if (!signals_.empty()) {
                signals_.pop_front();
                return true;
            }
            if (rt_.releasing_) return false;
            waiter = std::make_shared<ManualRuntime::Waiter>();
            waiter->deadline = deadline;
            waiters_.push_back(waiter);
            std::weak_ptr<ManualSemaphore> weak = shared_from_this();
            waiter->forget = [weak, raw = waiter.get()] {
                if (auto self = weak.lock()) {
                    std::erase_if(self->waiters_, [raw](const auto& w) { return w.get() == raw; });
                }
            };
        }
        return rt_.park(waiter);
    }

    bool hasSignal() const {
        std::lock_guard lock(rt_.mutex_);
        return !signals_.empty();
    }

    ManualRuntime& rt_;
    std::deque<Seconds> signals_;
    std::deque<std::shared_ptr<ManualRuntime::Waiter>> waiters_;
};

class ManualRunLoopThread : public RunLoopThread {
  public:
    ManualRunLoopThread(ManualRuntime& rt, std::string name, std::shared_ptr<ManualQueue> loop)
        : rt_(rt), name_(std::move(name)), loop_(std::move(loop)) {}
    const std::string& name() const override { return name_; }
    std::shared_ptr<RunLoop> runLoop() const override { return loop_; }
    bool isFinished() const override { return loop_->isStopped(); }
    void join() override {
        if (!rt_.onCarrier()) {
            rt_.waitOnMainThread([this] { return loop_->isStopped(); }, kNever, "RunLoopThread::join");
            return;
        }
        while (!loop_->isStopped()) {
            std::shared_ptr<ManualRuntime::Waiter> waiter;
            {
                std::lock_guard lock(rt_.mutex_);
                if (rt_.releasing_) return;
                waiter = std::make_shared<ManualRuntime::Waiter>();
                loop_->state()->joiners.push_back(waiter);
                std::weak_ptr<ManualRuntime::QueueState> weak = loop_->state();
                waiter->forget = [weak, raw = waiter.get()] {
                    if (auto state = weak.lock())
                        std::erase_if(state->joiners, [raw](const auto& w) { return w.get() == raw; });
                };
            }
            rt_.park(waiter);
        }
    }

  private:
    ManualRuntime& rt_;
    std::string name_;
    std::shared_ptr<ManualQueue> loop_;
};

ManualRuntime::ManualRuntime(Seconds startTime) : now_(startTime) {
    mainState_ = std::make_shared<QueueState>();
    mainState_->label = "com.apple.main-thread";
    mainState_->isMain = true;
    main_ = std::make_shared<ManualQueue>(*this, mainState_);
}

ManualRuntime::~ManualRuntime() {
    // Pending blocks may own objects whose destructors post more work; drop them outside the lock.
    std::set<Entry> doomed;
    std::vector<std::unique_ptr<Carrier>> carriers;
    {
        std::lock_guard lock(mutex_);
        doomed.swap(entries_);
        carriers.swap(carriers_);
        parked_.clear();
    }
    doomed.clear();
    // A block still parked would resume into objects that are gone: it stays parked.
    for (auto& carrier : carriers) {
        if (carrier->isParked()) Carrier::abandon(std::move(carrier));
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

void ManualRuntime::beginDrive() {
    std::lock_guard lock(mutex_);
    if (depth_ > 0 || onCarrier()) return;
    ++drive_;
    if (outside_.duration > 0) noteMainHold(outside_.start, outside_.duration, outside_.waitingFor);
    outside_ = MainHold{};
    outsideLongestWait_ = 0;
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

ManualRuntime::Next ManualRuntime::chooseNext(Seconds limit, std::vector<std::function<void()>>& dropped) {
    Next next;
    auto it = entries_.begin();
    while (it != entries_.end() && it->deadline <= limit) {
        if (it->queue->stopped) {
            dropped.push_back(std::move(const_cast<Entry&>(*it).fn));
            it = entries_.erase(it);
            continue;
        }
        if (it->queue->busy) {
            ++it;  // a serial queue never runs two blocks at once
            continue;
        }
        break;
    }
    const bool entryDue = it != entries_.end() && it->deadline <= limit;
    auto best = parked_.end();
    for (auto w = parked_.begin(); w != parked_.end(); ++w) {
        const Seconds t = (*w)->readyAt();
        if (t > limit) continue;
        if (best == parked_.end() || t < (*best)->readyAt() ||
            (t == (*best)->readyAt() && (*w)->seq < (*best)->seq))
            best = w;
    }
    const bool resumeFirst =
        best != parked_.end() && (!entryDue || (*best)->readyAt() < it->deadline ||
                                  ((*best)->readyAt() == it->deadline && (*best)->seq < it->seq));
    if (resumeFirst) {
        next.kind = Next::resume;
        next.waiter = best;
    } else if (entryDue) {
        next.kind = it->queue->isMain ? Next::mainBlock : Next::otherBlock;
        next.entry = it;
    }
    return next;
}

ManualRuntime::Entry ManualRuntime::takeEntry(std::set<Entry>::iterator it) {
    Entry entry = std::move(const_cast<Entry&>(*it));
    entries_.erase(it);
    if (entry.deadline > now_) now_ = entry.deadline;
    countBlockAtInstant(*entry.queue);
    entry.queue->busy = true;
    return entry;
}

bool ManualRuntime::runOne(Seconds limit) {
    Entry entry;
    std::shared_ptr<Waiter> waiter;
    std::vector<std::function<void()>> dropped;  // blocks of stopped run loops, released unrun
    {
        std::lock_guard lock(mutex_);
        const Next next = chooseNext(limit, dropped);
        if (next.kind == Next::resume) {
            waiter = *next.waiter;
            parked_.erase(next.waiter);
            if (!waiter->woken && waiter->forget) waiter->forget();
            if (waiter->readyAt() > now_) now_ = waiter->readyAt();
            countBlockAtInstant(*waiter->queue);
        } else if (next.kind != Next::none) {
            entry = takeEntry(next.entry);
        } else {
            return false;
        }
    }
    dropped.clear();
    if (waiter) {
        resume(waiter);
        return true;
    }
    if (!entry.queue->isMain) {
        runOnCarrier(std::move(entry));
        return true;
    }
    // A main-queue block runs here, on the test's thread; the virtual time it took is how long it
    // held the main thread.
    struct Unmark {
        ManualRuntime& rt;
        std::function<void()>& fn;
        const QueueState* previous = Carrier::currentQueue();
        Seconds start = rt.now();
        Seconds outerLongest = std::exchange(rt.blockLongestWait_, 0);
        std::string outerWaitingFor = std::exchange(rt.blockWaitingFor_, {});
        ~Unmark() {
            fn = nullptr;  // destroy captured state before unmarking
            std::lock_guard lock(rt.mutex_);
            Carrier::currentQueue() = previous;
            rt.mainState_->busy = false;
            --rt.depth_;
            if (rt.now_ > start) rt.noteMainHold(start, rt.now_ - start, rt.blockWaitingFor_);
            rt.blockLongestWait_ = outerLongest;
            rt.blockWaitingFor_ = std::move(outerWaitingFor);
        }
    };
    {
        std::lock_guard lock(mutex_);
        ++depth_;
    }
    Unmark unmark{*this, entry.fn};
    Carrier::currentQueue() = mainState_.get();
    entry.fn();
    return true;
}

void ManualRuntime::runOnCarrier(Entry entry) {
    Carrier* carrier = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            carrier = idle_.back();
            idle_.pop_back();
        } else {
            carriers_.push_back(std::make_unique<Carrier>(this));
            carrier = carriers_.back().get();
        }
    }
    carrier->give([this, entry = std::move(entry)]() mutable { runChain(std::move(entry)); });
    handTo(*carrier);
}

void ManualRuntime::runChain(Entry entry) {
    for (;;) {
        {
            struct Unmark {
                ManualRuntime& rt;
                Entry& entry;
                ~Unmark() {
                    entry.fn = nullptr;
                    std::lock_guard lock(rt.mutex_);
                    entry.queue->busy = false;
                    Carrier::currentQueue() = nullptr;
                }
            } unmark{*this, entry};
            Carrier::currentQueue() = entry.queue.get();
            entry.fn();
        }
        // The next block in order, when it belongs to another queue than the main one and the
        // driver runs due work without waiting on anything, runs here too: handing the turn back
        // and out again would only cost two thread switches. Anything else is left to the driver,
        // which picks the same thing next.
        std::vector<std::function<void()>> dropped;
        {
            std::lock_guard lock(mutex_);
            if (chain_ == Chain::off) return;
            const Seconds limit = chain_ == Chain::idle ? now_ : within(std::max(chainTarget_, now_));
            const Next next = chooseNext(limit, dropped);
            if (next.kind != Next::otherBlock) {
                dropped.clear();
                return;
            }
            entry = takeEntry(next.entry);
        }
        dropped.clear();
    }
}

void ManualRuntime::resume(const std::shared_ptr<Waiter>& waiter) {
    handTo(*waiter->carrier);
}

void ManualRuntime::handTo(Carrier& carrier) {
    struct Back {
        ManualRuntime& rt;
        Carrier& carrier;
        ~Back() {
            if (carrier.isParked()) return;
            std::lock_guard lock(rt.mutex_);
            rt.idle_.push_back(&carrier);
        }
    } back{*this, carrier};
    carrier.handOver();
}

bool ManualRuntime::onCarrier() const {
    Carrier* carrier = Carrier::current();
    return carrier && carrier->owner() == this;
}

bool ManualRuntime::park(const std::shared_ptr<Waiter>& waiter) {
    {
        std::lock_guard lock(mutex_);
        if (releasing_) {
            if (waiter->forget) waiter->forget();
            return false;
        }
        waiter->carrier = Carrier::current();
        waiter->queue = const_cast<QueueState*>(Carrier::currentQueue());
        waiter->seq = seq_++;
        parked_.push_back(waiter);
    }
    waiter->carrier->parkHere();
    std::lock_guard lock(mutex_);
    return waiter->woken;
}

std::optional<Seconds> ManualRuntime::earliestParkedTime() const {
    std::optional<Seconds> earliest;
    for (const auto& w : parked_) {
        const Seconds t = w->readyAt();
        if (t < kNever && (!earliest || t < *earliest)) earliest = t;
    }
    return earliest;
}

bool ManualRuntime::waitOnMainThread(const std::function<bool()>& done, Seconds deadline, const char* what) {
    Seconds start = 0;
    bool marked = false;
    {
        std::lock_guard lock(mutex_);
        start = now_;
        // While the main thread waits, so does the main queue.
        marked = !mainState_->busy;
        mainState_->busy = true;
    }
    const std::string waitingFor = WaitingFor::current() ? *WaitingFor::current() : what;
    struct Unmark {
        ManualRuntime& rt;
        bool marked;
        Seconds start;
        const std::string& waitingFor;
        ~Unmark() {
            std::lock_guard lock(rt.mutex_);
            if (marked) rt.mainState_->busy = false;
            const Seconds waited = rt.now_ - start;
            if (waited <= 0) return;
            if (rt.depth_ > 0) {
                if (waited > rt.blockLongestWait_) {
                    rt.blockLongestWait_ = waited;
                    rt.blockWaitingFor_ = waitingFor;
                }
                return;
            }
            // The test's own code waited: its waits up to the next call that runs work form one stretch.
            if (rt.outside_.duration == 0) rt.outside_.start = start;
            rt.outside_.duration += waited;
            if (waited > rt.outsideLongestWait_) {
                rt.outsideLongestWait_ = waited;
                rt.outside_.waitingFor = waitingFor;
            }
        }
    } unmark{*this, marked, start, waitingFor};
    // Whether it is done is asked after every block, so no carrier runs on past one.
    const ChainScope noChain(*this, Chain::off, 0);

    while (!done()) {
        Seconds limit = deadline;
        if (deadline == kNever) {
            // Without a time-out only a parked block can still wake it: wait up to the first of them.
            std::lock_guard lock(mutex_);
            limit = std::max(now_, earliestParkedTime().value_or(now_));
        }
        if (runOne(limit)) continue;
        if (deadline == kNever) deadlock(what);
        std::lock_guard lock(mutex_);
        if (now_ < deadline) now_ = deadline;
        return false;
    }
    return true;
}

void ManualRuntime::noteMainHold(Seconds start, Seconds duration, const std::string& waitingFor) {
    if (duration > longest_.duration) longest_ = MainHold{start, duration, waitingFor};
}

ManualRuntime::MainHold ManualRuntime::takeLongestMainHold() {
    std::lock_guard lock(mutex_);
    if (outside_.duration > 0) noteMainHold(outside_.start, outside_.duration, outside_.waitingFor);
    outside_ = MainHold{};
    outsideLongestWait_ = 0;
    return std::exchange(longest_, MainHold{});
}

void ManualRuntime::releaseParkedWork() {
    if (onCarrier()) return;
    const ChainScope noChain(*this, Chain::off, 0);  // released blocks end; nothing else runs
    {
        std::lock_guard lock(mutex_);
        releasing_ = true;
    }
    for (;;) {
        std::shared_ptr<Waiter> waiter;
        {
            std::lock_guard lock(mutex_);
            if (parked_.empty()) break;
            waiter = parked_.front();
            parked_.erase(parked_.begin());
            if (!waiter->woken && waiter->forget) waiter->forget();
        }
        try {
            resume(waiter);
        } catch (...) {
            // What a released block throws has nowhere to go: the platform it waited on is going.
        }
    }
    std::lock_guard lock(mutex_);
    releasing_ = false;
}

void ManualRuntime::advance(Seconds dt) {
    advanceTo(now() + std::max(0.0, dt));
}

void ManualRuntime::advanceTo(Seconds t) {
    beginDrive();
    const ChainScope chain(*this, Chain::until, t);
    // A main thread's wait inside a block may carry the clock past t; what that made due runs too.
    while (runOne(within(std::max(t, now())))) {
    }
    std::lock_guard lock(mutex_);
    if (now_ < t) now_ = t;
}

void ManualRuntime::runUntilIdle() {
    beginDrive();
    const ChainScope chain(*this, Chain::idle, 0);
    while (runOne(now())) {
    }
}

size_t ManualRuntime::pendingCount() const {
    std::lock_guard lock(mutex_);
    size_t n = parked_.size();
    for (const Entry& e : entries_) n += e.queue->stopped ? 0 : 1;
    return n;
}

size_t ManualRuntime::parkedCount() const {
    std::lock_guard lock(mutex_);
    return parked_.size();
}

std::optional<Seconds> ManualRuntime::nextDeadline() const {
    std::lock_guard lock(mutex_);
    std::optional<Seconds> next = earliestParkedTime();
    for (const Entry& e : entries_) {
        if (e.queue->stopped) continue;
        if (!next || e.deadline < *next) next = e.deadline;
        break;
    }
    return next;
}

}  // namespace qv
