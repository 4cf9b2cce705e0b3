#include "settings/KeyboardSnapShortcutView.h"

#include "launcher/KeyNames.h"
#include "settings/ShortcutRecorderView.h"
#include "tiling/SnapKeyRules.h"

namespace qv {

uint32_t snapModifierBits(uint64_t modifierFlags) {
    uint32_t bits = carbonModifiers(modifierFlags);
    if (modifierFlags & modifierflags::kFunction) bits |= carbon::kFunction;
    return bits;
}

KeyboardSnapShortcutView::KeyboardSnapShortcutView(Platform& platform, UserSettings& settings,
                                                   HotkeyManager& hotkey)
    : settings_(settings),
      hotkey_(hotkey),
      recorder_(ShortcutRecorder::create(platform.windowing, platform.notifications)) {
    observe(settings_.data);
    // Every end of a recording, Escape and the row going included, leaves nothing held.
    recordingSubscription_ = recorder_->isRecording.subscribeToChanges([this](bool recording) {
        if (!recording) held_ = 0;
        setNeedsUpdate();
    });
}

void KeyboardSnapShortcutView::setHeld(uint32_t bits) {
    held_ = bits;
    setNeedsUpdate();
}

void KeyboardSnapShortcutView::toggleRecording() {
    if (*recorder_->isRecording) {
        recorder_->stopRecording();
        setHeld(0);
        return;
    }
    rejection_ = std::nullopt;
    KeyboardSnapShortcutView* self = this;
    recorder_->startRecordingModifiers([self](uint64_t flags) { self->setHeld(snapModifierBits(flags)); },
                                       [self](uint64_t flags) {
                                           self->setHeld(0);
                                           const SnapKeyModifiers chord{snapModifierBits(flags)};
                                           self->rejection_ = snapKeysRejectionReason(
                                               chord, self->hotkey_.currentShortcut(),
                                               self->settings_.windowSwitcherShortcut());
                                           if (!self->rejection_)
                                               self->settings_.setKeyboardSnapModifiers(chord);
                                       });
}

std::string KeyboardSnapShortcutView::fieldText() const {
    if (*recorder_->isRecording && held_ != 0) return modifierSymbols(held_);
    if (!stored()) return "Not Set";
    return modifierSymbols(*stored());
}

std::string KeyboardSnapShortcutView::subtitle() const {
    if (*recorder_->isRecording)
        return "Hold two or more modifier keys, such as fn and Control, then let go. Press Esc to cancel.";
    if (auto reason = setAside(); reason && !rejection_) return *reason + " Not in use.";
    if (rejection_ && !stored()) return *rejection_;
    if (rejection_) return *rejection_ + " Kept " + modifierSymbols(*stored()) + ".";
    if (!stored()) return "Record the modifier keys to hold, such as fn and Control.";
    return "Hold " + modifierSymbols(*stored()) +
           " and press \u2190 \u2192 \u2191 \u2193 for a half, F to fill, C to centre or 1\u20139 for a "
           "desktop.";
}

Node KeyboardSnapShortcutView::body() {
    const bool recording = *recorder_->isRecording;
    ShortcutRecorderRow row;
    row.icon = "command";
    row.title = "Snap Keys";
    row.subtitle = subtitle();
    row.subtitleIsWarning = recording || rejection_ || setAside();
    row.fieldText = fieldText();
    row.fieldIsPlaceholder = row.fieldText == "Not Set";
    row.recorder = recorder_;
    row.toggleRecording = [this] { toggleRecording(); };
    if (stored() && !recording) {
        row.sideButton = {"xmark.circle.fill", "Clear Snap Keys", [this] {
                              rejection_ = std::nullopt;
                              settings_.setKeyboardSnapModifiers(std::nullopt);
                              setNeedsUpdate();
                          }};
    }
    return row.body();
}

}  // namespace qv
