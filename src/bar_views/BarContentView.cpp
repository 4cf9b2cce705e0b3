#include "bar_views/BarContentView.h"

#include "bar_views/BarBackground.h"
#include "bar_views/MoveToGroups.h"
#include "bar_views/ShowDesktopButton.h"
#include "bar_views/SpaceSwitcher.h"
#include "platform/Windowing.h"

namespace qv {

namespace {

// The launcher's button at the bar's left end: a tile with the grid symbol, the whole height of
// the bar answering clicks. The bar's action is read when it is clicked.
struct MenuButton {
    BarMetrics metrics;
    std::weak_ptr<BarContentView> bar;

    bool operator==(const MenuButton& o) const { return metrics == o.metrics && sameOwner(bar, o.bar); }
    static Node build(const MenuButton& button) { return button.body(); }
    Node body() const {
        const BarMetrics& m = metrics;
        std::weak_ptr<BarContentView> weak = bar;
        auto action = [weak] {
            if (auto b = weak.lock(); b && b->onMenuTapped) b->onMenuTapped();
        };
        Node tile = ZStack({RoundedRectangle(0.6 * m.cornerRadius)->fillWith(Color::primary().opacity(0.1)),
                            SymbolImage("square.grid.2x2", Font::system(m.menuIconSize, FontWeight::medium),
                                        Color::primary())})
                        ->frame(m.menuButtonWidth, m.menuButtonHeight)
                        ->padding(EdgeInsets{0, m.scrollHorizontalPadding, 0, 0});
        Node label = ZStack(Alignment::leading(), {tile})
                         ->frame(m.menuButtonWidth + m.scrollHorizontalPadding + 5, barHeight(m.barSize))
                         ->contentShape();
        return Button(label, action)->help("Applications");
    }
};

// The desktop switcher as the bar shows it: the number it draws comes from `desktop`, and the
// switch is the bar's when it is asked for.
struct SwitcherInputs {
    Platform* platform;
    std::shared_ptr<BarViewModel> viewModel;
    BarMetrics metrics;
    uint64_t spaceID;
    DesktopPosition desktop;
    std::weak_ptr<BarContentView> bar;

