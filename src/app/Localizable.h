#pragma once

#include <string>
#include <string_view>

namespace qv {

// The text shown for a localizable key: its entry in the application's English table, else the key
// itself.
std::string localized(std::string_view key);

}  // namespace qv
