// CRC-16 as LHA archives use it (polynomial 0x8005, bit-reflected, start 0):
// one over each member's original data, one over each level-2 header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lha {

uint16_t Crc16(const void* data, std::size_t size, uint16_t crc = 0);

}  // namespace lha
