#pragma once

#include <optional>
#include <string>

#include "ui/Node.h"

namespace qv {

// The building blocks of the settings window: they hold no state and lay out what they are given.

// The window's header: a tinted tile beside the title and a line about what the window is for.
struct SettingsPanelHeader {
    Node body() const;
};

// A titled card of rows: the title in capitals, an optional subtitle, then the rows on a rounded
// card that adds no margin of its own.
struct SettingsSection {
    std::string title;
    std::optional<std::string> subtitle;
    Node content;
    Node body() const;
};

// The hairline between two rows of a card, starting under the rows' text.
struct RowDivider {
    Node body() const;
};

// The tinted tile at the left of a row; only the symbol turns.
struct SettingsRowIcon {
    std::string symbol;
    double rotation = 0;  // radians
    Node body() const;
};

// A row with its control below the title, lined up with the title.
struct SettingsPickerRow {
    std::string icon;
    double iconRotation = 0;
    std::string title;
    std::optional<std::string> subtitle;
    Node control;
    Node body() const;
};

// A row with a switch at its trailing edge; flipping it writes through `isOn`.
struct SettingsToggleRow {
    std::string icon;
    std::string title;
    std::optional<std::string> subtitle;
    Binding<bool> isOn;
    Node body() const;
};

// A rounded tile in the accent colour with a symbol on it; only the symbol turns.
Node symbolTile(const std::string& symbol, double side, double radius, double symbolSize,
                double rotation = 0);

// The row's title over its optional subtitle, as every row shows them.
Node settingsRowTexts(const std::string& title, const std::optional<std::string>& subtitle,
                      Color subtitleColor = Color::secondary());

// Gives a node all the width offered, its content at the leading edge.
Node fullWidthLeading(Node node);

// The dimming of a row that matters only while another switch is on: faint and inert while off.
Node dimmedUnless(bool active, Node row);

}  // namespace qv
