#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "launcher/AppInfo.h"
#include "platform/TextServices.h"

namespace qv {

// How a query matches a name; smaller is better.
enum class SearchMatchKind : int {
    exactName = 0,    // the normalised name equals the query
    namePrefix = 1,   // the normalised name starts with the query
    tokenPrefix = 2,  // a word of the name starts with the query
    substring = 3,    // the query occurs anywhere in the normalised name
};
std::optional<SearchMatchKind> searchMatchKind(int rawValue);

// The rank of one match, compared field by field; smaller is better. Counts are user-perceived
// characters.
struct SearchRank {
    SearchMatchKind kind = SearchMatchKind::exactName;
    int64_t tokenIndex = 0;      // the word that matched; 0 for the whole-name kinds
    int64_t characterIndex = 0;  // where a substring match starts; 0 otherwise
    int64_t length = 0;          // of the normalised name, or of the matching word
    friend auto operator<=>(const SearchRank&, const SearchRank&) = default;
};

// Splits camel-case names: between a lower-case letter or digit and an upper-case letter, and
// between two upper-case letters when a lower-case one follows ("HTMLEditor": "HTML", "Editor").
// Compiled once for the program.
const TextServices::RegularExpression& camelCaseBoundaryRegex();

// Trimmed, then folded for case, diacritics and width, then lower-cased, in the locale.
std::string normalizedSearchText(const std::string& text, const std::string& locale);
// The normalised words of a name: camel-case boundaries become spaces, then the normalised text
// is split at everything that is neither a letter nor a number.
std::vector<std::string> searchTokens(const std::string& name, const std::string& locale);
// The first word that contains the query.
std::optional<size_t> firstTokenIndex(const std::vector<std::string>& tokens, const std::string& query);

// What ranking needs of one name; it depends only on the name and the locale.
struct SearchableName {
    std::string name;  // as given
    std::string normalized;
    int64_t length = 0;
    std::vector<std::string> tokens;
    std::vector<int64_t> tokenLengths;
    std::string sortKey;  // the locale's case-insensitive collation of the raw name
};
SearchableName makeSearchableName(const std::string& name, const std::string& locale);

// The rank of a name for a normalised, non-empty query; none when it does not match.
std::optional<SearchRank> searchRank(const std::string& normalizedQuery, const SearchableName& name);
std::optional<SearchRank> searchRank(const std::string& normalizedQuery, const std::string& name,
                                     const std::string& locale);

// Prepared names by application id, made once per scan.
using SearchIndex = std::unordered_map<std::string, SearchableName>;
SearchIndex makeSearchIndex(const std::vector<AppInfo>& apps, const std::string& locale);

// The applications whose names match the query, best first; ties in name order, then input order.
// An empty normalised query gives the input unchanged. Names found in `index` under their
// application's id are not prepared again.
std::vector<AppInfo> searchResults(const std::vector<AppInfo>& apps, const std::string& query,
                                   const std::string& locale, const SearchIndex* index = nullptr);

}  // namespace qv
