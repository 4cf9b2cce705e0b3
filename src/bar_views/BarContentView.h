#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "model/PinStore.h"
#include "model/UserSettings.h"
#include "platform/ui/View.h"

namespace qv {

// The root view of one bar panel, built by the bar manager with the models it observes, the
// geometry of the bar's size and the callbacks through which it asks the manager to act. Until the
// bar's items are laid out in it, it draws the bar's empty strip.
class BarContentView : public View {
  public:
    std::shared_ptr<BarViewModel> viewModel;
    std::shared_ptr<PinStore> pinStore;
    std::shared_ptr<UserSettings> settings;
    uint64_t spaceID = 0;
    std::optional<size_t> screenIndex;  // the bar's screen, for per-screen filtering
    BarMetrics metrics;
    std::function<void()> onMenuTapped;
    std::function<void(uint64_t spaceID)> onSpaceSwitchRequested;
    std::function<void(uint32_t windowID, uint64_t fromSpaceID, uint64_t toSpaceID)>
        onMoveWindowToSpaceRequested;
    std::function<void(bool overChips)> onChipsAreaHoverChanged;
    std::function<void()> onThumbnailWillShow;

    Node body() override;
};

}  // namespace qv
