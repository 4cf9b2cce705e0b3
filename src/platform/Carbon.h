#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qv {

using OSStatus = int32_t;
inline constexpr OSStatus kNoErr = 0;
inline constexpr OSStatus kEventNotHandledErr = -9874;
inline constexpr OSStatus kEventHotKeyExistsErr = -9878;
inline constexpr OSStatus kEventHotKeyInvalidErr = -9879;
inline constexpr OSStatus kEventParameterNotFoundErr = -9870;
inline constexpr OSStatus kEventHandlerNotInstalledErr = -9886;

// A four-character code as a big-endian 32-bit number ("QVRN", "keyb").
constexpr uint32_t fourCharCode(const char (&code)[5]) {
    return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
           (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

inline constexpr uint32_t kEventClassKeyboard = fourCharCode("keyb");
inline constexpr uint32_t kEventHotKeyPressed = 5;

struct EventHotKeyID {
    uint32_t signature = 0;
    uint32_t id = 0;
    friend bool operator==(const EventHotKeyID&, const EventHotKeyID&) = default;
};

struct EventTypeSpec {
    uint32_t eventClass = 0;
    uint32_t eventKind = 0;
};

// Opaque references the Carbon services hand out.
class EventHotKey {
  public:
    virtual ~EventHotKey() = default;
};
using EventHotKeyRef = std::shared_ptr<EventHotKey>;
class EventHandler {
  public:
    virtual ~EventHandler() = default;
};
using EventHandlerRef = std::shared_ptr<EventHandler>;
// An event handed to an event handler (EventRef).
class CarbonEvent {
  public:
    virtual ~CarbonEvent() = default;
};
// EventHandlerUPP: runs on the main thread; the user data pointer is whatever it captures.
using EventHandlerProc = std::function<OSStatus(CarbonEvent& event)>;

// A keyboard layout input source (TISInputSourceRef) and its key layout data.
class InputSource {
  public:
    virtual ~InputSource() = default;
};
using InputSourceRef = std::shared_ptr<const InputSource>;
class KeyLayout {
  public:
    virtual ~KeyLayout() = default;
};
using KeyLayoutRef = std::shared_ptr<const KeyLayout>;

inline constexpr uint16_t kUCKeyActionDisplay = 3;

// Carbon: global hot keys with their event handler, and the keyboard layout services.
class Carbon {
  public:
    virtual ~Carbon() = default;

    // RegisterEventHotKey on the application event target; `hotKey` is set on success.
    virtual OSStatus registerEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id,
                                         uint32_t options, EventHotKeyRef& hotKey) = 0;
    // UnregisterEventHotKey
    virtual OSStatus unregisterEventHotKey(EventHotKey& hotKey) = 0;
    // InstallEventHandler on the application event target; `handler` is set on success.
    virtual OSStatus installApplicationEventHandler(std::vector<EventTypeSpec> types, EventHandlerProc proc,
                                                    EventHandlerRef& handler) = 0;
    // RemoveEventHandler
    virtual OSStatus removeEventHandler(EventHandler& handler) = 0;
    // GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, ...); `id` is written
    // only on success.
    virtual OSStatus getEventHotKeyID(CarbonEvent& event, EventHotKeyID& id) = 0;

    // TISCopyCurrentKeyboardLayoutInputSource; none when there is no current layout.
    virtual InputSourceRef copyCurrentKeyboardLayoutInputSource() = 0;
    // TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData); none when absent.
    virtual KeyLayoutRef unicodeKeyLayoutData(const InputSource& source) = 0;
    // LMGetKbdType
    virtual uint32_t keyboardType() = 0;
    // UCKeyTranslate: at most `maxLength` UTF-16 units go to `text`; `deadKeyState` is read and
    // updated.
    virtual OSStatus keyTranslate(const KeyLayout& layout, uint16_t keyCode, uint16_t keyAction,
                                  uint32_t modifierKeyState, uint32_t keyboardType, uint32_t options,
                                  uint32_t& deadKeyState, size_t maxLength, std::u16string& text) = 0;
};

}  // namespace qv
