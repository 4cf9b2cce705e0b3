#pragma once

#include "platform/WindowServer.h"

namespace qv {

class SimDesktop;

class SimWindowServer : public WindowServer {
  public:
    explicit SimWindowServer(SimDesktop& sim) : sim_(sim) {}

    std::optional<Value> copyWindowList(uint32_t options, uint32_t relativeToWindow) override;
    std::optional<Value> createDescriptionFromArray(const Value& windowIDs) override;
    uint32_t mainConnectionID() override;
    std::optional<Value> copyManagedDisplaySpaces(uint32_t connection) override;
    uint64_t getActiveSpace(uint32_t connection) override;
    std::optional<Value> copySpacesForWindows(uint32_t connection, int32_t mask,
                                              const Value& windowIDs) override;
    int32_t addWindowsToSpaces(uint32_t connection, const Value& windowIDs, const Value& spaceIDs) override;
    int32_t removeWindowsFromSpaces(uint32_t connection, const Value& windowIDs,
                                    const Value& spaceIDs) override;
    int32_t spaceSetEdgeReservation(uint32_t connection, uint64_t spaceID, int32_t edge, double a, double b,
                                    double c, double height) override;
    std::optional<Value> copyWindowsWithOptionsAndTags(uint32_t connection, uint32_t owner,
                                                       const Value& spaceIDs, uint32_t options,
                                                       uint64_t* setTags, uint64_t* clearTags) override;
    bool hasEntryPoint(std::string_view name) override;
    std::shared_ptr<WindowQuery> windowQueryWindows(uint32_t connection, const Value& windowIDs,
                                                    uint32_t count) override;
    std::shared_ptr<WindowIterator> windowQueryResultCopyWindows(WindowQuery& query) override;
    bool windowIteratorAdvance(WindowIterator& iterator) override;
    uint32_t windowIteratorGetWindowID(WindowIterator& iterator) override;
    uint32_t windowIteratorGetParentID(WindowIterator& iterator) override;
    int32_t setConnectionProperty(uint32_t connection, uint32_t targetConnection, const std::string& property,
                                  const Value& value) override;

    int32_t findWindowAndOwner(uint32_t connection, int32_t filter, int32_t options, int32_t reserved,
                               Point location, Point& windowPoint, uint32_t& windowID,
                               uint32_t& ownerConnection) override;
    int32_t setDockRectWithOrientation(uint32_t connection, int32_t first, int32_t second, double x, double y,
                                       double width, double height) override;

    // The desktop shortcuts' table: SimDesktopNavigation.cpp.
    int32_t getSymbolicHotKeyValue(int32_t hotKey, uint16_t* keyEquivalent, uint16_t* keyCode,
                                   uint32_t* modifiers) override;
    bool isSymbolicHotKeyEnabled(int32_t hotKey) override;
    int32_t setSymbolicHotKeyEnabled(int32_t hotKey, bool enabled) override;

    // The window-list entry of one window, with the platform's keys.
    Value describe(uint32_t windowID) const;

  private:
    SimDesktop& sim_;
};

}  // namespace qv
