#pragma once

// The JSON coding of a keyboard shortcut, for those that read or write shortcuts as JSON.

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "model/KeyboardShortcut.h"

namespace qv {

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
