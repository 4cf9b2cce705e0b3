#include "platform/BitmapRendering.h"

#include <algorithm>
#include <array>

namespace qv {

std::optional<Image> renderBitmap(const Image& image, int width, int height) {
    if (!image.hasPixels() || width <= 0 || height <= 0) return std::nullopt;
    Image out = Image::filled(width, height, 0);
    out.name = image.name;
    for (int y = 0; y < height; ++y) {
        const int y0 = y * image.height / height;
        const int y1 = std::max(y0 + 1, (y + 1) * image.height / height);
        for (int x = 0; x < width; ++x) {
            const int x0 = x * image.width / width;
            const int x1 = std::max(x0 + 1, (x + 1) * image.width / width);
            std::array<uint64_t, 4> sum{};
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const uint32_t p = image.pixel(sx, sy);
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (24 - 8 * c)) & 0xFF;
                }
            }
            const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            uint32_t pixel = 0;
            for (int c = 0; c < 4; ++c) pixel |= uint32_t((sum[c] + n / 2) / n) << (24 - 8 * c);
            out.pixels[size_t(y) * size_t(width) + size_t(x)] = pixel;
        }
    }
    return out;
}

}  // namespace qv
