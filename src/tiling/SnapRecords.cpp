#include "tiling/SnapRecords.h"

#include <algorithm>

namespace qv {

void SnapRecords::store(uint32_t windowID, SnapRecord record) {
    if (entries_.size() >= kCapacity && !entries_.contains(windowID)) {
        auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return a.second.stored < b.second.stored;
        });
        entries_.erase(oldest);
    }
    entries_[windowID] = Entry{record, ++counter_};
}

std::optional<SnapRecord> SnapRecords::take(uint32_t windowID) {
    auto it = entries_.find(windowID);
    if (it == entries_.end()) return std::nullopt;
    SnapRecord record = it->second.record;
    entries_.erase(it);
    return record;
}

std::optional<SnapRecord> SnapRecords::find(uint32_t windowID) const {
    auto it = entries_.find(windowID);
    if (it == entries_.end()) return std::nullopt;
    return it->second.record;
}

}  // namespace qv
