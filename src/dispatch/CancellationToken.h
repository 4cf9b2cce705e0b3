#pragma once

#include <atomic>
#include <memory>

namespace qv {

// Raised by whoever started some work once it no longer wants the result (a task's cancellation).
// The work looks at it where it may stop or must drop what it made; cancelling never interrupts a
// request already made. Any thread.
class CancellationToken {
  public:
    void cancel() { cancelled_.store(true, std::memory_order_release); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

  private:
    std::atomic<bool> cancelled_{false};
};
using CancellationTokenPtr = std::shared_ptr<CancellationToken>;

inline CancellationTokenPtr makeCancellationToken() {
    return std::make_shared<CancellationToken>();
}
// No token means nobody will cancel.
inline bool isCancelled(const CancellationTokenPtr& token) {
    return token && token->isCancelled();
}

}  // namespace qv
