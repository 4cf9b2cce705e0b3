#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Value.h"
#include "platform/Workspace.h"

namespace qv {

// The keys of a window-list entry.
namespace CGWindowKeys {
inline const std::string windowNumber = "kCGWindowNumber";
inline const std::string ownerPID = "kCGWindowOwnerPID";
inline const std::string ownerName = "kCGWindowOwnerName";
inline const std::string windowName = "kCGWindowName";
inline const std::string layer = "kCGWindowLayer";
inline const std::string bounds = "kCGWindowBounds";
inline const std::string alpha = "kCGWindowAlpha";
inline const std::string isOnscreen = "kCGWindowIsOnscreen";
}  // namespace CGWindowKeys

// A typed, read-only view of one window-list entry exactly as the window server returned it. Every
// numeric reader tries the number-object path first, then only the exact native type counts.
struct CGWindowInfo {
    Value dict;

    std::optional<uint32_t> windowID() const;
    std::optional<int32_t> ownerPID() const;
    std::optional<int32_t> layer() const;
    std::optional<Rect> bounds() const;
    std::optional<float> alpha() const;
    std::optional<std::string> ownerName() const;
    std::optional<std::string> windowName() const;
};

// A window-list answer read as a list of string-keyed dictionaries; no list when the answer is
// missing or any element is not a dictionary.
std::optional<std::vector<CGWindowInfo>> windowInfoList(const std::optional<Value>& answer);

// The pids of running, regular applications outside the system's own bar-less processes. There
// is no cache: every call reads the running applications afresh, whatever the interval.
std::unordered_set<int32_t> dockEligibleOwnerPIDs(Workspace& workspace, double cacheTTL = 0);

}  // namespace qv
