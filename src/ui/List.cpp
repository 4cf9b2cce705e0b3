// The list: where its rows stand as it scrolls and while one is dragged, and how it answers the
// keyboard and taps on its rows. Its rows' drags are in ListDrag.cpp; its drawing steps of its own
// (the selected row, the insertion line) are the emitting step's.
#include "ui/List.h"

#include <algorithm>

#include "ui/LayoutPass.h"

namespace qv {

std::optional<size_t> nextSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current) {
    size_t from = current ? *current + 1 : 0;
    for (size_t i = from; i < rows.size(); ++i) {
        if (rows[i].selectable) return i;
    }
    return std::nullopt;
}

std::optional<size_t> previousSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current) {
    size_t end = current ? *current : rows.size();
    for (size_t i = end; i-- > 0;) {
        if (rows[i].selectable) return i;
    }
    return std::nullopt;
}

size_t listInsertionIndex(const std::vector<ListRow>& rows, size_t draggedIndex, double pointerY) {
    double y = 0;
    size_t index = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        double mid = y + rows[i].height / 2;
        y += rows[i].height;
        if (i == draggedIndex) continue;
        if (mid > pointerY) return index;
        ++index;
    }
    return index;
}

namespace {

// Arrows move the selection to the next or previous selectable row, Return activates it.
KeyHandler keyboardSelection(std::shared_ptr<const ListSpec> spec) {
    return [spec](uint16_t key, const std::string&, uint64_t) {
        const auto& rows = spec->rows;
        std::optional<size_t> current;
        if (spec->selection) {
            if (auto sel = spec->selection.get()) {
                for (size_t i = 0; i < rows.size(); ++i) {
                    if (rows[i].id == *sel) current = i;
                }
            }
        }
        if (key == keycodes::kDownArrow || key == keycodes::kUpArrow) {
            auto next = key == keycodes::kDownArrow ? nextSelectableRow(rows, current)
                                                    : previousSelectableRow(rows, current);
            if (next && spec->selection) spec->selection.set(rows[*next].id);
            return true;
        }
        if (key == keycodes::kReturn && current && spec->onActivate) {
            spec->onActivate(rows[*current].id);
            return true;
        }
        return false;
    };
}

// A row's region: a click selects it and tells the list's owner, a right click selects it and
// opens its menu.
HitRegion rowTaps(const ListSpec& spec, const ListRow& row) {
    HitRegion rr;
    auto sel = spec.selection;
    std::string id = row.id;
    bool selectable = row.selectable;
    auto onClick = spec.onClick;
    rr.onTap = [sel, id, selectable, onClick] {
        if (selectable && sel) sel.set(id);
        if (onClick) onClick(id);
    };
    rr.onRightClick = [sel, id, selectable] {
        if (selectable && sel) sel.set(id);
    };
    if (row.menu) {
        auto menu = row.menu;
        rr.contextMenu = [menu] { return menu().value_or(Menu{}); };
    }
    return rr;
}

}  // namespace

