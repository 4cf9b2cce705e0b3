#include "sim/SimLaunchServices.h"

#include <cstdio>

#include "sim/SimDesktop.h"

namespace qv {

LSASN simASN(int32_t pid) {
    return LSASN{0, static_cast<uint32_t>(pid) * 0x1001u};
}

std::string simASNText(const LSASN& asn) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%x-0x%x", asn.high, asn.low);
    return buf;
}

const SimApp* SimLaunchServices::runningApp(const LSASN& asn) const {
    for (const auto& [pid, app] : sim_.apps()) {
        if (!app.terminated && simASN(pid) == asn) return &app;
    }
    return nullptr;
}

std::optional<LSASNArray> SimLaunchServices::copyRunningApplicationArray(uint32_t sessionID) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("_LSCopyRunningApplicationArray", Value::array({Value::number(sessionID)}));
    if (runningApplicationArrayOverride) return runningApplicationArrayOverride();
    if (sessionID != kSimLSDefaultSessionID) return std::nullopt;
    LSASNArray out;
    for (const auto& [pid, app] : sim_.apps()) {
        if (!app.terminated) out.push_back(simASN(pid));
    }
    return out;
}

std::optional<Value> SimLaunchServices::copyApplicationInformation(uint32_t sessionID, const LSASN& asn,
                                                                   const std::optional<Value>& keys) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("_LSCopyApplicationInformation",
                Value::array({Value::number(sessionID), Value::string(simASNText(asn))}));
    if (applicationInformationOverride) return applicationInformationOverride(asn);
    const SimApp* app = sessionID == kSimLSDefaultSessionID ? runningApp(asn) : nullptr;
    if (!app) return std::nullopt;
    Value::Dictionary info{
        {"CFBundleName", Value::string(app->name)},
        {"pid", Value::number(app->pid)},
    };
    if (app->bundleID) info["CFBundleIdentifier"] = Value::string(*app->bundleID);
    if (app->badgeLabel)
        info["StatusLabel"] = Value::dictionary({{"label", Value::string(*app->badgeLabel)}});
    if (keys && keys->asArray()) {
        Value::Dictionary asked;
        for (const Value& key : *keys->asArray()) {
            const std::string* name = key.asString();
            if (name && info.contains(*name)) asked[*name] = info[*name];
        }
        info = std::move(asked);
    }
    return Value::dictionary(std::move(info));
}

}  // namespace qv
