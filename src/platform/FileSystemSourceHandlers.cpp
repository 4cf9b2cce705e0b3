#include "platform/FileSystemSourceHandlers.h"

#include <mutex>
#include <utility>

namespace qv {

struct FileSystemSourceHandlers::State {
    mutable std::mutex mutex;
    std::function<void(uint32_t)> handler;
    std::function<void()> cancelHandler;
    bool cancelled = false;
};

FileSystemSourceHandlers::FileSystemSourceHandlers(std::shared_ptr<Queue> queue)
    : queue_(std::move(queue)), state_(std::make_shared<State>()) {}

void FileSystemSourceHandlers::setEventHandler(std::function<void(uint32_t)> handler) {
    std::lock_guard lock(state_->mutex);
    state_->handler = std::move(handler);
}

void FileSystemSourceHandlers::setCancelHandler(std::function<void()> handler) {
    std::lock_guard lock(state_->mutex);
    state_->cancelHandler = std::move(handler);
}

bool FileSystemSourceHandlers::isCancelled() const {
    std::lock_guard lock(state_->mutex);
    return state_->cancelled;
}

void FileSystemSourceHandlers::deliver(uint32_t events) {
    if (isCancelled()) return;
    queue_->async([state = state_, events] {
        std::function<void(uint32_t)> handler;
        {
            std::lock_guard lock(state->mutex);
            if (state->cancelled) return;
            handler = state->handler;
        }
        if (handler) handler(events);
    });
}

bool FileSystemSourceHandlers::cancel() {
    {
        std::lock_guard lock(state_->mutex);
        if (std::exchange(state_->cancelled, true)) return false;
    }
    queue_->async([state = state_] {
        std::function<void()> handler;
        {
            std::lock_guard lock(state->mutex);
            handler = std::exchange(state->cancelHandler, nullptr);
            state->handler = nullptr;
        }
        if (handler) handler();
    });
    return true;
}

}  // namespace qv
