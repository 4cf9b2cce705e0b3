#include "launcher/AppLauncher.h"

#include <algorithm>
#include <numeric>

#include "platform/BitmapRendering.h"

namespace qv {

namespace {

std::string lastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string pathExtension(const std::string& path) {
    const std::string last = lastComponent(path);
    const size_t dot = last.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : last.substr(dot + 1);
}

std::string withoutExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

const std::string* stringFor(const std::optional<Value>& info, std::string_view key) {
    return info ? (*info)[key].asString() : nullptr;
}

// The icon drawn once at the list's size, so that the list never draws full-size icons.
std::shared_ptr<const Image> listIcon(const std::shared_ptr<const Image>& icon) {
    if (!icon) return nullptr;
    if (auto bitmap = renderBitmap(*icon, AppLauncher::kIconSide, AppLauncher::kIconSide))
        return std::make_shared<const Image>(std::move(*bitmap));
    Image sized = *icon;
    sized.width = sized.height = AppLauncher::kIconSide;
    return std::make_shared<const Image>(std::move(sized));
}

}  // namespace

std::shared_ptr<AppLauncher> AppLauncher::create(Platform& platform) {
    auto launcher = std::make_shared<AppLauncher>(Token{}, platform);
    // Watching starts first: an application installed while the first scan runs is then rescanned
    // for, where it would otherwise be missed by both.
    launcher->startFileSystemMonitoring();
    launcher->startScan();
    return launcher;
}

AppLauncher::AppLauncher(Token, Platform& platform) : platform_(platform) {}

AppLauncher::~AppLauncher() {
    if (eventStream_) {
        platform_.fileEventStreams.stop(eventStream_);
        platform_.fileEventStreams.invalidate(eventStream_);
        platform_.fileEventStreams.release(eventStream_);
    }
    if (refreshDebounceWork_) refreshDebounceWork_->cancel();
}

std::string AppLauncher::userApplicationsFolder(Platform& platform) {
    return platform.fileSystem.homeDirectoryForCurrentUser() + "/Applications";
}

void AppLauncher::refresh() {
    startScan();
}

std::vector<AppInfo> AppLauncher::searchResults(const std::vector<AppInfo>& apps,
                                                const std::string& query) const {
    return qv::searchResults(apps, query, platform_.system.currentLocaleIdentifier(), searchIndex_.get());
}

// --- Scans ---

void AppLauncher::startScan() {
    const uint64_t number = ++scansStarted_;
    const std::string locale = platform_.system.currentLocaleIdentifier();
    // A queue of its own per scan: scans may overlap, as on a global concurrent queue.
    auto queue = platform_.runtime.makeSerialQueue(kScanQueueLabel, QoS::userInitiated);
    scanQueues_[number] = queue;
    auto main = platform_.runtime.mainQueue();
    std::weak_ptr<AppLauncher> weak = weak_from_this();
    Platform* platform = &platform_;
    queue->async([main, weak, platform, number, locale] {
        if (weak.expired()) return;
        auto apps = discoverApplications(*platform, locale);
        auto index = std::make_shared<const SearchIndex>(makeSearchIndex(apps, locale));
        main->async([weak, number, apps = std::move(apps), index]() mutable {
            auto self = weak.lock();
            if (!self) return;
            self->scanQueues_.erase(number);
            self->applyScan(number, std::move(apps), std::move(index));
        });
    });
}

void AppLauncher::applyScan(uint64_t number, std::vector<AppInfo> apps,
                            std::shared_ptr<const SearchIndex> index) {
    // An older scan that finishes late would bring back a list without what was installed since.
    if (number <= lastAppliedScan_) return;
    lastAppliedScan_ = number;
    searchIndex_ = std::move(index);
    allApps = std::move(apps);
}

std::vector<AppInfo> AppLauncher::discoverApplications(Platform& platform, const std::string& locale) {
    std::vector<AppInfo> apps;
    std::set<std::string> seen;
    for (const std::string& folder : systemApplicationFolders()) {
        auto entries = platform.fileSystem.contentsOfDirectory(folder);
        if (!entries) continue;
        for (const DirectoryEntry& entry : *entries) {
            if (auto app = createAppInfo(platform, entry.path, seen)) apps.push_back(std::move(*app));
        }
    }
    discoverAppsRecursively(platform, userApplicationsFolder(platform), apps, seen, 0, kUserFolderDepth);
    if (auto finder = createAppInfo(platform, kFinderPath, seen)) apps.push_back(std::move(*finder));
    if (auto browser = platform.workspace.urlForApplication(kBrowserBundleID)) {
        if (auto app = createAppInfo(platform, *browser, seen)) apps.push_back(std::move(*app));
    }

    std::vector<std::string> keys;
    keys.reserve(apps.size());
    for (const AppInfo& app : apps) keys.push_back(TextServices::caseInsensitiveSortKey(app.name, locale));
    std::vector<size_t> order(apps.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    std::vector<AppInfo> sorted;
    sorted.reserve(apps.size());
    for (size_t i : order) sorted.push_back(std::move(apps[i]));
    return sorted;
}

void AppLauncher::discoverAppsRecursively(Platform& platform, const std::string& folder,
                                          std::vector<AppInfo>& apps, std::set<std::string>& seenBundleIDs,
                                          int depth, int maxDepth) {
    if (depth >= maxDepth) return;
    auto entries = platform.fileSystem.contentsOfDirectory(folder);
    if (!entries) return;
    for (const DirectoryEntry& entry : *entries) {
        if (pathExtension(entry.path) == "app") {
            // A bundle is never entered, whether it is taken or not.
            if (auto app = createAppInfo(platform, entry.path, seenBundleIDs))
                apps.push_back(std::move(*app));
        } else if (entry.isDirectory) {
            discoverAppsRecursively(platform, entry.path, apps, seenBundleIDs, depth + 1, maxDepth);
        }
    }
}

std::optional<AppInfo> AppLauncher::createAppInfo(Platform& platform, const std::string& path,
                                                  std::set<std::string>& seenBundleIDs) {
    if (pathExtension(path) != "app" || !platform.fileSystem.fileExists(path)) return std::nullopt;
    const std::optional<Value> info = platform.workspace.bundleInfoDictionary(path);
    std::string id = path;
    if (const std::string* identifier = stringFor(info, "CFBundleIdentifier");
        identifier && !identifier->empty())
        id = *identifier;
    // The identifier is claimed before the name is looked at: a bundle left out for its name
    // still hides later copies with its identifier.
    if (!seenBundleIDs.insert(id).second) return std::nullopt;
    std::string name;
    if (const std::string* display = stringFor(info, "CFBundleDisplayName")) {
        name = *display;
    } else if (const std::string* bundleName = stringFor(info, "CFBundleName")) {
        name = *bundleName;
    } else {
        name = withoutExtension(lastComponent(path));
    }
    if (name.empty()) return std::nullopt;
    return AppInfo{std::move(id), std::move(name), path, listIcon(platform.workspace.iconForFile(path))};
}

// --- Folder watching ---

void AppLauncher::startFileSystemMonitoring() {
    if (eventStream_) return;
    std::vector<std::string> watched;
    for (const std::string& folder : {std::string("/Applications"), std::string("/System/Applications"),
                                      userApplicationsFolder(platform_)}) {
        if (platform_.fileSystem.fileExists(folder)) watched.push_back(folder);
    }
    if (watched.empty()) return;
    std::weak_ptr<AppLauncher> weak = weak_from_this();
    FileEventStreams& streams = platform_.fileEventStreams;
    const FSEventStreamRef stream = streams.create(
        [weak](FSEventStreamRef, const std::vector<FSEvent>&) {
            if (auto self = weak.lock()) self->handleFileSystemEvent();
        },
        std::move(watched), kFSEventStreamEventIdSinceNow, kStreamLatency, kStreamFlags);
    if (!stream) return;
    streams.setDispatchQueue(stream, platform_.runtime.mainQueue());
    streams.start(stream);
    eventStream_ = stream;
}

void AppLauncher::handleFileSystemEvent() {
    if (refreshDebounceWork_) refreshDebounceWork_->cancel();
    std::weak_ptr<AppLauncher> weak = weak_from_this();
    refreshDebounceWork_ = platform_.runtime.mainQueue()->asyncAfter(kDebounceInterval, [weak] {
        if (auto self = weak.lock()) self->refresh();
    });
}

}  // namespace qv
