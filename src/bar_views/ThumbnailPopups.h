#pragma once

// What a bar hands to the thumbnail pop-ups over its chips, and what it asks of them. Only value
// records here besides the interface, so that the pop-ups and the bar's menus can include it.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "model/ChipData.h"
#include "model/GroupedChipData.h"
#include "platform/Geometry.h"

namespace qv {

// What the pointer rests on for thumbnails: a window chip or an app group chip, with the chip's
// frame in the bar window's content space, the frame of the window the pointer event was for (none
// without one) and the pointer on screen.
struct HoverTarget {
    std::variant<ChipData, GroupedChipData> item;
    Rect chipFrame;
    std::optional<Rect> sourceWindowFrame;
    Point hoverPoint;

    static HoverTarget single(ChipData chip, Rect chipFrame, std::optional<Rect> sourceWindowFrame,
                              Point hoverPoint) {
        return {std::move(chip), chipFrame, sourceWindowFrame, hoverPoint};
    }
    static HoverTarget group(GroupedChipData group, Rect chipFrame, std::optional<Rect> sourceWindowFrame,
                             Point hoverPoint) {
        return {std::move(group), chipFrame, sourceWindowFrame, hoverPoint};
    }

    const ChipData* chip() const { return std::get_if<ChipData>(&item); }
    const GroupedChipData* groupData() const { return std::get_if<GroupedChipData>(&item); }
    // The id of the chip: "s-" and the window id, or the group's id.
    std::string id() const {
        if (const ChipData* c = chip()) return "s-" + std::to_string(c->id);
        return std::get<GroupedChipData>(item).id;
    }
};

// The hover and pop-up state of one bar: its timers, its pop-up panel and what the pointer rests
// on. The bar reports every chip hover here and asks for the pop-up to close before any chip
// action; the bar's menus ask the last two.
class ThumbnailPopups {
  public:
    virtual ~ThumbnailPopups() = default;
    virtual void handleChipHover(bool isHovering, const HoverTarget& target) = 0;
    // Cancels the pending show and dismissal and closes an open pop-up at once.
    virtual void dismissThumbnailPopupImmediate() = 0;
    // A context menu is about to open: no thumbnail for the rest of the current hover.
    virtual void suppressPendingThumbnailForContextMenuIfNeeded() = 0;
    // Whether the window with this number is the open pop-up.
    virtual bool isThumbnailPopupWindow(uint32_t windowNumber) const = 0;
    virtual bool hasThumbnailPopup() const = 0;
};

// The state while no thumbnail pop-ups exist: nothing to show, nothing to close.
class NoThumbnailPopups : public ThumbnailPopups {
  public:
    void handleChipHover(bool, const HoverTarget&) override {}
    void dismissThumbnailPopupImmediate() override {}
    void suppressPendingThumbnailForContextMenuIfNeeded() override {}
    bool isThumbnailPopupWindow(uint32_t) const override { return false; }
    bool hasThumbnailPopup() const override { return false; }
};

}  // namespace qv
