// Memos: subtrees that a layout reuses from the one before while they are built from equal inputs.
//
// A memo's content is placed at the origin and its steps moved to where the memo stands, so that
// they are the same numbers wherever it stands and whether they were made now or by an earlier
// layout. The host keeps, per memo, what its last layout made of it: the sizes its root answered,
// where it was placed, the range of its steps and regions in that layout's display list, and what
// its placing reported (frames, animation keys, appear and disappear handlers) and kept alive
// (state). A later layout whose memo has equal inputs, environment and placement takes all of that
// over instead of building the subtree: the steps move from the last list into the new one, at
// the memo's new origin, and its content is built only if a proposal or placement it has not seen
// comes (buildDeferredMemo). Content whose steps depend on more than that is built every time, by
// one rule over the kinds of nodes and modifiers (layout::memoUse).
#include "ui/LayoutRules.h"

namespace qv {

namespace {

bool sameClips(const ClipList& a, const ClipList& b) {
    if (a.size() != b.size()) return false;
    if (a.begin() == b.begin()) return true;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(a[i].rect == b[i].rect) || !(a[i].shape == b[i].shape)) return false;
    }
    return true;
}

}  // namespace

void MemoRecord::rebuild(std::shared_ptr<const MemoInputs> in, const Environment& e,
                         std::optional<Axis> axis) {
    inputs = std::move(in);
    env = e;
    parentAxis = axis;
    reusable = false;
    dirty = false;
    placed = 0;
    sizes.clear();
    origins.clear();
    frameReports.clear();
    animationKeys.clear();
    appears.clear();
    disappears.clear();
    elements.clear();
    states.clear();
}

const Size* MemoRecord::sizeFor(const ProposedSize& p) const {
    for (const auto& [proposal, size] : sizes) {
        if (proposal == p) return &size;
    }
    return nullptr;
}

bool MemoRecord::standsFor(const MemoInputs& in, const Environment& e, std::optional<Axis> axis,
                           uint64_t lastLayout) const {
    return reusable && !dirty && placed == lastLayout && parentAxis == axis && env == e && inputs &&
           inputs->equals(in);
}

std::function<void()> LayoutPass::invalidator() {
    std::weak_ptr<HostingView> host = in_.host;
    if (!recording_) {
        return [host] {
            if (auto h = host.lock()) h->setNeedsUpdate();
        };
    }
    std::weak_ptr<MemoRecord> record = recording_->weak_from_this();
    return [host, record] {
        if (auto r = record.lock()) r->dirty = true;
        if (auto h = host.lock()) h->setNeedsUpdate();
    };
}

std::unique_ptr<RNode> LayoutPass::resolveMemo(const Node& node, const PathSegment* path,
                                               const Environment& env, std::optional<Axis> parentAxis) {
    const auto& inputs = node->extras().memo;
    if (!inputs) return nullptr;
    auto n = std::make_unique<RNode>(node, path, env, parentAxis);
    // Only the outermost memos of an update keep records; a path met twice keeps the first one's.
    MemoRecord* rec = nullptr;
    if (out_ && !memoScope_ && in_.memos) {
        const uint64_t layout = in_.layout;
        auto it = in_.memos->try_emplace(path->str()).first;
        auto& slot = it->second;
        if (!slot) {
            slot = std::make_shared<MemoRecord>();
            slot->path = &it->first;
        }
        if (slot->resolved != layout) rec = slot.get();
        if (rec) {
            rec->resolved = layout;
            if (rec->standsFor(*inputs, env, parentAxis, layout - 1)) {
                for (uint64_t* state : rec->states) *state = layout;
                n->memo = rec;
                n->relative = true;
                return n;
            }
            rec->rebuild(inputs, env, parentAxis);
        }
    }
    n->memo = rec;
    resolveMemoContent(*n);
    if (n->kids.empty()) return nullptr;
    return n;
}

void LayoutPass::resolveMemoContent(RNode& n) {
    MemoScope scope{memoScope_};
    memoScope_ = &scope;
    MemoRecord* const outerRecording = recording_;
    if (n.memo) recording_ = n.memo;
    auto content = resolve(n.el->extras().memo->build(), n.segment, n.env, n.parentAxis);
    recording_ = outerRecording;
    memoScope_ = scope.outer;
    if (scope.outer) {
        scope.outer->relative = scope.outer->relative && scope.relative;
        scope.outer->reusable = scope.outer->reusable && scope.reusable;
    }
    n.relative = scope.relative;
    if (!content) return;
    if (n.memo) {
        n.memo->reusable = scope.relative && scope.reusable;
        n.memo->zIndex = layout::zIndexOf(*content);
    }
    n.kids.push_back(std::move(content));
}

