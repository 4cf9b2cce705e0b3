#include <gtest/gtest.h>

#include "model/KeyboardShortcut.h"
#include "settings/StoredShortcuts.h"

namespace qv {
namespace {

constexpr uint32_t kControlOption = carbon::kControl | carbon::kOption;

UserSettingsData stored(std::optional<KeyboardShortcut> launcher, std::optional<uint32_t> snapKeys,
                        std::optional<KeyboardShortcut> switcher = std::nullopt) {
    UserSettingsData d;
    d.hotkeyKeyCode = launcher ? std::optional(launcher->keyCode) : std::nullopt;
    d.hotkeyModifiers = launcher ? std::optional(launcher->modifiers) : std::nullopt;
    d.windowSwitcherKeyCode = switcher ? std::optional(switcher->keyCode) : std::nullopt;
    d.windowSwitcherModifiers = switcher ? std::optional(switcher->modifiers) : std::nullopt;
    d.keyboardSnapModifiers = snapKeys;
    return d;
}

TEST(StoredShortcutsTest, EachIsHeldToItsRecordersRuleAgainstTheOnesBeforeIt) {
    const KeyboardShortcut optionTab{48, carbon::kOption};
    // The switcher keeps its key from the launcher, stored or by default.
    auto r = storedShortcutRefusals(stored(optionTab, std::nullopt, optionTab), true, true);
    EXPECT_FALSE(r.switcher);
    EXPECT_EQ(r.launcher, "Already used by the window switcher.");
    EXPECT_EQ(storedShortcutRefusals(stored(optionTab, std::nullopt), true, true).launcher,
              "Already used by the window switcher.");
    // A switcher shortcut its own rule refuses gives way to Option-Tab, which the launcher then
    // cannot have either.
    r = storedShortcutRefusals(stored(optionTab, std::nullopt, KeyboardShortcut{48, carbon::kShift}), true,
                               true);
    EXPECT_EQ(r.switcher, "Shift is reserved for moving backwards.");
    EXPECT_TRUE(r.launcher);
    // The launcher keeps its key from the snap keys; without a switcher Option-Tab is free.
    r = storedShortcutRefusals(stored(KeyboardShortcut{8, kControlOption}, kControlOption), true, true);
    EXPECT_FALSE(r.launcher);
    EXPECT_EQ(r.snapKeys, "⌃⌥C is used by the app launcher.");
    EXPECT_FALSE(storedShortcutRefusals(stored(optionTab, std::nullopt), false, true).launcher);
    // A launcher set aside claims nothing; snap keys of one modifier are refused alone.
    r = storedShortcutRefusals(stored(KeyboardShortcut{8, carbon::kShift}, kControlOption), true, true);
    EXPECT_TRUE(r.launcher);
    EXPECT_FALSE(r.snapKeys);
    EXPECT_EQ(storedShortcutRefusals(stored(std::nullopt, carbon::kOption), true, true).snapKeys,
              "Use at least two modifier keys.");
}

}  // namespace
}  // namespace qv
