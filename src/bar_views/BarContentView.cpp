#include "bar_views/BarContentView.h"

#include "bar_views/BarBackground.h"
#include "bar_views/ChipView.h"
#include "bar_views/GroupedChipView.h"
#include "bar_views/MoveToGroups.h"
#include "bar_views/PinnedChipView.h"
#include "bar_views/ShowDesktopButton.h"
#include "bar_views/SpaceSwitcher.h"
#include "platform/ui/Windowing.h"

namespace qv {

namespace {

// The launcher's button at the bar's left end: a tile with the grid symbol, the whole height of
// the bar answering clicks.
struct MenuButton {
    BarMetrics metrics;
    std::function<void()> action;

    Node body() const {
        const BarMetrics& m = metrics;
        Node tile = ZStack({RoundedRectangle(0.6 * m.cornerRadius)->fillWith(Color::primary().opacity(0.1)),
                            SymbolImage("square.grid.2x2", Font::system(m.menuIconSize, FontWeight::medium),
                                        Color::primary())})
                        ->frame(m.menuButtonWidth, m.menuButtonHeight)
                        ->padding(EdgeInsets{0, m.scrollHorizontalPadding, 0, 0});
        Node label = ZStack(Alignment::leading(), {tile})
                         ->frame(m.menuButtonWidth + m.scrollHorizontalPadding + 5, barHeight(m.barSize))
                         ->contentShape();
        return Button(
                   label, action ? action : [] {})
            ->help("Applications");
    }
};

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
}

void BarContentView::startObservingIfNeeded() {
    if (std::exchange(observing_, true)) return;
    // A refresh assigns every published value of the model at once; the display items stand for
    // all of them. Several changes in one turn make one evaluation.
    observe(viewModel->displayItemsBySpace);
    observe(pinStore->pinnedApps);
    observe(settings->data);
    observe(viewModel->badgeService->attentionByBundleID);
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

    fillInputs(shown_);
    // Frames of chips that left the row are dropped; they are no one's insertion point.
    std::erase_if(chipFrames, [&](const auto& kv) {
        return std::find(shown_.visibleChipIDs.begin(), shown_.visibleChipIDs.end(), kv.first) ==
               shown_.visibleChipIDs.end();
    });
    std::erase_if(pinnedChipFrames, [&](const auto& kv) {
        return std::find(shown_.visiblePinnedBundleIDs.begin(), shown_.visiblePinnedBundleIDs.end(),
                         kv.first) == shown_.visiblePinnedBundleIDs.end();
    });

    const BarMetrics& m = metrics;
    Node row = HStack(VerticalAlignment::center, 0,
                      {MenuButton{m, onMenuTapped}.body(), barDivider(m),
                       ScrollView(Axis::horizontal, chipsRow(shown_), {.showsIndicators = false})
                           ->frame(Element::FlexFrame{.maxWidth = kInfinity}),
                       barDivider(m)->padding(EdgeInsets{0, 5, 0, 0}),
                       SpaceSwitcher{.platform = platform_,
                                     .viewModel = viewModel,
                                     .metrics = m,
                                     .spaceID = spaceID,
                                     .onSwitchToSpace = onSpaceSwitchRequested}
                           .body(),
                       ShowDesktopButton{platform_.dock, m}.body()});
    std::weak_ptr<BarContentView> weak = weak_from_this();
    Platform* platform = &platform_;
    return row->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity})
        ->background(BarBackground{reduceTransparency, environment().colorScheme, settings->theme()}.body())
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

