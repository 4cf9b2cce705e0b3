#include "tracking/WindowAdmission.h"

namespace qv {

CGWindowAXAdmission cgWindowAXAdmission(uint32_t windowID, const AXWindowMetadataMap& metadataByID,
                                        bool hasAXWindowList) {
    if (!hasAXWindowList) return CGWindowAXAdmission::admitted();
    auto it = metadataByID.find(windowID);
    if (it == metadataByID.end()) return CGWindowAXAdmission::missing();
    if (it->second.unanswered) return CGWindowAXAdmission::unanswered();
    if (isDockEligibleAXWindow(it->second)) return CGWindowAXAdmission::admitted();
    return CGWindowAXAdmission::rejected(axIneligibilityReason(it->second));
}

bool isDockEligibleAXWindow(const AXWindowMetadata& m) {
    if (m.role != "AXWindow") return false;
    if (m.isModal == true) return false;
    if (m.isMinimized == true) return true;
    if (!m.subrole) return true;
    return *m.subrole == "AXStandardWindow";
}

std::string axIneligibilityReason(const AXWindowMetadata& m) {
    if (m.role != "AXWindow") return "ax-role-not-window role=" + m.role.value_or("nil");
    if (m.isModal == true) return "ax-modal-window";
    return "ax-subrole-not-standard subrole=" + m.subrole.value_or("nil");
}

bool isClearlyIneligibleAXWindow(const AXWindowMetadata& m) {
    if (m.role && *m.role != "AXWindow") return true;
    if (m.isModal == true) return true;
    if (m.isMinimized == true) return false;
    if (!m.subrole) return false;
    return *m.subrole != "AXStandardWindow";
}

}  // namespace qv
