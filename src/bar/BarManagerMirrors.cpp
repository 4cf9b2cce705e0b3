// The bar content of each panel, and the mirror bars on displays without desktops of their own.
#include <algorithm>
#include <set>

#include "bar/BarGeometry.h"
#include "bar/BarManager.h"
#include "bar_views/ThumbnailHoverController.h"

namespace qv {

// --- Content ---

std::shared_ptr<BarContentView> BarManager::makeBarContentView(uint64_t spaceID, size_t screenIndex,
                                                               const std::shared_ptr<BarPanel>& panel) {
    auto view = std::make_shared<BarContentView>(platform_);
    view->viewModel = viewModel_;
    view->pinStore = pinStore_;
    view->settings = settings_;
    view->spaceID = spaceID;
    view->screenIndex = screenIndex;
    view->metrics = metrics_;  // a copy: kept until the content is replaced
    // The callbacks hold the manager and the panel weakly: the panel owns the view.
    std::weak_ptr<BarManager> weakSelf = weak_from_this();
    std::weak_ptr<BarPanel> weakPanel = panel;
    view->onMenuTapped = [weakSelf, weakPanel] {
        auto self = weakSelf.lock();
        auto anchor = weakPanel.lock();
        if (self && anchor) self->showAppLauncher(anchor);
    };
    view->onSpaceSwitchRequested = [weakSelf](uint64_t spaceID) {
        if (auto self = weakSelf.lock()) self->switchToSpace(spaceID, std::nullopt);
    };
    view->onMoveWindowToSpaceRequested = [weakSelf](uint32_t windowID, uint64_t from, uint64_t to) {
        if (auto self = weakSelf.lock()) self->moveWindowToSpaceByDragging(windowID, from, to);
    };
    view->onChipsAreaHoverChanged = [weakPanel](bool over) {
        if (auto anchor = weakPanel.lock()) anchor->mouseIsOverChipsArea = over;
    };
    view->onThumbnailWillShow = [weakSelf] {
        if (auto self = weakSelf.lock()) self->handleThumbnailWillShow();
    };
    view->thumbnailPopups = ThumbnailHoverController::forBar(platform_, view);
    view->onSettingsRequested = [weakSelf] {
        if (auto self = weakSelf.lock(); self && self->openSettings) self->openSettings();
    };
    return view;
}

void BarManager::installContent(BarPanel& panel, std::shared_ptr<BarContentView> content) {
    auto hosting = std::make_shared<BarHostingView>(platform_.runtime, std::move(content));
    if (panelEnvironment_->isTahoe)
        hosting->setOverlay(std::make_shared<CursorOverlayView>(platform_.windowing));
    panel.setContentView(std::move(hosting));
}

void BarManager::rebuildPanelContentViews() {
    std::map<uint64_t, SpaceInfo> spaceByID;
    for (const SpaceInfo& s : spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID()))
        spaceByID.emplace(s.spaceID, s);
    const auto screens = platform_.displays.screens();
    for (const auto& [id, panel] : panels_) {
        // A desktop the window server no longer lists still gets content, for the first screen.
        size_t index = 0;
        if (auto it = spaceByID.find(id); it != spaceByID.end())
            index = spaceWindows_.screenIndex(it->second, screens).value_or(0);
        installContent(*panel, makeBarContentView(id, index, panel));
    }
    for (const auto& [key, panel] : mirrorPanels_)
        installContent(*panel, makeBarContentView(key.spaceID, key.screenIndex, panel));
}

// --- Mirrors ---

std::vector<std::optional<size_t>> BarManager::screenIndices(const std::vector<SpaceInfo>& desktops,
                                                             const std::vector<Screen>& screens) const {
    std::map<std::pair<std::string, int64_t>, std::optional<size_t>> known;
    std::vector<std::optional<size_t>> out;
    out.reserve(desktops.size());
    for (const SpaceInfo& space : desktops) {
        auto key = std::make_pair(space.displayIdentifier, space.displayIndex);
        auto it = known.find(key);
        if (it == known.end())
            it = known.emplace(std::move(key), spaceWindows_.screenIndex(space, screens)).first;
        out.push_back(it->second);
    }
    return out;
}

