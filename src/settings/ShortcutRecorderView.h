#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "launcher/HotkeyManager.h"
#include "platform/Platform.h"
#include "platform/ui/View.h"
#include "settings/ShortcutRecorder.h"

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

// The launcher's row: records the global hot key that opens the app launcher.
class ShortcutRecorderView : public View {
  public:
    ShortcutRecorderView(Platform& platform, HotkeyManager& hotkey);

    Node body() override;
    void toggleRecording();
    const std::shared_ptr<ShortcutRecorder>& recorder() const { return recorder_; }

  private:
    Carbon& carbon_;
    HotkeyManager& hotkey_;
    std::shared_ptr<ShortcutRecorder> recorder_;
    Subscription shortcutSubscription_;
};

}  // namespace qv
