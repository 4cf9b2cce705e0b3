// Full-screen desktops carry no bar. Each has an invisible, click-through stand-in panel pinned to
// it: making the stand-in key switches its display there. After every change of the active desktop
// the visibility pass decides which panels show.
#include <algorithm>
#include <set>

#include "bar/BarManager.h"
#include "platform/Windowing.h"

namespace qv {

namespace {

std::map<uint64_t, SpaceWindows::SpaceInfo> indexByID(const std::vector<SpaceWindows::SpaceInfo>& spaces) {
    std::map<uint64_t, SpaceWindows::SpaceInfo> out;
    for (const auto& s : spaces) out.emplace(s.spaceID, s);
    return out;
}

}  // namespace

void BarManager::layProxyPanel(BarPanel& panel, const Screen& screen) {
    panel.isProgrammaticResize = true;
    panel.setFrame(Rect{screen.frame.minX(), screen.frame.minY(), screen.frame.width(), 1}, true);
    panel.isProgrammaticResize = false;
}

void BarManager::syncFullscreenProxyPanels(const std::vector<SpaceInfo>& spaces) {
    std::set<uint64_t> wanted;
    for (const SpaceInfo& s : spaces) {
        if (s.isFullScreen()) wanted.insert(s.spaceID);
    }
    for (auto it = fullscreenPanels_.begin(); it != fullscreenPanels_.end();) {
        if (wanted.contains(it->first)) {
            ++it;
            continue;
        }
        // A full-screen desktop closed while its switch was pending drops the switch.
        if (pendingFullscreenAXActivation_ && pendingFullscreenAXActivation_->targetSpaceID == it->first) {
            pendingFullscreenAXActivation_.reset();
            if (auto work = std::exchange(pendingFullscreenProxyCleanupWork_, nullptr)) work->cancel();
        }
        it->second->close();
        it = fullscreenPanels_.erase(it);
    }
    for (const SpaceInfo& s : spaces) {
        if (s.isFullScreen() && !fullscreenPanels_.contains(s.spaceID)) createFullscreenProxyPanel(s);
    }
    for (const auto& [id, panel] : fullscreenPanels_) {
        if (!pendingFullscreenAXActivation_ || pendingFullscreenAXActivation_->targetSpaceID != id)
            panel->orderOut();
    }
}

bool BarManager::createFullscreenProxyPanel(const SpaceInfo& space) {
    const auto screen = screenForSpace(space, platform_.displays.screens());
    // Without any screen a stand-in has nowhere to stand; the next sync makes it.
    if (!screen) return false;
    auto panel = BarPanel::create(panelEnvironment_, Rect{});
    auto content = std::make_shared<HostingView>(platform_.runtime,
                                                 std::make_shared<ClosureView>([] { return EmptyNode(); }));
    content->setFrameSize(Size{1, 1});
    panel->setContentView(std::move(content));
    panel->setAlphaValue(0);
    panel->ignoresMouseEvents = true;
    layProxyPanel(*panel, *screen);
    panel->setDisplayID(SpaceWindows::displayID(*screen));
    spaceWindows_.moveWindowExclusively(panel->windowNumber(), space.spaceID);
    panel->orderOut();
    fullscreenPanels_[space.spaceID] = std::move(panel);
    return true;
}

void BarManager::repositionFullscreenProxyPanels() {
    const auto spacesByID = indexByID(spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID()));
    const auto screens = platform_.displays.screens();
    for (const auto& [id, panel] : fullscreenPanels_) {
        auto space = spacesByID.find(id);
        if (space == spacesByID.end()) continue;
        const auto screen = screenForSpace(space->second, screens);
        if (!screen) continue;  // no screen at all: it stays where it was
        layProxyPanel(*panel, *screen);
        panel->setDisplayID(SpaceWindows::displayID(*screen));
    }
}

void BarManager::orderOutPanels(const std::string& onDisplayIdentifier) {
    orderOutPanels(onDisplayIdentifier,
                   indexByID(spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID())));
}

void BarManager::orderOutPanels(const std::string& display, const std::map<uint64_t, SpaceInfo>& spacesByID) {
    const auto screenIndex = spaceWindows_.screenIndex(display, platform_.displays.screens());
    auto onDisplay = [&](uint64_t spaceID) {
        auto it = spacesByID.find(spaceID);
        return it != spacesByID.end() && it->second.displayIdentifier == display;
    };
    // What was opened from a bar goes with it, as when it closes.
    auto orderOut = [this](BarPanel& panel) {
        barLeavesItsPlace(panel);
        panel.orderOut();
    };
    for (const auto& [id, panel] : panels_) {
        if (onDisplay(id)) orderOut(*panel);
    }
    // A mirror goes with its desktop's display, and with the screen it stands on.
    for (const auto& [key, panel] : mirrorPanels_) {
        if (onDisplay(key.spaceID) || (screenIndex && *screenIndex == key.screenIndex)) orderOut(*panel);
    }
}

