#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "tiling/SnapLayout.h"
#include "ui/Panel.h"
#include "ui/View.h"

namespace qv {

// The flyout's drawing: every layout's tile with its zones, placed exactly as the hit test places
// them, the zones inset once more so that they stand apart (the gaps still select). The layout of
// the highlighted zone is lit and that zone drawn in the accent colour.
class SnapLayoutView : public View {
  public:
    static constexpr double kTileRadius = 6;
    static constexpr double kZoneRadius = 3.5;

    const std::optional<SnapFlyoutMetrics>& metrics() const { return metrics_; }
    // Always redraws.
    void setMetrics(std::optional<SnapFlyoutMetrics> metrics);
    const std::optional<SnapFlyoutMetrics::ZoneID>& highlightedZone() const { return highlightedZone_; }
    // Redraws only when the zone changes.
    void setHighlightedZone(std::optional<SnapFlyoutMetrics::ZoneID> zone);

    Node body() override;

  private:
    std::optional<SnapFlyoutMetrics> metrics_;
    std::optional<SnapFlyoutMetrics::ZoneID> highlightedZone_;
};

// The layout flyout: a rounded, translucent pop-up panel at the top of the screen. It never takes
// the pointer or the keyboard and follows the user to every desktop.
class SnapLayoutPanel : public Panel {
  public:
    static constexpr double kCornerRadius = 14;
    static constexpr Seconds kFadeIn = 0.12;

    SnapLayoutPanel(Windowing& windowing, Runtime& runtime);
    static std::shared_ptr<SnapLayoutPanel> create(Windowing& windowing, Runtime& runtime);

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }

    const std::shared_ptr<SnapLayoutView>& layoutView() const { return layoutView_; }
    // Shows the flyout at a frame of the screens' space, fading in when it was hidden; a visible
    // flyout jumps there.
    void show(const Rect& frame);

  private:
    std::shared_ptr<SnapLayoutView> layoutView_ = std::make_shared<SnapLayoutView>();
};

// The snap preview: a translucent rounded rectangle tinted in the accent colour where the dragged
// window will go, placed in the window order directly beneath that window.
class SnapPreviewPanel : public Panel {
  public:
    static constexpr double kCornerRadius = 12;
    static constexpr double kTintAlpha = 0.16;
    static constexpr double kBorderAlpha = 0.7;
    static constexpr double kBorderWidth = 1.5;
    static constexpr Seconds kAnimation = 0.14;

    SnapPreviewPanel(Windowing& windowing, Runtime& runtime);
    static std::shared_ptr<SnapPreviewPanel> create(Windowing& windowing, Runtime& runtime);

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }

    // A hidden preview is placed at once, ordered below the window (or floating above every
    // window without one) and fades in; a visible one slides there, keeping its level and order.
    void show(const Rect& frame, std::optional<uint32_t> below);
};

}  // namespace qv
