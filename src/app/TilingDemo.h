#pragma once

#include <ostream>

#include "platform/Platform.h"

namespace qv {

// Prints, per display, the snap layouts offered for its usable area and the size of the layout
// flyout, then the app launcher's hot key as the settings show it.
void printTilingAndLauncherShortcut(Platform& platform, std::ostream& out);

}  // namespace qv