    bool operator==(const SwitcherInputs& o) const {
        return platform == o.platform && viewModel == o.viewModel && metrics == o.metrics &&
               spaceID == o.spaceID && desktop == o.desktop && sameOwner(bar, o.bar);
    }
    static Node build(const SwitcherInputs& in) {
        std::weak_ptr<BarContentView> weak = in.bar;
        return SpaceSwitcher{.platform = *in.platform,
                             .viewModel = in.viewModel,
                             .metrics = in.metrics,
                             .spaceID = in.spaceID,
                             .position = in.desktop,
                             .onSwitchToSpace =
                                 [weak](uint64_t target) {
                                     auto b = weak.lock();
                                     if (b && b->onSpaceSwitchRequested) b->onSpaceSwitchRequested(target);
                                 },
                             .observeBarMoves = BarContentView::observeMoves(weak)}
            .body();
    }
};

struct ShowDesktopInputs {
    Dock* dock;
    BarMetrics metrics;
    bool operator==(const ShowDesktopInputs&) const = default;
    static Node build(const ShowDesktopInputs& in) { return ShowDesktopButton{*in.dock, in.metrics}.body(); }
};

Node backgroundOf(const BarBackground& background) {
    return background.body();
}

Node barDivider(const BarMetrics& m) {
    return Divider()->frame(std::nullopt, 0.7 * m.menuButtonHeight)->opacity(0.3);
}

}  // namespace

BarContentView::BarContentView(Platform& platform)
    : reduceTransparency(platform.windowing.accessibilityDisplayShouldReduceTransparency()),
      platform_(platform) {
    contextMenuMonitor_ =
        std::make_unique<ContextMenuSuppressionMonitor>(platform.windowing, [this](const Event& e) {
            if (rightPressSuppressesThumbnails(*thumbnailPopups, e.windowNumber))
                thumbnailPopups->suppressPendingThumbnailForContextMenuIfNeeded();
        });
}

BarContentView::~BarContentView() = default;

std::shared_ptr<Queue> BarContentView::mainQueue() const {
    return platform_.runtime.mainQueue();
}

// --- Inputs ---

std::optional<size_t> BarContentView::screenFilter(bool showOnAllDisplays,
                                                   std::optional<size_t> screenIndex) {
    return showOnAllDisplays ? screenIndex : std::nullopt;
}

std::vector<std::string> BarContentView::visiblePinned(const std::vector<std::string>& barPins,
                                                       const std::set<std::string>& bundleIDsWithWindows) {
    std::vector<std::string> out;
    for (const std::string& id : barPins) {
        if (!bundleIDsWithWindows.contains(id)) out.push_back(id);
    }
    return out;
}

BarContentView::Inputs BarContentView::inputs() const {
    Inputs in;
    fillInputs(in);
    return in;
}

void BarContentView::fillInputs(Inputs& in) const {
    in.screenFilter = screenFilter(settings->data->showOnAllDisplays, screenIndex);
    viewModel->displayItems(spaceID, in.screenFilter, in.items);
    in.bundleIDsWithWindows = viewModel->bundleIDsWithWindows(spaceID);
    in.visiblePinnedBundleIDs =
        visiblePinned(pinStore->pinnedAppIDs(PinDestination::bar()), in.bundleIDsWithWindows);
    in.visibleChipIDs.resize(in.items.size());
    for (size_t i = 0; i < in.items.size(); ++i) in.visibleChipIDs[i] = in.items[i].id();
    const auto& attention = *viewModel->badgeService->attentionByBundleID;
    in.pinned.resize(in.visiblePinnedBundleIDs.size());
    for (size_t i = 0; i < in.pinned.size(); ++i) {
        const std::string& b = in.visiblePinnedBundleIDs[i];
        in.pinned[i] = {viewModel->appName(b), viewModel->icon(b), viewModel->badge(b),
                        attention.contains(b)};
    }
    in.desktop = desktopPosition(*viewModel, spaceID);
}

bool BarContentView::inputsChanged() {
    if (!shownSpaceID_ || *shownSpaceID_ != spaceID) return true;
    fillInputs(next_);
    // The evaluation that follows at once takes these inputs as they are.
    nextIsFresh_ = !next_.sameAs(shown_);
    return nextIsFresh_;
}

void BarContentView::startObservingIfNeeded() {
    if (std::exchange(observing_, true)) return;
    // A refresh assigns every published value of the model at once; the display items stand for
    // all of them. Several changes in one turn make one evaluation, and none when this bar's inputs
    // stayed the same.
    observeInputs(viewModel->displayItemsBySpace);
    observeInputs(pinStore->pinnedApps);
    observe(settings->data);
    observeInputs(viewModel->badgeService->attentionByBundleID);
    std::weak_ptr<BarContentView> weak = weak_from_this();
    Windowing* windowing = &platform_.windowing;
    accessibilityObserver_ = platform_.workspace.notificationCenter().addObserver(
        notifications::kWorkspaceAccessibilityDisplayOptionsDidChange, mainQueue(),
        [weak, windowing](const Notification&) {
            auto self = weak.lock();
            if (!self) return;
            const bool reduce = windowing->accessibilityDisplayShouldReduceTransparency();
            if (std::exchange(self->reduceTransparency, reduce) != reduce) self->setNeedsUpdate();
        });
}

// --- The bar ---

Node BarContentView::body() {
    startObservingIfNeeded();
    // Given another desktop, the bar closes the pop-up of the old one at once.
    if (shownSpaceID_ && *shownSpaceID_ != spaceID) thumbnailPopups->dismissThumbnailPopupImmediate();
    shownSpaceID_ = spaceID;

    if (std::exchange(nextIsFresh_, false)) {
        std::swap(shown_, next_);
    } else {
        fillInputs(shown_);
    }
    updateChipContext();
    // Frames of chips that left the row are dropped; they are no one's insertion point.
    std::erase_if(chipFrames, [&](const auto& kv) {
        return std::find(shown_.visibleChipIDs.begin(), shown_.visibleChipIDs.end(), kv.first) ==
               shown_.visibleChipIDs.end();
    });
    std::erase_if(pinnedChipFrames, [&](const auto& kv) {
        return std::find(shown_.visiblePinnedBundleIDs.begin(), shown_.visiblePinnedBundleIDs.end(),
                         kv.first) == shown_.visiblePinnedBundleIDs.end();
    });

    // The parts are built from their inputs alone, and reused while those stay the same.
    const BarMetrics& m = metrics;
    std::weak_ptr<BarContentView> weak = weak_from_this();
    Node row = HStack(VerticalAlignment::center, 0,
                      {Memo(MenuButton{m, weak}, &MenuButton::build), barDivider(m),
                       ScrollView(Axis::horizontal, chipsRow(shown_), {.showsIndicators = false})
                           ->frame(Element::FlexFrame{.maxWidth = kInfinity}),
                       barDivider(m)->padding(EdgeInsets{0, 5, 0, 0}),
                       Memo(SwitcherInputs{&platform_, viewModel, m, spaceID, shown_.desktop, weak},
                            &SwitcherInputs::build),
                       Memo(ShowDesktopInputs{&platform_.dock, m}, &ShowDesktopInputs::build)});
    Platform* platform = &platform_;
    return row->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity})
        ->background(Memo(BarBackground{reduceTransparency, environment().colorScheme, settings->theme()},
                          &backgroundOf))
        // The bar's own menu, wherever a chip's does not answer the right click.
        ->contextMenu([weak, platform] {
            auto self = weak.lock();
            return barContextMenu(platform->dock, platform->workspace,
                                  self ? self->onSettingsRequested : nullptr);
        })
        ->onAppear([weak] {
            if (auto self = weak.lock()) self->startContextMenuSuppressionMonitor();
        })
        ->onDisappear([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->stopContextMenuSuppressionMonitor();
            self->thumbnailPopups->dismissThumbnailPopupImmediate();
        });
}

