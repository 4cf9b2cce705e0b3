#include "model/UserSettingsData.h"

#include <limits>
#include <nlohmann/json.hpp>

#include "model/BarTheme.h"

namespace qv {

using nlohmann::json;

UserSettingsData UserSettingsData::defaults(int operatingSystemMajorVersion) {
    UserSettingsData d;
    d.theme = std::string(rawValue(defaultBarTheme(operatingSystemMajorVersion)));
    return d;
}

std::string encodeUserSettings(const UserSettingsData& d) {
    // json objects keep their keys sorted, which gives the file its sorted layout.
    json j = json::object();
    j["barSize"] = d.barSize;
    j["theme"] = d.theme;
    j["scrollUpSpaceSwitch"] = d.scrollUpSpaceSwitch;
    auto optional = [&](const char* key, const std::optional<uint32_t>& v) {
        if (v) j[key] = *v;
    };
    optional("hotkeyKeyCode", d.hotkeyKeyCode);
    optional("hotkeyModifiers", d.hotkeyModifiers);
    j["groupWindowsByApp"] = d.groupWindowsByApp;
    j["showChipTitles"] = d.showChipTitles;
    j["showWindowNamesInChips"] = d.showWindowNamesInChips;
    j["hideDock"] = d.hideDock;
    j["showOnAllDisplays"] = d.showOnAllDisplays;
    j["windowSwitcherEnabled"] = d.windowSwitcherEnabled;
    optional("windowSwitcherKeyCode", d.windowSwitcherKeyCode);
    optional("windowSwitcherModifiers", d.windowSwitcherModifiers);
    j["snapLayoutsEnabled"] = d.snapLayoutsEnabled;
    j["resizeAdjacentWindowsEnabled"] = d.resizeAdjacentWindowsEnabled;
    j["keyboardSnapEnabled"] = d.keyboardSnapEnabled;
    optional("keyboardSnapModifiers", d.keyboardSnapModifiers);
    j["windowTilingDisabledDisplays"] = d.windowTilingDisabledDisplays;
    j["runAtLogin"] = d.runAtLogin;
    json pins = json::array();
    for (const PinnedAppRecord& p : d.pinnedApps)
        pins.push_back(json{{"id", p.id}, {"destinationsRaw", p.destinationsRaw}});
    j["pinnedApps"] = std::move(pins);
    json order = json::object();
    for (const auto& [desktop, keys] : d.chipOrderByDesktop) order[desktop] = keys;
    j["chipOrderByDesktop"] = std::move(order);
    j["settingsVersion"] = d.settingsVersion;
    // Texts handed to the setters need not be valid UTF-8; replacing a bad byte beats losing
    // every later save to an encoding error.
    return j.dump(2, ' ', false, json::error_handler_t::replace);
}

namespace {

struct WrongType {};

const json* present(const json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

std::string readString(const json& v) {
    if (!v.is_string()) throw WrongType{};
    return v.get<std::string>();
}

bool readBool(const json& v) {
    if (!v.is_boolean()) throw WrongType{};
    return v.get<bool>();
}

uint32_t readUInt32(const json& v) {
    if (v.is_number_unsigned()) {
        uint64_t n = v.get<uint64_t>();
        if (n > std::numeric_limits<uint32_t>::max()) throw WrongType{};
        return static_cast<uint32_t>(n);
    }
    if (v.is_number_integer()) {
        int64_t n = v.get<int64_t>();
        if (n < 0 || n > std::numeric_limits<uint32_t>::max()) throw WrongType{};
        return static_cast<uint32_t>(n);
    }
    throw WrongType{};  // fractions and texts alike
}

int64_t readInt64(const json& v) {
    if (v.is_number_unsigned()) {
        uint64_t n = v.get<uint64_t>();
        if (n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) throw WrongType{};
        return static_cast<int64_t>(n);
    }
    if (v.is_number_integer()) return v.get<int64_t>();
    throw WrongType{};
}

std::vector<std::string> readStrings(const json& v) {
    if (!v.is_array()) throw WrongType{};
    std::vector<std::string> out;
    out.reserve(v.size());
    for (const json& item : v) out.push_back(readString(item));
    return out;
}

// Both keys are required inside a record; a null counts as missing.
PinnedAppRecord readPin(const json& v) {
    if (!v.is_object()) throw WrongType{};
    const json* id = present(v, "id");
    const json* bits = present(v, "destinationsRaw");
    if (!id || !bits) throw WrongType{};
    return PinnedAppRecord{readString(*id), readInt64(*bits)};
}

}  // namespace

std::optional<UserSettingsData> decodeUserSettings(std::string_view bytes, int operatingSystemMajorVersion) {
    json j = json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    UserSettingsData d = UserSettingsData::defaults(operatingSystemMajorVersion);
    try {
        auto text = [&](const char* key, std::string& field) {
            if (const json* v = present(j, key)) field = readString(*v);
        };
        auto flag = [&](const char* key, bool& field) {
            if (const json* v = present(j, key)) field = readBool(*v);
        };
        auto number = [&](const char* key, std::optional<uint32_t>& field) {
            if (const json* v = present(j, key)) field = readUInt32(*v);
        };
        text("barSize", d.barSize);
        text("theme", d.theme);
        text("scrollUpSpaceSwitch", d.scrollUpSpaceSwitch);
        number("hotkeyKeyCode", d.hotkeyKeyCode);
        number("hotkeyModifiers", d.hotkeyModifiers);
        flag("groupWindowsByApp", d.groupWindowsByApp);
        flag("showChipTitles", d.showChipTitles);
        flag("showWindowNamesInChips", d.showWindowNamesInChips);
        flag("hideDock", d.hideDock);
        flag("showOnAllDisplays", d.showOnAllDisplays);
        flag("windowSwitcherEnabled", d.windowSwitcherEnabled);
        number("windowSwitcherKeyCode", d.windowSwitcherKeyCode);
        number("windowSwitcherModifiers", d.windowSwitcherModifiers);
        flag("snapLayoutsEnabled", d.snapLayoutsEnabled);
        flag("resizeAdjacentWindowsEnabled", d.resizeAdjacentWindowsEnabled);
        flag("keyboardSnapEnabled", d.keyboardSnapEnabled);
        number("keyboardSnapModifiers", d.keyboardSnapModifiers);
        if (const json* v = present(j, "windowTilingDisabledDisplays"))
            d.windowTilingDisabledDisplays = readStrings(*v);
        flag("runAtLogin", d.runAtLogin);
        if (const json* v = present(j, "pinnedApps")) {
            if (!v->is_array()) throw WrongType{};
            for (const json& item : *v) d.pinnedApps.push_back(readPin(item));
        }
        if (const json* v = present(j, "chipOrderByDesktop")) {
            if (!v->is_object()) throw WrongType{};
            for (const auto& [desktop, keys] : v->items()) d.chipOrderByDesktop[desktop] = readStrings(keys);
        }
        if (const json* v = present(j, "settingsVersion")) d.settingsVersion = readInt64(*v);
    } catch (const WrongType&) {
        return std::nullopt;
    }
    return d;
}

}  // namespace qv
