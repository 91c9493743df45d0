#include "archive/lha/lzh_huffman.h"

#include <algorithm>

namespace lha {

namespace {

// The leaves' keys, weight << 10 | place, in increasing order: by weight,
// equal weights in place order (the keys differ, so any sort gives the
// same order). A few leaves (the distance and code-length trees) are
// sorted by insertion; more with weights below 2^16 (every block's counts)
// take two stable byte-wise passes, whose 256 buckets would cost more than
// the few leaves; larger ones a comparison sort.
void SortLeaves(const uint64_t* weight, int leaves, uint64_t* order) {
  uint64_t largest = 0;
  for (int i = 0; i < leaves; ++i) {
    order[i] = weight[i] << 10 | static_cast<uint64_t>(i);
    largest = std::max(largest, weight[i]);
  }
  constexpr int kFewLeaves = 32;
  if (leaves <= kFewLeaves) {
    for (int i = 1; i < leaves; ++i) {
      const uint64_t key = order[i];
      int j = i;
      for (; j > 0 && order[j - 1] > key; --j) order[j] = order[j - 1];
      order[j] = key;
    }
    return;
  }
  if (largest >= (uint64_t{1} << 16)) {
    std::sort(order, order + leaves);
    return;
  }
  uint64_t spare[1024];
  uint64_t* from = order;
  uint64_t* to = spare;
  for (int shift = 10; shift < 26; shift += 8) {
    int start[257] = {};
    for (int i = 0; i < leaves; ++i) ++start[((from[i] >> shift) & 0xFF) + 1];
    for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
    for (int i = 0; i < leaves; ++i) to[start[(from[i] >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  // Two passes: the sorted keys are back in `order`.
}

}  // namespace

int BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
  // The largest alphabet of the format has 510 symbols; the work arrays
  // live on the stack, as the optimal parse builds lengths several times
  // for each member.
  constexpr int kMaxSymbols = 1024;
  int used[kMaxSymbols];
  int leaves = 0;
  for (int i = 0; i < n; ++i) {
    lengths[i] = 0;
    if (freq[i]) used[leaves++] = i;
  }
  if (leaves < 2) return leaves == 0 ? 0 : used[0];

  uint64_t weight[kMaxSymbols];
  for (int i = 0; i < leaves; ++i) weight[i] = freq[used[i]];
  // Leaves sorted by weight, equal weights in symbol order: the key is the
  // weight above the leaf's place in `used` (which is in symbol order).
  uint64_t order[kMaxSymbols];
  uint64_t nodeWeight[kMaxSymbols];
  int parent[2 * kMaxSymbols];
  int depth[2 * kMaxSymbols];
  for (;;) {
    SortLeaves(weight, leaves, order);
    auto leafWeight = [&](int k) { return order[k] >> 10; };
    // Two-queue construction over the sorted leaves: internal nodes are
    // made in non-decreasing weight order, so the second queue stays
    // sorted by itself. Leaves are 0..leaves-1 (in sorted order), internal
    // nodes leaves.. in the order they are made.
    int li = 0, ni = 0, made = 0;
    auto takeSmallest = [&]() -> int {
      if (li < leaves && (ni >= made || leafWeight(li) <= nodeWeight[ni])) return li++;
      return leaves + ni++;
    };
    auto weightOf = [&](int node) { return node < leaves ? leafWeight(node) : nodeWeight[node - leaves]; };
    for (; made < leaves - 1; ++made) {
      const int a = takeSmallest();
      const int b = takeSmallest();
      nodeWeight[made] = weightOf(a) + weightOf(b);
      parent[a] = leaves + made;
      parent[b] = leaves + made;
    }
    // Depths: the root is the last internal node.
    depth[2 * leaves - 2] = 0;
    int longest = 0;
    for (int node = 2 * leaves - 3; node >= 0; --node) {
      depth[node] = depth[parent[node]] + 1;
      if (node < leaves) longest = std::max(longest, depth[node]);
    }
    if (longest <= maxBits) {
      for (int k = 0; k < leaves; ++k) lengths[used[order[k] & 1023]] = static_cast<uint8_t>(depth[k]);
      return -1;
    }
    // Too deep: flatten the distribution and build again.
    for (int i = 0; i < leaves; ++i) weight[i] = (weight[i] >> 1) | 1;
  }
}

bool BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  uint32_t count[kMaxCodeBits + 2] = {};
  for (int i = 0; i < n; ++i) {
    if (lengths[i] > kMaxCodeBits) return false;
    ++count[lengths[i]];
  }
  uint32_t next[kMaxCodeBits + 2] = {};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    next[len] = code;
    code = (code + count[len]) << 1;
  }
  uint64_t kraft = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) kraft += static_cast<uint64_t>(count[len]) << (kMaxCodeBits - len);
  if (kraft != (1u << kMaxCodeBits)) return false;
  for (int i = 0; i < n; ++i) {
    codes[i] = lengths[i] ? static_cast<uint16_t>(next[lengths[i]]++) : 0;
  }
  return true;
}

}  // namespace lha
