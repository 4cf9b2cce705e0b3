// The chips of the bar's row, each built from its inputs alone, so that the bar reuses every chip
// whose inputs equal the last evaluation's and builds only those that changed.
#include <tuple>

#include "bar_views/BarContentView.h"
#include "bar_views/ChipView.h"
#include "bar_views/GroupedChipView.h"
#include "bar_views/PinnedChipView.h"

namespace qv {

namespace {

// Every field of the chip records, so that a field added to them fails to compile here until it
// is compared. Icons are shared and never changed in place: the same icon is the same pointer.
auto fields(const ChipData& c) {
    const auto& [id, appName, bundleIdentifier, windowTitle, icon, isFocused, isMinimized, badge,
                 wantsAttention] = c;
    return std::tie(id, appName, bundleIdentifier, windowTitle, icon, isFocused, isMinimized, badge,
                    wantsAttention);
}
auto fields(const GroupedChipData& g) {
    const auto& [id, appName, bundleIdentifier, displayTitle, icon, windowCount, windowIDs, isFocused, badge,
                 wantsAttention] = g;
    return std::tie(id, appName, bundleIdentifier, displayTitle, icon, windowCount, windowIDs, isFocused,
                    badge, wantsAttention);
}

bool sameItem(const DisplayItem& a, const DisplayItem& b) {
    if (a.id() != b.id()) return false;
    if (a.chip() && b.chip()) return fields(*a.chip()) == fields(*b.chip());
    if (a.groupData() && b.groupData()) return fields(*a.groupData()) == fields(*b.groupData());
    return false;
}

}  // namespace

bool BarContentView::Inputs::sameAs(const Inputs& o) const {
    if (items.size() != o.items.size()) return false;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!sameItem(items[i], o.items[i])) return false;
    }
    return screenFilter == o.screenFilter && bundleIDsWithWindows == o.bundleIDsWithWindows &&
           visiblePinnedBundleIDs == o.visiblePinnedBundleIDs && visibleChipIDs == o.visibleChipIDs &&
           pinned == o.pinned && desktop == o.desktop;
}

bool BarContentView::ChipContext::sameAs(const ChipContext& o) const {
    return platform == o.platform && sameOwner(view, o.view) && sameOwner(popups, o.popups) &&
           sameOwner(viewModel, o.viewModel) && pinStore == o.pinStore && metrics == o.metrics &&
           showChipTitles == o.showChipTitles && showWindowTitles == o.showWindowTitles &&
           usesLightBar == o.usesLightBar;
}

bool BarContentView::ItemChipInputs::operator==(const ItemChipInputs& other) const {
    return context == other.context && slot == other.slot && sameItem(*item, *other.item);
}

Binding<bool> BarContentView::pinBinding(const std::shared_ptr<PinStore>& store, const std::string& bundleID,
                                         PinDestination destination) {
    struct Pin {
        std::shared_ptr<PinStore> store;
        std::string bundleID;
        PinDestination destination;
    };
    auto pin = std::make_shared<const Pin>(Pin{store, bundleID, destination});
    return {[pin] { return pin->store->isPinned(pin->bundleID, pin->destination); },
            [pin](bool on) { pin->store->setPin(pin->bundleID, pin->destination, on); }};
}

Node BarContentView::pinnedChip(const PinnedChipInputs& in) {
    const ChipContext& cx = *in.context;
    std::weak_ptr<BarViewModel> model = cx.viewModel;
    const std::string& bundleID = in.bundleID;
    Node chip = PinnedChipView{.windowing = cx.platform->windowing,
                               .runtime = cx.platform->runtime,
                               .bundleID = bundleID,
                               .appName = in.appName,
                               .icon = in.icon,
                               .metrics = cx.metrics,
                               .badge = in.badge,
                               .wantsAttention = in.wantsAttention,
                               .onTap =
                                   [model, bundleID] {
                                       if (auto m = model.lock()) m->launchApp(bundleID);
                                   },
                               .pinToBar = pinBinding(cx.pinStore, bundleID, PinDestination::bar())}
                    .body();
    return wrapChip(std::move(chip), cx, in.slot, true);
}

