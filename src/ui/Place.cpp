// Placing: every node given its frame, by alignment within the frame of its parent, the
// transforms, opacity and clips of its ancestors carried down; the display list is emitted as
// the nodes are placed. Text fields and lists place themselves (TextField.cpp, List.cpp).
#include <algorithm>

#include "ui/LayoutRules.h"

namespace qv {

namespace {

using Kind = Element::Kind;
using Mod = Element::Mod;
using layout::across;
using layout::along;
using layout::gestureShape;
using layout::makeProposal;
using layout::outlineOf;
using layout::paintOrder;

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

}  // namespace

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

void LayoutPass::place(const RNode& n, const Rect& frame, Context ctx) {
    const Element& e = *n.el;
    const ProposedSize prop = ctx.proposal.value_or(ProposedSize{frame.width(), frame.height()});
    ctx.proposal.reset();
    // Where ids stand matters only to the dry placement that looks for a scroll target.
    if (!out_ && e.kind == Kind::modifier && e.mod == Mod::id) idFrames_[e.label] = ctx.map(frame);
    switch (e.kind) {
        case Kind::empty:
        case Kind::view:
        case Kind::stateful:
        case Kind::spacer:
            return;
        case Kind::divider:
        case Kind::text:
        case Kind::image:
        case Kind::shape:
        case Kind::material:
        case Kind::spinner:
            drawLeaf(n, frame, ctx, prop);
            return;
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
        case Kind::memo:
            placeMemo(n, frame, ctx, prop);
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
        fill(newRegion(n, frame, ctx));
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
        case Mod::shadow:
            drawShadow(n, frame.offsetBy(e.offsetBy.x, e.offsetBy.y), ctx,
                       outlineOf(child).value_or(ctx.clipShapeHint));
            break;
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
            if (auto a = e.handlerAs<std::function<void()>>(); a && *a) {
                result_.appears[n.path()] =
                    recording_ ? LayoutResult::Appear{a, recording_, recording_->appears.size()}
                               : LayoutResult::Appear{a};
                if (recording_) recording_->appears.push_back(nullptr);
            }
            break;
        case Mod::disappear:
            if (auto a = e.handlerAs<std::function<void()>>(); a && *a) {
                result_.disappears[n.path()] = *a;
                if (recording_) recording_->disappears.emplace_back(n.path(), *a);
            }
            break;
        case Mod::frameReport:
            if (auto f = e.handlerAs<std::function<void(Rect)>>(); f && *f && out_) {
                result_.frameReports.push_back({&n.path(), ctx.map(frame), f});
                if (recording_) recording_->elements.push_back(n.el);
            }
            break;
        case Mod::animation:
            result_.animationKeys.push_back({&n.path(), e.label, e.animationValue});
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
    auto controller = e.extras().scroller ? e.extras().scroller : scrollerFor(in_.scrollers, n.path());
    in_.scrollers[n.path()] = controller;
    double viewport = along(a, Size{frame.width(), frame.height()});
    double maxOffset = std::max(0.0, along(a, cs) - viewport);
    // Only the pass that draws takes the request: the dry placement below, which finds where the
    // target stands, must leave the requests of nested scroll views for their own turn.
    std::optional<ScrollController::Request> request;
    if (out_) request = controller->takeRequest();
    if (request) {
        std::optional<double> targetPos = request->offset;
        if (!targetPos) {
            // Find where the child stands: a placement into nothing, at the content's origin.
            LayoutResult dryResult;
            LayoutPass dry(in_, dryResult, nullptr);
            dry.owner_ = this;
            Context dryCtx;
            dryCtx.proposal = makeProposal(a, std::nullopt, across(a, Size{frame.width(), frame.height()}));
            dry.place(content, Rect{{0, 0}, cs}, dryCtx);
            if (auto it = dry.idFrames_.find(request->childID); it != dry.idFrames_.end()) {
                const Rect& target = it->second;
                double anchor = a == Axis::horizontal ? request->anchor.x : request->anchor.y;
                targetPos = (a == Axis::horizontal ? target.minX() + target.width() * anchor
                                                   : target.minY() + target.height() * anchor) -
                            viewport * anchor;
            }
        }
        if (targetPos) {
            double from = along(a, Size{controller->offset().x, controller->offset().y});
            double to = std::clamp(*targetPos, 0.0, maxOffset);
            controller->setOffset(a == Axis::horizontal ? Point{to, 0} : Point{0, to});
            if (request->animation && from != to) {
                result_.scrollAnimations.push_back(
                    {n.path() + "#scroll", *request->animation, std::to_string(from), std::to_string(to)});
            }
        }
    }
    Point off = controller->offset();
    double cur = std::clamp(a == Axis::horizontal ? off.x : off.y, 0.0, maxOffset);
    controller->setOffset(a == Axis::horizontal ? Point{cur, 0} : Point{0, cur});
    result_.scrollInfo[n.path()] = {a, along(a, cs), viewport};

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

}  // namespace qv
