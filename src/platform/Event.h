#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Geometry.h"

namespace qv {

class Panel;

// Event types with AppKit's numbering (NSEventType).
enum class EventType : int {
    leftMouseDown = 1,
    leftMouseUp = 2,
    rightMouseDown = 3,
    rightMouseUp = 4,
    mouseMoved = 5,
    leftMouseDragged = 6,
    rightMouseDragged = 7,
    mouseEntered = 8,
    mouseExited = 9,
    keyDown = 10,
    keyUp = 11,
    flagsChanged = 12,
    cursorUpdate = 17,
    scrollWheel = 22,
    otherMouseDown = 25,
    otherMouseUp = 26,
    otherMouseDragged = 27,
};

// NSEventMask: one bit per event type.
using EventMask = uint64_t;
constexpr EventMask eventMask(EventType t) {
    return EventMask{1} << static_cast<int>(t);
}
constexpr EventMask operator|(EventType a, EventType b) {
    return eventMask(a) | eventMask(b);
}
constexpr EventMask operator|(EventMask a, EventType b) {
    return a | eventMask(b);
}

// NSEvent.ModifierFlags bits.
namespace modifierflags {
inline constexpr uint64_t kCapsLock = 1 << 16;
inline constexpr uint64_t kShift = 1 << 17;
inline constexpr uint64_t kControl = 1 << 18;
inline constexpr uint64_t kOption = 1 << 19;
inline constexpr uint64_t kCommand = 1 << 20;
inline constexpr uint64_t kNumericPad = 1 << 21;
inline constexpr uint64_t kHelp = 1 << 22;
inline constexpr uint64_t kFunction = 1 << 23;
}  // namespace modifierflags

// NSEvent.Phase of a scroll gesture's momentum.
enum class MomentumPhase : int {
    none = 0,
    began = 1,
    stationary = 2,
    changed = 4,
    ended = 8,
    cancelled = 16
};

struct TrackingArea;

// One input event (NSEvent). Locations: `locationInWindow` in the window's own space (origin at the
// bottom-left corner of its frame, y up), `screenLocation` in AppKit's global space.
struct Event {
    EventType type = EventType::mouseMoved;
    double timestamp = 0;
    Point locationInWindow;
    Point screenLocation;
    uint32_t windowNumber = 0;    // 0: not one of our windows
    std::weak_ptr<Panel> window;  // the window of our process the event is for, if any
    uint64_t modifierFlags = 0;
    uint16_t keyCode = 0;
    std::string characters;
    double scrollingDeltaX = 0;
    double scrollingDeltaY = 0;
    MomentumPhase momentumPhase = MomentumPhase::none;
    // The deltas are reversed from the device's motion (natural scrolling).
    bool isDirectionInvertedFromDevice = false;
    int clickCount = 0;
    std::shared_ptr<TrackingArea> trackingArea;  // for entered and exited events

    bool isMouseEvent() const;
};

// The key codes the views handle themselves.
namespace keycodes {
inline constexpr uint16_t kReturn = 36;
inline constexpr uint16_t kTab = 48;
inline constexpr uint16_t kDelete = 51;
inline constexpr uint16_t kEscape = 53;
inline constexpr uint16_t kLeftArrow = 123;
inline constexpr uint16_t kRightArrow = 124;
inline constexpr uint16_t kDownArrow = 125;
inline constexpr uint16_t kUpArrow = 126;
}  // namespace keycodes

enum class Cursor { arrow, pointingHand, iBeam, resizeLeftRight, openHand, closedHand };

}  // namespace qv
