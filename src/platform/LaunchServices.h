#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Value.h"

namespace qv {

// An application serial number (LSASNRef): LaunchServices' handle for one running application.
struct LSASN {
    uint32_t high = 0;
    uint32_t low = 0;
    friend bool operator==(const LSASN&, const LSASN&) = default;
};

// The array of running applications; an element may be missing (a null entry).
using LSASNArray = std::vector<std::optional<LSASN>>;

// LaunchServices' private calls about running applications.
class LaunchServices {
  public:
    virtual ~LaunchServices() = default;
    // _LSCopyRunningApplicationArray; no result when the call gives no array.
    virtual std::optional<LSASNArray> copyRunningApplicationArray(uint32_t sessionID) = 0;
    // _LSCopyApplicationInformation; `keys` is an array of key strings, or absent for every key.
    // The answer is normally a dictionary; no result when the application is unknown.
    virtual std::optional<Value> copyApplicationInformation(uint32_t sessionID, const LSASN& asn,
                                                            const std::optional<Value>& keys) = 0;
};

}  // namespace qv
