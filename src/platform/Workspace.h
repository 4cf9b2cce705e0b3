#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Image.h"
#include "platform/Value.h"

namespace qv {

class NotificationCenter;

enum class ActivationPolicy : int { regular = 0, accessory = 1, prohibited = 2 };

// NSApplication.ActivationOptions
namespace activation {
inline constexpr uint32_t kActivateAllWindows = 1;
inline constexpr uint32_t kActivateIgnoringOtherApps = 2;
}  // namespace activation

// UTType.applicationBundle
inline constexpr const char* kContentTypeApplicationBundle = "com.apple.application-bundle";

// Whether URL(string:) makes a URL of the text: a scheme, then only characters a URL may hold, each
// "%" followed by two hexadecimal digits.
bool isValidURLString(std::string_view text);

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
    // NSRunningApplication.runningApplications(withBundleIdentifier:)
    virtual std::vector<RunningApplication> runningApplications(const std::string& bundleIdentifier) = 0;
    // NSWorkspace.shared.notificationCenter
    virtual NotificationCenter& notificationCenter() = 0;

    // --- Application bundles ---
    // URLForApplicationWithBundleIdentifier:, as a path; none when no application has the identifier.
    virtual std::optional<std::string> urlForApplication(const std::string& bundleIdentifier) = 0;
    // iconForFile: a picture for any path, a generic one when nothing is there.
    virtual std::shared_ptr<const Image> iconForFile(const std::string& path) = 0;
    // iconForContentType:
    virtual std::shared_ptr<const Image> iconForContentType(const std::string& contentType) = 0;
    // Bundle(url:)?.infoDictionary; none when there is no bundle at the path.
    virtual std::optional<Value> bundleInfoDictionary(const std::string& path) = 0;
    // openApplicationAtURL:configuration:completionHandler: with a default configuration (the
    // application is launched when needed and activated) and no completion handler. The work
    // completes later; failures are not reported.
    virtual void openApplication(const std::string& path) = 0;

    // --- NSRunningApplication ---
    // NSRunningApplication.currentApplication: our own process.
    virtual RunningApplication currentApplication() = 0;
    // The `icon` of the running application with the pid; none when it has none or is not running.
    virtual std::shared_ptr<const Image> runningApplicationIcon(int32_t pid) = 0;
    // activateFromApplication:options: (cooperative activation); false when refused.
    virtual bool activateApplicationFrom(int32_t pid, int32_t fromPID, uint32_t options) = 0;
    // activateWithOptions:; false when refused.
    virtual bool activateApplication(int32_t pid, uint32_t options) = 0;
    // terminate: asks the application with the pid to quit, as its Quit command does; false when
    // no such application runs. It quits later, or not at all when it declines (unsaved work).
    virtual bool terminateApplication(int32_t pid) = 0;

    // --- Opening addresses ---
    // NSWorkspace.open(_:) with a URL; false when no application opened it.
    virtual bool openURL(const std::string& url) = 0;
    // NSWorkspace.open(_:) with a file URL made from the path: what is there opens (an application
    // bundle launches, or comes forward when it runs) after the call returns; false when nothing
    // is there to open.
    virtual bool openFile(const std::string& path) = 0;
};

}  // namespace qv
