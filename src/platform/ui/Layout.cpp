// The view layer's layout, in three steps over one pass (LayoutPass): resolving a node tree into
// the nodes that lay out (views evaluated, state and environment attached, identities given;
// Resolve.cpp), measuring them SwiftUI's way, a size proposed to each child and the child's answer
// (Measure.cpp), and placing them by alignment (Place.cpp), which builds the display list as it
// goes (Emit.cpp). Memoised subtrees built from the same inputs as in the last layout take over
// what it made of them instead (Memo.cpp). This file holds the rules that several steps read.
#include "platform/ui/LayoutRules.h"

namespace qv::layout {

using Kind = Element::Kind;
using Mod = Element::Mod;

Font fontOf(const RNode& n) {
    return n.el->extras().fontValue.value_or(n.env.font.value_or(Font::system(13)));
}

double idealTextWidth(const RNode& n, const Font& f) {
    if (n.textWidth < 0) n.textWidth = textmetrics::width(n.el->label, f, n.el->extras().tracking);
    return n.textWidth;
}

ResolvedPaint resolvePaint(const Paint& p, ColorScheme scheme) {
    ResolvedPaint r;
    if (const Color* c = std::get_if<Color>(&p)) {
        r.color = c->resolve(scheme);
    } else {
        const Gradient& g = std::get<Gradient>(p);
        r.isGradient = true;
        for (const Color& c : g.colors) r.stops.push_back(c.resolve(scheme));
        r.start = g.start;
        r.end = g.end;
    }
    return r;
}

std::optional<Shape> outlineOf(const RNode& n) {
    const Element& e = *n.el;
    if (e.kind == Kind::shape) return e.shape;
    if (e.kind != Kind::modifier || n.kids.empty()) return std::nullopt;
    switch (e.mod) {
        case Mod::clip:
            return e.shape;
        case Mod::background:
            if (auto s = outlineOf(*n.kids[1])) return s;
            return outlineOf(*n.kids[0]);
        case Mod::frame:
        case Mod::opacity:
        case Mod::id:
        case Mod::environment:
        case Mod::help:
        case Mod::accessibility:
        case Mod::hover:
        case Mod::tap:
        case Mod::rightClick:
        case Mod::contextMenu:
        case Mod::contentShape:
        case Mod::hitTesting:
        case Mod::disabled:
        case Mod::cursor:
            return outlineOf(*n.kids[0]);
        default:
            return std::nullopt;
    }
}

}  // namespace qv::layout
