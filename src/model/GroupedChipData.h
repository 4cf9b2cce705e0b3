#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Image.h"

namespace qv {

// One chip for several windows of one application on one desktop.
struct GroupedChipData {
    std::string id;  // "group-" and the app key; the desktop is not part of it
    std::string appName;
    std::optional<std::string> bundleIdentifier;
    std::string displayTitle;
    std::shared_ptr<const Image> icon;
    int64_t windowCount = 0;
    std::vector<uint32_t> windowIDs;  // the window to activate first at index 0
    bool isFocused = false;
    std::optional<std::string> badge;
    bool wantsAttention = false;

    const std::string& appKey() const { return bundleIdentifier ? *bundleIdentifier : appName; }
};

}  // namespace qv
