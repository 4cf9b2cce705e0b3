#pragma once

// Rules of the layout pass that more than one of its steps reads; not for use elsewhere.

#include <optional>
#include <vector>

#include "platform/ui/LayoutPass.h"

namespace qv::layout {

inline double along(Axis a, Size s) {
    return a == Axis::horizontal ? s.width : s.height;
}
inline double across(Axis a, Size s) {
    return a == Axis::horizontal ? s.height : s.width;
}
inline Size makeSize(Axis a, double al, double ac) {
    return a == Axis::horizontal ? Size{al, ac} : Size{ac, al};
}
inline std::optional<double> along(Axis a, const ProposedSize& p) {
    return a == Axis::horizontal ? p.width : p.height;
}
inline std::optional<double> across(Axis a, const ProposedSize& p) {
    return a == Axis::horizontal ? p.height : p.width;
}
inline ProposedSize makeProposal(Axis a, std::optional<double> al, std::optional<double> ac) {
    return a == Axis::horizontal ? ProposedSize{al, ac} : ProposedSize{ac, al};
}

Font fontOf(const RNode& n);
// A text's width on one line in its font, measured once however often it is proposed a size.
double idealTextWidth(const RNode& n, const Font& f);
ResolvedPaint resolvePaint(const Paint& p, ColorScheme scheme);

double zIndexOf(const RNode& n);
// The children in the order they paint: by z-index, in their own order among equals; none when
// that is their own order, as it nearly always is.
std::optional<std::vector<size_t>> paintOrder(const RNode::Kids& kids);
// The pointer modifiers of a view, which the walk for a gesture's content shape passes through.
bool isPointerModifier(Element::Mod m);
// The shape the gestures of a modifier answer in: a content shape given beneath it, through the
// other pointer modifiers of the same view, else its whole frame.
Shape gestureShape(const RNode& child);
// The outline a shadow follows: the shape its content draws in the shadow's own frame, seen through
// the modifiers that keep that frame; a clip shape or a background shape gives it as well.
std::optional<Shape> outlineOf(const RNode& n);

}  // namespace qv::layout
