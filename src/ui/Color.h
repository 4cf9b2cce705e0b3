#pragma once

#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace qv {

enum class ColorScheme { light, dark };

// A colour resolved for drawing: sRGB components and alpha, each 0...1.
struct RGBA {
    double r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const RGBA&, const RGBA&) = default;
    std::string hex() const;  // "#rrggbb"
};

// A colour as the views name it: a fixed sRGB value, or one of the platform's adaptive colours,
// which take their value from the colour scheme of the view that draws them.
struct Color {
    enum class Role {
        fixed,
        primary,    // label colour
        secondary,  // secondary label
        tertiary,
        accent,
        windowBackground,
        controlBackground,
        underPageBackground,
        separator,
    };
    Role role = Role::fixed;
    double r = 0, g = 0, b = 0;
    double alpha = 1;

    static Color rgb(double r, double g, double b, double a = 1) { return {Role::fixed, r, g, b, a}; }
    static Color white(double opacity = 1) { return rgb(1, 1, 1, opacity); }
    static Color black(double opacity = 1) { return rgb(0, 0, 0, opacity); }
    static Color gray(double opacity = 1) { return rgb(0.557, 0.557, 0.576, opacity); }
    static Color clear() { return rgb(0, 0, 0, 0); }
    static Color red() { return rgb(1.0, 0.231, 0.188); }
    static Color green() { return rgb(0.204, 0.780, 0.349); }
    static Color orange() { return rgb(1.0, 0.584, 0.0); }
    static Color blue() { return rgb(0.0, 0.478, 1.0); }
    static Color named(Role r) { return {r, 0, 0, 0, 1}; }
    static Color primary() { return named(Role::primary); }
    static Color secondary() { return named(Role::secondary); }
    static Color tertiary() { return named(Role::tertiary); }
    static Color accent() { return named(Role::accent); }
    static Color windowBackground() { return named(Role::windowBackground); }
    static Color controlBackground() { return named(Role::controlBackground); }
    static Color underPageBackground() { return named(Role::underPageBackground); }
    static Color separator() { return named(Role::separator); }

    // The same colour with its alpha multiplied by `o`, as SwiftUI's opacity(_:) on a colour.
    Color opacity(double o) const {
        Color c = *this;
        c.alpha *= o;
        return c;
    }
    // The same colour at exactly this alpha, whatever the alpha of its role (NSColor's
    // withAlphaComponent(_:)), where opacity(_:) scales it.
    Color withAlphaComponent(double a) const {
        Color c = *this;
        c.alpha = a;
        c.alphaReplacesRole = true;
        return c;
    }
    bool alphaReplacesRole = false;
    RGBA resolve(ColorScheme scheme) const;
    friend bool operator==(const Color&, const Color&) = default;
};

// Where a gradient starts and ends, in unit coordinates of the filled rectangle.
struct UnitPoint {
    double x = 0.5, y = 0.5;
    static constexpr UnitPoint center() { return {0.5, 0.5}; }
    static constexpr UnitPoint top() { return {0.5, 0}; }
    static constexpr UnitPoint bottom() { return {0.5, 1}; }
    static constexpr UnitPoint leading() { return {0, 0.5}; }
    static constexpr UnitPoint trailing() { return {1, 0.5}; }
    static constexpr UnitPoint topLeading() { return {0, 0}; }
    static constexpr UnitPoint topTrailing() { return {1, 0}; }
    static constexpr UnitPoint bottomLeading() { return {0, 1}; }
    static constexpr UnitPoint bottomTrailing() { return {1, 1}; }
    friend bool operator==(const UnitPoint&, const UnitPoint&) = default;
};

// A linear gradient with evenly spaced colours.
struct Gradient {
    std::vector<Color> colors;
    UnitPoint start = UnitPoint::top();
    UnitPoint end = UnitPoint::bottom();
    friend bool operator==(const Gradient&, const Gradient&) = default;
};

}  // namespace qv
