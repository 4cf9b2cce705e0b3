#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/dispatch/Runtime.h"

namespace qv {

// Work due now kept adding work due now on one queue, so the clock could never move on: thrown by
// ManualRuntime instead of looping for ever with growing memory.
struct NeverSettled : std::runtime_error {
    NeverSettled(const std::string& message, std::string queue)
        : std::runtime_error(message), queue(std::move(queue)) {}
    std::string queue;  // the label of the queue that kept running
};

// The runtime of tests: a virtual clock, and every queue and run-loop thread a logical one that
// runs on the caller's thread when the test advances time. Nothing runs by itself.
//
// Blocking hand-overs complete synchronously: waiting on a semaphore runs the other queues' due
// work (and moves the clock up to a timed wait's deadline), never the waiting queue's own, nor the
// main queue's while the test's thread waits; joining a run-loop thread runs that loop until it
// stops.
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
    // Number of blocks and timer fires waiting to run (cancelled work items included until due).
    size_t pendingCount() const;
    std::optional<Seconds> nextDeadline() const;

    struct QueueState;  // internal

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

    // Marks the main queue busy while the test's own thread, which is the main thread, blocks.
    class MainThreadWait {
      public:
        explicit MainThreadWait(ManualRuntime& rt);
        ~MainThreadWait();
        MainThreadWait(const MainThreadWait&) = delete;
        MainThreadWait& operator=(const MainThreadWait&) = delete;

      private:
        ManualRuntime& rt_;
        const QueueState* occupied_ = nullptr;
    };

    void post(const std::shared_ptr<QueueState>& q, Seconds deadline, std::function<void()> fn);
    // Runs the earliest entry due by `limit` whose queue is free; false when there is none.
    bool runOne(Seconds limit, const QueueState* onlyQueue = nullptr);
    bool isExecuting(const QueueState* q) const;
    // Counts a block of `q` about to run now; throws NeverSettled past the bound. With mutex_ held.
    void countBlockAtInstant(QueueState& q);
    // The start of an outermost call that runs due work: the counts begin again.
    void beginDrive();

    mutable std::recursive_mutex mutex_;
    Seconds now_;
    uint64_t seq_ = 0;
    std::set<Entry> entries_;
    std::vector<const QueueState*> executing_;
    std::shared_ptr<Queue> main_;
    uint64_t drive_ = 0;  // counts the outermost calls that run due work
};

}  // namespace qv
