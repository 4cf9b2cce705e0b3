#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "platform/EventTapThread.h"
#include "platform/Platform.h"

namespace qv {

// Catches the switcher's keys system-wide through an active tap at the head of the session's
// stream, on a thread of its own: the trigger always, and Escape, Return, keypad Enter and the
// arrows while a session runs. Handled keys and their key-ups are swallowed, everything else
// passes. Recognised keys reach `onEvent` on the main queue in the order they were typed.
class WindowSwitcherKeyTap : public std::enable_shared_from_this<WindowSwitcherKeyTap> {
  public:
    enum class Direction { previous, next, up, down };
    struct Event {
        enum class Kind { tab, move, commit, cancel };
        Kind kind = Kind::tab;
        bool backwards = false;  // tab: Shift was held
        bool isRepeat = false;   // tab: an auto-repeat
        Direction direction = Direction::next;

        static Event tab(bool backwards, bool isRepeat) { return {Kind::tab, backwards, isRepeat}; }
        static Event move(Direction d) { return {Kind::move, false, false, d}; }
        static Event commit() { return {Kind::commit}; }
        static Event cancel() { return {Kind::cancel}; }
        friend bool operator==(const Event&, const Event&) = default;
    };

    static constexpr const char* kThreadName = "quillVorn.window-switcher-tap";
    static constexpr CGEventMask kEventMask = 0x1C00;  // key down, key up, flags changed
    // Only these modifiers are compared with the trigger's: Command, Option, Control.
    static constexpr CGEventFlags kTriggerFlagsMask = 0x1C0000;
    static constexpr int64_t kTabKeyCode = 48;
    static constexpr int64_t kEscapeKeyCode = 53;

    static const std::set<int64_t>& returnKeyCodes();
    static const std::map<int64_t, Direction>& arrowDirections();

    static std::shared_ptr<WindowSwitcherKeyTap> create(Platform& platform);
    ~WindowSwitcherKeyTap();
    WindowSwitcherKeyTap(const WindowSwitcherKeyTap&) = delete;
    WindowSwitcherKeyTap& operator=(const WindowSwitcherKeyTap&) = delete;

    // Main thread; set before starting.
    std::function<void(Event)> onEvent;

    // True when the tap runs (also when it ran already); false when it cannot be created or its
    // thread does not come up within a second.
    bool start();
    // Removes the tap and joins its thread; forgets the session and the keys awaiting a key-up.
    void stop();
    bool isRunning() const { return tapThread_.isRunning(); }

    // The shared state, each under the lock. Setting the trigger ends any session.
    void setTrigger(int64_t keyCode, CGEventFlags flags);
    CGEventFlags triggerFlags();
    int64_t triggerKeyCode();
    void endSession();
    bool isSessionActive();
    // While suspended every key-down passes; key-ups of keys swallowed before still are swallowed.
    void setSuspended(bool suspended);

  private:
    explicit WindowSwitcherKeyTap(Platform& platform);
    std::optional<CGEvent> handle(CGEventType type, const CGEvent& event);
    std::optional<CGEvent> handleKeyDown(const CGEvent& event);
    void emit(Event event);

    std::shared_ptr<Queue> mainQueue_;
    EventTapThread tapThread_;

    std::mutex lock_;
    bool sessionActive_ = false;
    std::set<int64_t> swallowedKeyCodes_;
    int64_t triggerKeyCode_ = kTabKeyCode;
    CGEventFlags triggerFlags_ = eventflags::kAlternate;
    bool isSuspended_ = false;
};

}  // namespace qv
