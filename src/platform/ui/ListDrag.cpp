// Drag sessions of list rows: the source side (a row's drag begins, moves and ends) and the
// destination side (a list under the pointer validates and accepts the drop).
#include <algorithm>

#include "platform/ui/LayoutPass.h"

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

std::shared_ptr<const DragGesture> LayoutPass::rowDragSession(const RNode& n, size_t row, double rowTop) {
    auto spec = n.el->extras().list;
    auto host = host_.weak_from_this();
    const std::string listPath = n.path();
    const std::string key = n.path() + "#drag";
    const ListPasteboardItem item = *spec->rows[row].pasteboard;
    const std::string rowID = spec->rows[row].id;
    auto state = [key](HostingView& h) -> ListDragState& {
        return std::any_cast<ListDragState&>(h.stateFor(key, [] { return std::any(ListDragState{}); }));
    };
    DragGesture g;
    g.minimumDistance = 3;
    g.onChanged = [=](const DragValue& v) {
        auto h = host.lock();
        if (!h) return;
        if (ListDragState& st = state(*h); !st.sessionActive) {
            st.sessionActive = true;
            st.sessionRowID = rowID;
            st.sessionRowTop = rowTop;
            if (spec->onDragBegin) spec->onDragBegin(row);
        }
        state(*h).sessionTranslation = v.translation.height;
        if (auto target = dropTargetAt(*h, v.location, item); target && target->validate)
            target->validate(dragInfo(*target, listPath, item, v.location));
        h->setNeedsUpdate();
    };
    g.onEnded = [=](const DragValue& v) {
        auto h = host.lock();
        if (!h) return;
        state(*h).sessionActive = false;
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
