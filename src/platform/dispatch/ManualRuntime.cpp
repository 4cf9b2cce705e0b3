#include "platform/dispatch/ManualRuntime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <limits>
#include <new>
#include <sstream>
#include <utility>

#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QV_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define QV_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QV_TSAN 1
#endif
#endif
#if QV_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif
#if QV_TSAN
#include <sanitizer/tsan_interface.h>
#endif

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

namespace {

// The queue whose block runs on the calling thread; none on the test's thread outside blocks.
const ManualRuntime::QueueState*& currentQueue() {
    thread_local const ManualRuntime::QueueState* queue = nullptr;
    return queue;
}

// Where a stack stopped, so that a thread can switch to it and back. On x86-64 a switch saves only
// what a called function must keep for its caller: swapcontext also saves the signal mask, a system
// call each way, which took a quarter of a run with many short waits.
#if defined(__x86_64__)
extern "C" void qvSwitchStack(void** save, void* to);
extern "C" void qvStackStart();
asm(R"(
    .text
    .globl qvSwitchStack
    .hidden qvSwitchStack
    .type qvSwitchStack, @function
qvSwitchStack:
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $16, %rsp
    stmxcsr 8(%rsp)
    fnstcw (%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    fldcw (%rsp)
    ldmxcsr 8(%rsp)
    addq $16, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .size qvSwitchStack, .-qvSwitchStack

    .globl qvStackStart
    .hidden qvStackStart
    .type qvStackStart, @function
qvStackStart:
    movq %rbx, %rdi
    callq *%r12
    ud2
    .size qvStackStart, .-qvStackStart
)");

class StackContext {
  public:
    // The first switch to the stack calls start(arg) on it; start never returns.
    void prepare(char* stack, size_t size, void (*start)(void*), void* arg) {
        auto* top = reinterpret_cast<uintptr_t*>(
            reinterpret_cast<uintptr_t>(stack + size) & ~uintptr_t{15});
        uintptr_t* frame = top - 11;  // as qvSwitchStack leaves a stack it switches away from
        frame[0] = 0x037F;            // x87 control word, the default
        frame[1] = 0x1F80;            // MXCSR, the default
        frame[2] = frame[3] = frame[4] = 0;                   // r15, r14, r13
        frame[5] = reinterpret_cast<uintptr_t>(start);        // r12
        frame[6] = reinterpret_cast<uintptr_t>(arg);          // rbx
        frame[7] = 0;                                         // rbp
        frame[8] = reinterpret_cast<uintptr_t>(&qvStackStart);  // return address
        sp_ = frame;
    }
    static void switchTo(StackContext& from, StackContext& to) { qvSwitchStack(&from.sp_, to.sp_); }

  private:
    void* sp_ = nullptr;
};
#else
class StackContext {
  public:
    void prepare(char* stack, size_t size, void (*start)(void*), void* arg) {
        ::getcontext(&context_);
        context_.uc_stack.ss_sp = stack;
        context_.uc_stack.ss_size = size;
        context_.uc_link = nullptr;
        start_ = start;
        arg_ = arg;
        const auto address = reinterpret_cast<uintptr_t>(this);
        ::makecontext(&context_, reinterpret_cast<void (*)()>(&StackContext::trampoline), 2,
                      static_cast<unsigned>(address >> 32), static_cast<unsigned>(address & 0xffffffffu));
    }
    static void switchTo(StackContext& from, StackContext& to) { ::swapcontext(&from.context_, &to.context_); }

  private:
    static void trampoline(unsigned high, unsigned low) {
        auto* self = reinterpret_cast<StackContext*>((uintptr_t{high} << 32) | uintptr_t{low});
        self->start_(self->arg_);
    }
    ucontext_t context_{};
    void (*start_)(void*) = nullptr;
    void* arg_ = nullptr;
};
#endif

}  // namespace

// A stack of the runtime's own on which one block at a time runs, parks and resumes. The thread
// that drives the runtime switches to it and back, so a block that waits keeps its place without a
// thread of its own and nothing waits for the operating system's scheduler. The thread-locals a
// block sees (its queue, its carrier, the wait it names) are the carrier's own while it runs.
class ManualRuntime::Carrier {
  public:
    explicit Carrier(const ManualRuntime* owner) : owner_(owner) {
        const long page = ::sysconf(_SC_PAGESIZE);
        mapped_ = ::mmap(nullptr, kStackSize + page, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped_ == MAP_FAILED) throw std::bad_alloc();
        ::mprotect(mapped_, page, PROT_NONE);  // an overflow faults instead of writing past it
        stack_ = static_cast<char*>(mapped_) + page;
        mappedSize_ = kStackSize + page;
        context_.prepare(stack_, kStackSize, &Carrier::entry, this);
        locals_.carrier = this;
#if QV_TSAN
        tsanFiber_ = __tsan_create_fiber(0);
#endif
    }
    ~Carrier() {
#if QV_TSAN
        __tsan_destroy_fiber(tsanFiber_);
#endif
#if QV_ASAN
        ASAN_UNPOISON_MEMORY_REGION(stack_, kStackSize);  // the frames left on it must not poison its reuse
#endif
        ::munmap(mapped_, mappedSize_);
    }
    Carrier(const Carrier&) = delete;
    Carrier& operator=(const Carrier&) = delete;

