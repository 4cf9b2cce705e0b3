#pragma once

#include <cstdint>
#include <optional>

#include "platform/Geometry.h"

namespace qv {

// CoreGraphics event values (CGEventType, CGEventFlags, CGEventMask), with the platform's numbers.
using CGEventType = uint32_t;
using CGEventFlags = uint64_t;
using CGEventMask = uint64_t;

namespace eventtype {
inline constexpr CGEventType kNull = 0;
inline constexpr CGEventType kLeftMouseDown = 1;
inline constexpr CGEventType kLeftMouseUp = 2;
inline constexpr CGEventType kRightMouseDown = 3;
inline constexpr CGEventType kRightMouseUp = 4;
inline constexpr CGEventType kMouseMoved = 5;
inline constexpr CGEventType kLeftMouseDragged = 6;
inline constexpr CGEventType kKeyDown = 10;
inline constexpr CGEventType kKeyUp = 11;
inline constexpr CGEventType kFlagsChanged = 12;
// What a tap's callback receives when the system switched the tap off.
inline constexpr CGEventType kTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr CGEventType kTapDisabledByUserInput = 0xFFFFFFFF;
}  // namespace eventtype

namespace eventflags {
inline constexpr CGEventFlags kAlphaShift = 0x10000;
inline constexpr CGEventFlags kShift = 0x20000;
inline constexpr CGEventFlags kControl = 0x40000;
inline constexpr CGEventFlags kAlternate = 0x80000;
inline constexpr CGEventFlags kCommand = 0x100000;
inline constexpr CGEventFlags kNumericPad = 0x200000;
inline constexpr CGEventFlags kHelp = 0x400000;
inline constexpr CGEventFlags kSecondaryFn = 0x800000;
}  // namespace eventflags

constexpr CGEventMask eventMaskBit(CGEventType type) {
    return type < 64 ? CGEventMask{1} << type : 0;
}

// CGEventField numbers read with CGEventGetIntegerValueField.
enum class CGEventField : uint32_t {
    mouseEventButtonNumber = 3,
    keyboardEventAutorepeat = 8,
    keyboardEventKeycode = 9,
    eventSourceUnixProcessID = 41,
};

enum class CGMouseButton : int64_t { left = 0, right = 1, center = 2 };

// Where an event enters the system's event stream (CGEventTapLocation).
enum class EventTapLocation { hid = 0, session = 1, annotatedSession = 2 };

// One event (CGEventRef), held by value. The location is in the window server's space: origin at
// the top-left corner of the primary display, y down.
struct CGEvent {
    CGEventType type = eventtype::kNull;
    Point location;
    CGEventFlags flags = 0;
    int64_t keyCode = 0;
    int64_t autorepeat = 0;  // non-zero for the repeats of a held key
    int64_t sourcePID = 0;   // the process that posted it; 0 for the user's own input
    int64_t mouseButton = 0;

    // CGEventGetIntegerValueField / CGEventSetIntegerValueField
    int64_t integerValueField(CGEventField field) const {
        switch (field) {
            case CGEventField::mouseEventButtonNumber:
                return mouseButton;
            case CGEventField::keyboardEventAutorepeat:
                return autorepeat;
            case CGEventField::keyboardEventKeycode:
                return keyCode;
            case CGEventField::eventSourceUnixProcessID:
                return sourcePID;
        }
        return 0;
    }
    void setIntegerValueField(CGEventField field, int64_t value) {
        switch (field) {
            case CGEventField::mouseEventButtonNumber:
                mouseButton = value;
                break;
            case CGEventField::keyboardEventAutorepeat:
                autorepeat = value;
                break;
            case CGEventField::keyboardEventKeycode:
                keyCode = value;
                break;
            case CGEventField::eventSourceUnixProcessID:
                sourcePID = value;
                break;
        }
    }
};

// Synthesised events: creating them (always without an event source) and posting them. Events
// our process posts carry its pid as their source.
class Events {
  public:
    virtual ~Events() = default;

    // CGEventCreate(NULL): an empty event at the pointer's current location; none when it fails.
    virtual std::optional<CGEvent> create() = 0;
    // CGEventCreateKeyboardEvent(NULL, keyCode, keyDown); its flags start at 0.
    virtual std::optional<CGEvent> createKeyboardEvent(uint16_t keyCode, bool keyDown) = 0;
    // CGEventCreateMouseEvent(NULL, type, location, button)
    virtual std::optional<CGEvent> createMouseEvent(CGEventType type, Point location,
                                                    CGMouseButton button) = 0;
    // CGEventPost
    virtual void post(EventTapLocation tap, const CGEvent& event) = 0;
};

}  // namespace qv
