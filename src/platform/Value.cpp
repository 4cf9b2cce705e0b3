#include "platform/Value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

namespace qv {

int64_t NumberObject::int64Value() const {
    if (!isFloating()) return i_;
    // Truncate toward zero; out-of-range and NaN saturate instead of being undefined.
    if (std::isnan(f_)) return 0;
    if (f_ >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (f_ <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(f_);
}

double NumberObject::doubleValue() const {
    switch (type_) {
        case Type::Floating:
            return f_;
        case Type::Unsigned:
            return static_cast<double>(static_cast<uint64_t>(i_));
        default:
            return static_cast<double>(i_);
    }
}

std::string NumberObject::stringValue() const {
    switch (type_) {
        case Type::Unsigned:
            return std::to_string(static_cast<uint64_t>(i_));
        case Type::Floating: {
            if (std::isfinite(f_) && f_ == std::trunc(f_) && std::abs(f_) < 1e15) {
                return std::to_string(static_cast<int64_t>(f_));
            }
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, f_);
            return std::string(buf, res.ptr);
        }
        default:
            return std::to_string(i_);
    }
}

bool operator==(const NumberObject& a, const NumberObject& b) {
    if (a.isFloating() || b.isFloating()) return a.doubleValue() == b.doubleValue();
    return a.i_ == b.i_;
}

Value Value::boolean(bool b) {
    return {Kind::Bool, b};
}
Value Value::int32(int32_t v) {
    return {Kind::Int32, int64_t{v}};
}
Value Value::uint32(uint32_t v) {
    return {Kind::UInt32, uint64_t{v}};
}
Value Value::int64(int64_t v) {
    return {Kind::Int64, v};
}
Value Value::uint64(uint64_t v) {
    return {Kind::UInt64, v};
}
Value Value::float32(float v) {
    return {Kind::Float, double{v}};
}
Value Value::float64(double v) {
    return {Kind::Double, v};
}
Value Value::number(NumberObject n) {
    return {Kind::Number, n};
}
Value Value::string(std::string s) {
    return {Kind::String, std::move(s)};
}
Value Value::array(Array items) {
    return {Kind::Array, std::make_shared<const Array>(std::move(items))};
}
Value Value::dictionary(Dictionary entries) {
    return {Kind::Dictionary, std::make_shared<const Dictionary>(std::move(entries))};
}
Value Value::uuid(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return {Kind::UUID, std::move(s)};
}
Value Value::element(AXElement e) {
    return {Kind::Element, e};
}
Value Value::axValue(AXValueData v) {
    return {Kind::AXValue, v};
}
Value Value::axPoint(Point p) {
    AXValueData d;
    d.type = AXValueData::Type::Point;
    d.point = p;
    return axValue(d);
}
Value Value::axSize(Size s) {
    AXValueData d;
    d.type = AXValueData::Type::Size;
    d.size = s;
    return axValue(d);
}

std::optional<bool> Value::asBool() const {
    if (kind_ != Kind::Bool) return std::nullopt;
    return std::get<bool>(storage_);
}
std::optional<int32_t> Value::asInt32() const {
    if (kind_ != Kind::Int32) return std::nullopt;
    return static_cast<int32_t>(std::get<int64_t>(storage_));
}
std::optional<uint32_t> Value::asUInt32() const {
    if (kind_ != Kind::UInt32) return std::nullopt;
    return static_cast<uint32_t>(std::get<uint64_t>(storage_));
}
std::optional<int64_t> Value::asInt64() const {
    if (kind_ != Kind::Int64) return std::nullopt;
    return std::get<int64_t>(storage_);
}
std::optional<uint64_t> Value::asUInt64() const {
    if (kind_ != Kind::UInt64) return std::nullopt;
    return std::get<uint64_t>(storage_);
}
std::optional<float> Value::asFloat() const {
    if (kind_ != Kind::Float) return std::nullopt;
    return static_cast<float>(std::get<double>(storage_));
}
std::optional<double> Value::asDouble() const {
    if (kind_ != Kind::Double) return std::nullopt;
    return std::get<double>(storage_);
}
const std::string* Value::asString() const {
    return kind_ == Kind::String ? &std::get<std::string>(storage_) : nullptr;
}
const Value::Array* Value::asArray() const {
    return kind_ == Kind::Array ? std::get<std::shared_ptr<const Array>>(storage_).get() : nullptr;
}
const Value::Dictionary* Value::asDictionary() const {
    return kind_ == Kind::Dictionary ? std::get<std::shared_ptr<const Dictionary>>(storage_).get() : nullptr;
}
std::optional<std::string> Value::asUUIDString() const {
    if (kind_ != Kind::UUID) return std::nullopt;
    return std::get<std::string>(storage_);
}
std::optional<AXElement> Value::asElement() const {
    if (kind_ != Kind::Element) return std::nullopt;
    return std::get<AXElement>(storage_);
}
std::optional<AXValueData> Value::asAXValue() const {
    if (kind_ != Kind::AXValue) return std::nullopt;
    return std::get<AXValueData>(storage_);
}

std::optional<NumberObject> Value::asNumberObject() const {
    if (kind_ == Kind::Number) return std::get<NumberObject>(storage_);
    if (kind_ == Kind::Bool) return NumberObject::ofBool(std::get<bool>(storage_));
    return std::nullopt;
}

std::optional<std::vector<const Value::Dictionary*>> Value::asDictionaryArray() const {
    const Array* a = asArray();
    if (!a) return std::nullopt;
    std::vector<const Dictionary*> out;
    out.reserve(a->size());
    for (const Value& v : *a) {
        const Dictionary* d = v.asDictionary();
        if (!d) return std::nullopt;
        out.push_back(d);
    }
    return out;
}

std::optional<std::vector<NumberObject>> Value::asNumberArray() const {
    const Array* a = asArray();
    if (!a) return std::nullopt;
    std::vector<NumberObject> out;
    out.reserve(a->size());
    for (const Value& v : *a) {
        auto n = v.asNumberObject();
        if (!n) return std::nullopt;
        out.push_back(*n);
    }
    return out;
}

std::optional<std::vector<AXElement>> Value::asElementArray() const {
    const Array* a = asArray();
    if (!a) return std::nullopt;
    std::vector<AXElement> out;
    out.reserve(a->size());
    for (const Value& v : *a) {
        auto e = v.asElement();
        if (!e) return std::nullopt;
        out.push_back(*e);
    }
    return out;
}

const Value& valueFor(const Value::Dictionary& d, std::string_view key) {
    static const Value kNull;
    auto it = d.find(key);
    return it == d.end() ? kNull : it->second;
}

const Value& Value::operator[](std::string_view key) const {
    static const Value kNull;
    const Dictionary* d = asDictionary();
    return d ? valueFor(*d, key) : kNull;
}

bool Value::has(std::string_view key) const {
    const Dictionary* d = asDictionary();
    return d && d->find(key) != d->end();
}

bool operator==(const Value& a, const Value& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case Value::Kind::Array:
            return *a.asArray() == *b.asArray();
        case Value::Kind::Dictionary:
            return *a.asDictionary() == *b.asDictionary();
        default:
            return a.storage_ == b.storage_;
    }
}

std::string Value::debugDescription() const {
    std::ostringstream os;
    os << *this;
    return os.str();
}

std::ostream& operator<<(std::ostream& os, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null:
            return os << "null";
        case Value::Kind::Bool:
            return os << (*v.asBool() ? "true" : "false");
        case Value::Kind::Int32:
            return os << *v.asInt32() << "i32";
        case Value::Kind::UInt32:
            return os << *v.asUInt32() << "u32";
        case Value::Kind::Int64:
            return os << *v.asInt64() << "i64";
        case Value::Kind::UInt64:
            return os << *v.asUInt64() << "u64";
        case Value::Kind::Float:
            return os << *v.asFloat() << "f";
        case Value::Kind::Double:
            return os << *v.asDouble() << "d";
        case Value::Kind::Number:
            return os << "@" << v.asNumberObject()->stringValue();
        case Value::Kind::String:
            return os << '"' << *v.asString() << '"';
        case Value::Kind::UUID:
            return os << "uuid(" << *v.asUUIDString() << ")";
        case Value::Kind::Element: {
            auto e = *v.asElement();
            return os << "element(" << e.ownerPID() << ":" << e.token() << ")";
        }
        case Value::Kind::AXValue: {
            auto d = *v.asAXValue();
            switch (d.type) {
                case AXValueData::Type::Point:
                    return os << "axpoint" << d.point;
                case AXValueData::Type::Size:
                    return os << "axsize(" << d.size << ")";
                case AXValueData::Type::Rect:
                    return os << "axrect" << d.rect;
                case AXValueData::Type::Range:
                    return os << "axrange(" << d.rangeLocation << "," << d.rangeLength << ")";
            }
            return os;
        }
        case Value::Kind::Array: {
            os << "[";
            bool first = true;
            for (const Value& e : *v.asArray()) {
                os << (first ? "" : ", ") << e;
                first = false;
            }
            return os << "]";
        }
        case Value::Kind::Dictionary: {
            os << "{";
            bool first = true;
            for (const auto& [k, e] : *v.asDictionary()) {
                os << (first ? "" : ", ") << k << ": " << e;
                first = false;
            }
            return os << "}";
        }
    }
    return os;
}

