#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "dispatch/Published.h"
#include "model/ShortcutRecording.h"
#include "platform/NotificationCenter.h"
#include "platform/Windowing.h"

namespace qv {

// Records one key press with modifiers, or a chord of modifier keys, from the key events addressed
// to our program, through a local event monitor that swallows them while recording. One per row of
// the settings window. Only one recorder records at a time: starting one ends the recording of
// any other first, so the key taps never resume while a row still records. Main thread.
class ShortcutRecorder : public std::enable_shared_from_this<ShortcutRecorder> {
    struct Token {};

  public:
    using KeyRecorded = std::function<void(uint16_t keyCode, uint64_t modifierFlags)>;
    using FlagsHandler = std::function<void(uint64_t modifierFlags)>;

    // Key-down events of these codes are modifier keys, never a shortcut's key (54 to 63).
    static bool isModifierKeyCode(uint16_t keyCode) { return keyCode >= 54 && keyCode <= 63; }
    // Shift, Control, Option and Command: the flags a key shortcut keeps.
    static constexpr uint64_t kShortcutFlags =
        modifierflags::kShift | modifierflags::kControl | modifierflags::kOption | modifierflags::kCommand;
    // The same and fn: the flags a modifier chord keeps (0x9E0000).
    static constexpr uint64_t kChordFlags = kShortcutFlags | modifierflags::kFunction;
    static constexpr EventMask kChordEventMask = EventType::keyDown | EventType::flagsChanged;  // 5120

    static std::shared_ptr<ShortcutRecorder> create(Windowing& windowing, NotificationCenter& notifications);
    ShortcutRecorder(Token, Windowing& windowing, NotificationCenter& notifications);
    // A recorder that goes ends its recording first, so no monitor outlives it.
    ~ShortcutRecorder();
    ShortcutRecorder(const ShortcutRecorder&) = delete;
    ShortcutRecorder& operator=(const ShortcutRecorder&) = delete;

    // Read and observe only; the recorder assigns it.
    Published<bool> isRecording{false};
    MonitorToken localMonitor() const { return localMonitor_; }

    // Records the next key pressed with Shift, Control, Option or Command; Escape cancels.
    void startRecording(KeyRecorded onRecorded);
    // Records the modifier keys held until every one of them is up again; Escape cancels.
    void startRecordingModifiers(FlagsHandler onChange, FlagsHandler onRecorded);
    // Safe at any time.
    void stopRecording();

  private:
    void setRecording(bool recording);
    // Ends the recording of whichever other recorder records now, then makes this one current.
    void takeOverRecording();
    std::optional<Event> filterKey(const Event& event);

    Windowing& windowing_;
    NotificationCenter& notifications_;
    MonitorToken localMonitor_ = 0;
    KeyRecorded onRecorded_;
};

}  // namespace qv
