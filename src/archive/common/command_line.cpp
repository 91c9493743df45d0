#include "archive/common/command_line.h"

#include <cctype>

namespace arc {

std::vector<Word> SplitWords(std::string_view line) {
  std::vector<Word> words;
  Word current;
  bool inWord = false;
  bool inQuotes = false;
  for (char c : line) {
    if (c == '"') {
      inQuotes = !inQuotes;
      inWord = true;
      current.quoted = true;
      continue;
    }
    if (!inQuotes && (c == ' ' || c == '\t')) {
      if (inWord) {
        words.push_back(current);
        current = Word{};
        inWord = false;
      }
      continue;
    }
    current.text.push_back(c);
    inWord = true;
  }
  if (inWord) words.push_back(current);
  return words;
}

ParsedCommand ParseCommand(std::string_view utf8Line) {
  ParsedCommand cmd;
  for (const Word& w : SplitWords(utf8Line)) {
    if (!w.quoted && w.text.size() > 1 && w.text[0] == '-') {
      cmd.switches.push_back(w.text);
    } else {
      cmd.words.push_back(w.text);
    }
  }
  return cmd;
}

bool EndsWithSeparator(std::string_view path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

std::string ToSlashes(std::string_view path) {
  std::string s(path);
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

namespace {

bool MatchFrom(std::string_view p, std::string_view n) {
  // Iterative matcher with backtracking on the last "*".
  size_t pi = 0, ni = 0, starP = std::string_view::npos, starN = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' ||
                          std::tolower(static_cast<unsigned char>(p[pi])) ==
                              std::tolower(static_cast<unsigned char>(n[ni])))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      starP = pi++;
      starN = ni;
    } else if (starP != std::string_view::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  // "name." means "name without extension" on Windows.
  if (!pattern.empty() && pattern.back() == '.' && name.find('.') == std::string_view::npos) {
    return MatchFrom(pattern.substr(0, pattern.size() - 1), name);
  }
  // "x.*" also matches "x" (no extension), as on Windows.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
      name.find('.') == std::string_view::npos) {
    return MatchFrom(pattern.substr(0, pattern.size() - 2), name);
  }
  return MatchFrom(pattern, name);
}

}  // namespace arc
