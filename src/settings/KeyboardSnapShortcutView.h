#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "launcher/HotkeyManager.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "settings/ShortcutRecorder.h"
#include "ui/View.h"

namespace qv {

// The snap-key bits of modifier flags: the Carbon bits of Command, Shift, Option and Control, and
// 131072 for fn; caps lock, the numeric pad and help add nothing.
uint32_t snapModifierBits(uint64_t modifierFlags);

// The row that records the snap keys: a chord of modifier keys, taken when the last one is let go
// and checked before it is stored; a side button clears them.
class KeyboardSnapShortcutView : public View {
  public:
    KeyboardSnapShortcutView(Platform& platform, UserSettings& settings, HotkeyManager& hotkey);

    Node body() override;
    void toggleRecording();
    std::string fieldText() const;
    std::string subtitle() const;
    uint32_t held() const { return held_; }
    const std::optional<std::string>& rejection() const { return rejection_; }
    const std::shared_ptr<ShortcutRecorder>& recorder() const { return recorder_; }

  private:
    // The keys in force, or the stored ones set aside at start because another row holds a key.
    std::optional<uint32_t> stored() const {
        const auto& bits = settings_.data->keyboardSnapModifiers;
        if (setAside() && bits && SnapKeyModifiers{*bits}.holdsTwoModifiers()) return bits;
        auto keys = settings_.keyboardSnapModifiers();
        return keys ? std::optional(keys->rawValue) : std::nullopt;
    }
    std::optional<std::string> setAside() const {
        return settings_.setAsideReason(UserSettings::StoredShortcut::snapKeys);
    }
    void setHeld(uint32_t bits);

    UserSettings& settings_;
    HotkeyManager& hotkey_;
    std::shared_ptr<ShortcutRecorder> recorder_;
    std::optional<std::string> rejection_;
    uint32_t held_ = 0;
    Subscription recordingSubscription_;
};

}  // namespace qv
