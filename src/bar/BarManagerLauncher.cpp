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
    if (launcherPanel) {
        // Whichever bar's button was pressed, an open launcher only closes.
        launcherPanel->requestDismiss();
        return;
    }
    std::weak_ptr<BarManager> weak = weak_from_this();
    auto panel = AppLauncherPanel::create(platform_, Rect{}, appLauncher, *pinStore, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto open = std::exchange(self->launcherPanel, nullptr)) open->close();
    });
    // A press on any bar's button leaves the closing to the button's own action.
    panel->setTogglePressTest([weak](Point location) {
        auto self = weak.lock();
        return self && self->isMenuButtonPress(location);
    });
    panel->setContentSize(AppLauncherPanel::kContentSize);
    panel->setFrameOrigin(AppLauncherPanel::originAbove(anchor->frame()));
    panel->setAnchorDisplayID(anchor->displayID());
    launcherPanel = panel;
    launcherAnchor = anchor;
    panel->makeKeyAndOrderFront();
}

void BarManager::followLauncherAnchor() {
    if (!launcherPanel || launcherPanel->didRequestDismiss) return;
    auto anchor = launcherAnchor.lock();
    // The bar it opened above went with its desktop: the launcher goes too.
    if (!anchor || anchor->isClosed()) {
        launcherPanel->requestDismiss();
        return;
    }
    launcherPanel->setFrameOrigin(AppLauncherPanel::originAbove(anchor->frame()));
}

void BarManager::handleThumbnailWillShow() {
    if (!launcherPanel || launcherPanel->didRequestDismiss) return;
    launcherPanel->requestDismiss();
}

bool BarManager::isMenuButtonPress(Point screenLocation) const {
    auto onButton = [&](const std::shared_ptr<BarPanel>& panel) {
        return panel->isVisible() && launcherButtonFrame(panel->frame(), metrics).contains(screenLocation);
    };
    for (const auto& [id, panel] : panels) {
        if (onButton(panel)) return true;
    }
    for (const auto& [key, panel] : mirrorPanels) {
        if (onButton(panel)) return true;
    }
    return false;
}

std::shared_ptr<BarPanel> BarManager::launcherAnchorPanel(uint64_t spaceID, size_t preferredScreenIndex) {
    if (auto mirror = mirrorPanels.find(MirrorKey{spaceID, preferredScreenIndex});
        mirror != mirrorPanels.end())
        return mirror->second;
    if (auto own = panels.find(spaceID); own != panels.end()) return own->second;
    return nullptr;
}

std::optional<size_t> BarManager::preferredMouseScreenIndex() {
    const auto screens = platform_.displays.screens();
    if (screens.empty()) return std::nullopt;
    if (auto display = mouseDisplayTracker->preferredDisplayID()) {
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
    if (auto current = panels.find(platform_.windowServer.getActiveSpace(connection));
        current != panels.end())
        return current->second;
    if (!active.empty()) {
        if (auto first = panels.find(active.front()); first != panels.end()) return first->second;
    }
    if (!panels.empty()) return panels.begin()->second;
    if (!mirrorPanels.empty()) return mirrorPanels.begin()->second;
    return nullptr;
}

}  // namespace qv
