// Switching desktops the way the user does: the system's own shortcut for desktop N, or, without
// one, making the target desktop's bar key so that the window server follows it. After every change
// of the active desktop the bar tidies up and gives activation back.
#include <algorithm>

#include "bar/BarManager.h"
#include "platform/Application.h"
#include "platform/Windowing.h"

namespace qv {

void BarManager::lockScrollSwitching(uint64_t targetSpaceID) {
    switchUnderWay_ =
        SwitchUnderWay{targetSpaceID, platform_.runtime.now(),
                       spaceWindows_.getActiveSpaceIDs(platform_.windowServer.mainConnectionID())};
    isScrollSwitchLocked_ = true;
    if (scrollUnlockWork_) scrollUnlockWork_->cancel();
    std::weak_ptr<BarManager> weak = weak_from_this();
    scrollUnlockWork_ = platform_.runtime.mainQueue()->asyncAfter(kScrollSwitchLock, [weak] {
        if (auto self = weak.lock()) self->isScrollSwitchLocked_ = false;
    });
}

void BarManager::activatePanelToSwitch(BarPanel& panel) {
    panel.allowBecomeKey = true;
    platform_.windowing.activate(true);
    panel.makeKeyAndOrderFront();
    panel.allowBecomeKey = false;
}

bool BarManager::hasLanded(uint64_t spaceID) {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    if (platform_.windowServer.getActiveSpace(connection) == spaceID) return true;
    const auto active = spaceWindows_.getActiveSpaceIDs(connection);
    return std::find(active.begin(), active.end(), spaceID) != active.end();
}

bool BarManager::isProgram(const RunningApplication& app) {
    // Two missing identifiers count as equal.
    return app.bundleIdentifier == platform_.application.mainBundleIdentifier();
}

bool BarManager::postKeyboardShortcut(const DesktopSwitchShortcut& shortcut) {
    Events& events = platform_.events;
    auto down = events.createKeyboardEvent(shortcut.keyCode, true);
    auto up = events.createKeyboardEvent(shortcut.keyCode, false);
    if (!down || !up) return false;
    down->flags = shortcut.flags;
    up->flags = 0;  // the key comes up with no modifiers, whatever the shortcut holds
    events.post(EventTapLocation::hid, *down);
    events.post(EventTapLocation::hid, *up);
    return true;
}

void BarManager::switchToSpace(uint64_t spaceID, std::optional<RunningApplication> previousApp) {
    const auto& listed = *viewModel_->spaces;
    auto space =
        std::find_if(listed.begin(), listed.end(), [&](const SpaceInfo& s) { return s.spaceID == spaceID; });
    if (space != listed.end() && space->isFullScreen()) {
        switchToFullscreenSpace(spaceID);
        return;
    }
    auto found = panels_.find(spaceID);
    if (found == panels_.end()) return;
    const std::shared_ptr<BarPanel> panel = found->second;
    lockScrollSwitching(spaceID);
    std::optional<DesktopSwitchShortcut> shortcut;
    if (auto n = missionControlDesktopNumber(spaceID)) shortcut = desktopSwitchShortcut(*n);
    if (shortcut && postKeyboardShortcut(*shortcut)) {
        if (previousApp) pendingPreviousApp_ = std::move(previousApp);
        return;
    }
    // Through the panel: the program is activated, and the change gives activation back.
    pendingPreviousApp_ = previousApp ? std::move(previousApp) : platform_.workspace.frontmostApplication();
    activatePanelToSwitch(*panel);
}

std::optional<int> BarManager::missionControlDesktopNumber(uint64_t spaceID) {
    return qv::missionControlDesktopNumber(spaceWindows_.getSpaces(platform_.windowServer.mainConnectionID()),
                                           spaceID);
}

std::optional<BarManager::DesktopSwitchShortcut> BarManager::desktopSwitchShortcut(int forDesktopNumber) {
    const auto id = desktopSwitchHotKeyID(forDesktopNumber);
    if (!id) return std::nullopt;
    WindowServer& ws = platform_.windowServer;
    uint16_t keyCode = 0;
    uint32_t modifiers = 0;
    if (ws.getSymbolicHotKeyValue(*id, nullptr, &keyCode, &modifiers) != 0) return std::nullopt;
    // A shortcut the user switched off is switched on in the system, and stays on.
    if (!ws.isSymbolicHotKeyEnabled(*id) && ws.setSymbolicHotKeyEnabled(*id, true) != 0) return std::nullopt;
    return DesktopSwitchShortcut{keyCode, CGEventFlags{modifiers}};
}

void BarManager::switchToAdjacentSpace(bool goRight, uint64_t fromSpaceID) {
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    // A switch slower than the scroll lock is still under way: the next step goes on from where it
    // goes, or the user's step would be lost.
    std::optional<uint64_t> switchingTo;
    if (switchUnderWay_ && platform_.runtime.now() - switchUnderWay_->startedAt < kSwitchUnderWayLimit)
        switchingTo = switchUnderWay_->targetSpaceID;
    if (auto target =
            adjacentSpace(spaceWindows_.getSpaces(connection), spaceWindows_.getActiveSpaceIDs(connection),
                          fromSpaceID, goRight, switchingTo))
        switchToSpace(*target, std::nullopt);
}

void BarManager::handleScrollEvent(const Event& event, uint64_t fromSpaceID) {
    if (isScrollSwitchLocked_) return;
    switchToAdjacentSpace(scrollSwitchGoesRight(event.scrollingDeltaY, event.isDirectionInvertedFromDevice,
                                                settings_->data->scrollUpSpaceSwitch),
                          fromSpaceID);
}

void BarManager::handlePostSwitchYield() {
    const std::optional<RunningApplication> previous = std::exchange(pendingPreviousApp_, std::nullopt);
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    // A switch ends where it lands, or where another switch of its display took its place.
    if (switchUnderWay_ &&
        (hasLanded(switchUnderWay_->targetSpaceID) ||
         switchTakenOver(spaceWindows_.getSpaces(connection), switchUnderWay_->activeAtStart,
                         spaceWindows_.getActiveSpaceIDs(connection), switchUnderWay_->targetSpaceID)))
        switchUnderWay_.reset();
    updateActiveSpacePanelVisibility();
    const uint64_t activeSpace = platform_.windowServer.getActiveSpace(connection);

    PostSwitchState state;
    if (pendingWindowMoveDrag_) state.windowMoveDragLanded = hasLanded(pendingWindowMoveDrag_->targetSpaceID);
    state.silicaMovePending = pendingSilicaWindowMove_.has_value();
    if (pendingFullscreenAXActivation_)
        state.fullscreenSwitchLanded = hasLanded(pendingFullscreenAXActivation_->targetSpaceID);
    state.hasPreviousApp = previous.has_value();
    state.previousAppIsProgram = previous && isProgram(*previous);
    const auto spaces = spaceWindows_.getSpaces(connection);
    for (uint64_t id : spaceWindows_.getActiveSpaceIDs(connection)) {
        state.fullScreenDesktopActive |= std::any_of(spaces.begin(), spaces.end(), [&](const SpaceInfo& s) {
            return s.spaceID == id && s.isFullScreen();
        });
    }
    const auto onActive = windowStore_->windowsOn(activeSpace);
    state.anyVisibleWindow =
        std::any_of(onActive.begin(), onActive.end(), [](const TrackedWindow& w) { return !w.isMinimized; });

    switch (postSwitchStep(state)) {
        case PostSwitchStep::finishWindowMoveDrag:
            finishPendingWindowMoveDrag(*pendingWindowMoveDrag_, previous);
            break;
        case PostSwitchStep::awaitWindowMoveDrag:
            pendingPreviousApp_ = previous;
            break;
        case PostSwitchStep::completeFullscreenSwitch:
            completeFullscreenProxySwitch(*pendingFullscreenAXActivation_);
            break;
        case PostSwitchStep::dropFullscreenSwitch: {
            const uint64_t target = pendingFullscreenAXActivation_->targetSpaceID;
            pendingFullscreenAXActivation_.reset();
            if (auto work = std::exchange(pendingFullscreenProxyCleanupWork_, nullptr)) work->cancel();
            if (auto it = fullscreenPanels_.find(target); it != fullscreenPanels_.end())
                it->second->orderOut();
            break;
        }
        case PostSwitchStep::activateFinder: {
            const auto finders = platform_.workspace.runningApplications(kFinderBundleIdentifier);
            if (!finders.empty()) {
                // Finder is asked on its worker, like any application; its answer matters to no one.
                const int32_t finder = finders.front().processIdentifier;
                platform_.appWorkers.ask(finder, [workspace = &platform_.workspace, finder] {
                    (void)workspace->activateApplication(finder, 0);
                });
            }
            break;
        }
        case PostSwitchStep::yieldToFinder:
            platform_.windowing.yieldActivationToApplicationWithBundleIdentifier(kFinderBundleIdentifier);
            break;
        case PostSwitchStep::yieldToPreviousApp:
            yieldActivationTo(previous->processIdentifier);
            break;
        case PostSwitchStep::leaveToSilicaMove:
        case PostSwitchStep::nothing:
            break;
    }
}

void BarManager::yieldActivationTo(int32_t pid) {
    // AppKit's, so the main thread's: it asks nothing of the application itself.
    platform_.windowing.yieldActivation(pid);
}

}  // namespace qv