std::optional<Rect> rectFromDictionary(const Value& v) {
    if (!v.asDictionary()) return std::nullopt;
    auto x = v["X"].asNumberObject();
    auto y = v["Y"].asNumberObject();
    auto w = v["Width"].asNumberObject();
    auto h = v["Height"].asNumberObject();
    if (!x || !y || !w || !h) return std::nullopt;
    return Rect{x->doubleValue(), y->doubleValue(), w->doubleValue(), h->doubleValue()};
}

Value dictionaryFromRect(const Rect& r) {
    return Value::dictionary({{"X", Value::number(r.origin.x)},
                              {"Y", Value::number(r.origin.y)},
                              {"Width", Value::number(r.size.width)},
                              {"Height", Value::number(r.size.height)}});
}

Value numberArray(const std::vector<uint32_t>& ids) {
    Value::Array a;
    a.reserve(ids.size());
    for (uint32_t id : ids) a.push_back(Value::number(NumberObject::ofUnsigned(id)));
    return Value::array(std::move(a));
}

Value numberArray(const std::vector<uint64_t>& ids) {
    Value::Array a;
    a.reserve(ids.size());
    for (uint64_t id : ids) a.push_back(Value::number(NumberObject::ofUnsigned(id)));
    return Value::array(std::move(a));
}

}  // namespace qv
