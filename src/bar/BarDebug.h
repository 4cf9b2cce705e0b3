#pragma once

#include <optional>
#include <string>

#include "platform/SystemInfo.h"

namespace qv {

// The bar's two environment switches, read from one snapshot of the process environment and fixed
// from then on. Each is on exactly when its variable holds the text "1".
struct BarDebug {
    static constexpr const char* kEdgeReservationVariable = "QUILLVORN_EDGE_RESERVATION";
    static constexpr const char* kCursorOwnershipLogVariable = "QUILLVORN_CURSOR_OWNERSHIP_LOG";

    bool edgeReservationEnabled = false;
    bool cursorOwnershipLoggingEnabled = false;

    // Both switches from one reading of the environment.
    static BarDebug fromEnvironment(SystemInfo& system);
    // "1" and nothing else: not "true", not " 1", not empty.
    static bool isOn(const std::optional<std::string>& value) { return value && *value == "1"; }
};

}  // namespace qv
