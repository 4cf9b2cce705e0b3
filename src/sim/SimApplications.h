#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Image.h"
#include "platform/Value.h"
#include "platform/Workspace.h"

namespace qv {

class SimDesktop;

// An application bundle on the simulated disk, which the workspace can find, describe and open.
struct SimInstalledApp {
    std::string bundleID;                    // empty: the bundle has no identifier
    std::string name;                        // CFBundleName
    std::string path;                        // empty: "/Applications/<name>.app"; "~/" the user's home
    std::optional<std::string> displayName;  // CFBundleDisplayName
    // Replaces the information dictionary made from the fields above (for odd bundles).
    std::optional<Value> infoDictionary;
    // The bundle's icon; none: a tile named after the application.
    std::optional<Image> icon;
    ActivationPolicy policy = ActivationPolicy::regular;
    // Windows the application opens when it is launched, by title, on the active desktop.
    std::vector<std::string> windowsOnLaunch;
    // False: a folder that cannot be opened as a bundle (no information dictionary).
    bool opens = true;
};

// The installed applications, their icons and information dictionaries, opening applications, and
// activation between applications (cooperative and direct) with the switches that refuse it.
// Main thread, like AppKit.
class SimApplications {
  public:
    static constexpr const char* kGenericApplicationIconName = "Application";
    static constexpr const char* kGenericDocumentIconName = "Document";
    static constexpr int kIconSide = 128;

    explicit SimApplications(SimDesktop& sim);

    // --- The disk: bundles by path, in folders ---
    // The folders that exist on a fresh system: the system's application folders.
    static const std::vector<std::string>& standardFolders();
    // Puts the bundle at its path, replacing what was there. Like the changes below, it posts the
    // file events of every file of the bundle to the event streams that watch the path.
    void install(SimInstalledApp app);
    // Removes every copy with the identifier.
    void uninstall(const std::string& bundleID);
    // Removes the bundle at the path (and bundles inside it); false when there is none.
    bool removeBundle(const std::string& path);
    // Copies the bundle at `from` (and bundles inside it) to `to`; false when there is none or
    // something is at `to` already.
    bool copyBundle(const std::string& from, const std::string& to);
    // A folder of the user's, empty until bundles are put in it.
    void createFolder(const std::string& path);
    // The first copy with the identifier in the order the application folders are searched.
    const SimInstalledApp* installed(const std::string& bundleID) const;
    const SimInstalledApp* installedAt(const std::string& path) const;
    // "~/..." made absolute in the user's home.
    std::string absolutePath(const std::string& path) const;
    // The folder's entries, or none when the disk of bundles has no such folder.
    std::optional<std::vector<DirectoryEntry>> listFolder(const std::string& path) const;
    bool exists(const std::string& path) const;

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
    // Applications with unsaved work: they decline every request to quit.
    std::set<int32_t> declineTermination;

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
    // A request to quit: the application quits on the next turn, windows and all, unless it
    // declines; false when it is not running.
    bool terminate(int32_t pid);
    // A hung application takes requests to activate and to quit, but handles them only once it
    // answers again: the request to quit then, and the one to activate unless another application
    // came forward meanwhile. A forced quit (SimDesktop::terminateApp) ends it at once.
    void answersAgain(int32_t pid);
    void yieldActivation(const std::string& bundleID);
    // Opens an address with a scheme that is not refused; anything else fails.
    bool openURL(const std::string& url);
    // Opens the bundle at the path, as openApplication does; false when no bundle is there.
    bool openFile(const std::string& path);

  private:
    // Activates the application now, or, while it is hung, once it answers again.
    void bringForwardWhenItAnswers(int32_t pid);
    void quitLater(int32_t pid);
    int32_t launch(const SimInstalledApp& app);
    // On the next turn: brings forward the application running from the bundle at the path, or
    // launches it.
    void openBundleLater(const std::string& path);
    static std::shared_ptr<const Image> namedIcon(const std::string& name);

    // Where a bundle stands in the order the application folders are searched.
    std::pair<int, std::string> searchOrder(const std::string& path) const;
    // The file events of putting a bundle at the path, or of taking it away.
    void postBundleEvents(const std::string& path, uint32_t change);

    SimDesktop& sim_;
    std::map<std::string, SimInstalledApp> installed_;  // by path
    std::set<std::string> folders_;                     // besides the ancestors of bundles
    // Requests hung applications have yet to handle: activations, with the application that was
    // frontmost when each was asked, and quits.
    std::map<int32_t, std::optional<int32_t>> pendingActivations_;
    std::set<int32_t> pendingQuits_;
};

}  // namespace qv
