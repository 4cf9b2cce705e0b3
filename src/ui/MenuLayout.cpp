#include "ui/MenuLayout.h"

#include <algorithm>

#include "ui/TextMetrics.h"

namespace qv {

namespace {

const Font kFont = Font::system(13);
constexpr double kCheckColumn = 24;   // the check mark's column, from the left edge
constexpr double kSymbolColumn = 22;  // the items' symbols, after it
constexpr double kRightMargin = 14;
constexpr double kArrowColumn = 18;  // a submenu's arrow, before the right margin
constexpr double kMinimumWidth = 120;
constexpr double kCornerRadius = 6;

bool anySymbol(const Menu& menu) {
    return std::any_of(menu.items.begin(), menu.items.end(),
                       [](const MenuItem& i) { return !i.symbolName.empty(); });
}
bool anySubmenu(const Menu& menu) {
    return std::any_of(menu.items.begin(), menu.items.end(),
                       [](const MenuItem& i) { return i.submenu != nullptr; });
}

// The rows stacked from the top of a menu placed with its top-left corner at `origin`.
MenuLayout stacked(const Menu& menu, Point origin) {
    double widest = 0;
    for (const MenuItem& item : menu.items) {
        if (!item.isSeparator) widest = std::max(widest, textmetrics::width(item.title, kFont));
    }
    MenuLayout layout;
    layout.titleLeft = kCheckColumn + (anySymbol(menu) ? kSymbolColumn : 0);
    const double width = std::max(
        kMinimumWidth, layout.titleLeft + widest + (anySubmenu(menu) ? kArrowColumn : 0) + kRightMargin);
    double y = origin.y + MenuLayout::kPadding;
    for (const MenuItem& item : menu.items) {
        const double h = item.isSeparator ? MenuLayout::kSeparatorHeight : MenuLayout::kRowHeight;
        layout.rows.push_back({{origin.x, y, width, h}, &item});
        y += h;
    }
    layout.frame = {origin.x, origin.y, width, y + MenuLayout::kPadding - origin.y};
    return layout;
}

MenuLayout movedBy(MenuLayout layout, double dx, double dy) {
    layout.frame = layout.frame.offsetBy(dx, dy);
    for (auto& row : layout.rows) row.frame = row.frame.offsetBy(dx, dy);
    return layout;
}

// Moved onto the screen, its top edge kept when it is taller than the screen.
MenuLayout keptOn(MenuLayout layout, const Rect& screen) {
    const Rect& f = layout.frame;
    const double dx = std::max(screen.minX() - f.minX(), std::min(0.0, screen.maxX() - f.maxX()));
    const double dy = std::max(screen.minY() - f.minY(), std::min(0.0, screen.maxY() - f.maxY()));
    return movedBy(std::move(layout), dx, dy);
}

RGBA grey(double white, double alpha) {
    return {white, white, white, alpha};
}

DrawOp shapeOp(const Rect& frame, Shape shape, RGBA fill) {
    DrawOp op;
    op.kind = DrawOp::Kind::shape;
    op.frame = frame;
    op.shape = shape;
    op.fill = ResolvedPaint{false, fill, {}, {}, {}};
    return op;
}

DrawOp symbolOp(const Rect& frame, std::string name, RGBA color) {
    DrawOp op;
    op.kind = DrawOp::Kind::image;
    op.imageKind = ImageKind::symbol;
    op.imageName = std::move(name);
    op.frame = frame;
    op.color = color;
    return op;
}

}  // namespace

MenuLayout MenuLayout::contextMenu(const Menu& menu, Point anchor, const Rect& screen) {
    MenuLayout layout = stacked(menu, anchor);
    const Rect f = layout.frame;
    const double dx = f.maxX() > screen.maxX() ? -f.width() : 0;
    const double dy = f.maxY() > screen.maxY() ? -f.height() : 0;
    return keptOn(movedBy(std::move(layout), dx, dy), screen);
}

MenuLayout MenuLayout::submenu(const Menu& submenu, const Rect& parent, const Rect& row, const Rect& screen) {
    MenuLayout layout = stacked(submenu, {parent.maxX() - 2, row.minY() - kPadding});
    if (layout.frame.maxX() > screen.maxX()) {
        // The distance first: an argument moved from is not read in the same call.
        const double dx = parent.minX() + 2 - layout.frame.maxX();
        layout = movedBy(std::move(layout), dx, 0);
    }
    return keptOn(std::move(layout), screen);
}

const MenuLayout::Row* MenuLayout::rowAt(Point p) const {
    for (const Row& row : rows) {
        if (!row.item->isSeparator && row.frame.contains(p)) return &row;
    }
    return nullptr;
}

DisplayList MenuLayout::drawing(ColorScheme scheme, const MenuItem* highlighted) const {
    const bool dark = scheme == ColorScheme::dark;
    const RGBA text = dark ? grey(1, 0.9) : grey(0, 0.85), disabled = dark ? grey(1, 0.3) : grey(0, 0.26);
    const RGBA destructive{1, 0.23, 0.19, 1}, accent{0.04, 0.52, 1, 1};
    DisplayList list;
    list.size = frame.size;
    const Rect sheet{0, 0, frame.width(), frame.height()};
    DrawOp shadow = shapeOp(sheet.offsetBy(0, 4), Shape::roundedRect(kCornerRadius), grey(0, 0.3));
    shadow.kind = DrawOp::Kind::shadow;
    shadow.blur = 12;
    list.ops.push_back(shadow);
    DrawOp back = shapeOp(sheet, Shape::roundedRect(kCornerRadius),
                          dark ? RGBA{0.17, 0.17, 0.18, 0.97} : RGBA{0.96, 0.96, 0.965, 0.97});
    back.stroke = ResolvedPaint{false, dark ? grey(1, 0.18) : grey(0, 0.16), {}, {}, {}};
    back.lineWidth = 0.5;
    back.strokeInside = true;
    list.ops.push_back(back);
    for (const Row& row : rows) {
        const Rect r = row.frame.offsetBy(-frame.minX(), -frame.minY());
        const MenuItem& item = *row.item;
        if (item.isSeparator) {
            list.ops.push_back(shapeOp({10, r.midY() - 0.5, r.width() - 20, 1}, Shape::rect(),
                                       dark ? grey(1, 0.12) : grey(0, 0.1)));
            continue;
        }
        const bool lit = &item == highlighted && item.enabled;
        if (lit) list.ops.push_back(shapeOp(r.insetBy(5, 0), Shape::roundedRect(4), accent));
        const RGBA ink = lit ? grey(1, 1) : !item.enabled ? disabled : item.destructive ? destructive : text;
        if (item.state != MenuItemState::off)
            list.ops.push_back(symbolOp({9, r.midY() - 6, 12, 12},
                                        item.state == MenuItemState::on ? "checkmark" : "minus", ink));
        if (!item.symbolName.empty())
            list.ops.push_back(symbolOp({kCheckColumn, r.midY() - 7.5, 15, 15}, item.symbolName, ink));
        DrawOp title;
        title.kind = DrawOp::Kind::text;
        title.font = kFont;
        title.lineHeight = textmetrics::lineHeight(kFont);
        title.lines = {item.title};
        title.color = ink;
        title.frame = {titleLeft, r.midY() - title.lineHeight / 2, textmetrics::width(item.title, kFont),
                       title.lineHeight};
        list.ops.push_back(title);
        if (item.submenu)
            list.ops.push_back(
                symbolOp({r.width() - kRightMargin - 11, r.midY() - 5.5, 11, 11}, "chevron.right", ink));
    }
    return list;
}

}  // namespace qv
