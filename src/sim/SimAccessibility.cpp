#include "sim/SimAccessibility.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>

#include "sim/SimDesktop.h"

namespace qv {

namespace {

constexpr uint64_t kCloseButtonTag = 1;
constexpr uint64_t kZoomButtonTag = 2;

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
    std::vector<HeldNotification> held;
    std::vector<std::function<void()>> lateEffects;
    {
        std::lock_guard lock(sim_.worldMutex());
        apps_[pid].faults.unresponsive = unresponsive;
        if (unresponsive) return;
        if (auto it = heldNotifications_.find(pid); it != heldNotifications_.end()) {
            held = std::move(it->second);
            heldNotifications_.erase(it);
        }
        if (auto it = waitingOnHung_.find(pid); it != waitingOnHung_.end()) {
            for (auto& request : it->second) {
                if (request.answer) {
                    request.answer->signal();
                } else {
                    lateEffects.push_back(std::move(request.lateEffect));
                }
            }
            waitingOnHung_.erase(it);
        }
    }
    // What it held describes changes already made, so it comes before the effects of the requests.
    for (const HeldNotification& n : held) postNotification(n.registeredOn, n.subject, n.notification);
    for (const auto& effect : lateEffects) effect();
}

AXError SimAccessibility::awaitAnswer(const AXElement& e, const char* call, const std::string& name,
                                      std::function<void()> lateEffect) {
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
        if (f->unresponsive) waitingOnHung_[e.ownerPID()].push_back({answer, lateEffect});
    }
    // The caller's thread blocks; other threads, and the virtual clock, go on meanwhile.
    WaitingFor waiting(appName + "'s answer to " + call + (name.empty() ? "" : " \"" + name + "\""));
    const bool answeredAgain = answer->wait(std::min(delay, timeout));
    if (answeredAgain) return kAXErrorSuccess;
    if (!std::isinf(delay)) return delay > timeout ? kAXErrorCannotComplete : kAXErrorSuccess;
    bool answersNow = false;
    {
        std::lock_guard lock(sim_.worldMutex());
        auto& requests = waitingOnHung_[e.ownerPID()];
        auto mine = std::find_if(requests.begin(), requests.end(),
                                 [&](const HungRequest& r) { return r.answer == answer; });
        const SimApp* app = sim_.app(e.ownerPID());
        if (mine == requests.end()) {
            // It answered again between our giving up and now: it handles the request as it does.
            answersNow = static_cast<bool>(lateEffect);
        } else if (lateEffect && app && !app->terminated) {
            mine->answer.reset();  // given up on, but still in the application's queue
        } else {
            requests.erase(mine);
        }
    }
    if (answersNow) lateEffect();
    return kAXErrorCannotComplete;
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
    if (AXError err =
            awaitAnswer(element, "AXUIElementSetAttributeValue", attribute,
                        [this, element, attribute, value] { applyWrite(element, attribute, value); }))
        return err;
    return applyWrite(element, attribute, value);
}

AXError SimAccessibility::applyWrite(const AXElement& element, const std::string& attribute,
                                     const Value& value) {
    // The change itself goes through the desktop's operations after the lock is released, as the
    // application would carry it out and announce it.
    std::function<void()> effect;
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
    if (AXError err = awaitAnswer(element, "AXUIElementPerformAction", action,
                                  [this, element, action] { applyAction(element, action); }))
        return err;
    return applyAction(element, action);
}

AXError SimAccessibility::applyAction(const AXElement& element, const std::string& action) {
    std::function<void()> effect;
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

}  // namespace qv
