#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "dispatch/CancellationToken.h"
#include "model/BarSize.h"
#include "model/BarViewModel.h"
#include "model/ChipData.h"
#include "model/GroupedChipData.h"
#include "model/WindowMenus.h"
#include "platform/Workspace.h"
#include "previews/ThumbnailService.h"
#include "ui/View.h"

namespace qv {

// What the contents of every pop-up share: where the pictures come from and how the cards look.
struct ThumbnailContentEnvironment {
    std::shared_ptr<ThumbnailService> service;
    std::shared_ptr<const Image> genericAppIcon;  // the header's icon for an app without one
    ColorScheme colorScheme = ColorScheme::light;
    size_t screenCount = 1;

    // The platform's icon for any application bundle.
    static std::shared_ptr<const Image> genericApplicationIcon(Workspace& workspace);
};

// A card's title: the window's own, or its app's name when the window has none.
std::string thumbnailCardTitle(const ChipData& chip);

// The pop-up of a window chip: one card for the window. It shows the cached picture at once and
// captures a new one once (never of a minimised window); a result that comes after the content is
// gone is dropped.
class SingleThumbnailContent : public View, public std::enable_shared_from_this<SingleThumbnailContent> {
  public:
    BarSize barSize = BarSize::medium;
    ChipData chip;
    std::shared_ptr<const Image> appIcon;
    ThumbnailContentEnvironment environment;
    std::function<void()> onTap;
    std::function<void()> onMinimize;
    std::function<void()> onClose;

    // --- View state ---
    std::shared_ptr<const Image> thumbnail;
    bool isLoading = false;
    bool didLoad = false;

    ~SingleThumbnailContent() override;
    // Coming on screen: the cached picture, then the one load.
    void appear();
    void disappear();
    Node body() override;

  private:
    CancellationTokenPtr load_;
};

// The pop-up of an app group chip: one card per window of the group still on the bar's desktop, in
// the group's order, in a row that scrolls when it is too wide. It loads the pictures it lacks,
// tells its creator its new width when the number of windows changes and that it is empty when
// none is left. A picture once shown is never replaced.
class GroupedThumbnailContent : public View, public std::enable_shared_from_this<GroupedThumbnailContent> {
  public:
    BarSize barSize = BarSize::medium;
    GroupedChipData group;
    uint64_t spaceID = 0;
    std::shared_ptr<BarViewModel> viewModel;
    double maxAvailableWidth = 0;
    ThumbnailContentEnvironment environment;
    std::function<void(uint32_t windowID)> onWindowSelected;
    std::function<void(uint32_t windowID)> onWindowMinimize;
    std::function<void(uint32_t windowID)> onWindowClose;
    std::function<void(uint32_t windowID, uint64_t spaceID)> onWindowMoveToSpace;
    std::vector<MoveToDisplayGroup> moveToGroups;
    std::function<void(double width)> onWidthChange;
    std::function<void()> onEmpty;

    // --- View state ---
    std::map<uint32_t, std::shared_ptr<const Image>> thumbnails;
    std::set<uint32_t> loadingIDs;

    // The group's windows among a desktop's chips, in the group's order.
    static std::vector<ChipData> windowsOf(const GroupedChipData& group, const BarViewModel::ChipMap& chips,
                                           uint64_t spaceID);
    std::vector<ChipData> windows() const;
    double width() const;

    void appear();
    void loadThumbnails(const std::vector<ChipData>& windows);
    Node body() override;

  private:
    void windowsChanged(const BarViewModel::ChipMap& chips);

    Subscription chipsSubscription_;
    std::optional<size_t> count_;
};

}  // namespace qv
