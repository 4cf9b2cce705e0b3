#include "XmlCheck.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace qv::fuzz {

namespace {

bool allowedCharacter(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// Decodes strict UTF-8 (no overlong forms, no surrogates); false at the first bad sequence.
bool decodeUTF8(std::string_view s, std::vector<char32_t>* out) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int extra = 0;
        char32_t c = 0;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF))
            return false;
        if (out) out->push_back(c);
        i += 1 + extra;
    }
    return true;
}

bool nameStart(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0xC0;
}
bool nameChar(char32_t c) {
    return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}
bool space(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Checker {
  public:
    explicit Checker(std::vector<char32_t> text) : t_(std::move(text)) {}

    std::optional<std::string> run() {
        if (startsWith(U"<?xml")) {
            if (!skipPast(U"?>")) return fault("unterminated declaration");
        }
        misc();
        if (!at('<')) return fault("no root element");
        if (auto f = element()) return f;
        misc();
        if (error_) return error_;
        if (i_ != t_.size()) return fault("content after the root element");
        return std::nullopt;
    }

  private:
    std::optional<std::string> fault(const std::string& why) {
        return why + " at character " + std::to_string(i_);
    }
    bool at(char32_t c) const { return i_ < t_.size() && t_[i_] == c; }
    bool startsWith(std::u32string_view s) const {
        return t_.size() - i_ >= s.size() && std::equal(s.begin(), s.end(), t_.begin() + i_);
    }
    bool skipPast(std::u32string_view s) {
        for (; i_ + s.size() <= t_.size(); ++i_) {
            if (std::equal(s.begin(), s.end(), t_.begin() + i_)) {
                i_ += s.size();
                return true;
            }
        }
        i_ = t_.size();
        return false;
    }
    void skipSpace() {
        while (i_ < t_.size() && space(t_[i_])) ++i_;
    }
    // White space and comments between top-level items.
    void misc() {
        for (;;) {
            skipSpace();
            if (!startsWith(U"<!--")) return;
            if (auto f = comment()) {
                error_ = f;
                return;
            }
        }
    }
    std::optional<std::string> comment() {
        i_ += 4;
        for (; i_ + 1 < t_.size(); ++i_) {
            if (t_[i_] == '-' && t_[i_ + 1] == '-') {
                if (i_ + 2 < t_.size() && t_[i_ + 2] == '>') {
                    i_ += 3;
                    return std::nullopt;
                }
                return fault("\"--\" inside a comment");
            }
        }
        return fault("unterminated comment");
    }
    // A view into the text: names are compared, never kept past the check.
    std::optional<std::u32string_view> name() {
        if (i_ >= t_.size() || !nameStart(t_[i_])) return std::nullopt;
        const size_t start = i_;
        while (i_ < t_.size() && nameChar(t_[i_])) ++i_;
        return std::u32string_view(t_.data() + start, i_ - start);
    }
    std::optional<std::string> reference() {
        ++i_;  // '&'
        if (at('#')) {
            ++i_;
            const bool hex = at('x');
            if (hex) ++i_;
            char32_t value = 0;
            size_t digits = 0;
            for (; i_ < t_.size() && t_[i_] != ';'; ++i_, ++digits) {
                const char32_t c = t_[i_];
                int d = -1;
                if (c >= '0' && c <= '9') d = static_cast<int>(c - '0');
                if (hex && c >= 'a' && c <= 'f') d = static_cast<int>(c - 'a' + 10);
                if (hex && c >= 'A' && c <= 'F') d = static_cast<int>(c - 'A' + 10);
                if (d < 0 || value > 0x10FFFF) return fault("bad character reference");
                value = value * (hex ? 16 : 10) + static_cast<char32_t>(d);
            }
            if (!at(';') || digits == 0 || !allowedCharacter(value)) return fault("bad character reference");
            ++i_;
            return std::nullopt;
        }
        auto n = name();
        if (!n || !at(';')) return fault("malformed entity reference");
        ++i_;
        constexpr std::u32string_view known[] = {U"amp", U"lt", U"gt", U"quot", U"apos"};
        if (std::find(std::begin(known), std::end(known), *n) == std::end(known))
            return fault("unknown entity");
        return std::nullopt;
    }
    // Iterative over nesting, so a deep document cannot exhaust the stack.
    std::optional<std::string> element() {
        std::vector<std::u32string_view> open;
        do {
            // At '<' of a start tag.
            ++i_;
            auto tag = name();
            if (!tag) return fault("bad tag name");
            std::vector<std::u32string_view> attributes;
            for (;;) {
                const size_t before = i_;
                skipSpace();
                if (at('>') || startsWith(U"/>")) break;
                if (i_ == before) return fault("attributes not separated by white space");
                auto attribute = name();
                if (!attribute) return fault("bad attribute name");
                if (std::find(attributes.begin(), attributes.end(), *attribute) != attributes.end())
                    return fault("repeated attribute");
                attributes.push_back(*attribute);
                skipSpace();
                if (!at('=')) return fault("attribute without a value");
                ++i_;
                skipSpace();
                if (!at('"') && !at('\'')) return fault("unquoted attribute value");
                const char32_t quote = t_[i_++];
                while (i_ < t_.size() && t_[i_] != quote) {
                    if (t_[i_] == '<') return fault("'<' in an attribute value");
                    if (t_[i_] == '&') {
                        if (auto f = reference()) return f;
                    } else {
                        ++i_;
                    }
                }
                if (!at(quote)) return fault("unterminated attribute value");
                ++i_;
            }
            if (startsWith(U"/>")) {
                i_ += 2;
            } else {
                ++i_;
                open.push_back(*tag);
            }
            // Content until the next start tag or the close of every open element.
            for (;;) {
                if (open.empty()) return std::nullopt;
                if (i_ >= t_.size()) return fault("unclosed element");
                if (startsWith(U"</")) {
                    i_ += 2;
                    auto closing = name();
                    skipSpace();
                    if (!closing || *closing != open.back() || !at('>')) return fault("mismatched end tag");
                    ++i_;
                    open.pop_back();
                } else if (startsWith(U"<!--")) {
                    if (auto f = comment()) return f;
                } else if (startsWith(U"<![CDATA[")) {
                    if (!skipPast(U"]]>")) return fault("unterminated CDATA section");
                } else if (at('<')) {
                    break;  // a child element
                } else if (at('&')) {
                    if (auto f = reference()) return f;
                } else if (startsWith(U"]]>")) {
                    return fault("\"]]>\" in text");
                } else {
                    ++i_;
                }
            }
        } while (true);
    }

    std::vector<char32_t> t_;
    size_t i_ = 0;
    std::optional<std::string> error_;
};

}  // namespace

bool isStrictUTF8(std::string_view text) {
    return decodeUTF8(text, nullptr);
}

std::optional<std::string> xmlWellFormednessFault(std::string_view document) {
    std::vector<char32_t> text;
    text.reserve(document.size());
    if (!decodeUTF8(document, &text)) return "not UTF-8";
    for (size_t i = 0; i < text.size(); ++i) {
        if (!allowedCharacter(text[i])) return "character not allowed in XML at " + std::to_string(i);
    }
    return Checker(std::move(text)).run();
}

}  // namespace qv::fuzz
