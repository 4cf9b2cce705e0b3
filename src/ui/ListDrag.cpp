// Drags of list rows: a movable row dragged to a new place among the others, and drag sessions,
// with their source side (a row's drag begins, moves and ends) and their destination side (a list
// under the pointer validates and accepts the drop).
#include <algorithm>

#include "ui/LayoutPass.h"
#include "ui/List.h"

namespace qv {

namespace {

// The topmost list under the point that registered the item's type.
std::shared_ptr<const ListDropTarget> dropTargetAt(const HostingView& host, Point p,
                                                   const ListPasteboardItem& item) {
    const HitRegion* r = host.displayList().topmost(p, [&](const HitRegion& region) {
        return region.enabled && region.dropTarget &&
               std::find(region.dropTarget->types.begin(), region.dropTarget->types.end(), item.type) !=
                   region.dropTarget->types.end();
    });
    return r ? r->dropTarget : nullptr;
}

// A list's drag, looked up as the pointer moves: the list may have been laid out again meanwhile.
ListDragState& dragState(ViewStates& states, const std::string& key) {
    return std::any_cast<ListDragState&>(states.entry(key, [] { return std::any(ListDragState{}); }).value);
}

ListDragInfo dragInfo(const ListDropTarget& target, const std::string& sourceList,
                      const ListPasteboardItem& item, Point p) {
    return {target.listPath == sourceList, item,
            Point{p.x - target.frame.minX(), p.y - target.frame.minY() + target.scrollOffset}};
}

}  // namespace

std::shared_ptr<const ListDropTarget> LayoutPass::listDropTarget(const RNode& n, const Rect& mappedFrame,
                                                                 double offset) {
    const ListSpec& spec = *n.el->extras().list;
    return std::make_shared<const ListDropTarget>(
        ListDropTarget{n.path(), spec.dropTypes, mappedFrame, offset, spec.validateDrop, spec.acceptDrop});
}

std::shared_ptr<const DragGesture> LayoutPass::rowReorderGesture(const RNode& n, size_t row, double rowTop) {
    auto spec = n.el->extras().list;
    auto host = in_.host;
    std::weak_ptr<ViewStates> states = in_.states;
    const std::string key = n.path() + "#drag";
    const std::string id = spec->rows[row].id;
    DragGesture g;
    g.minimumDistance = 3;
    g.onChanged = [host, states, key, id](const DragValue& v) {
        auto h = host.lock();
        auto s = states.lock();
        if (!h || !s) return;
        ListDragState& st = dragState(*s, key);
        st.draggedID = id;
        st.translation = v.translation.height;
        h->setNeedsUpdate();
    };
    g.onEnded = [host, states, key, id, spec, rowTop, row](const DragValue& v) {
        auto h = host.lock();
        auto s = states.lock();
        if (!h || !s) return;
        dragState(*s, key) = ListDragState{};
        h->setNeedsUpdate();
        double mid = rowTop + spec->rows[row].height / 2 + v.translation.height;
        // Among the other rows, the place it left is its own index: dropped there, it has not moved.
        const size_t to = listInsertionIndex(spec->rows, row, mid);
        if (to != row) spec->onMove(id, to);
    };
    return std::make_shared<const DragGesture>(std::move(g));
}

std::shared_ptr<const DragGesture> LayoutPass::rowDragSession(const RNode& n, size_t row, double rowTop) {
    auto spec = n.el->extras().list;
    auto host = in_.host;
    std::weak_ptr<ViewStates> states = in_.states;
    const std::string listPath = n.path();
    const std::string key = n.path() + "#drag";
    const ListPasteboardItem item = *spec->rows[row].pasteboard;
    const std::string rowID = spec->rows[row].id;
    DragGesture g;
    g.minimumDistance = 3;
    g.onChanged = [=](const DragValue& v) {
        auto h = host.lock();
        auto s = states.lock();
        if (!h || !s) return;
        if (ListDragState& st = dragState(*s, key); !st.sessionActive) {
            st.sessionActive = true;
            st.sessionRowID = rowID;
            st.sessionRowTop = rowTop;
            if (spec->onDragBegin) spec->onDragBegin(row);
        }
        dragState(*s, key).sessionTranslation = v.translation.height;
        if (auto target = dropTargetAt(*h, v.location, item); target && target->validate)
            target->validate(dragInfo(*target, listPath, item, v.location));
        h->setNeedsUpdate();
    };
    g.onEnded = [=](const DragValue& v) {
        auto h = host.lock();
        auto s = states.lock();
        if (!h || !s) return;
        dragState(*s, key).sessionActive = false;
        bool dropped = false;
        if (auto target = dropTargetAt(*h, v.location, item); target && target->validate) {
            const ListDragInfo info = dragInfo(*target, listPath, item, v.location);
            if (target->validate(info) != DragOperation::none && target->accept)
                dropped = target->accept(info);
        }
        if (spec->onDragEnd) spec->onDragEnd(dropped);
        h->setNeedsUpdate();
    };
    return std::make_shared<const DragGesture>(std::move(g));
}

}  // namespace qv
