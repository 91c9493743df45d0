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

#include "archive/lha/lzh_format.h"
#include "archive/lha/lzh_input_window.h"

namespace lha {

// A match as the parse keeps it: its distance, with the distance code's
// symbol worked out once, and its length.
struct LzhMatch {
  uint16_t distance;  // 1 .. window size - 1
  uint8_t slot;       // DistanceSymbol(distance - 1)
  uint8_t length;     // length - kLzhMinMatch (3 .. 256 stored as 0 .. 253)
  int Length() const { return length + kLzhMinMatch; }
};

class LzhMatchTree {
 public:
  // The most matches one position reports: lengths strictly increase.
  static constexpr int kMaxMatchesPerPosition = 256;

  explicit LzhMatchTree(const LzhInputWindow& in) : in_(in) {}

  // Starts on the input that `in` now holds. `depth` bounds the nodes
  // visited per position; a walk whose longest match is still shorter than
  // `shortLength` when it gets there goes on to `shortDepth` nodes (short
  // matches are where a deeper search still pays: machine code and tables
  // hold many of them, text few). A position only inserted (see Insert)
  // is placed by its first `insertLength` bytes. The tables are kept from
  // the input before: the positions they remember are counted on from that
  // input's end, one window and more apart, so that they lie out of reach
  // and need no reset.
  void Reset(int dictionaryBits, int depth, int shortDepth, int shortLength, int insertLength);

  // Inserts `pos` and writes its matches to `out` in increasing length
  // (and distance); returns how many.
  int FindAndInsert(std::size_t pos, LzhMatch* out) { return Walk<true>(pos, out); }

  // Inserts `pos` only (a position inside a long match taken anyway).
  void Insert(std::size_t pos) { Walk<false>(pos, nullptr); }

  // Asks the processor to fetch the table entries that the walk at `pos`
  // starts from, a few positions before it gets there: on text they are
  // rarely in the cache, and waiting for them took a quarter of the walk.
  // `pos` and the four bytes from it must have been read.
  void Prefetch(std::size_t pos) const {
    if (pos + 4 > in_.size()) return;
    const uint32_t bytes = in_.Load32(pos);
    __builtin_prefetch(&head3_[Hash3Of(bytes)], 1);
    __builtin_prefetch(&head4_[Hash4Of(bytes)], 1);
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr int kHash3Bits = 14;
  static constexpr int kHash4Bits = 16;
  // The table indices of the four bytes `bytes` read at a position (the
  // three-byte one from its first three).
  static uint32_t Hash3Of(uint32_t bytes) { return LzhInputWindow::HashOf(bytes & 0xFFFFFFu, kHash3Bits); }
  static uint32_t Hash4Of(uint32_t bytes) { return LzhInputWindow::HashOf(bytes, kHash4Bits); }

  template <bool kCollect>
  int Walk(std::size_t pos, LzhMatch* out);

  // At the end of a walk's visits: whether it goes on, as it does once
  // when the longest match it met (the longer of the lengths known on
  // either side) is short; `visits` is then set for the nodes left.
  bool GoDeeper(bool& deeper, int& visits, std::size_t smallerLen, std::size_t largerLen) const {
    if (deeper || moreVisits_ == 0 || std::max(smallerLen, largerLen) >= shortLength_) return false;
    deeper = true;
    visits = moreVisits_ - 1;
    return true;
  }

  const LzhInputWindow& in_;
  std::size_t windowMask_ = 0;
  std::size_t maxDist_ = 0;
  int depth_ = 0;
  std::size_t insertLength_ = kLzhMaxMatch;
  int moreVisits_ = 0;
  std::size_t shortLength_ = 0;
  // Position 0 of the current input in the tables; positions of earlier
  // inputs lie more than a window below it.
  uint32_t base_ = 0;
  uint32_t nextBase_ = 0;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> head4_;
  std::vector<uint32_t> children_;  // two per window slot: smaller, larger
};

}  // namespace lha
