#pragma once

#include <ostream>

#include "platform/Backend.h"

namespace qv {

// Puts a small sample bar at the bottom of the main screen, writes a screenshot of the desktop
// to "quillvorn-screenshot.svg" in the working directory and names the file on `out`.
void writeScreenshotDemo(Backend& backend, Runtime& runtime, std::ostream& out);

}  // namespace qv
