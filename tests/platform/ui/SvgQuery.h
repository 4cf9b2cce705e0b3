#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// One element of a rendered SVG document, as the tests read it back: its attributes, the raw text
// that directly follows its start tag, and the elements it stands in (outermost first).
struct SvgElement {
    std::string name;
    std::map<std::string, std::string> attrs;
    std::string text;
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

// Bit by bit, so that it does not share a table with the code under test.
inline uint32_t crc32Bitwise(std::string_view data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

struct DecodedPng {
    std::string error;  // empty when the file is sound
    int width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBBAA
    std::vector<std::string> chunkTypes;
    std::vector<uint32_t> chunkCRCs;
    int deflateBlocks = 0;
};

// Decodes a PNG whose image data is a zlib stream of stored (uncompressed) blocks, checking every
// length, checksum and framing field on the way.
inline DecodedPng decodeStoredPng(const std::string& png) {
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
        std::string data = png.substr(at + 8, len);
        uint32_t crc = be32(at + 8 + len);
        if (crc != crc32Bitwise(png.substr(at + 4, 4 + len))) {
            d.error = "bad CRC in " + type;
            return d;
        }
        d.chunkTypes.push_back(type);
        d.chunkCRCs.push_back(crc);
        if (type == "IHDR") {
            if (len != 13) {
                d.error = "IHDR length";
                return d;
            }
            d.width = int(be32(at + 8));
            d.height = int(be32(at + 12));
            d.bitDepth = uint8_t(data[8]);
            d.colorType = uint8_t(data[9]);
            if (data[10] != 0 || data[11] != 0 || data[12] != 0) {
                d.error = "compression, filter or interlace method";
                return d;
            }
        } else if (type == "IDAT") {
            idat += data;
        }
        at += 12 + len;
    }
    if (at != png.size()) {
        d.error = "trailing bytes";
        return d;
    }
    if (idat.size() < 6 || ((uint8_t(idat[0]) << 8) | uint8_t(idat[1])) % 31 != 0 || (idat[0] & 0x0F) != 8) {
        d.error = "zlib header";
        return d;
    }
    std::string raw;
    size_t p = 2;
    bool last = false;
    while (!last) {
        if (p + 5 > idat.size()) {
            d.error = "truncated deflate block";
            return d;
        }
        uint8_t header = uint8_t(idat[p]);
        last = header & 1;
        if ((header >> 1) & 3) {
            d.error = "not a stored block";
            return d;
        }
        uint32_t len = uint8_t(idat[p + 1]) | (uint32_t(uint8_t(idat[p + 2])) << 8);
        uint32_t nlen = uint8_t(idat[p + 3]) | (uint32_t(uint8_t(idat[p + 4])) << 8);
        if ((len ^ 0xFFFFu) != nlen) {
            d.error = "LEN and NLEN disagree";
            return d;
        }
        if (p + 5 + len > idat.size()) {
            d.error = "stored block overruns the stream";
            return d;
        }
        raw += idat.substr(p + 5, len);
        p += 5 + len;
        ++d.deflateBlocks;
    }
    if (p + 4 != idat.size()) {
        d.error = "no Adler-32 at the end of the stream";
        return d;
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    uint32_t adler = (uint32_t(uint8_t(idat[p])) << 24) | (uint32_t(uint8_t(idat[p + 1])) << 16) |
                     (uint32_t(uint8_t(idat[p + 2])) << 8) | uint32_t(uint8_t(idat[p + 3]));
    if (adler != ((b << 16) | a)) {
        d.error = "Adler-32";
        return d;
    }
    size_t stride = size_t(d.width) * 4 + 1;
    if (raw.size() != stride * size_t(d.height)) {
        d.error = "image data size";
        return d;
    }
    for (int y = 0; y < d.height; ++y) {
        if (raw[size_t(y) * stride] != 0) {
            d.error = "row filter";
            return d;
        }
        for (int x = 0; x < d.width; ++x) {
            size_t o = size_t(y) * stride + 1 + size_t(x) * 4;
            d.pixels.push_back((uint32_t(uint8_t(raw[o])) << 24) | (uint32_t(uint8_t(raw[o + 1])) << 16) |
                               (uint32_t(uint8_t(raw[o + 2])) << 8) | uint32_t(uint8_t(raw[o + 3])));
        }
    }
    return d;
}

}  // namespace qv
