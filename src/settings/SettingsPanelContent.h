#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "bar/DockController.h"
#include "launcher/HotkeyManager.h"
#include "model/BarSize.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "settings/KeyboardSnapShortcutView.h"
#include "settings/ShortcutRecorderView.h"
#include "settings/WindowSwitcherShortcutView.h"
#include "settings/WindowTilingDisplaysView.h"
#include "ui/View.h"

namespace qv {

// What the settings window needs of the rest of the program, handed in by the composition root.
struct SettingsServices {
    UserSettings& settings;
    HotkeyManager& hotkey;
    DockController& dock;
    // The update service: whether a check may start now, and starting one.
    Published<bool>& canCheckForUpdates;
    std::function<void()> checkForUpdates;
    // Whether this system runs the window switcher and window tiling at all.
    bool switcherSupported = false;
    bool tilingSupported = false;
};

// The settings window's content: a header, the sections of rows bound each to one setting, and a
// footer that checks for updates and quits. It reads every value from the published record and
// writes only through the setters; sections this system cannot use are absent.
class SettingsPanelContent : public View {
  public:
    static constexpr double kWidth = 420;
    static constexpr double kHeight = 560;

    SettingsPanelContent(Platform& platform, SettingsServices services, std::vector<BarSize> barSizeOptions);

    Node body() override;

    // The quit button's action: the Dock back first unless the program starts at login.
    void quit();

    // The rows with state of their own, made once per window.
    const std::shared_ptr<ShortcutRecorderView>& launcherRow() const { return launcherRow_; }
    const std::shared_ptr<WindowSwitcherShortcutView>& switcherRow() const { return switcherRow_; }
    const std::shared_ptr<KeyboardSnapShortcutView>& snapKeysRow() const { return snapKeysRow_; }
    const std::shared_ptr<WindowTilingDisplaysView>& displaysRow() const { return displaysRow_; }

  private:
    Node barSection();
    Node windowsSection();
    Node switcherSection();
    Node tilingSection();
    Node launcherSection();
    Node footer();
    Binding<bool> setting(bool UserSettingsData::*field, void (UserSettings::*setter)(bool));

    Platform& platform_;
    SettingsServices services_;
    std::vector<BarSize> barSizeOptions_;
    bool isTahoe_;
    std::shared_ptr<ShortcutRecorderView> launcherRow_;
    std::shared_ptr<WindowSwitcherShortcutView> switcherRow_;
    std::shared_ptr<KeyboardSnapShortcutView> snapKeysRow_;
    std::shared_ptr<WindowTilingDisplaysView> displaysRow_;
};

// The scroll row's subtitle: the side that scrolling down switches to.
std::string scrollRowSubtitle(const std::string& storedScrollUpSpaceSwitch);

}  // namespace qv
