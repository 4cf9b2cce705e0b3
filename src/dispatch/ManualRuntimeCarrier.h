#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>

#include "dispatch/ManualRuntime.h"
#include "dispatch/Runtime.h"

#if !defined(__x86_64__)
#include <ucontext.h>
#endif

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

namespace qv {

// Where a stack stopped, so that a thread can switch to it and back. On x86-64 a switch saves only
// what a called function must keep for its caller: swapcontext also saves the signal mask, a system
// call each way, which took a quarter of a run with many short waits.
class StackContext {
  public:
    // The first switch to the stack calls start(arg) on it; start never returns.
    void prepare(char* stack, size_t size, void (*start)(void*), void* arg);
    static void switchTo(StackContext& from, StackContext& to);

  private:
#if defined(__x86_64__)
    void* sp_ = nullptr;
#else
    static void trampoline(unsigned high, unsigned low);
    ucontext_t context_{};
    void (*start_)(void*) = nullptr;
    void* arg_ = nullptr;
#endif
};

// A stack of the runtime's own on which one block at a time runs, parks and resumes. The thread
// that drives the runtime switches to it and back, so a block that waits keeps its place without a
// thread of its own and nothing waits for the operating system's scheduler. The thread-locals a
// block sees (its queue, its carrier, the wait it names) are the carrier's own while it runs.
class ManualRuntime::Carrier {
  public:
    explicit Carrier(const ManualRuntime* owner);
    ~Carrier();
    Carrier(const Carrier&) = delete;
    Carrier& operator=(const Carrier&) = delete;

    // The carrier running the calling thread's block, when the calling thread is one.
    static Carrier*& current();
    // The queue whose block runs on the calling thread; none on the test's thread outside blocks.
    static const QueueState*& currentQueue();
    const ManualRuntime* owner() const { return owner_; }
    bool isParked() const { return parked_; }

    // --- The runtime's side ---
    void give(std::function<void()> job) { job_ = std::move(job); }
    // Runs the carrier until its block ends or parks; rethrows what the block threw.
    void handOver();
    // A parked block that is never resumed keeps its stack, and what its frames refer to, for the
    // rest of the process.
    static void abandon(std::unique_ptr<Carrier> carrier);

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

    static void entry(void* carrier);
    [[noreturn]] void loop();
    void toDriver();

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

}  // namespace qv
