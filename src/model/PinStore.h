#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dispatch/Published.h"
#include "model/PinnedAppRecord.h"
#include "model/UserSettings.h"

namespace qv {

// The pinned apps in display order, one record per app. Every change is published here and then
// written to the settings store, which saves it. Main thread only.
class PinStore {
  public:
    explicit PinStore(UserSettings& settings);

    Published<std::vector<PinnedAppRecord>> pinnedApps;

    // The ids pinned to `destination`, in list order.
    std::vector<std::string> pinnedAppIDs(PinDestination destination) const;
    bool isPinned(const std::string& id, PinDestination destination) const;
    // Pins or unpins; a record left without destinations is removed.
    void setPin(const std::string& id, PinDestination destination, bool enabled);
    // Reorders the ids of one destination among the slots they already hold; the records of the
    // other destination keep their places. No target: to the end.
    void movePinnedApp(const std::string& id, const std::optional<std::string>& before,
                       PinDestination destination);

  private:
    void write(std::vector<PinnedAppRecord> pins);

    UserSettings& settings_;
};

}  // namespace qv
