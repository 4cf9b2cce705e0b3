#include "tiling/SnapLayoutPanel.h"

namespace qv {

namespace {

constexpr uint64_t kCollectionBehavior = collectionbehavior::kCanJoinAllSpaces |
                                         collectionbehavior::kTransient | collectionbehavior::kIgnoresCycle |
                                         collectionbehavior::kFullScreenAuxiliary;  // 329

// What both panels share: a borderless, click-through, non-activating panel that floats.
void configure(Panel& panel, int level, bool shadow) {
    panel.isFloatingPanel = true;
    panel.setLevel(level);
    panel.collectionBehavior = kCollectionBehavior;
    panel.ignoresMouseEvents = true;
    panel.isOpaque = false;
    panel.backgroundColor = Color::clear();
    panel.hasShadow = shadow;
    panel.hidesOnDeactivate = false;
    panel.animationBehavior = animationbehavior::kNone;
}

Node filled(double radius, Color color, const Rect& r) {
    return RoundedRectangle(radius)
        ->fillWith(color)
        ->frame(r.width(), r.height())
        ->offset(r.minX(), r.minY());
}

}  // namespace

// --- The flyout's drawing ---

void SnapLayoutView::setMetrics(std::optional<SnapFlyoutMetrics> metrics) {
    metrics_ = std::move(metrics);
    setNeedsUpdate();
}

void SnapLayoutView::setHighlightedZone(std::optional<SnapFlyoutMetrics::ZoneID> zone) {
    if (zone == highlightedZone_) return;
    highlightedZone_ = zone;
    setNeedsUpdate();
}

Node SnapLayoutView::body() {
    if (!metrics_ || metrics_->layouts.empty()) return EmptyNode();
    const SnapFlyoutMetrics& m = *metrics_;
    std::vector<Node> shapes;
    for (size_t i = 0; i < m.layouts.size(); ++i) {
        const Rect tile = m.tileFrame(i);
        const bool lit = highlightedZone_ && highlightedZone_->layout == static_cast<int>(i);
        shapes.push_back(filled(kTileRadius, Color::primary().withAlphaComponent(lit ? 0.1 : 0.06), tile));
        // The hit test's zones, inset once more for the drawing.
        const Rect inner = tile.insetBy(SnapFlyoutMetrics::kZoneInset, SnapFlyoutMetrics::kZoneInset);
        const auto& zones = m.layouts[i].zones;
        for (size_t j = 0; j < zones.size(); ++j) {
            const Rect& z = zones[j];
            const Rect zone =
                Rect{inner.minX() + inner.width() * z.minX(), inner.minY() + inner.height() * z.minY(),
                     inner.width() * z.width(), inner.height() * z.height()}
                    .insetBy(SnapFlyoutMetrics::kZoneInset, SnapFlyoutMetrics::kZoneInset);
            const bool highlighted = lit && highlightedZone_->zone == static_cast<int>(j);
            const Color fill =
                highlighted ? Color::accent() : Color::primary().withAlphaComponent(lit ? 0.32 : 0.22);
            shapes.push_back(filled(kZoneRadius, fill, zone));
        }
    }
    return ZStack(Alignment::topLeading(), std::move(shapes))
        ->frame(m.size.width, m.size.height, Alignment::topLeading());
}

// --- The flyout panel ---

SnapLayoutPanel::SnapLayoutPanel(Windowing& windowing, Runtime& runtime)
    : Panel(windowing, runtime, Rect{}, stylemask::kNonactivatingPanel) {}

std::shared_ptr<SnapLayoutPanel> SnapLayoutPanel::create(Windowing& windowing, Runtime& runtime) {
    auto panel = Panel::make<SnapLayoutPanel>(windowing, runtime);
    configure(*panel, windowlevel::kPopUpMenu, true);
    std::shared_ptr<View> layout = panel->layoutView_;
    // The popover material forms the background, rounded and edged; the layouts are drawn over it.
    auto root = std::make_shared<ClosureView>([layout] {
        return ZStack(Alignment::topLeading(),
                      {MaterialView(Material::popover)
                           ->clipShape(Shape::roundedRect(kCornerRadius))
                           ->overlay(RoundedRectangle(kCornerRadius)->strokeBorder(Color::separator(), 0.5)),
                       ViewNode(layout)});
    });
    panel->setContentView(std::make_shared<HostingView>(runtime, root));
    return panel;
}

void SnapLayoutPanel::show(const Rect& frame) {
    setFrame(frame, true);
    if (isVisible()) return;  // a visible flyout jumps
    setAlphaValue(0);
    orderFrontRegardless();
    animateAlpha(1, Animation::easeOut(kFadeIn));
}

// --- The preview panel ---

SnapPreviewPanel::SnapPreviewPanel(Windowing& windowing, Runtime& runtime)
    : Panel(windowing, runtime, Rect{}, stylemask::kNonactivatingPanel) {}

std::shared_ptr<SnapPreviewPanel> SnapPreviewPanel::create(Windowing& windowing, Runtime& runtime) {
    auto panel = Panel::make<SnapPreviewPanel>(windowing, runtime);
    configure(*panel, windowlevel::kFloating, false);
    // The HUD material, under a tint and a border in the accent colour.
    auto root = std::make_shared<ClosureView>([] {
        return ZStack(
            {MaterialView(Material::hudWindow)->clipShape(Shape::roundedRect(kCornerRadius)),
             RoundedRectangle(kCornerRadius)->fillWith(Color::accent().withAlphaComponent(kTintAlpha)),
             RoundedRectangle(kCornerRadius)
                 ->strokeBorder(Color::accent().withAlphaComponent(kBorderAlpha), kBorderWidth)});
    });
    panel->setContentView(std::make_shared<HostingView>(runtime, root));
    return panel;
}

void SnapPreviewPanel::show(const Rect& frame, std::optional<uint32_t> below) {
    if (isVisible()) {
        animateFrame(frame, Animation::easeOut(kAnimation));
        return;
    }
    setFrame(frame, true);
    setAlphaValue(0);
    if (below) {
        // At the normal level just beneath the dragged window: above the desktop's other windows.
        setLevel(windowlevel::kNormal);
        orderBelow(*below);
    } else {
        setLevel(windowlevel::kFloating);
        orderFrontRegardless();
    }
    animateAlpha(1, Animation{AnimationCurve::defaultCurve, kAnimation});
}

}  // namespace qv
