#pragma once

#include <ostream>

#include "platform/Platform.h"

namespace qv {

// Fills a window store from the desktop and prints its windows desktop by desktop.
void printTrackedWindows(Platform& platform, std::ostream& out);

}  // namespace qv
