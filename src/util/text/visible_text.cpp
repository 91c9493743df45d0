#include "util/text/visible_text.h"

#include <cstdint>

namespace visible {
namespace {

const char kHex[] = "0123456789ABCDEF";

// The length of the valid UTF-8 sequence at the start of `s` (shortest form,
// no surrogates, at most U+10FFFF) and its code point; 0 when the first byte
// starts no valid sequence.
std::size_t DecodeOne(std::string_view s, char32_t& cp) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t n;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    n = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

bool IsControl(char32_t cp) {
  return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029;
}

void AppendByteEscape(std::string& out, unsigned char c) {
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

}  // namespace

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    const std::size_t n = DecodeOne(text.substr(i), cp);
    if (n == 0) {
      AppendByteEscape(out, static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    if (!IsControl(cp)) {
      out.append(text.data() + i, n);
    } else if (cp < 0x80) {
      AppendByteEscape(out, static_cast<unsigned char>(cp));
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(cp >> shift) & 0x0F];
    }
    i += n;
  }
  return out;
}

bool IsPrintable(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    const std::size_t n = DecodeOne(text.substr(i), cp);
    if (n == 0 || IsControl(cp)) return false;
    i += n;
  }
  return true;
}

}  // namespace visible