Node BarContentView::itemChip(const ItemChipInputs& in) {
    const ChipContext& cx = *in.context;
    std::weak_ptr<BarContentView> weak = cx.view;
    std::weak_ptr<ThumbnailPopups> popups = cx.popups;
    std::weak_ptr<BarViewModel> model = cx.viewModel;
    if (const ChipData* found = in.item->chip()) {
        const ChipData& c = *found;
        const uint32_t id = c.id;
        ChipView view{.windowing = cx.platform->windowing,
                      .chip = c,
                      .metrics = cx.metrics,
                      .isFocused = c.isFocused,
                      .showChipTitles = cx.showChipTitles,
                      .showWindowTitles = cx.showWindowTitles,
                      .usesLightBar = cx.usesLightBar};
        std::shared_ptr<const ChipData> hovered(in.item, found);
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
            view.pinToBar = pinBinding(cx.pinStore, *c.bundleIdentifier, PinDestination::bar());
            view.pinToAppMenu = pinBinding(cx.pinStore, *c.bundleIdentifier, PinDestination::appMenu());
        }
        view.canPin = c.bundleIdentifier.has_value();
        // The targets as they are when the menu opens: no input of the chip.
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
        Node chip = std::move(view).body()->onTapGesture([weak, id, focused] {
            if (auto self = weak.lock()) self->handlePrimaryChipTap(id, focused);
        });
        return wrapChip(std::move(chip), cx, in.slot, false);
    }
    std::shared_ptr<const GroupedChipData> g(in.item, in.item->groupData());
    GroupedChipView view{.windowing = cx.platform->windowing,
                         .group = *g,
                         .metrics = cx.metrics,
                         .showChipTitles = cx.showChipTitles,
                         .showWindowTitles = cx.showWindowTitles,
                         .usesLightBar = cx.usesLightBar};
    view.onHoverChanged = [popups, g](bool hovering, Rect frame, std::optional<Rect> window, Point p) {
        if (auto t = popups.lock()) t->handleChipHover(hovering, HoverTarget::group(*g, frame, window, p));
    };
    view.onQuitApp = [weak, g] {
        auto self = weak.lock();
        if (self && !g->windowIDs.empty()) self->quitApp(g->windowIDs.front());
    };
    if (g->bundleIdentifier) {
        view.pinToBar = pinBinding(cx.pinStore, *g->bundleIdentifier, PinDestination::bar());
        view.pinToAppMenu = pinBinding(cx.pinStore, *g->bundleIdentifier, PinDestination::appMenu());
    }
    view.canPin = g->bundleIdentifier.has_value();
    Node chip = std::move(view).body()->onTapGesture([weak, g] {
        if (auto self = weak.lock()) self->handleGroupedChipTap(*g);
    });
    return wrapChip(std::move(chip), cx, in.slot, false);
}

Node BarContentView::wrapChip(Node chip, const ChipContext& context, const ChipSlot& slot, bool pinnedRow) {
    // One copy of what the chip's handlers need, shared by them.
    struct Target {
        std::weak_ptr<BarContentView> view;
        std::string id;
        bool pinnedRow;
    };
    auto target = std::make_shared<const Target>(Target{context.view, slot.id, pinnedRow});
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
    if (!slot.dragged) slide = Animation::easeInOut(kInsertionAnimation);
    return chip
        ->onGlobalFrameChange([target](Rect frame) {
            if (auto self = target->view.lock()) self->reportFrame(target->pinnedRow, target->id, frame);
        })
        ->opacity(slot.dragged ? kDraggedOpacity : 1)
        ->scaleEffect(slot.dragged ? kDraggedScale : 1)
        ->offset(slot.offset, 0)
        ->zIndex(slot.dragged ? 1 : 0)
        ->animation(slide, slot.insertionIndex)
        ->animation(std::optional<Animation>(Animation::easeInOut(kDraggedAnimation)), slot.draggedID)
        ->gesture(std::move(drag), true);
}

}  // namespace qv
