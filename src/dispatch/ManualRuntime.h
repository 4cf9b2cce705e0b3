#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"

namespace qv {

// Work due now kept adding work due now on one queue, so the clock could never move on: thrown by
// ManualRuntime instead of looping for ever with growing memory.
struct NeverSettled : std::runtime_error {
    NeverSettled(const std::string& message, std::string queue)
        : std::runtime_error(message), queue(std::move(queue)) {}
    std::string queue;  // the label of the queue that kept running
};

// The runtime of tests: a virtual clock, and every queue and run-loop thread a logical one. Nothing
// runs by itself: work runs, one block at a time and in virtual-time order, when the test advances
// time. The main queue's blocks run on the test's own thread, which is the main thread; every other
// queue's blocks run on stacks of the runtime's own (carriers), which that thread switches to one at a
// time, so that a block that blocks waits by itself.
//
// Blocking: a block of another queue that waits on a semaphore is parked; the main queue, the other
// queues and the test's own steps go on at their own times, and the block resumes when it is
// signalled or when the clock reaches its time-out. The main thread that waits (a main-queue block,
// or the test's own code) runs the other queues' work meanwhile and moves the clock up to its
// time-out, or, waiting without one, up to the next parked block's time; with nothing left that
// could wake it, it aborts. Joining a run-loop thread waits the same way until its loop stops.
// Every stretch during which the main thread waited is measured (takeLongestMainHold).
//
// One queue running more than kMaxBlocksAtOneInstant blocks at one instant, within one call that
// runs due work, throws NeverSettled: no test waits on work that never ends.
class ManualRuntime : public Runtime {
  public:
    static constexpr uint64_t kMaxBlocksAtOneInstant = 100'000;

    explicit ManualRuntime(Seconds startTime = 0.0);
    ~ManualRuntime() override;

    Seconds now() const override;
    std::shared_ptr<Queue> mainQueue() override;
    std::shared_ptr<Queue> makeSerialQueue(std::string label, QoS qos = QoS::standard) override;
    std::shared_ptr<RunLoopThread> startRunLoopThread(std::string name, QoS qos = QoS::standard) override;
    std::shared_ptr<Semaphore> makeSemaphore(long initial) override;

    // Runs, in time order, everything due up to now + dt; the clock ends at now + dt.
    void advance(Seconds dt);
    void advanceTo(Seconds t);
    // Runs everything due now, including work that work posts for now; the clock stays.
    void runUntilIdle();
    // Number of blocks and timer fires waiting to run (cancelled work items included until due), and
    // of parked blocks.
    size_t pendingCount() const;
    // The earliest time at which queued work is due or a parked block resumes.
    std::optional<Seconds> nextDeadline() const;
    // Blocks parked in a wait.
    size_t parkedCount() const;

    // One stretch of virtual time during which the main thread was held waiting: a main-queue block
    // from its start to its end, or the waits of the test's own code between two calls that run work.
    struct MainHold {
        Seconds start = 0;
        Seconds duration = 0;
        std::string waitingFor;  // what its longest wait waited for
    };
    // The longest stretch since the runtime started or since the last call; counting starts afresh.
    MainHold takeLongestMainHold();

    // Ends every parked wait at once, as if timed out, and lets the blocks run to their end; waits
    // begun meanwhile end at once too. The simulated platform calls it before it goes, so that no
    // parked block resumes into a platform that is gone.
    void releaseParkedWork();

    struct QueueState;  // internal
    struct Waiter;      // internal
    class Carrier;      // internal

  private:
    struct Entry {
        Seconds deadline;
        uint64_t seq;
        std::shared_ptr<QueueState> queue;
        std::function<void()> fn;
        bool operator<(const Entry& o) const {
            return deadline < o.deadline || (deadline == o.deadline && seq < o.seq);
        }
    };

    friend class ManualQueue;
    friend class ManualTimer;
    friend class ManualSemaphore;
    friend class ManualRunLoopThread;

    // What runs next: a parked block to resume, or a block of the main queue or of another.
    struct Next {
        enum Kind { none, resume, mainBlock, otherBlock } kind = none;
        std::vector<std::shared_ptr<Waiter>>::iterator waiter;
        std::set<Entry>::iterator entry;
    };
    // Whether a carrier that ends its block runs the next ones too: not while the main thread waits
    // (it asks whether it is done after every block); up to now, or up to a time, while it drives.
    enum class Chain { off, idle, until };
    struct ChainScope;

    void post(const std::shared_ptr<QueueState>& q, Seconds deadline, std::function<void()> fn);
    // With mutex_ held: the earliest work due by `limit` whose queue is free. Blocks of stopped run
    // loops met on the way are moved to `dropped`, to be released outside the lock.
    Next chooseNext(Seconds limit, std::vector<std::function<void()>>& dropped);
    // With mutex_ held: takes the entry out, moves the clock to it and marks its queue busy.
    Entry takeEntry(std::set<Entry>::iterator it);
    // Runs or resumes the earliest work due by `limit` whose queue is free; false when there is none.
    bool runOne(Seconds limit);
    void runOnCarrier(Entry entry);
    // On a carrier: runs the block, then the blocks of other queues that come next, while chain_ allows.
    void runChain(Entry entry);
    void resume(const std::shared_ptr<Waiter>& waiter);
    // Hands the turn to the carrier and takes it back once the carrier parks or ends its block.
    void handTo(Carrier& carrier);
    // Counts a block of `q` about to run now; throws NeverSettled past the bound. With mutex_ held.
    void countBlockAtInstant(QueueState& q);
    // The start of an outermost call that runs due work: the counts begin again, and the test's own
    // waits since the last such call form one stretch.
    void beginDrive();

    // --- Waiting ---
    bool onCarrier() const;
    // Parks the calling carrier until the waiter is woken; returns whether it was signalled.
    bool park(const std::shared_ptr<Waiter>& waiter);
    // The main thread waits until `done` holds or `deadline` passes; false on time-out.
    bool waitOnMainThread(const std::function<bool()>& done, Seconds deadline, const char* what);
    // The earliest time a parked block could resume by itself (signalled or timed); none: never.
    std::optional<Seconds> earliestParkedTime() const;
    void noteMainHold(Seconds start, Seconds duration, const std::string& waitingFor);

    mutable std::recursive_mutex mutex_;
    Seconds now_;
    uint64_t seq_ = 0;
    std::set<Entry> entries_;
    std::vector<std::shared_ptr<Waiter>> parked_;
    std::vector<std::unique_ptr<Carrier>> carriers_;
    std::vector<Carrier*> idle_;
    std::shared_ptr<Queue> main_;
    std::shared_ptr<QueueState> mainState_;
    uint64_t drive_ = 0;  // counts the outermost calls that run due work
    int depth_ = 0;       // main-queue blocks running on the test's thread
    bool releasing_ = false;
    Chain chain_ = Chain::off;
    Seconds chainTarget_ = 0;

    MainHold longest_;
    // The test's own waits outside any block, since the last call that ran work.
    MainHold outside_;
    Seconds outsideLongestWait_ = 0;
    // The main-queue block running now: its longest wait.
    Seconds blockLongestWait_ = 0;
    std::string blockWaitingFor_;
};

}  // namespace qv
