// The launcher above a bar: opened from a bar's button or the global hot key, closed by a second
// press, and the bar it opens above when the hot key fires.
#include "bar/BarGeometry.h"
#include "bar/BarManager.h"
#include "launcher/HotkeyManager.h"
#include "platform/Windowing.h"

namespace qv {

void BarManager::setUpLauncherHotkey() {
    std::weak_ptr<BarManager> weak = weak_from_this();
    HotkeyManager::shared().onHotkeyPressed = [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto anchor = self->resolveLauncherAnchorPanel()) self->showAppLauncher(anchor);
    };
}

void BarManager::showAppLauncher(const std::shared_ptr<BarPanel>& anchor) {
    if (launcherPanel_) {
        // Whichever bar's button was pressed, an open launcher only closes.
        launcherPanel_->requestDismiss();
        return;
    }
    std::weak_ptr<BarManager> weak = weak_from_this();
    auto panel = AppLauncherPanel::create(platform_, Rect{}, appLauncher_, *pinStore_, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto open = std::exchange(self->launcherPanel_, nullptr)) open->close();
    });
    // A press on any bar's button leaves the closing to the button's own action.
    panel->setTogglePressTest([weak](Point location) {
        auto self = weak.lock();
        return self && self->isMenuButtonPress(location);
    });
    panel->setContentSize(AppLauncherPanel::kContentSize);
    panel->setFrameOrigin(AppLauncherPanel::originAbove(anchor->frame()));
    panel->setAnchorDisplayID(anchor->displayID());
    launcherPanel_ = panel;
    launcherAnchor_ = anchor;
    panel->makeKeyAndOrderFront();
}

void BarManager::followLauncherAnchor() {
    if (!launcherPanel_ || launcherPanel_->didRequestDismiss) return;
    auto anchor = launcherAnchor_.lock();
    // The bar it opened above went with its desktop: the launcher goes too.
    if (!anchor || anchor->isClosed()) {
        launcherPanel_->requestDismiss();
        return;
    }
    launcherPanel_->setFrameOrigin(AppLauncherPanel::originAbove(anchor->frame()));
}

void BarManager::handleThumbnailWillShow() {
    if (!launcherPanel_ || launcherPanel_->didRequestDismiss) return;
    launcherPanel_->requestDismiss();
}

bool BarManager::isMenuButtonPress(Point screenLocation) const {
    auto onButton = [&](const std::shared_ptr<BarPanel>& panel) {
        return panel->isVisible() && launcherButtonFrame(panel->frame(), metrics_).contains(screenLocation);
    };
    for (const auto& [id, panel] : panels_) {
        if (onButton(panel)) return true;
    }
    for (const auto& [key, panel] : mirrorPanels_) {
        if (onButton(panel)) return true;
    }
    return false;
}

std::shared_ptr<BarPanel> BarManager::launcherAnchorPanel(uint64_t spaceID, size_t preferredScreenIndex) {
    if (auto mirror = mirrorPanels_.find(MirrorKey{spaceID, preferredScreenIndex});
        mirror != mirrorPanels_.end())
        return mirror->second;
    if (auto own = panels_.find(spaceID); own != panels_.end()) return own->second;
    return nullptr;
}

std::optional<size_t> BarManager::preferredMouseScreenIndex() {
    const auto screens = platform_.displays.screens();
    if (screens.empty()) return std::nullopt;
    if (auto display = mouseDisplayTracker_->preferredDisplayID()) {
        for (size_t i = 0; i < screens.size(); ++i) {
            if (SpaceWindows::displayID(screens[i]) == display) return i;
        }
    }
    const Point pointer = platform_.windowing.mouseLocation();
    for (size_t i = 0; i < screens.size(); ++i) {
        if (screens[i].frame.contains(pointer)) return i;
    }
    return std::nullopt;
}

std::shared_ptr<BarPanel> BarManager::resolveLauncherAnchorPanel() {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    std::map<uint64_t, SpaceInfo> spaceByID;
    for (const SpaceInfo& s : spaceWindows_.getSpaces(connection)) spaceByID.emplace(s.spaceID, s);
    const auto active = spaceWindows_.getActiveSpaceIDs(connection);
    const auto preferred = preferredMouseScreenIndex();
    if (preferred && !active.empty()) {
        const auto screens = platform_.displays.screens();
        for (uint64_t id : active) {
            auto info = spaceByID.find(id);
            if (info == spaceByID.end() || spaceWindows_.screenIndex(info->second, screens) != preferred)
                continue;
            if (auto panel = launcherAnchorPanel(id, *preferred)) return panel;
            break;
        }
        if (auto panel = launcherAnchorPanel(active.front(), *preferred)) return panel;
    }
    if (auto current = panels_.find(platform_.windowServer.getActiveSpace(connection));
        current != panels_.end())
        return current->second;
    if (!active.empty()) {
        if (auto first = panels_.find(active.front()); first != panels_.end()) return first->second;
    }
    if (!panels_.empty()) return panels_.begin()->second;
    if (!mirrorPanels_.empty()) return mirrorPanels_.begin()->second;
    return nullptr;
}

}  // namespace qv
