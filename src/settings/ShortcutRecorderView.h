#pragma once

#include <functional>
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

// The look shared by the three recorder rows: icon, title and wrapping subtitle, then the shortcut
// field (the row's recording toggle) with at most one side button, lined up under the title.
struct ShortcutRecorderRow {
    struct SideButton {
        std::string symbol;
        std::string tooltip;
        std::function<void()> action;
    };
    std::string icon;
    std::string title;
    std::string subtitle;
    bool subtitleIsWarning = false;  // orange instead of the secondary colour
    std::string fieldText;
    bool fieldIsPlaceholder = false;  // "Not Set": in the secondary colour
    // The row's recorder: "Recording..." shows while it records, and it stops when the row leaves
    // the screen.
    std::shared_ptr<ShortcutRecorder> recorder;
    std::function<void()> toggleRecording;
    std::optional<SideButton> sideButton;
    Node body() const;
};

// Why a recorded key cannot open the app launcher, or none when it can: Shift alone would take a
// capital letter from every application, and a key the window switcher or the snap keys hold
// would never reach the hot key. `modifiers` are Carbon bits; a feature this system lacks is none.
std::optional<std::string> launcherShortcutRejection(const KeyboardShortcut& recorded,
                                                     const std::optional<KeyboardShortcut>& switcherShortcut,
                                                     std::optional<SnapKeyModifiers> snapKeys);

// The launcher's row: records the global hot key that opens the app launcher, refusing a key the
// other rows hold.
class ShortcutRecorderView : public View {
  public:
    // Whether this system runs the window switcher and window tiling, whose keys are then taken.
    ShortcutRecorderView(Platform& platform, UserSettings& settings, HotkeyManager& hotkey,
                         bool switcherSupported, bool tilingSupported);

    Node body() override;
    void toggleRecording();
    std::string subtitle() const;
    const std::optional<std::string>& rejection() const { return rejection_; }
    const std::shared_ptr<ShortcutRecorder>& recorder() const { return recorder_; }

  private:
    void record(uint16_t keyCode, uint64_t modifierFlags);
    std::optional<KeyboardShortcut> shownShortcut() const;
    std::optional<std::string> setAside() const;

    Carbon& carbon_;
    UserSettings& settings_;
    HotkeyManager& hotkey_;
    bool switcherSupported_;
    bool tilingSupported_;
    std::shared_ptr<ShortcutRecorder> recorder_;
    std::optional<std::string> rejection_;
    Subscription shortcutSubscription_;
};

}  // namespace qv
