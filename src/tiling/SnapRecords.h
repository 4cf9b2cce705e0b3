#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/Geometry.h"

namespace qv {

// What tiling remembers of a window it snapped: the size it had before, and the frame it got.
struct SnapRecord {
    Size naturalSize;
    Rect snappedFrame;
    friend bool operator==(const SnapRecord&, const SnapRecord&) = default;
};

// The snap records of at most 64 windows. A 65th window evicts the record stored longest ago; a
// window that already has a record only replaces its own.
class SnapRecords {
  public:
    static constexpr size_t kCapacity = 64;

    void store(uint32_t windowID, SnapRecord record);
    std::optional<SnapRecord> take(uint32_t windowID);
    std::optional<SnapRecord> find(uint32_t windowID) const;
    void remove(uint32_t windowID) { entries_.erase(windowID); }
    size_t size() const { return entries_.size(); }

  private:
    struct Entry {
        SnapRecord record;
        uint64_t stored = 0;  // when, by a counter: the smallest was stored longest ago
    };
    std::map<uint32_t, Entry> entries_;
    uint64_t counter_ = 0;
};

}  // namespace qv
