#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

class NotificationCenter;

enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

// A snapshot of one running application (NSRunningApplication).
struct RunningApplication {
    int32_t processIdentifier = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundlePath;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool isTerminated = false;
    bool isActive = false;
    bool isHidden = false;
};

// The shared workspace: running applications and the workspace's notifications.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // runningApplicationWithProcessIdentifier:
    virtual std::optional<RunningApplication> runningApplication(int32_t pid) = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // NSWorkspace.shared.notificationCenter
    virtual NotificationCenter& notificationCenter() = 0;
};

}  // namespace qv
