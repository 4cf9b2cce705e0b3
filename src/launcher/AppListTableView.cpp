#include "launcher/AppListTableView.h"

#include <algorithm>

namespace qv {

namespace {

Node cell(const AppListItem& item) {
    switch (item.kind) {
        case AppListItem::Kind::sectionHeader:
            return HStack({Text(item.title, {Font::system(11, FontWeight::semibold), Color::primary(), 1}),
                           Spacer(0)})
                ->padding(EdgeInsets::horizontal(10));
        case AppListItem::Kind::app: {
            Node icon = item.app.icon ? IconImage(item.app.icon) : SymbolImage("app");
            return HStack(VerticalAlignment::center, 10,
                          {icon->resizableImage()->aspectRatio(ContentMode::fit)->frame(24, 24),
                           Text(item.app.name, {Font::system(12), Color::primary(), 1}), Spacer(0)})
                ->padding(EdgeInsets::horizontal(10));
        }
        case AppListItem::Kind::topSpacer:
            return EmptyNode();
        case AppListItem::Kind::divider:
            return Divider()->frame(std::nullopt, 1)->padding(EdgeInsets::horizontal(10));
    }
    return EmptyNode();
}

}  // namespace

Node AppListTableView::node() const {
    AppListTableView value = *this;
    return WithStateObject<Coordinator>(
        [value] {
            auto coordinator =
                std::make_shared<Coordinator>(value.items, value.pinStore, value.onLaunch, value.mainQueue);
            std::weak_ptr<Coordinator> weak = coordinator;
            auto ready = value.onTableViewReady;
            value.mainQueue->async([weak, ready] {
                auto c = weak.lock();
                if (!c) return;
                if (ready) ready(c);
                c->scrollToTop();
            });
            return coordinator;
        },
        [value](const std::shared_ptr<Coordinator>& coordinator, std::function<void()> invalidate) {
            coordinator->setInvalidate(std::move(invalidate));
            coordinator->update(value.items, value.pinStore, value.onLaunch);
            return coordinator->listNode();
        });
}

AppListTableView::Coordinator::Coordinator(std::vector<AppListItem> items, PinStore* pinStore,
                                           std::function<void(const AppInfo&)> onLaunch,
                                           std::shared_ptr<Queue> mainQueue)
    : items_(items),
      lastGiven_(std::move(items)),
      pinStore_(pinStore),
      onLaunch_(std::move(onLaunch)),
      mainQueue_(std::move(mainQueue)) {}

void AppListTableView::Coordinator::changed() {
    if (invalidate_) invalidate_();
}

void AppListTableView::Coordinator::update(std::vector<AppListItem> items, PinStore* pinStore,
                                           std::function<void(const AppInfo&)> onLaunch) {
    pinStore_ = pinStore;
    onLaunch_ = std::move(onLaunch);
    // The content is evaluated again for changes that leave its rows as they were (the list's own
    // redraws among them): the rows shown, a drag's preview order perhaps, stay.
    const bool unchanged = std::equal(items.begin(), items.end(), lastGiven_.begin(), lastGiven_.end(),
                                      [](const AppListItem& a, const AppListItem& b) {
                                          return itemsEqual({a}, {b}) && a.app.name == b.app.name &&
                                                 a.app.path == b.app.path && a.app.icon == b.app.icon;
                                      });
    if (unchanged) return;
    lastGiven_ = items;
    const bool same = itemsEqual(items_, items);
    items_ = std::move(items);
    if (same) return;  // the selection and scroll position stay
    // Reloaded: after the new rows are laid out, back to the top with the first app selected.
    std::weak_ptr<Coordinator> weak = weak_from_this();
    mainQueue_->async([weak] {
        if (auto c = weak.lock()) c->scrollToTop();
    });
    mainQueue_->async([weak] {
        if (auto c = weak.lock()) c->selectFirstAppRow();
    });
}

Node AppListTableView::Coordinator::listNode() {
    std::weak_ptr<Coordinator> weak = weak_from_this();
    ListSpec spec;
    for (size_t i = 0; i < items_.size(); ++i) {
        const AppListItem& item = items_[i];
        ListRow row;
        row.id = item.rowID();
        row.content = cell(item);
        row.height = rowHeight(item);
        row.selectable = item.isApp();
        row.alpha = isDraggedRow(i) ? 0 : 1;  // its drag image stands for it
        if (item.isPinnedApp()) row.pasteboard = ListPasteboardItem{kPinnedAppPasteboardType, item.app.id};
        // A right click on any row selects it first; only app rows have a menu.
        row.menu = [weak, i]() -> std::optional<Menu> {
            auto c = weak.lock();
            if (!c) return std::nullopt;
            if (i < c->items_.size()) c->select(i);
            return c->menuForRow(i);
        };
        spec.rows.push_back(std::move(row));
    }
    spec.selection = {[weak]() -> std::optional<std::string> {
                          auto c = weak.lock();
                          if (!c || !c->selectedRow_ || *c->selectedRow_ >= c->items_.size())
                              return std::nullopt;
                          return c->items_[*c->selectedRow_].rowID();
                      },
                      [weak](std::optional<std::string> id) {
                          if (auto c = weak.lock()) c->select(id ? c->rowWithID(*id) : std::nullopt);
                      }};
    spec.highlightSelection = !highlightSuppressed_;
    spec.onClick = [weak](const std::string& id) {
        if (auto c = weak.lock(); c && c->rowWithID(id)) c->tableViewClicked(*c->rowWithID(id));
    };
    spec.scroller = scroller_;
    spec.dropTypes = {kPinnedAppPasteboardType};
    spec.onDragBegin = [weak](size_t row) {
        if (auto c = weak.lock()) c->draggingSessionWillBegin(row);
    };
    spec.validateDrop = [weak](const ListDragInfo& info) {
        auto c = weak.lock();
        return c ? c->validateDrop(info) : DragOperation::none;
    };
    spec.acceptDrop = [weak](const ListDragInfo& info) {
        auto c = weak.lock();
        return c && c->acceptDrop(info);
    };
    spec.onDragEnd = [weak](bool dropped) {
        if (auto c = weak.lock()) c->draggingSessionEnded(dropped);
    };
    spec.rowMoves = rowMoves_;
    return List(std::move(spec));
}

std::optional<size_t> AppListTableView::Coordinator::rowWithID(const std::string& rowID) const {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].rowID() == rowID) return i;
    }
    return std::nullopt;
}

