// Queries of a display list, its steps and regions.
#include "ui/DisplayList.h"

namespace qv {

std::string DrawOp::joinedText() const {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) out += "\n";
        out += lines[i];
    }
    return out;
}

bool HitRegion::contains(Point p) const {
    if (!shape.contains(frame, p)) return false;
    for (const ClipRegion& c : clips) {
        if (!c.shape.contains(c.rect, p)) return false;
    }
    return true;
}

const DrawOp* DisplayList::findText(const std::string& text) const {
    for (const DrawOp& op : ops) {
        if (op.kind == DrawOp::Kind::text && op.joinedText() == text) return &op;
    }
    return nullptr;
}

std::vector<const DrawOp*> DisplayList::texts() const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops) {
        if (op.kind == DrawOp::Kind::text) out.push_back(&op);
    }
    return out;
}

std::vector<const DrawOp*> DisplayList::opsAt(const std::string& suffix) const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops) {
        if (op.path.size() >= suffix.size() &&
            op.path.compare(op.path.size() - suffix.size(), suffix.size(), suffix) == 0) {
            out.push_back(&op);
        }
    }
    return out;
}

const HitRegion* DisplayList::topmost(Point p, const std::function<bool(const HitRegion&)>& want) const {
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        if (want(*it) && it->contains(p)) return &*it;
    }
    return nullptr;
}

}  // namespace qv
