#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "bar/DockController.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimFileSystem.h"
#include "sim/SimPreferences.h"
#include "sim/SimProcesses.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

Value dbl(double v) {
    return Value::number(NumberObject::ofDouble(v));
}
Value flag(bool v) {
    return Value::number(NumberObject::ofBool(v));
}

class DockControllerTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    int32_t dockPID = sim.launchApp(std::string(SimDock::kBundleID), SimDock::kProcessName);
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    std::shared_ptr<DockController> dock;

    std::string file() {
        return sim.fileSystem().applicationSupportDirectory() + "/quillVorn/initialDockSettings.json";
    }
    void put(const std::string& bytes) {
        fs::create_directories(fs::path(file()).parent_path());
        std::ofstream(file(), std::ios::binary) << bytes;
    }
    std::optional<std::string> fileText() { return sim.platform().fileSystem.contentsOfFile(file()); }
    std::optional<Value> pref(const char* key) {
        return sim.preferences().value(DockController::kDomain, key);
    }
    void setPref(const char* key, std::optional<Value> v) {
        sim.preferences().setValue(DockController::kDomain, key, std::move(v));
    }
    void looksHidden() {
        sim.dock().setUserAutoHide(true);
        setPref("autohide-delay", dbl(1000.00005));
        setPref("no-bouncing", flag(true));
    }
    void start(bool hideDock) {
        settings->setHideDock(hideDock);
        dock = DockController::create(sim.platform(), settings);
        rt.runUntilIdle();
    }
    int restarts() { return sim.dock().restartCount(); }
};

TEST_F(DockControllerTest, StartUpBringsTheDockInLineWithTheSetting) {
    // A Dock the user hid the same way is left alone, and its own values are saved and come back.
    looksHidden();
    start(true);
    EXPECT_EQ(restarts(), 0);
    EXPECT_EQ(fileText(),
              "{\n  \"autoHideDelay\": 1000.00005,\n  \"autoHideEnabled\": true,\n  \"dockShown\": false,\n"
              "  \"noBouncing\": true,\n  \"version\": 2\n}");
    settings->setHideDock(false);
    rt.runUntilIdle();
    EXPECT_TRUE(sim.dock().getAutoHideEnabled());
    EXPECT_EQ(pref("autohide-delay"), dbl(1000.00005));
    EXPECT_EQ(pref("no-bouncing"), flag(true));
}

TEST_F(DockControllerTest, ADelayJustOffTheHiddenOneIsHiddenAgainKeepingAnEarlierFile) {
    sim.dock().setUserAutoHide(true);
    setPref("autohide-delay", dbl(999.9));
    setPref("no-bouncing", flag(true));
    const std::string earlier = "{\"autoHideDelay\": 0.5, \"autoHideEnabled\": false, \"noBouncing\": false}";
    put(earlier);
    start(true);
    EXPECT_EQ(fileText(), earlier);
    EXPECT_EQ(pref("autohide-delay"), dbl(1000));
    EXPECT_EQ(restarts(), 1);
    EXPECT_TRUE(sim.dock().look().autoHide);
}

TEST_F(DockControllerTest, AStartWithTheSettingOffAfterACrashRestoresOnceAndWithoutAFileDoesNothing) {
    // A file of an earlier version saved no preferences: what its hiding wrote gives way to defaults.
    looksHidden();
    put("{\"autoHideEnabled\": true}");
    start(false);
    EXPECT_TRUE(sim.dock().getAutoHideEnabled());
    EXPECT_EQ(pref("autohide-delay"), dbl(0.2));
    EXPECT_EQ(pref("no-bouncing"), flag(false));
    EXPECT_FALSE(fileText());
    EXPECT_EQ(restarts(), 1);
    dock.reset();
    start(false);
    EXPECT_EQ(restarts(), 1);
}

