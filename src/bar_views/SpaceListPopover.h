#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/BarViewModel.h"
#include "platform/Platform.h"
#include "ui/View.h"

namespace qv {

// One row of the desktop list: active mark, title, and the count of windows on an ordinary
// desktop that has any.
struct SpaceRow {
    std::string title;
    bool isFullscreen = false;
    bool isActive = false;
    int windowCount = 0;
    std::function<void()> action;

    Node body() const;
};

// The list of one display's desktops shown above the bar: a header, then one row per desktop in
// its order on the display. It follows the bar model while open, reports its own height on the next
// turn whenever that changes, and on a row click closes first and asks for the switch on the next
// turn. Main thread.
class SpaceListPopover : public View {
  public:
    using SpaceInfo = SpaceWindows::SpaceInfo;
    struct SpaceRowModel {
        SpaceInfo space;
        std::string title;
    };

    SpaceListPopover(Platform& platform, std::shared_ptr<BarViewModel> viewModel,
                     std::string displayIdentifier, std::function<void()> onDismiss,
                     std::function<void(uint64_t spaceID)> onSwitchToSpace,
                     std::function<void(double height)> onHeightChange);

    // "Desktops", or with several displays in the model the name of the screen showing the list's.
    std::string headerTitle() const;
    static std::string headerTitle(const std::vector<SpaceInfo>& spaces,
                                   const std::optional<std::string>& listScreenName);
    // "Desktop N" for an ordinary desktop, counting only those; a full-screen desktop is named after
    // the app of its focused chip, else of its first chip, else "Fullscreen".
    static std::vector<SpaceRowModel> buildRows(const std::vector<SpaceInfo>& orderedDesktops,
                                                const BarViewModel::ChipMap& chipsBySpace);

    Node body() override;

  private:
    Platform& platform_;
    std::shared_ptr<BarViewModel> viewModel_;
    std::string displayIdentifier_;
    std::function<void()> onDismiss_;
    std::function<void(uint64_t)> onSwitchToSpace_;
    std::function<void(double)> onHeightChange_;
    std::shared_ptr<double> reportedHeight_ = std::make_shared<double>(0);
};

}  // namespace qv
