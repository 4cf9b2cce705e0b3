#include <gtest/gtest.h>

#include "settings/KeyboardSnapShortcutView.h"
#include "settings/WindowSwitcherShortcutView.h"
#include "support/KeyboardDesktop.h"

namespace qv {
namespace {

using namespace modifierflags;

TEST(SwitcherShortcutRuleTest, ShiftFirstThenAModifierThenTheLauncherShortcut) {
    const KeyboardShortcut launcher{49, carbon::kControl};
    // Shift is refused even with Option held.
    EXPECT_EQ(switcherShortcutRejection({48, carbon::kShift | carbon::kOption}, launcher),
              "Shift is reserved for moving backwards.");
    EXPECT_EQ(switcherShortcutRejection({0, carbon::kShift}, launcher),
              "Shift is reserved for moving backwards.");
    EXPECT_EQ(switcherShortcutRejection({0, 0}, launcher), "Use Option, Command or Control.");
    EXPECT_EQ(switcherShortcutRejection({49, carbon::kControl}, launcher),
              "Already used by the app launcher.");
    EXPECT_FALSE(switcherShortcutRejection({49, carbon::kOption}, launcher));
    EXPECT_FALSE(switcherShortcutRejection({48, carbon::kCommand}, std::nullopt));
}

TEST(SnapModifierBitsTest, FnIsItsOwnBitAndOtherFlagsAddNothing) {
    EXPECT_EQ(snapModifierBits(kFunction | kControl), 135168u);
    EXPECT_EQ(snapModifierBits(kCommand | kShift | kOption), 256u + 512u + 2048u);
    EXPECT_EQ(snapModifierBits(kCapsLock | kNumericPad | kHelp), 0u);
}

class ShortcutRowTest : public testing::KeyboardDesktop {
  protected:
    std::shared_ptr<UserSettings> settings = UserSettings::create(sim.platform());
    std::shared_ptr<HotkeyManager> hotkey = HotkeyManager::create(sim.platform(), *settings);
};

TEST_F(ShortcutRowTest, TheSwitcherRowStoresOptionTabAsNothingAndKeepsTheShortcutOnARefusal) {
    WindowSwitcherShortcutView row(sim.platform(), *settings, *hotkey);
    settings->setWindowSwitcherShortcut({48, carbon::kControl});
    row.toggleRecording();
    key(48, kOption);
    EXPECT_FALSE(settings->data->windowSwitcherKeyCode);
    EXPECT_FALSE(settings->data->windowSwitcherModifiers);

    row.toggleRecording();
    EXPECT_EQ(row.subtitle(), "Press a key with Option, Command or Control. Press Esc to cancel.");
    key(48, kOption | kShift);
    EXPECT_EQ(row.subtitle(), "Shift is reserved for moving backwards. Kept \u2325\u21E5.");
    // A new recording clears the refusal at once.
    row.toggleRecording();
    EXPECT_FALSE(row.rejection());
    key(48, kCommand);
    EXPECT_EQ(settings->windowSwitcherShortcut(), (KeyboardShortcut{48, carbon::kCommand}));
}

TEST_F(ShortcutRowTest, TheSnapKeysRowTakesTheChordOnReleaseAndEveryEndLeavesNothingHeld) {
    KeyboardSnapShortcutView row(sim.platform(), *settings, *hotkey);
    EXPECT_EQ(row.fieldText(), "Not Set");
    EXPECT_EQ(row.subtitle(), "Record the modifier keys to hold, such as fn and Control.");
    row.toggleRecording();
    flags(kFunction);
    flags(kFunction | kControl);
    EXPECT_EQ(row.fieldText(), "fn\u2303");
    flags(kFunction);
    flags(0);
    EXPECT_EQ(settings->data->keyboardSnapModifiers, 135168u);
    EXPECT_EQ(row.held(), 0u);
    EXPECT_TRUE(row.subtitle().starts_with("Hold fn\u2303 and press")) << row.subtitle();

    // Escape while fn is held: nothing stored, nothing held, and the field shows the stored keys.
    row.toggleRecording();
    flags(kOption | kCommand);
    key(53, kOption | kCommand);
    EXPECT_FALSE(*row.recorder()->isRecording);
    EXPECT_EQ(row.held(), 0u);
    EXPECT_EQ(row.fieldText(), "fn\u2303");

    // Control alone is refused; the stored keys stay and are named.
    row.toggleRecording();
    flags(kControl);
    key(0, kControl);
    flags(0);
    EXPECT_EQ(settings->data->keyboardSnapModifiers, 135168u);
    EXPECT_EQ(row.subtitle(), "Use at least two modifier keys. Kept fn\u2303.");
}

}  // namespace
}  // namespace qv