TEST_F(DockControllerTest, HidingSavesTheUsersOwnValuesAndRestoringPutsThemBackWithTheirTypes) {
    setPref("autohide-delay", Value::number(NumberObject::ofSigned(2)));
    start(false);
    settings->setHideDock(true);
    settings->setHideDock(true);
    rt.runUntilIdle();
    EXPECT_EQ(restarts(), 1);
    EXPECT_EQ(fileText(),
              "{\n  \"autoHideDelay\": 2,\n  \"autoHideEnabled\": false,\n  \"dockShown\": false,\n"
              "  \"noBouncing\": null,\n  \"version\": 2\n}");
    EXPECT_EQ(pref("no-bouncing"), flag(true));
    EXPECT_EQ(sim.callsNamed("UserDefaults.synchronize").size(), 2u);

    settings->setHideDock(false);
    rt.runUntilIdle();
    EXPECT_EQ(pref("autohide-delay"), Value::number(NumberObject::ofSigned(2)));
    EXPECT_FALSE(pref("no-bouncing"));  // the user never had one
    EXPECT_FALSE(sim.dock().getAutoHideEnabled());
    EXPECT_FALSE(fileText());
    EXPECT_EQ(restarts(), 2);
}

TEST_F(DockControllerTest, WithoutADomainTheFileHoldsOnlyAutoHideAndTheDockIsStillHidden) {
    setPref("autohide-delay", dbl(0.5));
    sim.preferences().unavailableSuites.insert(DockController::kDomain);
    start(true);
    EXPECT_EQ(fileText(), "{\n  \"autoHideEnabled\": false,\n  \"dockShown\": false,\n  \"version\": 2\n}");
    EXPECT_TRUE(sim.dock().look().autoHide);
    // Keys that hiding never wrote keep the user's values.
    sim.preferences().unavailableSuites.clear();
    dock.reset();
    start(false);
    EXPECT_EQ(pref("autohide-delay"), dbl(0.5));
    EXPECT_FALSE(pref("no-bouncing"));
}

// Each set of moments the domain is away at (bits: start, hiding, restart, restore, quit), with and
// without the user's own bouncing off (bit 5): once a start with it back finishes what is left, the
// Dock has the user's own delay and bouncing.
class DockDomainAwayTest : public DockControllerTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    void moment(int bit) {
        auto& away = sim.preferences().unavailableSuites;
        GetParam() >> bit & 1 ? void(away.insert(DockController::kDomain)) : away.clear();
    }
};

TEST_P(DockDomainAwayTest, TheUsersDelayAndBouncingComeBack) {
    const bool noBouncing = GetParam() >> 5 & 1;
    setPref("autohide-delay", dbl(0.7));
    if (noBouncing) setPref("no-bouncing", flag(true));
    moment(0);
    start(false);
    moment(1);
    settings->setHideDock(true);
    rt.runUntilIdle();
    moment(2);
    start(true);
    moment(3);
    settings->setHideDock(false);
    settings->setHideDock(true);
    rt.runUntilIdle();
    moment(4);
    dock->restore(true);
    sim.preferences().unavailableSuites.clear();
    start(false);
    EXPECT_EQ(pref("autohide-delay"), dbl(0.7));
    EXPECT_EQ(pref("no-bouncing"), noBouncing ? std::optional(flag(true)) : std::nullopt);
    EXPECT_FALSE(sim.dock().getAutoHideEnabled());
    EXPECT_FALSE(fileText());
}

INSTANTIATE_TEST_SUITE_P(EveryMoment, DockDomainAwayTest, ::testing::Range(0u, 64u));

TEST_F(DockControllerTest, AStateThatCannotBeSavedHidesNothing) {
    sim.fileSystem().refuseWrites = true;
    start(true);
    EXPECT_FALSE(sim.dock().getAutoHideEnabled());
    EXPECT_EQ(restarts(), 0);
}

TEST_F(DockControllerTest, AnUnreadableFileIsLeftByRestoreAndMovedAsideWhenHiding) {
    put("{}");
    sim.dock().setUserAutoHide(true);
    start(false);
    EXPECT_EQ(fileText(), "{}");
    EXPECT_TRUE(sim.dock().getAutoHideEnabled());
    EXPECT_EQ(restarts(), 0);

    settings->setHideDock(true);
    rt.runUntilIdle();
    EXPECT_EQ(sim.platform().fileSystem.contentsOfFile(file() + ".unreadable"), "{}");
    EXPECT_EQ(fileText(),
              "{\n  \"autoHideDelay\": null,\n  \"autoHideEnabled\": true,\n  \"dockShown\": false,\n"
              "  \"noBouncing\": null,\n  \"version\": 2\n}");
    EXPECT_EQ(restarts(), 1);
}

