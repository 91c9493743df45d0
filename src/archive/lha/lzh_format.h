// The numbers of the LZH block format (-lh4- to -lh7-), shared by the
// block writer and the decoder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/lha/lzh_huffman.h"

namespace lha {

constexpr int kLzhLiteralLengthCodes = 256 + 256 - 3 + 1;  // literals, then match lengths 3..256
constexpr int kLzhCodeLengthCodes = kMaxCodeBits + 3;      // the alphabet that codes the literal/length tree
constexpr int kLzhCodeLengthCountBits = 5;                 // its count of lengths
constexpr int kLzhLiteralLengthCountBits = 9;              // the literal/length tree's count of lengths
constexpr int kLzhMinMatch = 3;
constexpr int kLzhMaxMatch = 256;
constexpr int kLzhMaxDistanceCodes = 18;          // bit lengths of distance - 1 for a 64 KiB window
constexpr std::size_t kLzhMaxBlockCodes = 65535;  // the block's count is 16 bits

inline int BitLength(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

// The distance code's symbol: how many bits distance - 1 has.
inline int DistanceSymbol(uint32_t distanceCode) { return BitLength(distanceCode); }

// Geometry of the distance tree, set by the dictionary size.
struct LzhDistanceTree {
  int symbols;    // 14 for -lh4-/-lh5-, 16 for -lh6-, 17 for -lh7-
  int countBits;  // bits of its count of lengths
  static LzhDistanceTree For(int dictionaryBits) {
    return dictionaryBits <= 13 ? LzhDistanceTree{14, 4} : LzhDistanceTree{dictionaryBits + 1, 5};
  }
};

}  // namespace lha
