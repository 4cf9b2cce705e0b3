#include "switcher/WindowRecencyTracker.h"

#include <algorithm>

namespace qv {

void WindowRecencyTracker::record(uint32_t windowID) {
    if (!order_.empty() && order_.front() == windowID) return;
    std::erase(order_, windowID);
    order_.insert(order_.begin(), windowID);
    if (order_.size() > kCapacity) order_.resize(kCapacity);
}

void WindowRecencyTracker::seedIfEmpty(const std::vector<uint32_t>& frontToBack) {
    if (!order_.empty()) return;
    order_.assign(frontToBack.begin(), frontToBack.begin() + std::min(frontToBack.size(), kCapacity));
}

void WindowRecencyTracker::prune(const std::set<uint32_t>& keeping) {
    std::erase_if(order_, [&](uint32_t id) { return !keeping.contains(id); });
}

}  // namespace qv
