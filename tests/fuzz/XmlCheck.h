#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qv::fuzz {

// Whether the text is a well-formed XML 1.0 document: UTF-8 of allowed characters only, an
// optional declaration, comments, exactly one root element, tags that nest and close by name,
// attributes quoted and unique per tag, and every "&" a known or numeric entity. Enough for the
// documents we write (no DTD, no processing instructions after the declaration). The reason for
// the first fault, or none.
std::optional<std::string> xmlWellFormednessFault(std::string_view document);

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool isStrictUTF8(std::string_view text);

}  // namespace qv::fuzz
