#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Value.h"

namespace qv {

// One screen as AppKit describes it (NSScreen). Frames are in AppKit's global space: origin at the
// bottom-left corner of the primary screen, y up. Two Screen values are the same screen when they
// are the same object, which `instance` identifies.
struct Screen {
    uint64_t instance = 0;
    Rect frame;
    Rect visibleFrame;
    Value deviceDescription;  // "NSScreenNumber": the display id as a number
    std::string localizedName;
    double backingScaleFactor = 2.0;

    friend bool operator==(const Screen& a, const Screen& b) { return a.instance == b.instance; }
};

// The displays: CoreGraphics' display list and AppKit's screen list.
class Displays {
  public:
    virtual ~Displays() = default;
    // NSScreen.screens: the primary screen first.
    virtual std::vector<Screen> screens() = 0;
    // CGMainDisplayID
    virtual uint32_t mainDisplayID() = 0;
    // CGGetActiveDisplayList: at most `maxDisplays` ids; the error code, 0 on success.
    virtual int32_t getActiveDisplayList(uint32_t maxDisplays, std::vector<uint32_t>& displays) = 0;
    // CGDisplayCreateUUIDFromDisplayID followed by CFUUIDCreateString.
    virtual std::optional<std::string> displayUUIDString(uint32_t displayID) = 0;
    // CGDisplayIsMain
    virtual bool displayIsMain(uint32_t displayID) = 0;

    // --- The pointer's display, and Spaces per display ---
    // CGGetDisplaysWithPoint: the displays, at most `maxDisplays`, whose bounds hold a point of the
    // window server's space (origin at the primary display's top-left corner, y down); the error
    // code, 0 on success. A point outside every display gives no display and success.
    virtual int32_t getDisplaysWithPoint(Point point, uint32_t maxDisplays,
                                         std::vector<uint32_t>& displays) = 0;
    // NSScreen.screensHaveSeparateSpaces: the "Displays have separate Spaces" setting.
    virtual bool screensHaveSeparateSpaces() = 0;
};

}  // namespace qv
