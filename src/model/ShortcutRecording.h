#pragma once

#include "platform/NotificationCenter.h"

namespace qv {

// Posted by the settings window's shortcut recorders while they record, so that our own key taps
// stand aside; the notification's object is a Boolean number object.
inline constexpr const char* kShortcutRecordingNotification = "quillVorn.shortcutRecording";

// Anything but a true number object counts as not recording.
inline bool isShortcutRecording(const Notification& notification) {
    auto number = notification.object.asNumberObject();
    return number && number->boolValue();
}

}  // namespace qv
