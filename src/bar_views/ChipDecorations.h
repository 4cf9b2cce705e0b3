#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Image.h"
#include "ui/Node.h"

namespace qv {

// The red capsule with an app's Dock badge text.
struct BadgeOverlay {
    std::string badge;
    double iconSize = 0;
    double maxWidth = kInfinity;  // the room there is for it; the text is cut at the tail

    // The badge's height and least width, and the size of its text, for an icon of `iconSize`.
    static double side(double iconSize);
    static double fontSize(double iconSize);
    // The drawn width: the padded text, kept between one and two and a half sides.
    double width() const;
    Node body() const;
};

// An app icon with its badge hung off the top-right corner; the part of the badge that reaches
// past the icon gets room beside it, so that it never covers the title.
struct IconWithBadge {
    std::shared_ptr<const Image> icon;
    double iconSize = 0;
    std::optional<std::string> badge;

    // The width the badge adds beside the icon: 0 without a badge.
    double reservedBadgeWidth() const;
    Node body() const;

    // In a chip of a fixed width `side` (the pinned chip's square) there is no room beside the
    // icon: the icon with its badge is centred there as far as it fits, but the icon stays in the
    // square and the badge, at most `side` wide, ends inside it, reaching left over the icon
    // rather than into the next chip. Offsets from the square's leading edge.
    struct SquareLayout {
        double iconX = 0;
        double badgeX = 0;
        double badgeWidth = 0;  // 0 without a badge
    };
    SquareLayout squareLayout(double side) const;
    // The icon and its badge in a `side` x `side` square, the icon centred vertically.
    Node bodyInSquare(double side) const;
};

// The thin outline of the focused chip.
struct ActiveChipEdge {
    double cornerRadius = 0;
    bool isActive = false;
    bool usesLightBar = false;

    double lineOpacity() const { return usesLightBar ? 0.5 : 0.35; }
    Node applied(Node chip) const;
};

// The pulsing outline and tint of a chip whose app asks for attention. The pulse swings between
// its two looks by the animation's own repetition; the view only flips it when `isActive` does.
struct AttentionPulse {
    bool isActive = false;
    double cornerRadius = 0;

    struct Look {
        double lineWidth = 0;
        double outlineOpacity = 0;
        double tintOpacity = 0;
    };
    // The two ends of the swing.
    static Look look(bool pulse);
    static Animation animation(bool isActive);
    Node applied(Node chip) const;
};

}  // namespace qv
