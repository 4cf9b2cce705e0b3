#include "switcher/WindowSwitcherKeyTap.h"

namespace qv {

const std::set<int64_t>& WindowSwitcherKeyTap::returnKeyCodes() {
    static const std::set<int64_t> codes = {36, 76};
    return codes;
}

const std::map<int64_t, WindowSwitcherKeyTap::Direction>& WindowSwitcherKeyTap::arrowDirections() {
    static const std::map<int64_t, Direction> table = {
        {123, Direction::previous}, {124, Direction::next}, {126, Direction::up}, {125, Direction::down}};
    return table;
}

std::shared_ptr<WindowSwitcherKeyTap> WindowSwitcherKeyTap::create(Platform& platform) {
    return std::shared_ptr<WindowSwitcherKeyTap>(new WindowSwitcherKeyTap(platform));
}

WindowSwitcherKeyTap::WindowSwitcherKeyTap(Platform& platform)
    : mainQueue_(platform.runtime.mainQueue()), tapThread_(platform.eventTaps, platform.runtime) {}

WindowSwitcherKeyTap::~WindowSwitcherKeyTap() {
    tapThread_.stop();
}

bool WindowSwitcherKeyTap::start() {
    EventTapThread::Spec spec{kThreadName, EventTapLocation::session, EventTapPlacement::headInsert,
                              EventTapOptions::defaultTap, kEventMask};
    std::weak_ptr<WindowSwitcherKeyTap> weak = weak_from_this();
    return tapThread_.start(spec, [weak](CGEventType type, const CGEvent& event) -> std::optional<CGEvent> {
        auto self = weak.lock();
        if (!self) return event;
        return self->handle(type, event);
    });
}

void WindowSwitcherKeyTap::stop() {
    {
        std::lock_guard lock(lock_);
        sessionActive_ = false;
        swallowedKeyCodes_.clear();
    }
    tapThread_.stop();
}

void WindowSwitcherKeyTap::setTrigger(int64_t keyCode, CGEventFlags flags) {
    std::lock_guard lock(lock_);
    triggerKeyCode_ = keyCode;
    triggerFlags_ = flags & kTriggerFlagsMask;
    sessionActive_ = false;
}

CGEventFlags WindowSwitcherKeyTap::triggerFlags() {
    std::lock_guard lock(lock_);
    return triggerFlags_;
}

int64_t WindowSwitcherKeyTap::triggerKeyCode() {
    std::lock_guard lock(lock_);
    return triggerKeyCode_;
}

void WindowSwitcherKeyTap::endSession() {
    std::lock_guard lock(lock_);
    sessionActive_ = false;
}

bool WindowSwitcherKeyTap::isSessionActive() {
    std::lock_guard lock(lock_);
    return sessionActive_;
}

void WindowSwitcherKeyTap::setSuspended(bool suspended) {
    std::lock_guard lock(lock_);
    isSuspended_ = suspended;
    if (suspended) sessionActive_ = false;
}

std::optional<CGEvent> WindowSwitcherKeyTap::handle(CGEventType type, const CGEvent& event) {
    switch (type) {
        case eventtype::kKeyDown:
            return handleKeyDown(event);
        case eventtype::kKeyUp: {
            const int64_t keyCode = event.integerValueField(CGEventField::keyboardEventKeycode);
            std::lock_guard lock(lock_);
            if (swallowedKeyCodes_.erase(keyCode)) return std::nullopt;
            return event;
        }
        case eventtype::kFlagsChanged: {
            bool released = false;
            {
                std::lock_guard lock(lock_);
                if (sessionActive_ && (triggerFlags_ & ~event.flags) != 0) {
                    sessionActive_ = false;
                    released = true;
                }
            }
            if (released) emit(Event::commit());
            return event;
        }
        case eventtype::kTapDisabledByTimeout:
        case eventtype::kTapDisabledByUserInput:
            tapThread_.enableAgain();
            return event;
        default:
            return event;
    }
}

std::optional<CGEvent> WindowSwitcherKeyTap::handleKeyDown(const CGEvent& event) {
    const int64_t keyCode = event.integerValueField(CGEventField::keyboardEventKeycode);
    const bool isRepeat = event.integerValueField(CGEventField::keyboardEventAutorepeat) != 0;
    std::lock_guard lock(lock_);
    if (isSuspended_) return event;
    // Every press and repeat of the trigger is a tab, in a session or not.
    if (keyCode == triggerKeyCode_ && (event.flags & kTriggerFlagsMask) == triggerFlags_) {
        sessionActive_ = true;
        swallowedKeyCodes_.insert(keyCode);
        emit(Event::tab((event.flags & eventflags::kShift) != 0, isRepeat));
        return std::nullopt;
    }
    if (!sessionActive_) return event;
    if (keyCode == kEscapeKeyCode) {
        sessionActive_ = false;
        swallowedKeyCodes_.insert(keyCode);
        emit(Event::cancel());
        return std::nullopt;
    }
    if (returnKeyCodes().contains(keyCode)) {
        sessionActive_ = false;
        swallowedKeyCodes_.insert(keyCode);
        emit(Event::commit());
        return std::nullopt;
    }
    if (auto arrow = arrowDirections().find(keyCode); arrow != arrowDirections().end()) {
        swallowedKeyCodes_.insert(keyCode);
        emit(Event::move(arrow->second));
        return std::nullopt;
    }
    return event;
}

// Only enqueues: the lock may be held here, and nothing waits for the main thread.
void WindowSwitcherKeyTap::emit(Event event) {
    mainQueue_->async([weak = weak_from_this(), event] {
        auto self = weak.lock();
        if (self && self->onEvent) self->onEvent(event);
    });
}

}  // namespace qv
