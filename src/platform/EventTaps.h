#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "dispatch/Runtime.h"
#include "platform/Events.h"

namespace qv {

enum class EventTapPlacement { headInsert = 0, tailAppend = 1 };
enum class EventTapOptions { defaultTap = 0, listenOnly = 1 };
enum class EventSourceStateID { privateState = -1, combinedSessionState = 0, hidSystemState = 1 };

// An event tap's port (CFMachPortRef of CGEventTapCreate).
class EventTap {
  public:
    virtual ~EventTap() = default;
};
using EventTapRef = std::shared_ptr<EventTap>;

// CGEventTapCallBack: runs on the run loop that holds the tap's source. It answers the event to
// pass on (possibly changed) or none to swallow it; a listen-only tap's answer is ignored. The
// context pointer of the platform is whatever the callback captures.
using EventTapCallback = std::function<std::optional<CGEvent>(CGEventType type, const CGEvent& event)>;

// Event taps on the system's event stream, and the event sources' modifier and key state.
class EventTaps {
  public:
    virtual ~EventTaps() = default;

    // CGEventTapCreate; none when the system refuses (no permission to watch input).
    virtual EventTapRef tapCreate(EventTapLocation location, EventTapPlacement placement,
                                  EventTapOptions options, CGEventMask mask, EventTapCallback callback) = 0;
    // CGEventTapEnable / CGEventTapIsEnabled
    virtual void tapEnable(EventTap& tap, bool enable) = 0;
    virtual bool tapIsEnabled(EventTap& tap) = 0;
    // CFMachPortInvalidate: the tap is gone for good.
    virtual void invalidate(EventTap& tap) = 0;
    // CFMachPortCreateRunLoopSource, then CFRunLoopAddSource in the common modes; false when the
    // source cannot be made.
    virtual bool addToRunLoop(EventTap& tap, const std::shared_ptr<RunLoop>& runLoop) = 0;

    // CGEventSourceFlagsState: the modifier flags held now.
    virtual CGEventFlags eventSourceFlagsState(EventSourceStateID state) = 0;
    // CGEventSourceKeyState: whether the key is held now.
    virtual bool eventSourceKeyState(EventSourceStateID state, uint16_t keyCode) = 0;
};

}  // namespace qv
