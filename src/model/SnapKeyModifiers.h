#pragma once

#include <bit>
#include <cstdint>

#include "model/KeyboardShortcut.h"

namespace qv {

// The modifier combination held for keyboard snapping, as Carbon modifier bits (fn 131072 too).
struct SnapKeyModifiers {
    uint32_t rawValue = 0;

    friend bool operator==(const SnapKeyModifiers&, const SnapKeyModifiers&) = default;

    // At least two of fn, Control, Option, Shift and Command: with one, the snap keys would take
    // typing (Shift-C, Shift-arrows) from every application.
    bool holdsTwoModifiers() const {
        constexpr uint32_t kModifierBits =
            carbon::kFunction | carbon::kControl | carbon::kOption | carbon::kShift | carbon::kCommand;
        return std::popcount(rawValue & kModifierBits) >= 2;
    }
};

}  // namespace qv
