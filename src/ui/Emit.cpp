// Building the display list: every drawing step (of the leaves, shadows, text fields, a list's
// selected row and insertion line) and the hit regions that placing hands over, in the content's
// coordinates with the transforms, opacity and clips of their ancestors applied.
#include <algorithm>

#include "ui/LayoutRules.h"

namespace qv {

namespace {

using Kind = Element::Kind;
using layout::fontOf;
using layout::idealTextWidth;
using layout::resolvePaint;
using layout::textFits;
using layout::textLines;

Color colorOf(const RNode& n) {
    return n.el->extras().color.value_or(n.env.foreground.value_or(Color::primary()));
}

}  // namespace

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
    finishRegion(n, frame, ctx, region);
    out_->regions.push_back(std::move(region));
}

HitRegion& LayoutPass::newRegion(const RNode& n, const Rect& frame, const Context& ctx) {
    HitRegion& region = out_->regions.emplace_back();
    finishRegion(n, frame, ctx, region);
    return region;
}

void LayoutPass::finishRegion(const RNode& n, const Rect& frame, const Context& ctx, HitRegion& region) {
    region.frame = ctx.map(frame);
    region.clips = ctx.clipList();
    region.path = pathCopy(n);
    region.enabled = n.env.isEnabled;
}

void LayoutPass::emitOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp&& op) {
    if (!out_) return;
    finishOp(n, frame, ctx, op);
    out_->ops.push_back(std::move(op));
}

DrawOp& LayoutPass::newOp(const RNode& n, const Rect& frame, const Context& ctx) {
    DrawOp& op = out_->ops.emplace_back();
    finishOp(n, frame, ctx, op);
    return op;
}

void LayoutPass::finishOp(const RNode& n, const Rect& frame, const Context& ctx, DrawOp& op) {
    op.frame = ctx.map(frame);
    op.path = pathCopy(n);
    op.opacity = ctx.opacity;
    op.rotation = ctx.rotation;
    op.clips = ctx.clipList();
    op.scheme = n.env.colorScheme;
}

void LayoutPass::drawShadow(const RNode& n, const Rect& frame, const Context& ctx, const Shape& outline) {
    const Element& e = *n.el;
    DrawOp op;
    op.kind = DrawOp::Kind::shadow;
    op.fill = resolvePaint(e.extras().shadowColor, n.env.colorScheme);
    op.blur = e.extras().shadowRadius;
    op.shape = outline;
    emitOp(n, frame, ctx, std::move(op));
}

void LayoutPass::drawTextField(const RNode& n, const Rect& frame, const Context& ctx,
                               const std::string& value, bool focused) {
    const Element& e = *n.el;
    const ColorScheme scheme = n.env.colorScheme;
    Font f = fontOf(n);
    DrawOp op;
    op.kind = DrawOp::Kind::text;
    op.font = f;
    op.lineHeight = textmetrics::lineHeight(f);
    // The text stands within the field, scrolled so that the caret shows: a text longer than the
    // field shows its end while the caret stands there.
    const double textWidth = value.empty() ? 0.0 : textmetrics::width(value, f);
    const double caretX = value.empty() ? 0.0 : textmetrics::caretOffset(value, f);
    const double scroll =
        std::clamp(caretX + 1 - frame.width(), 0.0, std::max(0.0, textWidth + 1 - frame.width()));
    Rect textRect{frame.minX() - scroll, frame.minY() + 2, std::max(frame.width(), textWidth), op.lineHeight};
    if (value.empty()) {
        op.lines = {textmetrics::truncateTail(e.label, f, frame.width()).text};
        op.color = Color::tertiary().resolve(scheme);
    } else {
        op.lines = {value};
        op.color = n.env.foreground.value_or(Color::primary()).resolve(scheme);
    }
    const double lineHeight = op.lineHeight;
    Context clipped = ctx;
    Context::ClipLink clip;
    clipped.addClip(clip, {ctx.map(frame), Shape::rect()});
    emitOp(n, textRect, clipped, std::move(op));
    if (focused) {
        DrawOp caret;
        caret.fill = resolvePaint(Color::accent(), scheme);
        emitOp(n, Rect{textRect.minX() + caretX, textRect.minY(), 1, lineHeight}, clipped, std::move(caret));
    }
}

void LayoutPass::drawSelectedRow(const RNode& list, const Rect& row, const Context& ctx) {
    DrawOp hl;
    hl.shape = Shape::roundedRect(5);
    hl.fill = resolvePaint(Color::accent().opacity(0.25), list.env.colorScheme);
    emitOp(list, row.insetBy(2, 1), ctx, std::move(hl));
}

void LayoutPass::drawInsertionLine(const RNode& list, const Rect& listFrame, double y, const Context& ctx) {
    DrawOp line;
    line.fill = resolvePaint(Color::accent(), list.env.colorScheme);
    emitOp(list, Rect{listFrame.minX() + 4, y - 1, listFrame.width() - 8, 2}, ctx, std::move(line));
}

void LayoutPass::drawLeaf(const RNode& n, const Rect& frame, const Context& ctx, const ProposedSize& prop) {
    if (!out_) return;
    const Element& e = *n.el;
    const ColorScheme scheme = n.env.colorScheme;
    // Made in place at the end of the list: the leaves draw most of the steps.
    DrawOp& op = newOp(n, frame, ctx);
    switch (e.kind) {
        case Kind::divider:
            op.fill = resolvePaint(Color::separator(), scheme);
            return;
        case Kind::text: {
            Font f = fontOf(n);
            op.kind = DrawOp::Kind::text;
            op.font = f;
            op.font.size *= ctx.sy;
            op.tracking = e.extras().tracking * ctx.sx;
            op.color = colorOf(n).resolve(scheme);
            op.lineHeight = textmetrics::lineHeight(f) * ctx.sy;
            // Text stands in the width it was offered, as when it was measured.
            std::optional<double> offered;
            if (prop.width) offered = std::max(frame.width(), *prop.width);
            if (textFits(idealTextWidth(n, f), offered)) {
                op.lines = {e.label};
                return;
            }
            for (auto& l : textLines(n, f, *offered)) {
                op.truncated = op.truncated || l.truncated;
                op.lines.push_back(std::move(l.text));
            }
            return;
        }
        case Kind::image: {
            op.kind = DrawOp::Kind::image;
            op.imageKind = e.imageKind;
            op.imageName = e.label;
            op.bitmap = e.extras().bitmap;
            op.color = colorOf(n).resolve(scheme);
            return;
        }
        case Kind::shape: {
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
            return;
        }
        case Kind::material: {
            op.kind = DrawOp::Kind::material;
            op.material = e.extras().material;
            op.blending = e.extras().blending;
            op.shape = ctx.clipShapeHint;
            return;
        }
        case Kind::spinner: {
            op.kind = DrawOp::Kind::spinner;
            op.color = Color::secondary().resolve(scheme);
            return;
        }
        default:
            out_->ops.pop_back();  // not a leaf: nothing to draw
            return;
    }
}

}  // namespace qv
