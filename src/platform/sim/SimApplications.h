#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "platform/Value.h"
#include "platform/Workspace.h"

namespace qv {

class SimDesktop;

// An application bundle on the simulated disk, which the workspace can find, describe and open.
struct SimInstalledApp {
    std::string bundleID;
    std::string name;                        // CFBundleName
    std::string path;                        // empty: "/Applications/<name>.app"
    std::optional<std::string> displayName;  // CFBundleDisplayName
    // Replaces the information dictionary made from the fields above (for odd bundles).
    std::optional<Value> infoDictionary;
    // The bundle's icon; none: a tile named after the application.
    std::optional<Image> icon;
    ActivationPolicy policy = ActivationPolicy::regular;
    // Windows the application opens when it is launched, by title, on the active desktop.
    std::vector<std::string> windowsOnLaunch;
};

// The installed applications, their icons and information dictionaries, opening applications, and
// activation between applications (cooperative and direct) with the switches that refuse it.
// Main thread, like AppKit.
class SimApplications {
  public:
    static constexpr const char* kGenericApplicationIconName = "Application";
    static constexpr const char* kGenericDocumentIconName = "Document";
    static constexpr int kIconSide = 128;

    explicit SimApplications(SimDesktop& sim) : sim_(sim) {}

    // --- The disk ---
    void install(SimInstalledApp app);
    void uninstall(const std::string& bundleID);
    const SimInstalledApp* installed(const std::string& bundleID) const;
    const SimInstalledApp* installedAt(const std::string& path) const;

    // --- Switches ---
    bool refuseCooperativeActivation = false;  // every activateFromApplication:options: fails
    std::set<int32_t> refuseActivation;        // activateWithOptions: fails for these processes
    std::set<int32_t> withoutIcon;             // running applications whose `icon` is nil
    // The process our application last yielded activation to; cleared when it is used.
    std::optional<int32_t> yieldedTo;
    // Every yield of our application, oldest first: to a process, or to a bundle identifier.
    struct Yield {
        int32_t pid = 0;
        std::optional<std::string> bundleID;
    };
    std::vector<Yield> yields;
    // Addresses no application opens; and every address opened, oldest first.
    std::set<std::string> refusedURLs;
    std::vector<std::string> openedURLs;

    // --- What the workspace answers ---
    std::optional<std::string> urlForApplication(const std::string& bundleID) const;
    std::shared_ptr<const Image> iconForFile(const std::string& path) const;
    std::shared_ptr<const Image> iconForContentType(const std::string& contentType) const;
    std::optional<Value> bundleInfoDictionary(const std::string& path) const;
    void openApplication(const std::string& path);
    std::shared_ptr<const Image> runningApplicationIcon(int32_t pid) const;
    bool activateFrom(int32_t pid, int32_t fromPID, uint32_t options);
    bool activate(int32_t pid, uint32_t options);
    void yieldActivation(int32_t pid);
    void yieldActivation(const std::string& bundleID);
    // Opens an address with a scheme that is not refused; anything else fails.
    bool openURL(const std::string& url);

  private:
    // The application becomes frontmost; our own process stops being the active one.
    void bringForward(int32_t pid);
    int32_t launch(const SimInstalledApp& app);
    static std::shared_ptr<const Image> namedIcon(const std::string& name);

    SimDesktop& sim_;
    std::map<std::string, SimInstalledApp> installed_;  // by bundle identifier
};

}  // namespace qv
