#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace qv {

// Window ids, most recently used first, each at most once, bounded at 512.
class WindowRecencyTracker {
  public:
    static constexpr size_t kCapacity = 512;

    const std::vector<uint32_t>& order() const { return order_; }
    void record(uint32_t windowID);
    // Only an empty list takes the given front-to-back order.
    void seedIfEmpty(const std::vector<uint32_t>& frontToBack);
    void prune(const std::set<uint32_t>& keeping);

  private:
    std::vector<uint32_t> order_;
};

}  // namespace qv
