#include "sim/SimServices.h"

#include "sim/SimDesktop.h"

namespace qv {

std::vector<Screen> SimDisplays::screens() {
    return sim_.screens();
}

uint32_t SimDisplays::mainDisplayID() {
    std::lock_guard lock(sim_.worldMutex());
    const SimDisplay* p = sim_.primaryDisplay();
    return p ? p->id : 0;
}

int32_t SimDisplays::getActiveDisplayList(uint32_t maxDisplays, std::vector<uint32_t>& displays) {
    std::lock_guard lock(sim_.worldMutex());
    displays.clear();
    if (sim_.overrides.activeDisplayListError) return *sim_.overrides.activeDisplayListError;
    for (const SimDisplay& d : sim_.displays()) {
        if (displays.size() >= maxDisplays) break;
        displays.push_back(d.id);
    }
    return 0;
}

std::optional<std::string> SimDisplays::displayUUIDString(uint32_t displayID) {
    std::lock_guard lock(sim_.worldMutex());
    const SimDisplay* d = sim_.display(displayID);
    if (!d || !d->reportsUUID) return std::nullopt;
    return d->uuid;
}

bool SimDisplays::displayIsMain(uint32_t displayID) {
    return displayID != 0 && displayID == mainDisplayID();
}

int32_t SimDisplays::getDisplaysWithPoint(Point point, uint32_t maxDisplays,
                                          std::vector<uint32_t>& displays) {
    std::lock_guard lock(sim_.worldMutex());
    displays.clear();
    for (const SimDisplay& d : sim_.displays()) {
        if (displays.size() >= maxDisplays) break;
        if (d.frame.contains(point)) displays.push_back(d.id);
    }
    return 0;
}

bool SimDisplays::screensHaveSeparateSpaces() {
    return sim_.displaysHaveSeparateSpaces();
}

namespace {

RunningApplication snapshot(const SimApp& a, std::optional<int32_t> frontmost) {
    RunningApplication r;
    r.processIdentifier = a.pid;
    r.bundleIdentifier = a.bundleID;
    r.localizedName = a.name;
    r.bundlePath = a.bundlePath;
    r.activationPolicy = a.policy;
    r.isTerminated = a.terminated;
    r.isActive = frontmost == a.pid;
    r.isHidden = a.hidden;
    return r;
}

}  // namespace

std::vector<RunningApplication> SimWorkspace::runningApplications(const std::string& bundleIdentifier) {
    auto all = runningApplications();
    std::erase_if(all, [&](const RunningApplication& a) { return a.bundleIdentifier != bundleIdentifier; });
    return all;
}

std::vector<RunningApplication> SimWorkspace::runningApplications() {
    std::lock_guard lock(sim_.worldMutex());
    std::vector<RunningApplication> out;
    for (const auto& [pid, a] : sim_.apps()) {
        if (a.listed) out.push_back(snapshot(a, sim_.frontmostPID()));
    }
    return out;
}

std::optional<RunningApplication> SimWorkspace::runningApplication(int32_t pid) {
    std::lock_guard lock(sim_.worldMutex());
    const SimApp* a = sim_.app(pid);
    if (!a || !a->listed) return std::nullopt;
    return snapshot(*a, sim_.frontmostPID());
}

std::optional<RunningApplication> SimWorkspace::frontmostApplication() {
    std::lock_guard lock(sim_.worldMutex());
    auto pid = sim_.frontmostPID();
    if (!pid) return std::nullopt;
    return runningApplication(*pid);
}

NotificationCenter& SimWorkspace::notificationCenter() {
    return sim_.workspaceNotifications();
}

int SimSystemInfo::operatingSystemMajorVersion() {
    return sim_.operatingSystemMajorVersion();
}

std::optional<std::string> SimSystemInfo::environmentVariable(std::string_view name) {
    std::lock_guard lock(sim_.worldMutex());
    return sim_.environmentVariable(std::string(name));
}

int32_t SimSystemInfo::currentProcessID() {
    return sim_.ownPID();
}

}  // namespace qv