// --- Selection ---

void AppListTableView::Coordinator::select(std::optional<size_t> row) {
    selectedRow_ = row;
    changed();
}

void AppListTableView::Coordinator::selectFirstAppRow() {
    if (auto row = firstAppRow(items_)) {
        select(row);
        scroller_->scrollToVisible(items_[*row].rowID());
    }
}

void AppListTableView::Coordinator::selectLastAppRow() {
    if (auto row = lastAppRow(items_)) {
        select(row);
        scroller_->scrollToVisible(items_[*row].rowID());
    }
}

void AppListTableView::Coordinator::selectNextRow() {
    if (auto row = nextAppRow(items_, selectedRow_)) {
        select(row);
        scroller_->scrollToVisible(items_[*row].rowID());
    }
}

void AppListTableView::Coordinator::selectPreviousRow() {
    if (selectedRow_ && *selectedRow_ == 0) return;
    if (auto row = previousAppRow(items_, selectedRow_)) {
        select(row);
        scroller_->scrollToVisible(items_[*row].rowID());
    }
}

void AppListTableView::Coordinator::scrollToTop() {
    scroller_->setOffset({0, 0});
    changed();
}

// --- Clicks and the row menu ---

void AppListTableView::Coordinator::tableViewClicked(size_t row) {
    if (auto app = appAt(items_, row); app && onLaunch_) onLaunch_(*app);
}

std::optional<Menu> AppListTableView::Coordinator::menuForRow(size_t row) {
    if (!pinStore_) return std::nullopt;
    std::weak_ptr<Coordinator> weak = weak_from_this();
    auto act = [weak](void (Coordinator::*action)(const std::string&)) {
        return [weak, action](const std::string& id) {
            if (auto c = weak.lock()) (c.get()->*action)(id);
        };
    };
    return qv::menuForRow(items_, row, *pinStore_,
                          {act(&Coordinator::openApp), act(&Coordinator::togglePinToBar),
                           act(&Coordinator::togglePinToAppMenu), act(&Coordinator::unpinFromAppMenu)});
}

void AppListTableView::Coordinator::openApp(const std::string& id) {
    for (const AppListItem& item : items_) {
        if (item.isApp() && item.app.id == id) {
            if (onLaunch_) onLaunch_(item.app);
            return;
        }
    }
}

void AppListTableView::Coordinator::togglePinToBar(const std::string& id) {
    if (pinStore_)
        pinStore_->setPin(id, PinDestination::bar(), !pinStore_->isPinned(id, PinDestination::bar()));
}

void AppListTableView::Coordinator::togglePinToAppMenu(const std::string& id) {
    if (pinStore_)
        pinStore_->setPin(id, PinDestination::appMenu(), !pinStore_->isPinned(id, PinDestination::appMenu()));
}

void AppListTableView::Coordinator::unpinFromAppMenu(const std::string& id) {
    if (pinStore_) pinStore_->setPin(id, PinDestination::appMenu(), false);
}

// --- The pin drag ---

