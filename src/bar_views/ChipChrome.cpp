#include "bar_views/ChipChrome.h"

#include <memory>

#include "bar_views/ChipDecorations.h"
#include "ui/Panel.h"

namespace qv {

std::optional<Rect> currentEventWindowFrame(Windowing& windowing) {
    auto event = windowing.currentEvent();
    if (!event) return std::nullopt;
    auto window = event->window.lock();
    if (!window) return std::nullopt;
    return window->frame();
}

std::string chipTitle(bool showWindowTitles, const std::string& ownTitle, const std::string& appName) {
    return showWindowTitles && !ownTitle.empty() ? ownTitle : appName;
}

double chipFillOpacity(bool isFocused, bool usesLightBar) {
    if (!isFocused) return 0.1;
    return usesLightBar ? 0.13 : 0.2;
}

Node chipTitleText(const std::string& title, const BarMetrics& metrics) {
    Font font = Font::system(metrics.iconSize * 0.7, FontWeight::medium);
    return Text(title, {.font = font, .color = Color::primary(), .lineLimit = 1})
        ->frame(Element::FlexFrame{.maxWidth = metrics.titleMaxWidth, .alignment = Alignment::leading()});
}

MenuItem quitMenuItem(const std::string& appName, std::function<void()> onQuitApp) {
    MenuItem item = MenuItem::button("Quit " + appName, std::move(onQuitApp));
    item.symbolName = "power";
    item.destructive = true;
    return item;
}

MenuItem pinToMenuItem(const Binding<bool>& pinToBar, const Binding<bool>& pinToAppMenu, bool canPin) {
    auto toggle = [canPin](std::string title, const Binding<bool>& binding) {
        MenuItem item = MenuItem::button(std::move(title), [binding] { binding.set(!binding.get()); });
        item.state = binding.get() ? MenuItemState::on : MenuItemState::off;
        item.enabled = canPin;
        return item;
    };
    return MenuItem::sub("Pin to", Menu{{}, {toggle("Bar", pinToBar), toggle("App menu", pinToAppMenu)}});
}

Node ChipChrome::wrap(Node row) const {
    const BarMetrics m = metrics;
    const double fill = chipFillOpacity(isFocused, usesLightBar);
    const ActiveChipEdge edge{m.chipCornerRadius, isFocused, usesLightBar};
    const AttentionPulse pulse{pulses, m.chipCornerRadius};
    Windowing* w = &windowing;
    ChipHoverHandler report = onHoverChanged;
    std::function<Menu()> menu = contextMenu;
    return WithStateObject<Rect>(
        [] { return std::make_shared<Rect>(); },
        [=](const std::shared_ptr<Rect>& chipFrame, std::function<void()>) {
            Node body = row->padding(EdgeInsets::horizontal(m.chipHorizontalPadding))
                            ->frame(std::nullopt, m.chipHeight)
                            ->background(RoundedRectangle(m.chipCornerRadius)
                                             ->fillWith(Color::primary().opacity(fill))
                                             ->onGlobalFrameChange([chipFrame](Rect r) { *chipFrame = r; }));
            // The whole height of the bar answers the pointer, above and below the drawn body too.
            return pulse.applied(edge.applied(body))
                ->frame(std::nullopt, barHeight(m.barSize))
                ->contentShape()
                ->onHover([w, report, chipFrame](bool hovering) {
                    if (report) report(hovering, *chipFrame, currentEventWindowFrame(*w), w->mouseLocation());
                })
                ->contextMenu(menu);
        });
}

}  // namespace qv
