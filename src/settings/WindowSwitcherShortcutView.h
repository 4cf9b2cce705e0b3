#pragma once

#include <memory>
#include <optional>
#include <string>

#include "launcher/HotkeyManager.h"
#include "model/SnapKeyModifiers.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "settings/ShortcutRecorder.h"
#include "ui/View.h"

namespace qv {

// Why a recorded combination cannot drive the window switcher, or none when it can: Shift is kept
// for going backwards, one of Option, Command or Control is needed, and the app launcher's own
// shortcut and what the snap keys take are taken. `modifiers` are Carbon bits.
std::optional<std::string> switcherShortcutRejection(const KeyboardShortcut& recorded,
                                                     const std::optional<KeyboardShortcut>& launcherShortcut,
                                                     std::optional<SnapKeyModifiers> snapKeys = std::nullopt);

// The row that records the window switcher's shortcut into the settings, with its refusals and a
// button back to Option-Tab.
class WindowSwitcherShortcutView : public View {
  public:
    WindowSwitcherShortcutView(Platform& platform, UserSettings& settings, HotkeyManager& hotkey);

    Node body() override;
    void toggleRecording();
    std::string subtitle() const;
    const std::optional<std::string>& rejection() const { return rejection_; }
    const std::shared_ptr<ShortcutRecorder>& recorder() const { return recorder_; }

  private:
    std::optional<std::string> setAside() const;
    KeyboardShortcut shownShortcut() const;
    void record(uint16_t keyCode, uint64_t modifierFlags);
    // Stores the shortcut unless another row holds it; the refusal shows instead.
    void store(const KeyboardShortcut& shortcut);
    std::string shortcutText(const KeyboardShortcut& shortcut) const;

    Carbon& carbon_;
    UserSettings& settings_;
    HotkeyManager& hotkey_;
    std::shared_ptr<ShortcutRecorder> recorder_;
    std::optional<std::string> rejection_;
};

}  // namespace qv
