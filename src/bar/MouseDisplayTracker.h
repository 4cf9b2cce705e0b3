#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/Platform.h"

namespace qv {

// Knows which display the pointer is on without asking the window system at the moment of need:
// it samples the pointer 60 times a second on a queue of its own and keeps the display of the last
// sample and a debounced display that follows it 0.06 s after the last change. The state is
// guarded by a lock, so a reader on any thread waits at most for one sample.
class MouseDisplayTracker : public std::enable_shared_from_this<MouseDisplayTracker> {
    struct Token {};

  public:
    static constexpr Seconds kSampleInterval = 1.0 / 60.0;
    static constexpr Seconds kDisplaySwitchDebounce = 0.06;
    // The last sample's display counts while it is at most this old.
    static constexpr Seconds kFreshSampleAge = 0.12;
    static constexpr const char* kQueueLabel = "quillVorn.mouse-display-tracker";

    static std::shared_ptr<MouseDisplayTracker> create(Platform& platform);
    // The instance the composition root installed.
    static MouseDisplayTracker& shared();
    static void setShared(std::shared_ptr<MouseDisplayTracker> tracker);

    MouseDisplayTracker(Token, Platform& platform);
    ~MouseDisplayTracker();
    MouseDisplayTracker(const MouseDisplayTracker&) = delete;
    MouseDisplayTracker& operator=(const MouseDisplayTracker&) = delete;

    // Both asynchronous on the tracker's queue and idempotent; it may be started again.
    void start();
    void stop();

    // The display under the pointer: the last sample's while fresh, else the debounced one, else the
    // last sample's (none when there is none).
    std::optional<uint32_t> preferredDisplayID() const;
    static std::optional<uint32_t> preferredDisplay(std::optional<uint32_t> instantaneous,
                                                    std::optional<uint32_t> debounced, Seconds lastSampleAt,
                                                    Seconds now);

    std::optional<uint32_t> instantaneousDisplayID() const;
    std::optional<uint32_t> debouncedDisplayID() const;
    Seconds lastSampleAt() const;
    bool isStarted() const;

  private:
    void startOnQueue();
    void stopOnQueue();
    void sampleMouseDisplay();

    Runtime& runtime_;
    Events& events_;
    Displays& displays_;
    std::shared_ptr<Queue> queue_;

    mutable std::mutex mutex_;
    std::shared_ptr<RepeatingTimer> timer_;
    WorkItemPtr pendingTransitionWork_;
    bool isStarted_ = false;
    std::optional<uint32_t> instantaneousDisplayID_;
    std::optional<uint32_t> debouncedDisplayID_;
    Seconds lastSampleAt_ = 0;
};

}  // namespace qv
