#include "bar_views/ChipDecorations.h"

#include <algorithm>

namespace qv {

double BadgeOverlay::side(double iconSize) {
    return std::max(12.0, iconSize * 0.5);
}

double BadgeOverlay::fontSize(double iconSize) {
    return std::max(7.0, iconSize * 0.3);
}

double BadgeOverlay::width() const {
    double m = side(iconSize);
    Font font = Font::system(fontSize(iconSize), FontWeight::bold, FontDesign::rounded);
    return std::min(std::clamp(textmetrics::width(badge, font) + 6, m, 2.5 * m), maxWidth);
}

Node BadgeOverlay::body() const {
    Font font = Font::system(fontSize(iconSize), FontWeight::bold, FontDesign::rounded);
    return Text(badge, {.font = font, .color = Color::white(), .lineLimit = 1})
        ->padding(EdgeInsets::horizontal(3))
        ->frame(width(), side(iconSize))
        ->background(Capsule()->fillWith(Color::red()));
}

double IconWithBadge::reservedBadgeWidth() const {
    if (!badge) return 0;
    const double s = iconSize;
    const double m = BadgeOverlay::side(s);
    // Measured in the plain bold face although the badge draws rounded; both are clamped alike.
    double w = textmetrics::width(*badge, Font::system(BadgeOverlay::fontSize(s), FontWeight::bold)) + 6;
    double b = std::clamp(w, m, 2.5 * m);
    double overhang = 0.75 * s + b - s;
    return overhang > 0 ? overhang + 2 : 0;
}

Node IconWithBadge::body() const {
    const double s = iconSize;
    Node image =
        icon ? IconImage(icon)->resizableImage()->frame(s, s) : Rectangle()->fillWith(Color::clear());
    Node badgeNode = badge ? BadgeOverlay{*badge, s}.body()->offset(0.75 * s, 0) : EmptyNode();
    return ZStack(Alignment::topLeading(), {image->frame(s, s), badgeNode})
        ->frame(s + reservedBadgeWidth(), s, Alignment::leading());
}

IconWithBadge::SquareLayout IconWithBadge::squareLayout(double side) const {
    const double s = iconSize;
    SquareLayout layout;
    layout.iconX = std::max(0.0, (side - s - reservedBadgeWidth()) / 2);
    if (!badge) return layout;
    layout.badgeWidth = BadgeOverlay{*badge, s, side}.width();
    layout.badgeX = std::max(0.0, std::min(layout.iconX + 0.75 * s, side - layout.badgeWidth));
    return layout;
}

Node IconWithBadge::bodyInSquare(double side) const {
    const double s = iconSize;
    const SquareLayout layout = squareLayout(side);
    const double top = (side - s) / 2;
    Node image =
        icon ? IconImage(icon)->resizableImage()->frame(s, s) : Rectangle()->fillWith(Color::clear());
    Node badgeNode = badge ? BadgeOverlay{*badge, s, side}.body()->offset(layout.badgeX, top) : EmptyNode();
    return ZStack(Alignment::topLeading(), {image->frame(s, s)->offset(layout.iconX, top), badgeNode})
        ->frame(side, side, Alignment::topLeading());
}

Node ActiveChipEdge::applied(Node chip) const {
    return chip->overlay(RoundedRectangle(cornerRadius)
                             ->strokeBorder(Color::primary().opacity(lineOpacity()), 1)
                             ->opacity(isActive ? 1 : 0)
                             ->allowsHitTesting(false));
}

AttentionPulse::Look AttentionPulse::look(bool pulse) {
    return pulse ? Look{2.5, 0.9, 0.15} : Look{1.5, 0.5, 0.05};
}

Animation AttentionPulse::animation(bool isActive) {
    return isActive ? Animation::easeInOut(0.8).repeatingForever(true) : Animation::standard();
}

namespace {

struct PulseState {
    bool pulse = false;
    bool appeared = false;
};

}  // namespace

Node AttentionPulse::applied(Node chip) const {
    const bool active = isActive;
    const double radius = cornerRadius;
    Node layers = WithStateObject<PulseState>(
        [] { return std::make_shared<PulseState>(); },
        [active, radius](const std::shared_ptr<PulseState>& state, std::function<void()> invalidate) {
            // The pulse takes every new value of `isActive` once the chip has been shown.
            if (state->appeared) state->pulse = active;
            Look l = look(state->pulse);
            return ZStack({RoundedRectangle(radius)
                               ->strokeBorder(Color::accent(), l.lineWidth)
                               ->opacity(active ? l.outlineOpacity : 0),
                           RoundedRectangle(radius)
                               ->fillWith(Color::accent().opacity(l.tintOpacity))
                               ->opacity(active ? 1 : 0)})
                ->animation(animation(active), state->pulse)
                ->onAppear([state, active, invalidate] {
                    state->appeared = true;
                    if (state->pulse == active) return;
                    state->pulse = active;
                    invalidate();
                })
                ->allowsHitTesting(false);
        });
    return chip->overlay(layers);
}

}  // namespace qv
