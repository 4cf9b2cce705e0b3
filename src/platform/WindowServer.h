#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/Value.h"

namespace qv {

// Options of the window-list query.
namespace windowlist {
inline constexpr uint32_t kOptionAll = 0;
inline constexpr uint32_t kOptionOnScreenOnly = 1;
inline constexpr uint32_t kOptionOnScreenAboveWindow = 2;
inline constexpr uint32_t kOptionOnScreenBelowWindow = 4;
inline constexpr uint32_t kOptionIncludingWindow = 8;
inline constexpr uint32_t kOptionExcludeDesktopElements = 16;
}  // namespace windowlist

// Opaque results of the window-query entry points.
class WindowQuery {
  public:
    virtual ~WindowQuery() = default;
};
class WindowIterator {
  public:
    virtual ~WindowIterator() = default;
};

// The window server: the public window list and the private SkyLight/CGS calls. Methods mirror
// the platform calls one to one; "no result" is an empty optional. Arrays of ids are passed as
// arrays of number objects, as the platform takes them.
class WindowServer {
  public:
    virtual ~WindowServer() = default;

    // CGWindowListCopyWindowInfo
    virtual std::optional<Value> copyWindowList(uint32_t options, uint32_t relativeToWindow) = 0;
    // CGWindowListCreateDescriptionFromArray
    virtual std::optional<Value> createDescriptionFromArray(const Value& windowIDs) = 0;

    // SLSMainConnectionID
    virtual uint32_t mainConnectionID() = 0;
    // SLSCopyManagedDisplaySpaces
    virtual std::optional<Value> copyManagedDisplaySpaces(uint32_t connection) = 0;
    // CGSGetActiveSpace
    virtual uint64_t getActiveSpace(uint32_t connection) = 0;
    // CGSCopySpacesForWindows
    virtual std::optional<Value> copySpacesForWindows(uint32_t connection, int32_t mask,
                                                      const Value& windowIDs) = 0;
    // CGSAddWindowsToSpaces / CGSRemoveWindowsFromSpaces; the status, 0 on success.
    virtual int32_t addWindowsToSpaces(uint32_t connection, const Value& windowIDs,
                                       const Value& spaceIDs) = 0;
    virtual int32_t removeWindowsFromSpaces(uint32_t connection, const Value& windowIDs,
                                            const Value& spaceIDs) = 0;
    // SLSSpaceSetEdgeReservation
    virtual int32_t spaceSetEdgeReservation(uint32_t connection, uint64_t spaceID, int32_t edge, double a,
                                            double b, double c, double height) = 0;
    // SLSCopyWindowsWithOptionsAndTags; the two tag words are passed by address.
    virtual std::optional<Value> copyWindowsWithOptionsAndTags(uint32_t connection, uint32_t owner,
                                                               const Value& spaceIDs, uint32_t options,
                                                               uint64_t* setTags, uint64_t* clearTags) = 0;

    // Entry points looked up by name at run time ("SLSWindowQueryWindows", "SLSSetConnectionProperty",
    // ...): callers ask first and switch their feature off when a name is missing.
    virtual bool hasEntryPoint(std::string_view name) = 0;

    // "SLSWindowQueryWindows" and its companions; only valid when the names are present.
    virtual std::shared_ptr<WindowQuery> windowQueryWindows(uint32_t connection, const Value& windowIDs,
                                                            uint32_t count) = 0;
    virtual std::shared_ptr<WindowIterator> windowQueryResultCopyWindows(WindowQuery& query) = 0;
    virtual bool windowIteratorAdvance(WindowIterator& iterator) = 0;
    virtual uint32_t windowIteratorGetWindowID(WindowIterator& iterator) = 0;
    virtual uint32_t windowIteratorGetParentID(WindowIterator& iterator) = 0;
    // "SLSSetConnectionProperty"
    virtual int32_t setConnectionProperty(uint32_t connection, uint32_t targetConnection,
                                          const std::string& property, const Value& value) = 0;
    // "SLSFindWindowAndOwner": the topmost window under a point (window-server space), with the
    // point in that window and its owner's connection; window 0 when there is none. The status, 0
    // on success.
    virtual int32_t findWindowAndOwner(uint32_t connection, int32_t filter, int32_t options, int32_t reserved,
                                       Point location, Point& windowPoint, uint32_t& windowID,
                                       uint32_t& ownerConnection) = 0;

    // SLSSetDockRectWithOrientation: the strip along a display's bottom edge that the Dock, or
    // what stands in for it, occupies; other windows keep clear of it. The rectangle is in the
    // window server's space; the two integers are passed through as given. The status, 0 on
    // success.
    virtual int32_t setDockRectWithOrientation(uint32_t connection, int32_t first, int32_t second, double x,
                                               double y, double width, double height) = 0;

    // The system's own keyboard shortcuts by id (switching to desktop N is 117 + N).
    // CGSGetSymbolicHotKeyValue: the shortcut's character (may be left out), key code and modifier
    // flags; the outputs are written only on success. The status, 0 on success.
    virtual int32_t getSymbolicHotKeyValue(int32_t hotKey, uint16_t* keyEquivalent, uint16_t* keyCode,
                                           uint32_t* modifiers) = 0;
    // CGSIsSymbolicHotKeyEnabled
    virtual bool isSymbolicHotKeyEnabled(int32_t hotKey) = 0;
    // CGSSetSymbolicHotKeyEnabled: switched on or off in the system, for every process. The status.
    virtual int32_t setSymbolicHotKeyEnabled(int32_t hotKey, bool enabled) = 0;
};

}  // namespace qv
