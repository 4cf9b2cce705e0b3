#include "platform/sim/SimDock.h"

#include "platform/sim/SimDesktop.h"
#include "platform/sim/SimPreferences.h"

namespace qv {

bool SimDock::hasEntryPoint(std::string_view name) {
    std::lock_guard lock(sim_.worldMutex());
    if (sim_.missingEntryPoints.contains(std::string(name))) return false;
    return name == dockentry::kSendNotification;
}

void SimDock::sendNotification(const std::string& name, int64_t argument) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record(std::string(dockentry::kSendNotification),
                Value::array({Value::string(name), Value::number(argument)}));
}

bool SimDock::getAutoHideEnabled() {
    std::lock_guard lock(sim_.worldMutex());
    return autoHide_;
}

void SimDock::setAutoHideEnabled(bool enabled) {
    sim_.record("CoreDockSetAutoHideEnabled", Value::boolean(enabled));
    std::lock_guard lock(sim_.worldMutex());
    autoHide_ = enabled;
}

void SimDock::setUserAutoHide(bool on) {
    std::lock_guard lock(sim_.worldMutex());
    autoHide_ = on;
    look_.autoHide = on;
}

bool SimDock::restart() {
    std::unique_lock lock(sim_.worldMutex());
    const SimApp* dock = nullptr;
    for (const auto& [pid, app] : sim_.apps()) {
        if (!app.terminated && app.name == kProcessName) dock = &app;
    }
    if (!dock) return false;
    const int32_t oldPID = dock->pid;
    SimAppSpec spec;
    spec.bundleID = dock->bundleID;
    spec.name = dock->name;
    spec.bundlePath = dock->bundlePath;
    spec.policy = dock->policy;
    std::vector<SimWindowSpec> windows;
    for (const auto& [id, w] : sim_.windows()) {
        if (w.ownerPID != oldPID) continue;
        SimWindowSpec s;
        s.title = w.title;
        s.frame = w.frame;
        s.layer = w.layer;
        s.space = w.spaces.empty() ? 0 : *w.spaces.begin();
        s.role = w.role;
        s.subrole = w.subrole;
        s.inAXWindowList = w.inAXWindowList;
        windows.push_back(std::move(s));
    }
    lock.unlock();
    sim_.terminateApp(oldPID);
    const int32_t newPID = sim_.launchApp(std::move(spec));
    for (SimWindowSpec& s : windows) {
        s.pid = newPID;
        sim_.openWindow(std::move(s));
    }
    lock.lock();
    look_.autoHide = autoHide_;
    look_.autohideDelay = sim_.preferences().value(kPreferencesDomain, "autohide-delay");
    look_.noBouncing = sim_.preferences().value(kPreferencesDomain, "no-bouncing");
    ++restarts_;
    return true;
}

}  // namespace qv
