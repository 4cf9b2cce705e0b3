#include "launcher/KeyNames.h"

#include <array>
#include <map>
#include <utility>

#include "platform/Event.h"
#include "platform/TextServices.h"

namespace qv {

namespace {

const std::map<uint32_t, std::string>& keyNames() {
    static const std::map<uint32_t, std::string> names = {
        // Letters
        {0, "A"},
        {11, "B"},
        {8, "C"},
        {2, "D"},
        {14, "E"},
        {3, "F"},
        {5, "G"},
        {4, "H"},
        {34, "I"},
        {38, "J"},
        {40, "K"},
        {37, "L"},
        {46, "M"},
        {45, "N"},
        {31, "O"},
        {35, "P"},
        {12, "Q"},
        {15, "R"},
        {1, "S"},
        {17, "T"},
        {32, "U"},
        {9, "V"},
        {13, "W"},
        {7, "X"},
        {16, "Y"},
        {6, "Z"},
        // Digits of the main row
        {29, "0"},
        {18, "1"},
        {19, "2"},
        {20, "3"},
        {21, "4"},
        {23, "5"},
        {22, "6"},
        {26, "7"},
        {28, "8"},
        {25, "9"},
        // Named keys and arrows
        {49, "Space"},
        {36, "↩"},
        {48, "⇥"},
        {53, "⎋"},
        {51, "⌫"},
        {123, "←"},
        {124, "→"},
        {126, "↑"},
        {125, "↓"},
        // Function keys
        {122, "F1"},
        {120, "F2"},
        {99, "F3"},
        {118, "F4"},
        {96, "F5"},
        {97, "F6"},
        {98, "F7"},
        {100, "F8"},
        {101, "F9"},
        {109, "F10"},
        {103, "F11"},
        {111, "F12"},
    };
    return names;
}

constexpr std::array<std::pair<uint32_t, const char*>, 5> kModifierSymbols = {{
    {carbon::kFunction, "fn"},
    {carbon::kControl, "⌃"},
    {carbon::kOption, "⌥"},
    {carbon::kShift, "⇧"},
    {carbon::kCommand, "⌘"},
}};

}  // namespace

std::optional<std::string> fixedKeyName(uint32_t keyCode) {
    auto it = keyNames().find(keyCode);
    if (it == keyNames().end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> keyCodeToString(uint32_t keyCode, Carbon& carbon) {
    if (auto name = fixedKeyName(keyCode)) return name;
    return layoutCharacter(keyCode, carbon);
}

std::optional<std::string> layoutCharacter(uint32_t keyCode, Carbon& carbon) {
    InputSourceRef source = carbon.copyCurrentKeyboardLayoutInputSource();
    if (!source) return std::nullopt;
    KeyLayoutRef layout = carbon.unicodeKeyLayoutData(*source);
    if (!layout) return std::nullopt;
    if (keyCode > 65535) return std::nullopt;  // the layout takes 16-bit key codes
    uint32_t deadKeyState = 0;                 // one call: no dead key carries over
    std::u16string units;
    OSStatus status = carbon.keyTranslate(*layout, static_cast<uint16_t>(keyCode), kUCKeyActionDisplay, 0,
                                          carbon.keyboardType(), 0, deadKeyState, 4, units);
    if (status != kNoErr || units.empty()) return std::nullopt;
    std::string text = TextServices::trimmingWhitespaceAndNewlines(TextServices::fromUTF16(units));
    if (text.empty()) return std::nullopt;
    return TextServices::uppercased(text);
}

std::string modifierSymbols(uint32_t modifiers) {
    std::string out;
    for (const auto& [bit, symbol] : kModifierSymbols) {
        if (modifiers & bit) out += symbol;
    }
    return out;
}

uint32_t carbonModifiers(uint64_t modifierFlags) {
    uint32_t bits = 0;
    if (modifierFlags & modifierflags::kControl) bits |= carbon::kControl;
    if (modifierFlags & modifierflags::kOption) bits |= carbon::kOption;
    if (modifierFlags & modifierflags::kShift) bits |= carbon::kShift;
    if (modifierFlags & modifierflags::kCommand) bits |= carbon::kCommand;
    return bits;
}

std::string shortcutDisplayText(const std::optional<KeyboardShortcut>& shortcut, Carbon& carbon) {
    if (!shortcut) return "Not Set";
    return modifierSymbols(shortcut->modifiers) + keyCodeToString(shortcut->keyCode, carbon).value_or("?");
}

}  // namespace qv
