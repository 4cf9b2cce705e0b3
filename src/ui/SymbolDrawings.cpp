#include "ui/SymbolDrawings.h"

#include <array>
#include <charconv>

namespace qv::symbols {

namespace {

// Outlines and shapes in the 24 x 24 box, one row per name the program uses.
struct Row {
    std::string_view name;
    std::string_view stroke;
    std::string_view fill = {};
    bool dashed = false;
};

constexpr std::string_view kCircle = "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0";
constexpr std::string_view kRoundedSquare =
    "M6 3h12a3 3 0 0 1 3 3v12a3 3 0 0 1-3 3H6a3 3 0 0 1-3-3V6a3 3 0 0 1 3-3z";

constexpr std::array kTable = {
    // The bar and its menus.
    Row{"square.grid.2x2",
        "M3.5 3.5h6.5v6.5H3.5z M14 3.5h6.5v6.5H14z M3.5 14h6.5v6.5H3.5z M14 14h6.5v6.5H14z"},
    Row{"app", kRoundedSquare},
    Row{"app.dashed", kRoundedSquare, {}, true},
    Row{"power", "M7.2 6.3A8 8 0 1 0 16.8 6.3 M12 2.5v9"},
    Row{"minus.rectangle", "M2.5 5h19v14h-19z M8 12h8"},
    Row{"xmark.circle", "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0 M8.5 8.5l7 7 M15.5 8.5l-7 7"},
    Row{"checkmark", "M5 12.5l4.5 4.5L19 7.5"},
    Row{"chevron.right", "M9 5l7 7-7 7"},
    // Pictures and their window controls.
    Row{"xmark", "M6.5 6.5l11 11 M17.5 6.5l-11 11"},
    Row{"minus", "M5 12h14"},
    Row{"minus.circle", "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0 M7.5 12h9"},
    Row{"rectangle.on.rectangle.slash", "M3 9h12v11H3z M8 9V5h13v11h-6 M2.5 2.5l19 19"},
    Row{"magnifyingglass", "M3.5 10a6.5 6.5 0 1 0 13 0a6.5 6.5 0 1 0-13 0 M15 15l6 6"},
    Row{"xmark.circle.fill",
        {},
        "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0z M16.56 9.07L13.63 12L16.56 14.93L14.93 16.56L12 "
        "13.63L9.07 16.56L7.44 14.93L10.37 12L7.44 9.07L9.07 7.44L12 10.37L14.93 7.44Z"},
    // Settings rows, the settings header and the permissions gate.
    Row{"menubar.rectangle", "M2.5 4h19v16h-19z M2.5 8.5h19"},
    Row{"arrow.left.arrow.right", "M3.5 8h16 M15.5 4l4 4-4 4 M20.5 16h-16 M8.5 12l-4 4 4 4"},
    Row{"arrow.left.and.right", "M3 12h18 M7 8l-4 4 4 4 M17 8l4 4-4 4"},
    Row{"display", "M2.5 3.5h19v13h-19z M8.5 20.5h7 M12 16.5v4"},
    Row{"display.2", "M1.5 7h13v9.5h-13z M9.5 7V3.5h13v9.5h-8 M5 20h6 M8 16.5V20"},
    Row{"cloud.fog", "M7 14a4 4 0 0 1 .6-7.96A5.5 5.5 0 0 1 17.8 8a3 3 0 0 1-.3 6z M4 17.5h16 M6.5 21h11"},
    Row{"rectangle.stack", "M3 9.5h18v11H3z M5 6h14 M7.5 3h9"},
    Row{"tag", "M3 3h8.5l9.5 9.5-8.5 8.5L3 11.5z M6 7.5a1.5 1.5 0 1 0 3 0a1.5 1.5 0 1 0-3 0"},
    Row{"character.textbox", "M2.5 4h19v16h-19z M8 16.5l4-9.5 4 9.5 M9.5 13h5"},
    Row{"dock.arrow.down.rectangle", "M2.5 3h19v18h-19z M6 17.5h12 M12 6v7 M9 10l3 3 3-3"},
    Row{"rectangle.on.rectangle", "M3 8.5h13v11.5H3z M8 8.5V4h13v11.5h-5"},
    Row{"rectangle.split.2x1", "M2.5 5h19v14h-19z M12 5v14"},
    Row{"keyboard", "M2 6h20v12H2z M6 10h.01 M10 10h.01 M14 10h.01 M18 10h.01 M7 14.5h10"},
    Row{"command",
        "M9 9V6.5a2.5 2.5 0 1 0-2.5 2.5H17.5a2.5 2.5 0 1 0-2.5-2.5V17.5a2.5 2.5 0 1 0 2.5-2.5H6.5a2.5 2.5 0 "
        "1 0 2.5 2.5z"},
    Row{"arrow.counterclockwise.circle.fill",
        "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0 M7.84 9.6A4.8 4.8 0 1 0 12 7.2 M13.8 5.2l-2 2 2 2"},
    Row{"slider.horizontal.3", "M3 6h18 M3 12h18 M3 18h18",
        "M6 6a2.2 2.2 0 1 0 4.4 0a2.2 2.2 0 1 0-4.4 0z M13 12a2.2 2.2 0 1 0 4.4 0a2.2 2.2 0 1 0-4.4 0z M8 "
        "18a2.2 2.2 0 1 0 4.4 0a2.2 2.2 0 1 0-4.4 0z"},
    Row{"lock.shield",
        "M12 2.5l8 3v6c0 5-3.5 8.5-8 10-4.5-1.5-8-5-8-10v-6z M9.5 12h5v4h-5z M10.5 12v-1.5a1.5 1.5 0 0 1 3 "
        "0V12"},
    Row{"checkmark.circle.fill",
        {},
        "M2.5 12a9.5 9.5 0 1 0 19 0a9.5 9.5 0 1 0-19 0z M6.8 12.6L8.4 11L10.5 13.1L15.6 8L17.2 9.6L10.5 "
        "16.3Z"},
    Row{"exclamationmark.triangle.fill",
        {},
        "M12 2.8L22.3 20.6H1.7Z M10.9 8.2h2.2l-.35 6.6h-1.5z M10.75 17.3a1.25 1.25 0 1 0 2.5 0a1.25 1.25 0 1 "
        "0-2.5 0z"},
    Row{"figure.stand", "M12 8.5v7 M12 15.5l-3 6 M12 15.5l3 6 M12 9l-4.5 4.5 M12 9l4.5 4.5",
        "M10 4.5a2 2 0 1 0 4 0a2 2 0 1 0-4 0z"},
};

// "N.square.fill" for 0 to 50 and "number.square.fill": a display's number in a square.
std::optional<std::string> squareNumber(std::string_view name) {
    constexpr std::string_view suffix = ".square.fill";
    if (!name.ends_with(suffix)) return std::nullopt;
    const std::string_view head = name.substr(0, name.size() - suffix.size());
    if (head == "number") return "#";
    int value = -1;
    const auto [end, error] = std::from_chars(head.data(), head.data() + head.size(), value);
    if (error != std::errc() || end != head.data() + head.size() || value < 0 || value > 50 ||
        (head.size() > 1 && head[0] == '0'))
        return std::nullopt;
    return std::string(head);
}

}  // namespace

std::optional<Drawing> drawing(std::string_view name) {
    for (const Row& row : kTable) {
        if (row.name == name) return Drawing{row.stroke, row.fill, row.dashed, {}};
    }
    if (auto number = squareNumber(name)) return Drawing{kRoundedSquare, {}, false, *number};
    return std::nullopt;
}

Drawing placeholder() {
    return {kCircle, {}, true, "?"};
}

}  // namespace qv::symbols
