#pragma once

#include <string>

#include "platform/Platform.h"

namespace qv {

// A sheet of one sample chip row (pinned apps with and without an icon, a focused chip, badges,
// attention, a group, a cut title, a chip without an icon and the show-desktop strip) at every bar
// size over every bar background, each on a backdrop as light or dark as the wallpaper that gives
// its colour scheme. An SVG document, for looking at the chips as a user would.
std::string chipSheetSvg(Platform& platform);

}  // namespace qv
