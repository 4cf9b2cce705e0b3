// Measuring, SwiftUI's way: a size proposed to each node, the node's answer, cached per proposal.
#include <algorithm>
#include <cmath>

#include "ui/LayoutRules.h"

namespace qv {

namespace {

using Kind = Element::Kind;
using Mod = Element::Mod;
using layout::across;
using layout::along;
using layout::fontOf;
using layout::idealTextWidth;
using layout::makeProposal;
using layout::makeSize;
using layout::textFits;
using layout::textLines;

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

}  // namespace

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
            if (textFits(ideal, p.width)) return {ideal, lh};
            auto lines = textLines(n, f, *p.width);
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
            Font f = fontOf(n);
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
        case Kind::memo:
            return measureMemo(n, p);
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

}  // namespace qv
