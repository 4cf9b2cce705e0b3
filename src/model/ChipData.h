#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Image.h"

namespace qv {

// One window chip of a bar.
struct ChipData {
    uint32_t id = 0;  // the window id
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    std::string windowTitle;            // may be empty
    std::shared_ptr<const Image> icon;  // none: no icon could be found
    bool isFocused = false;
    bool isMinimized = false;
    std::optional<std::string> badge;  // the application's Dock badge
    bool wantsAttention = false;

    // The bundle identifier, or the application name when there is none.
    const std::string& appKey() const { return bundleIdentifier ? *bundleIdentifier : appName; }
};

}  // namespace qv
