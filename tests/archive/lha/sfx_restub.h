// A self-extracting file with another stub in front of the same archive:
// the .exe that UnLHA32.DLL's "s" command writes carries the Windows stub;
// the tests and benchmarks also run the Linux stub on the very same archive.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "archive/lha/lha_walk.h"

namespace lhatest {

// `selfExtracting` with its stub replaced by `stub`; the trailer is
// rewritten to point at the archive's new offset. Empty when the file
// carries no trailer.
inline std::string Restub(const std::string& selfExtracting, const std::string& stub) {
  const std::size_t n = selfExtracting.size();
  if (n < lha::kSfxTrailerSize || std::memcmp(selfExtracting.data() + n - lha::kSfxTrailerSize, lha::kSfxMagic, 8)) {
    return {};
  }
  uint64_t start = 0;
  for (int i = 7; i >= 0; --i) start = (start << 8) | static_cast<uint8_t>(selfExtracting[n - 8 + i]);
  std::string out = stub;
  out.append(selfExtracting, start, n - lha::kSfxTrailerSize - start);
  out.append(lha::kSfxMagic, 8);
  for (int i = 0; i < 8; ++i) out += static_cast<char>(stub.size() >> (8 * i));
  return out;
}

}  // namespace lhatest
