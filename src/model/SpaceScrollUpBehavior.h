#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace qv {

// The neighbouring desktop that scrolling up over a bar switches to; scrolling down goes the
// other way.
enum class SpaceScrollUpBehavior { left, right };

inline constexpr std::array<SpaceScrollUpBehavior, 2> kAllSpaceScrollUpBehaviors{
    SpaceScrollUpBehavior::left, SpaceScrollUpBehavior::right};

constexpr std::string_view rawValue(SpaceScrollUpBehavior b) {
    return b == SpaceScrollUpBehavior::right ? "right" : "left";
}

constexpr std::optional<SpaceScrollUpBehavior> spaceScrollUpBehaviorFromRawValue(std::string_view text) {
    if (text == "left") return SpaceScrollUpBehavior::left;
    if (text == "right") return SpaceScrollUpBehavior::right;
    return std::nullopt;
}

// How the stored text is read: right only when it is exactly "right".
constexpr SpaceScrollUpBehavior spaceScrollUpBehaviorFromSetting(std::string_view text) {
    return text == "right" ? SpaceScrollUpBehavior::right : SpaceScrollUpBehavior::left;
}

}  // namespace qv
