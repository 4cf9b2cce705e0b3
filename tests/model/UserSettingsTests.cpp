#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "dispatch/ManualRuntime.h"
#include "model/BarMetrics.h"
#include "model/UserSettings.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"
#include "sim/SimLoginItems.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class UserSettingsTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};

    std::string folder() { return sim.fileSystem().applicationSupportDirectory() + "/quillVorn"; }
    std::string path() { return folder() + "/settings.json"; }
    std::string backup(int n = 0) { return path() + ".bak" + (n ? "." + std::to_string(n) : ""); }

    void put(const std::string& file, const std::string& bytes) {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::optional<std::string> read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return std::nullopt;
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    json onDisk() { return json::parse(*read(path())); }
    size_t writes() const { return sim.callsNamed("Data.write").size(); }
    std::shared_ptr<UserSettings> open() { return UserSettings::create(sim.platform()); }
};

TEST_F(UserSettingsTest, AMissingFileGivesTheDefaultsAndNothingIsWrittenAtStart) {
    auto settings = open();
    EXPECT_EQ(settings->fileURL(), path());
    EXPECT_TRUE(fs::is_directory(folder()));
    EXPECT_EQ(settings->data.get(), UserSettingsData::defaults(27));
    rt.advance(10);
    EXPECT_EQ(writes(), 0u);
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(UserSettingsTest, AFileWithEveryKeyIsLoadedAsItStands) {
    UserSettingsData stored = UserSettingsData::defaults(27);
    stored.barSize = "large";
    stored.theme = "aero";
    stored.hotkeyKeyCode = 49;
    stored.hotkeyModifiers = 256;
    stored.windowSwitcherKeyCode = 50;
    stored.windowSwitcherModifiers = 4096;
    stored.keyboardSnapModifiers = 6144;
    stored.windowTilingDisabledDisplays = {"SIDE"};
    stored.pinnedApps = {{"com.example.a", 3}};
    stored.chipOrderByDesktop = {{"MAIN#1", {"com.example.a"}}};
    stored.settingsVersion = 2;
    put(path(), encodeUserSettings(stored));
    auto settings = open();
    EXPECT_EQ(settings->data.get(), stored);
    EXPECT_EQ(settings->windowSwitcherShortcut(), (KeyboardShortcut{50, 4096}));
    EXPECT_EQ(settings->theme(), BarTheme::aero);
}

TEST_F(UserSettingsTest, TenChangesWithinHalfASecondGiveOneWriteHalfASecondAfterTheLast) {
    auto settings = open();
    for (int i = 0; i < 10; ++i) {
        rt.advanceTo(i * 0.05);
        settings->setHideDock(i % 2 == 0);
    }
    // The last change, hideDock false again, came at 0.45 s: the save is due at 0.95 s.
    settings->setBarSize(BarSize::xl);
    rt.advance(0.4999);
    EXPECT_EQ(writes(), 0u);
    rt.advance(0.0002);
    EXPECT_EQ(writes(), 1u);
    EXPECT_EQ(onDisk()["barSize"], "xl");
    EXPECT_EQ(onDisk()["hideDock"], false);
    rt.advance(5);
    EXPECT_EQ(writes(), 1u);
}

TEST_F(UserSettingsTest, ASetterThatChangesNothingPublishesNothingAndSavesNothing) {
    auto settings = open();
    std::vector<UserSettingsData> heard;
    auto sub = settings->data.subscribeToChanges([&](const UserSettingsData& d) { heard.push_back(d); });
    settings->setHideDock(false);
    settings->setGroupWindowsByApp(true);
    settings->setBarSize(BarSize::medium);
    settings->setWindowSwitcherShortcut(UserSettings::kDefaultWindowSwitcherShortcut);
    settings->setChipOrder({}, "MAIN#1");
    settings->setWindowTilingDisabled(false, "MAIN");
    settings->setKeyboardSnapModifiers(std::nullopt);
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(rt.pendingCount(), 0u);
    rt.advance(1);
    EXPECT_EQ(writes(), 0u);

    settings->setShowChipTitles(false);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_FALSE(heard[0].showChipTitles);
    EXPECT_FALSE(settings->data->showChipTitles);
}

TEST_F(UserSettingsTest, QuittingSavesAtOnceAndReplacesThePendingSave) {
    auto settings = open();
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 1u);  // even with nothing changed
    EXPECT_EQ(onDisk()["theme"], "frosted");

    settings->setSnapLayoutsEnabled(true);
    rt.advance(0.2);
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 2u);
    EXPECT_EQ(onDisk()["snapLayoutsEnabled"], true);
    rt.advance(1);
    EXPECT_EQ(writes(), 2u);
}

