#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "platform/EventTapThread.h"
#include "platform/Platform.h"

namespace qv {

// Watches the left mouse button everywhere on the desktop through a listen-only tap on a thread of
// its own, so that tiling can follow the user dragging or resizing another application's window.
// A press carries the on-screen windows and the window under the pointer; drags are coalesced, so
// a busy main thread gets only the newest point. Window-server coordinates throughout.
class WindowTilingMouseTap : public std::enable_shared_from_this<WindowTilingMouseTap> {
  public:
    struct WindowSnapshot {
        uint32_t id = 0;
        int32_t pid = 0;  // -1 for our own windows
        int32_t layer = 0;
        Rect frame;
        friend bool operator==(const WindowSnapshot&, const WindowSnapshot&) = default;
    };
    struct Down {
        Point location;
        std::vector<WindowSnapshot> windows;  // front to back
        std::optional<uint32_t> hitWindowID;
    };
    struct Dragged {
        Point location;
    };
    struct Up {
        Point location;
    };
    using Event = std::variant<Down, Dragged, Up>;

    static constexpr const char* kThreadName = "quillVorn.window-tiling-tap";
    static constexpr CGEventMask kEventMask = 70;  // left mouse down, up and dragged

    static std::shared_ptr<WindowTilingMouseTap> create(Platform& platform);
    ~WindowTilingMouseTap();
    WindowTilingMouseTap(const WindowTilingMouseTap&) = delete;
    WindowTilingMouseTap& operator=(const WindowTilingMouseTap&) = delete;

    // Called on the main thread for every event; set once before starting.
    std::function<void(const Event&)> onEvent;

    // True when the tap runs (also when it ran already); false when it cannot be created or its
    // thread does not come up in time. Main thread.
    bool start();
    void stop();
    bool isRunning() const { return tapThread_.isRunning(); }

    // The on-screen windows, front to back, from a window-list answer: entries of the wrong shape
    // and nearly transparent ones left out, ours marked with pid -1.
    static std::vector<WindowSnapshot> snapshots(const std::optional<Value>& windowList, int32_t ownPID);

  private:
    explicit WindowTilingMouseTap(Platform& platform);
    std::optional<CGEvent> handle(CGEventType type, const CGEvent& event);
    std::optional<uint32_t> hitWindow(Point location);
    void deliver(Event event);

    Platform& platform_;
    std::shared_ptr<Queue> mainQueue_;
    EventTapThread tapThread_;
    const int32_t ownPID_;
    std::once_flag findWindowLookup_;
    bool hasFindWindow_ = false;  // "SLSFindWindowAndOwner", looked up on first use

    std::mutex lock_;
    std::optional<Point> pendingDrag_;
    bool isButtonDown_ = false;
};

}  // namespace qv
