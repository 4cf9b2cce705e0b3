#include "bar/MouseDisplayTracker.h"

#include <stdexcept>

namespace qv {

namespace {

std::shared_ptr<MouseDisplayTracker>& sharedSlot() {
    static std::shared_ptr<MouseDisplayTracker> instance;
    return instance;
}

}  // namespace

std::shared_ptr<MouseDisplayTracker> MouseDisplayTracker::create(Platform& platform) {
    return std::make_shared<MouseDisplayTracker>(Token{}, platform);
}

MouseDisplayTracker& MouseDisplayTracker::shared() {
    auto& instance = sharedSlot();
    if (!instance) throw std::logic_error("MouseDisplayTracker::shared() used before setShared()");
    return *instance;
}

void MouseDisplayTracker::setShared(std::shared_ptr<MouseDisplayTracker> tracker) {
    sharedSlot() = std::move(tracker);
}

MouseDisplayTracker::MouseDisplayTracker(Token, Platform& platform)
    : runtime_(platform.runtime),
      events_(platform.events),
      displays_(platform.displays),
      queue_(platform.runtime.makeSerialQueue(kQueueLabel, QoS::userInteractive)) {}

MouseDisplayTracker::~MouseDisplayTracker() {
    std::lock_guard lock(mutex_);
    if (timer_) timer_->cancel();
    if (pendingTransitionWork_) pendingTransitionWork_->cancel();
}

void MouseDisplayTracker::start() {
    std::weak_ptr<MouseDisplayTracker> weak = weak_from_this();
    queue_->async([weak] {
        if (auto self = weak.lock()) self->startOnQueue();
    });
}

void MouseDisplayTracker::stop() {
    std::weak_ptr<MouseDisplayTracker> weak = weak_from_this();
    queue_->async([weak] {
        if (auto self = weak.lock()) self->stopOnQueue();
    });
}

void MouseDisplayTracker::startOnQueue() {
    std::lock_guard lock(mutex_);
    if (isStarted_) return;
    isStarted_ = true;
    std::weak_ptr<MouseDisplayTracker> weak = weak_from_this();
    timer_ = queue_->scheduleTimer(0, kSampleInterval, 0, [weak] {
        if (auto self = weak.lock()) self->sampleMouseDisplay();
    });
}

void MouseDisplayTracker::stopOnQueue() {
    std::lock_guard lock(mutex_);
    if (pendingTransitionWork_) pendingTransitionWork_->cancel();
    pendingTransitionWork_.reset();
    if (timer_) timer_->cancel();
    timer_.reset();
    isStarted_ = false;
}

void MouseDisplayTracker::sampleMouseDisplay() {
    auto event = events_.create();
    if (!event) return;
    std::vector<uint32_t> found;
    std::optional<uint32_t> sample;
    if (displays_.getDisplaysWithPoint(event->location, 1, found) == 0 && !found.empty())
        sample = found.front();

    std::lock_guard lock(mutex_);
    lastSampleAt_ = runtime_.now();
    if (sample == instantaneousDisplayID_) return;
    instantaneousDisplayID_ = sample;
    if (pendingTransitionWork_) pendingTransitionWork_->cancel();
    std::weak_ptr<MouseDisplayTracker> weak = weak_from_this();
    // The debounced display takes what the pointer is on when the step runs, not this sample.
    pendingTransitionWork_ = queue_->asyncAfter(kDisplaySwitchDebounce, [weak] {
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard lock(self->mutex_);
        self->debouncedDisplayID_ = self->instantaneousDisplayID_;
    });
}

std::optional<uint32_t> MouseDisplayTracker::preferredDisplay(std::optional<uint32_t> instantaneous,
                                                              std::optional<uint32_t> debounced,
                                                              Seconds lastSampleAt, Seconds now) {
    if (instantaneous && now - lastSampleAt <= kFreshSampleAge) return instantaneous;
    if (debounced) return debounced;
    return instantaneous;
}

std::optional<uint32_t> MouseDisplayTracker::preferredDisplayID() const {
    std::lock_guard lock(mutex_);
    return preferredDisplay(instantaneousDisplayID_, debouncedDisplayID_, lastSampleAt_, runtime_.now());
}

std::optional<uint32_t> MouseDisplayTracker::instantaneousDisplayID() const {
    std::lock_guard lock(mutex_);
    return instantaneousDisplayID_;
}

std::optional<uint32_t> MouseDisplayTracker::debouncedDisplayID() const {
    std::lock_guard lock(mutex_);
    return debouncedDisplayID_;
}

Seconds MouseDisplayTracker::lastSampleAt() const {
    std::lock_guard lock(mutex_);
    return lastSampleAt_;
}

bool MouseDisplayTracker::isStarted() const {
    std::lock_guard lock(mutex_);
    return isStarted_;
}

}  // namespace qv
