#include "util/pathfind/name_fold.h"

#include <cstdint>

namespace pathfind {
namespace {

struct FoldRun {
  char32_t first, last;
  int32_t delta;
  uint32_t stride;
};

constexpr FoldRun kRuns[] = {
#include "util/pathfind/case_fold_table.inc"
};

// Decodes one UTF-8 sequence at `s[i]`; returns its length, or 0 when the
// bytes there are not a valid (shortest-form, non-surrogate) sequence.
std::size_t Decode(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  std::size_t n = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return n;
}

void Encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  // The runs are in code point order: binary search for the last run that
  // starts at or before `c`.
  std::size_t lo = 0, hi = sizeof kRuns / sizeof kRuns[0];
  while (lo < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (kRuns[mid].first <= c) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return c;
  const FoldRun& r = kRuns[lo - 1];
  if (c > r.last || (c - r.first) % r.stride != 0) return c;
  return static_cast<char32_t>(static_cast<int32_t>(c) + r.delta);
}

std::string FoldName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : static_cast<char>(c));
      ++i;
      continue;
    }
    char32_t cp = 0;
    const std::size_t n = Decode(utf8, i, cp);
    if (n == 0) {
      out.push_back(static_cast<char>(c));  // not UTF-8: kept as it is
      ++i;
      continue;
    }
    Encode(FoldCodePoint(cp), out);
    i += n;
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a == b) return true;
  return FoldName(a) == FoldName(b);
}

}  // namespace pathfind
