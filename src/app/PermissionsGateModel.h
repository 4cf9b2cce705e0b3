#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "platform/Platform.h"

namespace qv {

// The two permissions the bar cannot work without, as read at one moment. Reading asks nothing of
// the user.
struct LaunchPermissionsState {
    bool accessibilityGranted = false;
    bool screenRecordingGranted = false;

    bool allGranted() const { return accessibilityGranted && screenRecordingGranted; }
    // A fresh reading: both permissions are always read.
    static LaunchPermissionsState read(Platform& platform);
    friend bool operator==(const LaunchPermissionsState&, const LaunchPermissionsState&) = default;
};

// The permissions gate's model: the state it shows, re-read every second while the gate is shown,
// and the requests of its two rows. Main thread.
class PermissionsGateModel : public std::enable_shared_from_this<PermissionsGateModel> {
    struct Token {};

  public:
    static constexpr Seconds kRefreshInterval = 1.0;

    // Starts with a fresh reading and no timer.
    static std::shared_ptr<PermissionsGateModel> create(Platform& platform);
    PermissionsGateModel(Token, Platform& platform);

    Published<LaunchPermissionsState> state;
    // The refresh timer while monitoring; none otherwise.
    std::shared_ptr<RepeatingTimer> refreshTimer;

    // Reads now and every second after; a second call replaces the timer, so one runs at most.
    void startMonitoring();
    void stopMonitoring();
    // Each request prompts only while its permission is missing, and always reads afresh after.
    void requestAccessibilityAccess();
    void requestScreenRecordingAccess();

  private:
    void refresh();
    Platform& platform_;
};

// Opens the privacy pages of System Settings.
struct LaunchPermissionCenter {
    static constexpr const char* kAccessibilitySettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
    static constexpr const char* kScreenRecordingSettingsURL =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture";
    static constexpr std::array<const char*, 2> fallbackPrivacySettingsURLs = {
        "x-apple.systempreferences:com.apple.preference.security?Privacy",
        "x-apple.systempreferences:com.apple.preference.security",
    };

    // Opens the first address the workspace accepts, skipping ones that are no valid address, then
    // the general privacy pages in order; when all fail, nothing happens.
    static void openSettings(Workspace& workspace, const std::vector<std::string>& urlStrings);
};

}  // namespace qv
