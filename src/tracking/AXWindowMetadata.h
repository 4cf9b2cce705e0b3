#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/AXElement.h"

namespace qv {

// What one Accessibility window element says about itself; a field is absent when the attribute
// could not be read in time, is not set, or has another type.
struct AXWindowMetadata {
    std::optional<std::string> title;    // "AXTitle"
    std::optional<std::string> role;     // "AXRole"
    std::optional<std::string> subrole;  // "AXSubrole"
    std::optional<bool> isModal;         // "AXModal"
    std::optional<bool> isMinimized;     // "AXMinimized"
    // A read of the role, subrole, modal or minimised flag got no answer (it timed out, could not
    // complete or is not implemented): a busy application, not a verdict on the window.
    bool unanswered = false;
};

using AXWindowMetadataMap = std::map<uint32_t, AXWindowMetadata>;

// One read of an application's Accessibility window list, as its worker hands it to the main
// thread: what each window says about itself and the element it was read from, by window id.
struct AXWindowList {
    AXWindowMetadataMap metadataByID;
    std::map<uint32_t, AXElement> elementsByID;
    bool hasList = false;  // false: the list itself could not be read
};

}  // namespace qv
