#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "launcher/AppInfo.h"
#include "launcher/AppSearch.h"
#include "platform/FileEventStreams.h"
#include "platform/Platform.h"

namespace qv {

// The model behind the launcher: the installed applications, sorted by name, kept current by
// watching the main application folders, and the text typed into the launcher's search field.
// Scans run in the background; everything else lives on the main queue.
class AppLauncher : public std::enable_shared_from_this<AppLauncher> {
    struct Token {};

  public:
    static constexpr Seconds kDebounceInterval = 2.0;
    static constexpr Seconds kStreamLatency = 1.0;
    static constexpr uint32_t kStreamFlags =
        fseventstreamcreateflags::kUseCFTypes | fseventstreamcreateflags::kFileEvents;  // 17
    static constexpr int kIconSide = 32;
    static constexpr int kUserFolderDepth = 3;  // the folder itself and two levels below it
    static constexpr const char* kScanQueueLabel = "com.quillvorn.appLauncher.scan";
    static constexpr const char* kFinderPath = "/System/Library/CoreServices/Finder.app";
    static constexpr const char* kBrowserBundleID = "com.apple.Safari";

    // Starts watching the application folders, then the first scan.
    static std::shared_ptr<AppLauncher> create(Platform& platform);
    AppLauncher(Token, Platform& platform);
    ~AppLauncher();
    AppLauncher(const AppLauncher&) = delete;
    AppLauncher& operator=(const AppLauncher&) = delete;

    // Empty until the first scan completes; always in name order.
    Published<std::vector<AppInfo>> allApps;
    Published<std::string> searchQuery;

    // Rescans in the background and replaces `allApps`.
    void refresh();
    // The applications matching the query, best first (names are prepared once per scan).
    std::vector<AppInfo> searchResults(const std::vector<AppInfo>& apps, const std::string& query) const;

    // One pass over every folder, sorted by name. Reads only the file system and the workspace,
    // so it runs on any thread.
    static std::vector<AppInfo> discoverApplications(Platform& platform, const std::string& locale);
    static std::string userApplicationsFolder(Platform& platform);

    // --- State, for the owner and tests ---
    FSEventStreamRef eventStream() const { return eventStream_; }
    bool hasPendingRefresh() const { return refreshDebounceWork_ && !refreshDebounceWork_->isCancelled(); }
    // Scans started so far; each is numbered in that order.
    uint64_t scansStarted() const { return scansStarted_; }

  private:
    void startScan();
    // A finished scan replaces the list only when no scan that started later has been applied.
    void applyScan(uint64_t number, std::vector<AppInfo> apps, std::shared_ptr<const SearchIndex> index);
    void startFileSystemMonitoring();
    void handleFileSystemEvent();
    static void discoverAppsRecursively(Platform& platform, const std::string& folder,
                                        std::vector<AppInfo>& apps, std::set<std::string>& seenBundleIDs,
                                        int depth, int maxDepth);
    static std::optional<AppInfo> createAppInfo(Platform& platform, const std::string& path,
                                                std::set<std::string>& seenBundleIDs);

    Platform& platform_;
    FSEventStreamRef eventStream_ = 0;
    WorkItemPtr refreshDebounceWork_;
    // The queue of each scan still running; releasing one waits for its scan to end, so that no
    // scan outlives the launcher.
    std::map<uint64_t, std::shared_ptr<Queue>> scanQueues_;
    uint64_t scansStarted_ = 0;
    uint64_t lastAppliedScan_ = 0;
    std::shared_ptr<const SearchIndex> searchIndex_;
};

}  // namespace qv
