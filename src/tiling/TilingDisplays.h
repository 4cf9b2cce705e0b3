#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/UserSettingsData.h"
#include "platform/Displays.h"

namespace qv {

// A screen that window tiling can tell apart from the others: it has a display number and the
// display has a UUID.
struct IdentifiedScreen {
    Screen screen;
    uint32_t displayID = 0;
    std::string uuid;  // the standard 36-character text form
};

// The screens in the platform's order, those without a display number or UUID left out. The one
// count of displays that the per-display tiling choice goes by.
std::vector<IdentifiedScreen> identifiedScreens(Displays& displays);

// Whether the per-display tiling choice is in force: bars on all displays, displays with separate
// Spaces, and two or more displays told apart. Otherwise tiling works on every display, whatever
// the stored list says; the list is kept for when the condition holds again.
bool perDisplayTilingChoiceApplies(bool showOnAllDisplays, bool screensHaveSeparateSpaces,
                                   size_t identifiedDisplayCount);

// Whether tiling may act on the display with this UUID under the settings record.
bool isTilingAllowedOnDisplay(const std::string& displayUUID, const UserSettingsData& settings,
                              Displays& displays);

}  // namespace qv
