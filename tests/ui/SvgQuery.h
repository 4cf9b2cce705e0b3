#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// One element of a rendered SVG document, as the tests read it back: its attributes, the raw text
// that directly follows its start tag, that text with its descendants' (a text's characters stand
// in spans of their own), and the elements it stands in (outermost first).
struct SvgElement {
    std::string name;
    std::map<std::string, std::string> attrs;
    std::string text;
    std::string content;
    std::vector<size_t> ancestors;

    bool has(const std::string& key) const { return attrs.contains(key); }
    std::string attr(const std::string& key) const {
        auto it = attrs.find(key);
        return it == attrs.end() ? std::string() : it->second;
    }
    double num(const std::string& key) const { return std::strtod(attr(key).c_str(), nullptr); }
};

// A small reader for the renderer's own output (no comments, no CDATA, attributes in double quotes).
inline std::vector<SvgElement> parseSvg(std::string_view doc) {
    std::vector<SvgElement> out;
    std::vector<size_t> open;
    size_t i = 0;
    while ((i = doc.find('<', i)) != std::string_view::npos) {
        if (doc.compare(i, 2, "<?") == 0) {
            i = doc.find("?>", i);
            if (i == std::string_view::npos) break;
            continue;
        }
        if (doc.compare(i, 2, "</") == 0) {
            if (!open.empty()) open.pop_back();
            i = doc.find('>', i);
            if (i == std::string_view::npos) break;
            continue;
        }
        size_t end = doc.find('>', i);
        if (end == std::string_view::npos) break;
        bool selfClosing = doc[end - 1] == '/';
        std::string_view tag = doc.substr(i + 1, end - i - 1 - (selfClosing ? 1 : 0));
        SvgElement e;
        size_t nameEnd = tag.find_first_of(" \t\n");
        e.name = std::string(tag.substr(0, nameEnd));
        size_t p = nameEnd == std::string_view::npos ? tag.size() : nameEnd;
        while (p < tag.size()) {
            size_t eq = tag.find('=', p);
            if (eq == std::string_view::npos) break;
            size_t keyStart = tag.find_first_not_of(" \t\n", p);
            std::string key(tag.substr(keyStart, eq - keyStart));
            size_t q1 = tag.find('"', eq);
            size_t q2 = tag.find('"', q1 + 1);
            e.attrs[key] = std::string(tag.substr(q1 + 1, q2 - q1 - 1));
            p = q2 + 1;
        }
        size_t next = doc.find('<', end);
        e.text = std::string(doc.substr(end + 1, next == std::string_view::npos ? 0 : next - end - 1));
        e.ancestors = open;
        e.content = e.text;
        for (size_t a : open) out[a].content += e.text;
        out.push_back(std::move(e));
        if (!selfClosing) open.push_back(out.size() - 1);
        i = end;
    }
    return out;
}

inline std::vector<const SvgElement*> named(const std::vector<SvgElement>& all, const std::string& name) {
    std::vector<const SvgElement*> out;
    for (const SvgElement& e : all) {
        if (e.name == name) out.push_back(&e);
    }
    return out;
}

// The first text element whose characters hold `text` (escaped as in the document), or none.
inline std::optional<size_t> textIndex(const std::vector<SvgElement>& all, const std::string& text) {
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].name == "text" && all[i].content.find(text) != std::string::npos) return i;
    }
    return std::nullopt;
}

// The id a "url(#id)" reference names, or none.
inline std::optional<std::string> urlTarget(const std::string& value) {
    if (value.rfind("url(#", 0) != 0 || value.back() != ')') return std::nullopt;
    return value.substr(5, value.size() - 6);
}

inline const SvgElement* byID(const std::vector<SvgElement>& all, const std::string& id) {
    for (const SvgElement& e : all) {
        if (e.attr("id") == id) return &e;
    }
    return nullptr;
}

// --- Reading back the PNG images the renderer embeds ---

inline std::string base64Decode(std::string_view in) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : in) {
        int v = value(c);
        if (v < 0) continue;  // padding
        bits = (bits << 6) | uint32_t(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

struct DecodedPng {
    std::string error;  // empty when the file is sound
    int width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBBAA
    std::vector<std::string> chunkTypes;
};

// Decodes an 8-bit RGB or RGBA PNG, checking every chunk's checksum and undoing every row filter.
inline DecodedPng decodePng(const std::string& png) {
    DecodedPng d;
    auto be32 = [&](size_t at) {
        return (uint32_t(uint8_t(png[at])) << 24) | (uint32_t(uint8_t(png[at + 1])) << 16) |
               (uint32_t(uint8_t(png[at + 2])) << 8) | uint32_t(uint8_t(png[at + 3]));
    };
    if (png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) {
        d.error = "signature";
        return d;
    }
    std::string idat;
    size_t at = 8;
    while (at + 12 <= png.size()) {
        uint32_t len = be32(at);
        if (at + 12 + len > png.size()) {
            d.error = "chunk overruns the file";
            return d;
        }
        std::string type = png.substr(at + 4, 4);
        const std::string body = png.substr(at + 4, 4 + len);
        if (be32(at + 8 + len) !=
            uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())))) {
            d.error = "bad CRC in " + type;
            return d;
        }
        d.chunkTypes.push_back(type);
        if (type == "IHDR") {
            d.width = int(be32(at + 8));
            d.height = int(be32(at + 12));
            d.bitDepth = uint8_t(png[at + 16]);
            d.colorType = uint8_t(png[at + 17]);
        } else if (type == "IDAT") {
            idat += png.substr(at + 8, len);
        }
        at += 12 + len;
    }
    if (at != png.size() || d.bitDepth != 8 || (d.colorType != 2 && d.colorType != 6)) {
        d.error = "framing, depth or colour type";
        return d;
    }
    const size_t channels = d.colorType == 6 ? 4 : 3;
    const size_t stride = size_t(d.width) * channels;
    uLongf size = uLongf((stride + 1) * size_t(d.height));
    std::string raw(size, '\0');
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &size, reinterpret_cast<const Bytef*>(idat.data()),
                   uLong(idat.size())) != Z_OK ||
        size != raw.size()) {
        d.error = "image data";
        return d;
    }
    std::vector<uint8_t> previous(stride, 0), row(stride);
    for (int y = 0; y < d.height; ++y) {
        const uint8_t filter = uint8_t(raw[size_t(y) * (stride + 1)]);
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= channels ? row[i - channels] : 0, b = previous[i],
                      c = i >= channels ? previous[i - channels] : 0;
            const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int predictor = filter == 1   ? a
                                  : filter == 2 ? b
                                  : filter == 3 ? (a + b) / 2
                                  : filter == 4 ? (pa <= pb && pa <= pc ? a
                                                   : pb <= pc           ? b
                                                                        : c)
                                                : 0;
            row[i] = uint8_t(uint8_t(raw[size_t(y) * (stride + 1) + 1 + i]) + predictor);
        }
        for (size_t x = 0; x < size_t(d.width); ++x) {
            const uint8_t* p = &row[x * channels];
            d.pixels.push_back(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 |
                               (channels == 4 ? p[3] : 0xFF));
        }
        previous = row;
    }
    return d;
}

}  // namespace qv
