#include "sim/SimDock.h"

#include <algorithm>

#include "sim/SimDesktop.h"
#include "sim/SimPreferences.h"

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

bool SimDock::isShowing() const {
    std::lock_guard lock(sim_.worldMutex());
    if (look_.autoHide) return false;
    const auto& apps = sim_.apps();
    return std::any_of(apps.begin(), apps.end(), [](const auto& kv) {
        return !kv.second.terminated && kv.second.bundleID == kBundleID;
    });
}

const char* SimDock::sideName(SimDockSide side) {
    switch (side) {
        case SimDockSide::left:
            return "left";
        case SimDockSide::right:
            return "right";
        case SimDockSide::bottom:
            break;
    }
    return "bottom";
}

std::optional<SimDockSide> SimDock::sideNamed(const std::string& name) {
    for (SimDockSide side : {SimDockSide::bottom, SimDockSide::left, SimDockSide::right}) {
        if (name == sideName(side)) return side;
    }
    return std::nullopt;
}

void SimDock::setUserSide(SimDockSide side) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.preferences().setValue(kPreferencesDomain, "orientation", Value::string(sideName(side)));
    look_.side = side;
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
    // An "orientation" it does not know puts it at the bottom.
    const auto orientation = sim_.preferences().value(kPreferencesDomain, "orientation");
    const auto named = orientation ? orientation->asString() : nullptr;
    look_.side = named ? sideNamed(*named).value_or(SimDockSide::bottom) : SimDockSide::bottom;
    look_.autohideDelay = sim_.preferences().value(kPreferencesDomain, "autohide-delay");
    look_.noBouncing = sim_.preferences().value(kPreferencesDomain, "no-bouncing");
    ++restarts_;
    return true;
}

}  // namespace qv
