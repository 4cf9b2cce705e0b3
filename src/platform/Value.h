#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/AXElement.h"
#include "platform/Geometry.h"

namespace qv {

// A Foundation number object: the boxed number the platform puts into dictionaries and arrays.
// Its readers convert the way the platform does: integer reads of a float truncate toward zero,
// narrow reads keep the low bits, so 0x1_0000_0005 read as 32 bits is 5.
class NumberObject {
  public:
    enum class Type { Bool, Signed, Unsigned, Floating };

    static NumberObject ofBool(bool b) { return NumberObject(Type::Bool, b ? 1 : 0, 0); }
    static NumberObject ofSigned(int64_t v) { return NumberObject(Type::Signed, v, 0); }
    static NumberObject ofUnsigned(uint64_t v) {
        return NumberObject(Type::Unsigned, static_cast<int64_t>(v), 0);
    }
    static NumberObject ofDouble(double v) { return NumberObject(Type::Floating, 0, v); }

    Type type() const { return type_; }
    bool isFloating() const { return type_ == Type::Floating; }

    int64_t int64Value() const;
    uint64_t uint64Value() const { return static_cast<uint64_t>(int64Value()); }
    int32_t int32Value() const { return static_cast<int32_t>(static_cast<uint32_t>(uint64Value())); }
    uint32_t uint32Value() const { return static_cast<uint32_t>(uint64Value()); }
    double doubleValue() const;
    float floatValue() const { return static_cast<float>(doubleValue()); }
    bool boolValue() const { return isFloating() ? f_ != 0 : i_ != 0; }
    // Decimal text: integers without a fraction, floats in their shortest exact form.
    std::string stringValue() const;

    friend bool operator==(const NumberObject& a, const NumberObject& b);

  private:
    NumberObject(Type t, int64_t i, double f) : type_(t), i_(i), f_(f) {}
    Type type_;
    int64_t i_;
    double f_;
};

// An Accessibility value object (AXValue) wrapping a point, size, rectangle or range.
struct AXValueData {
    enum class Type { Point = 1, Size = 2, Rect = 3, Range = 4 };
    Type type = Type::Point;
    Point point;
    Size size;
    Rect rect;
    int64_t rangeLocation = 0;
    int64_t rangeLength = 0;
    friend bool operator==(const AXValueData&, const AXValueData&) = default;
};

// One loosely typed platform value: what window-list entries, Spaces listings and Accessibility
// attributes hold. Natively typed scalars (a Swift UInt32, Int32, Float ...) are kept apart from
// number objects, because the readers treat the two differently.
class Value {
  public:
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value, std::less<>>;

    enum class Kind {
        Null,
        Bool,
        Int32,
        UInt32,
        Int64,
        UInt64,
        Float,
        Double,
        Number,
        String,
        Array,
        Dictionary,
        UUID,
        Element,
        AXValue
    };

    Value() = default;  // null
    static Value null() { return {}; }
    static Value boolean(bool b);
    static Value int32(int32_t v);
    static Value uint32(uint32_t v);
    static Value int64(int64_t v);
    static Value uint64(uint64_t v);
    static Value float32(float v);
    static Value float64(double v);
    static Value number(NumberObject n);
    // Number objects, as the platform boxes them.
    static Value number(int v) { return number(NumberObject::ofSigned(v)); }
    static Value number(long v) { return number(NumberObject::ofSigned(v)); }
    static Value number(long long v) { return number(NumberObject::ofSigned(v)); }
    static Value number(unsigned v) { return number(NumberObject::ofUnsigned(v)); }
    static Value number(unsigned long v) { return number(NumberObject::ofUnsigned(v)); }
    static Value number(unsigned long long v) { return number(NumberObject::ofUnsigned(v)); }
    static Value number(double v) { return number(NumberObject::ofDouble(v)); }
    static Value string(std::string s);
    static Value array(Array items);
    static Value dictionary(Dictionary entries);
    static Value uuid(std::string uuidString);  // stored upper-cased
    static Value element(AXElement e);
    static Value axValue(AXValueData v);
    static Value axPoint(Point p);
    static Value axSize(Size s);

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }

    // Exact readers: a value only when the stored kind is exactly that one.
    std::optional<bool> asBool() const;
    std::optional<int32_t> asInt32() const;
    std::optional<uint32_t> asUInt32() const;
    std::optional<int64_t> asInt64() const;
    std::optional<uint64_t> asUInt64() const;
    std::optional<float> asFloat() const;
    std::optional<double> asDouble() const;
    const std::string* asString() const;
    const Array* asArray() const;
    const Dictionary* asDictionary() const;
    std::optional<std::string> asUUIDString() const;
    std::optional<AXElement> asElement() const;
    std::optional<AXValueData> asAXValue() const;

    // The value as a number object, as a platform cast to NSNumber would see it: number objects
    // and booleans (which the platform boxes the same way) qualify, native scalars do not.
    std::optional<NumberObject> asNumberObject() const;

    // Conversions of whole containers that fail unless every element has the asked shape, like
    // the platform's "as? [[String: Any]]" and "as? [NSNumber]".
    std::optional<std::vector<const Dictionary*>> asDictionaryArray() const;
    std::optional<std::vector<NumberObject>> asNumberArray() const;
    std::optional<std::vector<AXElement>> asElementArray() const;

    // Dictionary lookup; null when this is no dictionary or the key is absent.
    const Value& operator[](std::string_view key) const;
    bool has(std::string_view key) const;

    friend bool operator==(const Value& a, const Value& b);
    std::string debugDescription() const;

  private:
    using Storage =
        std::variant<std::monostate, bool, int64_t, uint64_t, double, NumberObject, std::string,
                     std::shared_ptr<const Array>, std::shared_ptr<const Dictionary>, AXElement, AXValueData>;
    Value(Kind k, Storage s) : kind_(k), storage_(std::move(s)) {}
    Kind kind_ = Kind::Null;
    Storage storage_;
};

std::ostream& operator<<(std::ostream& os, const Value& v);

// Lookup in a dictionary; null when the key is absent.
const Value& valueFor(const Value::Dictionary& d, std::string_view key);

// The platform's rectangle-from-dictionary conversion: numbers under "X", "Y", "Width", "Height".
std::optional<Rect> rectFromDictionary(const Value& v);
Value dictionaryFromRect(const Rect& r);

// Arrays of number objects, the form in which ids are handed to the window server.
Value numberArray(const std::vector<uint32_t>& ids);
Value numberArray(const std::vector<uint64_t>& ids);

}  // namespace qv
