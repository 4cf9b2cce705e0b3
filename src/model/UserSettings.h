#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "model/BarSize.h"
#include "model/BarTheme.h"
#include "model/KeyboardShortcut.h"
#include "model/SnapKeyModifiers.h"
#include "model/SpaceScrollUpBehavior.h"
#include "model/UserSettingsData.h"
#include "platform/Platform.h"

namespace qv {

// The one store of the user's settings, kept in "settings.json" in the folder "quillVorn" of the
// user's Application Support folder. Every setter publishes and schedules a save only when the
// record changed; saves come 0.5 s after the last change, and at once when the application quits.
// Main thread only.
class UserSettings : public std::enable_shared_from_this<UserSettings> {
  public:
    // Reads the file (nothing is written yet), brings the login item in step with the stored
    // wish, and starts watching for the application's termination.
    static std::shared_ptr<UserSettings> create(Platform& platform);
    // The instance the composition root installed.
    static UserSettings& shared();
    static void setShared(std::shared_ptr<UserSettings> settings);

    ~UserSettings();
    UserSettings(const UserSettings&) = delete;
    UserSettings& operator=(const UserSettings&) = delete;

    // The current settings. Read freely; change them only through the setters below.
    Published<UserSettingsData> data;

    // Where the record is saved; none when the system gives no Application Support folder, and
    // then nothing is ever saved.
    const std::optional<std::string>& fileURL() const { return fileURL_; }
    // Where a settings file that could not be read is kept before the first save replaces it.
    static std::string backupPath(const std::string& fileURL) { return fileURL + ".bak"; }

    void setBarSize(BarSize size);
    BarTheme theme() const;  // an unknown stored text gives the system's default theme
    void setTheme(BarTheme theme);
    void setScrollUpSpaceSwitch(SpaceScrollUpBehavior behavior);
    void setHotkeyKeyCode(std::optional<uint32_t> keyCode);
    void setHotkeyModifiers(std::optional<uint32_t> modifiers);
    void setGroupWindowsByApp(bool on);
    void setShowChipTitles(bool on);
    void setShowWindowNamesInChips(bool on);
    void setHideDock(bool on);
    void setShowOnAllDisplays(bool on);
    void setWindowSwitcherEnabled(bool on);
    void setSnapLayoutsEnabled(bool on);
    void setResizeAdjacentWindowsEnabled(bool on);
    void setKeyboardSnapEnabled(bool on);
    // The stored snap keys; none when none are stored or the recorder would refuse them (a file
    // from an earlier run or edited by hand), which the file keeps as they are.
    std::optional<SnapKeyModifiers> keyboardSnapModifiers() const;
    void setKeyboardSnapModifiers(std::optional<SnapKeyModifiers> modifiers);
    // Option-Tab unless both parts are stored and not refused; Option-Tab itself is never stored.
    KeyboardShortcut windowSwitcherShortcut() const;
    void setWindowSwitcherShortcut(KeyboardShortcut shortcut);

    // A stored shortcut its recorder would refuse (a file edited by hand or by an earlier version,
    // where two of them hold one key) is set aside at start: it reads as none, the switcher's as
    // Option-Tab, until one is set anew, and the file keeps it as written. `reason` says why.
    enum class StoredShortcut { switcher, launcher, snapKeys };
    void setAside(StoredShortcut which, std::string reason);
    std::optional<std::string> setAsideReason(StoredShortcut which) const;
    // The launcher's stored hot key: none when a half is missing or it is set aside.
    std::optional<KeyboardShortcut> storedLauncherShortcut() const;
    void setPinnedApps(std::vector<PinnedAppRecord> pins);
    // Asks the login-item service and stores the state it reports, which may not be `on`.
    void setRunAtLogin(bool on);

    // The saved app order of one desktop; empty when none is saved.
    std::vector<std::string> chipOrder(const std::string& desktopKey) const;
    // An empty order removes the desktop's entry.
    void setChipOrder(std::vector<std::string> appKeys, const std::string& desktopKey);
    // A display turned off moves to the end of the list.
    void setWindowTilingDisabled(bool disabled, const std::string& displayIdentifier);

    static constexpr KeyboardShortcut kDefaultWindowSwitcherShortcut{48, carbon::kOption};  // Option-Tab

  private:
    explicit UserSettings(Platform& platform);

    template <class Change>
    void update(Change&& change);
    void scheduleSave();
    void saveNow();
    bool keepUnreadableFile();
    void reconcileRunAtLoginState();
    void observeTermination();
    // A shortcut set anew is in force again; readers are told even when the record did not change.
    void takeBack(StoredShortcut which);

    Runtime& runtime_;
    FileSystem& fileSystem_;
    LoginItems& loginItems_;
    SystemInfo& system_;
    NotificationCenter& notifications_;
    std::optional<std::string> fileURL_;
    WorkItemPtr saveDebounceWork_;
    Seconds saveDebounceInterval_ = 0.5;
    Subscription terminationSubscription_;
    // The file on disk could not be read or decoded: keep a copy before replacing it.
    bool mustKeepUnreadableFile_ = false;
    // The settings file existed at start but could not be read or decoded.
    bool startedFromUnreadableFile_ = false;
    std::map<StoredShortcut, std::string> setAside_;
};

}  // namespace qv