void BarManager::updateActiveSpacePanelVisibility() {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    const auto active = spaceWindows_.getActiveSpaceIDs(connection);
    const auto spacesByID = indexByID(spaceWindows_.getSpaces(connection));
    std::set<std::string> fullScreenDisplays, ordinaryDisplays;
    for (uint64_t id : active) {
        auto it = spacesByID.find(id);
        if (it == spacesByID.end()) continue;
        (it->second.isFullScreen() ? fullScreenDisplays : ordinaryDisplays)
            .insert(it->second.displayIdentifier);
    }
    auto orderOutProxiesOn = [&](const std::string& display) {
        for (const auto& [id, panel] : fullscreenPanels_) {
            auto it = spacesByID.find(id);
            if (it == spacesByID.end() || it->second.displayIdentifier != display) continue;
            if (pendingFullscreenAXActivation_ && pendingFullscreenAXActivation_->targetSpaceID == id)
                continue;
            panel->orderOut();
        }
    };
    for (const std::string& display : fullScreenDisplays) {
        orderOutPanels(display, spacesByID);
        orderOutProxiesOn(display);
    }
    for (const std::string& display : ordinaryDisplays) orderOutProxiesOn(display);
    for (uint64_t id : active) {
        if (auto it = panels_.find(id); it != panels_.end()) it->second->orderFrontRegardless();
    }
    for (const auto& [key, panel] : mirrorPanels_) {
        if (std::find(active.begin(), active.end(), key.spaceID) != active.end())
            panel->orderFrontRegardless();
    }
}

void BarManager::switchToFullscreenSpace(uint64_t spaceID) {
    const auto& listed = *viewModel_->spaces;
    auto space =
        std::find_if(listed.begin(), listed.end(), [&](const SpaceInfo& s) { return s.spaceID == spaceID; });
    if (space == listed.end()) return;
    const std::string display = space->displayIdentifier;
    if (!fullscreenPanels_.contains(spaceID))
        syncFullscreenProxyPanels(spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID()));
    auto found = fullscreenPanels_.find(spaceID);
    if (found == fullscreenPanels_.end()) return;
    const std::shared_ptr<BarPanel> proxy = found->second;

    pendingFullscreenAXActivation_.reset();
    if (auto window = windowStore_->trackSoleWindow(spaceID))
        pendingFullscreenAXActivation_ = PendingFullscreenAXActivation{*window, spaceID};
    lockScrollSwitching(spaceID);
    // Nothing is given back to another application after this switch.
    pendingPreviousApp_.reset();
    orderOutPanels(display);
    spaceWindows_.moveWindowExclusively(proxy->windowNumber(), spaceID);
    if (pendingFullscreenProxyCleanupWork_) pendingFullscreenProxyCleanupWork_->cancel();
    std::weak_ptr<BarManager> weak = weak_from_this();
    pendingFullscreenProxyCleanupWork_ =
        platform_.runtime.mainQueue()->asyncAfter(kFullscreenProxyCleanupDelay, [weak, spaceID] {
            if (auto self = weak.lock()) self->cleanupFullscreenProxySwitchIfNeeded(spaceID);
        });
    proxy->setAlphaValue(0);
    proxy->ignoresMouseEvents = true;
    activatePanelToSwitch(*proxy);
}

void BarManager::cleanupFullscreenProxySwitchIfNeeded(uint64_t spaceID) {
    pendingFullscreenProxyCleanupWork_.reset();  // the item running now
    if (auto it = fullscreenPanels_.find(spaceID); it != fullscreenPanels_.end()) it->second->orderOut();
    if (!pendingFullscreenAXActivation_ || pendingFullscreenAXActivation_->targetSpaceID != spaceID) return;
    if (hasLanded(spaceID)) {
        completeFullscreenProxySwitch(*pendingFullscreenAXActivation_);
    } else {
        pendingFullscreenAXActivation_.reset();
    }
}

void BarManager::completeFullscreenProxySwitch(PendingFullscreenAXActivation pending) {
    pendingFullscreenAXActivation_.reset();
    if (auto work = std::exchange(pendingFullscreenProxyCleanupWork_, nullptr)) work->cancel();
    if (auto it = fullscreenPanels_.find(pending.targetSpaceID); it != fullscreenPanels_.end())
        it->second->orderOut();
    std::weak_ptr<BarManager> weak = weak_from_this();
    platform_.runtime.mainQueue()->async([weak, window = pending.windowID] {
        if (auto self = weak.lock()) self->viewModel_->focusWindowWithAXOnly(window, "fullscreen-switch");
    });
}

}  // namespace qv
