#pragma once

// The rules of dragging chips into a new order, shared by the pinned row and the row of window and
// group chips. Ids are a row's chip ids in display order; frames are in the bar window's content
// space, as the drag gesture's values are.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "ui/Node.h"

namespace qv {

using ChipFrameMap = std::map<std::string, Rect>;

namespace reorder {

// Sets one entry of a row's frame map; false when it held that frame already, so that a report
// that moves nothing changes no state.
bool recordFrame(ChipFrameMap& frames, const std::string& id, const Rect& frame);

// Where the dragged chip would drop among the others: before the first other chip with a frame
// whose centre lies strictly right of the pointer, else after them all. The pointer is the
// dragged chip's centre moved by the translation, or the gesture's location when the chip has no
// frame. Frames come from the drag's start snapshot when there is one, else the live ones.
int insertionIndex(const std::string& draggedID, const DragValue& value, const std::vector<std::string>& visible,
                   const ChipFrameMap& startFrames, const ChipFrameMap& liveFrames);

// The row as it would be after the drop: the others in order, the dragged id at the index
// (limited to the row).
std::vector<std::string> previewOrder(const std::string& draggedID, int insertionIndex,
                                      const std::vector<std::string>& visible);

// The window or group chip the dragged one goes before; none: to the end.
std::optional<std::string> chipDropTargetID(const std::string& draggedID, int insertionIndex,
                                            const std::vector<std::string>& visible);

// The pinned app the dragged one goes before; the dragged id itself when it is alone. Past the
// last visible pin it goes before the next bar pin hidden behind it (see below).
std::optional<std::string> pinnedDropTargetAppID(const std::string& draggedID, int insertionIndex,
                                                 const std::vector<std::string>& visible,
                                                 const std::vector<std::string>& barPinnedIDs);

// The bar pin that follows the last of `visibleOthers` in the pin list (without the dragged id),
// hidden because its app has windows; none at the end of the list or without visible pins.
std::optional<std::string> nextPinnedAppIDAfterVisibleEnd(const std::string& draggedID,
                                                          const std::vector<std::string>& visibleOthers,
                                                          const std::vector<std::string>& barPinnedIDs);

// The sideways offset of a pinned chip during a drag: the translation for the dragged one, whole
// slots of `slotWidth` (chip height plus spacing) towards its preview place for the others.
double pinnedChipOffset(const std::string& id, const std::vector<std::string>& visible,
                        const std::optional<std::string>& draggedID, std::optional<int> insertionIndex,
                        Size translation, double slotWidth);

// The sideways offset of a window or group chip during a drag: the translation for the dragged
// one; a chip the dragged one passes steps aside by the dragged chip's width plus the spacing,
// right when it stood before the dragged chip and left when after. Nothing without a frame of the
// dragged chip, or when either chip is no longer in the row.
double chipOffset(const std::string& id, const std::vector<std::string>& visible,
                  const std::optional<std::string>& draggedID, std::optional<int> insertionIndex,
                  Size translation, const ChipFrameMap& startFrames, const ChipFrameMap& liveFrames,
                  double chipSpacing);

}  // namespace reorder
}  // namespace qv
