// What the bar's chips do: clicks, the quit request, and dragging chips into a new order.
#include <algorithm>

#include "bar_views/BarContentView.h"

namespace qv {

namespace {

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

}  // namespace

// --- Clicks ---
// The pop-up closes at once; the window's turn comes on the next turn of the main queue. That
// work holds the view model, not this view, so a content rebuild in between loses no click.

void BarContentView::handlePrimaryChipTap(uint32_t windowID, bool isFocused) {
    thumbnailPopups->dismissThumbnailPopupImmediate();
    std::weak_ptr<BarViewModel> model = viewModel;
    mainQueue()->async([model, windowID, isFocused] {
        auto m = model.lock();
        if (!m) return;
        // The chip's focus as it was drawn: the focused window's chip minimises it.
        if (isFocused) {
            m->minimizeWindow(windowID);
        } else {
            m->activateWindow(windowID, false);
        }
    });
}

void BarContentView::handleGroupedChipTap(const GroupedChipData& group) {
    if (group.windowIDs.empty()) return;
    activateWindowDeferred(group.windowIDs.front());
}

void BarContentView::activateWindowDeferred(uint32_t windowID) {
    thumbnailPopups->dismissThumbnailPopupImmediate();
    std::weak_ptr<BarViewModel> model = viewModel;
    mainQueue()->async([model, windowID] {
        if (auto m = model.lock()) m->activateWindow(windowID, false);
    });
}

void BarContentView::barLeftItsPlace() {
    thumbnailPopups->dismissThumbnailPopupImmediate();
    platform_.windowing.cancelMenuTracking();
    barMoves = *barMoves + 1;
}

BarMoveObserver BarContentView::observeMoves(std::weak_ptr<BarContentView> bar) {
    return [bar](std::function<void()> handler) {
        auto view = bar.lock();
        if (!view) return Subscription();
        return view->barMoves.subscribeToChanges([handler = std::move(handler)](uint64_t) { handler(); });
    };
}

void BarContentView::quitApp(uint32_t windowID) {
    const auto& windows = viewModel->windowStore->windows();
    auto tracked = windows.find(windowID);
    if (tracked == windows.end()) return;
    const int32_t pid = tracked->second.pid;
    auto app = platform_.workspace.runningApplication(pid);
    if (!app || app->isTerminated) return;
    // Asked on the application's worker, after what it was asked before.
    platform_.appWorkers.ask(
        pid, [workspace = &platform_.workspace, pid] { (void)workspace->terminateApplication(pid); });
}

// --- Dragging ---
// The handlers read the row as last shown, so a chip that left the row mid-drag is known.

void BarContentView::pinnedDragChanged(const std::string& id, const DragValue& value) {
    if (!draggedPinnedBundleID) {
        draggedPinnedBundleID = id;
        pinnedDragStartFrames = pinnedChipFrames;
    }
    pinnedDragTranslation = value.translation;
    pinnedDragInsertionIndex = reorder::insertionIndex(id, value, shown_.visiblePinnedBundleIDs,
                                                       pinnedDragStartFrames, pinnedChipFrames);
    setNeedsUpdate();
}

void BarContentView::pinnedDragEnded(const std::string& id, const DragValue& value) {
    const std::vector<std::string> visible = shown_.visiblePinnedBundleIDs;
    const std::vector<std::string> barPins = pinStore->pinnedAppIDs(PinDestination::bar());
    const int k = reorder::insertionIndex(id, value, visible, pinnedDragStartFrames, pinnedChipFrames);
    const auto target = reorder::pinnedDropTargetAppID(id, k, visible, barPins);
    const auto preview = reorder::previewOrder(id, k, visible);
    draggedPinnedBundleID.reset();
    pinnedDragStartFrames.clear();
    pinnedDragTranslation = {};
    pinnedDragInsertionIndex.reset();
    setNeedsUpdate();
    // A chip that left the row mid-drag is not dropped anywhere.
    if (contains(visible, id) && preview != visible)
        pinStore->movePinnedApp(id, target, PinDestination::bar());
}

void BarContentView::chipDragChanged(const std::string& id, const DragValue& value) {
    if (!draggedChipID) {
        draggedChipID = id;
        chipDragStartFrames = chipFrames;
        thumbnailPopups->dismissThumbnailPopupImmediate();
    }
    chipDragTranslation = value.translation;
    chipDragInsertionIndex =
        reorder::insertionIndex(id, value, shown_.visibleChipIDs, chipDragStartFrames, chipFrames);
    setNeedsUpdate();
}

void BarContentView::chipDragEnded(const std::string& id, const DragValue& value) {
    const std::vector<std::string> visible = shown_.visibleChipIDs;
    const int k = reorder::insertionIndex(id, value, visible, chipDragStartFrames, chipFrames);
    const auto target = reorder::chipDropTargetID(id, k, visible);
    const auto preview = reorder::previewOrder(id, k, visible);
    draggedChipID.reset();
    chipDragStartFrames.clear();
    chipDragTranslation = {};
    chipDragInsertionIndex.reset();
    setNeedsUpdate();
    if (contains(visible, id) && preview != visible) viewModel->moveChip(id, target, spaceID);
}

}  // namespace qv
