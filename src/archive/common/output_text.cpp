#include "archive/common/output_text.h"

#include <cstring>

#include "util/cp932/cp932.h"

namespace arc {

void FillOutput(const std::string& text, char* output, uint32_t size) {
  if (!output || size == 0) return;
  std::size_t n = 0;
  while (n < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[n]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const std::size_t len = lead && n + 1 < text.size() ? 2 : 1;
    if (n + len > size - 1) break;
    n += len;
  }
  std::memcpy(output, text.data(), n);
  output[n] = '\0';
}

std::string DisplayCp932(const std::string& utf8) {
  std::string out;
  if (cp932::FromUtf8(utf8, out)) return out;
  out.clear();
  std::size_t i = 0;
  while (i < utf8.size()) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    std::string piece;
    out += cp932::FromUtf8(utf8.substr(i, n), piece) ? piece : std::string("?");
    i += n;
  }
  return out;
}

}  // namespace arc
