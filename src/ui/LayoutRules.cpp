// Rules of the layout pass that more than one of its steps reads (LayoutRules.h).
#include "ui/LayoutRules.h"

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

bool textFits(double idealWidth, std::optional<double> width) {
    return !width || idealWidth <= *width + 1e-9;
}

std::vector<textmetrics::Line> textLines(const RNode& n, const Font& f, double width) {
    const Element& e = *n.el;
    const std::optional<int> limit = e.extras().lineLimitValue ? e.extras().lineLimitValue : n.env.lineLimit;
    if (limit == 1) return {textmetrics::truncateTail(e.label, f, width, e.extras().tracking)};
    return textmetrics::wrap(e.label, f, width, limit.value_or(0), e.extras().tracking);
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

MemoUse memoUse(const Element& e) {
    switch (e.kind) {
        case Kind::empty:
        case Kind::group:
        case Kind::stack:
        case Kind::zstack:
        case Kind::spacer:
        case Kind::divider:
        case Kind::text:
        case Kind::image:
        case Kind::shape:
        case Kind::material:
        case Kind::spinner:
        // A state tells its changes through the invalidation it is given; a memo inside another
        // passes its content's use on to the outer one.
        case Kind::stateful:
        case Kind::memo:
            return MemoUse::reuse;
        // The host's scroll offsets, focus and drags.
        case Kind::scroll:
        case Kind::textField:
        case Kind::list:
            return MemoUse::buildInPlace;
        // A view object's members, which it reads in its body.
        case Kind::view:
            return MemoUse::build;
        case Kind::modifier:
            switch (e.mod) {
                case Mod::frame:
                case Mod::flexFrame:
                case Mod::padding:
                case Mod::background:
                case Mod::overlay:
                case Mod::opacity:
                case Mod::scale:
                case Mod::offset:
                case Mod::zIndex:
                case Mod::shadow:
                case Mod::help:
                case Mod::contentShape:
                case Mod::hitTesting:
                case Mod::disabled:
                case Mod::hover:
                case Mod::tap:
                case Mod::rightClick:
                case Mod::contextMenu:
                case Mod::drag:
                case Mod::appear:
                case Mod::disappear:
                case Mod::frameReport:
                case Mod::animation:
                case Mod::environment:
                case Mod::fixedSize:
                case Mod::rotation:
                case Mod::focusable:
                case Mod::cursor:
                case Mod::accessibility:
                    return MemoUse::reuse;
                // A clip stands in the content's coordinates; an id is where a scroll target is
                // looked for.
                case Mod::clip:
                case Mod::id:
                    return MemoUse::buildInPlace;
            }
    }
    return MemoUse::build;
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
