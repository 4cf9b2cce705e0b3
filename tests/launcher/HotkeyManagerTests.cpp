#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dispatch/ManualRuntime.h"
#include "launcher/HotkeyManager.h"
#include "platform/Event.h"
#include "sim/SimCarbon.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"

namespace qv {
namespace {

constexpr uint16_t kSpace = 49;

class HotkeyManagerTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    int32_t other = sim.launchApp(std::string("com.example.other"), "Other");
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<HotkeyManager> hotkeys;
    int presses = 0;

    std::string settingsFile() {
        return sim.fileSystem().applicationSupportDirectory() + "/quillVorn/settings.json";
    }
    void open() {
        settings = UserSettings::create(sim.platform());
        hotkeys = HotkeyManager::create(sim.platform(), *settings);
        hotkeys->onHotkeyPressed = [this] { ++presses; };
    }
    std::vector<SimCarbon::HotKey> ours() { return sim.carbon().ourHotKeys(); }
};

TEST_F(HotkeyManagerTest, ARecordedShortcutIsStoredRegisteredAndFires) {
    open();
    EXPECT_FALSE(hotkeys->currentShortcut());
    EXPECT_TRUE(ours().empty());
    EXPECT_EQ(sim.carbon().installedHandlerCount(), 1u);

    // Only the lock or fn held: nothing changes.
    hotkeys->recordShortcut(kSpace, modifierflags::kCapsLock | modifierflags::kFunction);
    EXPECT_FALSE(hotkeys->currentShortcut());

    // Control-Space: the key code, then the modifiers, are stored, and one hot key is registered.
    std::vector<UserSettingsData> published;
    auto sub = settings->data.subscribeToChanges([&](const UserSettingsData& d) { published.push_back(d); });
    hotkeys->recordShortcut(kSpace, modifierflags::kControl);
    EXPECT_EQ(hotkeys->currentShortcut(), (KeyboardShortcut{49, 4096}));
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].hotkeyKeyCode, 49u);
    EXPECT_EQ(published[0].hotkeyModifiers, std::nullopt);
    EXPECT_EQ(published[1].hotkeyModifiers, 4096u);
    ASSERT_EQ(ours().size(), 1u);
    EXPECT_EQ(ours()[0].id, HotkeyManager::kHotkeyID);
    EXPECT_EQ(ours()[0].id.signature, fourCharCode("QVRN"));

    // Two quick presses call back twice, in order, on the main queue; no application sees them.
    sim.activateApp(other);
    sim.keyDown(kSpace, " ", modifierflags::kControl);
    sim.keyDown(kSpace, " ", modifierflags::kControl);
    EXPECT_EQ(presses, 0);
    rt.runUntilIdle();
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(sim.callsNamed("keyDown.deliveredTo").empty());

    // A hot-key event whose id cannot be read is not ours.
    sim.carbon().setHotKeyIDUnreadable(true);
    sim.keyDown(kSpace, " ", modifierflags::kControl);
    rt.runUntilIdle();
    EXPECT_EQ(presses, 2);
    sim.carbon().setHotKeyIDUnreadable(false);

    // Clearing stores none and leaves no hot key.
    hotkeys->setCurrentShortcut(std::nullopt);
    EXPECT_TRUE(ours().empty());
    EXPECT_EQ(settings->data->hotkeyKeyCode, std::nullopt);
    EXPECT_EQ(settings->data->hotkeyModifiers, std::nullopt);

    // The manager gone, its hot key and handler go with it.
    hotkeys->recordShortcut(kSpace, modifierflags::kControl);
    hotkeys.reset();
    EXPECT_TRUE(ours().empty());
    EXPECT_EQ(sim.carbon().installedHandlerCount(), 0u);
}

TEST_F(HotkeyManagerTest, AShortcutHeldElsewhereStaysStoredAndOnlyOneRegistrationIsEverLive) {
    sim.carbon().holdHotKey(other, kSpace, 2048);
    open();
    hotkeys->recordShortcut(kSpace, modifierflags::kControl);
    hotkeys->recordShortcut(kSpace, modifierflags::kOption);
    EXPECT_EQ(hotkeys->currentShortcut(), (KeyboardShortcut{49, 2048}));
    EXPECT_EQ(settings->data->hotkeyModifiers, 2048u);
    EXPECT_TRUE(ours().empty());  // refused, silently; Control-Space went first
    EXPECT_EQ(sim.callsNamed("UnregisterEventHotKey").size(), 1u);

    // Option-Space goes to the application that holds it.
    sim.keyDown(kSpace, " ", modifierflags::kOption);
    rt.runUntilIdle();
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(sim.callsNamed("hotKey.deliveredTo").size(), 1u);

    hotkeys->recordShortcut(kSpace, modifierflags::kCommand | modifierflags::kShift);
    ASSERT_EQ(ours().size(), 1u);
    EXPECT_EQ(ours()[0].modifiers, 768u);
}

TEST_F(HotkeyManagerTest, AStoredPairLoadsOnlyWithBothHalvesAndCommandOptionOrControl) {
    std::filesystem::create_directories(std::filesystem::path(settingsFile()).parent_path());
    // One half missing, or Shift alone, which would take a capital letter from every application.
    for (const char* stored :
         {R"({"hotkeyKeyCode": 49})", R"({"hotkeyKeyCode": 0, "hotkeyModifiers": 512})"}) {
        std::ofstream(settingsFile()) << stored;
        open();
        EXPECT_FALSE(hotkeys->currentShortcut());
        EXPECT_TRUE(ours().empty());
        rt.advance(5);
        std::ifstream in(settingsFile());
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(text.str(), stored);
    }

    std::ofstream(settingsFile()) << R"({"hotkeyKeyCode": 49, "hotkeyModifiers": 4096})";
    open();
    EXPECT_EQ(hotkeys->currentShortcut(), (KeyboardShortcut{49, 4096}));
    EXPECT_EQ(ours().size(), 1u);
}

}  // namespace
}  // namespace qv