void LayoutPass::placeList(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const ListSpec& spec = *e.extras().list;
    auto& dragState = std::any_cast<ListDragState&>(*n.state);
    auto controller = spec.scroller ? spec.scroller : scrollerFor(in_.scrollers, n.path());
    in_.scrollers[n.path()] = controller;
    double contentHeight = 0;
    for (const ListRow& row : spec.rows) contentHeight += row.height;
    double maxOffset = std::max(0.0, contentHeight - frame.height());
    if (auto request = out_ ? controller->takeRequest() : std::nullopt) {
        double top = 0;
        for (const ListRow& row : spec.rows) {
            if (row.id == request->childID) {
                double current = controller->offset().y;
                double to = request->minimal
                                ? std::clamp(current, top + row.height - frame.height(), top)
                                : top + row.height * request->anchor.y - frame.height() * request->anchor.y;
                controller->setOffset({0, to});
                break;
            }
            top += row.height;
        }
    }
    double offset = std::clamp(controller->offset().y, 0.0, maxOffset);
    controller->setOffset({0, offset});
    result_.scrollInfo[n.path()] = {Axis::vertical, contentHeight, frame.height()};
    // Rows the owner moved slide to their new places.
    for (const ListRowMove& move : spec.rowMoves) {
        if (!out_ || move.serial <= dragState.lastMoveSerial) continue;
        dragState.lastMoveSerial = move.serial;
        result_.scrollAnimations.push_back({n.path() + "/" + move.rowID + "#move", move.animation,
                                            std::to_string(move.from), std::to_string(move.to)});
    }
    std::optional<std::string> selected = spec.selection ? spec.selection.get() : std::nullopt;

    // The list takes keys while focused.
    HitRegion listRegion;
    listRegion.focusable = true;
    listRegion.scrollPath = n.path();
    listRegion.scrollAxis = Axis::vertical;
    listRegion.keyHandler = keyboardSelection(e.extras().list);
    if (!spec.dropTypes.empty()) listRegion.dropTarget = listDropTarget(n, ctx.map(frame), offset);
    emitRegion(n, frame, ctx, std::move(listRegion));

    Context inner = ctx;
    Context::ClipLink clipLink;
    inner.addClip(clipLink, {ctx.map(frame), Shape::rect()});
    std::vector<Rect> rects;
    double y = frame.minY() - offset;
    for (const ListRow& row : spec.rows) {
        rects.push_back({frame.minX(), y, frame.width(), row.height});
        y += row.height;
    }
    std::optional<size_t> draggedIndex;
    for (size_t i = 0; i < spec.rows.size(); ++i) {
        if (!dragState.draggedID.empty() && spec.rows[i].id == dragState.draggedID) draggedIndex = i;
    }
    auto placeRow = [&](size_t i, const Rect& r, Context rowCtx) {
        const ListRow& row = spec.rows[i];
        rowCtx.opacity *= row.alpha;
        if (spec.highlightSelection && selected && *selected == row.id && row.selectable)
            drawSelectedRow(n, r, rowCtx);
        place(*n.kids[i], r, rowCtx);
    };
    for (size_t i = 0; i < spec.rows.size(); ++i) {
        if (draggedIndex == i) continue;
        placeRow(i, rects[i], inner);
        const ListRow& row = spec.rows[i];
        HitRegion rr = rowTaps(spec, row);
        if (row.movable && spec.onMove) {
            rr.drag = rowReorderGesture(n, i, rects[i].minY() + offset - frame.minY());
        } else if (row.pasteboard) {
            rr.drag = rowDragSession(n, i, rects[i].minY() + offset - frame.minY());
        }
        emitRegion(*n.kids[i], rects[i], inner, std::move(rr));
    }
    if (dragState.sessionActive) {
        // The drag image: the dragged row under the pointer.
        for (size_t i = 0; i < spec.rows.size(); ++i) {
            if (spec.rows[i].id != dragState.sessionRowID) continue;
            Context lifted = inner;
            lifted.opacity *= 0.8;
            Rect r{frame.minX(),
                   frame.minY() - offset + dragState.sessionRowTop + dragState.sessionTranslation,
                   frame.width(), spec.rows[i].height};
            place(*n.kids[i], r, lifted);
        }
    }
    if (draggedIndex) {
        size_t i = *draggedIndex;
        double mid = rects[i].midY() - frame.minY() + offset + dragState.translation;
        size_t to = listInsertionIndex(spec.rows, i, mid);
        // The insertion line between the other rows.
        double lineY = frame.minY() - offset;
        size_t seen = 0;
        for (size_t k = 0; k < spec.rows.size() && seen < to; ++k) {
            if (k == i) continue;
            lineY = rects[k].maxY();
            ++seen;
        }
        if (to == 0) {
            for (size_t k = 0; k < spec.rows.size(); ++k) {
                if (k != i) {
                    lineY = rects[k].minY();
                    break;
                }
            }
        }
        drawInsertionLine(n, frame, lineY, inner);
        Context lifted = inner;
        lifted.opacity *= 0.8;
        placeRow(i, rects[i].offsetBy(0, dragState.translation), lifted);
    }
}

}  // namespace qv
