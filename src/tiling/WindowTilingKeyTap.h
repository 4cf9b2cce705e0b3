#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "model/SnapKeyModifiers.h"
#include "platform/EventTapThread.h"
#include "platform/Platform.h"

namespace qv {

// Recognises the snap keys (held modifiers with an arrow, F, C or a digit) in the session's event
// stream through an active tap at the head, on a thread of its own; swallows them, their repeats
// and their key-ups, and hands one action per press to the main thread.
class WindowTilingKeyTap : public std::enable_shared_from_this<WindowTilingKeyTap> {
  public:
    struct Action {
        enum class Kind { moveToDesktop, fill, centre, left, right, top, bottom };
        Kind kind = Kind::fill;
        int desktop = 0;  // 1 to 9 for moveToDesktop, else 0

        static Action moveToDesktop(int n) { return {Kind::moveToDesktop, n}; }
        static Action of(Kind k) { return {k, 0}; }
        friend bool operator==(const Action&, const Action&) = default;
    };

    static constexpr const char* kThreadName = "quillVorn.window-tiling-key-tap";
    static constexpr CGEventMask kEventMask = 7168;  // key down, key up, flags changed
    // The modifiers compared with the configured combination: shift, control, option, command.
    static constexpr CGEventFlags kComboFlagsMask = 0x1E0000;

    // Key code to action, and the codes the arrows send while fn is held on some keyboards.
    static const std::map<int64_t, Action>& actions();
    static const std::map<int64_t, Action>& fnArrowActions();

    static std::shared_ptr<WindowTilingKeyTap> create(Platform& platform);
    ~WindowTilingKeyTap();
    WindowTilingKeyTap(const WindowTilingKeyTap&) = delete;
    WindowTilingKeyTap& operator=(const WindowTilingKeyTap&) = delete;

    // Called on the main thread with each recognised press; set once before starting.
    std::function<void(Action)> onAction;

    // The combination to require, from the keyboard snap modifier setting; none: nothing matches.
    // Applies to the next key, also while running.
    void configure(std::optional<SnapKeyModifiers> modifiers);
    // While suspended no key-down is acted on or swallowed; key-ups of swallowed keys still are.
    void setSuspended(bool suspended);

    // True when the tap runs (also when it ran already); false when it cannot be created or its
    // thread does not come up in time. Main thread.
    bool start();
    // Forgets the tap and the keys waiting for their key-up; configuration, fn and suspension stay.
    void stop();
    bool isRunning() const { return tapThread_.isRunning(); }

  private:
    explicit WindowTilingKeyTap(Platform& platform);
    std::optional<CGEvent> handle(CGEventType type, const CGEvent& event);
    std::optional<CGEvent> handleKeyDown(const CGEvent& event);

    Platform& platform_;
    std::shared_ptr<Queue> mainQueue_;
    EventTapThread tapThread_;
    const int64_t ownPID_;

    std::mutex lock_;
    CGEventFlags comboFlagsRequired_ = 0;
    bool requiresFn_ = false;
    bool isFnDown_ = false;
    std::set<int64_t> swallowedKeyCodes_;
    bool isSuspended_ = false;
};

}  // namespace qv
