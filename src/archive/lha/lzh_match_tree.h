// Match finder of the optimal parse: a binary tree per four-byte hash
// over the window (each position is inserted as the root of its tree and
// the older positions are split beneath it by the bytes that follow), plus
// the latest position of each three-byte prefix. One walk both inserts a
// position and reports every match length found there with the nearest
// distance that reaches it, which is what a price-based parse needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lha/lzh_input_window.h"

namespace lha {

struct LzhMatch {
  uint16_t length;    // 3 .. 256
  uint16_t distance;  // 1 .. window size - 1
};

class LzhMatchTree {
 public:
  // The most matches one position reports: lengths strictly increase.
  static constexpr int kMaxMatchesPerPosition = 256;

  // `depth` bounds the nodes visited per position.
  LzhMatchTree(const LzhInputWindow& in, int dictionaryBits, int depth);

  // Inserts `pos` and writes its matches to `out` in increasing length
  // (and distance); returns how many.
  int FindAndInsert(std::size_t pos, LzhMatch* out) { return Walk<true>(pos, out); }

  // Inserts `pos` only (a position inside a long match taken anyway).
  void Insert(std::size_t pos) { Walk<false>(pos, nullptr); }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr int kHash3Bits = 14;
  static constexpr int kHash4Bits = 16;

  template <bool kCollect>
  int Walk(std::size_t pos, LzhMatch* out);

  const LzhInputWindow& in_;
  std::size_t windowMask_;
  std::size_t maxDist_;
  int depth_;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> head4_;
  std::vector<uint32_t> children_;  // two per window slot: smaller, larger
};

}  // namespace lha
