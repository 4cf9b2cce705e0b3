#pragma once

#include <cstdint>
#include <string>

namespace qv {

// Where an app is pinned, as a bit set: the bar, the launcher's list, or both.
struct PinDestination {
    int64_t rawValue = 0;

    static constexpr PinDestination bar() { return {1}; }
    static constexpr PinDestination appMenu() { return {2}; }

    // True when every bit of `other` is set here.
    constexpr bool contains(PinDestination other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr bool isEmpty() const { return rawValue == 0; }

    friend constexpr PinDestination operator|(PinDestination a, PinDestination b) {
        return {a.rawValue | b.rawValue};
    }
    friend bool operator==(const PinDestination&, const PinDestination&) = default;
};

// One pinned application, identified by its bundle identifier.
struct PinnedAppRecord {
    std::string id;
    int64_t destinationsRaw = 0;  // never 0 in a stored record

    PinDestination destinations() const { return {destinationsRaw}; }

    friend bool operator==(const PinnedAppRecord&, const PinnedAppRecord&) = default;
};

}  // namespace qv
