// Resolving a node tree (views, state, environment), laying it out SwiftUI's way (a size proposed
// to each child, the child's answer, placement by alignment) and emitting the display list.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

#include "platform/ui/HostingView.h"
#include "platform/ui/LayoutPass.h"

namespace qv {

namespace {

using Kind = Element::Kind;
using Mod = Element::Mod;

double along(Axis a, Size s) {
    return a == Axis::horizontal ? s.width : s.height;
}
double across(Axis a, Size s) {
    return a == Axis::horizontal ? s.height : s.width;
}
Size makeSize(Axis a, double al, double ac) {
    return a == Axis::horizontal ? Size{al, ac} : Size{ac, al};
}
std::optional<double> along(Axis a, const ProposedSize& p) {
    return a == Axis::horizontal ? p.width : p.height;
}
std::optional<double> across(Axis a, const ProposedSize& p) {
    return a == Axis::horizontal ? p.height : p.width;
}
ProposedSize makeProposal(Axis a, std::optional<double> al, std::optional<double> ac) {
    return a == Axis::horizontal ? ProposedSize{al, ac} : ProposedSize{ac, al};
}

double alignOffset(HorizontalAlignment h, double space, double size) {
    switch (h) {
        case HorizontalAlignment::leading:
            return 0;
        case HorizontalAlignment::center:
            return (space - size) / 2;
        case HorizontalAlignment::trailing:
            return space - size;
    }
    return 0;
}
double alignOffset(VerticalAlignment v, double space, double size) {
    switch (v) {
        case VerticalAlignment::top:
            return 0;
        case VerticalAlignment::center:
            return (space - size) / 2;
        case VerticalAlignment::bottom:
            return space - size;
    }
    return 0;
}
Rect aligned(const Rect& frame, Size child, Alignment a) {
    return {frame.origin.x + alignOffset(a.horizontal, frame.width(), child.width),
            frame.origin.y + alignOffset(a.vertical, frame.height(), child.height), child.width,
            child.height};
}

Font fontOf(const RNode& n) {
    return n.el->extras().fontValue.value_or(n.env.font.value_or(Font::system(13)));
}

// A text's width on one line in its font, measured once however often it is proposed a size.
double idealTextWidth(const RNode& n, const Font& f) {
    if (n.textWidth < 0) n.textWidth = textmetrics::width(n.el->label, f, n.el->extras().tracking);
    return n.textWidth;
}
Color colorOf(const RNode& n) {
    return n.el->extras().color.value_or(n.env.foreground.value_or(Color::primary()));
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

// The flexible frame's rule for one dimension, as SwiftUI documents it.
double flexDimension(std::optional<double> mn, std::optional<double> mx, std::optional<double> proposed,
                     double child) {
    if (!mn && !mx) return child;
    double p = proposed.value_or(child);
    if (mn && mx) return std::clamp(p, *mn, std::max(*mn, *mx));
    if (mn && p < child) return std::max(p, *mn);
    if (mx && p > child) return std::min(p, *mx);
    if (mn) return std::max(child, *mn);
    if (mx) return std::min(child, *mx);
    return child;
}

std::optional<double> clampProposal(std::optional<double> p, std::optional<double> mn,
                                    std::optional<double> mx, std::optional<double> ideal) {
    if (!p) return ideal;
    double v = *p;
    if (mx) v = std::min(v, *mx);
    if (mn) v = std::max(v, *mn);
    return v;
}

std::optional<double> minus(std::optional<double> v, double d) {
    if (!v) return v;
    return std::max(0.0, *v - d);
}

// Whether a modifier proposes its content what it was proposed and takes the content's answer.
bool takesContentSize(Mod m) {
    return m != Mod::frame && m != Mod::flexFrame && m != Mod::padding && m != Mod::fixedSize;
}

double zIndexOf(const RNode& n) {
    const RNode* cur = &n;
    while (cur->el->kind == Kind::modifier) {
        if (cur->el->mod == Mod::zIndex) return cur->el->amount;
        if (cur->kids.empty()) break;
        cur = cur->kids[0].get();
    }
    return 0;
}

// The children in the order they paint: by z-index, in their own order among equals; none when
// that is their own order, as it nearly always is.
std::optional<std::vector<size_t>> paintOrder(const RNode::Kids& kids) {
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

// The shape the gestures of a modifier answer in: a content shape given beneath it, through the
// other pointer modifiers of the same view, else its whole frame.
// The pointer modifiers of a view, which the walk for a gesture's content shape passes through.
bool isPointerModifier(Mod m) {
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

Shape gestureShape(const RNode& child) {
    const RNode* n = &child;
    while (n->el->kind == Kind::modifier && !n->kids.empty()) {
        if (n->el->mod == Mod::contentShape) return n->el->shape;
        if (!isPointerModifier(n->el->mod)) return Shape::rect();
        n = n->kids[0].get();
    }
    return Shape::rect();
}

// The outline a shadow follows: the shape its content draws in the shadow's own frame, seen through
// the modifiers that keep that frame; a clip shape or a background shape gives it as well.
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

// A modifier that changes nothing where it stands: full opacity, no scale, offset, rotation or
// z-index.
bool isNeutral(const Element& e) {
    switch (e.mod) {
        case Mod::opacity:
            return e.amount == 1;
        case Mod::scale:
            return e.scale.width == 1 && e.scale.height == 1;
        case Mod::offset:
            return e.offsetBy.x == 0 && e.offsetBy.y == 0;
        case Mod::rotation:
        case Mod::zIndex:
            return e.amount == 0;
        default:
            return false;
    }
}

// Whether a neutral modifier's content can stand in its place: only where no rule that looks at
// the nodes around it (stacks' spacers, groups joining their parent, the walks for a gesture's
// content shape, a shadow's outline and the z-index) would see the difference.
bool mayStandInPlaceOf(const RNode& content, Mod m) {
    const Element& c = *content.el;
    if (c.kind == Kind::spacer || c.kind == Kind::group) return false;
    if (c.kind == Kind::modifier && (c.mod == Mod::contentShape || isPointerModifier(c.mod))) return false;
    if (m != Mod::opacity && outlineOf(content)) return false;
    return m != Mod::zIndex || zIndexOf(content) == 0;
}

}  // namespace

// --- Resolving ---

const std::string& PathSegment::str() const {
    if (!spelt.empty() || (separator.empty() && text.empty())) return spelt;
    // From here up to the nearest ancestor already spelt, whose spelling is the prefix.
    size_t length = 0;
    const PathSegment* top = this;
    for (; top && top->spelt.empty(); top = top->parent) length += top->separator.size() + top->text.size();
    const size_t prefix = top ? top->spelt.size() : 0;
    spelt.resize(prefix + length);
    if (top) spelt.replace(0, prefix, top->spelt);
    size_t end = prefix + length;
    for (const PathSegment* s = this; s != top; s = s->parent) {
        end -= s->text.size();
        std::copy(s->text.begin(), s->text.end(), spelt.begin() + static_cast<std::ptrdiff_t>(end));
        end -= s->separator.size();
        std::copy(s->separator.begin(), s->separator.end(), spelt.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return spelt;
}

const PathSegment* LayoutPass::segment(const PathSegment* parent, std::string_view separator,
                                       std::string_view text) {
    const size_t block = segmentCount_ / kSegmentBlock;
    if (block == segmentBlocks_.size()) segmentBlocks_.emplace_back(new PathSegment[kSegmentBlock]);
    PathSegment& s = segmentBlocks_[block][segmentCount_++ % kSegmentBlock];
    s.spelt.clear();  // a block handed over from an earlier pass
    s.parent = parent;
    s.separator = separator;
    s.text = text;
    return &s;
}

const PathSegment* LayoutPass::segment(const PathSegment* parent, size_t index) {
    auto* s = const_cast<PathSegment*>(segment(parent, "/"));
    char* end = std::to_chars(s->digits, s->digits + sizeof s->digits, index).ptr;
    s->text = std::string_view(s->digits, size_t(end - s->digits));
    return s;
}

const Environment& LayoutPass::keepEnvironment(const Environment& env) {
    return environments_.emplace_back(env);
}

std::unique_ptr<RNode> LayoutPass::resolve(const Node& node, std::string_view rootPath,
                                           const Environment& env) {
    pathTexts_.push_back(node);
    return resolve(node, segment(nullptr, {}, rootPath), keepEnvironment(env), std::nullopt);
}

std::unique_ptr<RNode> LayoutPass::resolve(const Node& node, const PathSegment* path, const Environment& env,
                                           std::optional<Axis> parentAxis) {
    if (!node) return nullptr;
    const Element& e = *node;
    switch (e.kind) {
        case Kind::empty:
            return nullptr;
        case Kind::view: {
            if (!e.extras().viewObject) return nullptr;
            e.extras().viewObject->invalidate_ = host_.invalidator();
            e.extras().viewObject->environment_ = env;
            views_.push_back(e.extras().viewObject);
            return resolve(e.extras().viewObject->body(), path, env, parentAxis);
        }
        case Kind::stateful: {
            const std::string& spelt = path->str();
            // Only the tree of an update keeps state alive; a measuring pass's does not.
            std::any& storage = out_ ? host_.liveStateFor(spelt, e.extras().statefulInitial)
                                     : host_.stateFor(spelt, e.extras().statefulInitial);
            Node built = e.extras().statefulBuild(storage, host_.invalidator());
            return resolve(built, segment(path, "~"), env, parentAxis);
        }
        case Kind::modifier: {
            const Environment* inner = &env;
            const auto* change = e.handlerAs<std::function<void(Environment&)>>();
            if ((e.mod == Mod::environment && change && *change) || (e.mod == Mod::disabled && e.flag)) {
                Environment changed = env;
                if (e.mod == Mod::environment) (*change)(changed);
                if (e.mod == Mod::disabled) changed.isEnabled = false;
                inner = &keepEnvironment(changed);
            }
            const PathSegment* childPath = segment(path, "/m");
            auto child = resolve(e.children[0], childPath, *inner, parentAxis);
            if (!child) {
                // Modifiers of nothing draw nothing, except backgrounds and overlays, which still
                // stand for their decoration of an empty frame.
                if (e.mod != Mod::frame && e.mod != Mod::flexFrame && e.mod != Mod::padding) return nullptr;
                child = std::make_unique<RNode>(EmptyNode(), childPath, *inner, parentAxis);
            }
            // The content keeps its own path, so its state is the same with or without the modifier.
            if (isNeutral(e) && mayStandInPlaceOf(*child, e.mod)) return child;
            auto n =
                std::make_unique<RNode>(node, path, e.mod == Mod::environment ? *inner : env, parentAxis);
            const bool decorated = e.mod == Mod::background || e.mod == Mod::overlay;
            n->kids.reserve(decorated ? 2 : 1);
            n->kids.push_back(std::move(child));
            if (decorated) {
                auto deco = resolve(e.children[1], segment(path, e.mod == Mod::background ? "/bg" : "/ov"),
                                    *inner, std::nullopt);
                if (!deco)
                    deco = std::make_unique<RNode>(EmptyNode(), segment(path, "/bg"), *inner, std::nullopt);
                n->kids.push_back(std::move(deco));
            }
            return n;
        }
        case Kind::scroll: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            const PathSegment* contentPath = segment(path, "/c");
            auto content = resolve(e.children[0], contentPath, env, std::nullopt);
            if (!content) content = std::make_unique<RNode>(EmptyNode(), contentPath, env, std::nullopt);
            n->kids.push_back(std::move(content));
            return n;
        }
        case Kind::list: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            pathTexts_.push_back(node);
            for (const ListRow& row : e.extras().list->rows) {
                const PathSegment* rowPath = segment(path, "/#", row.id);
                auto content = resolve(row.content, rowPath, env, std::nullopt);
                if (!content) content = std::make_unique<RNode>(EmptyNode(), rowPath, env, std::nullopt);
                n->kids.push_back(std::move(content));
            }
            return n;
        }
        case Kind::textField: {
            if (e.extras().focusBinding && e.extras().focusBinding.get()) focusCandidate_ = path->str();
            return std::make_unique<RNode>(node, path, env, parentAxis);
        }
        case Kind::group:
        case Kind::stack:
        case Kind::zstack: {
            auto n = std::make_unique<RNode>(node, path, env, parentAxis);
            std::optional<Axis> childAxis;
            if (e.kind == Kind::stack) childAxis = e.axis;
            if (e.kind == Kind::group) childAxis = parentAxis;
            n->kids.reserve(e.children.size());
            resolveChildren(e.children, path, env, childAxis, n->kids);
            if (e.kind == Kind::group && n->kids.size() == 1) return std::move(n->kids[0]);
            if (n->kids.empty() && e.kind == Kind::group) return nullptr;
            return n;
        }
        default:
            return std::make_unique<RNode>(node, path, env, parentAxis);
    }
}

void LayoutPass::resolveChildren(const Element::Children& children, const PathSegment* path,
                                 const Environment& env, std::optional<Axis> axis, RNode::Kids& out) {
    for (size_t i = 0; i < children.size(); ++i) {
        const Node& c = children[i];
        if (!c) continue;
        // The child's identity: its id, else its place among its siblings.
        const PathSegment* childPath;
        if (c->kind == Kind::modifier && c->mod == Mod::id) {
            pathTexts_.push_back(c);
            childPath = segment(path, "/#", c->label);
        } else {
            childPath = segment(path, i);
        }
        if (c->kind == Kind::group) {
            // Groups have no layout of their own: their children join the parent.
            resolveChildren(c->children, childPath, env, axis, out);
            continue;
        }
        if (auto r = resolve(c, childPath, env, axis)) {
            if (r->el->kind == Kind::group) {
                for (auto& k : r->kids) out.push_back(std::move(k));
            } else {
                out.push_back(std::move(r));
            }
        }
    }
}

// --- Measuring ---

Size LayoutPass::measure(const RNode& node, const ProposedSize& p) {
    // Most modifiers answer with their content's size for the very proposal they were given: the
    // content's answer, cached there, is theirs.
    const RNode* n = &node;
    while (n->el->kind == Kind::modifier && takesContentSize(n->el->mod)) n = n->kids[0].get();
    const double w = p.width.value_or(-1.0), h = p.height.value_or(-1.0);
    if (const Size* known = n->cache.find(w, h)) return *known;
    Size s = measureUncached(*n, p);
    n->cache.add(w, h, s);
    return s;
}

LayoutPass::StackSizes LayoutPass::stackSizes(const RNode& n, const ProposedSize& p) {
    const Axis axis = n.el->axis;
    const size_t count = n.kids.size();
    StackSizes sizes(count);
    if (count == 0) return sizes;
    auto al = along(axis, p);
    auto ac = across(axis, p);
    if (!al || std::isinf(*al)) {
        for (size_t i = 0; i < count; ++i) sizes[i] = measure(*n.kids[i], makeProposal(axis, al, ac));
        return sizes;
    }
    double remaining = *al - n.el->spacing * double(count - 1);
    SmallArray<double, 16> flex(count);
    for (size_t i = 0; i < count; ++i) {
        double mn = along(axis, measure(*n.kids[i], makeProposal(axis, 0.0, ac)));
        double mx = along(axis, measure(*n.kids[i], makeProposal(axis, kInfinity, ac)));
        flex[i] = mx - mn;
    }
    // The least flexible first, in their own order among equals (an insertion sort: stacks are short).
    SmallArray<size_t, 16> order(count);
    for (size_t i = 0; i < count; ++i) {
        size_t j = i;
        for (; j > 0 && flex[i] < flex[order[j - 1]]; --j) order[j] = order[j - 1];
        order[j] = i;
    }
    // Spacers yield: the other children share what is left once the spacers' minimums are set
    // aside, and the spacers take what remains after them.
    auto isSpacer = [&](size_t i) { return n.kids[i]->el->kind == Kind::spacer; };
    size_t left = 0, spacers = 0;
    double spacerMinimums = 0;
    for (size_t i = 0; i < count; ++i) {
        if (isSpacer(i)) {
            spacerMinimums += n.kids[i]->el->extras().minLength.value_or(8);
            ++spacers;
        } else {
            ++left;
        }
    }
    remaining -= spacerMinimums;
    for (size_t i : order) {
        if (isSpacer(i)) continue;
        double share = std::max(0.0, remaining / double(left));
        sizes[i] = measure(*n.kids[i], makeProposal(axis, share, ac));
        remaining -= along(axis, sizes[i]);
        --left;
    }
    for (size_t i : order) {
        if (!isSpacer(i)) continue;
        const double minimum = n.kids[i]->el->extras().minLength.value_or(8);
        double share = std::max(0.0, (remaining + spacerMinimums) / double(spacers));
        sizes[i] = measure(*n.kids[i], makeProposal(axis, share, ac));
        remaining -= along(axis, sizes[i]) - minimum;
        spacerMinimums -= minimum;
        --spacers;
    }
    return sizes;
}

Size LayoutPass::measureUncached(const RNode& n, const ProposedSize& p) {
    const Element& e = *n.el;
    switch (e.kind) {
        case Kind::empty:
        case Kind::view:
        case Kind::stateful:
            return {0, 0};
        case Kind::spacer: {
            double mn = e.extras().minLength.value_or(8);
            if (!n.parentAxis) return {p.width.value_or(0), p.height.value_or(0)};
            double a = std::max(mn, along(*n.parentAxis, p).value_or(mn));
            return makeSize(*n.parentAxis, a, 0);
        }
        case Kind::divider: {
            if (n.parentAxis == Axis::horizontal) return {1, p.height.value_or(0)};
            return {p.width.value_or(0), 1};
        }
        case Kind::text: {
            Font f = fontOf(n);
            double lh = textmetrics::lineHeight(f);
            double ideal = idealTextWidth(n, f);
            std::optional<int> limit =
                e.extras().lineLimitValue ? e.extras().lineLimitValue : n.env.lineLimit;
            if (!p.width || *p.width + 1e-9 >= ideal) return {ideal, lh};
            if (limit == 1)
                return {textmetrics::truncateTail(e.label, f, *p.width, e.extras().tracking).width, lh};
            auto lines = textmetrics::wrap(e.label, f, *p.width, limit.value_or(0), e.extras().tracking);
            double w = 0;
            for (const auto& l : lines) w = std::max(w, l.width);
            return {w, lh * double(lines.size())};
        }
        case Kind::image: {
            Size intrinsic{32, 32};
            if (e.imageKind == ImageKind::symbol) {
                double s = fontOf(n).size;
                intrinsic = {s, s};
            } else if (e.extras().bitmap && !e.extras().bitmap->isEmpty()) {
                intrinsic = {double(e.extras().bitmap->width), double(e.extras().bitmap->height)};
            }
            if (!e.resizable) return intrinsic;
            if (!e.extras().contentMode)
                return {p.width.value_or(intrinsic.width), p.height.value_or(intrinsic.height)};
            double sx = p.width ? *p.width / intrinsic.width : kInfinity;
            double sy = p.height ? *p.height / intrinsic.height : kInfinity;
            double s = e.extras().contentMode == ContentMode::fit ? std::min(sx, sy) : std::max(sx, sy);
            if (std::isinf(s)) s = std::isinf(sx) ? sy : sx;
            if (std::isinf(s)) s = 1;
            return {intrinsic.width * s, intrinsic.height * s};
        }
        case Kind::shape:
        case Kind::material:
            return {p.width.value_or(10), p.height.value_or(10)};
        case Kind::spinner:
            return {32, 32};
        case Kind::textField: {
            Font f = e.extras().fontValue.value_or(Font::system(13));
            return {p.width.value_or(std::max(120.0, textmetrics::width(e.label, f))),
                    textmetrics::lineHeight(f) + 4};
        }
        case Kind::list: {
            double h = 0, w = 0;
            for (size_t i = 0; i < e.extras().list->rows.size(); ++i) {
                h += e.extras().list->rows[i].height;
                w = std::max(w, measure(*n.kids[i], {p.width, e.extras().list->rows[i].height}).width);
            }
            return {p.width.value_or(w), p.height.value_or(h)};
        }
        case Kind::scroll: {
            Axis a = e.axis;
            Size content = measure(*n.kids[0], makeProposal(a, std::nullopt, across(a, p)));
            double al = along(a, p).value_or(along(a, content));
            if (std::isinf(al)) al = along(a, content);
            double ac = across(a, p) ? std::min(across(a, content), *across(a, p)) : across(a, content);
            if (across(a, p) && std::isinf(*across(a, p))) ac = across(a, content);
            return makeSize(a, al, ac);
        }
        case Kind::group:
        case Kind::zstack: {
            Size s{0, 0};
            for (const auto& k : n.kids) {
                Size c = measure(*k, p);
                s.width = std::max(s.width, c.width);
                s.height = std::max(s.height, c.height);
            }
            return s;
        }
        case Kind::stack: {
            auto sizes = stackSizes(n, p);
            Axis a = e.axis;
            double al = 0, ac = 0;
            for (const Size& s : sizes) {
                al += along(a, s);
                ac = std::max(ac, across(a, s));
            }
            if (sizes.size() > 0) al += e.spacing * double(sizes.size() - 1);
            return makeSize(a, al, ac);
        }
        case Kind::modifier:
            return measureModifier(n, p);
    }
    return {0, 0};
}

ProposedSize LayoutPass::childProposal(const RNode& n, const ProposedSize& p) {
    const Element& e = *n.el;
    switch (e.mod) {
        case Mod::frame:
            return {e.width ? e.width : p.width, e.height ? e.height : p.height};
        case Mod::flexFrame:
            return {
                clampProposal(p.width, e.extras().minWidth, e.extras().maxWidth, e.extras().idealWidth),
                clampProposal(p.height, e.extras().minHeight, e.extras().maxHeight, e.extras().idealHeight)};
        case Mod::padding:
            return {minus(p.width, e.insets.leading + e.insets.trailing),
                    minus(p.height, e.insets.top + e.insets.bottom)};
        case Mod::fixedSize:
            return {e.flag ? std::nullopt : p.width, e.flag2 ? std::nullopt : p.height};
        default:
            return p;
    }
}

Size LayoutPass::measureModifier(const RNode& n, const ProposedSize& p) {
    const Element& e = *n.el;
    Size c = measure(*n.kids[0], childProposal(n, p));
    switch (e.mod) {
        case Mod::frame:
            return {e.width.value_or(c.width), e.height.value_or(c.height)};
        case Mod::flexFrame:
            return {flexDimension(e.extras().minWidth, e.extras().maxWidth, p.width, c.width),
                    flexDimension(e.extras().minHeight, e.extras().maxHeight, p.height, c.height)};
        case Mod::padding:
            return {c.width + e.insets.leading + e.insets.trailing,
                    c.height + e.insets.top + e.insets.bottom};
        default:
            return c;
    }
}

// --- Placing and emitting ---

Rect LayoutPass::Context::map(const Rect& r) const {
    return {ox + sx * r.origin.x, oy + sy * r.origin.y, sx * r.size.width, sy * r.size.height};
}

void LayoutPass::Context::addClip(ClipLink& storage, const ClipRegion& clip) {
    storage.clip = clip;
    storage.outer = clips;
    storage.list = {};
    clips = &storage;
}

ClipList LayoutPass::Context::clipList() const {
    if (!clips) return {};
    if (clips->list.empty()) {
        size_t count = 0;
        for (const ClipLink* l = clips; l; l = l->outer) ++count;
        auto out = std::make_shared<std::vector<ClipRegion>>(count);
        for (const ClipLink* l = clips; l; l = l->outer) (*out)[--count] = l->clip;
        clips->list = ClipList(std::move(out));
    }
    return clips->list;
}

std::string LayoutPass::pathCopy(const RNode& n) {
    const std::string& path = n.path();
    if (!spareStrings_ || spareStrings_->empty()) return path;
    std::string copy = std::move(spareStrings_->back());
    spareStrings_->pop_back();
    copy.assign(path);
    return copy;
}

void LayoutPass::emitRegion(const RNode& n, const Rect& frame, const Context& ctx, HitRegion&& region) {
    if (!ctx.hitTesting || !out_) return;
    region.frame = ctx.map(frame);
    region.clips = ctx.clipList();
    region.path = pathCopy(n);
    region.enabled = n.env.isEnabled;
    out_->regions.push_back(std::move(region));
}

void LayoutPass::emitOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp&& op) {
    if (!out_) return;
    op.frame = ctx.map(frame);
    op.path = pathCopy(n);
    op.opacity = ctx.opacity;
    op.rotation = ctx.rotation;
    op.clips = ctx.clipList();
    op.scheme = n.env.colorScheme;
    out_->ops.push_back(std::move(op));
}

void LayoutPass::place(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const ProposedSize prop = ctx.proposal.value_or(ProposedSize{frame.width(), frame.height()});
    ctx.proposal.reset();
    const ColorScheme scheme = n.env.colorScheme;
    // Where ids stand matters only to the dry placement that looks for a scroll target.
    if (!out_ && e.kind == Kind::modifier && e.mod == Mod::id) idFrames_[e.label] = ctx.map(frame);
    switch (e.kind) {
        case Kind::empty:
        case Kind::view:
        case Kind::stateful:
        case Kind::spacer:
            return;
        case Kind::divider: {
            DrawOp op;
            op.fill = resolvePaint(Color::separator(), scheme);
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::text: {
            Font f = fontOf(n);
            DrawOp op;
            op.kind = DrawOp::Kind::text;
            op.font = f;
            op.font.size *= ctx.sy;
            op.tracking = e.extras().tracking * ctx.sx;
            op.color = colorOf(n).resolve(scheme);
            op.lineHeight = textmetrics::lineHeight(f) * ctx.sy;
            std::optional<int> limit =
                e.extras().lineLimitValue ? e.extras().lineLimitValue : n.env.lineLimit;
            double ideal = idealTextWidth(n, f);
            // Text breaks its lines for the width it was offered, as when it was measured.
            double width = std::max(frame.width(), prop.width.value_or(ideal)) + 1e-6;
            if (ideal <= width) {
                op.lines = {e.label};
            } else if (limit == 1) {
                auto line = textmetrics::truncateTail(e.label, f, frame.width() + 1e-6, e.extras().tracking);
                op.lines = {line.text};
                op.truncated = line.truncated;
            } else {
                for (auto& l : textmetrics::wrap(e.label, f, width, limit.value_or(0), e.extras().tracking)) {
                    op.truncated = op.truncated || l.truncated;
                    op.lines.push_back(l.text);
                }
            }
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::image: {
            DrawOp op;
            op.kind = DrawOp::Kind::image;
            op.imageKind = e.imageKind;
            op.imageName = e.label;
            op.bitmap = e.extras().bitmap;
            op.color = colorOf(n).resolve(scheme);
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::shape: {
            DrawOp op;
            op.shape = e.shape;
            if (e.fill) op.fill = resolvePaint(*e.fill, scheme);
            if (e.extras().stroke) {
                op.stroke = resolvePaint(*e.extras().stroke, scheme);
                op.lineWidth = e.extras().lineWidth * ctx.sx;
                op.strokeInside = e.extras().strokeInside;
            }
            // A shape with neither fill nor stroke fills with the foreground style, as SwiftUI's.
            if (!e.fill && !e.extras().stroke)
                op.fill = resolvePaint(n.env.foreground.value_or(Color::primary()), scheme);
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::material: {
            DrawOp op;
            op.kind = DrawOp::Kind::material;
            op.material = e.extras().material;
            op.blending = e.extras().blending;
            op.shape = ctx.clipShapeHint;
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::spinner: {
            DrawOp op;
            op.kind = DrawOp::Kind::spinner;
            op.color = Color::secondary().resolve(scheme);
            emitOp(n, frame, ctx, std::move(op));
            return;
        }
        case Kind::textField:
            placeTextField(n, frame, ctx);
            return;
        case Kind::list:
            placeList(n, frame, ctx);
            return;
        case Kind::scroll:
            placeScroll(n, frame, ctx);
            return;
        case Kind::group:
        case Kind::zstack: {
            auto placeKid = [&](size_t i) {
                Size c = measure(*n.kids[i], prop);
                Context k = ctx;
                k.proposal = prop;
                place(*n.kids[i], aligned(frame, c, e.alignment), k);
            };
            if (auto order = paintOrder(n.kids)) {
                for (size_t i : *order) placeKid(i);
            } else {
                for (size_t i = 0; i < n.kids.size(); ++i) placeKid(i);
            }
            return;
        }
        case Kind::stack: {
            Axis a = e.axis;
            auto sizes = stackSizes(n, prop);
            auto rectAt = [&](size_t i, double pos) -> Rect {
                Size s = sizes[i];
                if (a == Axis::horizontal)
                    return {pos, frame.minY() + alignOffset(e.alignment.vertical, frame.height(), s.height),
                            s.width, s.height};
                return {frame.minX() + alignOffset(e.alignment.horizontal, frame.width(), s.width), pos,
                        s.width, s.height};
            };
            double pos = a == Axis::horizontal ? frame.minX() : frame.minY();
            auto order = paintOrder(n.kids);
            if (!order) {
                for (size_t i = 0; i < sizes.size(); ++i) {
                    Rect r = rectAt(i, pos);
                    pos += along(a, sizes[i]) + e.spacing;
                    place(*n.kids[i], r, ctx);
                }
                return;
            }
            std::vector<Rect> rects(sizes.size());
            for (size_t i = 0; i < sizes.size(); ++i) {
                rects[i] = rectAt(i, pos);
                pos += along(a, sizes[i]) + e.spacing;
            }
            for (size_t i : *order) place(*n.kids[i], rects[i], ctx);
            return;
        }
        case Kind::modifier:
            ctx.proposal = prop;
            placeModifier(n, frame, ctx);
            return;
    }
}

void LayoutPass::placeModifier(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const RNode& child = *n.kids[0];
    const ProposedSize prop = ctx.proposal.value_or(ProposedSize{frame.width(), frame.height()});
    ctx.proposal = prop;
    Context::ClipLink clipLink;  // a clip's, for the placement of the child below
    // A gesture answers within the content shape beneath it.
    auto emitRegionWith = [&](auto&& fill) {
        if (!ctx.hitTesting || !out_) return;
        HitRegion r;
        fill(r);
        emitRegion(n, frame, ctx, std::move(r));
    };
    auto emitGesture = [&](auto&& fill) {
        emitRegionWith([&](HitRegion& r) {
            fill(r);
            r.shape = gestureShape(child);
        });
    };
    switch (e.mod) {
        case Mod::frame:
        case Mod::flexFrame: {
            ProposedSize inner = childProposal(n, prop);
            Size c = measure(child, inner);
            ctx.proposal = inner;
            place(child, aligned(frame, c, e.alignment), ctx);
            return;
        }
        case Mod::fixedSize: {
            ProposedSize inner = childProposal(n, prop);
            Size c = measure(child, inner);
            ctx.proposal = inner;
            place(child, aligned(frame, c, Alignment::center()), ctx);
            return;
        }
        case Mod::padding: {
            ctx.proposal = childProposal(n, prop);
            Rect inner{frame.minX() + e.insets.leading, frame.minY() + e.insets.top,
                       std::max(0.0, frame.width() - e.insets.leading - e.insets.trailing),
                       std::max(0.0, frame.height() - e.insets.top - e.insets.bottom)};
            place(child, inner, ctx);
            return;
        }
        case Mod::background:
        case Mod::overlay: {
            const RNode& deco = *n.kids[1];
            Size d = measure(deco, {frame.width(), frame.height()});
            Rect decoRect = aligned(frame, d, e.alignment);
            Context decoCtx = ctx;
            decoCtx.proposal.reset();
            if (e.mod == Mod::background) place(deco, decoRect, decoCtx);
            place(child, frame, ctx);
            if (e.mod == Mod::overlay) place(deco, decoRect, decoCtx);
            return;
        }
        case Mod::opacity:
            ctx.opacity *= e.amount;
            break;
        case Mod::scale: {
            double axp = frame.minX() + frame.width() * e.anchor.x;
            double ayp = frame.minY() + frame.height() * e.anchor.y;
            ctx.ox += ctx.sx * axp * (1 - e.scale.width);
            ctx.oy += ctx.sy * ayp * (1 - e.scale.height);
            ctx.sx *= e.scale.width;
            ctx.sy *= e.scale.height;
            break;
        }
        case Mod::offset:
            ctx.ox += ctx.sx * e.offsetBy.x;
            ctx.oy += ctx.sy * e.offsetBy.y;
            break;
        case Mod::clip:
            ctx.addClip(clipLink, {ctx.map(frame), e.shape});
            ctx.clipShapeHint = e.shape;
            break;
        case Mod::shadow: {
            DrawOp op;
            op.kind = DrawOp::Kind::shadow;
            op.fill = resolvePaint(e.extras().shadowColor, n.env.colorScheme);
            op.blur = e.extras().shadowRadius;
            op.shape = outlineOf(child).value_or(ctx.clipShapeHint);
            emitOp(n, frame.offsetBy(e.offsetBy.x, e.offsetBy.y), ctx, std::move(op));
            break;
        }
        case Mod::help:
            emitRegionWith([&](HitRegion& r) { r.help = e.label; });
            break;
        case Mod::accessibility:
            emitRegionWith([&](HitRegion& r) {
                r.accessibilityLabel = e.label;
                r.accessibilityButton = e.flag;
            });
            break;
        case Mod::contentShape:
            emitRegionWith([&](HitRegion& r) {
                r.shape = e.shape;
                r.blocksOnly = true;
            });
            break;
        case Mod::hitTesting:
            if (!e.flag) ctx.hitTesting = false;
            break;
        case Mod::hover:
            emitGesture([&](HitRegion& r) {
                if (auto h = e.handlerAs<std::function<void(bool)>>()) r.onHover = *h;
            });
            break;
        case Mod::tap:
            emitGesture([&](HitRegion& r) {
                if (auto a = e.handlerAs<std::function<void()>>()) r.onTap = *a;
                r.tapCount = e.tapCount;
            });
            break;
        case Mod::rightClick:
            emitGesture([&](HitRegion& r) {
                if (auto a = e.handlerAs<std::function<void()>>()) r.onRightClick = *a;
            });
            break;
        case Mod::contextMenu:
            emitGesture([&](HitRegion& r) {
                if (auto m = e.handlerAs<std::function<Menu()>>()) r.contextMenu = *m;
            });
            break;
        case Mod::drag:
            emitGesture([&](HitRegion& r) {
                r.drag = e.drag;
                r.highPriorityDrag = e.highPriority;
            });
            break;
        case Mod::focusable:
            emitRegionWith([&](HitRegion& r) {
                r.focusable = true;
                if (auto k = e.handlerAs<KeyHandler>()) r.keyHandler = *k;
            });
            break;
        case Mod::cursor:
            emitRegionWith([&](HitRegion& r) {
                r.cursor = e.extras().cursorKind;
                r.blocksOnly = true;
            });
            break;
        case Mod::appear:
            if (auto a = e.handlerAs<std::function<void()>>(); a && *a) appears_[n.path()] = a;
            break;
        case Mod::disappear:
            if (auto a = e.handlerAs<std::function<void()>>(); a && *a) disappears_[n.path()] = *a;
            break;
        case Mod::frameReport:
            if (auto f = e.handlerAs<std::function<void(Rect)>>(); f && *f && out_)
                frameReports_.push_back({&n.path(), ctx.map(frame), f});
            break;
        case Mod::animation:
            animationKeys_.push_back({&n.path(), e.label, e.animationValue});
            break;
        case Mod::rotation:
            ctx.rotation += e.amount;
            break;
        case Mod::zIndex:
        case Mod::environment:
        case Mod::disabled:
        case Mod::id:
            break;
    }
    place(child, frame, ctx);
}

void LayoutPass::placeScroll(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const Axis a = e.axis;
    const RNode& content = *n.kids[0];
    Size cs = measure(content, makeProposal(a, std::nullopt, across(a, Size{frame.width(), frame.height()})));
    if (a == Axis::horizontal) {
        cs.height = frame.height();
    } else {
        cs.width = frame.width();
    }
    auto controller = e.extras().scroller ? e.extras().scroller : host_.scrollerFor(n.path());
    host_.scrollers_[n.path()] = controller;
    double viewport = along(a, Size{frame.width(), frame.height()});
    double maxOffset = std::max(0.0, along(a, cs) - viewport);
    // Only the pass that draws takes the request: the dry placement below, which finds where the
    // target stands, must leave the requests of nested scroll views for their own turn.
    std::optional<ScrollController::Request> request;
    if (out_) request = controller->takeRequest();
    if (request) {
        // Find where the child stands: a placement into nothing, at the content's origin.
        LayoutPass dry(host_, nullptr);
        Context dryCtx;
        dryCtx.proposal = makeProposal(a, std::nullopt, across(a, Size{frame.width(), frame.height()}));
        dry.place(content, Rect{{0, 0}, cs}, dryCtx);
        if (auto it = dry.idFrames_.find(request->childID); it != dry.idFrames_.end()) {
            const Rect& target = it->second;
            double anchor = a == Axis::horizontal ? request->anchor.x : request->anchor.y;
            double targetPos = (a == Axis::horizontal ? target.minX() + target.width() * anchor
                                                      : target.minY() + target.height() * anchor) -
                               viewport * anchor;
            double from = along(a, Size{controller->offset().x, controller->offset().y});
            double to = std::clamp(targetPos, 0.0, maxOffset);
            controller->setOffset(a == Axis::horizontal ? Point{to, 0} : Point{0, to});
            if (request->animation && from != to) {
                scrollAnimations_.push_back(
                    {n.path() + "#scroll", *request->animation, std::to_string(from), std::to_string(to)});
            }
        }
    }
    Point off = controller->offset();
    double cur = std::clamp(a == Axis::horizontal ? off.x : off.y, 0.0, maxOffset);
    controller->setOffset(a == Axis::horizontal ? Point{cur, 0} : Point{0, cur});
    scrollInfo_[n.path()] = {a, along(a, cs), viewport};

    HitRegion r;
    r.scrollPath = n.path();
    r.scrollAxis = a;
    r.enabled = !e.extras().scrollDisabled;
    emitRegion(n, frame, ctx, std::move(r));
    if (out_ && ctx.hitTesting && e.extras().scrollDisabled) out_->regions.back().enabled = false;
    Context::ClipLink clipLink;
    ctx.addClip(clipLink, {ctx.map(frame), Shape::rect()});
    Rect contentRect = a == Axis::horizontal ? Rect{frame.minX() - cur, frame.minY(), cs.width, cs.height}
                                             : Rect{frame.minX(), frame.minY() - cur, cs.width, cs.height};
    ctx.proposal = makeProposal(a, std::nullopt, across(a, Size{frame.width(), frame.height()}));
    place(content, contentRect, ctx);
}

void LayoutPass::placeTextField(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const ColorScheme scheme = n.env.colorScheme;
    Font f = e.extras().fontValue.value_or(Font::system(13));
    std::string value = e.extras().textBinding ? e.extras().textBinding.get() : std::string();
    bool focused = host_.focusedPath_ == n.path() || focusCandidate_ == n.path();
    DrawOp op;
    op.kind = DrawOp::Kind::text;
    op.font = f;
    op.lineHeight = textmetrics::lineHeight(f);
    Rect textRect{frame.minX(), frame.minY() + 2, frame.width(), op.lineHeight};
    if (value.empty()) {
        op.lines = {textmetrics::truncateTail(e.label, f, frame.width()).text};
        op.color = Color::tertiary().resolve(scheme);
    } else {
        op.lines = {value};
        op.color = n.env.foreground.value_or(Color::primary()).resolve(scheme);
    }
    const double lineHeight = op.lineHeight;
    emitOp(n, textRect, ctx, std::move(op));
    if (focused) {
        double caretX = std::min(frame.width() - 1, value.empty() ? 0.0 : textmetrics::width(value, f));
        DrawOp caret;
        caret.fill = resolvePaint(Color::accent(), scheme);
        emitOp(n, Rect{frame.minX() + caretX, textRect.minY(), 1, lineHeight}, ctx, std::move(caret));
    }
    HitRegion r;
    r.focusable = true;
    r.cursor = Cursor::iBeam;
    auto binding = e.extras().textBinding;
    auto focusBinding = e.extras().focusBinding;
    auto submit = e.extras().onSubmit;
    auto exit = e.extras().onExitCommand;
    r.keyHandler = [binding, submit, exit](uint16_t key, const std::string& chars, uint64_t mods) {
        if (key == keycodes::kReturn) {
            if (submit) submit();
            return true;
        }
        if (key == keycodes::kEscape) {
            if (!exit) return false;
            exit();
            return true;
        }
        if (mods & (modifierflags::kCommand | modifierflags::kControl)) return false;
        if (key >= keycodes::kLeftArrow && key <= keycodes::kUpArrow) return false;
        if (!binding) return false;
        if (key == keycodes::kDelete) {
            auto cps = textmetrics::codePoints(binding.get());
            if (!cps.empty()) cps.pop_back();
            binding.set(textmetrics::encode(cps));
            return true;
        }
        bool printable = !chars.empty() && std::none_of(chars.begin(), chars.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (!printable) return false;
        binding.set(binding.get() + chars);
        return true;
    };
    if (focusBinding) r.onFocusChange = [focusBinding](bool on) { focusBinding.set(on); };
    r.text = e.extras().textBinding;
    emitRegion(n, frame, ctx, std::move(r));
}

void LayoutPass::placeList(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const ListSpec& spec = *e.extras().list;
    const ColorScheme scheme = n.env.colorScheme;
    const std::string dragKey = n.path() + "#drag";
    auto initialDragState = [] { return std::any(ListDragState{}); };
    auto& dragState = std::any_cast<ListDragState&>(out_ ? host_.liveStateFor(dragKey, initialDragState)
                                                         : host_.stateFor(dragKey, initialDragState));
    auto controller = spec.scroller ? spec.scroller : host_.scrollerFor(n.path());
    host_.scrollers_[n.path()] = controller;
    double contentHeight = 0;
    for (const ListRow& row : spec.rows) contentHeight += row.height;
    double maxOffset = std::max(0.0, contentHeight - frame.height());
    if (auto request = out_ ? controller->takeRequest() : std::nullopt) {
        double top = 0;
        for (const ListRow& row : spec.rows) {
            if (row.id == request->childID) {
                double current = controller->offset().y;
                double to = request->minimal
                                ? std::clamp(current, top + row.height - frame.height(), top)
                                : top + row.height * request->anchor.y - frame.height() * request->anchor.y;
                controller->setOffset({0, to});
                break;
            }
            top += row.height;
        }
    }
    double offset = std::clamp(controller->offset().y, 0.0, maxOffset);
    controller->setOffset({0, offset});
    scrollInfo_[n.path()] = {Axis::vertical, contentHeight, frame.height()};
    // Rows the owner moved slide to their new places.
    for (const ListRowMove& move : spec.rowMoves) {
        if (!out_ || move.serial <= dragState.lastMoveSerial) continue;
        dragState.lastMoveSerial = move.serial;
        scrollAnimations_.push_back({n.path() + "/" + move.rowID + "#move", move.animation,
                                     std::to_string(move.from), std::to_string(move.to)});
    }
    std::optional<std::string> selected = spec.selection ? spec.selection.get() : std::nullopt;

    // The list takes keys while focused: arrows move the selection, Return activates it.
    HitRegion listRegion;
    listRegion.focusable = true;
    listRegion.scrollPath = n.path();
    listRegion.scrollAxis = Axis::vertical;
    auto specPtr = e.extras().list;
    listRegion.keyHandler = [specPtr](uint16_t key, const std::string&, uint64_t) {
        const auto& rows = specPtr->rows;
        std::optional<size_t> current;
        if (specPtr->selection) {
            if (auto sel = specPtr->selection.get()) {
                for (size_t i = 0; i < rows.size(); ++i) {
                    if (rows[i].id == *sel) current = i;
                }
            }
        }
        if (key == keycodes::kDownArrow || key == keycodes::kUpArrow) {
            auto next = key == keycodes::kDownArrow ? nextSelectableRow(rows, current)
                                                    : previousSelectableRow(rows, current);
            if (next && specPtr->selection) specPtr->selection.set(rows[*next].id);
            return true;
        }
        if (key == keycodes::kReturn && current && specPtr->onActivate) {
            specPtr->onActivate(rows[*current].id);
            return true;
        }
        return false;
    };
    if (!spec.dropTypes.empty()) listRegion.dropTarget = listDropTarget(n, ctx.map(frame), offset);
    emitRegion(n, frame, ctx, std::move(listRegion));

    Context inner = ctx;
    Context::ClipLink clipLink;
    inner.addClip(clipLink, {ctx.map(frame), Shape::rect()});
    std::vector<Rect> rects;
    double y = frame.minY() - offset;
    for (const ListRow& row : spec.rows) {
        rects.push_back({frame.minX(), y, frame.width(), row.height});
        y += row.height;
    }
    std::optional<size_t> draggedIndex;
    for (size_t i = 0; i < spec.rows.size(); ++i) {
        if (!dragState.draggedID.empty() && spec.rows[i].id == dragState.draggedID) draggedIndex = i;
    }
    auto placeRow = [&](size_t i, const Rect& r, Context rowCtx) {
        const ListRow& row = spec.rows[i];
        rowCtx.opacity *= row.alpha;
        if (spec.highlightSelection && selected && *selected == row.id && row.selectable) {
            DrawOp hl;
            hl.shape = Shape::roundedRect(5);
            hl.fill = resolvePaint(Color::accent().opacity(0.25), scheme);
            emitOp(n, r.insetBy(2, 1), rowCtx, std::move(hl));
        }
        place(*n.kids[i], r, rowCtx);
    };
    for (size_t i = 0; i < spec.rows.size(); ++i) {
        if (draggedIndex == i) continue;
        placeRow(i, rects[i], inner);
        const ListRow& row = spec.rows[i];
        HitRegion rr;
        auto sel = spec.selection;
        std::string id = row.id;
        bool selectable = row.selectable;
        auto onClick = spec.onClick;
        rr.onTap = [sel, id, selectable, onClick] {
            if (selectable && sel) sel.set(id);
            if (onClick) onClick(id);
        };
        rr.onRightClick = [sel, id, selectable] {
            if (selectable && sel) sel.set(id);
        };
        if (row.menu) {
            auto menu = row.menu;
            rr.contextMenu = [menu] { return menu().value_or(Menu{}); };
        }
        if (row.movable && spec.onMove) {
            auto host = host_.weak_from_this();
            std::string path = dragKey;
            auto onMove = spec.onMove;
            double rowTop = rects[i].minY() + offset - frame.minY();
            DragGesture g;
            g.minimumDistance = 3;
            g.onChanged = [host, path, id](const DragValue& v) {
                if (auto h = host.lock()) {
                    auto& st = std::any_cast<ListDragState&>(
                        h->stateFor(path, [] { return std::any(ListDragState{}); }));
                    st.draggedID = id;
                    st.translation = v.translation.height;
                    h->setNeedsUpdate();
                }
            };
            g.onEnded = [host, path, id, specPtr, onMove, rowTop, i](const DragValue& v) {
                auto h = host.lock();
                if (!h) return;
                auto& st = std::any_cast<ListDragState&>(
                    h->stateFor(path, [] { return std::any(ListDragState{}); }));
                st = ListDragState{};
                h->setNeedsUpdate();
                double mid = rowTop + specPtr->rows[i].height / 2 + v.translation.height;
                size_t to = listInsertionIndex(specPtr->rows, i, mid);
                std::vector<std::string> before, after;
                for (const auto& r : specPtr->rows) before.push_back(r.id);
                after = before;
                after.erase(after.begin() + long(i));
                after.insert(after.begin() + long(std::min(to, after.size())), id);
                if (after != before) onMove(id, to);
            };
            rr.drag = std::make_shared<const DragGesture>(std::move(g));
        } else if (row.pasteboard) {
            rr.drag = rowDragSession(n, i, rects[i].minY() + offset - frame.minY());
        }
        emitRegion(*n.kids[i], rects[i], inner, std::move(rr));
    }
    if (dragState.sessionActive) {
        // The drag image: the dragged row under the pointer.
        for (size_t i = 0; i < spec.rows.size(); ++i) {
            if (spec.rows[i].id != dragState.sessionRowID) continue;
            Context lifted = inner;
            lifted.opacity *= 0.8;
            Rect r{frame.minX(),
                   frame.minY() - offset + dragState.sessionRowTop + dragState.sessionTranslation,
                   frame.width(), spec.rows[i].height};
            place(*n.kids[i], r, lifted);
        }
    }
    if (draggedIndex) {
        size_t i = *draggedIndex;
        double mid = rects[i].midY() - frame.minY() + offset + dragState.translation;
        size_t to = listInsertionIndex(spec.rows, i, mid);
        // The insertion line between the other rows.
        double lineY = frame.minY() - offset;
        size_t seen = 0;
        for (size_t k = 0; k < spec.rows.size() && seen < to; ++k) {
            if (k == i) continue;
            lineY = rects[k].maxY();
            ++seen;
        }
        if (to == 0) {
            for (size_t k = 0; k < spec.rows.size(); ++k) {
                if (k != i) {
                    lineY = rects[k].minY();
                    break;
                }
            }
        }
        DrawOp line;
        line.fill = resolvePaint(Color::accent(), scheme);
        emitOp(n, Rect{frame.minX() + 4, lineY - 1, frame.width() - 8, 2}, inner, std::move(line));
        Context lifted = inner;
        lifted.opacity *= 0.8;
        placeRow(i, rects[i].offsetBy(0, dragState.translation), lifted);
    }
}

}  // namespace qv
