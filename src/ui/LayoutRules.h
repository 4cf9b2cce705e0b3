#pragma once

// Rules of the layout pass that more than one of its steps reads; not for use elsewhere.

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

#include "ui/LayoutPass.h"

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

// What a memo around a node may do, by the node's kind or modifier. One switch over every kind and
// modifier, without a default, so that a new one is not reused before its author says it may be.
enum class MemoUse {
    reuse,         // taken over while its inputs, environment, state and placement stay the same
    buildInPlace,  // built every time, where it stands: its steps depend on where that is
    build,         // built every time: it reads what no record tells apart
};
MemoUse memoUse(const Element& e);

Font fontOf(const RNode& n);
// A text's width on one line in its font, measured once however often it is proposed a size.
double idealTextWidth(const RNode& n, const Font& f);
ResolvedPaint resolvePaint(const Paint& p, ColorScheme scheme);

// How a text stands in the width it is offered (none: as wide as it likes): whole on one line when
// it fits, else cut at its tail under a one-line limit, else wrapped. Measuring and drawing ask this
// one rule with the width measuring offered, so that what is drawn is what was measured.
bool textFits(double idealWidth, std::optional<double> width);
std::vector<textmetrics::Line> textLines(const RNode& n, const Font& f, double width);

inline double zIndexOf(const RNode& n) {
    using Kind = Element::Kind;
    const RNode* cur = &n;
    while (cur->el->kind == Kind::modifier) {
        if (cur->el->mod == Element::Mod::zIndex) return cur->el->amount;
        if (cur->kids.empty()) return 0;
        cur = cur->kids[0].get();
    }
    if (cur->el->kind != Kind::memo) return 0;
    // A memo that reuses the last layout's content knows its z-index without it.
    return cur->kids.empty() ? (cur->memo ? cur->memo->zIndex : 0) : zIndexOf(*cur->kids[0]);
}

// The children in the order they paint: by z-index, in their own order among equals; none when
// that is their own order, as it nearly always is.
inline std::optional<std::vector<size_t>> paintOrder(const RNode::Kids& kids) {
    bool inOrder = true;
    for (size_t i = 1; i < kids.size() && inOrder; ++i)
        inOrder = zIndexOf(*kids[i - 1]) <= zIndexOf(*kids[i]);
    if (inOrder) return std::nullopt;
    std::vector<size_t> order(kids.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return zIndexOf(*kids[a]) < zIndexOf(*kids[b]); });
    return order;
}

// The pointer modifiers of a view, which the walk for a gesture's content shape passes through.
inline bool isPointerModifier(Element::Mod m) {
    using Mod = Element::Mod;
    switch (m) {
        case Mod::hover:
        case Mod::tap:
        case Mod::rightClick:
        case Mod::contextMenu:
        case Mod::drag:
        case Mod::help:
        case Mod::accessibility:
        case Mod::focusable:
        case Mod::cursor:
        case Mod::id:
            return true;
        default:
            return false;
    }
}

// The shape the gestures of a modifier answer in: a content shape given beneath it, through the
// other pointer modifiers of the same view, else its whole frame.
inline Shape gestureShape(const RNode& child) {
    const RNode* n = &child;
    while (n->el->kind == Element::Kind::modifier && !n->kids.empty()) {
        if (n->el->mod == Element::Mod::contentShape) return n->el->shape;
        if (!isPointerModifier(n->el->mod)) return Shape::rect();
        n = n->kids[0].get();
    }
    return Shape::rect();
}

// The outline a shadow follows: the shape its content draws in the shadow's own frame, seen through
// the modifiers that keep that frame; a clip shape or a background shape gives it as well.
std::optional<Shape> outlineOf(const RNode& n);

}  // namespace qv::layout
