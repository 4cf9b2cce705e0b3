#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "tracking/AXWindowMetadata.h"

namespace qv {

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

// The verdict of the owner's list on one window; a list that could not be read admits everything.
CGWindowAXAdmission cgWindowAXAdmission(uint32_t windowID, const AXWindowMetadataMap& metadataByID,
                                        bool hasAXWindowList);
// A window the bar shows: a window, not modal, standard or without a subrole, or minimised.
bool isDockEligibleAXWindow(const AXWindowMetadata& metadata);
// Why isDockEligibleAXWindow refuses a window; diagnostic text only.
std::string axIneligibilityReason(const AXWindowMetadata& metadata);
// The lenient test for a window that has just been created: what it could not say is not held
// against it.
bool isClearlyIneligibleAXWindow(const AXWindowMetadata& metadata);

}  // namespace qv
