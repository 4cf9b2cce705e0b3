#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "launcher/KeyNames.h"
#include "model/KeyboardShortcutJson.h"
#include "platform/Event.h"
#include "sim/SimCarbon.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

class KeyNamesTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    Carbon& carbon = sim.platform().carbon;
    SimCarbon& layout = sim.carbon();
};

TEST_F(KeyNamesTest, FixedKeysKeepTheirNamesAndOthersComeFromTheLayout) {
    EXPECT_EQ(keyCodeToString(49, carbon), "Space");
    EXPECT_EQ(keyCodeToString(36, carbon), "↩");
    EXPECT_EQ(keyCodeToString(53, carbon), "⎋");
    EXPECT_EQ(keyCodeToString(123, carbon), "←");
    EXPECT_EQ(keyCodeToString(126, carbon), "↑");
    EXPECT_EQ(keyCodeToString(122, carbon), "F1");
    EXPECT_EQ(keyCodeToString(111, carbon), "F12");
    EXPECT_EQ(keyCodeToString(50, carbon), "`");
    EXPECT_EQ(keyCodeToString(41, carbon), ";");

    // Another layout: letters keep their US names, other keys take the layout's characters,
    // upper-cased by full case mapping.
    layout.setKeyCharacters(0, u"q");
    layout.setKeyCharacters(50, u"\u00DF");  // ß
    layout.setKeyCharacters(41, u"\u00F6");  // ö
    EXPECT_EQ(keyCodeToString(0, carbon), "A");
    EXPECT_EQ(keyCodeToString(50, carbon), "SS");
    EXPECT_EQ(keyCodeToString(41, carbon), "\u00D6");
    // At most four code units are asked for; white space around them is trimmed.
    layout.setKeyCharacters(42, u" ab\t");
    EXPECT_EQ(layoutCharacter(42, carbon), "AB");
    layout.setKeyCharacters(43, u"abcdef");
    EXPECT_EQ(layoutCharacter(43, carbon), "ABCD");

    // No name: white space only, a failing translation, no layout, a code the layout cannot take.
    layout.setKeyCharacters(50, u" \n");
    EXPECT_EQ(keyCodeToString(50, carbon), std::nullopt);
    layout.setKeyTranslateStatus(41, -50);
    EXPECT_EQ(keyCodeToString(41, carbon), std::nullopt);
    EXPECT_EQ(layoutCharacter(70000, carbon), std::nullopt);
    layout.setKeyLayoutDataAbsent(true);
    EXPECT_EQ(layoutCharacter(44, carbon), std::nullopt);
    layout.setKeyLayoutDataAbsent(false);
    EXPECT_EQ(layoutCharacter(44, carbon), "/");
    layout.setKeyboardLayoutAbsent(true);
    EXPECT_EQ(layoutCharacter(44, carbon), std::nullopt);
    EXPECT_EQ(keyCodeToString(44, carbon), std::nullopt);
    EXPECT_EQ(shortcutDisplayText(KeyboardShortcut{44, carbon::kCommand}, carbon), "⌘?");
    EXPECT_EQ(shortcutDisplayText(std::nullopt, carbon), "Not Set");
}

TEST(KeyNamesRulesTest, ModifierSymbolsAndCarbonBits) {
    EXPECT_EQ(modifierSymbols(0), "");
    EXPECT_EQ(modifierSymbols(6400), "⌃⌥⌘");
    EXPECT_EQ(modifierSymbols(133120), "fn⌥");
    EXPECT_EQ(modifierSymbols(131072 | 4096 | 2048 | 512 | 256 | 1 | (1u << 30)), "fn⌃⌥⇧⌘");

    using namespace modifierflags;
    EXPECT_EQ(carbonModifiers(kControl | kShift), 4608u);
    EXPECT_EQ(carbonModifiers(kCommand), 256u);
    EXPECT_EQ(carbonModifiers(kCapsLock), 0u);
    EXPECT_EQ(carbonModifiers(kFunction | kNumericPad | kHelp), 0u);

    EXPECT_EQ(nlohmann::json::parse(R"({"keyCode": 49, "modifiers": 2048})").get<KeyboardShortcut>(),
              (KeyboardShortcut{49, 2048}));
    EXPECT_ANY_THROW(nlohmann::json::parse(R"({"keyCode": 49})").get<KeyboardShortcut>());
}

}  // namespace
}  // namespace qv
