#include "archive/lha/lzh_match_tree.h"

#include <algorithm>
#include <cstring>

#include "archive/lha/lzh_block.h"

namespace lha {

namespace {

// Slots for the tree's nodes: one per window position, fewer for an input
// shorter than the window (no two of its positions then share a slot).
int SlotBits(std::size_t inputSize, int dictionaryBits) {
  int bits = 1;
  while (bits < dictionaryBits && (std::size_t{1} << bits) < inputSize) ++bits;
  return bits;
}

inline LzhMatch MatchAt(std::size_t length, uint32_t distance) {
  return {static_cast<uint16_t>(distance), static_cast<uint8_t>(DistanceSymbol(distance - 1u)),
          static_cast<uint8_t>(length - kLzhMinMatch)};
}

}  // namespace

void LzhMatchTree::Reset(int dictionaryBits, int depth, int shortDepth, int shortLength, int insertLength) {
  const std::size_t n = in_.size();
  windowMask_ = (std::size_t{1} << SlotBits(n, dictionaryBits)) - 1;
  maxDist_ = (std::size_t{1} << dictionaryBits) - 1;
  depth_ = depth;
  insertLength_ = static_cast<std::size_t>(std::clamp(insertLength, 4, kLzhMaxMatch));
  moreVisits_ = std::max(0, shortDepth - depth);
  shortLength_ = static_cast<std::size_t>(std::max(0, shortLength));
  // A node's links are always written when it is inserted, before any walk
  // can reach it, so the slots need no clearing.
  if (children_.size() < (windowMask_ + 1) * 2) children_.resize((windowMask_ + 1) * 2, kNone);
  // The largest window (64 KiB) lies between one input's positions and
  // the next one's; when the count would come near kNone, the tables
  // start afresh.
  const uint64_t gap = uint64_t{1} << 17;
  if (head4_.empty() || uint64_t{nextBase_} + n + gap >= kNone) {
    head3_.assign(std::size_t{1} << kHash3Bits, kNone);
    head4_.assign(std::size_t{1} << kHash4Bits, kNone);
    nextBase_ = 0;
  }
  base_ = nextBase_;
  nextBase_ = static_cast<uint32_t>(base_ + n + gap);
}

template <bool kCollect>
int LzhMatchTree::Walk(std::size_t pos, LzhMatch* out) {
  const std::size_t n = in_.size();
  if (pos + kLzhMinMatch > n) return 0;
  // A position only entered is ordered by fewer bytes when asked to (the
  // walk stops at a node that agrees that far and takes over its subtrees).
  const std::size_t limit = std::min<std::size_t>(kCollect ? kLzhMaxMatch : insertLength_, n - pos);
  int count = 0;
  std::size_t best = kLzhMinMatch - 1;

  // The nearest position with the same three bytes: short matches that
  // the four-byte trees cannot see.
  // The tables hold positions counted from base_; `at` is `pos` there.
  const uint32_t at = static_cast<uint32_t>(base_ + pos);
  const bool four = limit >= 4;
  const uint32_t bytes = four ? in_.Load32(pos) : 0;
  const uint32_t h3 = four ? Hash3Of(bytes) : in_.Hash3(pos, kHash3Bits);
  const uint32_t c3 = head3_[h3];
  head3_[h3] = at;
  if (kCollect && c3 != kNone && c3 < at && at - c3 <= maxDist_) {
    const std::size_t len = in_.MatchLength(c3 - base_, pos, limit);
    if (len >= kLzhMinMatch) {
      out[count++] = MatchAt(len, at - c3);
      best = len;
    }
  }
  if (!four) return count;

  const uint32_t h4 = Hash4Of(bytes);
  uint32_t cur = head4_[h4];
  head4_[h4] = at;
  // Links still to be filled: the new root's smaller and larger subtrees.
  uint32_t* const children = children_.data();
  uint32_t* smaller = &children[2 * (pos & windowMask_)];
  uint32_t* larger = smaller + 1;
  std::size_t smallerLen = 0, largerLen = 0;  // bytes known equal on each side
  const uint8_t* const here = in_.At(pos);
  const std::size_t maxDist = maxDist_;
  int visits = depth_;
  bool deeper = false;
  for (;;) {
    // Links always point to older positions, so the walk ends; a node
    // beyond the window has had its slot reused. A link to `pos` or later
    // wraps the distance round to beyond the window as well.
    const uint32_t dist = at - cur;
    if (cur == kNone || dist - 1u >= maxDist || (visits-- == 0 && !GoDeeper(deeper, visits, smallerLen, largerLen))) {
      *smaller = kNone;
      *larger = kNone;
      return count;
    }
    const uint8_t* const there = here - dist;
    uint32_t* node = &children[2 * ((pos - dist) & windowMask_)];
    std::size_t len = std::min(smallerLen, largerLen);
    len = CountEqualBytes(there, here, len, limit);
    if (kCollect) {
      // Written always and kept only when longer than the best so far: which
      // it is varies from node to node, and a branch on it is often
      // mispredicted.
      out[count] = MatchAt(len, dist);
      count += len > best;
      best = std::max(best, len);
    }
    if (len == limit) {
      // Equal as far as we look: the new root takes over the node's subtrees.
      *smaller = node[0];
      *larger = node[1];
      return count;
    }
    if (there[len] < here[len]) {
      *smaller = cur;
      smaller = &node[1];
      cur = *smaller;
      smallerLen = len;
    } else {
      *larger = cur;
      larger = &node[0];
      cur = *larger;
      largerLen = len;
    }
  }
}

template int LzhMatchTree::Walk<true>(std::size_t, LzhMatch*);
template int LzhMatchTree::Walk<false>(std::size_t, LzhMatch*);

}  // namespace lha
