// The methods of the first LHA and LArc tools, read for old archives:
//   -lzs-  LArc: LZSS over a 2 KiB window, one flag bit before each item;
//   -lz5-  LArc: LZSS over a 4 KiB window, one flag byte per eight items;
//   -lh1-  LHarc 1: LZSS over a 4 KiB window, literals and lengths in an
//          adaptive Huffman code, distances in a fixed code for their upper
//          six bits.
// Only decoding: nothing writes these methods any more.
#pragma once

#include <cstddef>
#include <cstdint>

#include "archive/lha/lzh_codec.h"

namespace lha {

// True for "-lzs-", "-lz5-" and "-lh1-".
bool IsEarlyMethod(const char method[5]);

// Decodes packed data of one of those methods, read from `source` in small
// pieces, until `originalSize` bytes were produced.
DecodeStatus DecodeEarlyMethod(const char method[5], const ByteSource& source, uint64_t originalSize,
                               const ByteSink& sink);

// The adaptive Huffman code of -lh1- (314 symbols: 256 literals and match
// lengths 3 to 60). Leaves are nodes kTree..; each inner node's two children
// are son[n] and son[n] + 1, and a child's index parity is its bit.
class AdaptiveCode {
 public:
  static constexpr int kSymbols = 314;
  static constexpr int kTree = 2 * kSymbols - 1;  // nodes
  static constexpr int kRoot = kTree - 1;

  AdaptiveCode();
  // After a symbol was coded: its count and every ancestor's grow by one,
  // and nodes move so that counts stay in order.
  void Update(int symbol);

  int son[kTree];
  int parent[kTree + kSymbols];

 private:
  void Rebuild();
  unsigned freq_[kTree + 1];
};

// The fixed code of the distance's upper six bits: code lengths 3 to 8,
// codes given out in order (the code of value v is `kUpperCode[v]`, left
// aligned in eight bits).
extern const uint8_t kUpperLength[64];
uint8_t UpperCode(int value);

}  // namespace lha