TEST_F(UserSettingsTest, TheWrittenFileIsPrettyPrintedSortedAndLeavesNoTemporaryFileBehind) {
    auto settings = open();
    settings->setPinnedApps({{"com.example.a", 1}});
    settings->setChipOrder({"b", "a"}, "MAIN#2");
    rt.advance(0.5);
    std::string text = *read(path());
    EXPECT_EQ(text.substr(0, 17), "{\n  \"barSize\": \"m");
    EXPECT_LT(text.find("\"chipOrderByDesktop\""), text.find("\"groupWindowsByApp\""));
    EXPECT_LT(text.find("\"destinationsRaw\""), text.find("\"id\""));
    EXPECT_EQ(json::parse(text).dump(2), text);  // the same layout as a sorted two-space dump
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"settings.json"});
}

TEST_F(UserSettingsTest, AWronglyTypedFileGivesDefaultsAndSurvivesTheNextSaveInTheKeptCopy) {
    const std::string original = R"({"hideDock": "yes", "barSize": "large",
  "pinnedApps": [{"id": "com.example.mail", "destinationsRaw": 3}],
  "chipOrderByDesktop": {"MAIN#1": ["com.example.mail", "Terminal"]}})";
    put(path(), original);
    auto settings = open();
    EXPECT_EQ(settings->data.get(), UserSettingsData::defaults(27));
    EXPECT_EQ(read(path()), original);  // untouched until a save
    EXPECT_FALSE(fs::exists(backup()));

    settings->setShowOnAllDisplays(true);
    rt.advance(0.5);
    EXPECT_EQ(read(backup()), original);
    EXPECT_EQ(onDisk()["showOnAllDisplays"], true);
    EXPECT_EQ(onDisk()["barSize"], "medium");

    // Only the first save keeps a copy.
    settings->setShowOnAllDisplays(false);
    rt.advance(0.5);
    EXPECT_EQ(sim.callsNamed("FileManager.copyItem").size(), 1u);
    EXPECT_EQ(read(backup()), original);
    EXPECT_EQ(onDisk()["showOnAllDisplays"], false);
}

TEST_F(UserSettingsTest, AFileThatIsNoJSONIsKeptWhenQuittingReplacesIt) {
    put(path(), "{\"hideDock\": tru");
    auto settings = open();
    sim.terminateOurApplication();
    EXPECT_EQ(read(backup()), "{\"hideDock\": tru");
    EXPECT_FALSE(fs::exists(backup(1)));
    EXPECT_EQ(onDisk()["hideDock"], false);
}

TEST_F(UserSettingsTest, AnEarlierKeptCopyIsNeverOverwritten) {
    put(backup(), "older broken file");
    put(path(), "[\"newer broken file\"]");
    auto settings = open();
    sim.terminateOurApplication();
    EXPECT_EQ(read(backup()), "older broken file");
    EXPECT_EQ(read(backup(1)), "[\"newer broken file\"]");
    EXPECT_TRUE(onDisk().is_object());
}

TEST_F(UserSettingsTest, WhenNoCopyCanBeMadeTheUnreadableFileIsNotReplaced) {
    put(path(), "{\"runAtLogin\": 1}");
    auto settings = open();
    sim.fileSystem().refuseCopies = true;
    settings->setHideDock(true);
    rt.advance(0.5);
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 0u);
    EXPECT_EQ(read(path()), "{\"runAtLogin\": 1}");
    EXPECT_TRUE(settings->data->hideDock);  // the record in memory stays current

    sim.fileSystem().refuseCopies = false;
    sim.terminateOurApplication();
    EXPECT_EQ(read(backup()), "{\"runAtLogin\": 1}");
    EXPECT_EQ(onDisk()["hideDock"], true);
}

TEST_F(UserSettingsTest, AFileThatCannotBeReadIsTreatedLikeABrokenOne) {
    put(path(), R"({"hideDock": true})");
    sim.fileSystem().refuseReads = true;
    auto settings = open();
    EXPECT_FALSE(settings->data->hideDock);
    sim.fileSystem().refuseReads = false;
    sim.terminateOurApplication();
    EXPECT_EQ(read(backup()), R"({"hideDock": true})");
}

