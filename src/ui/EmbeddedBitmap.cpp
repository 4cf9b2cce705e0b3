#include "ui/EmbeddedBitmap.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace qv::embeddedbitmap {

namespace {

void put32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string chunk(const char* type, const std::string& data) {
    std::string c;
    put32(c, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    c += body;
    put32(c, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
    return c;
}

// Each row behind the PNG filter that leaves the smallest bytes, which deflate packs best; the
// first of them on a tie.
std::string filteredRows(const Image& image) {
    const size_t stride = size_t(image.width) * 4;
    std::string out((stride + 1) * size_t(image.height), '\0');
    // The bytes of this row and the one above, after four zeros that stand left of the first pixel.
    std::vector<uint8_t> row(stride + 4), above(stride + 4);
    // 0 none, 1 the byte to the left, 2 the byte above.
    auto filtered = [&](size_t f, size_t i) {
        return uint8_t(row[i] - (f == 1 ? row[i - 4] : f == 2 ? above[i] : 0));
    };
    char* to = out.data();
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.pixel(x, y);
            for (int k = 0; k < 4; ++k) row[size_t(x + 1) * 4 + size_t(k)] = uint8_t(p >> (24 - 8 * k));
        }
        std::array<uint64_t, 3> cost{};
        for (size_t i = 4; i < row.size(); ++i) {
            for (size_t f = 0; f < cost.size(); ++f) cost[f] += uint64_t(std::abs(int8_t(filtered(f, i))));
        }
        const size_t best = size_t(std::min_element(cost.begin(), cost.end()) - cost.begin());
        *to++ = static_cast<char>(best);
        for (size_t i = 4; i < row.size(); ++i) *to++ = static_cast<char>(filtered(best, i));
        std::swap(row, above);
    }
    return out;
}

}  // namespace

std::optional<PlacedBitmap> place(const Rect& frame, const Rect& visible, int imageWidth, int imageHeight,
                                  double pixelScale) {
    if (imageWidth <= 0 || imageHeight <= 0 || frame.isEmpty() || !frame.intersects(visible))
        return std::nullopt;
    const Rect shown = frame.intersection(visible);
    const double perX = imageWidth / frame.width(), perY = imageHeight / frame.height();
    // Whole pixels around what shows, so the embedded part lands exactly where it is in the whole.
    auto span = [](double from, double to, double per, int count) {
        const int a = std::clamp(int(std::floor(from * per + 1e-9)), 0, count - 1);
        const int b = std::clamp(int(std::ceil(to * per - 1e-9)), a + 1, count);
        return std::pair{a, b};
    };
    const auto [x0, x1] = span(shown.minX() - frame.minX(), shown.maxX() - frame.minX(), perX, imageWidth);
    const auto [y0, y1] = span(shown.minY() - frame.minY(), shown.maxY() - frame.minY(), perY, imageHeight);
    PlacedBitmap p;
    p.sourceX = x0;
    p.sourceY = y0;
    p.sourceWidth = x1 - x0;
    p.sourceHeight = y1 - y0;
    p.frame = {frame.minX() + x0 / perX, frame.minY() + y0 / perY, p.sourceWidth / perX,
               p.sourceHeight / perY};
    const double scale = std::isfinite(pixelScale) && pixelScale > 0 ? pixelScale : 1;
    p.width = std::clamp(int(std::ceil(p.frame.width() * scale - 1e-9)), 1, p.sourceWidth);
    p.height = std::clamp(int(std::ceil(p.frame.height() * scale - 1e-9)), 1, p.sourceHeight);
    return p;
}

Image resample(const Image& image, const PlacedBitmap& placed) {
    Image out = Image::filled(placed.width, placed.height, 0);
    const double stepX = double(placed.sourceWidth) / placed.width;
    const double stepY = double(placed.sourceHeight) / placed.height;
    for (int y = 0; y < placed.height; ++y) {
        const int sy0 = placed.sourceY + int(y * stepY);
        const int sy1 = std::max(sy0 + 1, placed.sourceY + int((y + 1) * stepY));
        for (int x = 0; x < placed.width; ++x) {
            const int sx0 = placed.sourceX + int(x * stepX);
            const int sx1 = std::max(sx0 + 1, placed.sourceX + int((x + 1) * stepX));
            // Colours weighted by their alpha, so transparent pixels lend no colour to the average.
            uint64_t r = 0, g = 0, b = 0, a = 0, n = 0;
            for (int sy = sy0; sy < sy1; ++sy) {
                for (int sx = sx0; sx < sx1; ++sx) {
                    const uint32_t p = image.pixel(sx, sy);
                    const uint32_t pa = p & 0xFF;
                    r += (p >> 24) * pa;
                    g += ((p >> 16) & 0xFF) * pa;
                    b += ((p >> 8) & 0xFF) * pa;
                    a += pa;
                    ++n;
                }
            }
            uint32_t pixel = n == 1 ? image.pixel(sx0, sy0) : 0;
            if (n > 1 && a > 0) {
                pixel = uint32_t((r + a / 2) / a) << 24 | uint32_t((g + a / 2) / a) << 16 |
                        uint32_t((b + a / 2) / a) << 8 | uint32_t((a + n / 2) / n);
            }
            out.pixels[size_t(y) * size_t(placed.width) + size_t(x)] = pixel;
        }
    }
    return out;
}

std::string png(const Image& image) {
    const std::string raw = filteredRows(image);
    uLongf size = compressBound(uLong(raw.size()));
    std::string z(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  uLong(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("the picture could not be compressed");
    z.resize(size);
    std::string ihdr;
    put32(ihdr, uint32_t(image.width));
    put32(ihdr, uint32_t(image.height));
    ihdr +=
        std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits per channel, RGBA, deflate, filters, no interlace
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", z) + chunk("IEND", "");
}

}  // namespace qv::embeddedbitmap
