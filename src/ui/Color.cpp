#include "ui/Color.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qv {

std::string RGBA::hex() const {
    auto byte = [](double v) { return static_cast<unsigned>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", byte(r), byte(g), byte(b));
    return buf;
}

RGBA Color::resolve(ColorScheme scheme) const {
    const bool dark = scheme == ColorScheme::dark;
    auto grey = [&](double v, double a) { return RGBA{v, v, v, alphaReplacesRole ? alpha : a * alpha}; };
    switch (role) {
        case Role::fixed:
            return {r, g, b, alpha};
        case Role::primary:
            return dark ? grey(1, 0.85) : grey(0, 0.85);
        case Role::secondary:
            return dark ? grey(1, 0.55) : grey(0, 0.5);
        case Role::tertiary:
            return dark ? grey(1, 0.25) : grey(0, 0.26);
        case Role::accent:
            return dark ? RGBA{0.04, 0.52, 1.0, alpha} : RGBA{0.0, 0.478, 1.0, alpha};
        case Role::windowBackground:
            return dark ? grey(0.196, 1) : grey(0.925, 1);
        case Role::controlBackground:
            return dark ? grey(0.118, 1) : grey(1, 1);
        case Role::underPageBackground:
            return dark ? grey(0.157, 1) : grey(0.85, 1);
        case Role::separator:
            return dark ? grey(1, 0.1) : grey(0, 0.1);
    }
    return {r, g, b, alpha};
}

}  // namespace qv
