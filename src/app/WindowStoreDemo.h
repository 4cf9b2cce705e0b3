#pragma once

#include <ostream>

#include "platform/Backend.h"
#include "platform/Platform.h"
#include "platform/dispatch/RealRuntime.h"

namespace qv {

// Fills a window store from the desktop and prints its windows desktop by desktop.
void printTrackedWindows(Platform& platform, std::ostream& out);

// Follows the world live, as the program does: an application opens a window and closes it, and
// the store learns both through the Accessibility observers on their own thread.
void printWorldChangesReachingTheStore(Backend& backend, RealRuntime& runtime, std::ostream& out);

}  // namespace qv
