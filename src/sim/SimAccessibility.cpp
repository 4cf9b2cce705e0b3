#include "sim/SimAccessibility.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>

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

constexpr uint64_t kCloseButtonTag = 1;
constexpr uint64_t kZoomButtonTag = 2;

template <size_t N>
bool contains(const std::array<const char*, N>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::optional<bool> boolOf(const Value& v) {
    if (auto b = v.asBool()) return b;
    if (auto n = v.asNumberObject()) return n->boolValue();
    return std::nullopt;
}

// The state of one element reference: its messaging timeout. Read and written under the world lock.
struct SimAXReference : AXElementReference {
    float messagingTimeout = SimAccessibility::kDefaultMessagingTimeout;
};

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

SimAccessibility::SimAccessibility(SimDesktop& sim) : sim_(sim) {}

SimAccessibility::~SimAccessibility() = default;

// --- The tree ---

SimAccessibility::ElementKind SimAccessibility::kindOf(const AXElement& e) const {
    if (!e.isValid()) return ElementKind::none;
    if (e.isApplication()) return ElementKind::application;
    switch (e.token() >> 32) {
        case 0:
            return ElementKind::window;
        case kCloseButtonTag:
            return ElementKind::closeButton;
        case kZoomButtonTag:
            return ElementKind::zoomButton;
        default:
            return ElementKind::none;
    }
}

const SimWindow* SimAccessibility::windowOf(const AXElement& e) const {
    ElementKind kind = kindOf(e);
    if (kind != ElementKind::window && kind != ElementKind::closeButton && kind != ElementKind::zoomButton)
        return nullptr;
    const SimWindow* w = sim_.window(static_cast<uint32_t>(e.token()));
    return w && w->ownerPID == e.ownerPID() ? w : nullptr;
}

const SimAXAppFaults* SimAccessibility::faultsOf(int32_t pid) const {
    auto it = apps_.find(pid);
    return it == apps_.end() ? nullptr : &it->second.faults;
}

bool SimAccessibility::isHung(int32_t pid) const {
    std::lock_guard lock(sim_.worldMutex());
    const SimAXAppFaults* f = faultsOf(pid);
    return f && f->unresponsive;
}

bool SimAccessibility::gettingReady(int32_t pid) const {
    const SimAXAppFaults* f = faultsOf(pid);
    return f && f->readyAt && sim_.runtime().now() < *f->readyAt;
}

AXElement SimAccessibility::makeElement(int32_t pid, uint64_t token) {
    return AXElement(pid, token, std::make_shared<SimAXReference>());
}

float SimAccessibility::timeoutOf(const AXElement& e) const {
    auto* reference = dynamic_cast<const SimAXReference*>(e.reference().get());
    return reference ? reference->messagingTimeout : kDefaultMessagingTimeout;
}

float SimAccessibility::messagingTimeout(const AXElement& element) const {
    std::lock_guard lock(sim_.worldMutex());
    return timeoutOf(element);
}

void SimAccessibility::setUnresponsive(int32_t pid, bool unresponsive) {
    std::lock_guard lock(sim_.worldMutex());
    apps_[pid].faults.unresponsive = unresponsive;
    if (unresponsive) return;
    for (const auto& waiting : waitingOnHung_[pid]) waiting->signal();
    waitingOnHung_.erase(pid);
}

AXError SimAccessibility::awaitAnswer(const AXElement& e, const char* call, const std::string& name) {
    double delay = 0;
    double timeout = 0;
    std::string appName;
    std::shared_ptr<Semaphore> answer;
    {
        std::lock_guard lock(sim_.worldMutex());
        const SimAXAppFaults* f = faultsOf(e.ownerPID());
        const SimApp* app = sim_.app(e.ownerPID());
        // A refusal for want of trust comes at once, from our side.
        if (!f || !app || app->terminated || !e.isValid() || !trusted_ || f->untrusted)
            return kAXErrorSuccess;
        delay = f->unresponsive ? std::numeric_limits<double>::infinity() : f->responseDelay;
        if (delay <= 0) return kAXErrorSuccess;
        timeout = timeoutOf(e);
        appName = app->name;
        answer = sim_.runtime().makeSemaphore(0);
        if (f->unresponsive) waitingOnHung_[e.ownerPID()].push_back(answer);
    }
    // The caller's thread blocks; other threads, and the virtual clock, go on meanwhile.
    WaitingFor waiting(appName + "'s answer to " + call + (name.empty() ? "" : " \"" + name + "\""));
    const bool answeredAgain = answer->wait(std::min(delay, timeout));
    if (answeredAgain) return kAXErrorSuccess;
    {
        std::lock_guard lock(sim_.worldMutex());
        std::erase(waitingOnHung_[e.ownerPID()], answer);
    }
    return delay > timeout ? kAXErrorCannotComplete : kAXErrorSuccess;
}

AXError SimAccessibility::gate(const AXElement& e) const {
    ElementKind kind = kindOf(e);
    if (kind == ElementKind::none) return e.isValid() ? kAXErrorInvalidUIElement : kAXErrorIllegalArgument;
    if (!trusted_) return kAXErrorAPIDisabled;
    const SimApp* app = sim_.app(e.ownerPID());
    if (!app || app->terminated) {
        return kind == ElementKind::application ? kAXErrorCannotComplete : kAXErrorInvalidUIElement;
    }
    if (const SimAXAppFaults* f = faultsOf(e.ownerPID())) {
        if (f->untrusted) return kAXErrorAPIDisabled;
    }
    if (kind != ElementKind::application && !windowOf(e)) return kAXErrorInvalidUIElement;
    return kAXErrorSuccess;
}

std::vector<const SimWindow*> SimAccessibility::axWindowsOf(int32_t pid) const {
    std::vector<const SimWindow*> out;
    if (gettingReady(pid)) return out;
    for (const auto& [id, w] : sim_.windows()) {
        if (w.ownerPID != pid || !w.inAXWindowList) continue;
        // Windows on other desktops are not the application's to list until their desktop shows.
        if (w.minimized ||
            std::any_of(w.spaces.begin(), w.spaces.end(), [&](uint64_t s) { return sim_.isActiveSpace(s); }))
            out.push_back(&w);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const SimWindow* a, const SimWindow* b) { return a->z > b->z; });
    return out;
}

