#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/AXElement.h"

namespace qv {

// One Accessibility notification about a window or an application, as the observer manager hands
// it to the window store.
struct AXWindowEvent {
    std::string notification;  // exactly as delivered
    int32_t pid = 0;           // the element's process; 0 when it could not be read
    AXElement element;
    std::optional<uint32_t> windowID;  // when it could be worked out
};

}  // namespace qv
