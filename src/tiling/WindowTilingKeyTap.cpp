#include "tiling/WindowTilingKeyTap.h"

#include "model/KeyboardShortcut.h"

namespace qv {

using Kind = WindowTilingKeyTap::Action::Kind;

const std::map<int64_t, WindowTilingKeyTap::Action>& WindowTilingKeyTap::actions() {
    static const std::map<int64_t, Action> table = {
        {3, Action::of(Kind::fill)},    {8, Action::of(Kind::centre)},  {123, Action::of(Kind::left)},
        {124, Action::of(Kind::right)}, {126, Action::of(Kind::top)},   {125, Action::of(Kind::bottom)},
        {18, Action::moveToDesktop(1)}, {19, Action::moveToDesktop(2)}, {20, Action::moveToDesktop(3)},
        {21, Action::moveToDesktop(4)}, {23, Action::moveToDesktop(5)}, {22, Action::moveToDesktop(6)},
        {26, Action::moveToDesktop(7)}, {28, Action::moveToDesktop(8)}, {25, Action::moveToDesktop(9)},
    };
    return table;
}

const std::map<int64_t, WindowTilingKeyTap::Action>& WindowTilingKeyTap::fnArrowActions() {
    static const std::map<int64_t, Action> table = {
        {115, Action::of(Kind::left)},    // Home
        {119, Action::of(Kind::right)},   // End
        {116, Action::of(Kind::top)},     // Page Up
        {121, Action::of(Kind::bottom)},  // Page Down
    };
    return table;
}

std::shared_ptr<WindowTilingKeyTap> WindowTilingKeyTap::create(Platform& platform) {
    return std::shared_ptr<WindowTilingKeyTap>(new WindowTilingKeyTap(platform));
}

WindowTilingKeyTap::WindowTilingKeyTap(Platform& platform)
    : platform_(platform),
      mainQueue_(platform.runtime.mainQueue()),
      tapThread_(platform.eventTaps, platform.runtime),
      ownPID_(platform.system.currentProcessID()) {}

WindowTilingKeyTap::~WindowTilingKeyTap() {
    stop();
}

void WindowTilingKeyTap::configure(std::optional<SnapKeyModifiers> modifiers) {
    uint32_t bits = modifiers ? modifiers->rawValue : 0;
    CGEventFlags flags = 0;
    if (bits & carbon::kControl) flags |= eventflags::kControl;
    if (bits & carbon::kOption) flags |= eventflags::kAlternate;
    if (bits & carbon::kShift) flags |= eventflags::kShift;
    if (bits & carbon::kCommand) flags |= eventflags::kCommand;
    std::lock_guard lock(lock_);
    comboFlagsRequired_ = flags;
    requiresFn_ = (bits & carbon::kFunction) != 0;
}

void WindowTilingKeyTap::setSuspended(bool suspended) {
    std::lock_guard lock(lock_);
    isSuspended_ = suspended;
}

bool WindowTilingKeyTap::start() {
    EventTapThread::Spec spec{kThreadName, EventTapLocation::session, EventTapPlacement::headInsert,
                              EventTapOptions::defaultTap, kEventMask};
    std::weak_ptr<WindowTilingKeyTap> weak = weak_from_this();
    auto callback = [weak](CGEventType type, const CGEvent& event) -> std::optional<CGEvent> {
        auto self = weak.lock();
        if (!self) return event;
        return self->handle(type, event);
    };
    // fn is known only from modifier changes: start from the state held right now.
    return tapThread_.start(spec, callback, [this] {
        bool fnDown = platform_.eventTaps.eventSourceFlagsState(EventSourceStateID::combinedSessionState) &
                      eventflags::kSecondaryFn;
        std::lock_guard lock(lock_);
        isFnDown_ = fnDown;
    });
}

void WindowTilingKeyTap::stop() {
    tapThread_.stop();
    std::lock_guard lock(lock_);
    swallowedKeyCodes_.clear();
}

std::optional<CGEvent> WindowTilingKeyTap::handle(CGEventType type, const CGEvent& event) {
    switch (type) {
        case eventtype::kTapDisabledByTimeout:
        case eventtype::kTapDisabledByUserInput:
            tapThread_.enableAgain();
            return event;
        case eventtype::kKeyDown:
            return handleKeyDown(event);
        case eventtype::kKeyUp: {
            int64_t keyCode = event.integerValueField(CGEventField::keyboardEventKeycode);
            std::lock_guard lock(lock_);
            if (swallowedKeyCodes_.erase(keyCode)) return std::nullopt;
            return event;
        }
        case eventtype::kFlagsChanged: {
            std::lock_guard lock(lock_);
            isFnDown_ = (event.flags & eventflags::kSecondaryFn) != 0;
            return event;
        }
        default:
            return event;
    }
}

std::optional<CGEvent> WindowTilingKeyTap::handleKeyDown(const CGEvent& event) {
    // Keys the program posts itself are never taken.
    if (event.integerValueField(CGEventField::eventSourceUnixProcessID) == ownPID_) return event;
    const int64_t keyCode = event.integerValueField(CGEventField::keyboardEventKeycode);
    Action action;
    {
        std::lock_guard lock(lock_);
        if (isSuspended_) return event;
        if (comboFlagsRequired_ == 0 && !requiresFn_) return event;
        if ((event.flags & kComboFlagsMask) != comboFlagsRequired_) return event;
        // Arrow keys carry the fn flag in their own events whether fn is held or not, so its state
        // comes from the modifier changes.
        if (isFnDown_ != requiresFn_) return event;
        if (auto it = actions().find(keyCode); it != actions().end()) {
            action = it->second;
        } else if (auto fn = fnArrowActions().find(keyCode); requiresFn_ && fn != fnArrowActions().end()) {
            action = fn->second;
        } else {
            return event;
        }
        swallowedKeyCodes_.insert(keyCode);
    }
    // Repeats of a held key are swallowed without acting again.
    if (event.integerValueField(CGEventField::keyboardEventAutorepeat) == 0) {
        mainQueue_->async([weak = weak_from_this(), action] {
            auto self = weak.lock();
            if (self && self->onAction) self->onAction(action);
        });
    }
    return std::nullopt;
}

}  // namespace qv
