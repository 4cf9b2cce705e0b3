#pragma once

#include <cstdint>

namespace qv {

// The modifier combination held for keyboard snapping, as Carbon modifier bits.
struct SnapKeyModifiers {
    uint32_t rawValue = 0;

    friend bool operator==(const SnapKeyModifiers&, const SnapKeyModifiers&) = default;
};

}  // namespace qv
