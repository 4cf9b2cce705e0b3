#include "platform/sim/SimApplications.h"

#include "platform/dispatch/Runtime.h"
#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimServices.h"
#include "platform/sim/SimWindowing.h"

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

void SimApplications::install(SimInstalledApp app) {
    std::lock_guard lock(sim_.worldMutex());
    app.path = defaultPath(app);
    std::string key = app.bundleID;
    installed_[key] = std::move(app);
}

void SimApplications::uninstall(const std::string& bundleID) {
    std::lock_guard lock(sim_.worldMutex());
    installed_.erase(bundleID);
}

const SimInstalledApp* SimApplications::installed(const std::string& bundleID) const {
    std::lock_guard lock(sim_.worldMutex());
    auto it = installed_.find(bundleID);
    return it == installed_.end() ? nullptr : &it->second;
}

const SimInstalledApp* SimApplications::installedAt(const std::string& path) const {
    std::lock_guard lock(sim_.worldMutex());
    for (const auto& [id, app] : installed_) {
        if (app.path == path) return &app;
    }
    return nullptr;
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
        return app->icon ? std::make_shared<const Image>(*app->icon) : namedIcon(app->name);
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
        if (app->infoDictionary) return app->infoDictionary;
        Value::Dictionary info{{"CFBundleIdentifier", Value::string(app->bundleID)},
                               {"CFBundleName", Value::string(app->name)},
                               {"CFBundleExecutable", Value::string(app->name)}};
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
    sim_.runtime().mainQueue()->async([this, path] {
        std::optional<SimInstalledApp> bundle;
        std::optional<int32_t> running;
        {
            std::lock_guard lock(sim_.worldMutex());
            if (const SimInstalledApp* app = installedAt(path)) bundle = *app;
            for (const auto& [pid, app] : sim_.apps()) {
                if (app.terminated) continue;
                if (app.bundlePath == path || (bundle && app.bundleID == bundle->bundleID)) {
                    running = pid;
                    break;
                }
            }
        }
        if (running) {
            bringForward(*running);
        } else if (bundle) {
            bringForward(launch(*bundle));
        }
    });
}

int32_t SimApplications::launch(const SimInstalledApp& app) {
    SimAppSpec spec;
    spec.bundleID = app.bundleID;
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

void SimApplications::bringForward(int32_t pid) {
    if (pid != sim_.ownPID()) sim_.windowing().deactivate();
    sim_.activateApp(pid);
}

bool SimApplications::activateFrom(int32_t pid, int32_t fromPID, uint32_t options) {
    sim_.record("NSRunningApplication.activateFromApplication",
                Value::array({Value::number(pid), Value::number(fromPID), Value::number(options)}));
    const SimApp* app = sim_.app(pid);
    if (!app || app->terminated || refuseCooperativeActivation) return false;
    // Only the active application can hand activation on, and our own only to whom it yielded.
    if (sim_.frontmostPID() != fromPID) return false;
    if (fromPID == sim_.ownPID() && pid != fromPID && yieldedTo != pid) return false;
    yieldedTo.reset();
    bringForward(pid);
    return true;
}

bool SimApplications::activate(int32_t pid, uint32_t options) {
    sim_.record("NSRunningApplication.activateWithOptions",
                Value::array({Value::number(pid), Value::number(options)}));
    const SimApp* app = sim_.app(pid);
    if (!app || app->terminated || refuseActivation.contains(pid)) return false;
    bringForward(pid);
    return true;
}

void SimApplications::yieldActivation(int32_t pid) {
    sim_.record("NSApp.yieldActivation", Value::number(pid));
    yields.push_back({pid, std::nullopt});
    if (sim_.frontmostPID() == sim_.ownPID()) yieldedTo = pid;
}

void SimApplications::yieldActivation(const std::string& bundleID) {
    sim_.record("NSApp.yieldActivation", Value::string(bundleID));
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

bool SimWorkspace::openURL(const std::string& url) {
    return sim_.applications().openURL(url);
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
    sim_.applications().yieldActivation(pid);
}

void SimWindowing::yieldActivationToApplicationWithBundleIdentifier(const std::string& bundleIdentifier) {
    sim_.applications().yieldActivation(bundleIdentifier);
}

}  // namespace qv