uint32_t SimAccessibility::focusedWindowOf(int32_t pid) const {
    for (const SimWindow* w : axWindowsOf(pid)) {
        if (!w->minimized) return w->id;
    }
    return 0;
}

AXElement SimAccessibility::windowElement(uint32_t windowID) const {
    std::lock_guard lock(sim_.worldMutex());
    const SimWindow* w = sim_.window(windowID);
    return w ? makeElement(w->ownerPID, w->id) : AXElement();
}

AXElement SimAccessibility::closeButtonElement(uint32_t windowID) const {
    std::lock_guard lock(sim_.worldMutex());
    const SimWindow* w = sim_.window(windowID);
    return w ? makeElement(w->ownerPID, (kCloseButtonTag << 32) | w->id) : AXElement();
}

AXError SimAccessibility::readApplication(const AXElement& e, const std::string& attribute,
                                          Value& value) const {
    const int32_t pid = e.ownerPID();
    const SimApp* app = sim_.app(pid);
    if (attribute == "AXRole") {
        value = Value::string("AXApplication");
    } else if (attribute == "AXTitle") {
        value = Value::string(app->name);
    } else if (attribute == "AXWindows") {
        if (const SimAXAppFaults* f = faultsOf(pid); f && f->windowListUnreadable)
            return kAXErrorCannotComplete;
        Value::Array windows;
        for (const SimWindow* w : axWindowsOf(pid))
            windows.push_back(Value::element(makeElement(pid, w->id)));
        value = Value::array(std::move(windows));
    } else if (attribute == "AXFocusedWindow" || attribute == "AXMainWindow") {
        uint32_t focused = focusedWindowOf(pid);
        if (!focused) return kAXErrorNoValue;
        value = Value::element(makeElement(pid, focused));
    } else if (attribute == "AXFrontmost") {
        value = Value::boolean(sim_.frontmostPID() == pid);
    } else if (attribute == "AXEnhancedUserInterface") {
        auto it = apps_.find(pid);
        value = Value::boolean(it != apps_.end() && it->second.enhancedUserInterface);
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError SimAccessibility::readWindow(const SimWindow& w, const std::string& attribute, Value& value) const {
    if (attribute == "AXRole") {
        if (w.role.empty()) return kAXErrorNoValue;
        value = Value::string(w.role);
    } else if (attribute == "AXSubrole") {
        if (!w.subrole) return kAXErrorNoValue;
        value = Value::string(*w.subrole);
    } else if (attribute == "AXTitle") {
        value = Value::string(w.title);
    } else if (attribute == "AXModal") {
        value = Value::boolean(w.modal);
    } else if (attribute == "AXMinimized") {
        value = Value::boolean(w.minimized);
    } else if (attribute == "AXPosition") {
        value = Value::axPoint(w.frame.origin);
    } else if (attribute == "AXSize") {
        value = Value::axSize(w.frame.size);
    } else if (attribute == "AXWindowNumber") {
        if (const SimAXAppFaults* f = faultsOf(w.ownerPID); f && f->windowNumberUnsupported) {
            return kAXErrorAttributeUnsupported;
        }
        value = Value::number(static_cast<long long>(w.id));
    } else if (attribute == "AXMain" || attribute == "AXFocused") {
        value = Value::boolean(focusedWindowOf(w.ownerPID) == w.id);
    } else if (attribute == "AXFullScreen") {
        bool fullScreen = std::any_of(w.spaces.begin(), w.spaces.end(), [&](uint64_t s) {
            const SimSpace* space = sim_.space(s);
            return space && space->type == kSimSpaceTypeFullScreen;
        });
        value = Value::boolean(fullScreen);
    } else if (attribute == "AXCloseButton") {
        value = Value::element(makeElement(w.ownerPID, (kCloseButtonTag << 32) | w.id));
    } else if (attribute == "AXZoomButton") {
        if (!w.hasZoomButton) return kAXErrorNoValue;
        value = Value::element(makeElement(w.ownerPID, (kZoomButtonTag << 32) | w.id));
    } else if (attribute == "AXParent") {
        value = Value::element(makeElement(w.ownerPID, 0));
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError SimAccessibility::readTitleBarButton(const SimWindow& w, bool zoom, const std::string& attribute,
                                             Value& value) const {
    Rect frame = zoom ? titleBarZoomButtonFrame(w.frame) : titleBarCloseButtonFrame(w.frame);
    if (attribute == "AXRole") {
        value = Value::string("AXButton");
    } else if (attribute == "AXSubrole") {
        value = Value::string(zoom ? "AXZoomButton" : "AXCloseButton");
    } else if (attribute == "AXPosition") {
        value = Value::axPoint(frame.origin);
    } else if (attribute == "AXSize") {
        value = Value::axSize(frame.size);
    } else if (attribute == "AXParent") {
        value = Value::element(makeElement(w.ownerPID, w.id));
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

// --- Requests ---

bool SimAccessibility::isProcessTrusted() {
    sim_.record("AXIsProcessTrusted");
    std::lock_guard lock(sim_.worldMutex());
    return trusted_;
}

bool SimAccessibility::isProcessTrustedWithOptions(bool prompt) {
    sim_.record("AXIsProcessTrustedWithOptions", Value::boolean(prompt));
    std::lock_guard lock(sim_.worldMutex());
    if (prompt && !trusted_) ++trustPrompts_;
    return trusted_;
}

void SimAccessibility::setProcessTrusted(bool trusted) {
    std::lock_guard lock(sim_.worldMutex());
    trusted_ = trusted;
}

SimAXAppFaults& SimAccessibility::faults(int32_t pid) {
    std::lock_guard lock(sim_.worldMutex());
    return apps_[pid].faults;
}

AXElement SimAccessibility::createApplication(int32_t pid) {
    sim_.record("AXUIElementCreateApplication", Value::number(pid));
    return makeElement(pid, 0);
}

AXError SimAccessibility::copyAttributeValue(const AXElement& element, const std::string& attribute,
                                             Value& value) {
    // The hottest request of all: its log entry is only built when calls are logged.
    if (sim_.recordCalls) {
        sim_.record("AXUIElementCopyAttributeValue",
                    Value::array({Value::element(element), Value::string(attribute)}));
    }
    if (AXError err = awaitAnswer(element, "AXUIElementCopyAttributeValue", attribute)) return err;
    std::lock_guard lock(sim_.worldMutex());
    if (AXError err = gate(element)) return err;
    if (overrides.copyAttributeValue) {
        if (auto answer = overrides.copyAttributeValue(element, attribute)) {
            if (answer->error == kAXErrorSuccess) value = answer->value;
            return answer->error;
        }
    }
    Value read;
    AXError err = kAXErrorAttributeUnsupported;
    switch (kindOf(element)) {
        case ElementKind::application:
            err = readApplication(element, attribute, read);
            break;
        case ElementKind::window:
            err = readWindow(*windowOf(element), attribute, read);
            break;
        case ElementKind::closeButton:
        case ElementKind::zoomButton:
            err = readTitleBarButton(*windowOf(element), kindOf(element) == ElementKind::zoomButton,
                                     attribute, read);
            break;
        case ElementKind::none:
            break;
    }
    if (err == kAXErrorSuccess) value = std::move(read);
    return err;
}

AXError SimAccessibility::setAttributeValue(const AXElement& element, const std::string& attribute,
                                            const Value& value) {
    sim_.record("AXUIElementSetAttributeValue",
                Value::array({Value::element(element), Value::string(attribute), value}));
    // The change itself goes through the desktop's operations after the lock is released, as the
    // application would carry it out and announce it.
    std::function<void()> effect;
    if (AXError err = awaitAnswer(element, "AXUIElementSetAttributeValue", attribute)) return err;
    {
        std::lock_guard lock(sim_.worldMutex());
        if (AXError err = gate(element)) return err;
        const int32_t pid = element.ownerPID();
        if (const SimAXAppFaults* f = faultsOf(pid); f && f->refusedWrites.contains(attribute))
            return kAXErrorCannotComplete;
        ElementKind kind = kindOf(element);
        if (kind == ElementKind::application) {
            if (attribute == "AXFrontmost") {
                auto b = boolOf(value);
                if (!b) return kAXErrorIllegalArgument;
                if (*b) effect = [this, pid] { sim_.activateApp(pid); };
            } else if (attribute == "AXFocusedWindow" || attribute == "AXMainWindow") {
                auto target = value.asElement();
                if (!target || target->ownerPID() != pid || kindOf(*target) != ElementKind::window ||
                    !windowOf(*target)) {
                    return kAXErrorIllegalArgument;
                }
                uint32_t id = static_cast<uint32_t>(target->token());
                effect = [this, id] { sim_.raiseWindow(id); };
            } else if (attribute == "AXEnhancedUserInterface") {
                auto b = boolOf(value);
                if (!b) return kAXErrorIllegalArgument;
                apps_[pid].enhancedUserInterface = *b;
            } else {
                return kAXErrorAttributeUnsupported;
            }
        } else if (kind == ElementKind::window) {
            const SimWindow& w = *windowOf(element);
            const uint32_t id = w.id;
            auto ax = value.asAXValue();
            if (attribute == "AXPosition") {
                if (!ax || ax->type != AXValueData::Type::Point) return kAXErrorIllegalArgument;
                Rect frame{ax->point, w.frame.size};
                effect = [this, id, pid, frame, before = w.frame] {
                    sim_.setWindowFrame(id, frame);
                    windowWritten(id, pid, before);
                };
            } else if (attribute == "AXSize") {
                if (!ax || ax->type != AXValueData::Type::Size) return kAXErrorIllegalArgument;
                Rect frame{w.frame.origin, constrainedSize(pid, ax->size)};
                effect = [this, id, pid, frame, before = w.frame] {
                    sim_.setWindowFrame(id, frame);
                    windowWritten(id, pid, before);
                };
            } else if (attribute == "AXMinimized") {
                auto b = boolOf(value);
                if (!b) return kAXErrorIllegalArgument;
                bool minimized = *b;
                effect = [this, id, minimized] { sim_.setWindowMinimized(id, minimized); };
            } else if (attribute == "AXMain" || attribute == "AXFocused") {
                auto b = boolOf(value);
                if (!b) return kAXErrorIllegalArgument;
                if (*b) effect = [this, id] { sim_.raiseWindow(id); };
            } else {
                return kAXErrorAttributeUnsupported;
            }
        } else {
            return kAXErrorAttributeUnsupported;
        }
    }
    if (effect) effect();
    return kAXErrorSuccess;
}

AXError SimAccessibility::performAction(const AXElement& element, const std::string& action) {
    sim_.record("AXUIElementPerformAction", Value::array({Value::element(element), Value::string(action)}));
    std::function<void()> effect;
    if (AXError err = awaitAnswer(element, "AXUIElementPerformAction", action)) return err;
    {
        std::lock_guard lock(sim_.worldMutex());
        if (AXError err = gate(element)) return err;
        if (const SimAXAppFaults* f = faultsOf(element.ownerPID()); f && f->refusedActions.contains(action))
            return kAXErrorCannotComplete;
        ElementKind kind = kindOf(element);
        uint32_t id = static_cast<uint32_t>(element.token());
        if (kind == ElementKind::window && action == "AXRaise") {
            effect = [this, id] { sim_.raiseWindow(id); };
        } else if (kind == ElementKind::closeButton && action == "AXPress") {
            effect = [this, id] { sim_.closeWindow(id); };
        } else {
            return kAXErrorActionUnsupported;
        }
    }
    effect();
    return kAXErrorSuccess;
}

AXError SimAccessibility::setMessagingTimeout(const AXElement& element, float seconds) {
    std::lock_guard lock(sim_.worldMutex());
    if (sim_.recordCalls) {
        sim_.record("AXUIElementSetMessagingTimeout",
                    Value::array({Value::element(element), Value::number(static_cast<double>(seconds))}));
    }
    auto* reference = dynamic_cast<SimAXReference*>(element.reference().get());
    if (!element.isValid() || !reference || seconds < 0) return kAXErrorIllegalArgument;
    reference->messagingTimeout = seconds == 0 ? kDefaultMessagingTimeout : seconds;
    return kAXErrorSuccess;
}

AXError SimAccessibility::getPid(const AXElement& element, int32_t& pid) {
    sim_.record("AXUIElementGetPid", Value::element(element));
    if (!element.isValid()) return kAXErrorIllegalArgument;
    std::lock_guard lock(sim_.worldMutex());
    if (const SimAXAppFaults* f = faultsOf(element.ownerPID()); f && f->pidUnreadable)
        return kAXErrorInvalidUIElement;
    pid = element.ownerPID();
    return kAXErrorSuccess;
}

bool SimAccessibility::hasEntryPoint(std::string_view name) {
    std::lock_guard lock(sim_.worldMutex());
    if (name != "_AXUIElementGetWindow") return false;
    return std::none_of(sim_.missingEntryPoints.begin(), sim_.missingEntryPoints.end(),
                        [&](const std::string& missing) { return missing == name; });
}

AXError SimAccessibility::getWindow(const AXElement& element, uint32_t& windowID) {
    if (sim_.recordCalls) sim_.record("_AXUIElementGetWindow", Value::element(element));
    if (!hasEntryPoint("_AXUIElementGetWindow")) return kAXErrorNotImplemented;
    if (AXError err = awaitAnswer(element, "_AXUIElementGetWindow", {})) return err;
    std::lock_guard lock(sim_.worldMutex());
    if (AXError err = gate(element)) return err;
    if (const SimAXAppFaults* f = faultsOf(element.ownerPID()); f && f->privateWindowLookupFails) {
        return kAXErrorFailure;
    }
    if (kindOf(element) != ElementKind::window) return kAXErrorIllegalArgument;
    windowID = static_cast<uint32_t>(element.token());
    return kAXErrorSuccess;
}

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
    if (!announcing || gettingReady(pid) || isHung(pid)) return;
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
}

}  // namespace qv