void LayoutPass::buildDeferredMemo(const RNode& n) {
    // The node was made by this pass (or the one this dry placement serves) and is not otherwise
    // shared: building its kids in place is safe.
    auto& node = const_cast<RNode&>(n);
    if (!node.kids.empty()) return;
    // Replayed once already in this layout, the record stays as that placement needs it: the
    // content is built as if nothing were kept.
    if (node.memo->placed == in_.layout) {
        node.memo = nullptr;
    } else {
        node.memo->rebuild(node.el->extras().memo, node.env, node.parentAxis);
        // What this layout asked of it before, the next will likely ask again: the answers, which
        // the content built now gives as well, stay known.
        node.cache.forEach([&](ProposedSize p, Size size) { node.memo->sizes.emplace_back(p, size); });
    }
    owner_->resolveMemoContent(node);
}

Size LayoutPass::measureMemo(const RNode& n, const ProposedSize& p) {
    if (n.kids.empty()) {
        if (const Size* known = n.memo->sizeFor(p)) return *known;
        buildDeferredMemo(n);
        if (n.kids.empty()) return {0, 0};
    }
    Size s = measure(*n.kids[0], p);
    if (n.memo && owner_ == this) n.memo->sizes.emplace_back(p, s);
    return s;
}

void LayoutPass::placeMemo(const RNode& n, const Rect& frame, Context ctx, const ProposedSize& prop) {
    // A dry placement looks only for identifiers, which a relative memo holds none of.
    if (!out_ && n.relative) return;
    if (!n.relative) {
        ctx.proposal = prop;
        place(*n.kids[0], frame, ctx);
        return;
    }
    const Point origin = ctx.map(frame).origin;
    ctx.ox = 0;
    ctx.oy = 0;
    MemoRecord* rec = n.memo;
    const uint64_t layout = in_.layout;
    auto placedAlike = [&](const MemoRecord& r) {
        return r.size == frame.size && r.proposal == prop && r.sx == ctx.sx && r.sy == ctx.sy &&
               r.opacity == ctx.opacity && r.rotation == ctx.rotation && r.hitTesting == ctx.hitTesting &&
               r.clipShapeHint == ctx.clipShapeHint && sameClips(r.clips, ctx.clipList());
    };
    if (n.kids.empty()) {
        if (placedAlike(*rec)) {
            replayMemo(*rec, origin);
            return;
        }
        buildDeferredMemo(n);
    }
    // Placed once already in this layout (a list's lifted row): the steps again, where it now stands.
    if (rec && rec->placed == layout && placedAlike(*rec)) {
        replayMemo(*rec, origin);
        return;
    }
    const bool records = rec && rec->placed != layout;
    const size_t ops = out_->ops.size(), regions = out_->regions.size();
    const size_t reports = result_.frameReports.size(), keys = result_.animationKeys.size();
    MemoRecord* const outerRecording = recording_;
    if (records) recording_ = rec;
    ctx.proposal = prop;
    place(*n.kids[0], Rect{{0, 0}, frame.size}, ctx);
    recording_ = outerRecording;
    if (records) recordMemo(*rec, frame, ctx, ops, regions, reports, keys);
    auto shift = [origin](auto& items, size_t from) {
        for (size_t i = from; i < items.size(); ++i) {
            Point& o = items[i].frame.origin;
            o = {origin.x + o.x, origin.y + o.y};
        }
    };
    shift(out_->ops, ops);
    shift(out_->regions, regions);
    shift(result_.frameReports, reports);
}

