#pragma once

#include <ostream>

#include "platform/Platform.h"
#include "platform/dispatch/RealRuntime.h"

namespace qv {

// Builds the bar model on the desktop, lets the first badge poll arrive and prints every desktop's
// chips as its bar shows them; then clicks a chip and prints that desktop again.
void printBarModel(Platform& platform, RealRuntime& runtime, std::ostream& out);

}  // namespace qv
