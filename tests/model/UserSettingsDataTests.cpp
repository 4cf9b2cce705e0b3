#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/UserSettingsData.h"

namespace qv {
namespace {

using nlohmann::json;

// Every field away from its default, every optional number present.
UserSettingsData everyFieldSet() {
    UserSettingsData d;
    d.barSize = "xl";
    d.theme = "aero";
    d.scrollUpSpaceSwitch = "right";
    d.hotkeyKeyCode = 49;
    d.hotkeyModifiers = 4294967295u;
    d.groupWindowsByApp = false;
    d.showChipTitles = false;
    d.showWindowNamesInChips = false;
    d.hideDock = true;
    d.showOnAllDisplays = true;
    d.windowSwitcherEnabled = true;
    d.windowSwitcherKeyCode = 50;
    d.windowSwitcherModifiers = 256;
    d.snapLayoutsEnabled = true;
    d.resizeAdjacentWindowsEnabled = true;
    d.keyboardSnapEnabled = true;
    d.keyboardSnapModifiers = 4096 | 2048;
    d.windowTilingDisabledDisplays = {"37D8832A-2D66-02CA-B9F7-8F30A301B230", "MAIN"};
    d.runAtLogin = true;
    d.pinnedApps = {{"com.example.b", 3}, {"com.example.a", 1}, {"com.example.c", 2}};
    d.chipOrderByDesktop = {{"MAIN#1", {"com.example.b", "Script"}}, {"SIDE#2", {"com.example.a"}}};
    d.settingsVersion = 7;
    return d;
}

std::vector<std::string> topLevelKeys(const std::string& text) {
    std::vector<std::string> keys;
    json object = json::parse(text);
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    return keys;
}

TEST(UserSettingsDataTest, DefaultsAndTheSystemDependentTheme) {
    UserSettingsData d = UserSettingsData::defaults(27);
    EXPECT_EQ(d.barSize, "medium");
    EXPECT_EQ(d.theme, "frosted");
    EXPECT_EQ(d.scrollUpSpaceSwitch, "left");
    EXPECT_TRUE(d.groupWindowsByApp && d.showChipTitles && d.showWindowNamesInChips);
    EXPECT_FALSE(d.hideDock || d.showOnAllDisplays || d.windowSwitcherEnabled || d.snapLayoutsEnabled ||
                 d.resizeAdjacentWindowsEnabled || d.keyboardSnapEnabled || d.runAtLogin);
    EXPECT_FALSE(d.hotkeyKeyCode || d.hotkeyModifiers || d.windowSwitcherKeyCode ||
                 d.windowSwitcherModifiers || d.keyboardSnapModifiers);
    EXPECT_TRUE(d.windowTilingDisabledDisplays.empty() && d.pinnedApps.empty() &&
                d.chipOrderByDesktop.empty());
    EXPECT_EQ(d.settingsVersion, 1);
    EXPECT_EQ(UserSettingsData::defaults(26).theme, "longhorn");
    EXPECT_EQ(UserSettingsData::defaults(25).theme, "frosted");
}

TEST(UserSettingsDataTest, ARecordWithEveryKeyRoundTripsThroughTheFileFormat) {
    UserSettingsData d = everyFieldSet();
    std::string text = encodeUserSettings(d);
    EXPECT_EQ(topLevelKeys(text).size(), 22u);
    EXPECT_EQ(decodeUserSettings(text, 27), d);

    json j = json::parse(text);
    EXPECT_EQ(j["pinnedApps"][0], (json{{"id", "com.example.b"}, {"destinationsRaw", 3}}));
    EXPECT_EQ(j["chipOrderByDesktop"]["MAIN#1"], (json{"com.example.b", "Script"}));
    EXPECT_EQ(j["hotkeyModifiers"], 4294967295u);

    // Absent numbers are left out, not written as null.
    const std::string defaults = encodeUserSettings(UserSettingsData::defaults(27));
    auto keys = topLevelKeys(defaults);
    EXPECT_EQ(keys.size(), 17u);
    for (const char* absent : {"hotkeyKeyCode", "hotkeyModifiers", "windowSwitcherKeyCode",
                               "windowSwitcherModifiers", "keyboardSnapModifiers"}) {
        EXPECT_EQ(std::find(keys.begin(), keys.end(), absent), keys.end()) << absent;
    }
    EXPECT_EQ(defaults.find("null"), std::string::npos);
}

TEST(UserSettingsDataTest, FileIsPrettyPrintedWithTheKeysOfEveryObjectSorted) {
    std::string text = encodeUserSettings(everyFieldSet());
    // One top-level member per line, indented once, in byte order of the keys.
    std::vector<std::string> memberLines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.rfind("  \"", 0) == 0) memberLines.push_back(line.substr(3, line.find('"', 3) - 3));
        start = end + 1;
    }
    ASSERT_EQ(memberLines.size(), 22u);
    EXPECT_TRUE(std::is_sorted(memberLines.begin(), memberLines.end()));
    EXPECT_EQ(memberLines.front(), "barSize");
    EXPECT_EQ(memberLines.back(), "windowTilingDisabledDisplays");
    // Nested objects are sorted too: "destinationsRaw" before "id".
    EXPECT_LT(text.find("\"destinationsRaw\": 3"), text.find("\"id\": \"com.example.b\""));
    EXPECT_NE(text.find("\n      \"destinationsRaw\""), std::string::npos);
}