std::vector<Screen> BarManager::coveredScreensForBar() const {
    return coveredScreensForBar(barSpaces(), platform_.displays.screens());
}

std::vector<Screen> BarManager::coveredScreensForBar(const std::vector<SpaceInfo>& desktops,
                                                     const std::vector<Screen>& screens) const {
    std::set<size_t> indices;
    for (const auto& index : screenIndices(desktops, screens)) {
        if (index) indices.insert(*index);
    }
    for (const auto& [key, panel] : mirrorPanels_) indices.insert(key.screenIndex);
    std::vector<std::optional<uint32_t>> numbers;
    numbers.reserve(screens.size());
    for (const Screen& s : screens) numbers.push_back(SpaceWindows::displayID(s));
    std::vector<Screen> out;
    for (size_t index : coveredScreenIndices(indices, numbers)) out.push_back(screens[index]);
    return out;
}

void BarManager::syncMirrorPanels() {
    syncMirrorPanels(barSpaces(), platform_.displays.screens());
}

void BarManager::syncMirrorPanels(const std::vector<SpaceInfo>& desktops,
                                  const std::vector<Screen>& screens) {
    if (!settings_->data->showOnAllDisplays) {
        removeAllMirrorPanels();
        return;
    }
    std::set<size_t> occupied;
    std::set<uint64_t> desktopIDs;
    for (const SpaceInfo& space : desktops) desktopIDs.insert(space.spaceID);
    for (const auto& index : screenIndices(desktops, screens)) {
        if (index) occupied.insert(*index);
    }
    std::vector<size_t> mirrorIndices;
    for (size_t i = 0; i < screens.size(); ++i) {
        if (!occupied.contains(i)) mirrorIndices.push_back(i);
    }
    for (auto it = mirrorPanels_.begin(); it != mirrorPanels_.end();) {
        const MirrorKey& key = it->first;
        if (desktopIDs.contains(key.spaceID) && !occupied.contains(key.screenIndex) &&
            key.screenIndex < screens.size()) {
            ++it;
            continue;
        }
        closePanel(*it->second);
        it = mirrorPanels_.erase(it);
    }
    std::vector<MirrorKey> created;
    for (const SpaceInfo& space : desktops) {
        for (size_t index : mirrorIndices) {
            const MirrorKey key{space.spaceID, index};
            if (mirrorPanels_.contains(key)) continue;
            createMirrorPanel(space, index, screens[index]);
            created.push_back(key);
        }
    }
    if (!created.empty())
        orderInWhenActive(
            std::move(created), &BarManager::mirrorPanels_,
            +[](const MirrorKey& key) { return key.spaceID; });
}

void BarManager::createMirrorPanel(const SpaceInfo& space, size_t screenIndex, const Screen& screen) {
    auto panel = BarPanel::create(panelEnvironment_, Rect{});
    installContent(*panel, makeBarContentView(space.spaceID, screenIndex, panel));
    layPanel(*panel, screen);
    panel->setDisplayID(SpaceWindows::displayID(screen));
    spaceWindows_.moveWindowExclusively(panel->windowNumber(), space.spaceID);
    panel->onVerticalScroll = scrollHandler(space.spaceID);
    mirrorPanels_[MirrorKey{space.spaceID, screenIndex}] = std::move(panel);
}

void BarManager::repositionMirrorPanels() {
    const auto screens = platform_.displays.screens();
    // A mirror whose screen is gone keeps its frame until the next sync closes it.
    for (const auto& [key, panel] : mirrorPanels_) {
        if (key.screenIndex >= screens.size()) continue;
        const Screen& screen = screens[key.screenIndex];
        layPanel(*panel, screen);
        panel->setDisplayID(SpaceWindows::displayID(screen));
    }
}

void BarManager::removeAllMirrorPanels() {
    for (const auto& [key, panel] : mirrorPanels_) closePanel(*panel);
    mirrorPanels_.clear();
}

}  // namespace qv