    // The carrier running the calling thread's block, when the calling thread is one.
    static Carrier*& current() {
        thread_local Carrier* carrier = nullptr;
        return carrier;
    }
    const ManualRuntime* owner() const { return owner_; }
    bool isParked() const { return parked_; }

    // --- The runtime's side ---
    void give(std::function<void()> job) { job_ = std::move(job); }
    // Runs the carrier until its block ends or parks; rethrows what the block threw.
    void handOver() {
        const Locals driver = Locals::take();
        locals_.install();
#if QV_TSAN
        driverTsan_ = __tsan_get_current_fiber();
        __tsan_switch_to_fiber(tsanFiber_, 0);
#endif
#if QV_ASAN
        void* fake = nullptr;
        __sanitizer_start_switch_fiber(&fake, stack_, kStackSize);
#endif
        StackContext::switchTo(driver_, context_);
#if QV_ASAN
        __sanitizer_finish_switch_fiber(fake, nullptr, nullptr);
#endif
        locals_ = Locals::take();
        driver.install();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }
    // A parked block that is never resumed keeps its stack, and what its frames refer to, for the
    // rest of the process.
    static void abandon(std::unique_ptr<Carrier> carrier) {
        static auto* abandoned = new std::vector<std::unique_ptr<Carrier>>;
#if QV_ASAN
        __lsan_register_root_region(carrier->stack_, kStackSize);
#endif
        abandoned->push_back(std::move(carrier));
    }

    // --- The block's side ---
    void parkHere() {
        parked_ = true;
        toDriver();
        parked_ = false;
    }

  private:
    static constexpr size_t kStackSize = size_t{1} << 21;

    // What a thread-local says for the code that runs: the driver's values are put back when the
    // carrier hands the turn back, and the carrier's own when it takes it again.
    struct Locals {
        const QueueState* queue = nullptr;
        Carrier* carrier = nullptr;
        WaitingFor::Scope waiting = nullptr;
        static Locals take() { return Locals{currentQueue(), current(), WaitingFor::innermost()}; }
        void install() const {
            currentQueue() = queue;
            current() = carrier;
            WaitingFor::innermost() = waiting;
        }
    };

    static void entry(void* carrier) {
        auto* self = static_cast<Carrier*>(carrier);
#if QV_ASAN
        __sanitizer_finish_switch_fiber(nullptr, &self->driverBottom_, &self->driverSize_);
#endif
        self->loop();
    }

    [[noreturn]] void loop() {
        for (;;) {
            {
                std::function<void()> job = std::move(job_);
                try {
                    job();
                } catch (...) {
                    error_ = std::current_exception();
                }
            }  // what the block captured goes here, before the turn does
            toDriver();
        }
    }

    void toDriver() {
#if QV_TSAN
        __tsan_switch_to_fiber(driverTsan_, 0);
#endif
#if QV_ASAN
        void* fake = nullptr;
        __sanitizer_start_switch_fiber(&fake, driverBottom_, driverSize_);
#endif
        StackContext::switchTo(context_, driver_);
#if QV_ASAN
        __sanitizer_finish_switch_fiber(fake, &driverBottom_, &driverSize_);
#endif
    }

    const ManualRuntime* owner_;
    void* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    char* stack_ = nullptr;
    StackContext context_;
    StackContext driver_;
    Locals locals_;
    bool parked_ = false;
    std::function<void()> job_;
    std::exception_ptr error_;
#if QV_TSAN
    void* tsanFiber_ = nullptr;
    void* driverTsan_ = nullptr;
#endif
#if QV_ASAN
    const void* driverBottom_ = nullptr;
    size_t driverSize_ = 0;
#endif
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
            return !ManualRuntime::Carrier::current() && (!currentQueue() || currentQueue() == state_.get());
        }
        return currentQueue() == state_.get();
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
    const bool resumeFirst = best != parked_.end() &&
                             (!entryDue || (*best)->readyAt() < it->deadline ||
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
        const QueueState* previous = currentQueue();
        Seconds start = rt.now();
        Seconds outerLongest = std::exchange(rt.blockLongestWait_, 0);
        std::string outerWaitingFor = std::exchange(rt.blockWaitingFor_, {});
        ~Unmark() {
            fn = nullptr;  // destroy captured state before unmarking
            std::lock_guard lock(rt.mutex_);
            currentQueue() = previous;
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
    currentQueue() = mainState_.get();
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
                    currentQueue() = nullptr;
                }
            } unmark{*this, entry};
            currentQueue() = entry.queue.get();
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
        waiter->queue = const_cast<QueueState*>(currentQueue());
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
