#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

namespace qv {

// Carbon modifier bits, the layout in which every recorded shortcut is stored.
namespace carbon {
inline constexpr uint32_t kCommand = 256;
inline constexpr uint32_t kShift = 512;
inline constexpr uint32_t kOption = 2048;
inline constexpr uint32_t kControl = 4096;
inline constexpr uint32_t kFunction = 131072;  // used by the snap keys only
}  // namespace carbon

// One keyboard shortcut: a virtual key code and Carbon modifier bits.
struct KeyboardShortcut {
    uint32_t keyCode = 0;
    uint32_t modifiers = 0;

    friend bool operator==(const KeyboardShortcut&, const KeyboardShortcut&) = default;
};

// Whether a shortcut holds Command, Option or Control. Without one, a plain or shifted key would be
// taken from whatever the user types.
inline bool holdsCommandOptionOrControl(const KeyboardShortcut& shortcut) {
    return (shortcut.modifiers & (carbon::kCommand | carbon::kOption | carbon::kControl)) != 0;
}

// JSON form {"keyCode": n, "modifiers": n}. Both keys are required and must fit 32 unsigned bits;
// anything else fails with the decoder's own error.
inline void to_json(nlohmann::json& j, const KeyboardShortcut& s) {
    j = nlohmann::json{{"keyCode", s.keyCode}, {"modifiers", s.modifiers}};
}

inline void from_json(const nlohmann::json& j, KeyboardShortcut& s) {
    auto read = [&](const char* key) -> uint32_t {
        const nlohmann::json& v = j.at(key);
        if (!v.is_number_unsigned() && !(v.is_number_integer() && v.get<int64_t>() >= 0)) {
            throw nlohmann::json::type_error::create(
                302, std::string("\"") + key + "\" is not an unsigned integer", &v);
        }
        uint64_t n = v.get<uint64_t>();
        if (n > std::numeric_limits<uint32_t>::max()) {
            throw nlohmann::json::out_of_range::create(
                406, std::string("\"") + key + "\" does not fit 32 bits", &v);
        }
        return static_cast<uint32_t>(n);
    };
    s.keyCode = read("keyCode");
    s.modifiers = read("modifiers");
}

}  // namespace qv