TEST_F(UserSettingsTest, AGoodFileIsReplacedWithoutACopy) {
    put(path(), R"({"hideDock": true, "somethingOld": 1})");
    auto settings = open();
    EXPECT_TRUE(settings->data->hideDock);
    sim.terminateOurApplication();
    EXPECT_TRUE(sim.callsNamed("FileManager.copyItem").empty());
    EXPECT_FALSE(fs::exists(backup()));
    EXPECT_FALSE(onDisk().contains("somethingOld"));
}

TEST_F(UserSettingsTest, AFailedSaveIsDroppedAndTheNextSaveWritesTheWholeRecord) {
    auto settings = open();
    sim.fileSystem().refuseWrites = true;
    settings->setHideDock(true);
    rt.advance(0.5);
    EXPECT_EQ(writes(), 1u);
    EXPECT_FALSE(fs::exists(path()));
    rt.advance(10);
    EXPECT_EQ(writes(), 1u);  // no retry of its own

    sim.fileSystem().refuseWrites = false;
    settings->setShowChipTitles(false);
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["hideDock"], true);
    EXPECT_EQ(onDisk()["showChipTitles"], false);
}

TEST_F(UserSettingsTest, WithoutAnApplicationSupportFolderTheDefaultsLiveInMemoryOnly) {
    sim.fileSystem().noApplicationSupportDirectory = true;
    auto settings = open();
    EXPECT_EQ(settings->fileURL(), std::nullopt);
    settings->setHideDock(true);
    EXPECT_TRUE(settings->data->hideDock);
    rt.advance(0.5);
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 0u);
}

TEST_F(UserSettingsTest, AFolderThatCannotBeCreatedGivesDefaultsAndSilentlyFailingSaves) {
    sim.fileSystem().refuseCreateDirectory = true;
    auto settings = open();
    EXPECT_EQ(settings->data.get(), UserSettingsData::defaults(27));
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 1u);
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(UserSettingsTest, ARefusedRegistrationLeavesRunAtLoginOff) {
    auto settings = open();
    sim.loginItems().refuseRegistration = true;
    std::vector<bool> heard;
    auto sub =
        settings->data.subscribeToChanges([&](const UserSettingsData& d) { heard.push_back(d.runAtLogin); });
    settings->setRunAtLogin(true);
    EXPECT_EQ(sim.callsNamed("SMAppService.register").size(), 1u);
    EXPECT_FALSE(settings->data->runAtLogin);
    EXPECT_TRUE(heard.empty());  // false stays false: nothing to publish or save
    EXPECT_EQ(rt.pendingCount(), 0u);

    sim.loginItems().refuseRegistration = false;
    sim.loginItems().registrationRequiresApproval = true;
    settings->setRunAtLogin(true);
    EXPECT_FALSE(settings->data->runAtLogin);
    EXPECT_EQ(sim.loginItems().status, LoginItemStatus::requiresApproval);

    sim.loginItems().registrationRequiresApproval = false;
    sim.loginItems().status = LoginItemStatus::notRegistered;
    settings->setRunAtLogin(true);
    EXPECT_TRUE(settings->data->runAtLogin);
    EXPECT_EQ(heard, std::vector<bool>{true});
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["runAtLogin"], true);

    settings->setRunAtLogin(true);  // already on: the service is only asked for its status
    EXPECT_EQ(sim.callsNamed("SMAppService.register").size(), 3u);
    sim.loginItems().refuseUnregistration = true;
    settings->setRunAtLogin(false);
    EXPECT_TRUE(settings->data->runAtLogin);  // still registered, so the record says so
    sim.loginItems().refuseUnregistration = false;
    settings->setRunAtLogin(false);
    EXPECT_FALSE(settings->data->runAtLogin);
    EXPECT_EQ(sim.loginItems().status, LoginItemStatus::notRegistered);
}

TEST_F(UserSettingsTest, StartWithoutAFileUnregistersALoginItemLeftBehind) {
    sim.loginItems().status = LoginItemStatus::enabled;
    auto settings = open();
    EXPECT_EQ(sim.callsNamed("SMAppService.unregister").size(), 1u);
    EXPECT_EQ(sim.loginItems().status, LoginItemStatus::notRegistered);
    EXPECT_FALSE(settings->data->runAtLogin);
    EXPECT_EQ(rt.pendingCount(), 0u);  // the record already said false
}

