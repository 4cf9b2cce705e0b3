#include "sim/SimApplications.h"

#include <algorithm>

#include "dispatch/Runtime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileEventStreams.h"
#include "sim/SimFileSystem.h"
#include "sim/SimServices.h"
#include "sim/SimWindowing.h"

namespace qv {

namespace {

std::string defaultPath(const SimInstalledApp& app) {
    return app.path.empty() ? "/Applications/" + app.name + ".app" : app.path;
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::shared_ptr<const Image> SimApplications::namedIcon(const std::string& name) {
    return std::make_shared<const Image>(Image::named(name, kIconSide, kIconSide));
}

// --- The disk ---

namespace {

std::string parentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool isInside(const std::string& path, const std::string& folder) {
    if (folder == "/") return path.size() > 1 && path.front() == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// The files a bundle is made of, the bundle itself first; the file events of a copy name each.
std::vector<std::pair<std::string, bool>> bundleFiles(const SimInstalledApp& app) {
    const std::string executable = app.name.empty() ? "main" : app.name;
    return {{app.path, true},
            {app.path + "/Contents", true},
            {app.path + "/Contents/Info.plist", false},
            {app.path + "/Contents/MacOS", true},
            {app.path + "/Contents/MacOS/" + executable, false},
            {app.path + "/Contents/Resources", true},
            {app.path + "/Contents/Resources/AppIcon.icns", false}};
}

}  // namespace

const std::vector<std::string>& SimApplications::standardFolders() {
    static const std::vector<std::string> folders = [] {
        std::vector<std::string> all = systemApplicationFolders();
        all.push_back("/System/Library/CoreServices");
        return all;
    }();
    return folders;
}

SimApplications::SimApplications(SimDesktop& sim) : sim_(sim) {
    folders_.insert(standardFolders().begin(), standardFolders().end());
}

std::string SimApplications::absolutePath(const std::string& path) const {
    if (path == "~" || path.starts_with("~/")) return sim_.fileSystem().homeDirectory() + path.substr(1);
    return path;
}

void SimApplications::install(SimInstalledApp app) {
    {
        std::lock_guard lock(sim_.worldMutex());
        app.path = absolutePath(defaultPath(app));
        installed_[app.path] = app;
    }
    postBundleEvents(app.path, fseventstreameventflags::kItemCreated);
}

void SimApplications::uninstall(const std::string& bundleID) {
    std::vector<std::string> paths;
    {
        std::lock_guard lock(sim_.worldMutex());
        for (const auto& [path, app] : installed_) {
            if (app.bundleID == bundleID) paths.push_back(path);
        }
    }
    for (const std::string& path : paths) removeBundle(path);
}

bool SimApplications::removeBundle(const std::string& rawPath) {
    const std::string path = absolutePath(rawPath);
    std::vector<std::string> gone;
    {
        std::lock_guard lock(sim_.worldMutex());
        if (!installed_.contains(path)) return false;
        for (const auto& [p, app] : installed_) {
            if (p == path || isInside(p, path)) gone.push_back(p);
        }
    }
    for (const std::string& p : gone) postBundleEvents(p, fseventstreameventflags::kItemRemoved);
    std::lock_guard lock(sim_.worldMutex());
    for (const std::string& p : gone) installed_.erase(p);
    return true;
}

bool SimApplications::copyBundle(const std::string& rawFrom, const std::string& rawTo) {
    const std::string from = absolutePath(rawFrom), to = absolutePath(rawTo);
    std::vector<SimInstalledApp> copies;
    {
        std::lock_guard lock(sim_.worldMutex());
        if (!installed_.contains(from) || exists(to) || isInside(to, from)) return false;
        for (const auto& [p, app] : installed_) {
            if (p != from && !isInside(p, from)) continue;
            SimInstalledApp copy = app;
            copy.path = to + p.substr(from.size());
            copies.push_back(std::move(copy));
        }
    }
    for (SimInstalledApp& copy : copies) install(std::move(copy));
    return true;
}

void SimApplications::createFolder(const std::string& path) {
    std::lock_guard lock(sim_.worldMutex());
    folders_.insert(absolutePath(path));
}

std::pair<int, std::string> SimApplications::searchOrder(const std::string& path) const {
    const auto& folders = systemApplicationFolders();
    for (size_t i = 0; i < folders.size(); ++i) {
        if (parentOf(path) == folders[i]) return {int(i), path};
    }
    const std::string home = sim_.fileSystem().homeDirectory() + "/Applications";
    if (isInside(path, home)) return {int(folders.size()), path};
    return {int(folders.size()) + 1, path};
}

const SimInstalledApp* SimApplications::installed(const std::string& bundleID) const {
    std::lock_guard lock(sim_.worldMutex());
    const SimInstalledApp* first = nullptr;
    for (const auto& [path, app] : installed_) {
        if (app.bundleID != bundleID) continue;
        if (!first || searchOrder(path) < searchOrder(first->path)) first = &app;
    }
    return first;
}

const SimInstalledApp* SimApplications::installedAt(const std::string& path) const {
    std::lock_guard lock(sim_.worldMutex());
    auto it = installed_.find(path);
    return it == installed_.end() ? nullptr : &it->second;
}

bool SimApplications::exists(const std::string& rawPath) const {
    const std::string path = absolutePath(rawPath);
    std::lock_guard lock(sim_.worldMutex());
    if (installed_.contains(path) || folders_.contains(path)) return true;
    auto under = [&](const std::string& p) { return isInside(p, path); };
    return std::any_of(folders_.begin(), folders_.end(), under) ||
           std::any_of(installed_.begin(), installed_.end(), [&](const auto& e) { return under(e.first); });
}

std::optional<std::vector<DirectoryEntry>> SimApplications::listFolder(const std::string& rawPath) const {
    const std::string path = absolutePath(rawPath);
    std::lock_guard lock(sim_.worldMutex());
    if (!exists(path)) return std::nullopt;
    std::map<std::string, DirectoryEntry> children;
    auto offer = [&](const std::string& p) {
        if (!isInside(p, path)) return;
        const size_t start = path == "/" ? 1 : path.size() + 1;
        const std::string name = p.substr(start, p.find('/', start) - start);
        if (name.empty() || name.front() == '.') return;  // hidden entries are skipped
        const std::string child = (path == "/" ? "" : path) + "/" + name;
        children[child] = {child, true, installed_.contains(child)};
    };
    for (const std::string& f : folders_) offer(f);
    for (const auto& [p, app] : installed_) offer(p);
    std::vector<DirectoryEntry> out;
    for (auto& [p, entry] : children) out.push_back(std::move(entry));
    return out;
}

void SimApplications::postBundleEvents(const std::string& path, uint32_t change) {
    const SimInstalledApp* app = installedAt(path);
    if (!app) return;
    for (const auto& [file, isDir] : bundleFiles(*app)) {
        sim_.fileEventStreams().post(file, change | (isDir ? fseventstreameventflags::kItemIsDir
                                                           : fseventstreameventflags::kItemIsFile));
    }
}

// --- The workspace ---

std::optional<std::string> SimApplications::urlForApplication(const std::string& bundleID) const {
    sim_.record("NSWorkspace.URLForApplicationWithBundleIdentifier", Value::string(bundleID));
    std::lock_guard lock(sim_.worldMutex());
    if (const SimInstalledApp* app = installed(bundleID)) return app->path;
    // LaunchServices also knows the bundles of the applications that run.
    for (const auto& [pid, app] : sim_.apps()) {
        if (!app.terminated && app.bundleID == bundleID && app.bundlePath) return app.bundlePath;
    }
    return std::nullopt;
}

std::shared_ptr<const Image> SimApplications::iconForFile(const std::string& path) const {
    sim_.record("NSWorkspace.iconForFile", Value::string(path));
    std::lock_guard lock(sim_.worldMutex());
    if (const SimInstalledApp* app = installedAt(path)) {
        if (app->icon) return std::make_shared<const Image>(*app->icon);
        // A bundle without a name of its own shows its file's.
        if (!app->name.empty()) return namedIcon(app->name);
        std::string file = path.substr(path.rfind('/') + 1);
        return namedIcon(file.substr(0, file.rfind('.')));
    }
    for (const auto& [pid, app] : sim_.apps()) {
        if (app.bundlePath == path) return namedIcon(app.name);
    }
    return namedIcon(endsWith(path, ".app") ? kGenericApplicationIconName : kGenericDocumentIconName);
}

std::shared_ptr<const Image> SimApplications::iconForContentType(const std::string& contentType) const {
    sim_.record("NSWorkspace.iconForContentType", Value::string(contentType));
    return namedIcon(contentType == kContentTypeApplicationBundle ? kGenericApplicationIconName
                                                                  : kGenericDocumentIconName);
}

std::optional<Value> SimApplications::bundleInfoDictionary(const std::string& path) const {
    sim_.record("NSBundle.infoDictionary", Value::string(path));
    std::lock_guard lock(sim_.worldMutex());
    if (const SimInstalledApp* app = installedAt(path)) {
        if (!app->opens) return std::nullopt;
        if (app->infoDictionary) return app->infoDictionary;
        Value::Dictionary info{{"CFBundleName", Value::string(app->name)},
                               {"CFBundleExecutable", Value::string(app->name)}};
        if (!app->bundleID.empty()) info["CFBundleIdentifier"] = Value::string(app->bundleID);
        if (app->displayName) info["CFBundleDisplayName"] = Value::string(*app->displayName);
        return Value::dictionary(std::move(info));
    }
    for (const auto& [pid, app] : sim_.apps()) {
        if (app.bundlePath != path) continue;
        Value::Dictionary info{{"CFBundleName", Value::string(app.name)},
                               {"CFBundleExecutable", Value::string(app.name)}};
        if (app.bundleID) info["CFBundleIdentifier"] = Value::string(*app.bundleID);
        return Value::dictionary(std::move(info));
    }
    return std::nullopt;
}

void SimApplications::openApplication(const std::string& path) {
    sim_.record("NSWorkspace.openApplication", Value::string(path));
    // LaunchServices does the work later and reports to a completion handler we do not give.
    openBundleLater(path);
}

bool SimApplications::openFile(const std::string& path) {
    sim_.record("NSWorkspace.open", Value::string(path));
    if (!installedAt(path)) return false;
    openBundleLater(path);
    return true;
}

void SimApplications::openBundleLater(const std::string& path) {
    sim_.runtime().mainQueue()->async([this, path] {
        std::optional<SimInstalledApp> bundle;
        std::optional<int32_t> running;
        {
            std::lock_guard lock(sim_.worldMutex());
            if (const SimInstalledApp* app = installedAt(path)) bundle = *app;
            for (const auto& [pid, app] : sim_.apps()) {
                if (app.terminated) continue;
                if (app.bundlePath == path ||
                    (bundle && !bundle->bundleID.empty() && app.bundleID == bundle->bundleID)) {
                    running = pid;
                    break;
                }
            }
        }
        if (running) {
            bringForwardWhenItAnswers(*running);
        } else if (bundle) {
            sim_.activateApp(launch(*bundle));
        }
    });
}

int32_t SimApplications::launch(const SimInstalledApp& app) {
    SimAppSpec spec;
    if (!app.bundleID.empty()) spec.bundleID = app.bundleID;
    spec.name = app.name;
    spec.policy = app.policy;
    spec.bundlePath = app.path;
    int32_t pid = sim_.launchApp(std::move(spec));
    for (const std::string& title : app.windowsOnLaunch) {
        SimWindowSpec window;
        window.pid = pid;
        window.title = title;
        sim_.openWindow(std::move(window));
    }
    return pid;
}

// --- Running applications ---

std::shared_ptr<const Image> SimApplications::runningApplicationIcon(int32_t pid) const {
    sim_.record("NSRunningApplication.icon", Value::number(pid));
    std::lock_guard lock(sim_.worldMutex());
    const SimApp* app = sim_.app(pid);
    if (!app || !app->listed || withoutIcon.contains(pid)) return nullptr;
    if (app->bundlePath) {
        if (const SimInstalledApp* bundle = installedAt(*app->bundlePath); bundle && bundle->icon)
            return std::make_shared<const Image>(*bundle->icon);
    }
    return namedIcon(app->name);
}

// Requests to come forward or to quit may come from any thread (an application's worker): they
// read and change the world under its lock, and what they set in motion runs without it.

bool SimApplications::activateFrom(int32_t pid, int32_t fromPID, uint32_t options) {
    sim_.record("NSRunningApplication.activateFromApplication",
                Value::array({Value::number(pid), Value::number(fromPID), Value::number(options)}));
    {
        std::lock_guard lock(sim_.worldMutex());
        const SimApp* app = sim_.app(pid);
        if (!app || app->terminated || refuseCooperativeActivation) return false;
        // Only the active application can hand activation on, and our own only to whom it yielded.
        if (sim_.frontmostPID() != fromPID) return false;
        if (fromPID == sim_.ownPID() && pid != fromPID && yieldedTo != pid) return false;
        yieldedTo.reset();
    }
    bringForwardWhenItAnswers(pid);
    return true;
}

bool SimApplications::activate(int32_t pid, uint32_t options) {
    sim_.record("NSRunningApplication.activateWithOptions",
                Value::array({Value::number(pid), Value::number(options)}));
    {
        std::lock_guard lock(sim_.worldMutex());
        const SimApp* app = sim_.app(pid);
        if (!app || app->terminated || refuseActivation.contains(pid)) return false;
    }
    bringForwardWhenItAnswers(pid);
    return true;
}

// The request is sent at once and costs the caller nothing; the application handles it.
void SimApplications::bringForwardWhenItAnswers(int32_t pid) {
    {
        std::lock_guard lock(sim_.worldMutex());
        if (sim_.accessibility().isHung(pid)) {
            pendingActivations_[pid] = sim_.frontmostPID();
            return;
        }
    }
    sim_.activateApp(pid);
}

void SimApplications::answersAgain(int32_t pid) {
    std::unique_lock lock(sim_.worldMutex());
    if (pendingQuits_.erase(pid)) {
        pendingActivations_.erase(pid);
        lock.unlock();
        quitLater(pid);
        return;
    }
    auto pending = pendingActivations_.find(pid);
    if (pending == pendingActivations_.end()) return;
    const std::optional<int32_t> frontmostThen = pendingActivations_.extract(pending).mapped();
    const SimApp* app = sim_.app(pid);
    // A later activation of another application supersedes the request.
    const bool comesForward = app && !app->terminated && sim_.frontmostPID() == frontmostThen;
    lock.unlock();
    if (comesForward) sim_.activateApp(pid);
}

void SimApplications::yieldActivation(int32_t pid) {
    sim_.record("NSApp.yieldActivation", Value::number(pid));
    std::lock_guard lock(sim_.worldMutex());
    yields.push_back({pid, std::nullopt});
    if (sim_.frontmostPID() == sim_.ownPID()) yieldedTo = pid;
}

bool SimApplications::terminate(int32_t pid) {
    sim_.record("NSRunningApplication.terminate", Value::number(pid));
    {
        std::lock_guard lock(sim_.worldMutex());
        const SimApp* app = sim_.app(pid);
        if (!app || app->terminated) return false;
        if (sim_.accessibility().isHung(pid)) {
            pendingQuits_.insert(pid);
            return true;
        }
    }
    quitLater(pid);
    return true;
}

void SimApplications::quitLater(int32_t pid) {
    {
        std::lock_guard lock(sim_.worldMutex());
        if (declineTermination.contains(pid)) return;
    }
    // The application handles the request in its own run loop, after the caller's turn.
    sim_.runtime().mainQueue()->async([this, pid] { sim_.terminateApp(pid); });
}

void SimApplications::yieldActivation(const std::string& bundleID) {
    sim_.record("NSApp.yieldActivation", Value::string(bundleID));
    std::lock_guard lock(sim_.worldMutex());
    yields.push_back({0, bundleID});
    if (sim_.frontmostPID() != sim_.ownPID()) return;
    for (const auto& [pid, app] : sim_.apps()) {
        if (!app.terminated && app.bundleID == bundleID) yieldedTo = pid;
    }
}

// --- The services' entry points ---

std::optional<std::string> SimWorkspace::urlForApplication(const std::string& bundleIdentifier) {
    return sim_.applications().urlForApplication(bundleIdentifier);
}
std::shared_ptr<const Image> SimWorkspace::iconForFile(const std::string& path) {
    return sim_.applications().iconForFile(path);
}
std::shared_ptr<const Image> SimWorkspace::iconForContentType(const std::string& contentType) {
    return sim_.applications().iconForContentType(contentType);
}
std::optional<Value> SimWorkspace::bundleInfoDictionary(const std::string& path) {
    return sim_.applications().bundleInfoDictionary(path);
}
void SimWorkspace::openApplication(const std::string& path) {
    sim_.applications().openApplication(path);
}
RunningApplication SimWorkspace::currentApplication() {
    if (auto self = runningApplication(sim_.ownPID())) return *self;
    RunningApplication self;
    self.processIdentifier = sim_.ownPID();
    return self;
}
std::shared_ptr<const Image> SimWorkspace::runningApplicationIcon(int32_t pid) {
    return sim_.applications().runningApplicationIcon(pid);
}
bool SimWorkspace::activateApplicationFrom(int32_t pid, int32_t fromPID, uint32_t options) {
    return sim_.applications().activateFrom(pid, fromPID, options);
}
bool SimWorkspace::activateApplication(int32_t pid, uint32_t options) {
    return sim_.applications().activate(pid, options);
}

bool SimWorkspace::terminateApplication(int32_t pid) {
    return sim_.applications().terminate(pid);
}

bool SimWorkspace::openURL(const std::string& url) {
    return sim_.applications().openURL(url);
}

bool SimWorkspace::openFile(const std::string& path) {
    return sim_.applications().openFile(path);
}

bool SimApplications::openURL(const std::string& url) {
    sim_.record("NSWorkspace.open", Value::string(url));
    const size_t colon = url.find(':');
    if (!isValidURLString(url) || colon == std::string::npos || colon == 0 || refusedURLs.contains(url))
        return false;
    openedURLs.push_back(url);
    return true;
}

void SimWindowing::yieldActivation(int32_t pid) {
    requireMainThread(sim_, "NSApp.yieldActivation");
    sim_.applications().yieldActivation(pid);
}

void SimWindowing::yieldActivationToApplicationWithBundleIdentifier(const std::string& bundleIdentifier) {
    requireMainThread(sim_, "NSApp.yieldActivation");
    sim_.applications().yieldActivation(bundleIdentifier);
}

}  // namespace qv
