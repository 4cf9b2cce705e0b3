#include "bar_views/ThumbnailHoverController.h"

#include "bar_views/BarContentView.h"
#include "bar_views/PopupPlacement.h"
#include "bar_views/ThumbnailPlacement.h"
#include "previews/ThumbnailPopupContent.h"
#include "previews/ThumbnailPopupShell.h"

namespace qv {

ThumbnailHoverController::ThumbnailHoverController(Platform& platform, ThumbnailHoverHost host)
    : platform_(platform), host_(std::move(host)) {}

std::shared_ptr<ThumbnailHoverController> ThumbnailHoverController::forBar(
    Platform& platform, const std::shared_ptr<BarContentView>& view) {
    std::weak_ptr<BarContentView> weak = view;
    Windowing* windowing = &platform.windowing;
    ThumbnailHoverHost host;
    host.viewModel = view->viewModel;
    host.service = ThumbnailService::shared();
    host.barSize = [weak] {
        auto v = weak.lock();
        return v ? v->metrics.barSize : BarSize::medium;
    };
    host.spaceID = [weak] {
        auto v = weak.lock();
        return v ? v->spaceID : 0;
    };
    host.displayItems = [weak] {
        auto v = weak.lock();
        if (!v) return std::vector<DisplayItem>{};
        return v->viewModel->displayItems(
            v->spaceID, BarContentView::screenFilter(v->settings->data->showOnAllDisplays, v->screenIndex));
    };
    host.preferredScreen = [windowing](std::optional<Rect> sourceWindowFrame, Point fallbackPoint) {
        return preferredScreen(*windowing, sourceWindowFrame, fallbackPoint);
    };
    host.fadeIn = [](Panel& panel, Seconds duration) { fadeIn(panel, duration); };
    host.moveToGroups = [weak] {
        auto v = weak.lock();
        return v ? v->moveToGroupsExcludingCurrentSpace() : std::vector<MoveToDisplayGroup>{};
    };
    host.activateWindowDeferred = [weak](uint32_t windowID) {
        if (auto v = weak.lock()) v->activateWindowDeferred(windowID);
    };
    host.onThumbnailWillShow = [weak] {
        auto v = weak.lock();
        if (v && v->onThumbnailWillShow) v->onThumbnailWillShow();
    };
    host.onMoveWindowToSpaceRequested = [weak](uint32_t windowID, uint64_t from, uint64_t to) {
        auto v = weak.lock();
        if (v && v->onMoveWindowToSpaceRequested) v->onMoveWindowToSpaceRequested(windowID, from, to);
    };
    return std::make_shared<ThumbnailHoverController>(platform, std::move(host));
}

ThumbnailHoverController::~ThumbnailHoverController() {
    if (showTimer_) showTimer_->cancel();
    if (dismissTimer_) dismissTimer_->cancel();
    stopMouseStabilityMonitoring();
    if (auto panel = std::exchange(activeThumbnailPanel_, nullptr)) {
        panel->onDismissHandler = nullptr;
        panel->close();
    }
}

// --- Hover ---

void ThumbnailHoverController::handleChipHover(bool isHovering, const HoverTarget& target) {
    if (!isHovering) {
        suppressThumbnailForCurrentHover_ = false;
        pointerOnChip_ = false;
        stopMouseStabilityMonitoring();
        if (showTimer_) showTimer_->cancel();
        // The target stays: a pop-up that is open still belongs to it until it closes.
        startDismissTimer();
        return;
    }
    pendingHoverTarget_ = target;
    pointerOnChip_ = true;
    if (showTimer_) showTimer_->cancel();
    if (dismissTimer_) dismissTimer_->cancel();
    if (suppressThumbnailForCurrentHover_) return;
    prefetchThumbnails(target);
    if (activeThumbnailPanel_) {
        if (thumbnailTargetID_ == target.id()) return;
        // From one chip's pop-up to the next without a delay, sliding from where the last stood.
        if (host_.onThumbnailWillShow) host_.onThumbnailWillShow();
        show(target, lastPopupFrame_);
        return;
    }
    startMouseStabilityMonitoring();
    restartShowTimer();
}

void ThumbnailHoverController::prefetchThumbnails(const HoverTarget& target) {
    if (!host_.service) return;
    const auto items = host_.displayItems ? host_.displayItems() : std::vector<DisplayItem>{};
    host_.service->prefetch(thumbnailPrefetchWindowIDs(items, target.id()));
}

void ThumbnailHoverController::startMouseStabilityMonitoring() {
    stopMouseStabilityMonitoring();
    std::weak_ptr<ThumbnailHoverController> weak = weak_from_this();
    mouseMovementMonitor_ =
        platform_.windowing.addLocalMonitor(eventMask(EventType::mouseMoved), [weak](const Event& event) {
            if (auto self = weak.lock()) self->restartShowTimer();
            return std::optional<Event>(event);
        });
}

void ThumbnailHoverController::stopMouseStabilityMonitoring() {
    if (!mouseMovementMonitor_) return;
    platform_.windowing.removeMonitor(std::exchange(mouseMovementMonitor_, 0));
}

void ThumbnailHoverController::restartShowTimer() {
    if (showTimer_) showTimer_->cancel();
    // The target as it is now: a later hover re-arms the timer with its own.
    std::optional<HoverTarget> captured = pendingHoverTarget_;
    std::weak_ptr<ThumbnailHoverController> weak = weak_from_this();
    showTimer_ = platform_.runtime.mainQueue()->asyncAfter(kThumbnailShowDelay, [weak, captured] {
        auto self = weak.lock();
        if (!self) return;
        self->showTimer_ = nullptr;
        self->stopMouseStabilityMonitoring();
        if (!captured) return;
        if (self->host_.onThumbnailWillShow) self->host_.onThumbnailWillShow();
        self->show(*captured, std::nullopt);
    });
}

void ThumbnailHoverController::startDismissTimer() {
    if (dismissTimer_) dismissTimer_->cancel();
    std::weak_ptr<ThumbnailHoverController> weak = weak_from_this();
    dismissTimer_ = platform_.runtime.mainQueue()->asyncAfter(kThumbnailDismissDelay, [weak] {
        auto self = weak.lock();
        if (self && !self->isThumbnailPopupHovered_) self->dismissThumbnailPopupImmediate();
    });
}

void ThumbnailHoverController::dismissThumbnailPopupImmediate() {
    if (auto timer = std::exchange(showTimer_, nullptr)) timer->cancel();
    if (auto timer = std::exchange(dismissTimer_, nullptr)) timer->cancel();
    stopMouseStabilityMonitoring();
    if (auto panel = std::exchange(activeThumbnailPanel_, nullptr)) panel->close();
    thumbnailTargetID_.reset();
    isThumbnailPopupHovered_ = false;
    pendingHoverTarget_.reset();
}

void ThumbnailHoverController::suppressPendingThumbnailForContextMenuIfNeeded() {
    if (!pendingHoverTarget_ && !isShowPending() && !activeThumbnailPanel_) return;
    // Only a menu over the chip under the pointer keeps that chip's pop-up shut; a right click
    // anywhere else closes the pop-up and leaves the next chip alone.
    if (pointerOnChip_) suppressThumbnailForCurrentHover_ = true;
    dismissThumbnailPopupImmediate();
}

bool ThumbnailHoverController::isThumbnailPopupWindow(uint32_t windowNumber) const {
    return activeThumbnailPanel_ && activeThumbnailPanel_->windowNumber() == windowNumber;
}

// --- Showing ---

void ThumbnailHoverController::show(const HoverTarget& target, std::optional<Rect> animateFrom) {
    if (const ChipData* chip = target.chip()) {
        showSingleThumbnailPopup(*chip, target, animateFrom);
    } else if (const GroupedChipData* group = target.groupData()) {
        showGroupedThumbnailPopup(*group, target, animateFrom);
    }
}

ThumbnailContentEnvironment ThumbnailHoverController::contentEnvironment() {
    return {host_.service, ThumbnailContentEnvironment::genericApplicationIcon(platform_.workspace),
            platform_.windowing.systemAppearanceIsDark() ? ColorScheme::dark : ColorScheme::light,
            platform_.windowing.screens().size()};
}

void ThumbnailHoverController::showSingleThumbnailPopup(const ChipData& chip, const HoverTarget& target,
                                                        std::optional<Rect> animateFrom) {
    // Without a screen nothing is built, and an open pop-up stays as it is.
    auto screen = host_.preferredScreen(target.sourceWindowFrame, target.hoverPoint);
    if (!screen) return;
    const BarSize size = host_.barSize();
    const double centerX =
        anchorXNearerPointer(target.chipFrame, target.sourceWindowFrame, target.hoverPoint);
    const Rect frame = thumbnailPopupFrame(size, kSinglePopupWidth, centerX, *screen);
    auto content = std::make_shared<SingleThumbnailContent>();
    content->barSize = size;
    content->chip = chip;
    content->appIcon = chip.icon;
    content->environment = contentEnvironment();
    const uint32_t id = chip.id;
    content->onTap = [activate = host_.activateWindowDeferred, id] {
        if (activate) activate(id);
    };
    std::weak_ptr<BarViewModel> model = host_.viewModel;
    content->onMinimize = [model, id] {
        if (auto m = model.lock()) m->minimizeWindow(id);
    };
    content->onClose = [model, id] {
        if (auto m = model.lock()) m->closeWindow(id);
    };
    present(target.id(), frame, centerX, content, animateFrom);
}

void ThumbnailHoverController::showGroupedThumbnailPopup(const GroupedChipData& group,
                                                         const HoverTarget& target,
                                                         std::optional<Rect> animateFrom) {
    auto screen = host_.preferredScreen(target.sourceWindowFrame, target.hoverPoint);
    if (!screen) return;
    const BarSize size = host_.barSize();
    const double centerX =
        anchorXNearerPointer(target.chipFrame, target.sourceWindowFrame, target.hoverPoint);
    const double width = groupedThumbnailPopupWidth(group.windowIDs.size(), *screen);
    const Rect frame = thumbnailPopupFrame(size, width, centerX, *screen);
    const uint64_t spaceID = host_.spaceID();
    std::weak_ptr<ThumbnailHoverController> weak = weak_from_this();
    std::weak_ptr<BarViewModel> model = host_.viewModel;
    auto content = std::make_shared<GroupedThumbnailContent>();
    content->barSize = size;
    content->group = group;
    content->spaceID = spaceID;
    content->viewModel = host_.viewModel;
    content->maxAvailableWidth = screen->visibleFrame.width() - 2 * ThumbnailPopupPanel::kScreenMargin;
    content->environment = contentEnvironment();
    content->onWindowSelected = host_.activateWindowDeferred;
    content->onWindowMinimize = [model](uint32_t id) {
        if (auto m = model.lock()) m->minimizeWindow(id);
    };
    content->onWindowClose = [model](uint32_t id) {
        if (auto m = model.lock()) m->closeWindow(id);
    };
    content->onWindowMoveToSpace = [move = host_.onMoveWindowToSpaceRequested, spaceID](uint32_t id,
                                                                                        uint64_t to) {
        if (move) move(id, spaceID, to);
    };
    content->moveToGroups = host_.moveToGroups ? host_.moveToGroups() : std::vector<MoveToDisplayGroup>{};
    auto panel = present(target.id(), frame, centerX, content, animateFrom);
    // Only while its own panel is the open one: a closed pop-up's content has no say.
    std::weak_ptr<ThumbnailPopupPanel> own = panel;
    content->onWidthChange = [weak, own, centerX](double w) {
        auto self = weak.lock();
        auto panel = own.lock();
        if (self && panel && self->activeThumbnailPanel_ == panel) panel->updateWidthAndCenter(w, centerX);
    };
    content->onEmpty = [weak, own] {
        auto self = weak.lock();
        if (self && self->activeThumbnailPanel_ && self->activeThumbnailPanel_ == own.lock())
            self->dismissThumbnailPopupImmediate();
    };
}

std::shared_ptr<ThumbnailPopupPanel> ThumbnailHoverController::present(const std::string& targetID,
                                                                       Rect frame, double centerX,
                                                                       std::shared_ptr<View> content,
                                                                       std::optional<Rect> animateFrom) {
    // Never reused: each pop-up is a panel of its own.
    if (auto old = std::exchange(activeThumbnailPanel_, nullptr)) old->close();
    std::weak_ptr<ThumbnailHoverController> weak = weak_from_this();
    ThumbnailPopupPanel::Handlers handlers{
        .onDismiss =
            [weak, targetID] {
                auto self = weak.lock();
                // A pop-up replaced by a newer one leaves the newer one's state alone.
                if (!self || self->thumbnailTargetID_ != targetID) return;
                self->activeThumbnailPanel_ = nullptr;
                self->thumbnailTargetID_.reset();
            },
        .onMouseEntered =
            [weak] {
                auto self = weak.lock();
                if (!self) return;
                self->isThumbnailPopupHovered_ = true;
                if (self->dismissTimer_) self->dismissTimer_->cancel();
            },
        .onMouseExited =
            [weak] {
                auto self = weak.lock();
                if (!self) return;
                self->isThumbnailPopupHovered_ = false;
                self->startDismissTimer();
            },
    };
    auto panel = ThumbnailPopupPanel::make(platform_.windowing, platform_.runtime, frame, centerX,
                                           std::move(content), std::move(handlers));
    activeThumbnailPanel_ = panel;
    thumbnailTargetID_ = targetID;
    lastPopupFrame_ = frame;
    if (!animateFrom) {
        host_.fadeIn(*panel, kThumbnailFadeInDuration);
        return panel;
    }
    panel->setFrame(*animateFrom, false);
    panel->setAlphaValue(1);
    panel->orderFrontRegardless();
    panel->animateToFrame(frame, centerX);
    return panel;
}

}  // namespace qv
