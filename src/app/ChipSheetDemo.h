#pragma once

#include <ostream>

#include "platform/Backend.h"

namespace qv {

// Writes the sheet of chips at every bar size over every bar background to "quillvorn-chips.svg"
// in the working directory, beside the screenshot, and names the file on `out`.
void writeChipSheetDemo(Backend& backend, std::ostream& out);

}  // namespace qv
