#include "bar_views/AppNameTooltipPanel.h"

namespace qv {

Node AppNameTooltipBubble::body() const {
    return Text(text,
                {.font = Font::system(12, FontWeight::medium), .color = Color::primary(), .lineLimit = 1})
        ->padding(EdgeInsets{6, 10, 6, 10})
        ->background(MaterialView(Material::ultraThick)->clipShape(Shape::roundedRect(8)))
        ->overlay(RoundedRectangle(8)->strokeBorder(Color::primary().opacity(0.12), 1))
        ->clipShape(Shape::roundedRect(8))
        ->fixedSize();
}

AppNameTooltipPanel::AppNameTooltipPanel(Windowing& windowing, Runtime& runtime, Rect frame)
    : Panel(windowing, runtime, frame, stylemask::kNonactivatingPanel) {}

std::shared_ptr<AppNameTooltipPanel> AppNameTooltipPanel::make(Windowing& windowing, Runtime& runtime,
                                                               Rect frame,
                                                               std::shared_ptr<HostingView> content) {
    auto panel = Panel::make<AppNameTooltipPanel>(windowing, runtime, frame);
    panel->isFloatingPanel = true;
    panel->setLevel(windowlevel::kPopUpMenu);
    panel->backgroundColor = Color::clear();
    panel->isOpaque = false;
    panel->hasShadow = true;
    panel->ignoresMouseEvents = true;
    panel->collectionBehavior = collectionbehavior::kTransient | collectionbehavior::kIgnoresCycle;
    panel->animationBehavior = animationbehavior::kNone;
    panel->setContentView(std::move(content));
    return panel;
}

void AppNameTooltipPanel::present() {
    setAlphaValue(0);
    orderFrontRegardless();
    animateAlpha(1, Animation::easeOut(0.12));
}

void AppNameTooltipPanel::close() {
    if (isDismissing) return;
    isDismissing = true;
    orderOut();
    Panel::close();
}

}  // namespace qv
