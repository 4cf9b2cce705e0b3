#include "bar_views/BarBackground.h"

#include "bar_views/VisualEffectBlur.h"

namespace qv {

BarBackgroundStyle barBackgroundStyle(bool reduceTransparency, ColorScheme colorScheme, BarTheme theme) {
    if (reduceTransparency) {
        return colorScheme == ColorScheme::dark ? BarBackgroundStyle::reduceTransparencyDark
                                                : BarBackgroundStyle::reduceTransparencyLight;
    }
    if (colorScheme == ColorScheme::light) return BarBackgroundStyle::lightAdaptive;
    switch (theme) {
        case BarTheme::frosted:
            return BarBackgroundStyle::frosted;
        case BarTheme::longhorn:
            return BarBackgroundStyle::longhorn;
        case BarTheme::aero:
            return BarBackgroundStyle::aero;
    }
    return BarBackgroundStyle::frosted;
}

namespace {

Node hudBlur(double opacity) {
    return VisualEffectBlur{Material::hudWindow, BlendingMode::behindWindow}.body()->opacity(opacity);
}

// A line one point high along the top or bottom edge.
Node edgeLine(Node base, Paint paint, Alignment edge) {
    return base->overlay(Fill(std::move(paint))->frame(std::nullopt, 1), edge);
}

Node LonghornThemeBackground() {
    Node body =
        ZStack({hudBlur(0.78), Fill(Gradient{{Color::white(0.12), Color::white(0.05), Color::black(0.08)},
                                             UnitPoint::top(),
                                             UnitPoint::bottom()})});
    return edgeLine(edgeLine(body, Color::white(0.18), Alignment::top()), Color::black(0.12),
                    Alignment::bottom());
}

Node AeroThemeBackground() {
    // The sheen covers the upper half only.
    Node body = ZStack({hudBlur(0.85), Fill(Gradient{{Color::white(0.28), Color::white(0.08), Color::clear()},
                                                     UnitPoint::top(),
                                                     UnitPoint::center()})});
    Paint highlight =
        Gradient{{Color::white(0.45), Color::white(0.2)}, UnitPoint::leading(), UnitPoint::trailing()};
    return edgeLine(edgeLine(body, highlight, Alignment::top()), Color::black(0.25), Alignment::bottom());
}

Node LightAdaptiveBarBackground() {
    return edgeLine(ZStack({hudBlur(1.0), Fill(Color::white(0.28))}), Color::black(0.1), Alignment::bottom());
}

}  // namespace

Node BarBackground::body() const {
    switch (style()) {
        case BarBackgroundStyle::reduceTransparencyDark:
            return Fill(Color::rgb(37.0 / 255, 37.0 / 255, 37.0 / 255, 1.0));
        case BarBackgroundStyle::reduceTransparencyLight:
            return Fill(Color::white(0.92));
        case BarBackgroundStyle::lightAdaptive:
            return LightAdaptiveBarBackground();
        case BarBackgroundStyle::frosted:
            return VisualEffectBlur{Material::menu, BlendingMode::behindWindow}.body();
        case BarBackgroundStyle::longhorn:
            return LonghornThemeBackground();
        case BarBackgroundStyle::aero:
            return AeroThemeBackground();
    }
    return EmptyNode();
}

}  // namespace qv
