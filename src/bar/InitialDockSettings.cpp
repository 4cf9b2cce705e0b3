#include "bar/InitialDockSettings.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>

namespace qv {

using nlohmann::json;

namespace {

constexpr const char* kAutoHideEnabled = "autoHideEnabled";
constexpr const char* kAutoHideDelay = "autoHideDelay";
constexpr const char* kNoBouncing = "noBouncing";
constexpr const char* kDockShown = "dockShown";
constexpr const char* kVersion = "version";

// A preference value as JSON, keeping what kind of number it was: a Boolean, an integer or a
// floating-point number. None for values a preference of the Dock's never holds.
std::optional<json> toJSON(const Value& v) {
    if (auto b = v.asBool()) return json(*b);
    if (const std::string* s = v.asString()) return json(*s);
    if (auto n = v.asNumberObject()) {
        switch (n->type()) {
            case NumberObject::Type::Bool:
                return json(n->boolValue());
            case NumberObject::Type::Signed:
                return json(n->int64Value());
            case NumberObject::Type::Unsigned:
                return json(n->uint64Value());
            case NumberObject::Type::Floating:
                return json(n->doubleValue());
        }
    }
    if (auto d = v.asDouble()) return json(*d);
    if (auto f = v.asFloat()) return json(static_cast<double>(*f));
    if (auto i = v.asInt64()) return json(*i);
    if (auto i = v.asInt32()) return json(*i);
    if (auto u = v.asUInt64()) return json(*u);
    if (auto u = v.asUInt32()) return json(*u);
    return std::nullopt;
}

// Back to the number object the preference held (as the platform boxes it).
std::optional<Value> fromJSON(const json& j) {
    if (j.is_boolean()) return Value::number(NumberObject::ofBool(j.get<bool>()));
    if (j.is_number_unsigned()) return Value::number(NumberObject::ofUnsigned(j.get<uint64_t>()));
    if (j.is_number_integer()) return Value::number(NumberObject::ofSigned(j.get<int64_t>()));
    if (j.is_number_float()) return Value::number(NumberObject::ofDouble(j.get<double>()));
    if (j.is_string()) return Value::string(j.get<std::string>());
    return std::nullopt;
}

void put(json& object, const char* key, const SavedDockPreference& saved) {
    if (!saved) return;
    std::optional<json> value = *saved ? toJSON(**saved) : std::nullopt;
    object[key] = value ? *value : json(nullptr);
}

void read(const json& object, const char* key, SavedDockPreference& saved) {
    auto it = object.find(key);
    if (it == object.end()) return;
    if (it->is_null()) {
        saved = std::optional<Value>();
    } else if (auto value = fromJSON(*it)) {
        saved = std::optional<Value>(*value);
    }
}

}  // namespace

InitialDockSettings recoveryDockSettings() {
    return {.autoHideEnabled = false,
            .autoHideDelay = std::optional<Value>(),
            .noBouncing = std::optional<Value>()};
}

std::string encodeInitialDockSettings(const InitialDockSettings& settings) {
    json j = json::object();  // keys sorted
    j[kAutoHideEnabled] = settings.autoHideEnabled;
    put(j, kAutoHideDelay, settings.autoHideDelay);
    put(j, kNoBouncing, settings.noBouncing);
    j[kDockShown] = settings.dockShown;
    j[kVersion] = settings.version;
    return j.dump(2, ' ', false, json::error_handler_t::replace);
}

std::optional<InitialDockSettings> decodeInitialDockSettings(std::string_view bytes) {
    json j = json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (!j.is_object()) return std::nullopt;
    auto enabled = j.find(kAutoHideEnabled);
    if (enabled == j.end() || !enabled->is_boolean()) return std::nullopt;
    InitialDockSettings settings;
    settings.autoHideEnabled = enabled->get<bool>();
    read(j, kAutoHideDelay, settings.autoHideDelay);
    read(j, kNoBouncing, settings.noBouncing);
    auto shown = j.find(kDockShown);
    settings.dockShown = shown != j.end() && shown->is_boolean() && shown->get<bool>();
    auto version = j.find(kVersion);
    const bool whole = version != j.end() && version->is_number_integer();
    settings.version = whole ? static_cast<int>(std::clamp<int64_t>(version->get<int64_t>(), 0, 1000)) : 1;
    return settings;
}

}  // namespace qv
