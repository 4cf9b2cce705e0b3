#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"
#include "launcher/AppListItem.h"
#include "model/PinStore.h"
#include "ui/Node.h"

namespace qv {

// The launcher's list of applications: a one-column table of the items the content hands in,
// rebuilt with every change of the content. A single click launches, the arrow keys (through the
// panel) move the selection over app rows, a right click opens the row's menu, and the Pinned
// section's rows can be dragged to reorder the pins.
struct AppListTableView {
    class Coordinator;

    std::vector<AppListItem> items;
    PinStore* pinStore = nullptr;
    std::function<void(const AppInfo&)> onLaunch;
    // Once, on a later turn of the main queue, with the list's coordinator.
    std::function<void(const std::shared_ptr<Coordinator>&)> onTableViewReady;
    std::shared_ptr<Queue> mainQueue;

    // The list; its coordinator lives as long as the node's place in the view.
    Node node() const;
};

// The table's data source and delegate: it holds the rows shown and the state of a pin drag, and
// stands for the table's own state (selection, scrolling, row moves). Main thread.
class AppListTableView::Coordinator : public std::enable_shared_from_this<Coordinator> {
  public:
    static constexpr Seconds kPinMoveDuration = 0.16;

    Coordinator(std::vector<AppListItem> items, PinStore* pinStore,
                std::function<void(const AppInfo&)> onLaunch, std::shared_ptr<Queue> mainQueue);

    // --- The rows ---
    const std::vector<AppListItem>& items() const { return items_; }
    // A new value of the list: the rows reload, scroll to the top and select the first app row
    // (on later turns of the main queue) only when they differ by `itemsEqual`.
    void update(std::vector<AppListItem> items, PinStore* pinStore,
                std::function<void(const AppInfo&)> onLaunch);
    Node listNode();
    void setInvalidate(std::function<void()> invalidate) { invalidate_ = std::move(invalidate); }

    // --- Keyboard moves and selection ---
    void selectFirstAppRow();
    void selectLastAppRow();
    void selectPreviousRow();
    void selectNextRow();
    std::optional<size_t> selectedRow() const { return selectedRow_; }
    std::optional<AppInfo> selectedApp() const { return appAt(items_, selectedRow_); }
    void scrollToTop();
    bool selectionHighlightSuppressed() const { return highlightSuppressed_; }

    // --- Clicks and the row menu ---
    void tableViewClicked(size_t row);
    std::optional<Menu> menuForRow(size_t row);
    void openApp(const std::string& id);
    void togglePinToBar(const std::string& id);
    void togglePinToAppMenu(const std::string& id);
    void unpinFromAppMenu(const std::string& id);

    // --- The pin drag ---
    void draggingSessionWillBegin(size_t row);
    DragOperation validateDrop(const ListDragInfo& info);
    bool acceptDrop(const ListDragInfo& info);
    void draggingSessionEnded(bool dropped);
    bool isDraggedRow(size_t row) const;
    const std::optional<std::string>& activePinnedDragAppID() const { return activePinnedDragAppID_; }
    const std::vector<std::string>& activePinnedDragPreviewIDs() const { return activePinnedDragPreviewIDs_; }
    const std::vector<ListRowMove>& rowMoves() const { return rowMoves_; }

  private:
    void select(std::optional<size_t> row);
    bool beginPinnedDragIfNeeded(const std::string& id);
    void applyPinnedDragPreview(const std::string& id, size_t index);
    void restorePinnedDragPreviewIfNeeded();
    void clearDragState();
    void setSelectionHighlightSuppressed(bool flag);
    std::optional<size_t> rowWithID(const std::string& rowID) const;
    void changed();

    std::vector<AppListItem> items_;
    std::vector<AppListItem> lastGiven_;  // the rows of the last value handed in
    PinStore* pinStore_;
    std::function<void(const AppInfo&)> onLaunch_;
    std::shared_ptr<Queue> mainQueue_;
    std::function<void()> invalidate_;

    std::optional<std::string> activePinnedDragAppID_;
    std::vector<std::string> activePinnedDragBaseIDs_;
    std::vector<std::string> activePinnedDragPreviewIDs_;

    std::optional<size_t> selectedRow_;
    bool highlightSuppressed_ = false;
    std::shared_ptr<ScrollController> scroller_ = std::make_shared<ScrollController>();
    std::vector<ListRowMove> rowMoves_;
    uint64_t nextMoveSerial_ = 1;
};

}  // namespace qv