TEST_F(UserSettingsTest, AnUnreadableFileLeavesTheLoginItemAsTheSystemHasIt) {
    put(path(), R"({"runAtLogin": tru)");
    sim.loginItems().status = LoginItemStatus::enabled;
    auto settings = open();
    EXPECT_TRUE(sim.callsNamed("SMAppService.unregister").empty());
    EXPECT_EQ(sim.loginItems().status, LoginItemStatus::enabled);
    EXPECT_TRUE(settings->data->runAtLogin);
    rt.advance(0.5);
    EXPECT_EQ(read(backup()), R"({"runAtLogin": tru)");
    EXPECT_EQ(onDisk()["runAtLogin"], true);
}

TEST_F(UserSettingsTest, StartAsksAgainForAnItemThatAwaitsApprovalAndFollowsTheService) {
    put(path(), R"({"runAtLogin": true})");
    sim.loginItems().status = LoginItemStatus::requiresApproval;
    auto granted = open();
    EXPECT_EQ(sim.callsNamed("SMAppService.register").size(), 1u);
    EXPECT_TRUE(granted->data->runAtLogin);
    EXPECT_EQ(rt.pendingCount(), 0u);

    sim.loginItems().status = LoginItemStatus::requiresApproval;
    sim.loginItems().registrationRequiresApproval = true;
    auto pending = open();
    EXPECT_FALSE(pending->data->runAtLogin);
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["runAtLogin"], false);
}

TEST_F(UserSettingsTest, TheDefaultSwitcherShortcutIsNeverStored) {
    auto settings = open();
    EXPECT_EQ(settings->windowSwitcherShortcut(), (KeyboardShortcut{48, 0x800}));
    settings->setWindowSwitcherShortcut({50, carbon::kCommand});
    EXPECT_EQ(settings->data->windowSwitcherKeyCode, 50u);
    EXPECT_EQ(settings->data->windowSwitcherModifiers, 256u);
    EXPECT_EQ(settings->windowSwitcherShortcut(), (KeyboardShortcut{50, 256}));
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["windowSwitcherKeyCode"], 50);

    settings->setWindowSwitcherShortcut({48, 0x800});
    rt.advance(0.5);
    EXPECT_FALSE(onDisk().contains("windowSwitcherKeyCode"));
    EXPECT_FALSE(onDisk().contains("windowSwitcherModifiers"));
    EXPECT_EQ(settings->windowSwitcherShortcut(), (KeyboardShortcut{48, 0x800}));

    settings->setWindowSwitcherShortcut({48, carbon::kControl});  // Tab with another modifier is stored
    EXPECT_EQ(settings->data->windowSwitcherModifiers, 4096u);

    // A key code stored without modifiers reads as the default shortcut.
    put(path(), R"({"windowSwitcherKeyCode": 50})");
    EXPECT_EQ(open()->windowSwitcherShortcut(), (KeyboardShortcut{48, 0x800}));
}

TEST_F(UserSettingsTest, UnknownStoredTextsAreKeptAndReadAsTheirDefaults) {
    put(path(), R"({"barSize": "huge", "theme": "Aero"})");
    sim.setOperatingSystemMajorVersion(26);
    auto settings = open();
    EXPECT_EQ(settings->theme(), BarTheme::longhorn);
    sim.setOperatingSystemMajorVersion(27);
    EXPECT_EQ(settings->theme(), BarTheme::frosted);
    EXPECT_EQ(BarMetrics::fromSetting(settings->data->barSize).barSize, BarSize::medium);
    settings->setHideDock(true);
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["barSize"], "huge");
    EXPECT_EQ(onDisk()["theme"], "Aero");

    settings->setTheme(BarTheme::aero);
    settings->setScrollUpSpaceSwitch(SpaceScrollUpBehavior::right);
    EXPECT_EQ(settings->data->theme, "aero");
    EXPECT_EQ(settings->data->scrollUpSpaceSwitch, "right");
}

TEST_F(UserSettingsTest, ChipOrderPerDesktop) {
    auto settings = open();
    EXPECT_TRUE(settings->chipOrder("MAIN#1").empty());
    settings->setChipOrder({"com.example.b", "com.example.a"}, "MAIN#1");
    settings->setChipOrder({"Terminal"}, "SIDE#1");
    EXPECT_EQ(settings->chipOrder("MAIN#1"), (std::vector<std::string>{"com.example.b", "com.example.a"}));
    settings->setChipOrder({}, "MAIN#1");
    EXPECT_FALSE(settings->data->chipOrderByDesktop.contains("MAIN#1"));
    EXPECT_EQ(settings->chipOrder("SIDE#1"), std::vector<std::string>{"Terminal"});
}

