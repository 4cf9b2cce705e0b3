#include "bar_views/ChipReorder.h"

#include <algorithm>

namespace qv::reorder {

namespace {

std::vector<std::string> without(const std::vector<std::string>& ids, const std::string& id) {
    std::vector<std::string> out;
    out.reserve(ids.size());
    for (const std::string& s : ids) {
        if (s != id) out.push_back(s);
    }
    return out;
}

std::optional<size_t> position(const std::vector<std::string>& ids, const std::string& id) {
    auto it = std::find(ids.begin(), ids.end(), id);
    if (it == ids.end()) return std::nullopt;
    return static_cast<size_t>(it - ids.begin());
}

}  // namespace

bool recordFrame(ChipFrameMap& frames, const std::string& id, const Rect& frame) {
    auto [it, inserted] = frames.try_emplace(id, frame);
    if (inserted) return true;
    if (it->second == frame) return false;
    it->second = frame;
    return true;
}

int insertionIndex(const std::string& draggedID, const DragValue& value, const std::vector<std::string>& visible,
                   const ChipFrameMap& startFrames, const ChipFrameMap& liveFrames) {
    const ChipFrameMap& frames = startFrames.empty() ? liveFrames : startFrames;
    double pointer = value.location.x;
    if (auto own = frames.find(draggedID); own != frames.end())
        pointer = own->second.midX() + value.translation.width;
    int index = 0;
    for (const std::string& id : visible) {
        if (id == draggedID) continue;
        // A chip without a frame never becomes the insertion point but keeps its place.
        if (auto f = frames.find(id); f != frames.end() && f->second.midX() > pointer) return index;
        ++index;
    }
    return index;
}

std::vector<std::string> previewOrder(const std::string& draggedID, int insertionIndex,
                                      const std::vector<std::string>& visible) {
    std::vector<std::string> order = without(visible, draggedID);
    const auto k = std::clamp<std::ptrdiff_t>(insertionIndex, 0, static_cast<std::ptrdiff_t>(order.size()));
    order.insert(order.begin() + k, draggedID);
    return order;
}

std::optional<std::string> chipDropTargetID(const std::string& draggedID, int insertionIndex,
                                            const std::vector<std::string>& visible) {
    const std::vector<std::string> others = without(visible, draggedID);
    const size_t k = static_cast<size_t>(std::max(insertionIndex, 0));
    if (k < others.size()) return others[k];
    return std::nullopt;
}

std::optional<std::string> pinnedDropTargetAppID(const std::string& draggedID, int insertionIndex,
                                                 const std::vector<std::string>& visible,
                                                 const std::vector<std::string>& barPinnedIDs) {
    const std::vector<std::string> others = without(visible, draggedID);
    if (others.empty()) return draggedID;
    if (insertionIndex <= 0) return others.front();
    if (static_cast<size_t>(insertionIndex) < others.size()) return others[static_cast<size_t>(insertionIndex)];
    return nextPinnedAppIDAfterVisibleEnd(draggedID, others, barPinnedIDs);
}

std::optional<std::string> nextPinnedAppIDAfterVisibleEnd(const std::string& draggedID,
                                                          const std::vector<std::string>& visibleOthers,
                                                          const std::vector<std::string>& barPinnedIDs) {
    if (visibleOthers.empty()) return std::nullopt;
    const std::vector<std::string> all = without(barPinnedIDs, draggedID);
    const auto p = position(all, visibleOthers.back());
    if (p && *p + 1 < all.size()) return all[*p + 1];
    return std::nullopt;
}

double pinnedChipOffset(const std::string& id, const std::vector<std::string>& visible,
                        const std::optional<std::string>& draggedID, std::optional<int> insertionIndex,
                        Size translation, double slotWidth) {
    if (draggedID == id) return translation.width;
    if (!draggedID || !insertionIndex) return 0;
    const size_t i = position(visible, id).value_or(0);
    const size_t j = position(previewOrder(*draggedID, *insertionIndex, visible), id).value_or(0);
    return (static_cast<double>(j) - static_cast<double>(i)) * slotWidth;
}

double chipOffset(const std::string& id, const std::vector<std::string>& visible,
                  const std::optional<std::string>& draggedID, std::optional<int> insertionIndex,
                  Size translation, const ChipFrameMap& startFrames, const ChipFrameMap& liveFrames,
                  double chipSpacing) {
    if (draggedID == id) return translation.width;
    if (!draggedID || !insertionIndex) return 0;
    const auto i = position(visible, id);
    const auto d = position(visible, *draggedID);
    // A chip gone from the row mid-drag moves nothing.
    if (!i || !d) return 0;
    const long a = *i < *d ? static_cast<long>(*i) : static_cast<long>(*i) - 1;
    if ((*d < *i) != (a < *insertionIndex)) return 0;
    const ChipFrameMap& frames = startFrames.empty() ? liveFrames : startFrames;
    auto own = frames.find(*draggedID);
    if (own == frames.end()) return 0;
    const double w = own->second.width() + chipSpacing;
    return *d >= *i ? w : -w;
}

}  // namespace qv::reorder
