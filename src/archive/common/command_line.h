// Command-line parsing shared by the archiver libraries.
//
// A command line arrives in code page 932; the library decodes it to UTF-8
// first (a "\" byte can be the second byte of a double-byte character, so
// separators are only looked for in decoded text).
//
// Words are split at blanks outside double quotes; quoted and unquoted pieces
// of one word are joined ("/home/my dir"/x.lzh is one word). A word that
// begins with "-" outside quotes is a switch; switches may stand anywhere.
// In paths "\" and "/" both separate levels.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace arc {

struct Word {
  std::string text;   // the word with its quotes removed
  bool quoted = false;  // some part of it was in quotes
};

std::vector<Word> SplitWords(std::string_view line);

struct ParsedCommand {
  std::vector<std::string> switches;  // in order, each with its leading "-"
  std::vector<std::string> words;     // every other word, in order
};

ParsedCommand ParseCommand(std::string_view utf8Line);

// True when `path` ends in "\" or "/" (a base or output directory).
bool EndsWithSeparator(std::string_view path);

// `path` with every "\" turned into "/".
std::string ToSlashes(std::string_view path);

// Windows wildcard matching of one name: "*" any run, "?" one character,
// "*.*" matches every name with or without a dot, and a pattern ending in
// "." matches names without an extension. Case is ignored (ASCII letters).
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace arc
