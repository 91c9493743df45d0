#include "archive/lha/lzh_huffman.h"

#include <algorithm>
#include <vector>

namespace lha {

int BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
  std::vector<int> used;
  for (int i = 0; i < n; ++i) {
    lengths[i] = 0;
    if (freq[i]) used.push_back(i);
  }
  if (used.size() < 2) return used.empty() ? 0 : used[0];

  std::vector<uint64_t> weight(n);
  for (int s : used) weight[s] = freq[s];
  const int leaves = static_cast<int>(used.size());
  for (;;) {
    // Two-queue construction over the leaves sorted by weight: internal
    // nodes are made in non-decreasing weight order, so the second queue
    // stays sorted by itself.
    std::vector<int> order(used);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return weight[a] < weight[b]; });
    std::vector<uint64_t> nodeWeight(leaves - 1);
    std::vector<int> parent(2 * leaves - 1, -1);  // leaves 0..leaves-1, internal leaves..
    int li = 0, ni = 0, made = 0;
    auto takeSmallest = [&]() -> int {
      if (li < leaves && (ni >= made || weight[order[li]] <= nodeWeight[ni])) return li++;
      return leaves + ni++;
    };
    auto weightOf = [&](int node) { return node < leaves ? weight[order[node]] : nodeWeight[node - leaves]; };
    for (; made < leaves - 1; ++made) {
      int a = takeSmallest();
      int b = takeSmallest();
      nodeWeight[made] = weightOf(a) + weightOf(b);
      parent[a] = leaves + made;
      parent[b] = leaves + made;
    }
    // Depths: the root is the last internal node.
    std::vector<int> depth(2 * leaves - 1, 0);
    int longest = 0;
    for (int node = 2 * leaves - 3; node >= 0; --node) {
      depth[node] = depth[parent[node]] + 1;
      if (node < leaves) longest = std::max(longest, depth[node]);
    }
    if (longest <= maxBits) {
      for (int i = 0; i < leaves; ++i) lengths[order[i]] = static_cast<uint8_t>(depth[i]);
      return -1;
    }
    // Too deep: flatten the distribution and build again.
    for (int s : used) weight[s] = (weight[s] >> 1) | 1;
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
