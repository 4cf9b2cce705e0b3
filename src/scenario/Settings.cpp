// The "set" and "expect setting" steps: every key of the settings file, changed through the
// settings store's own setters and read back from the record as the file would hold it.
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "scenario/Context.h"

namespace qv {

namespace {

using Values = std::vector<std::string>;
// Checks the values; with a store, also applies them. Returns why the values are bad.
using Setter = std::function<std::optional<std::string>(const Values&, UserSettings*)>;

std::optional<bool> parseBool(const std::string& v) {
    if (v == "true" || v == "on" || v == "yes") return true;
    if (v == "false" || v == "off" || v == "no") return false;
    return std::nullopt;
}

std::optional<uint32_t> parseUInt32(const std::string& v) {
    auto n = parseScenarioNumber(v);
    if (!n || *n < 0 || *n > 4294967295.0 || *n != static_cast<double>(static_cast<uint64_t>(*n)))
        return std::nullopt;
    return static_cast<uint32_t>(*n);
}

std::optional<std::string> one(const Values& values) {
    if (values.size() != 1) return "takes exactly one value";
    return std::nullopt;
}

Setter boolean(void (UserSettings::*set)(bool)) {
    return [set](const Values& values, UserSettings* s) -> std::optional<std::string> {
        if (auto e = one(values)) return e;
        auto b = parseBool(values[0]);
        if (!b) return "\"" + values[0] + "\" is not true or false";
        if (s) (s->*set)(*b);
        return std::nullopt;
    };
}

// A number that may be absent ("none").
Setter optionalNumber(std::function<void(UserSettings&, std::optional<uint32_t>)> set) {
    return [set](const Values& values, UserSettings* s) -> std::optional<std::string> {
        if (auto e = one(values)) return e;
        std::optional<uint32_t> n;
        if (values[0] != "none") {
            n = parseUInt32(values[0]);
            if (!n) return "\"" + values[0] + "\" is not a whole number from 0 to 4294967295, or none";
        }
        if (s) set(*s, n);
        return std::nullopt;
    };
}

template <class T>
Setter named(std::optional<T> (*parse)(std::string_view), void (UserSettings::*set)(T), const char* choices) {
    return [parse, set, choices](const Values& values, UserSettings* s) -> std::optional<std::string> {
        if (auto e = one(values)) return e;
        auto v = parse(values[0]);
        if (!v) return "\"" + values[0] + "\" is not one of " + choices;
        if (s) (s->*set)(*v);
        return std::nullopt;
    };
}

const std::map<std::string, Setter>& setters() {
    static const std::map<std::string, Setter> table = {
        {"barSize", named(&barSizeFromRawValue, &UserSettings::setBarSize, "small, medium, large, xl, xxl")},
        {"theme", named(&barThemeFromRawValue, &UserSettings::setTheme, "frosted, longhorn, aero")},
        {"scrollUpSpaceSwitch",
         named(&spaceScrollUpBehaviorFromRawValue, &UserSettings::setScrollUpSpaceSwitch, "left, right")},
        {"hotkeyKeyCode", optionalNumber([](UserSettings& s, auto v) { s.setHotkeyKeyCode(v); })},
        {"hotkeyModifiers", optionalNumber([](UserSettings& s, auto v) { s.setHotkeyModifiers(v); })},
        {"groupWindowsByApp", boolean(&UserSettings::setGroupWindowsByApp)},
        {"showChipTitles", boolean(&UserSettings::setShowChipTitles)},
        {"showWindowNamesInChips", boolean(&UserSettings::setShowWindowNamesInChips)},
        {"hideDock", boolean(&UserSettings::setHideDock)},
        {"showOnAllDisplays", boolean(&UserSettings::setShowOnAllDisplays)},
        {"windowSwitcherEnabled", boolean(&UserSettings::setWindowSwitcherEnabled)},
        {"windowSwitcherKeyCode", optionalNumber([](UserSettings& s, auto v) {
             KeyboardShortcut shortcut = s.windowSwitcherShortcut();
             shortcut.keyCode = v.value_or(UserSettings::kDefaultWindowSwitcherShortcut.keyCode);
             s.setWindowSwitcherShortcut(shortcut);
         })},
        {"windowSwitcherModifiers", optionalNumber([](UserSettings& s, auto v) {
             KeyboardShortcut shortcut = s.windowSwitcherShortcut();
             shortcut.modifiers = v.value_or(UserSettings::kDefaultWindowSwitcherShortcut.modifiers);
             s.setWindowSwitcherShortcut(shortcut);
         })},
        {"snapLayoutsEnabled", boolean(&UserSettings::setSnapLayoutsEnabled)},
        {"resizeAdjacentWindowsEnabled", boolean(&UserSettings::setResizeAdjacentWindowsEnabled)},
        {"keyboardSnapEnabled", boolean(&UserSettings::setKeyboardSnapEnabled)},
        {"keyboardSnapModifiers", optionalNumber([](UserSettings& s, std::optional<uint32_t> v) {
             std::optional<SnapKeyModifiers> modifiers;
             if (v) modifiers = SnapKeyModifiers{*v};
             s.setKeyboardSnapModifiers(modifiers);
         })},
        {"runAtLogin", boolean(&UserSettings::setRunAtLogin)},
        // Display identifiers, in order; none clears the list.
        {"windowTilingDisabledDisplays",
         [](const Values& values, UserSettings* s) -> std::optional<std::string> {
             if (values.empty()) return "takes display identifiers, or none";
             if (!s) return std::nullopt;
             const bool none = values.size() == 1 && values[0] == "none";
             for (const std::string& id : Values(s->data->windowTilingDisabledDisplays))
                 s->setWindowTilingDisabled(false, id);
             if (!none) {
                 for (const std::string& id : values) s->setWindowTilingDisabled(true, id);
             }
             return std::nullopt;
         }},
        // BUNDLE-ID:DESTINATIONS pairs (1 the bar, 2 the launcher's list, 3 both); none clears them.
        {"pinnedApps",
         [](const Values& values, UserSettings* s) -> std::optional<std::string> {
             if (values.empty()) return "takes BUNDLE-ID:DESTINATIONS pairs, or none";
             std::vector<PinnedAppRecord> pins;
             if (!(values.size() == 1 && values[0] == "none")) {
                 for (const std::string& v : values) {
                     const size_t colon = v.rfind(':');
                     auto destinations =
                         colon == std::string::npos ? std::nullopt : parseUInt32(v.substr(colon + 1));
                     if (colon == 0 || !destinations || *destinations < 1 || *destinations > 3)
                         return "\"" + v + "\" is not BUNDLE-ID:1, :2 or :3";
                     pins.push_back({v.substr(0, colon), static_cast<int64_t>(*destinations)});
                 }
             }
             if (s) s->setPinnedApps(std::move(pins));
             return std::nullopt;
         }},
        // One desktop's saved application order: its desktop key, then the application keys.
        {"chipOrderByDesktop",
         [](const Values& values, UserSettings* s) -> std::optional<std::string> {
             if (values.empty()) return "takes a desktop key, then application keys";
             if (s) s->setChipOrder(Values(values.begin() + 1, values.end()), values[0]);
             return std::nullopt;
         }},
    };
    return table;
}

std::optional<std::string> setSetting(const StepCall& call, UserSettings* settings) {
    const auto& table = setters();
    auto it = table.find(call.text(0));
    if (it == table.end()) {
        if (call.text(0) == "settingsVersion") return "settingsVersion is the file format's, not a setting";
        return "unknown setting \"" + call.text(0) + "\"";
    }
    if (auto error = it->second(call.texts(1), settings)) return call.text(0) + " " + *error;
    return std::nullopt;
}

}  // namespace

std::string settingValueText(const UserSettings& settings, const std::string& key) {
    const auto json = nlohmann::json::parse(encodeUserSettings(*settings.data));
    if (!json.contains(key)) return "none";
    const auto& v = json.at(key);
    return v.is_string() ? v.get<std::string>() : v.dump();
}

bool isSettingKey(const std::string& key) {
    return setters().contains(key) || key == "settingsVersion";
}

StepRow setSettingStep() {
    return step(
        "set", {{arg::text("SETTING"), arg::repeated(arg::text("VALUE"), 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (auto error = setSetting(call, ctx.settings().get())) throw ScenarioFailure(*error);
        },
        "Changes a setting through the settings store, as the settings window does.",
        [](const StepCall& call) { return setSetting(call, nullptr); });
}

}  // namespace qv
