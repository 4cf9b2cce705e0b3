#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bar_views/ThumbnailPopups.h"
#include "dispatch/Runtime.h"
#include "model/BarSize.h"
#include "model/BarViewModel.h"
#include "model/DisplayItem.h"
#include "model/WindowMenus.h"
#include "platform/Platform.h"
#include "previews/ThumbnailPopupContent.h"
#include "previews/ThumbnailPopupPanel.h"
#include "previews/ThumbnailService.h"

namespace qv {

class BarContentView;

// What the hover thumbnails of one bar need of the bar they belong to, read when they are used:
// the bar changes its desktop and its items while the pop-ups live.
struct ThumbnailHoverHost {
    std::shared_ptr<BarViewModel> viewModel;
    std::shared_ptr<ThumbnailService> service;
    std::function<BarSize()> barSize;
    std::function<uint64_t()> spaceID;
    // The bar's items as it shows them.
    std::function<std::vector<DisplayItem>()> displayItems;
    std::function<std::vector<MoveToDisplayGroup>()> moveToGroups;
    std::function<std::optional<Screen>(std::optional<Rect> sourceWindowFrame, Point fallbackPoint)>
        preferredScreen;
    std::function<void(Panel& panel, Seconds duration)> fadeIn;
    std::function<void(uint32_t windowID)> activateWindowDeferred;
    std::function<void()> onThumbnailWillShow;
    std::function<void(uint32_t windowID, uint64_t fromSpaceID, uint64_t toSpaceID)>
        onMoveWindowToSpaceRequested;
};

// The hover thumbnails of one bar: the pointer resting 0.25 s on a chip opens a pop-up of its
// windows above it, moving to another chip re-targets the open pop-up at once, leaving the chip
// and the pop-up closes it 0.2 s later, and a context menu over a chip keeps it shut for the rest
// of that hover. Main thread only.
class ThumbnailHoverController : public ThumbnailPopups,
                                 public std::enable_shared_from_this<ThumbnailHoverController> {
  public:
    ThumbnailHoverController(Platform& platform, ThumbnailHoverHost host);
    // The hover thumbnails of a bar's content view, reading the view (held weakly) as it changes,
    // with the program's shared capture service.
    static std::shared_ptr<ThumbnailHoverController> forBar(Platform& platform,
                                                            const std::shared_ptr<BarContentView>& view);
    ~ThumbnailHoverController() override;
    ThumbnailHoverController(const ThumbnailHoverController&) = delete;
    ThumbnailHoverController& operator=(const ThumbnailHoverController&) = delete;

    // --- ThumbnailPopups ---
    void handleChipHover(bool isHovering, const HoverTarget& target) override;
    void dismissThumbnailPopupImmediate() override;
    void suppressPendingThumbnailForContextMenuIfNeeded() override;
    bool isThumbnailPopupWindow(uint32_t windowNumber) const override;
    bool hasThumbnailPopup() const override { return activeThumbnailPanel_ != nullptr; }

    // --- State, for whoever looks ---
    const std::shared_ptr<ThumbnailPopupPanel>& activeThumbnailPanel() const { return activeThumbnailPanel_; }
    const std::optional<std::string>& thumbnailTargetID() const { return thumbnailTargetID_; }
    bool isThumbnailPopupHovered() const { return isThumbnailPopupHovered_; }
    bool isShowPending() const { return showTimer_ && !showTimer_->isCancelled(); }
    bool suppressThumbnailForCurrentHover() const { return suppressThumbnailForCurrentHover_; }
    const std::optional<HoverTarget>& pendingHoverTarget() const { return pendingHoverTarget_; }
    Rect lastPopupFrame() const { return lastPopupFrame_; }

  private:
    void prefetchThumbnails(const HoverTarget& target);
    void startMouseStabilityMonitoring();
    void stopMouseStabilityMonitoring();
    void restartShowTimer();
    void startDismissTimer();
    void show(const HoverTarget& target, std::optional<Rect> animateFrom);
    void showSingleThumbnailPopup(const ChipData& chip, const HoverTarget& target,
                                  std::optional<Rect> animateFrom);
    void showGroupedThumbnailPopup(const GroupedChipData& group, const HoverTarget& target,
                                   std::optional<Rect> animateFrom);
    // Opens the panel at `frame` with the content, in place of any open one.
    std::shared_ptr<ThumbnailPopupPanel> present(const std::string& targetID, Rect frame, double centerX,
                                                 std::shared_ptr<View> content,
                                                 std::optional<Rect> animateFrom);
    ThumbnailContentEnvironment contentEnvironment();

    Platform& platform_;
    ThumbnailHoverHost host_;
    std::shared_ptr<ThumbnailPopupPanel> activeThumbnailPanel_;
    std::optional<std::string> thumbnailTargetID_;
    bool isThumbnailPopupHovered_ = false;
    WorkItemPtr showTimer_;
    WorkItemPtr dismissTimer_;
    std::optional<HoverTarget> pendingHoverTarget_;
    MonitorToken mouseMovementMonitor_ = 0;
    bool suppressThumbnailForCurrentHover_ = false;
    bool pointerOnChip_ = false;  // the last hover report was an entry
    Rect lastPopupFrame_;
};

}  // namespace qv
