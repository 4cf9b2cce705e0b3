#pragma once

#include "app/QuillVorn.h"

namespace qv {

// The objects the program's start-up builds in its slots: the bar manager, with the services
// plugged into it.
MainRuntimeSlots programSlots(Platform& platform, const SharedServices& services);

}  // namespace qv
