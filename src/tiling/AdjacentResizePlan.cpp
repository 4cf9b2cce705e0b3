#include "tiling/AdjacentResizePlan.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace qv {

namespace {

using Edge = AdjacentResizePlan::Edge;

// A minus B: the parts of P outside O, up to four strips (top, bottom, left, right).
std::vector<Rect> difference(const Rect& p, const Rect& o) {
    Rect i = o.intersection(p);
    if (i.width() <= 0 || i.height() <= 0) return {p};
    std::vector<Rect> out;
    if (i.minY() > p.minY()) out.push_back({p.minX(), p.minY(), p.width(), i.minY() - p.minY()});
    if (p.maxY() > i.maxY()) out.push_back({p.minX(), i.maxY(), p.width(), p.maxY() - i.maxY()});
    if (i.minX() > p.minX()) out.push_back({p.minX(), i.minY(), i.minX() - p.minX(), i.height()});
    if (p.maxX() > i.maxX()) out.push_back({i.maxX(), i.minY(), p.maxX() - i.maxX(), i.height()});
    return out;
}

double edgeValue(const Rect& r, Edge e) {
    switch (e) {
        case Edge::left:
            return r.minX();
        case Edge::right:
            return r.maxX();
        case Edge::top:
            return r.minY();
        case Edge::bottom:
            return r.maxY();
    }
    return 0;
}

// Whether two frames share enough of their length along the edge.
bool overlaps(const Rect& a, const Rect& b, Edge e) {
    bool vertical = e == Edge::left || e == Edge::right;
    double aMin = vertical ? a.minY() : a.minX(), aMax = vertical ? a.maxY() : a.maxX();
    double bMin = vertical ? b.minY() : b.minX(), bMax = vertical ? b.maxY() : b.maxX();
    double m = std::min(aMax - aMin, bMax - bMin);
    return m > 0 && std::min(aMax, bMax) - std::max(aMin, bMin) >= AdjacentResizePlan::kMinOverlapShare * m;
}

// Moves one edge of a frame by δ, the opposite edge staying.
Rect movingEdge(Rect r, Edge e, double delta) {
    switch (e) {
        case Edge::left:
            r.origin.x += delta;
            r.size.width -= delta;
            break;
        case Edge::right:
            r.size.width += delta;
            break;
        case Edge::top:
            r.origin.y += delta;
            r.size.height -= delta;
            break;
        case Edge::bottom:
            r.size.height += delta;
            break;
    }
    return r;
}

Edge opposite(Edge e) {
    switch (e) {
        case Edge::left:
            return Edge::right;
        case Edge::right:
            return Edge::left;
        case Edge::top:
            return Edge::bottom;
        case Edge::bottom:
            return Edge::top;
    }
    return e;
}

}  // namespace

AdjacentResizePlan::AdjacentResizePlan(Window target, std::vector<Window> candidates)
    : target_(target), candidates_(std::move(candidates)) {
    std::erase_if(candidates_, [&](const Window& w) { return w.id == target_.id; });
}

bool AdjacentResizePlan::isHidden(const Rect& frame, const std::vector<Rect>& inFront) {
    std::vector<Rect> pieces{frame};
    for (const Rect& o : inFront) {
        if (!o.intersects(frame)) continue;
        std::vector<Rect> next;
        for (const Rect& p : pieces) {
            for (const Rect& piece : difference(p, o)) {
                if (std::min(piece.width(), piece.height()) > kMinVisibleSide) next.push_back(piece);
            }
        }
        if (next.empty()) return true;
        pieces = std::move(next);
    }
    return false;
}

AdjacentResizePlan::Divider AdjacentResizePlan::members(Edge edge) const {
    const double e = edgeValue(target_.frame, edge);
    std::vector<Window> sameSeeds, otherSeeds;
    for (const Window& c : candidates_) {
        if (std::abs(edgeValue(c.frame, edge) - e) <= kAlignmentTolerance) sameSeeds.push_back(c);
    }
    for (const Window& c : candidates_) {
        // The gap between the target's edge and the candidate's facing edge, measured outwards.
        double facing = edgeValue(c.frame, opposite(edge));
        double g = edge == Edge::left || edge == Edge::top ? e - facing : facing - e;
        if (g >= -kAlignmentTolerance && g <= kMaxGap) otherSeeds.push_back(c);
    }
    std::vector<Window> same{target_}, other;
    auto takeFirstOverlapping = [&](std::vector<Window>& seeds, const std::vector<Window>& group,
                                    std::vector<Window>& into) {
        for (auto it = seeds.begin(); it != seeds.end(); ++it) {
            bool touches = std::any_of(group.begin(), group.end(),
                                       [&](const Window& g) { return overlaps(it->frame, g.frame, edge); });
            if (touches) {
                into.push_back(*it);
                seeds.erase(it);
                return true;
            }
        }
        return false;
    };
    for (;;) {
        while (takeFirstOverlapping(otherSeeds, same, other)) {
        }
        if (!takeFirstOverlapping(sameSeeds, other, same)) break;
    }
    if (other.empty()) return {};
    same.erase(same.begin());
    return {std::move(same), std::move(other)};
}

void AdjacentResizePlan::addDividers(const std::vector<Edge>& movedEdges) {
    for (Edge e : movedEdges) {
        if (!dividers_.contains(e)) dividers_[e] = members(e);
    }
}

std::unordered_map<uint32_t, Rect> AdjacentResizePlan::frames(const Rect& targetFrame) const {
    std::unordered_map<uint32_t, Rect> out;
    auto current = [&](const Window& w) {
        auto it = out.find(w.id);
        return it == out.end() ? w.frame : it->second;
    };
    for (const auto& [edge, divider] : dividers_) {
        double delta = edgeValue(targetFrame, edge) - edgeValue(target_.frame, edge);
        if (std::abs(delta) < kMinMovement) continue;
        for (const Window& w : divider.sameSide) out[w.id] = movingEdge(current(w), edge, delta);
        for (const Window& w : divider.otherSide) out[w.id] = movingEdge(current(w), opposite(edge), delta);
    }
    return out;
}

std::vector<AdjacentResizePlan::Window> AdjacentResizePlan::followers() const {
    std::vector<Window> out;
    std::set<uint32_t> seen;
    for (const auto& [edge, divider] : dividers_) {
        for (const auto* list : {&divider.sameSide, &divider.otherSide}) {
            for (const Window& w : *list) {
                if (seen.insert(w.id).second) out.push_back(w);
            }
        }
    }
    return out;
}

}  // namespace qv
