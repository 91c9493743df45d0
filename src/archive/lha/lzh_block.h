// One block of the LZH stream, as both parses write it: a 16-bit count of
// codes, the three Huffman trees built from the block's own statistics,
// then the codes. Also the exact size in bits a block would take, which
// the optimal parse uses to decide where blocks end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lha/lzh_huffman.h"

namespace lha {

constexpr int kLzhLiteralLengthCodes = 256 + 256 - 3 + 1;  // literals, then match lengths 3..256
constexpr int kLzhMinMatch = 3;
constexpr int kLzhMaxMatch = 256;
constexpr int kLzhMaxDistanceCodes = 18;          // bit lengths of distance - 1 for a 64 KiB window
constexpr std::size_t kLzhMaxBlockCodes = 65535;  // the block's count is 16 bits

// A literal (c < 256) or a match (c = 256 + length - 3, distanceCode =
// distance - 1).
struct LzhCode {
  uint16_t c;
  uint16_t distanceCode;
};

inline int BitLength(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

// The distance code's symbol: how many bits distance - 1 has.
inline int DistanceSymbol(uint32_t distanceCode) { return BitLength(distanceCode); }

// Bits are written most significant first.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(int bits, uint32_t value) {
    if (bits == 0) return;
    acc_ = (acc_ << bits) | (value & ((uint64_t{1} << bits) - 1));
    count_ += bits;
    while (count_ >= 8) {
      count_ -= 8;
      out_.push_back(static_cast<uint8_t>(acc_ >> count_));
    }
  }
  void Flush() {
    if (count_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - count_)));
    count_ = 0;
    acc_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int count_ = 0;
};

// Symbol counts of a stretch of codes.
struct LzhFrequencies {
  uint32_t c[kLzhLiteralLengthCodes] = {};
  uint32_t p[kLzhMaxDistanceCodes] = {};
  void Add(const LzhCode& code) {
    ++c[code.c];
    if (code.c >= 256) ++p[DistanceSymbol(code.distanceCode)];
  }
};

// Geometry of the distance tree, set by the dictionary size.
struct LzhDistanceTree {
  int symbols;  // 14 for -lh4-/-lh5-, 16 for -lh6-, 17 for -lh7-
  int countBits;
  static LzhDistanceTree For(int dictionaryBits) {
    return dictionaryBits <= 13 ? LzhDistanceTree{14, 4} : LzhDistanceTree{dictionaryBits + 1, 5};
  }
};

// Writes `count` codes (1 .. kLzhMaxBlockCodes) as one block.
void WriteLzhBlock(BitWriter& out, const LzhCode* codes, std::size_t count, const LzhDistanceTree& tree);

// The bits the block of these counts takes, trees and extra bits included.
uint64_t LzhBlockBits(const LzhFrequencies& freq, const LzhDistanceTree& tree);

}  // namespace lha
