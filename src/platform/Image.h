#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

// A bitmap in 32-bit RGBA, or a named picture (an application icon, a symbol) that the renderer
// draws from its name when no pixels are given.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // row-major, width * height entries, 0xRRGGBBAA
    std::string name;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool hasPixels() const { return !pixels.empty() && pixels.size() == size_t(width) * size_t(height); }
    uint32_t pixel(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }

    static Image named(std::string n, int w, int h) {
        Image img;
        img.name = std::move(n);
        img.width = w;
        img.height = h;
        return img;
    }
    static Image filled(int w, int h, uint32_t rgba) {
        Image img;
        img.width = w;
        img.height = h;
        img.pixels.assign(size_t(w) * size_t(h), rgba);
        return img;
    }
    friend bool operator==(const Image&, const Image&) = default;
};

}  // namespace qv