TEST(UserSettingsDataTest, MissingAndNullKeysTakeTheirDefaults) {
    auto onlyHideDock = decodeUserSettings(R"({ "hideDock": true })", 27);
    ASSERT_TRUE(onlyHideDock);
    UserSettingsData expected = UserSettingsData::defaults(27);
    expected.hideDock = true;
    EXPECT_EQ(*onlyHideDock, expected);
    EXPECT_EQ(onlyHideDock->settingsVersion, 1);

    json allNull = json::object();
    for (const std::string& key : topLevelKeys(encodeUserSettings(everyFieldSet()))) allNull[key] = nullptr;
    EXPECT_EQ(decodeUserSettings(allNull.dump(), 26), UserSettingsData::defaults(26));
    EXPECT_EQ(decodeUserSettings("{}", 26)->theme, "longhorn");
}

TEST(UserSettingsDataTest, TextsAreKeptAsTheyStandAndUnknownKeysAreDropped) {
    auto d = decodeUserSettings(R"({"barSize": "huge", "theme": "", "scrollUpSpaceSwitch": "Right",
                                    "futureSetting": {"nested": [1, 2]}, "hideDock": true})",
                                27);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->barSize, "huge");
    EXPECT_EQ(d->theme, "");
    EXPECT_EQ(d->scrollUpSpaceSwitch, "Right");
    std::string again = encodeUserSettings(*d);
    EXPECT_NE(again.find("\"barSize\": \"huge\""), std::string::npos);
    EXPECT_EQ(again.find("futureSetting"), std::string::npos);
}

TEST(UserSettingsDataTest, NumbersAtTheEdgesOfTheirRanges) {
    auto d = decodeUserSettings(R"({"hotkeyKeyCode": 0, "hotkeyModifiers": 4294967295,
                                    "settingsVersion": -3, "pinnedApps": [{"id": "a", "destinationsRaw": -1}]})",
                                27);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->hotkeyKeyCode, 0u);
    EXPECT_EQ(d->hotkeyModifiers, 4294967295u);
    EXPECT_EQ(d->settingsVersion, -3);
    EXPECT_EQ(d->pinnedApps, (std::vector<PinnedAppRecord>{{"a", -1}}));
}

TEST(UserSettingsDataTest, AnyValueOfTheWrongTypeRejectsTheWholeFile) {
    const char* rejected[] = {
        R"({"hideDock": "yes"})",
        R"({"hideDock": 1})",
        R"({"barSize": 3})",
        R"({"theme": ["aero"]})",
        R"({"hotkeyKeyCode": -1})",
        R"({"hotkeyKeyCode": 1.5})",
        R"({"hotkeyKeyCode": 4294967296})",
        R"({"windowSwitcherModifiers": "2048"})",
        R"({"pinnedApps": [{"id": "com.example.a"}]})",
        R"({"pinnedApps": [{"destinationsRaw": 1}]})",
        R"({"pinnedApps": [{"id": "com.example.a", "destinationsRaw": 1}, {"id": null, "destinationsRaw": 1}]})",
        R"({"pinnedApps": [null]})",
        R"({"pinnedApps": {"id": "com.example.a", "destinationsRaw": 1}})",
        R"({"windowTilingDisabledDisplays": ["MAIN", 2]})",
        R"({"windowTilingDisabledDisplays": "MAIN"})",
        R"({"chipOrderByDesktop": {"MAIN#1": "com.example.a"}})",
        R"({"chipOrderByDesktop": [["MAIN#1"]]})",
        R"({"settingsVersion": "1"})",
        R"({"settingsVersion": 9223372036854775808})",
        R"([])",
        R"("settings")",
        "",
        "{\"hideDock\": true",
        "{\"hideDock\": true} {}",
        "{\"barSize\": \"\xff\"}",
    };
    for (const char* text : rejected) EXPECT_EQ(decodeUserSettings(text, 27), std::nullopt) << text;
}

TEST(UserSettingsDataTest, TextsThatAreNoValidUnicodeStillEncode) {
    UserSettingsData d = UserSettingsData::defaults(27);
    d.windowTilingDisabledDisplays = {"bad\xff"};
    std::string text = encodeUserSettings(d);
    auto back = decodeUserSettings(text, 27);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->windowTilingDisabledDisplays.size(), 1u);
    EXPECT_EQ(back->windowTilingDisabledDisplays[0].substr(0, 3), "bad");
}

}  // namespace
}  // namespace qv