TEST_F(UserSettingsTest, DisablingTilingMovesTheDisplayToTheEndOnce) {
    auto settings = open();
    settings->setWindowTilingDisabled(true, "A");
    settings->setWindowTilingDisabled(true, "B");
    using List = std::vector<std::string>;
    EXPECT_EQ(settings->data->windowTilingDisabledDisplays, (List{"A", "B"}));
    rt.advance(0.5);
    EXPECT_EQ(writes(), 1u);

    settings->setWindowTilingDisabled(true, "B");  // already last: nothing changes
    rt.advance(0.5);
    EXPECT_EQ(writes(), 1u);

    settings->setWindowTilingDisabled(true, "A");
    EXPECT_EQ(settings->data->windowTilingDisabledDisplays, (List{"B", "A"}));
    rt.advance(0.5);
    EXPECT_EQ(writes(), 2u);
    EXPECT_EQ(onDisk()["windowTilingDisabledDisplays"], (json{"B", "A"}));

    put(path(), R"({"windowTilingDisabledDisplays": ["A", "B", "A"]})");
    auto reread = open();
    reread->setWindowTilingDisabled(false, "A");
    EXPECT_EQ(reread->data->windowTilingDisabledDisplays, (List{"B"}));
}

TEST_F(UserSettingsTest, OptionalNumbersAreStoredAndCleared) {
    auto settings = open();
    settings->setHotkeyKeyCode(49);
    settings->setHotkeyModifiers(carbon::kCommand | carbon::kOption);
    settings->setKeyboardSnapModifiers(SnapKeyModifiers{carbon::kControl | carbon::kFunction});
    rt.advance(0.5);
    EXPECT_EQ(onDisk()["hotkeyKeyCode"], 49);
    EXPECT_EQ(onDisk()["hotkeyModifiers"], 2304);
    EXPECT_EQ(onDisk()["keyboardSnapModifiers"], 135168);
    settings->setHotkeyKeyCode(std::nullopt);
    settings->setHotkeyModifiers(std::nullopt);
    settings->setKeyboardSnapModifiers(std::nullopt);
    rt.advance(0.5);
    EXPECT_FALSE(onDisk().contains("hotkeyKeyCode"));
    EXPECT_FALSE(onDisk().contains("hotkeyModifiers"));
    EXPECT_FALSE(onDisk().contains("keyboardSnapModifiers"));
}

TEST_F(UserSettingsTest, EveryBooleanSetterWritesItsOwnField) {
    auto settings = open();
    settings->setGroupWindowsByApp(false);
    settings->setShowWindowNamesInChips(false);
    settings->setWindowSwitcherEnabled(true);
    settings->setResizeAdjacentWindowsEnabled(true);
    settings->setKeyboardSnapEnabled(true);
    const UserSettingsData& d = settings->data.get();
    EXPECT_FALSE(d.groupWindowsByApp);
    EXPECT_FALSE(d.showWindowNamesInChips);
    EXPECT_TRUE(d.windowSwitcherEnabled);
    EXPECT_TRUE(d.resizeAdjacentWindowsEnabled);
    EXPECT_TRUE(d.keyboardSnapEnabled);
    UserSettingsData expected = UserSettingsData::defaults(27);
    expected.groupWindowsByApp = false;
    expected.showWindowNamesInChips = false;
    expected.windowSwitcherEnabled = true;
    expected.resizeAdjacentWindowsEnabled = true;
    expected.keyboardSnapEnabled = true;
    EXPECT_EQ(d, expected);  // and nothing else
}

TEST_F(UserSettingsTest, AStoreThatIsGoneSavesNothing) {
    auto settings = open();
    settings->setHideDock(true);
    settings.reset();
    rt.advance(1);
    sim.terminateOurApplication();
    EXPECT_EQ(writes(), 0u);
    EXPECT_EQ(sim.notifications().observerCount(notifications::kApplicationWillTerminate), 0u);
}

TEST_F(UserSettingsTest, TheSharedInstanceIsTheOneInstalled) {
    EXPECT_THROW(UserSettings::shared(), std::logic_error);
    auto settings = open();
    UserSettings::setShared(settings);
    EXPECT_EQ(&UserSettings::shared(), settings.get());
    UserSettings::setShared(nullptr);
}

}  // namespace
}  // namespace qv
