#pragma once

#include <ostream>

#include "platform/Platform.h"
#include "platform/dispatch/RealRuntime.h"

namespace qv {

// Starts the badge service, lets its first poll publish and prints the Dock badges and attention
// requests it found.
void printBadges(Platform& platform, RealRuntime& runtime, std::ostream& out);

}  // namespace qv
