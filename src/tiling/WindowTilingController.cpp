#include "tiling/WindowTilingController.h"

#include <algorithm>

#include "tiling/TilingDisplays.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"

namespace qv {

std::shared_ptr<WindowTilingController> WindowTilingController::create(Platform& platform,
                                                                       std::shared_ptr<UserSettings> settings,
                                                                       BarHeight barHeight) {
    auto controller = std::make_shared<WindowTilingController>(Token{}, platform, std::move(settings),
                                                               std::move(barHeight));
    controller->wire();
    controller->applyEnabledState();
    return controller;
}

WindowTilingController::WindowTilingController(Token, Platform& platform,
                                               std::shared_ptr<UserSettings> settings, BarHeight barHeight)
    : platform_(platform),
      settings_(std::move(settings)),
      tap_(WindowTilingMouseTap::create(platform)),
      keyTap_(WindowTilingKeyTap::create(platform)),
      ax_(WindowTilingAX::create(platform)),
      barHeight_(std::move(barHeight)) {}

WindowTilingController::~WindowTilingController() {
    if (tapRetryWork_) tapRetryWork_->cancel();
    if (escapeWatch_) escapeWatch_->cancel();
    tap_->stop();
    keyTap_->stop();
    recordingObserver_.cancel();
}

void WindowTilingController::wire() {
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    tap_->onEvent = [weak](const WindowTilingMouseTap::Event& event) {
        auto self = weak.lock();
        if (!self) return;
        if (auto* down = std::get_if<WindowTilingMouseTap::Down>(&event)) {
            // A press while a session exists drops it first.
            if (self->session_) self->dropSession();
            self->beginSession(down->location, down->windows, down->hitWindowID);
        } else if (auto* dragged = std::get_if<WindowTilingMouseTap::Dragged>(&event)) {
            self->update(dragged->location);
        } else if (auto* up = std::get_if<WindowTilingMouseTap::Up>(&event)) {
            self->update(up->location);
            self->finishSession(up->location);
        }
    };
    keyTap_->onAction = [weak](WindowTilingKeyTap::Action action) {
        if (auto self = weak.lock()) self->handleKeyAction(action);
    };
    // The recorders post on the main thread; observed without a queue, the suspension holds before
    // their post returns. The mouse tap is not affected.
    std::weak_ptr<WindowTilingKeyTap> keyTap = keyTap_;
    recordingObserver_ = platform_.notifications.addObserver(
        kShortcutRecordingNotification, nullptr, [keyTap](const Notification& n) {
            const bool recording = isShortcutRecording(n);
            if (auto tap = keyTap.lock()) tap->setSuspended(recording);
        });
    // Only the four values that decide the taps; the current one and repeats are dropped.
    struct Watched {
        bool snapLayouts, resizeAdjacent, keyboardSnap;
        std::optional<uint32_t> modifiers;
        bool operator==(const Watched&) const = default;
    };
    auto watched = [](const UserSettingsData& d) {
        return Watched{d.snapLayoutsEnabled, d.resizeAdjacentWindowsEnabled, d.keyboardSnapEnabled,
                       d.keyboardSnapModifiers};
    };
    auto last = std::make_shared<Watched>(watched(settings()));
    std::shared_ptr<Queue> main = platform_.runtime.mainQueue();
    settingsCancellable_ =
        settings_->data.subscribeToChanges([weak, main, last, watched](const UserSettingsData& d) {
            Watched now = watched(d);
            if (now == *last) return;
            *last = now;
            main->async([weak] {
                if (auto self = weak.lock()) self->applyEnabledState();
            });
        });
}

// --- Gates ---

bool WindowTilingController::isSupported(SystemInfo& system) {
    return system.operatingSystemMajorVersion() >= kFirstSupportedMajorVersion;
}

bool WindowTilingController::isAnyFeatureEnabled() const {
    return isSupported(platform_.system) &&
           (settings().snapLayoutsEnabled || settings().resizeAdjacentWindowsEnabled);
}

bool WindowTilingController::isKeyboardSnapEnabled() const {
    return isSupported(platform_.system) && settings().keyboardSnapEnabled &&
           settings_->keyboardSnapModifiers().has_value();
}

bool WindowTilingController::tiledWindowMarginsEnabled() const {
    auto domain = platform_.preferences.openSuite(kWindowManagerDomain);
    if (!domain) return true;
    auto value = domain->object(kTiledMarginsKey);
    if (!value) return true;
    if (auto b = value->asBool()) return *b;
    if (auto n = value->asNumberObject(); n && n->type() == NumberObject::Type::Bool) return n->boolValue();
    return true;  // present but not a Boolean
}

bool WindowTilingController::isTilingAllowed(uint32_t displayID, const UserSettingsData& settings,
                                             Displays& displays) {
    auto uuid = displays.displayUUIDString(displayID);
    return !uuid || isTilingAllowedOnDisplay(*uuid, settings, displays);
}

bool WindowTilingController::tilingAllowed(uint32_t displayID) const {
    return isTilingAllowed(displayID, settings(), platform_.displays);
}

void WindowTilingController::applyEnabledState() {
    if (tapRetryWork_) tapRetryWork_->cancel();
    tapRetryWork_.reset();
    bool mouseFine = true;
    if (!isAnyFeatureEnabled()) {
        if (session_) dropSession();
        tap_->stop();
    } else {
        mouseFine = tap_->start();
    }
    bool keyFine = true;
    if (isKeyboardSnapEnabled()) {
        keyTap_->configure(*settings_->keyboardSnapModifiers());
        keyFine = keyTap_->start();
    } else {
        keyTap_->stop();
    }
    if (mouseFine && keyFine) return;
    // A wanted tap could not start (no permission to watch input yet): try again later.
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    tapRetryWork_ = platform_.runtime.mainQueue()->asyncAfter(kTapRetryInterval, [weak] {
        if (auto self = weak.lock()) self->applyEnabledState();
    });
}

// --- Displays ---

double WindowTilingController::primaryScreenHeight() const {
    const auto screens = platform_.displays.screens();
    const uint32_t main = platform_.displays.mainDisplayID();
    for (const Screen& s : screens) {
        if (SpaceWindows::displayID(s) == main) return s.frame.height();
    }
    return screens.empty() ? 0 : screens.front().frame.height();
}

std::optional<Screen> WindowTilingController::screen(uint32_t displayID) const {
    for (const Screen& s : platform_.displays.screens()) {
        if (SpaceWindows::displayID(s) == displayID) return s;
    }
    return std::nullopt;
}

Rect WindowTilingController::usableFrame(const Rect& screenFrame, const Rect& visibleFrame,
                                         double barHeight) {
    Rect usable = visibleFrame;
    if (barHeight > 0) {
        const double bottom = std::min(screenFrame.maxY() - barHeight - 1, visibleFrame.maxY());
        usable.size.height = bottom - visibleFrame.minY();
    }
    return usable;
}

std::optional<WindowTilingController::DisplayGeometry> WindowTilingController::geometry(
    uint32_t displayID) const {
    auto s = screen(displayID);
    if (!s) return std::nullopt;
    const double primary = primaryScreenHeight();
    DisplayGeometry g;
    g.screen = flipVertically(s->frame, primary);
    g.visible = flipVertically(s->visibleFrame, primary);
    g.usable = usableFrame(g.screen, g.visible, barHeight_ ? barHeight_(displayID) : 0);
    return g;
}

std::optional<uint32_t> WindowTilingController::displayID(const Rect& rect) const {
    const double primary = primaryScreenHeight();
    std::optional<uint32_t> best;
    double bestArea = 0;
    for (const Screen& s : platform_.displays.screens()) {
        auto id = SpaceWindows::displayID(s);
        if (!id) continue;
        const Rect overlap = flipVertically(s.frame, primary).intersection(rect);
        const double area = overlap.isEmpty() ? 0 : overlap.area();
        // Equal parts go to the screen listed first.
        if (area > bestArea) {
            bestArea = area;
            best = id;
        }
    }
    if (best) return best;
    return displayAt(rect.origin);
}

std::optional<uint32_t> WindowTilingController::displayAt(Point point) const {
    std::vector<uint32_t> found;
    if (platform_.displays.getDisplaysWithPoint(point, 1, found) != 0 || found.empty()) return std::nullopt;
    return found.front();
}

std::optional<Rect> WindowTilingController::currentFrame(uint32_t windowID) const {
    auto entries =
        windowInfoList(platform_.windowServer.copyWindowList(windowlist::kOptionIncludingWindow, windowID));
    if (!entries || entries->empty()) return std::nullopt;
    for (const CGWindowInfo& info : *entries) {
        if (info.windowID() == windowID) return info.bounds();
    }
    return entries->front().bounds();
}

Rect WindowTilingController::toScreenCoordinates(const Rect& topLeft) const {
    return flipVertically(topLeft, primaryScreenHeight());
}

// --- Panels ---

const std::shared_ptr<SnapLayoutPanel>& WindowTilingController::flyoutPanel() {
    if (!flyoutPanel_) flyoutPanel_ = SnapLayoutPanel::create(platform_.windowing, platform_.runtime);
    return flyoutPanel_;
}

const std::shared_ptr<SnapPreviewPanel>& WindowTilingController::previewPanel() {
    if (!previewPanel_) previewPanel_ = SnapPreviewPanel::create(platform_.windowing, platform_.runtime);
    return previewPanel_;
}

void WindowTilingController::hideFlyout() {
    if (escapeWatch_) escapeWatch_->cancel();
    escapeWatch_.reset();
    if (flyoutPanel()->isVisible()) {
        flyoutPanel_->layoutView()->setHighlightedZone(std::nullopt);
        flyoutPanel_->orderOut();
    }
    if (previewPanel()->isVisible()) previewPanel_->orderOut();
}

void WindowTilingController::dropSession() {
    session_.reset();
    hideFlyout();
    ax_->reset();
}

}  // namespace qv
