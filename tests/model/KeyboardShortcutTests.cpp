#include <gtest/gtest.h>

#include "model/KeyboardShortcutJson.h"

namespace qv {
namespace {

TEST(KeyboardShortcutTest, JsonRoundTripInFieldOrder) {
    KeyboardShortcut s{48, carbon::kOption};
    nlohmann::json j = s;
    EXPECT_EQ(j.dump(), R"({"keyCode":48,"modifiers":2048})");
    EXPECT_EQ(j.get<KeyboardShortcut>(), s);
    EXPECT_NE((KeyboardShortcut{48, carbon::kCommand}), s);
}

TEST(KeyboardShortcutTest, DecodingNeedsBothKeysAsUnsigned32BitNumbers) {
    auto decode = [](const char* text) { return nlohmann::json::parse(text).get<KeyboardShortcut>(); };
    EXPECT_THROW(decode(R"({"keyCode":48})"), nlohmann::json::exception);
    EXPECT_THROW(decode(R"({"keyCode":-1,"modifiers":0})"), nlohmann::json::exception);
    EXPECT_THROW(decode(R"({"keyCode":4294967296,"modifiers":0})"), nlohmann::json::exception);
    EXPECT_THROW(decode(R"({"keyCode":1.5,"modifiers":0})"), nlohmann::json::exception);
    EXPECT_THROW(decode(R"({"keyCode":"48","modifiers":0})"), nlohmann::json::exception);
    EXPECT_EQ(decode(R"({"modifiers":4294967295,"keyCode":0})").modifiers, 4294967295u);
}

}  // namespace
}  // namespace qv
