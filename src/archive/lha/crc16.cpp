#include "archive/lha/crc16.h"

#include <array>

namespace lha {
namespace {

// Eight tables so that eight bytes are folded per step; member data runs
// through here once on writing and once on every read.
struct Tables {
  std::array<std::array<uint16_t, 256>, 8> t{};
  Tables() {
    for (unsigned i = 0; i < 256; ++i) {
      uint16_t c = static_cast<uint16_t>(i);
      for (int k = 0; k < 8; ++k) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
      t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i) {
      for (int k = 1; k < 8; ++k) {
        uint16_t prev = t[k - 1][i];
        t[k][i] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
      }
    }
  }
};

const Tables& GetTables() {
  static const Tables tables;
  return tables;
}

}  // namespace

uint16_t Crc16(const void* data, std::size_t size, uint16_t crc) {
  const auto& t = GetTables().t;
  const auto* p = static_cast<const uint8_t*>(data);
  while (size >= 8) {
    uint16_t lo = static_cast<uint16_t>(crc ^ (p[0] | (p[1] << 8)));
    crc = static_cast<uint16_t>(t[7][lo & 0xFF] ^ t[6][lo >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^
                                t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]]);
    p += 8;
    size -= 8;
  }
  while (size--) crc = static_cast<uint16_t>((crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF]);
  return crc;
}

}  // namespace lha
