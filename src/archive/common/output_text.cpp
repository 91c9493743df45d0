#include "archive/common/output_text.h"

#include <cstring>

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

}  // namespace arc
