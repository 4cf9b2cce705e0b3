#pragma once

#include <algorithm>
#include <cmath>
#include <ostream>

namespace qv {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle with the platform's semantics: min/max and width/height read the standardised
// rectangle, so a negative size behaves like its mirror image.
struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    double width() const { return std::abs(size.width); }
    double height() const { return std::abs(size.height); }
    double area() const { return width() * height(); }
    bool isEmpty() const { return width() == 0 || height() == 0; }

    Rect standardized() const { return {minX(), minY(), width(), height()}; }
    // Overlap with a positive area; rectangles that only share an edge do not intersect.
    bool intersects(const Rect& o) const {
        return minX() < o.maxX() && o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
    }
    Rect intersection(const Rect& o) const;
    Rect unionWith(const Rect& o) const;
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool contains(const Rect& o) const {
        return o.minX() >= minX() && o.maxX() <= maxX() && o.minY() >= minY() && o.maxY() <= maxY();
    }
    Rect offsetBy(double dx, double dy) const {
        return {origin.x + dx, origin.y + dy, size.width, size.height};
    }
    Rect insetBy(double dx, double dy) const {
        Rect s = standardized();
        return {s.origin.x + dx, s.origin.y + dy, s.size.width - 2 * dx, s.size.height - 2 * dy};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// The window server measures from the top-left corner of the primary display with y down; screens
// (and our panels) measure from its bottom-left corner with y up. The conversion is its own inverse:
// x and size stay, y becomes the primary screen's top edge minus the rectangle's far edge.
inline Rect flipVertically(const Rect& r, double primaryScreenMaxY) {
    return {r.minX(), primaryScreenMaxY - r.maxY(), r.width(), r.height()};
}
inline Point flipVertically(Point p, double primaryScreenMaxY) {
    return {p.x, primaryScreenMaxY - p.y};
}

std::ostream& operator<<(std::ostream& os, const Point& p);
std::ostream& operator<<(std::ostream& os, const Size& s);
std::ostream& operator<<(std::ostream& os, const Rect& r);

}  // namespace qv
