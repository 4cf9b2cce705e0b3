#include <gtest/gtest.h>

#include "platform/Value.h"

namespace qv {
namespace {

TEST(NumberObjectTest, NarrowReadsKeepTheLowBits) {
    auto big = NumberObject::ofUnsigned(0x100000005ull);
    EXPECT_EQ(big.uint32Value(), 5u);
    EXPECT_EQ(big.int32Value(), 5);
    auto negative = NumberObject::ofSigned(-1);
    EXPECT_EQ(negative.uint32Value(), 0xFFFFFFFFu);
    EXPECT_EQ(negative.uint64Value(), 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(NumberObject::ofSigned(0x80000000ll).int32Value(), INT32_MIN);
}

TEST(NumberObjectTest, FloatingValuesTruncateTowardZero) {
    EXPECT_EQ(NumberObject::ofDouble(3.9).int32Value(), 3);
    EXPECT_EQ(NumberObject::ofDouble(-3.9).int32Value(), -3);
    EXPECT_EQ(NumberObject::ofDouble(1e30).int64Value(), INT64_MAX);
    EXPECT_EQ(NumberObject::ofDouble(std::nan("")).int64Value(), 0);
    EXPECT_FLOAT_EQ(NumberObject::ofSigned(1).floatValue(), 1.0f);
}

TEST(NumberObjectTest, StringValueIsDecimalText) {
    EXPECT_EQ(NumberObject::ofSigned(-42).stringValue(), "-42");
    EXPECT_EQ(NumberObject::ofUnsigned(18446744073709551615ull).stringValue(), "18446744073709551615");
    EXPECT_EQ(NumberObject::ofDouble(2.0).stringValue(), "2");
    EXPECT_EQ(NumberObject::ofDouble(0.5).stringValue(), "0.5");
    EXPECT_EQ(NumberObject::ofBool(true).stringValue(), "1");
}

TEST(ValueTest, ExactReadersTakeOnlyTheirOwnKind) {
    EXPECT_EQ(Value::uint32(7).asUInt32(), 7u);
    EXPECT_FALSE(Value::uint32(7).asInt32());
    EXPECT_FALSE(Value::number(7).asUInt32());  // a number object is not a native UInt32
    EXPECT_FALSE(Value::int64(7).asInt32());
    EXPECT_FALSE(Value::float64(1.0).asFloat());
    EXPECT_EQ(Value::float32(0.5f).asFloat(), 0.5f);
    EXPECT_EQ(Value::string("x").asString()->size(), 1u);
    EXPECT_EQ(Value::number(1).asString(), nullptr);

    // Booleans bridge to number objects, but not the other way.
    ASSERT_TRUE(Value::boolean(true).asNumberObject());
    EXPECT_TRUE(Value::boolean(true).asNumberObject()->boolValue());
    EXPECT_FALSE(Value::number(1).asBool());
    EXPECT_FALSE(Value::uint32(1).asNumberObject());
}

TEST(ValueTest, ContainerConversionsFailAsAWhole) {
    Value dicts = Value::array({Value::dictionary({}), Value::dictionary({{"a", Value::number(1)}})});
    ASSERT_TRUE(dicts.asDictionaryArray());
    EXPECT_EQ(dicts.asDictionaryArray()->size(), 2u);

    Value mixed = Value::array({Value::dictionary({}), Value::string("not a dictionary")});
    EXPECT_FALSE(mixed.asDictionaryArray());
    EXPECT_FALSE(Value::array({Value::number(1), Value::string("2")}).asNumberArray());
    EXPECT_TRUE(Value::array({}).asNumberArray());
    EXPECT_FALSE(Value::string("x").asNumberArray());
    EXPECT_TRUE(Value::array({Value::element(AXElement(5, 1))}).asElementArray());
    EXPECT_FALSE(Value::array({Value::number(1)}).asElementArray());

    // Number arrays are number objects.
    Value ids = numberArray(std::vector<uint64_t>{1, 0xFFFFFFFFFFull});
    auto nums = ids.asNumberArray();
    ASSERT_TRUE(nums);
    EXPECT_EQ((*nums)[1].uint64Value(), 0xFFFFFFFFFFull);
}

TEST(ValueTest, DictionaryLookupGivesNullForMissingKeysAndNonDictionaries) {
    Value d = Value::dictionary({{"k", Value::number(3)}});
    EXPECT_EQ(d["k"].asNumberObject()->int32Value(), 3);
    EXPECT_TRUE(d["missing"].isNull());
    EXPECT_TRUE(Value::string("s")["k"].isNull());
    EXPECT_TRUE(d.has("k"));
    EXPECT_FALSE(d.has("missing"));
}

TEST(ValueTest, RectFromDictionaryNeedsAllFourNumbers) {
    auto r = rectFromDictionary(dictionaryFromRect(Rect{1, 2, 3, 4}));
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (Rect{1, 2, 3, 4}));
    EXPECT_FALSE(rectFromDictionary(Value::dictionary({{"X", Value::number(1)}, {"Y", Value::number(2)}})));
    EXPECT_FALSE(rectFromDictionary(Value::dictionary({{"X", Value::number(1)},
                                                       {"Y", Value::number(2)},
                                                       {"Width", Value::string("3")},
                                                       {"Height", Value::number(4)}})));
    EXPECT_FALSE(rectFromDictionary(Value::number(1)));
}

TEST(ValueTest, EqualityIsDeepAndKindSensitive) {
    Value a = Value::array({Value::dictionary({{"x", Value::number(1)}})});
    Value b = Value::array({Value::dictionary({{"x", Value::number(1)}})});
    EXPECT_EQ(a, b);
    EXPECT_NE(Value::number(1), Value::int32(1));
    EXPECT_EQ(Value::uuid("abc-def"), Value::uuid("ABC-DEF"));
    EXPECT_EQ(Value::number(1), Value::number(1.0));
}

}  // namespace
}  // namespace qv
