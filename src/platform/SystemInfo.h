#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Facts about the running system and this process.
class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // NSProcessInfo operatingSystemVersion.majorVersion
    virtual int operatingSystemMajorVersion() = 0;
    virtual std::optional<std::string> environmentVariable(std::string_view name) = 0;
    virtual int32_t currentProcessID() = 0;

    // Locale.current.identifier ("en_US"): the locale that searching and sorting texts follow.
    virtual std::string currentLocaleIdentifier() = 0;
};

}  // namespace qv
