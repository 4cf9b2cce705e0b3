#include "settings/WindowSwitcherShortcutView.h"

#include "launcher/KeyNames.h"
#include "settings/ShortcutRecorderView.h"
#include "tiling/SnapKeyRules.h"

namespace qv {

std::optional<std::string> switcherShortcutRejection(const KeyboardShortcut& recorded,
                                                     const std::optional<KeyboardShortcut>& launcherShortcut,
                                                     std::optional<SnapKeyModifiers> snapKeys) {
    if (recorded.modifiers & carbon::kShift) return "Shift is reserved for moving backwards.";
    if (!holdsCommandOptionOrControl(recorded)) return "Use Option, Command or Control.";
    if (launcherShortcut && *launcherShortcut == recorded) return "Already used by the app launcher.";
    if (snapKeys && snapKeysTake(*snapKeys, recorded)) return "Already used by the snap keys.";
    return std::nullopt;
}

WindowSwitcherShortcutView::WindowSwitcherShortcutView(Platform& platform, UserSettings& settings,
                                                       HotkeyManager& hotkey)
    : carbon_(platform.carbon),
      settings_(settings),
      hotkey_(hotkey),
      recorder_(ShortcutRecorder::create(platform.windowing, platform.notifications)) {
    observe(settings_.data);
    observe(recorder_->isRecording);
}

std::string WindowSwitcherShortcutView::shortcutText(const KeyboardShortcut& shortcut) const {
    return shortcutDisplayText(shortcut, carbon_);
}

void WindowSwitcherShortcutView::toggleRecording() {
    if (*recorder_->isRecording) {
        recorder_->stopRecording();
        return;
    }
    rejection_ = std::nullopt;
    setNeedsUpdate();
    WindowSwitcherShortcutView* self = this;
    recorder_->startRecording([self](uint16_t keyCode, uint64_t flags) { self->record(keyCode, flags); });
}

void WindowSwitcherShortcutView::record(uint16_t keyCode, uint64_t modifierFlags) {
    store(KeyboardShortcut{keyCode, carbonModifiers(modifierFlags)});
}

void WindowSwitcherShortcutView::store(const KeyboardShortcut& shortcut) {
    // Recorded or reset, a shortcut another row holds is refused the same way.
    rejection_ =
        switcherShortcutRejection(shortcut, hotkey_.currentShortcut(), settings_.keyboardSnapModifiers());
    if (!rejection_) settings_.setWindowSwitcherShortcut(shortcut);
    setNeedsUpdate();
}

std::optional<std::string> WindowSwitcherShortcutView::setAside() const {
    return settings_.setAsideReason(UserSettings::StoredShortcut::switcher);
}

KeyboardShortcut WindowSwitcherShortcutView::shownShortcut() const {
    // A stored shortcut set aside at start shows, with why Option-Tab is used instead, unless it is
    // no shortcut at all.
    const UserSettingsData& d = *settings_.data;
    if (setAside() && d.windowSwitcherKeyCode && d.windowSwitcherModifiers) {
        const KeyboardShortcut stored{*d.windowSwitcherKeyCode, *d.windowSwitcherModifiers};
        if (holdsCommandOptionOrControl(stored)) return stored;
    }
    return settings_.windowSwitcherShortcut();
}

std::string WindowSwitcherShortcutView::subtitle() const {
    if (*recorder_->isRecording) return "Press a key with Option, Command or Control. Press Esc to cancel.";
    if (auto reason = setAside(); reason && !rejection_)
        return *reason + " Using " + shortcutText(UserSettings::kDefaultWindowSwitcherShortcut) + ".";
    if (rejection_) return *rejection_ + " Kept " + shortcutText(settings_.windowSwitcherShortcut()) + ".";
    return "Hold the modifiers and press the key to cycle; add Shift to go backwards.";
}

Node WindowSwitcherShortcutView::body() {
    const bool recording = *recorder_->isRecording;
    const KeyboardShortcut current = shownShortcut();
    ShortcutRecorderRow row;
    row.icon = "keyboard";
    row.title = "Switcher Shortcut";
    row.subtitle = subtitle();
    row.subtitleIsWarning = recording || rejection_ || setAside();
    row.fieldText = shortcutText(current);
    row.recorder = recorder_;
    row.toggleRecording = [this] { toggleRecording(); };
    constexpr KeyboardShortcut kDefault = UserSettings::kDefaultWindowSwitcherShortcut;
    if (current != kDefault && !recording) {
        row.sideButton = {"arrow.counterclockwise.circle.fill", "Reset to " + shortcutText(kDefault),
                          [this] { store(UserSettings::kDefaultWindowSwitcherShortcut); }};
    }
    return row.body();
}

}  // namespace qv
