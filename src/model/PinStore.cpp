#include "model/PinStore.h"

#include <algorithm>

namespace qv {

PinStore::PinStore(UserSettings& settings) : pinnedApps(settings.data->pinnedApps), settings_(settings) {}

std::vector<std::string> PinStore::pinnedAppIDs(PinDestination destination) const {
    std::vector<std::string> ids;
    for (const PinnedAppRecord& r : *pinnedApps) {
        if (r.destinations().contains(destination)) ids.push_back(r.id);
    }
    return ids;
}

bool PinStore::isPinned(const std::string& id, PinDestination destination) const {
    const auto& pins = *pinnedApps;
    auto it = std::find_if(pins.begin(), pins.end(), [&](const PinnedAppRecord& r) { return r.id == id; });
    return it != pins.end() && it->destinations().contains(destination);
}

void PinStore::setPin(const std::string& id, PinDestination destination, bool enabled) {
    if (id.empty()) return;
    std::vector<PinnedAppRecord> pins = *pinnedApps;
    auto it = std::find_if(pins.begin(), pins.end(), [&](const PinnedAppRecord& r) { return r.id == id; });
    if (it != pins.end()) {
        int64_t bits = enabled ? (it->destinationsRaw | destination.rawValue)
                               : (it->destinationsRaw & ~destination.rawValue);
        if (bits == 0) {
            pins.erase(it);
        } else {
            it->destinationsRaw = bits;
        }
        write(std::move(pins));
        return;
    }
    // A record pinned nowhere is never stored.
    if (!enabled || destination.isEmpty()) return;
    pins.push_back(PinnedAppRecord{id, destination.rawValue});
    write(std::move(pins));
}

void PinStore::movePinnedApp(const std::string& id, const std::optional<std::string>& before,
                             PinDestination destination) {
    if (before && *before == id) return;
    std::vector<std::string> order = pinnedAppIDs(destination);
    auto found = std::find(order.begin(), order.end(), id);
    if (found == order.end()) return;
    auto from = static_cast<size_t>(found - order.begin());
    order.erase(found);

    size_t to = order.size();
    if (before) {
        auto target = std::find(order.begin(), order.end(), *before);
        if (target != order.end()) to = static_cast<size_t>(target - order.begin());
    }
    if (to == from) return;
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(to), id);

    const std::vector<PinnedAppRecord>& old = *pinnedApps;
    auto recordOf = [&](const std::string& key) {
        return *std::find_if(old.begin(), old.end(), [&](const PinnedAppRecord& r) { return r.id == key; });
    };
    std::vector<PinnedAppRecord> pins = old;
    size_t k = 0;
    for (PinnedAppRecord& slot : pins) {
        if (slot.destinations().contains(destination)) slot = recordOf(order[k++]);
    }
    write(std::move(pins));
}

void PinStore::write(std::vector<PinnedAppRecord> pins) {
    pinnedApps = pins;
    settings_.setPinnedApps(std::move(pins));
}

}  // namespace qv
