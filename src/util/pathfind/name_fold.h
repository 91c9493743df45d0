// One rule for names that differ only in letter case, as Windows file
// systems treat them: Unicode simple case folding, code point by code point
// (full-width "Ａ" and "ａ" are one name, as are "Ä" and "ä"). The program
// (through util/path_resolver), both archiver libraries and the
// self-extractor all compare names with this rule, so they agree.
//
// Texts are UTF-8. Bytes that are not valid UTF-8 are compared as they are.
#pragma once

#include <string>
#include <string_view>

namespace pathfind {

// The folded form of one code point (the code point itself when it has none).
char32_t FoldCodePoint(char32_t c);

// `utf8` with every code point folded: two names are the same name exactly
// when their folded forms are equal, so the folded form serves as a hash key.
std::string FoldName(std::string_view utf8);

// True when `a` and `b` differ at most in letter case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace pathfind
