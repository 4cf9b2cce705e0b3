#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/KeyboardShortcut.h"
#include "platform/Carbon.h"

namespace qv {

// The fixed display name of one of the 57 keys at the US ANSI positions ("A", "Space", "↩", "F5",
// the arrows ...); none for any other key.
std::optional<std::string> fixedKeyName(uint32_t keyCode);

// The display name of a key: its fixed name when it has one, so that letters and digits keep their
// US names in every layout, else the character it gives in the current keyboard layout.
std::optional<std::string> keyCodeToString(uint32_t keyCode, Carbon& carbon);

// The character a key gives in the current keyboard layout with no modifier held, upper-cased;
// none when there is no layout, the key gives nothing or only white space.
std::optional<std::string> layoutCharacter(uint32_t keyCode, Carbon& carbon);

// The symbols of the set modifier bits in the order fn ⌃ ⌥ ⇧ ⌘, with no separator; other bits
// are ignored.
std::string modifierSymbols(uint32_t modifiers);

// The Carbon bits of AppKit modifier flags: control, option, shift and command only, never fn.
uint32_t carbonModifiers(uint64_t modifierFlags);

// How a shortcut is shown: its modifier symbols followed by its key's name ("?" when the key has
// none), or "Not Set".
std::string shortcutDisplayText(const std::optional<KeyboardShortcut>& shortcut, Carbon& carbon);

}  // namespace qv
