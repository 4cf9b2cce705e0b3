#pragma once

#include <ostream>

#include "platform/Platform.h"

namespace qv {

// Opens the settings store and prints where its file lives and what it loaded.
void printSettings(Platform& platform, std::ostream& out);

}  // namespace qv