TEST_F(DockControllerTest, ARestoreThatCannotWriteThePreferencesOutKeepsAFileToFinishFrom) {
    looksHidden();
    put("not json");  // unreadable while the Dock shows our hiding: the bytes go aside
    sim.preferences().unsavableSuites.insert(DockController::kDomain);
    start(false);
    EXPECT_EQ(sim.platform().fileSystem.contentsOfFile(file() + ".unreadable"), "not json");
    InitialDockSettings kept = recoveryDockSettings();
    kept.dockShown = true;  // the auto-hide is back; only the preferences are owed
    EXPECT_EQ(fileText(), encodeInitialDockSettings(kept));
    sim.preferences().unsavableSuites.clear();
    dock->restore(true);
    EXPECT_FALSE(fileText());
}

TEST_F(DockControllerTest, TheQuitPathReturnsAfterTheRestartOrItsTenSecondTimeOut) {
    start(true);
    dock->restore(true);
    EXPECT_EQ(restarts(), 2);  // within the call
    EXPECT_EQ(rt.now(), 0);

    settings->setHideDock(false);
    settings->setHideDock(true);
    rt.runUntilIdle();
    sim.processes().killallFault = SimToolFault::hang;
    dock->restore(true);
    EXPECT_EQ(rt.now(), DockController::kRestartTimeout);
    EXPECT_FALSE(fileText());
}

TEST(DockControllerRules, LooksHiddenAndTheReaders) {
    EXPECT_TRUE(DockController::looksHidden(true, 1000.00009, false));
    EXPECT_FALSE(DockController::looksHidden(true, 1000.00011, false));
    EXPECT_FALSE(DockController::looksHidden(true, 1000, std::nullopt));  // bouncing must be present
    EXPECT_FALSE(DockController::looksHidden(false, 1000, false));
    EXPECT_EQ(DockController::doubleValue(Value::number(NumberObject::ofSigned(3))), 3.0);
    EXPECT_EQ(DockController::doubleValue(Value::float64(2.5)), 2.5);
    EXPECT_EQ(DockController::boolValue(flag(true)), true);
    EXPECT_EQ(DockController::boolValue(Value::boolean(false)), false);
    EXPECT_EQ(DockController::boolValue(Value::number(NumberObject::ofSigned(0))), false);
    EXPECT_FALSE(DockController::doubleValue(Value::string("1000")));
}

TEST(InitialDockSettingsTest, TheFileKeepsKindsOfNumbersAndRefusesWhatItCannotTrust) {
    InitialDockSettings s;
    s.autoHideEnabled = true;
    s.autoHideDelay = std::optional<Value>(dbl(1.0));
    s.noBouncing = std::optional<Value>(flag(false));
    s.dockShown = true;
    const std::string text = encodeInitialDockSettings(s);
    EXPECT_EQ(text,
              "{\n  \"autoHideDelay\": 1.0,\n  \"autoHideEnabled\": true,\n  \"dockShown\": true,\n"
              "  \"noBouncing\": false,\n  \"version\": 2\n}");
    EXPECT_EQ(decodeInitialDockSettings(text), s);
    EXPECT_FALSE(decodeInitialDockSettings(""));
    EXPECT_FALSE(decodeInitialDockSettings("{}"));
    EXPECT_FALSE(decodeInitialDockSettings("{\"autoHideEnabled\": 1}"));
    // A value of an unexpected kind counts as not saved; the rest is read.
    const auto odd = decodeInitialDockSettings("{\"autoHideEnabled\": true, \"noBouncing\": [1]}");
    InitialDockSettings earlierOdd;
    earlierOdd.autoHideEnabled = true;
    earlierOdd.version = 1;
    EXPECT_EQ(odd, earlierOdd);
}

}  // namespace
}  // namespace qv
