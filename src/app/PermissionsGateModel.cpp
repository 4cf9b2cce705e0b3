#include "app/PermissionsGateModel.h"

namespace qv {

LaunchPermissionsState LaunchPermissionsState::read(Platform& platform) {
    LaunchPermissionsState s;
    s.accessibilityGranted = platform.accessibility.isProcessTrusted();
    s.screenRecordingGranted = platform.screenCapture.preflightScreenCaptureAccess();
    return s;
}

std::shared_ptr<PermissionsGateModel> PermissionsGateModel::create(Platform& platform) {
    return std::make_shared<PermissionsGateModel>(Token{}, platform);
}

PermissionsGateModel::PermissionsGateModel(Token, Platform& platform)
    : state(LaunchPermissionsState::read(platform)), platform_(platform) {}

void PermissionsGateModel::refresh() {
    state = LaunchPermissionsState::read(platform_);
}

void PermissionsGateModel::startMonitoring() {
    stopMonitoring();
    refresh();
    std::weak_ptr<PermissionsGateModel> weak = weak_from_this();
    auto mainQueue = platform_.runtime.mainQueue();
    // Each tick hands the reading to the next turn of the main queue, as a task on the main actor.
    refreshTimer = mainQueue->scheduleTimer(kRefreshInterval, kRefreshInterval, 0, [weak, mainQueue] {
        mainQueue->async([weak] {
            if (auto model = weak.lock()) model->refresh();
        });
    });
}

void PermissionsGateModel::stopMonitoring() {
    if (refreshTimer) refreshTimer->cancel();
    refreshTimer = nullptr;
}

void PermissionsGateModel::requestAccessibilityAccess() {
    if (!platform_.accessibility.isProcessTrusted())
        (void)platform_.accessibility.isProcessTrustedWithOptions(true);
    refresh();
}

void PermissionsGateModel::requestScreenRecordingAccess() {
    if (!platform_.screenCapture.preflightScreenCaptureAccess())
        (void)platform_.screenCapture.requestScreenCaptureAccess();
    refresh();
}

void LaunchPermissionCenter::openSettings(Workspace& workspace, const std::vector<std::string>& urlStrings) {
    auto openFirst = [&](const auto& urls) {
        for (const auto& url : urls) {
            if (isValidURLString(url) && workspace.openURL(url)) return true;
        }
        return false;
    };
    if (!openFirst(urlStrings)) openFirst(fallbackPrivacySettingsURLs);
}

}  // namespace qv