Node BarContentView::chipsRow(const Inputs& in) {
    std::vector<Node> pinned;
    pinned.reserve(in.visiblePinnedBundleIDs.size());
    for (const std::string& b : in.visiblePinnedBundleIDs)
        pinned.push_back(wrapChip(pinnedChip(b), b, true, in.visiblePinnedBundleIDs)->id(b));
    std::vector<Node> items;
    items.reserve(in.items.size());
    for (size_t i = 0; i < in.items.size(); ++i)
        items.push_back(wrapChip(chipView(in.items[i]), in.visibleChipIDs[i], false, in.visibleChipIDs)
                            ->id(in.visibleChipIDs[i]));
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

Node BarContentView::wrapChip(Node chip, const std::string& id, bool pinnedRow,
                              const std::vector<std::string>& visible) {
    const std::optional<std::string>& draggedID = pinnedRow ? draggedPinnedBundleID : draggedChipID;
    const std::optional<int>& insertion = pinnedRow ? pinnedDragInsertionIndex : chipDragInsertionIndex;
    const bool dragged = draggedID == id;
    const double x = pinnedRow ? pinnedChipOffset(id, visible) : chipOffset(id, visible);
    // One copy of what the chip's handlers need, shared by them.
    struct Target {
        std::weak_ptr<BarContentView> view;
        std::string id;
        bool pinnedRow;
    };
    auto target = std::make_shared<const Target>(Target{weak_from_this(), id, pinnedRow});
    DragGesture drag;
    drag.minimumDistance = kDragMinimumDistance;
    drag.onChanged = [target](const DragValue& v) {
        auto self = target->view.lock();
        if (!self) return;
        target->pinnedRow ? self->pinnedDragChanged(target->id, v) : self->chipDragChanged(target->id, v);
    };
    drag.onEnded = [target](const DragValue& v) {
        auto self = target->view.lock();
        if (!self) return;
        target->pinnedRow ? self->pinnedDragEnded(target->id, v) : self->chipDragEnded(target->id, v);
    };
    // The others slide to their preview places; the dragged chip follows the pointer without lag.
    std::optional<Animation> slide;
    if (!dragged) slide = Animation::easeInOut(kInsertionAnimation);
    return chip
        ->onGlobalFrameChange([target](Rect frame) {
            if (auto self = target->view.lock()) self->reportFrame(target->pinnedRow, target->id, frame);
        })
        ->opacity(dragged ? kDraggedOpacity : 1)
        ->scaleEffect(dragged ? kDraggedScale : 1)
        ->offset(x, 0)
        ->zIndex(dragged ? 1 : 0)
        ->animation(slide, insertion)
        ->animation(std::optional<Animation>(Animation::easeInOut(kDraggedAnimation)), draggedID)
        ->gesture(std::move(drag), true);
}

void BarContentView::reportFrame(bool pinnedRow, const std::string& id, const Rect& frame) {
    if (reorder::recordFrame(pinnedRow ? pinnedChipFrames : chipFrames, id, frame)) setNeedsUpdate();
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

// --- Chips ---

Binding<bool> BarContentView::pinBinding(const std::string& bundleID, PinDestination destination) const {
    struct Pin {
        std::shared_ptr<PinStore> store;
        std::string bundleID;
        PinDestination destination;
    };
    auto pin = std::make_shared<const Pin>(Pin{pinStore, bundleID, destination});
    return {[pin] { return pin->store->isPinned(pin->bundleID, pin->destination); },
            [pin](bool on) { pin->store->setPin(pin->bundleID, pin->destination, on); }};
}

Node BarContentView::pinnedChip(const std::string& bundleID) {
    std::weak_ptr<BarViewModel> model = viewModel;
    return PinnedChipView{.windowing = platform_.windowing,
                          .runtime = platform_.runtime,
                          .bundleID = bundleID,
                          .appName = viewModel->appName(bundleID),
                          .icon = viewModel->icon(bundleID),
                          .metrics = metrics,
                          .badge = viewModel->badge(bundleID),
                          .wantsAttention = viewModel->badgeService->attentionByBundleID->contains(bundleID),
                          .onTap =
                              [model, bundleID] {
                                  if (auto m = model.lock()) m->launchApp(bundleID);
                              },
                          .pinToBar = pinBinding(bundleID, PinDestination::bar())}
        .body();
}

Node BarContentView::chipView(const DisplayItem& item) {
    const UserSettingsData& data = *settings->data;
    const bool usesLightBar = environment().colorScheme == ColorScheme::light;
    std::weak_ptr<BarContentView> weak = weak_from_this();
    std::weak_ptr<ThumbnailPopups> popups = thumbnailPopups;
    if (const ChipData* found = item.chip()) {
        const ChipData& c = *found;
        const uint32_t id = c.id;
        std::weak_ptr<BarViewModel> model = viewModel;
        ChipView view{.windowing = platform_.windowing,
                      .chip = c,
                      .metrics = metrics,
                      .isFocused = c.isFocused,
                      .showChipTitles = data.showChipTitles,
                      .showWindowTitles = data.showWindowNamesInChips,
                      .usesLightBar = usesLightBar};
        auto hovered = std::make_shared<const ChipData>(c);
        view.onHoverChanged = [popups, hovered](bool hovering, Rect frame, std::optional<Rect> window,
                                                Point p) {
            if (auto t = popups.lock())
                t->handleChipHover(hovering, HoverTarget::single(*hovered, frame, window, p));
        };
        view.onMinimize = [model, id] {
            if (auto m = model.lock()) m->minimizeWindow(id);
        };
        view.onClose = [model, id] {
            if (auto m = model.lock()) m->closeWindow(id);
        };
        view.onQuitApp = [weak, id] {
            if (auto self = weak.lock()) self->quitApp(id);
        };
        if (c.bundleIdentifier) {
            view.pinToBar = pinBinding(*c.bundleIdentifier, PinDestination::bar());
            view.pinToAppMenu = pinBinding(*c.bundleIdentifier, PinDestination::appMenu());
        }
        view.canPin = c.bundleIdentifier.has_value();
        view.moveToGroups = [weak] {
            auto self = weak.lock();
            return self ? self->moveToGroupsExcludingCurrentSpace() : std::vector<MoveToDisplayGroup>{};
        };
        view.onMoveToSpace = [weak, id](uint64_t target) {
            auto self = weak.lock();
            if (self && self->onMoveWindowToSpaceRequested)
                self->onMoveWindowToSpaceRequested(id, self->spaceID, target);
        };
        const bool focused = c.isFocused;
        return std::move(view).body()->onTapGesture([weak, id, focused] {
            if (auto self = weak.lock()) self->handlePrimaryChipTap(id, focused);
        });
    }
    auto g = std::make_shared<const GroupedChipData>(*item.groupData());
    GroupedChipView view{.windowing = platform_.windowing,
                         .group = *g,
                         .metrics = metrics,
                         .showChipTitles = data.showChipTitles,
                         .showWindowTitles = data.showWindowNamesInChips,
                         .usesLightBar = usesLightBar};
    view.onHoverChanged = [popups, g](bool hovering, Rect frame, std::optional<Rect> window, Point p) {
        if (auto t = popups.lock()) t->handleChipHover(hovering, HoverTarget::group(*g, frame, window, p));
    };
    view.onQuitApp = [weak, g] {
        auto self = weak.lock();
        if (self && !g->windowIDs.empty()) self->quitApp(g->windowIDs.front());
    };
    if (g->bundleIdentifier) {
        view.pinToBar = pinBinding(*g->bundleIdentifier, PinDestination::bar());
        view.pinToAppMenu = pinBinding(*g->bundleIdentifier, PinDestination::appMenu());
    }
    view.canPin = g->bundleIdentifier.has_value();
    return std::move(view).body()->onTapGesture([weak, g] {
        if (auto self = weak.lock()) self->handleGroupedChipTap(*g);
    });
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