void BarContentView::updateChipContext() {
    const UserSettingsData& data = *settings->data;
    ChipContext next{.platform = &platform_,
                     .view = weak_from_this(),
                     .popups = thumbnailPopups,
                     .viewModel = viewModel,
                     .pinStore = pinStore,
                     .metrics = metrics,
                     .showChipTitles = data.showChipTitles,
                     .showWindowTitles = data.showWindowNamesInChips,
                     .usesLightBar = environment().colorScheme == ColorScheme::light};
    if (!chipContext_ || !chipContext_->sameAs(next))
        chipContext_ = std::make_shared<const ChipContext>(std::move(next));
}

BarContentView::ChipSlot BarContentView::slot(const std::string& id, bool pinnedRow,
                                              const std::vector<std::string>& visible) const {
    const std::optional<std::string>& draggedID = pinnedRow ? draggedPinnedBundleID : draggedChipID;
    return {.id = id,
            .dragged = draggedID == id,
            .offset = pinnedRow ? pinnedChipOffset(id, visible) : chipOffset(id, visible),
            .insertionIndex = pinnedRow ? pinnedDragInsertionIndex : chipDragInsertionIndex,
            .draggedID = draggedID};
}

Node BarContentView::chipsRow(const Inputs& in) {
    // Each chip is built from its inputs alone: one whose inputs did not change is reused.
    std::vector<Node> pinned;
    pinned.reserve(in.visiblePinnedBundleIDs.size());
    for (size_t i = 0; i < in.visiblePinnedBundleIDs.size(); ++i) {
        const std::string& b = in.visiblePinnedBundleIDs[i];
        PinnedChipInputs chip{.context = chipContext_,
                              .slot = slot(b, true, in.visiblePinnedBundleIDs),
                              .bundleID = b,
                              .appName = in.pinned[i].appName,
                              .icon = in.pinned[i].icon,
                              .badge = in.pinned[i].badge,
                              .wantsAttention = in.pinned[i].wantsAttention};
        pinned.push_back(Memo(std::move(chip), &BarContentView::pinnedChip)->id(b));
    }
    std::vector<Node> items;
    items.reserve(in.items.size());
    for (size_t i = 0; i < in.items.size(); ++i) {
        const std::string& id = in.visibleChipIDs[i];
        ItemChipInputs chip{.context = chipContext_,
                            .slot = slot(id, false, in.visibleChipIDs),
                            .item = std::make_shared<const DisplayItem>(in.items[i])};
        items.push_back(Memo(std::move(chip), &BarContentView::itemChip)->id(id));
    }
    std::weak_ptr<BarContentView> weak = weak_from_this();
    // The hover area is the chips with their padding, not the empty scroll space beside them.
    return HStack(VerticalAlignment::center, metrics.chipSpacing,
                  {Group(std::move(pinned)), Group(std::move(items))})
        ->padding(EdgeInsets::horizontal(kRowPadding))
        ->onHover([weak](bool hovering) {
            auto self = weak.lock();
            if (self && self->onChipsAreaHoverChanged) self->onChipsAreaHoverChanged(hovering);
        });
}

void BarContentView::reportFrame(bool pinnedRow, const std::string& id, const Rect& frame) {
    // Only the neighbours of a dragged window chip are placed by the frames: other moves change
    // nothing the bar draws.
    if (reorder::recordFrame(pinnedRow ? pinnedChipFrames : chipFrames, id, frame) && !pinnedRow &&
        draggedChipID)
        setNeedsUpdate();
}

double BarContentView::pinnedChipOffset(const std::string& id,
                                        const std::vector<std::string>& visiblePinnedBundleIDs) const {
    return reorder::pinnedChipOffset(id, visiblePinnedBundleIDs, draggedPinnedBundleID,
                                     pinnedDragInsertionIndex, pinnedDragTranslation,
                                     metrics.chipHeight + metrics.chipSpacing);
}

double BarContentView::chipOffset(const std::string& id,
                                  const std::vector<std::string>& visibleChipIDs) const {
    return reorder::chipOffset(id, visibleChipIDs, draggedChipID, chipDragInsertionIndex, chipDragTranslation,
                               chipDragStartFrames, chipFrames, metrics.chipSpacing);
}

// --- Menus ---

std::vector<MoveToDisplayGroup> BarContentView::moveToGroupsExcludingCurrentSpace() const {
    return qv::moveToGroupsExcludingCurrentSpace(*viewModel->spaces, spaceID, moveToDisplayLookup(platform_));
}

void BarContentView::startContextMenuSuppressionMonitor() {
    contextMenuMonitor_->start();
}

void BarContentView::stopContextMenuSuppressionMonitor() {
    contextMenuMonitor_->stop();
}

}  // namespace qv
