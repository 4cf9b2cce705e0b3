#pragma once

#include <optional>
#include <vector>

#include "platform/Menu.h"
#include "ui/Color.h"
#include "ui/DisplayList.h"

namespace qv {

// Where an open menu stands and where its rows are, in the window server's space (top-left origin,
// y down), and how it looks: a rounded sheet of rows with a column for check marks, one for the
// items' symbols when any has one, and one for the arrows of submenus.
struct MenuLayout {
    struct Row {
        Rect frame;
        const MenuItem* item = nullptr;
    };
    Rect frame;
    std::vector<Row> rows;
    double titleLeft = 0;  // from the left edge: after the check marks, and the symbols if any

    static constexpr double kRowHeight = 22;
    static constexpr double kSeparatorHeight = 11;
    static constexpr double kPadding = 5;  // above the first row and below the last

    // A context menu opened at `anchor` on a screen whose usable part is `screen`: its top-left
    // corner at the anchor, opening upwards when there is no room below and to the left when there
    // is none to the right, and kept on the screen.
    static MenuLayout contextMenu(const Menu& menu, Point anchor, const Rect& screen);
    // A submenu beside the row that opens it: its first row level with that row, on the right of
    // the menu or, without room there, on its left, and kept on the screen.
    static MenuLayout submenu(const Menu& submenu, const Rect& parent, const Rect& row, const Rect& screen);

    // The row under a point, if it is an item (separators take no pointer).
    const Row* rowAt(Point p) const;
    // The menu drawn in its own coordinates (its frame's top-left corner at the origin), with one
    // row highlighted.
    DisplayList drawing(ColorScheme scheme, const MenuItem* highlighted) const;
};

}  // namespace qv
