#include <algorithm>
#include <array>
#include <mutex>

#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

namespace qv {

namespace {

constexpr std::array<const char*, 5> kApplicationNotifications = {
    "AXWindowCreated",        "AXFocusedWindowChanged",   "AXMainWindowChanged",
    "AXApplicationActivated", "AXApplicationDeactivated",
};
constexpr std::array<const char*, 6> kWindowNotifications = {
    "AXTitleChanged",       "AXWindowResized",        "AXWindowMoved",
    "AXWindowMiniaturized", "AXWindowDeminiaturized", "AXUIElementDestroyed",
};

template <size_t N>
bool contains(const std::array<const char*, N>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

// One observer: its registrations and the run loops that hold its source. It has a lock of its
// own, so that delivery on the observer's run loop needs nothing of the desktop.
class SimAXObserver : public AXObserver {
  public:
    struct Key {
        int32_t pid;
        uint64_t token;
        std::string notification;
        auto operator<=>(const Key&) const = default;
    };
    static Key keyOf(const AXElement& e, const std::string& notification) {
        return Key{e.ownerPID(), e.token(), notification};
    }

    SimAXObserver(int32_t pid, AXObserverCallback callback) : pid(pid), callback(callback) {}

    bool holdsSource(const RunLoop* loop) const {
        return std::any_of(runLoops.begin(), runLoops.end(),
                           [&](const auto& entry) { return entry.first == loop && !entry.second.expired(); });
    }

    const int32_t pid;
    const AXObserverCallback callback;
    mutable std::mutex mutex;
    std::map<Key, void*> registrations;
    std::vector<std::pair<const RunLoop*, std::weak_ptr<RunLoop>>> runLoops;
};

// --- Observers ---

AXError SimAccessibility::observerCreate(int32_t pid, AXObserverCallback callback, AXObserverRef& observer) {
    sim_.record("AXObserverCreate", Value::number(pid));
    std::lock_guard lock(sim_.worldMutex());
    if (!trusted_) return kAXErrorAPIDisabled;
    if (pid <= 0 || !callback) return kAXErrorIllegalArgument;
    if (const SimAXAppFaults* f = faultsOf(pid); f && f->observerCreateError) return *f->observerCreateError;
    auto created = std::make_shared<SimAXObserver>(pid, callback);
    observers_[pid].push_back(created);
    observer = created;
    return kAXErrorSuccess;
}

AXError SimAccessibility::observerAddNotification(AXObserver& observer, const AXElement& element,
                                                  const std::string& notification, void* refcon) {
    sim_.record("AXObserverAddNotification",
                Value::array({Value::element(element), Value::string(notification)}));
    auto* obs = dynamic_cast<SimAXObserver*>(&observer);
    if (!obs) return kAXErrorInvalidUIElementObserver;
    if (AXError err = awaitAnswer(element, "AXObserverAddNotification", notification)) return err;
    std::lock_guard lock(sim_.worldMutex());
    if (AXError err = gate(element)) return err;
    if (const SimAXAppFaults* f = faultsOf(element.ownerPID()); f && f->addNotificationError) {
        if (f->addNotificationErrorNames.empty() || f->addNotificationErrorNames.contains(notification)) {
            return *f->addNotificationError;
        }
    }
    if (obs->pid != element.ownerPID()) return kAXErrorIllegalArgument;
    // An application still getting ready cannot take registrations yet.
    if (gettingReady(element.ownerPID())) return kAXErrorCannotComplete;
    ElementKind kind = kindOf(element);
    bool supported = kind == ElementKind::application ? contains(kApplicationNotifications, notification)
                     : kind == ElementKind::window    ? contains(kWindowNotifications, notification)
                                                      : notification == "AXUIElementDestroyed";
    if (!supported) return kAXErrorNotificationUnsupported;
    std::lock_guard observerLock(obs->mutex);
    auto [it, inserted] = obs->registrations.emplace(SimAXObserver::keyOf(element, notification), refcon);
    return inserted ? kAXErrorSuccess : kAXErrorNotificationAlreadyRegistered;
}

AXError SimAccessibility::observerRemoveNotification(AXObserver& observer, const AXElement& element,
                                                     const std::string& notification) {
    sim_.record("AXObserverRemoveNotification",
                Value::array({Value::element(element), Value::string(notification)}));
    auto* obs = dynamic_cast<SimAXObserver*>(&observer);
    if (!obs) return kAXErrorInvalidUIElementObserver;
    std::lock_guard observerLock(obs->mutex);
    return obs->registrations.erase(SimAXObserver::keyOf(element, notification))
               ? kAXErrorSuccess
               : kAXErrorNotificationNotRegistered;
}

void SimAccessibility::addObserverSourceToRunLoop(AXObserver& observer,
                                                  const std::shared_ptr<RunLoop>& runLoop) {
    sim_.record("CFRunLoopAddSource", Value::string(runLoop ? runLoop->label() : ""));
    auto* obs = dynamic_cast<SimAXObserver*>(&observer);
    if (!obs || !runLoop) return;
    std::lock_guard observerLock(obs->mutex);
    if (!obs->holdsSource(runLoop.get())) obs->runLoops.emplace_back(runLoop.get(), runLoop);
}

void SimAccessibility::removeObserverSourceFromRunLoop(AXObserver& observer,
                                                       const std::shared_ptr<RunLoop>& runLoop) {
    sim_.record("CFRunLoopRemoveSource", Value::string(runLoop ? runLoop->label() : ""));
    auto* obs = dynamic_cast<SimAXObserver*>(&observer);
    if (!obs) return;
    std::lock_guard observerLock(obs->mutex);
    std::erase_if(obs->runLoops, [&](const auto& entry) { return entry.first == runLoop.get(); });
}

std::vector<std::shared_ptr<SimAXObserver>> SimAccessibility::liveObservers(int32_t pid) const {
    std::vector<std::shared_ptr<SimAXObserver>> out;
    auto it = observers_.find(pid);
    if (it == observers_.end()) return out;
    std::erase_if(it->second, [](const auto& weak) { return weak.expired(); });
    for (const auto& weak : it->second) {
        if (auto obs = weak.lock()) out.push_back(std::move(obs));
    }
    return out;
}

std::vector<std::string> SimAccessibility::registeredNotifications(const AXElement& element) const {
    std::lock_guard lock(sim_.worldMutex());
    std::vector<std::string> out;
    for (const auto& obs : liveObservers(element.ownerPID())) {
        std::lock_guard observerLock(obs->mutex);
        for (const auto& [key, refcon] : obs->registrations) {
            if (key.pid == element.ownerPID() && key.token == element.token())
                out.push_back(key.notification);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

size_t SimAccessibility::installedObserverCount(int32_t pid) const {
    std::lock_guard lock(sim_.worldMutex());
    size_t n = 0;
    for (const auto& obs : liveObservers(pid)) {
        std::lock_guard observerLock(obs->mutex);
        n += std::any_of(obs->runLoops.begin(), obs->runLoops.end(),
                         [](const auto& entry) { return !entry.second.expired(); });
    }
    return n;
}

void SimAccessibility::postNotification(const AXElement& registeredOn, const AXElement& subject,
                                        const std::string& notification) {
    std::lock_guard lock(sim_.worldMutex());
    const int32_t pid = registeredOn.ownerPID();
    if (!announcing || gettingReady(pid)) return;
    if (isHung(pid)) {
        // Posted once it runs again; a process that is gone posts nothing.
        if (const SimApp* app = sim_.app(pid); app && !app->terminated)
            heldNotifications_[pid].push_back({registeredOn, subject, notification});
        return;
    }
    const auto key = SimAXObserver::keyOf(registeredOn, notification);
    for (const auto& obs : liveObservers(pid)) {
        std::vector<std::shared_ptr<RunLoop>> loops;
        {
            std::lock_guard observerLock(obs->mutex);
            if (!obs->registrations.contains(key)) continue;
            for (const auto& [id, weak] : obs->runLoops) {
                if (auto loop = weak.lock()) loops.push_back(std::move(loop));
            }
        }
        std::weak_ptr<SimAXObserver> weakObserver = obs;
        for (const auto& loop : loops) {
            // Whether the observer still wants it is decided when the run loop gets to it.
            loop->async([weakObserver, source = loop.get(), key, subject, notification] {
                auto target = weakObserver.lock();
                if (!target) return;
                void* refcon = nullptr;
                {
                    std::lock_guard observerLock(target->mutex);
                    auto it = target->registrations.find(key);
                    if (it == target->registrations.end() || !target->holdsSource(source)) return;
                    refcon = it->second;
                }
                // Each callback hands out a reference of its own to the element.
                target->callback(*target, makeElement(subject.ownerPID(), subject.token()), notification,
                                 refcon);
            });
        }
    }
}

// --- The world's changes ---

void SimAccessibility::updateFocus(int32_t pid) {
    uint32_t focused = focusedWindowOf(pid);
    AppState& state = apps_[pid];
    if (focused == state.focusedWindow) return;
    state.focusedWindow = focused;
    if (focused) postNotification(AXElement(pid, 0), AXElement(pid, focused), "AXFocusedWindowChanged");
}

void SimAccessibility::windowOpened(const SimWindow& w) {
    if (w.inAXWindowList)
        postNotification(AXElement(w.ownerPID, 0), AXElement(w.ownerPID, w.id), "AXWindowCreated");
    updateFocus(w.ownerPID);
}

void SimAccessibility::windowClosed(uint32_t windowID, int32_t pid) {
    postNotification(AXElement(pid, windowID), "AXUIElementDestroyed");
    updateFocus(pid);
}

void SimAccessibility::windowFrameChanged(const SimWindow& w, const Rect& previous) {
    AXElement element(w.ownerPID, w.id);
    if (w.frame.origin != previous.origin) postNotification(element, "AXWindowMoved");
    if (w.frame.size != previous.size) postNotification(element, "AXWindowResized");
}

void SimAccessibility::windowTitleChanged(const SimWindow& w) {
    postNotification(AXElement(w.ownerPID, w.id), "AXTitleChanged");
}

void SimAccessibility::windowMinimizedChanged(const SimWindow& w) {
    postNotification(AXElement(w.ownerPID, w.id),
                     w.minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized");
    updateFocus(w.ownerPID);
}

void SimAccessibility::windowRaised(const SimWindow& w) {
    updateFocus(w.ownerPID);
}

void SimAccessibility::appActivated(int32_t pid, std::optional<int32_t> previous) {
    if (previous) postNotification(AXElement(*previous, 0), "AXApplicationDeactivated");
    postNotification(AXElement(pid, 0), "AXApplicationActivated");
}

void SimAccessibility::appTerminated(int32_t pid, const std::vector<uint32_t>& windowIDs) {
    for (uint32_t id : windowIDs) postNotification(AXElement(pid, id), "AXUIElementDestroyed");
    apps_[pid].focusedWindow = 0;
    // A hung application ended by force never catches up on its queue.
    heldNotifications_.erase(pid);
    if (auto it = waitingOnHung_.find(pid); it != waitingOnHung_.end())
        std::erase_if(it->second, [](const HungRequest& r) { return !r.answer; });
}

}  // namespace qv
