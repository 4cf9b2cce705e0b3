#include "dispatch/ManualRuntimeCarrier.h"

#include <sys/mman.h>
#include <unistd.h>

#include <new>
#include <utility>
#include <vector>

#if QV_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif
#if QV_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace qv {

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

void StackContext::prepare(char* stack, size_t size, void (*start)(void*), void* arg) {
    auto* top = reinterpret_cast<uintptr_t*>(reinterpret_cast<uintptr_t>(stack + size) & ~uintptr_t{15});
    uintptr_t* frame = top - 11;                    // as qvSwitchStack leaves a stack it switches away from
    frame[0] = 0x037F;                              // x87 control word, the default
    frame[1] = 0x1F80;                              // MXCSR, the default
    frame[2] = frame[3] = frame[4] = 0;             // r15, r14, r13
    frame[5] = reinterpret_cast<uintptr_t>(start);  // r12
    frame[6] = reinterpret_cast<uintptr_t>(arg);    // rbx
    frame[7] = 0;                                   // rbp
    frame[8] = reinterpret_cast<uintptr_t>(&qvStackStart);  // return address
    sp_ = frame;
}

void StackContext::switchTo(StackContext& from, StackContext& to) {
    qvSwitchStack(&from.sp_, to.sp_);
}
#else
void StackContext::prepare(char* stack, size_t size, void (*start)(void*), void* arg) {
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

void StackContext::switchTo(StackContext& from, StackContext& to) {
    ::swapcontext(&from.context_, &to.context_);
}

void StackContext::trampoline(unsigned high, unsigned low) {
    auto* self = reinterpret_cast<StackContext*>((uintptr_t{high} << 32) | uintptr_t{low});
    self->start_(self->arg_);
}
#endif

ManualRuntime::Carrier::Carrier(const ManualRuntime* owner) : owner_(owner) {
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

ManualRuntime::Carrier::~Carrier() {
#if QV_TSAN
    __tsan_destroy_fiber(tsanFiber_);
#endif
#if QV_ASAN
    ASAN_UNPOISON_MEMORY_REGION(stack_, kStackSize);  // the frames left on it must not poison its reuse
#endif
    ::munmap(mapped_, mappedSize_);
}

ManualRuntime::Carrier*& ManualRuntime::Carrier::current() {
    thread_local Carrier* carrier = nullptr;
    return carrier;
}

const ManualRuntime::QueueState*& ManualRuntime::Carrier::currentQueue() {
    thread_local const QueueState* queue = nullptr;
    return queue;
}

void ManualRuntime::Carrier::handOver() {
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

void ManualRuntime::Carrier::abandon(std::unique_ptr<Carrier> carrier) {
    static auto* abandoned = new std::vector<std::unique_ptr<Carrier>>;
#if QV_ASAN
    __lsan_register_root_region(carrier->stack_, kStackSize);
#endif
    abandoned->push_back(std::move(carrier));
}

void ManualRuntime::Carrier::entry(void* carrier) {
    auto* self = static_cast<Carrier*>(carrier);
#if QV_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &self->driverBottom_, &self->driverSize_);
#endif
    self->loop();
}

void ManualRuntime::Carrier::loop() {
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

void ManualRuntime::Carrier::toDriver() {
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

}  // namespace qv
