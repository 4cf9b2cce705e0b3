#include "settings/ShortcutRecorder.h"

namespace qv {

namespace {

// The one recorder that records now, if any.
std::weak_ptr<ShortcutRecorder>& currentRecorder() {
    static std::weak_ptr<ShortcutRecorder> current;
    return current;
}

}  // namespace

std::shared_ptr<ShortcutRecorder> ShortcutRecorder::create(Windowing& windowing,
                                                           NotificationCenter& notifications) {
    return std::make_shared<ShortcutRecorder>(Token{}, windowing, notifications);
}

ShortcutRecorder::ShortcutRecorder(Token, Windowing& windowing, NotificationCenter& notifications)
    : windowing_(windowing), notifications_(notifications) {}

ShortcutRecorder::~ShortcutRecorder() {
    stopRecording();
}

void ShortcutRecorder::setRecording(bool recording) {
    if (*isRecording == recording) return;
    isRecording = recording;
    notifications_.post(
        Notification{kShortcutRecordingNotification, {}, Value::number(NumberObject::ofBool(recording))});
}

void ShortcutRecorder::takeOverRecording() {
    auto& current = currentRecorder();
    if (auto other = current.lock(); other && other.get() != this) other->stopRecording();
    current = weak_from_this();
}

void ShortcutRecorder::stopRecording() {
    if (localMonitor_) windowing_.removeMonitor(std::exchange(localMonitor_, 0));
    setRecording(false);
    onRecorded_ = nullptr;
}

void ShortcutRecorder::startRecording(KeyRecorded onRecorded) {
    stopRecording();
    takeOverRecording();
    setRecording(true);
    onRecorded_ = std::move(onRecorded);
    std::weak_ptr<ShortcutRecorder> weak = weak_from_this();
    // No token: the recorder still counts as recording, and sees no keys.
    localMonitor_ = windowing_.addLocalMonitor(eventMask(EventType::keyDown),
                                               [weak](const Event& event) -> std::optional<Event> {
                                                   auto self = weak.lock();
                                                   if (!self) return event;
                                                   return self->filterKey(event);
                                               });
}

std::optional<Event> ShortcutRecorder::filterKey(const Event& event) {
    if (!*isRecording) return event;
    if (event.keyCode == keycodes::kEscape) {
        stopRecording();
        return std::nullopt;
    }
    if (isModifierKeyCode(event.keyCode)) return std::nullopt;
    const uint64_t flags = event.modifierFlags & kShortcutFlags;
    if (flags == 0) return std::nullopt;
    // The row sees the recording still running while it takes the key.
    if (onRecorded_) {
        auto handler = onRecorded_;
        handler(event.keyCode, flags);
    }
    stopRecording();
    return std::nullopt;
}

void ShortcutRecorder::startRecordingModifiers(FlagsHandler onChange, FlagsHandler onRecorded) {
    stopRecording();
    takeOverRecording();
    setRecording(true);
    auto accumulated = std::make_shared<uint64_t>(0);
    std::weak_ptr<ShortcutRecorder> weak = weak_from_this();
    localMonitor_ = windowing_.addLocalMonitor(
        kChordEventMask,
        [weak, accumulated, onChange = std::move(onChange),
         onRecorded = std::move(onRecorded)](const Event& event) -> std::optional<Event> {
            auto self = weak.lock();
            if (!self || !*self->isRecording) return event;
            if (event.type == EventType::keyDown) {
                if (event.keyCode == keycodes::kEscape) self->stopRecording();
                return std::nullopt;
            }
            if (event.type != EventType::flagsChanged) return event;
            const uint64_t held = event.modifierFlags & kChordFlags;
            *accumulated |= held;
            if (onChange) onChange(*accumulated);
            if (held == 0 && *accumulated != 0) {
                if (onRecorded) onRecorded(*accumulated);
                self->stopRecording();
            }
            return event;
        });
}

}  // namespace qv
