#include "sim/SimAppKit.h"

#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"
#include "ui/Panel.h"

namespace qv {

void SimAppKit::setActivationPolicy(ActivationPolicy policy) {
    requireMainThread(sim_, "NSApp.setActivationPolicy");
    sim_.record("NSApp.setActivationPolicy", Value::number(static_cast<int64_t>(policy)));
    std::lock_guard lock(sim_.worldMutex());
    if (SimApp* self = sim_.app(sim_.ownPID())) self->policy = policy;
}

ActivationPolicy SimAppKit::activationPolicy() {
    requireMainThread(sim_, "NSApp.activationPolicy");
    std::lock_guard lock(sim_.worldMutex());
    const SimApp* self = sim_.app(sim_.ownPID());
    return self ? self->policy : ActivationPolicy::regular;
}

void SimAppKit::run() {
    requireMainThread(sim_, "NSApp.run");
    sim_.record("NSApp.run");
    if (!terminated_) running_ = true;
}

void SimAppKit::terminate() {
    requireMainThread(sim_, "NSApp.terminate");
    sim_.record("NSApp.terminate");
    if (terminated_) return;
    sim_.terminateOurApplication();
    terminated_ = true;
    running_ = false;
}

bool SimAppKit::sendAction(const std::string& action, Panel*) {
    requireMainThread(sim_, "NSApp.sendAction");
    sim_.record("NSApp.sendAction", Value::string(action));
    auto key = sim_.windowing().keyWindow();
    if (!key || !key->contentView()) return false;
    return key->contentView()->performEditAction(action, *this);
}

std::vector<std::shared_ptr<Panel>> SimAppKit::windows() {
    requireMainThread(sim_, "NSApp.windows");
    return sim_.windowing().panels();
}

}  // namespace qv
