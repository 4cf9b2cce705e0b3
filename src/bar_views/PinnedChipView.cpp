#include "bar_views/PinnedChipView.h"

#include <algorithm>

#include "bar_views/AppNameTooltipPanel.h"
#include "bar_views/ChipChrome.h"
#include "bar_views/ChipDecorations.h"
#include "bar_views/PopupPlacement.h"

namespace qv {

std::optional<Screen> tooltipScreen(Windowing& windowing, double anchorX, Point pointer) {
    for (const Screen& s : windowing.screens()) {
        if (s.frame.contains(Point{anchorX, pointer.y})) return s;
    }
    return windowing.mainScreen();
}

Rect tooltipFrame(double anchorX, Size size, const Screen& screen, BarSize barSize) {
    const Rect& visible = screen.visibleFrame;
    double x = anchorX - size.width / 2;
    x = std::max(visible.minX() + 8, std::min(x, visible.maxX() - size.width - 8));
    return {x, screen.frame.minY() + barHeight(barSize) + 4, size.width, size.height};
}

namespace {

// The tooltip of one pinned chip: idle, pending (monitor installed, show scheduled) or shown.
class PinnedChipTooltip : public std::enable_shared_from_this<PinnedChipTooltip> {
  public:
    PinnedChipTooltip(Windowing& windowing, Runtime& runtime) : windowing_(windowing), runtime_(runtime) {}
    ~PinnedChipTooltip() { hide(); }

    Rect chipFrame;

    // Captures the chip, its window and the pointer now and shows the tooltip from them later.
    void schedule(std::string appName, BarSize barSize) {
        ensureMonitor();
        if (showWork_) showWork_->cancel();
        Rect c = chipFrame;
        std::optional<Rect> w = currentEventWindowFrame(windowing_);
        Point p = windowing_.mouseLocation();
        std::weak_ptr<PinnedChipTooltip> weak = weak_from_this();
        showWork_ = runtime_.mainQueue()->asyncAfter(PinnedChipView::kTooltipDelay,
                                                     [weak, c, w, p, appName, barSize] {
                                                         if (auto self = weak.lock())
                                                             self->show(c, w, p, appName, barSize);
                                                     });
    }

    void hide() {
        if (showWork_) showWork_->cancel();
        showWork_.reset();
        if (auto panel = std::exchange(panel_, nullptr)) panel->close();
        stopMonitor();
    }

  private:
    void show(Rect c, std::optional<Rect> w, Point p, const std::string& appName, BarSize barSize) {
        showWork_.reset();
        // The tooltip goes where the pointer entered the chip, captured then.
        double anchor = anchorXNearerPointer(c, w, p);
        auto screen = tooltipScreen(windowing_, anchor, p);
        if (!screen) return;
        ensureMonitor();
        if (auto old = std::exchange(panel_, nullptr)) old->close();
        auto content = std::make_shared<HostingView>(runtime_, std::make_shared<ClosureView>([appName] {
                                                         return AppNameTooltipBubble{appName}.body();
                                                     }));
        Rect frame = tooltipFrame(anchor, content->fittingSize(), *screen, barSize);
        panel_ = AppNameTooltipPanel::make(windowing_, runtime_, frame, content);
        panel_->present();
    }

    void ensureMonitor() {
        if (monitor_) return;
        std::weak_ptr<PinnedChipTooltip> weak = weak_from_this();
        // Hides the tooltip before a context menu opens anywhere in our windows.
        MonitorToken token = windowing_.addLocalMonitor(
            EventType::leftMouseDown | EventType::rightMouseDown,
            [weak](const Event& e) -> std::optional<Event> {
                bool menuClick =
                    e.type == EventType::rightMouseDown ||
                    (e.type == EventType::leftMouseDown && (e.modifierFlags & modifierflags::kControl));
                if (menuClick) {
                    if (auto self = weak.lock()) self->hide();
                }
                return e;
            });
        if (token != 0) monitor_ = token;
    }

    void stopMonitor() {
        if (auto token = std::exchange(monitor_, std::nullopt)) windowing_.removeMonitor(*token);
    }

    Windowing& windowing_;
    Runtime& runtime_;
    std::shared_ptr<AppNameTooltipPanel> panel_;
    WorkItemPtr showWork_;
    std::optional<MonitorToken> monitor_;
};

}  // namespace

Menu PinnedChipView::contextMenu() const {
    Menu menu;
    menu.items.push_back(MenuItem::button("Open", onTap));
    menu.items.push_back(MenuItem::separator());
    Binding<bool> pin = pinToBar;
    menu.items.push_back(MenuItem::button("Unpin", [pin] {
        if (pin.set) pin.set(false);
    }));
    return menu;
}

Node PinnedChipView::body() const {
    const BarMetrics m = metrics;
    Node content = icon ? IconWithBadge{icon, m.iconSize, badge}.bodyInSquare(m.chipHeight)
                        : SymbolImage("app.dashed", Font::system(m.iconSize), Color::secondary());
    Windowing* w = &windowing;
    Runtime* rt = &runtime;
    auto self = std::make_shared<const PinnedChipView>(*this);
    return WithStateObject<PinnedChipTooltip>(
        [w, rt] { return std::make_shared<PinnedChipTooltip>(*w, *rt); },
        [self, content, m](const std::shared_ptr<PinnedChipTooltip>& tooltip, std::function<void()>) {
            Node chip =
                content->frame(m.chipHeight, m.chipHeight)
                    ->background(RoundedRectangle(m.chipCornerRadius)
                                     ->fillWith(Color::primary().opacity(0.06))
                                     ->onGlobalFrameChange([tooltip](Rect r) { tooltip->chipFrame = r; }));
            std::string name = self->appName;
            auto onTap = self->onTap;
            return AttentionPulse{self->wantsAttention, m.chipCornerRadius}
                .applied(chip)
                ->frame(std::nullopt, barHeight(m.barSize))
                ->contentShape()
                ->onHover([tooltip, name, size = m.barSize](bool hovering) {
                    if (hovering) {
                        tooltip->schedule(name, size);
                    } else {
                        tooltip->hide();
                    }
                })
                ->onTapGesture([tooltip, onTap] {
                    tooltip->hide();
                    if (onTap) onTap();
                })
                ->accessibilityLabel(name, true)
                ->contextMenu([self] { return self->contextMenu(); })
                ->onDisappear([tooltip] { tooltip->hide(); });
        });
}

}  // namespace qv
