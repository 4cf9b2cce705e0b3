#include <gtest/gtest.h>

#include "launcher/AppSearch.h"
#include "platform/TextServices.h"

namespace qv {
namespace {

const std::string kLocale = "en_US";

std::vector<AppInfo> apps(const std::vector<std::string>& names) {
    std::vector<AppInfo> out;
    for (const std::string& name : names)
        out.push_back({"id." + name, name, "/Applications/" + name + ".app", nullptr});
    return out;
}

std::vector<std::string> names(const std::vector<AppInfo>& list) {
    std::vector<std::string> out;
    for (const AppInfo& app : list) out.push_back(app.name);
    return out;
}

SearchRank rankOf(const std::string& query, const std::string& name) {
    auto rank = searchRank(normalizedSearchText(query, kLocale), name, kLocale);
    EXPECT_TRUE(rank) << query << " in " << name;
    return rank.value_or(SearchRank{});
}

using K = SearchMatchKind;

TEST(AppSearchTest, NamesAndQueriesAreFoldedAndSplitIntoWords) {
    EXPECT_EQ(rankOf("  Navigator \n", "Navigator"), (SearchRank{K::exactName, 0, 0, 9}));
    EXPECT_EQ(rankOf("cafe", "Café"), (SearchRank{K::exactName, 0, 0, 4}));
    EXPECT_EQ(rankOf("ＣＡＦＥ", "Café"), (SearchRank{K::exactName, 0, 0, 4}));  // full-width letters
    EXPECT_EQ(normalizedSearchText("ｶﾀｶﾅ Ǆ", kLocale), "カタカナ ǆ");            // half-width forms only
    EXPECT_EQ(normalizedSearchText("①", kLocale), "①");  // no other compatibility folds

    EXPECT_EQ(searchTokens("HTMLEditor", kLocale), (std::vector<std::string>{"html", "editor"}));
    EXPECT_EQ(searchTokens("3DSketch", kLocale), (std::vector<std::string>{"3", "d", "sketch"}));
    EXPECT_EQ(searchTokens("Tab2", kLocale), (std::vector<std::string>{"tab2"}));
    EXPECT_EQ(searchTokens("Ledger—Pro.app (beta)", kLocale),
              (std::vector<std::string>{"ledger", "pro", "app", "beta"}));
    EXPECT_EQ(rankOf("plus", "SheetPlus"), (SearchRank{K::tokenPrefix, 1, 0, 4}));
    // A substring across words: no single word holds it, so its word index is the word count.
    EXPECT_EQ(rankOf("o c", "Studio Code"), (SearchRank{K::substring, 2, 5, 11}));
    // Counts are user-perceived characters.
    EXPECT_EQ(rankOf("pla", "Fiancée Planner"), (SearchRank{K::tokenPrefix, 1, 0, 7}));
    EXPECT_EQ(rankOf("ee", "Fiancée"), (SearchRank{K::substring, 0, 5, 7}));
    EXPECT_EQ(TextServices::graphemeCount("e\u0301🇫🇷👍🏽"), 3u);
    EXPECT_EQ(searchMatchKind(3), K::substring);
    EXPECT_EQ(searchMatchKind(4), std::nullopt);
}

TEST(AppSearchTest, ResultsAreRankedByKindWordPlaceAndLengthThenByName) {
    auto list = apps({"Zcode", "Vivid Studio Code", "Code Editor", "Code", "Notepad", "Sticky Notes", "Notes",
                      "beta", "Alpha"});
    EXPECT_EQ(names(searchResults(list, "code", kLocale)),
              (std::vector<std::string>{"Code", "Code Editor", "Vivid Studio Code", "Zcode"}));
    EXPECT_EQ(rankOf("code", "Zcode"), (SearchRank{K::substring, 0, 1, 5}));
    EXPECT_EQ(names(searchResults(list, "note", kLocale)),
              (std::vector<std::string>{"Notes", "Notepad", "Sticky Notes"}));
    // Equal ranks: the names' order, case aside.
    EXPECT_EQ(names(searchResults(list, "a", kLocale)).front(), "Alpha");
    EXPECT_EQ(names(searchResults(apps({"beta", "Alpha"}), "ta", kLocale)),
              (std::vector<std::string>{"beta"}));
    EXPECT_EQ(names(searchResults(apps({"bxa", "Axa"}), "xa", kLocale)),
              (std::vector<std::string>{"Axa", "bxa"}));
    EXPECT_TRUE(searchResults(list, "qq", kLocale).empty());
    EXPECT_EQ(names(searchResults(list, " \t", kLocale)), names(list));  // unchanged, in input order
}

TEST(AppSearchTest, NamesPreparedOncePerScanRankAsWhenPreparedPerQuery) {
    auto list = apps({"Café Racer", "CAFE", "cafe", "HTMLEditor", "3DSketch", "Tab2", "Tabula",
                      "ＴａｂＰｌｕｓ", "Öl", "ol", "Code", "code", "Zcode", "Studio Code", "Co-op"});
    const SearchIndex index = makeSearchIndex(list, kLocale);
    for (const char* query : {"c", "co", "code", "o c", "café", "tab2", "ta", "ol", "html", "plus", "3"}) {
        // The definition, prepared for each query: rank, then the locale's case-insensitive order.
        const std::string q = normalizedSearchText(query, kLocale);
        std::vector<std::pair<SearchRank, AppInfo>> ranked;
        for (const AppInfo& app : list) {
            if (auto r = searchRank(q, app.name, kLocale)) ranked.emplace_back(*r, app);
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
            if (a.first != b.first) return a.first < b.first;
            return TextServices::compareCaseInsensitive(a.second.name, b.second.name, kLocale) < 0;
        });
        std::vector<AppInfo> expected;
        for (auto& [rank, app] : ranked) expected.push_back(app);
        EXPECT_EQ(names(searchResults(list, query, kLocale, &index)), names(expected)) << query;
    }
}

}  // namespace
}  // namespace qv
