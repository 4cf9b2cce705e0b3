#include "model/UserSettings.h"

#include <algorithm>
#include <stdexcept>

namespace qv {

namespace {

// Keeps the main application's login item in the wanted state, through the login-item service.
class LoginItemController {
  public:
    explicit LoginItemController(LoginItems& service) : service_(service) {}

    // Returns the state the service reports afterwards; its errors are dropped.
    bool setEnabled(bool wanted) {
        bool enabled = isEnabled();
        if (enabled == wanted) return enabled;
        if (wanted) {
            (void)service_.registerMainApp();
        } else {
            (void)service_.unregisterMainApp();
        }
        return isEnabled();
    }

    // Requires approval and not found count as off.
    bool isEnabled() { return service_.mainAppStatus() == LoginItemStatus::enabled; }

  private:
    LoginItems& service_;
};

std::shared_ptr<UserSettings>& sharedSlot() {
    static std::shared_ptr<UserSettings> instance;
    return instance;
}

// Enough names for every unreadable file a user could plausibly collect; past them we give up
// saving rather than lose one.
constexpr int kMaxBackups = 100;

}  // namespace

std::shared_ptr<UserSettings> UserSettings::create(Platform& platform) {
    std::shared_ptr<UserSettings> settings(new UserSettings(platform));
    settings->reconcileRunAtLoginState();
    settings->observeTermination();
    return settings;
}

UserSettings& UserSettings::shared() {
    auto& instance = sharedSlot();
    if (!instance) throw std::logic_error("UserSettings::shared() used before setShared()");
    return *instance;
}

void UserSettings::setShared(std::shared_ptr<UserSettings> settings) {
    sharedSlot() = std::move(settings);
}

UserSettings::UserSettings(Platform& platform)
    : runtime_(platform.runtime),
      fileSystem_(platform.fileSystem),
      loginItems_(platform.loginItems),
      system_(platform.system),
      notifications_(platform.notifications) {
    int osVersion = system_.operatingSystemMajorVersion();
    auto folders = fileSystem_.applicationSupportDirectories();
    if (folders.empty()) {
        data.set(UserSettingsData::defaults(osVersion));
        return;
    }
    std::string folder = folders.front() + "/quillVorn";
    fileURL_ = folder + "/settings.json";
    (void)fileSystem_.createDirectory(folder);  // a failure shows as a missing file

    std::optional<UserSettingsData> loaded;
    if (fileSystem_.fileExists(*fileURL_)) {
        if (auto bytes = fileSystem_.contentsOfFile(*fileURL_))
            loaded = decodeUserSettings(*bytes, osVersion);
        mustKeepUnreadableFile_ = !loaded;
        startedFromUnreadableFile_ = !loaded;
    }
    data.set(loaded ? std::move(*loaded) : UserSettingsData::defaults(osVersion));
}

UserSettings::~UserSettings() {
    if (saveDebounceWork_) saveDebounceWork_->cancel();
}

template <class Change>
void UserSettings::update(Change&& change) {
    UserSettingsData copy = data.get();
    change(copy);
    if (copy == data.get()) return;
    data.set(std::move(copy));
    scheduleSave();
}

void UserSettings::setBarSize(BarSize size) {
    update([&](UserSettingsData& d) { d.barSize = std::string(rawValue(size)); });
}

BarTheme UserSettings::theme() const {
    return barThemeFromRawValue(data->theme).value_or(defaultBarTheme(system_.operatingSystemMajorVersion()));
}

void UserSettings::setTheme(BarTheme theme) {
    update([&](UserSettingsData& d) { d.theme = std::string(rawValue(theme)); });
}

void UserSettings::setScrollUpSpaceSwitch(SpaceScrollUpBehavior behavior) {
    update([&](UserSettingsData& d) { d.scrollUpSpaceSwitch = std::string(rawValue(behavior)); });
}

void UserSettings::setHotkeyKeyCode(std::optional<uint32_t> keyCode) {
    update([&](UserSettingsData& d) { d.hotkeyKeyCode = keyCode; });
    takeBack(StoredShortcut::launcher);
}

void UserSettings::setHotkeyModifiers(std::optional<uint32_t> modifiers) {
    update([&](UserSettingsData& d) { d.hotkeyModifiers = modifiers; });
    takeBack(StoredShortcut::launcher);
}

void UserSettings::setGroupWindowsByApp(bool on) {
    update([&](UserSettingsData& d) { d.groupWindowsByApp = on; });
}
void UserSettings::setShowChipTitles(bool on) {
    update([&](UserSettingsData& d) { d.showChipTitles = on; });
}
void UserSettings::setShowWindowNamesInChips(bool on) {
    update([&](UserSettingsData& d) { d.showWindowNamesInChips = on; });
}
void UserSettings::setHideDock(bool on) {
    update([&](UserSettingsData& d) { d.hideDock = on; });
}
void UserSettings::setShowOnAllDisplays(bool on) {
    update([&](UserSettingsData& d) { d.showOnAllDisplays = on; });
}
void UserSettings::setWindowSwitcherEnabled(bool on) {
    update([&](UserSettingsData& d) { d.windowSwitcherEnabled = on; });
}
void UserSettings::setSnapLayoutsEnabled(bool on) {
    update([&](UserSettingsData& d) { d.snapLayoutsEnabled = on; });
}
void UserSettings::setResizeAdjacentWindowsEnabled(bool on) {
    update([&](UserSettingsData& d) { d.resizeAdjacentWindowsEnabled = on; });
}
void UserSettings::setKeyboardSnapEnabled(bool on) {
    update([&](UserSettingsData& d) { d.keyboardSnapEnabled = on; });
}

std::optional<SnapKeyModifiers> UserSettings::keyboardSnapModifiers() const {
    const auto& bits = data->keyboardSnapModifiers;
    if (!bits || !SnapKeyModifiers{*bits}.holdsTwoModifiers() || setAside_.contains(StoredShortcut::snapKeys))
        return std::nullopt;
    return SnapKeyModifiers{*bits};
}

void UserSettings::setKeyboardSnapModifiers(std::optional<SnapKeyModifiers> modifiers) {
    update([&](UserSettingsData& d) {
        d.keyboardSnapModifiers = modifiers ? std::optional<uint32_t>(modifiers->rawValue) : std::nullopt;
    });
    takeBack(StoredShortcut::snapKeys);
}

KeyboardShortcut UserSettings::windowSwitcherShortcut() const {
    const UserSettingsData& d = data.get();
    if (!d.windowSwitcherKeyCode || !d.windowSwitcherModifiers ||
        setAside_.contains(StoredShortcut::switcher))
        return kDefaultWindowSwitcherShortcut;
    return KeyboardShortcut{*d.windowSwitcherKeyCode, *d.windowSwitcherModifiers};
}

void UserSettings::setWindowSwitcherShortcut(KeyboardShortcut shortcut) {
    update([&](UserSettingsData& d) {
        if (shortcut == kDefaultWindowSwitcherShortcut) {
            d.windowSwitcherKeyCode.reset();
            d.windowSwitcherModifiers.reset();
        } else {
            d.windowSwitcherKeyCode = shortcut.keyCode;
            d.windowSwitcherModifiers = shortcut.modifiers;
        }
    });
    takeBack(StoredShortcut::switcher);
}

void UserSettings::setAside(StoredShortcut which, std::string reason) {
    setAside_[which] = std::move(reason);
    data.set(data.get());  // what is in force changed
}

std::optional<std::string> UserSettings::setAsideReason(StoredShortcut which) const {
    auto it = setAside_.find(which);
    return it == setAside_.end() ? std::nullopt : std::optional(it->second);
}

std::optional<KeyboardShortcut> UserSettings::storedLauncherShortcut() const {
    const UserSettingsData& d = data.get();
    if (!d.hotkeyKeyCode || !d.hotkeyModifiers || setAside_.contains(StoredShortcut::launcher))
        return std::nullopt;
    return KeyboardShortcut{*d.hotkeyKeyCode, *d.hotkeyModifiers};
}

void UserSettings::takeBack(StoredShortcut which) {
    if (setAside_.erase(which)) data.set(data.get());
}

void UserSettings::setPinnedApps(std::vector<PinnedAppRecord> pins) {
    update([&](UserSettingsData& d) { d.pinnedApps = std::move(pins); });
}

void UserSettings::setRunAtLogin(bool on) {
    bool reported = LoginItemController(loginItems_).setEnabled(on);
    update([&](UserSettingsData& d) { d.runAtLogin = reported; });
}

std::vector<std::string> UserSettings::chipOrder(const std::string& desktopKey) const {
    auto it = data->chipOrderByDesktop.find(desktopKey);
    return it == data->chipOrderByDesktop.end() ? std::vector<std::string>{} : it->second;
}

void UserSettings::setChipOrder(std::vector<std::string> appKeys, const std::string& desktopKey) {
    update([&](UserSettingsData& d) {
        if (appKeys.empty()) {
            d.chipOrderByDesktop.erase(desktopKey);
        } else {
            d.chipOrderByDesktop[desktopKey] = std::move(appKeys);
        }
    });
}

void UserSettings::setWindowTilingDisabled(bool disabled, const std::string& displayIdentifier) {
    update([&](UserSettingsData& d) {
        std::erase(d.windowTilingDisabledDisplays, displayIdentifier);
        if (disabled) d.windowTilingDisabledDisplays.push_back(displayIdentifier);
    });
}

void UserSettings::scheduleSave() {
    if (saveDebounceWork_) saveDebounceWork_->cancel();
    std::weak_ptr<UserSettings> weak = weak_from_this();
    saveDebounceWork_ = makeWorkItem([weak] {
        if (auto self = weak.lock()) self->saveNow();
    });
    runtime_.mainQueue()->asyncAfter(saveDebounceInterval_, saveDebounceWork_);
}

void UserSettings::saveNow() {
    if (!fileURL_) return;
    // A file we could not read may still hold everything the user had: never replace it before a
    // copy of it is safe.
    if (mustKeepUnreadableFile_ && !keepUnreadableFile()) return;
    (void)fileSystem_.writeAtomically(*fileURL_, encodeUserSettings(data.get()));
}

bool UserSettings::keepUnreadableFile() {
    const std::string& path = *fileURL_;
    if (!fileSystem_.fileExists(path)) {
        mustKeepUnreadableFile_ = false;  // gone meanwhile: nothing left to lose
        return true;
    }
    auto original = fileSystem_.contentsOfFile(path);
    for (int n = 0; n < kMaxBackups; ++n) {
        std::string candidate = n == 0 ? backupPath(path) : backupPath(path) + "." + std::to_string(n);
        if (fileSystem_.fileExists(candidate)) {
            // An earlier copy of the very same bytes is as good as a new one; any other file there
            // is an older backup and stays.
            if (original && fileSystem_.contentsOfFile(candidate) == original) {
                mustKeepUnreadableFile_ = false;
                return true;
            }
            continue;
        }
        if (!fileSystem_.copyItem(path, candidate)) return false;
        mustKeepUnreadableFile_ = false;
        return true;
    }
    return false;
}

void UserSettings::reconcileRunAtLoginState() {
    LoginItemController controller(loginItems_);
    bool stored = data->runAtLogin;
    // The user's wish was in the file we could not read; the default is no wish. Bringing the
    // system to it would unregister a login item the user had asked for: the system's state holds.
    bool reported = startedFromUnreadableFile_ ? controller.isEnabled() : controller.setEnabled(stored);
    if (reported != stored) update([&](UserSettingsData& d) { d.runAtLogin = reported; });
}

void UserSettings::observeTermination() {
    std::weak_ptr<UserSettings> weak = weak_from_this();
    // Without a queue the handler runs while the notification is posted: the file is written
    // before the application goes away.
    terminationSubscription_ = notifications_.addObserver(notifications::kApplicationWillTerminate, nullptr,
                                                          [weak](const Notification&) {
                                                              auto self = weak.lock();
                                                              if (!self) return;
                                                              if (self->saveDebounceWork_)
                                                                  self->saveDebounceWork_->cancel();
                                                              self->saveDebounceWork_.reset();
                                                              self->saveNow();
                                                          });
}

}  // namespace qv