void LayoutPass::recordMemo(MemoRecord& rec, const Rect& frame, const Context& ctx, size_t ops,
                            size_t regions, size_t reports, size_t keys) {
    rec.placed = in_.layout;
    rec.size = frame.size;
    rec.proposal = *ctx.proposal;
    rec.sx = ctx.sx;
    rec.sy = ctx.sy;
    rec.opacity = ctx.opacity;
    rec.rotation = ctx.rotation;
    rec.hitTesting = ctx.hitTesting;
    rec.clips = ctx.clipList();
    rec.clipShapeHint = ctx.clipShapeHint;
    rec.opBegin = ops;
    rec.opEnd = out_->ops.size();
    rec.regionBegin = regions;
    rec.regionEnd = out_->regions.size();
    rec.origins.reserve((rec.opEnd - rec.opBegin) + (rec.regionEnd - rec.regionBegin));
    for (size_t i = ops; i < rec.opEnd; ++i) rec.origins.push_back(out_->ops[i].frame.origin);
    for (size_t i = regions; i < rec.regionEnd; ++i) rec.origins.push_back(out_->regions[i].frame.origin);
    // Where the host keeps these is known once it has reconciled this layout (finishMemoRecords).
    const auto& frames = result_.frameReports;
    rec.reportBegin = reports;
    for (size_t i = reports; i < frames.size(); ++i)
        rec.frameReports.push_back({frames[i].frame, frames[i].handler});
    const auto& animationKeys = result_.animationKeys;
    rec.keyBegin = keys;
    for (size_t i = keys; i < animationKeys.size(); ++i)
        rec.animationKeys.push_back({animationKeys[i].key, animationKeys[i].animation});
    result_.recorded.push_back(&rec);
}

void finishMemoRecords(LayoutResult& result) {
    for (MemoRecord* rec : result.recorded) {
        for (size_t i = 0; i < rec->frameReports.size(); ++i)
            rec->frameReports[i].entry = result.frameReports[rec->reportBegin + i].entry;
        for (size_t i = 0; i < rec->animationKeys.size(); ++i)
            rec->animationKeys[i].entry = result.animationKeys[rec->keyBegin + i].entry;
    }
    for (auto& [path, appear] : result.appears) {
        if (appear.record) appear.record->appears[appear.slot] = appear.entry;
    }
}

void LayoutPass::replayMemo(MemoRecord& rec, Point origin) {
    // From the last layout's list, which goes once this one is made, the steps move; placed twice
    // in this layout, they are copied from where the first placement put them.
    const uint64_t layout = in_.layout;
    const bool moves = rec.placed != layout;
    result_.reused.push_back(&rec);
    DisplayList& from = moves ? *in_.lastList : *out_;
    const size_t ops = out_->ops.size(), regions = out_->regions.size();
    // Steps, then regions: each moved (or copied, when this layout placed them already) and put
    // at the memo's origin. A copy is made first, for the copied step lives in the same list.
    auto take = [&](auto& to, auto& steps, size_t begin, size_t end, size_t originsAt) {
        for (size_t i = begin; i < end; ++i) {
            if (moves) {
                to.push_back(std::move(steps[i]));
            } else {
                auto copy = steps[i];
                to.push_back(std::move(copy));
            }
            const Point& o = rec.origins[originsAt + (i - begin)];
            to.back().frame.origin = {origin.x + o.x, origin.y + o.y};
        }
    };
    take(out_->ops, from.ops, rec.opBegin, rec.opEnd, 0);
    take(out_->regions, from.regions, rec.regionBegin, rec.regionEnd, rec.opEnd - rec.opBegin);
    if (moves) {
        rec.opBegin = ops;
        rec.opEnd = out_->ops.size();
        rec.regionBegin = regions;
        rec.regionEnd = out_->regions.size();
    }
    // The host takes the reports as it takes a new subtree's, only without looking their entries up;
    // a record made in this layout has no entries yet and gives the paths of its first placement.
    auto& frames = result_.frameReports;
    for (size_t i = 0; i < rec.frameReports.size(); ++i) {
        const auto& r = rec.frameReports[i];
        frames.push_back({r.entry ? nullptr : frames[rec.reportBegin + i].path,
                          Rect{{origin.x + r.frame.origin.x, origin.y + r.frame.origin.y}, r.frame.size},
                          r.handler, r.entry});
    }
    auto& animationKeys = result_.animationKeys;
    for (size_t i = 0; i < rec.animationKeys.size(); ++i) {
        const auto& k = rec.animationKeys[i];
        animationKeys.push_back(
            {k.entry ? nullptr : animationKeys[rec.keyBegin + i].path, k.key, k.animation, k.entry});
    }
    // Appearances are the last layout's: they are only kept.
    for (AppearEntry* a : rec.appears) {
        if (a) a->second = layout;
    }
    for (const auto& [path, action] : rec.disappears) result_.disappears[path] = action;
    rec.placed = layout;
}

}  // namespace qv
