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

// What the owner's Accessibility window list says about one window-list entry. Callers decide by
// the case; the reason is diagnostic text only. `unanswered`: the list has the window but a read
// that decides its eligibility got no answer, so the window is neither admitted nor rejected.
struct CGWindowAXAdmission {
    enum class Case { admitted, rejected, missing, unanswered };

    Case kind = Case::admitted;
    std::string reason;  // empty when admitted

    static CGWindowAXAdmission admitted() { return {Case::admitted, {}}; }
    static CGWindowAXAdmission rejected(std::string reason) { return {Case::rejected, std::move(reason)}; }
    static CGWindowAXAdmission missing() { return {Case::missing, "missing-from-ax-window-list"}; }
    static CGWindowAXAdmission unanswered() { return {Case::unanswered, "ax-read-unanswered"}; }

    friend bool operator==(const CGWindowAXAdmission&, const CGWindowAXAdmission&) = default;
};

}  // namespace qv
