#include "launcher/AppSearch.h"

#include <algorithm>

namespace qv {

std::optional<SearchMatchKind> searchMatchKind(int rawValue) {
    if (rawValue < 0 || rawValue > 3) return std::nullopt;
    return static_cast<SearchMatchKind>(rawValue);
}

const TextServices::RegularExpression& camelCaseBoundaryRegex() {
    static const TextServices::RegularExpression regex(
        "(?<=[\\p{Ll}\\p{Nd}])(?=\\p{Lu})|(?<=\\p{Lu})(?=\\p{Lu}\\p{Ll})");
    return regex;
}

std::string normalizedSearchText(const std::string& text, const std::string& locale) {
    return TextServices::foldedForSearch(TextServices::trimmingWhitespaceAndNewlines(text), locale);
}

std::vector<std::string> searchTokens(const std::string& name, const std::string& locale) {
    const std::string spaced = camelCaseBoundaryRegex().replacingMatches(name, " ");
    return TextServices::letterAndNumberRuns(normalizedSearchText(spaced, locale));
}

std::optional<size_t> firstTokenIndex(const std::vector<std::string>& tokens, const std::string& query) {
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].find(query) != std::string::npos) return i;
    }
    return std::nullopt;
}

SearchableName makeSearchableName(const std::string& name, const std::string& locale) {
    SearchableName s;
    s.name = name;
    s.normalized = normalizedSearchText(name, locale);
    s.length = static_cast<int64_t>(TextServices::graphemeCount(s.normalized));
    s.tokens = searchTokens(name, locale);
    for (const std::string& token : s.tokens) {
        s.tokenLengths.push_back(static_cast<int64_t>(TextServices::graphemeCount(token)));
    }
    s.sortKey = TextServices::caseInsensitiveSortKey(name, locale);
    return s;
}

std::optional<SearchRank> searchRank(const std::string& query, const SearchableName& name) {
    const std::string& n = name.normalized;
    if (n == query) return SearchRank{SearchMatchKind::exactName, 0, 0, name.length};
    if (n.starts_with(query)) return SearchRank{SearchMatchKind::namePrefix, 0, 0, name.length};
    for (size_t i = 0; i < name.tokens.size(); ++i) {
        if (name.tokens[i].starts_with(query)) {
            return SearchRank{SearchMatchKind::tokenPrefix, static_cast<int64_t>(i), 0, name.tokenLengths[i]};
        }
    }
    const size_t at = n.find(query);
    if (at == std::string::npos) return std::nullopt;
    const size_t token = firstTokenIndex(name.tokens, query).value_or(name.tokens.size());
    return SearchRank{SearchMatchKind::substring, static_cast<int64_t>(token),
                      static_cast<int64_t>(TextServices::graphemeCount(std::string_view(n).substr(0, at))),
                      name.length};
}

std::optional<SearchRank> searchRank(const std::string& normalizedQuery, const std::string& name,
                                     const std::string& locale) {
    return searchRank(normalizedQuery, makeSearchableName(name, locale));
}

SearchIndex makeSearchIndex(const std::vector<AppInfo>& apps, const std::string& locale) {
    SearchIndex index;
    index.reserve(apps.size());
    for (const AppInfo& app : apps) index.try_emplace(app.id, makeSearchableName(app.name, locale));
    return index;
}

std::vector<AppInfo> searchResults(const std::vector<AppInfo>& apps, const std::string& query,
                                   const std::string& locale, const SearchIndex* index) {
    const std::string q = normalizedSearchText(query, locale);
    if (q.empty()) return apps;
    struct Hit {
        size_t app;
        SearchRank rank;
        const SearchableName* name;
    };
    std::vector<Hit> hits;
    std::vector<std::unique_ptr<SearchableName>> prepared;  // names the index does not hold
    for (size_t i = 0; i < apps.size(); ++i) {
        const SearchableName* name = nullptr;
        if (index) {
            auto it = index->find(apps[i].id);
            if (it != index->end() && it->second.name == apps[i].name) name = &it->second;
        }
        if (!name) {
            prepared.push_back(std::make_unique<SearchableName>(makeSearchableName(apps[i].name, locale)));
            name = prepared.back().get();
        }
        if (auto rank = searchRank(q, *name)) hits.push_back({i, *rank, name});
    }
    std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.name->sortKey < b.name->sortKey;
    });
    std::vector<AppInfo> out;
    out.reserve(hits.size());
    for (const Hit& hit : hits) out.push_back(apps[hit.app]);
    return out;
}

}  // namespace qv