void AppListTableView::Coordinator::draggingSessionWillBegin(size_t row) {
    if (row >= items_.size() || !items_[row].isPinnedApp()) {
        clearDragState();
        return;
    }
    activePinnedDragAppID_ = items_[row].app.id;
    activePinnedDragBaseIDs_ = activePinnedDragPreviewIDs_ = pinnedAppIDs(items_);
    select(std::nullopt);
    setSelectionHighlightSuppressed(true);
}

DragOperation AppListTableView::Coordinator::validateDrop(const ListDragInfo& info) {
    if (!info.fromThisList || info.item.type != kPinnedAppPasteboardType) return DragOperation::none;
    const std::string& id = info.item.value;
    if (!beginPinnedDragIfNeeded(id)) return DragOperation::none;
    const std::vector<std::string>& ids =
        activePinnedDragBaseIDs_.empty() ? pinnedAppIDs(items_) : activePinnedDragBaseIDs_;
    applyPinnedDragPreview(id, pinnedInsertionIndex(ids, id, items_, info.location.y));
    return DragOperation::move;
}

bool AppListTableView::Coordinator::acceptDrop(const ListDragInfo& info) {
    if (!info.fromThisList || info.item.type != kPinnedAppPasteboardType) return false;
    const std::string id = info.item.value;
    if (!beginPinnedDragIfNeeded(id)) return false;
    const std::vector<std::string> preview =
        activePinnedDragPreviewIDs_.empty() ? activePinnedDragBaseIDs_ : activePinnedDragPreviewIDs_;
    if (preview != activePinnedDragBaseIDs_ && pinStore_) {
        auto target = pinnedDropTargetAppID(id, preview, pinStore_->pinnedAppIDs(PinDestination::appMenu()));
        pinStore_->movePinnedApp(id, target, PinDestination::appMenu());
    }
    clearDragState();
    setSelectionHighlightSuppressed(false);
    return true;
}

void AppListTableView::Coordinator::draggingSessionEnded(bool) {
    restorePinnedDragPreviewIfNeeded();
}

void AppListTableView::Coordinator::restorePinnedDragPreviewIfNeeded() {
    if (!activePinnedDragAppID_) return;
    const std::string id = *activePinnedDragAppID_;
    if (activePinnedDragPreviewIDs_ != activePinnedDragBaseIDs_) {
        // Not dropped here: the pins slide back to where they were when the drag began.
        auto at = std::find(activePinnedDragBaseIDs_.begin(), activePinnedDragBaseIDs_.end(), id);
        applyPinnedDragPreview(id, at == activePinnedDragBaseIDs_.end()
                                       ? 0
                                       : static_cast<size_t>(at - activePinnedDragBaseIDs_.begin()));
    }
    clearDragState();
    setSelectionHighlightSuppressed(false);
}

bool AppListTableView::Coordinator::beginPinnedDragIfNeeded(const std::string& id) {
    if (!pinnedAppRow(id, items_)) return false;
    if (activePinnedDragAppID_ == id) return true;
    activePinnedDragAppID_ = id;
    activePinnedDragBaseIDs_ = activePinnedDragPreviewIDs_ = pinnedAppIDs(items_);
    return true;
}

void AppListTableView::Coordinator::applyPinnedDragPreview(const std::string& id, size_t index) {
    const std::vector<std::string> base =
        activePinnedDragBaseIDs_.empty() ? pinnedAppIDs(items_) : activePinnedDragBaseIDs_;
    std::vector<std::string> preview = pinnedPreviewOrder(id, index, base);
    if (preview == activePinnedDragPreviewIDs_) return;
    const auto oldRow = pinnedAppRow(id, items_);
    if (!oldRow) return;
    std::vector<AppListItem> moved = itemsByReplacingPinnedOrder(items_, preview);
    const auto newRow = pinnedAppRow(id, moved);
    activePinnedDragPreviewIDs_ = std::move(preview);
    if (!newRow || *newRow == *oldRow) return;
    items_ = std::move(moved);
    rowMoves_.push_back({nextMoveSerial_++, items_[*newRow].rowID(), *oldRow, *newRow,
                         Animation::easeInOut(kPinMoveDuration)});
    if (rowMoves_.size() > 16) rowMoves_.erase(rowMoves_.begin());  // long since slid
    select(std::nullopt);
    setSelectionHighlightSuppressed(true);
}

void AppListTableView::Coordinator::clearDragState() {
    activePinnedDragAppID_.reset();
    activePinnedDragBaseIDs_.clear();
    activePinnedDragPreviewIDs_.clear();
}

bool AppListTableView::Coordinator::isDraggedRow(size_t row) const {
    return activePinnedDragAppID_ && row < items_.size() && items_[row].isPinnedApp() &&
           items_[row].app.id == *activePinnedDragAppID_;
}

void AppListTableView::Coordinator::setSelectionHighlightSuppressed(bool flag) {
    highlightSuppressed_ = flag;
    changed();
}

}  // namespace qv
