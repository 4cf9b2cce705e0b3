#include "tracking/CGWindowInfo.h"

#include <array>
#include <string_view>

namespace qv {

namespace {

template <class T>
std::optional<T> integerOf(const Value& v) {
    if (auto n = v.asNumberObject()) {
        if constexpr (std::is_signed_v<T>) {
            return n->int32Value();
        } else {
            return n->uint32Value();
        }
    }
    if constexpr (std::is_signed_v<T>) {
        return v.asInt32();
    } else {
        return v.asUInt32();
    }
}

std::optional<std::string> stringOf(const Value& v) {
    if (const std::string* s = v.asString()) return *s;
    return std::nullopt;
}

}  // namespace

std::optional<uint32_t> CGWindowInfo::windowID() const {
    return integerOf<uint32_t>(dict[CGWindowKeys::windowNumber]);
}
std::optional<int32_t> CGWindowInfo::ownerPID() const {
    return integerOf<int32_t>(dict[CGWindowKeys::ownerPID]);
}
std::optional<int32_t> CGWindowInfo::layer() const {
    return integerOf<int32_t>(dict[CGWindowKeys::layer]);
}

std::optional<Rect> CGWindowInfo::bounds() const {
    return rectFromDictionary(dict[CGWindowKeys::bounds]);
}

std::optional<float> CGWindowInfo::alpha() const {
    const Value& v = dict[CGWindowKeys::alpha];
    if (auto n = v.asNumberObject()) return n->floatValue();
    return v.asFloat();
}

std::optional<std::string> CGWindowInfo::ownerName() const {
    return stringOf(dict[CGWindowKeys::ownerName]);
}
std::optional<std::string> CGWindowInfo::windowName() const {
    return stringOf(dict[CGWindowKeys::windowName]);
}

std::optional<std::vector<CGWindowInfo>> windowInfoList(const std::optional<Value>& answer) {
    if (!answer) return std::nullopt;
    const Value::Array* a = answer->asArray();
    if (!a) return std::nullopt;
    std::vector<CGWindowInfo> out;
    out.reserve(a->size());
    for (const Value& entry : *a) {
        if (!entry.asDictionary()) return std::nullopt;
        out.push_back(CGWindowInfo{entry});
    }
    return out;
}

std::unordered_set<int32_t> dockEligibleOwnerPIDs(Workspace& workspace, double /*cacheTTL*/) {
    static constexpr std::array<std::string_view, 6> kExcluded = {
        "com.apple.dock",      "com.apple.WindowManager",        "com.apple.controlcenter",
        "com.apple.Spotlight", "com.apple.notificationcenterui", "com.apple.loginwindow",
    };
    std::unordered_set<int32_t> pids;
    for (const RunningApplication& app : workspace.runningApplications()) {
        if (app.isTerminated) continue;
        if (app.activationPolicy != ActivationPolicy::regular) continue;
        if (app.bundleIdentifier &&
            std::find(kExcluded.begin(), kExcluded.end(), *app.bundleIdentifier) != kExcluded.end()) {
            continue;
        }
        pids.insert(app.processIdentifier);
    }
    return pids;
}

}  // namespace qv
