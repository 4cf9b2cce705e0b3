#include <gtest/gtest.h>

#include "model/BarMetrics.h"
#include "model/BarTheme.h"
#include "model/SpaceScrollUpBehavior.h"

namespace qv {
namespace {

TEST(BarSizeTest, OnlyExactRawTextsAreSizesAndEverythingElseReadsAsMedium) {
    EXPECT_EQ(barSizeFromRawValue("xl"), BarSize::xl);
    EXPECT_EQ(barSizeFromRawValue("XL"), std::nullopt);
    EXPECT_EQ(barSizeFromRawValue(""), std::nullopt);
    EXPECT_EQ(barSizeFromRawValue(" small"), std::nullopt);
    for (const char* text : {"XL", "", "huge", "Medium", "xxl "}) {
        EXPECT_EQ(barSizeFromSetting(text), BarSize::medium) << text;
        EXPECT_EQ(BarMetrics::fromSetting(text), BarMetrics::forSize(BarSize::medium)) << text;
    }
    for (BarSize size : kAllBarSizes) EXPECT_EQ(barSizeFromSetting(rawValue(size)), size);
}

TEST(BarSizeTest, AllSizesInOrderWithTheirBarHeights) {
    std::vector<std::string_view> names;
    std::vector<double> heights;
    for (BarSize size : kAllBarSizes) {
        names.push_back(rawValue(size));
        heights.push_back(barHeight(size));
    }
    EXPECT_EQ(names, (std::vector<std::string_view>{"small", "medium", "large", "xl", "xxl"}));
    EXPECT_EQ(heights, (std::vector<double>{30, 36, 44, 54, 66}));
}

TEST(BarMetricsTest, MediumHasTheDocumentedLengths) {
    BarMetrics m = BarMetrics::forSize(BarSize::medium);
    EXPECT_EQ(m.barSize, BarSize::medium);
    EXPECT_EQ(m.chipHeight, 27);
    EXPECT_EQ(m.chipCornerRadius, 7);
    EXPECT_EQ(m.chipHorizontalPadding, 9);
    EXPECT_EQ(m.chipSpacing, 5);
    EXPECT_EQ(m.iconSize, 18);
    EXPECT_EQ(m.iconTextSpacing, 5);
    EXPECT_EQ(m.titleMaxWidth, 135);
    EXPECT_EQ(m.menuButtonWidth, 29);
    EXPECT_EQ(m.menuButtonHeight, 22);
    EXPECT_EQ(m.menuIconSize, 12);
    EXPECT_EQ(m.cornerRadius, 5);
    EXPECT_EQ(m.scrollHorizontalPadding, 10);
    EXPECT_EQ(m.barHorizontalPadding, 9);
}

TEST(BarMetricsTest, EverySizeHasItsOwnLengthsThatGrowWithTheSize) {
    auto lengths = [](const BarMetrics& m) {
        return std::vector<double>{m.chipHeight,
                                   m.chipCornerRadius,
                                   m.chipHorizontalPadding,
                                   m.chipSpacing,
                                   m.iconSize,
                                   m.iconTextSpacing,
                                   m.titleMaxWidth,
                                   m.menuButtonWidth,
                                   m.menuButtonHeight,
                                   m.menuIconSize,
                                   m.scrollHorizontalPadding,
                                   m.cornerRadius,
                                   m.barHorizontalPadding};
    };
    std::optional<BarMetrics> previous;
    for (BarSize size : kAllBarSizes) {
        BarMetrics m = BarMetrics::forSize(size);
        EXPECT_EQ(m.barSize, size);
        // Paired lengths carry one value in every size.
        EXPECT_EQ(m.chipSpacing, m.iconTextSpacing);
        EXPECT_EQ(m.chipSpacing, m.cornerRadius);
        EXPECT_EQ(m.chipHorizontalPadding, m.barHorizontalPadding);
        // Everything fits in the bar and in the chip.
        EXPECT_LT(m.chipHeight, barHeight(size));
        EXPECT_LT(m.iconSize, m.chipHeight);
        EXPECT_LT(m.menuButtonHeight, barHeight(size));
        if (previous) {
            auto now = lengths(m), before = lengths(*previous);
            for (size_t i = 0; i < now.size(); ++i)
                EXPECT_GT(now[i], before[i]) << rawValue(size) << " field " << i;
        }
        previous = m;
    }
    EXPECT_EQ(BarMetrics::forSize(BarSize::small).chipHeight, 23);
    EXPECT_EQ(BarMetrics::forSize(BarSize::xxl).titleMaxWidth, 220);
    EXPECT_EQ(BarMetrics::forSize(BarSize::xl).menuIconSize, 18);
}

TEST(SettingEnumerationsTest, ScrollDirectionIsRightOnlyForTheExactText) {
    EXPECT_EQ(spaceScrollUpBehaviorFromSetting("right"), SpaceScrollUpBehavior::right);
    EXPECT_EQ(spaceScrollUpBehaviorFromSetting("Right"), SpaceScrollUpBehavior::left);
    EXPECT_EQ(spaceScrollUpBehaviorFromSetting(""), SpaceScrollUpBehavior::left);
    EXPECT_EQ(spaceScrollUpBehaviorFromRawValue("Right"), std::nullopt);
    EXPECT_EQ(spaceScrollUpBehaviorFromRawValue("left"), SpaceScrollUpBehavior::left);
    EXPECT_EQ(kAllSpaceScrollUpBehaviors[0], SpaceScrollUpBehavior::left);
    EXPECT_EQ(rawValue(SpaceScrollUpBehavior::right), "right");
}

TEST(SettingEnumerationsTest, ThemesByTextAndTheDefaultBySystemVersion) {
    EXPECT_EQ(barThemeFromRawValue("aero"), BarTheme::aero);
    EXPECT_EQ(barThemeFromRawValue("Aero"), std::nullopt);
    for (BarTheme theme : kAllBarThemes) EXPECT_EQ(barThemeFromRawValue(rawValue(theme)), theme);
    EXPECT_EQ(defaultBarTheme(26), BarTheme::longhorn);
    EXPECT_EQ(defaultBarTheme(25), BarTheme::frosted);
    EXPECT_EQ(defaultBarTheme(27), BarTheme::frosted);
}

}  // namespace
}  // namespace qv
