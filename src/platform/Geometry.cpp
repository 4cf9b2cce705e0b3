#include "platform/Geometry.h"

namespace qv {

Rect Rect::intersection(const Rect& o) const {
    if (!intersects(o)) return {};
    double x0 = std::max(minX(), o.minX());
    double y0 = std::max(minY(), o.minY());
    double x1 = std::min(maxX(), o.maxX());
    double y1 = std::min(maxY(), o.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& o) const {
    if (isEmpty()) return o.standardized();
    if (o.isEmpty()) return standardized();
    double x0 = std::min(minX(), o.minX());
    double y0 = std::min(minY(), o.minY());
    double x1 = std::max(maxX(), o.maxX());
    double y1 = std::max(maxY(), o.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

std::ostream& operator<<(std::ostream& os, const Point& p) {
    return os << "(" << p.x << ", " << p.y << ")";
}
std::ostream& operator<<(std::ostream& os, const Size& s) {
    return os << s.width << "x" << s.height;
}
std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "{" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", " << r.size.height
              << "}";
}

}  // namespace qv
