#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace qv {

// The displays, their Spaces (desktops) and the Spaces of windows, read from the window server's
// private calls and the screen list. Holds no state but what it learns once at construction:
// whether child windows are filtered (operating system 27 and later) and which entry points the
// run-time lookup found.
class SpaceWindows {
  public:
    static constexpr int64_t kFullScreenSpaceType = 4;

    struct SpaceInfo {
        int64_t displayIndex = 0;
        std::string displayIdentifier;
        int64_t spaceIndex = 0;
        uint64_t spaceID = 0;
        int64_t spaceType = 0;

        bool isFullScreen() const { return spaceType == kFullScreenSpaceType; }
        friend bool operator==(const SpaceInfo&, const SpaceInfo&) = default;
    };

    struct DisplayActiveSpace {
        uint64_t spaceID = 0;
        friend bool operator==(const DisplayActiveSpace&, const DisplayActiveSpace&) = default;
    };

    explicit SpaceWindows(Platform& platform);

    bool filtersChildWindows() const { return filtersChildWindows_; }
    bool hasWindowQueryFunctions() const { return hasWindowQueryFunctions_; }
    bool hasSetConnectionProperty() const { return hasSetConnectionProperty_; }

    std::vector<SpaceInfo> getSpaces(uint32_t connectionID) const;
    std::vector<uint64_t> getActiveSpaceIDs(uint32_t connectionID) const;
    std::optional<DisplayActiveSpace> activeSpace(const Screen& screen, uint32_t connectionID) const;
    std::set<uint64_t> spaceIDs(uint32_t windowID, uint32_t connectionID) const;
    // Child window id to parent window id; empty below operating system 27.
    std::map<uint32_t, uint32_t> parentWindowIDs(const std::vector<uint32_t>& windowIDs,
                                                 uint32_t connectionID) const;
    // Puts a window on exactly one Space.
    void moveWindowExclusively(uint32_t windowID, uint64_t spaceID) const;
    void setBottomEdgeReservation(uint64_t spaceID, double height) const;

    std::optional<Screen> screen(std::string_view matchingDisplayIdentifier,
                                 const std::vector<Screen>& screens) const;
    std::optional<size_t> screenIndex(const SpaceInfo& space, const std::vector<Screen>& screens) const;
    std::optional<size_t> screenIndex(std::string_view matchingDisplayIdentifier,
                                      const std::vector<Screen>& screens) const;
    static std::optional<uint32_t> displayID(const Screen& screen);
    // 1-based, the main display first.
    std::optional<int> displayNumber(std::string_view forIdentifier) const;
    double primaryScreenMaxY(const std::vector<Screen>& screens) const;

    // Decisions over the loosely typed answers, reachable on their own.
    static std::string normalizedDisplayIdentifier(std::string_view identifier);
    static std::string displayIdentifier(const Value& value, int64_t fallbackIndex);
    static std::optional<uint64_t> spaceID(const Value& value);
    static std::optional<uint64_t> extractSpaceID(const Value& spaceDictionary);

  private:
    static std::optional<uint64_t> currentSpaceOfEntry(const Value::Dictionary& display);

    Platform& platform_;
    bool filtersChildWindows_;
    bool hasWindowQueryFunctions_;
    bool hasSetConnectionProperty_;
};

}  // namespace qv
