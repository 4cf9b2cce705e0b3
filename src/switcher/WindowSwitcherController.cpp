#include "switcher/WindowSwitcherController.h"

#include <algorithm>
#include <cmath>

#include "platform/Windowing.h"
#include "switcher/SwitcherRules.h"

namespace qv {

using TapEvent = WindowSwitcherKeyTap::Event;
using Direction = WindowSwitcherKeyTap::Direction;

bool WindowSwitcherController::isSupported(SystemInfo& system) {
    return system.operatingSystemMajorVersion() >= kFirstSupportedMajorVersion;
}

std::shared_ptr<WindowSwitcherController> WindowSwitcherController::create(
    Platform& platform, std::shared_ptr<WindowStore> windowStore, std::shared_ptr<BarViewModel> viewModel,
    std::shared_ptr<UserSettings> settings, std::shared_ptr<ThumbnailService> thumbnails) {
    auto controller = std::make_shared<WindowSwitcherController>(Token{}, platform, std::move(windowStore),
                                                                 std::move(viewModel), std::move(settings),
                                                                 std::move(thumbnails));
    controller->start();
    return controller;
}

WindowSwitcherController::WindowSwitcherController(Token, Platform& platform,
                                                   std::shared_ptr<WindowStore> windowStore,
                                                   std::shared_ptr<BarViewModel> viewModel,
                                                   std::shared_ptr<UserSettings> settings,
                                                   std::shared_ptr<ThumbnailService> thumbnails)
    : platform_(platform),
      windowStore_(std::move(windowStore)),
      viewModel_(std::move(viewModel)),
      settings_(std::move(settings)),
      thumbnails_(std::move(thumbnails)),
      isSupported_(isSupported(platform.system)),
      source_(std::make_unique<WindowSwitcherWindowSource>(platform, windowStore_)),
      keyTap_(WindowSwitcherKeyTap::create(platform)),
      model_(std::make_shared<WindowSwitcherModel>()) {}

WindowSwitcherController::~WindowSwitcherController() {
    if (showWork_) showWork_->cancel();
    if (leaveCaptureWork_) leaveCaptureWork_->cancel();
    if (tapRetryWork_) tapRetryWork_->cancel();
    cancelCaptures();
    keyTap_->stop();
    if (panel_) panel_->orderOut();
}

void WindowSwitcherController::start() {
    source_->recency.seedIfEmpty(source_->currentStackingOrder());
    lastStoreFocusedWindowID_ = windowStore_->focusedWindowID();
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    if (auto front = platform_.workspace.frontmostApplication())
        recordFocusedWindow(front->processIdentifier);
    keyTap_->onEvent = [weak](TapEvent event) {
        if (auto self = weak.lock()) self->handle(event);
    };
    model_->onHover = [weak](int index) {
        if (auto self = weak.lock()) self->handleHover(index);
    };
    model_->onClick = [weak](int index) {
        if (auto self = weak.lock()) self->handleClick(index);
    };

    auto main = platform_.runtime.mainQueue();
    NotificationCenter& workspaceCenter = platform_.workspace.notificationCenter();
    workspaceObservers_.push_back(workspaceCenter.addObserver(
        notifications::kWorkspaceDidActivateApplication, main, [weak](const Notification& n) {
            auto self = weak.lock();
            auto pid = n.userInfo[notifications::kWorkspaceApplicationKey].asNumberObject();
            if (self && pid) self->handleAppActivated(pid->int32Value());
        }));
    workspaceObservers_.push_back(workspaceCenter.addObserver(notifications::kWorkspaceActiveSpaceDidChange,
                                                              main, [weak](const Notification&) {
                                                                  auto self = weak.lock();
                                                                  if (self && self->phase_ != Phase::idle)
                                                                      self->endSession();
                                                              }));
    recordingObserver_ = platform_.notifications.addObserver(
        kShortcutRecordingNotification, main, [weak](const Notification& n) {
            if (auto self = weak.lock()) self->handleRecording(isShortcutRecording(n));
        });

    // Only changes of the switcher's own settings matter, and never the value read at start-up.
    const UserSettingsData& current = *settings_->data;
    lastSettingsTriple_ = SettingsTriple{current.windowSwitcherEnabled, current.windowSwitcherKeyCode,
                                         current.windowSwitcherModifiers};
    settingsCancellable_ = settings_->data.subscribeToChanges([weak, main](const UserSettingsData& data) {
        auto self = weak.lock();
        if (!self) return;
        SettingsTriple triple{data.windowSwitcherEnabled, data.windowSwitcherKeyCode,
                              data.windowSwitcherModifiers};
        if (triple == self->lastSettingsTriple_) return;
        self->lastSettingsTriple_ = triple;
        main->async([weak] {
            if (auto self = weak.lock()) self->applyEnabledState();
        });
    });

    applyEnabledState();
    panel_ = WindowSwitcherPanel::make(platform_.windowing, platform_.runtime, platform_.workspace, model_);
}

bool WindowSwitcherController::isEnabled() const {
    return settings_->data->windowSwitcherEnabled;
}

void WindowSwitcherController::applyEnabledState() {
    if (tapRetryWork_) {
        tapRetryWork_->cancel();
        tapRetryWork_.reset();
    }
    if (isSupported_ && isEnabled()) {
        const SwitcherTrigger t = switcherTrigger(settings_->windowSwitcherShortcut());
        keyTap_->setTrigger(t.keyCode, t.flags);
        if (keyTap_->start()) return;
        std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
        tapRetryWork_ = makeWorkItem([weak] {
            if (auto self = weak.lock()) self->applyEnabledState();
        });
        platform_.runtime.mainQueue()->asyncAfter(kTapRetryDelay, tapRetryWork_);
        return;
    }
    if (phase_ != Phase::idle) endSession();
    keyTap_->stop();
}

void WindowSwitcherController::handle(const TapEvent& event) {
    switch (event.kind) {
        case TapEvent::Kind::tab:
            if (phase_ == Phase::idle) {
                beginSession(event.backwards);
                return;
            }
            moveSelection(event.backwards ? -1 : 1, true);
            break;
        case TapEvent::Kind::move: {
            if (phase_ == Phase::idle) return;
            const int columns = model_->layout->columns;
            switch (event.direction) {
                case Direction::previous:
                    moveSelection(-1, true);
                    break;
                case Direction::next:
                    moveSelection(1, true);
                    break;
                case Direction::up:
                    moveSelection(-columns, false);
                    break;
                case Direction::down:
                    moveSelection(columns, false);
                    break;
            }
            break;
        }
        case TapEvent::Kind::commit:
            if (phase_ != Phase::idle) commit();
            return;
        case TapEvent::Kind::cancel:
            if (phase_ != Phase::idle) endSession();
            return;
    }
    if (phase_ == Phase::pending) showPanel();
}

Point WindowSwitcherController::pointerLocation() {
    if (auto event = platform_.events.create()) return event->location;
    return windowServerPoint(platform_.windowing.mouseLocation(), platform_.displays.screens(),
                             platform_.displays.mainDisplayID());
}

void WindowSwitcherController::beginSession(bool backwards) {
    if (!isSupported_ || !isEnabled()) {
        keyTap_->endSession();
        return;
    }
    auto draft = source_->draft(pointerLocation());
    if (!draft) {
        keyTap_->endSession();
        return;
    }
    if (!draft->asksApplications()) {
        openSession(source_->complete(*draft, {}), backwards, false);
        return;
    }
    // The session opens at once with what needs no application's answer (the store's windows, its
    // focused window as a first guess); the answers complete it when they come.
    if (!openSession(source_->provisionalSnapshot(*draft, windowStore_->focusedWindowID()), backwards, true))
        return;
    auto asked = std::make_shared<const WindowSwitcherWindowSource::Draft>(std::move(*draft));
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    source_->ask(*asked,
                 [weak, asked, serial = sessionSerial_, backwards](WindowSwitcherWindowSource::Answers a) {
                     if (auto self = weak.lock()) self->completeSession(serial, *asked, a, backwards);
                 });
}

bool WindowSwitcherController::openSession(SwitcherSnapshot snap, bool backwards, bool answersToCome) {
    if (snap.entries.empty() && !answersToCome) {
        keyTap_->endSession();
        return false;
    }
    ++sessionSerial_;
    selectionMoved_ = false;
    showDue_ = false;
    const int count = static_cast<int>(snap.entries.size());
    const int selection =
        count == 0 ? 0 : initialSelection(count, backwards, snap.focusedWindowID, snap.entries.front().id);
    snapshot_ = std::move(snap);

    model_->barSize = barSizeFromSetting(settings_->data->barSize);
    model_->entries = snapshot_->entries;
    model_->selectedIndex = selection;
    model_->layout = SwitcherMetrics::layout(count, snapshot_->screen, *model_->barSize);
    phase_ = Phase::pending;

    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    showWork_ = makeWorkItem([weak] {
        auto self = weak.lock();
        if (self && self->phase_ == Phase::pending) self->showPanel();
    });
    platform_.runtime.mainQueue()->asyncAfter(kShowDelay, showWork_);
    startWatchdog();
    return true;
}

void WindowSwitcherController::completeSession(uint64_t serial,
                                               const WindowSwitcherWindowSource::Draft& draft,
                                               const WindowSwitcherWindowSource::Answers& answers,
                                               bool backwards) {
    // Answers of a session already over change nothing, not even the history.
    if (serial != sessionSerial_ || phase_ == Phase::idle) return;
    SwitcherSnapshot snap = source_->complete(draft, answers);
    if (snap.entries.empty()) {
        endSession();
        return;
    }
    const int count = static_cast<int>(snap.entries.size());
    // A selection the user made stays on its window; otherwise the preselection follows the answers.
    int selection = initialSelection(count, backwards, snap.focusedWindowID, snap.entries.front().id);
    if (auto chosen = model_->selectedEntry(); selectionMoved_ && chosen) {
        auto it = std::find_if(snap.entries.begin(), snap.entries.end(),
                               [&](const SwitcherEntry& e) { return e.id == chosen->id; });
        if (it != snap.entries.end()) selection = static_cast<int>(it - snap.entries.begin());
    }
    snapshot_ = std::move(snap);
    model_->entries = snapshot_->entries;
    model_->selectedIndex = selection;
    model_->layout = SwitcherMetrics::layout(count, snapshot_->screen, *model_->barSize);
    if (phase_ == Phase::visible) {
        panel_->setFrame(model_->layout->frame, false);
        addCachedThumbnails();
        refreshThumbnails();
    } else if (showDue_) {
        showPanel();
    }
}

void WindowSwitcherController::moveSelection(int delta, bool wrap) {
    const int count = static_cast<int>(model_->entries->size());
    if (count == 0) return;
    selectionMoved_ = true;
    model_->selectedIndex = movedSelection(*model_->selectedIndex, delta, count, wrap);
}

void WindowSwitcherController::showPanel() {
    if (phase_ != Phase::pending || !snapshot_) return;
    // Nothing to show until the applications' answers bring a window.
    if (model_->entries->empty()) {
        showDue_ = true;
        return;
    }
    if (showWork_) {
        showWork_->cancel();
        showWork_.reset();
    }
    // Whatever pictures are cached, of any age: the panel opens at once and the refresh follows.
    // (The session's end left no pictures behind.)
    addCachedThumbnails();
    model_->presentationID = *model_->presentationID + 1;
    panel_->setFrame(model_->layout->frame, false);
    panel_->setAlphaValue(0);
    panel_->orderFrontRegardless();
    panel_->animateAlpha(1.0, Animation::easeOut(kFadeInDuration));
    mouseLocationAtShow_ = platform_.windowing.mouseLocation();
    phase_ = Phase::visible;
    refreshThumbnails();
}

void WindowSwitcherController::addCachedThumbnails() {
    if (!thumbnails_) return;
    auto pictures = *model_->thumbnails;
    for (const SwitcherEntry& entry : *model_->entries) {
        if (pictures.contains(entry.id)) continue;
        if (auto picture = thumbnails_->cachedSwitcherThumbnail(entry.id))
            pictures.emplace(entry.id, picture);
    }
    model_->thumbnails = std::move(pictures);
}

void WindowSwitcherController::refreshThumbnails() {
    cancelCaptures();
    if (!thumbnails_) return;
    std::vector<uint32_t> stale;
    for (uint32_t id : captureOrder(*model_->entries, *model_->selectedIndex)) {
        if (!thumbnails_->isSwitcherThumbnailFresh(id, kThumbnailMaxAge)) stale.push_back(id);
    }
    if (stale.empty()) return;
    captureTask_ = makeCancellationToken();
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    // The service runs four at a time in the order asked, so the selected card's picture comes first.
    for (uint32_t id : stale) {
        thumbnails_->captureSwitcherThumbnail(
            id, captureTask_, [weak, token = captureTask_, id](std::shared_ptr<const Image> picture) {
                if (!picture || token->isCancelled()) return;
                auto self = weak.lock();
                if (!self || self->phase_ != Phase::visible) return;
                // In place: a copy of every picture per arrival would grow with the square of them.
                self->model_->thumbnails.update([&](auto& pictures) { pictures[id] = std::move(picture); });
            });
    }
}

void WindowSwitcherController::cancelCaptures() {
    if (!captureTask_) return;
    captureTask_->cancel();
    captureTask_.reset();
}

void WindowSwitcherController::commit() {
    if (phase_ == Phase::idle) return;
    const std::optional<SwitcherEntry> entry = model_->selectedEntry();
    endSession();
    if (!entry) return;
    source_->recency.record(entry->id);
    if (entry->isTracked && windowStore_->windows().contains(entry->id)) {
        viewModel_->activateWindow(entry->id, false);
    } else {
        viewModel_->activateUntrackedWindow(entry->id, entry->pid, entry->isMinimized);
    }
}

void WindowSwitcherController::endSession() {
    phase_ = Phase::idle;
    snapshot_.reset();
    if (showWork_) {
        showWork_->cancel();
        showWork_.reset();
    }
    if (watchdog_) {
        watchdog_->cancel();
        watchdog_.reset();
    }
    cancelCaptures();
    mouseLocationAtShow_.reset();
    keyTap_->endSession();
    panel_->orderOut();
    model_->thumbnails = std::map<uint32_t, std::shared_ptr<const Image>>{};
}

void WindowSwitcherController::startWatchdog() {
    if (watchdog_) watchdog_->cancel();
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    watchdog_ = platform_.runtime.mainQueue()->scheduleTimer(kWatchdogInterval, kWatchdogInterval, 0, [weak] {
        auto self = weak.lock();
        if (!self || self->phase_ == Phase::idle) return;
        // A release the tap never saw still ends the session.
        const CGEventFlags held =
            self->platform_.eventTaps.eventSourceFlagsState(EventSourceStateID::combinedSessionState);
        if ((self->keyTap_->triggerFlags() & ~held) != 0) self->commit();
    });
}

void WindowSwitcherController::handleHover(int index) {
    if (phase_ != Phase::visible || index < 0 || index >= static_cast<int>(model_->entries->size())) return;
    if (mouseLocationAtShow_) {
        const Point now = platform_.windowing.mouseLocation();
        if (std::hypot(now.x - mouseLocationAtShow_->x, now.y - mouseLocationAtShow_->y) <
            kPointerMoveThreshold)
            return;
        mouseLocationAtShow_.reset();
    }
    selectionMoved_ = true;
    model_->selectedIndex = index;
}

void WindowSwitcherController::handleClick(int index) {
    if (phase_ != Phase::visible || index < 0 || index >= static_cast<int>(model_->entries->size())) return;
    model_->selectedIndex = index;
    commit();
}

void WindowSwitcherController::storeDidChange() {
    const std::optional<uint32_t> now = windowStore_->focusedWindowID();
    const std::optional<uint32_t> old = lastStoreFocusedWindowID_;
    if (now == old) return;
    if (old) scheduleLeaveCapture(*old);
    if (now) source_->recency.record(*now);
    lastStoreFocusedWindowID_ = now;
}

void WindowSwitcherController::scheduleLeaveCapture(uint32_t windowID) {
    if (!isSupported_ || !isEnabled()) return;
    if (leaveCaptureWork_) leaveCaptureWork_->cancel();
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    leaveCaptureWork_ = makeWorkItem([weak, windowID] {
        auto self = weak.lock();
        if (!self) return;
        auto tracked = self->windowStore_->windows().find(windowID);
        if (tracked == self->windowStore_->windows().end() || tracked->second.isMinimized) return;
        auto& service = self->thumbnails_;
        if (!service || service->isSwitcherThumbnailFresh(windowID, kLeaveCaptureMaxAge)) return;
        // Lands in the cache for the next opening; nobody waits for it.
        service->captureSwitcherThumbnail(windowID, nullptr, nullptr);
    });
    platform_.runtime.mainQueue()->asyncAfter(kLeaveCaptureDelay, leaveCaptureWork_);
}

void WindowSwitcherController::handleAppActivated(int32_t pid) {
    if (pid == platform_.system.currentProcessID()) return;
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kActivationRecordDelay, makeWorkItem([weak, pid] {
                                                  if (auto self = weak.lock()) self->recordFocusedWindow(pid);
                                              }));
}

void WindowSwitcherController::recordFocusedWindow(int32_t pid) {
    std::weak_ptr<WindowSwitcherController> weak = weak_from_this();
    source_->focusedWindowID(pid, [weak](std::optional<uint32_t> id) {
        auto self = weak.lock();
        if (self && id) self->source_->recency.record(*id);
    });
}

void WindowSwitcherController::handleRecording(bool recording) {
    if (recording && phase_ != Phase::idle) endSession();
    keyTap_->setSuspended(recording);
}

}  // namespace qv
