#include "archive/lha/lzh_block.h"

#include <algorithm>

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;
constexpr int kNT = kLzhCodeLengthCodes;
constexpr int kTBits = kLzhCodeLengthCountBits;
constexpr int kCBits = kLzhLiteralLengthCountBits;

// Counts bits instead of writing them.
struct BitCounter {
  uint64_t bits = 0;
  void Put(int n, uint32_t) { bits += static_cast<uint64_t>(n); }
};

// The three trees of a block.
struct BlockTrees {
  uint8_t cLen[kNC] = {};
  uint16_t cCode[kNC] = {};
  int cRoot = 0;  // the only symbol when the tree has fewer than two; -1 otherwise
  int cCount = 0;  // lengths sent (trailing zeros dropped)
  uint8_t tLen[kNT] = {};
  uint16_t tCode[kNT] = {};
  int tRoot = 0;
  uint8_t pLen[kLzhMaxDistanceCodes] = {};
  uint16_t pCode[kLzhMaxDistanceCodes] = {};
  int pRoot = 0;
};

// Code-length alphabet: 0 one zero, 1 a run of 3..18 zeros (4 bits),
// 2 a run of 20.. zeros (9 bits), k + 2 a length k.
template <typename F>
void WalkCLengths(const uint8_t* cLen, int n, F&& emit) {
  int i = 0;
  while (i < n) {
    int k = cLen[i++];
    if (k == 0) {
      int count = 1;
      while (i < n && cLen[i] == 0) {
        ++i;
        ++count;
      }
      if (count <= 2) {
        for (int j = 0; j < count; ++j) emit(0, 0, 0);
      } else if (count <= 18) {
        emit(1, 4, count - 3);
      } else if (count == 19) {
        emit(0, 0, 0);
        emit(1, 4, 15);
      } else {
        emit(2, kCBits, count - 20);
      }
    } else {
      emit(k + 2, 0, 0);
    }
  }
}

// The trees' code lengths, and their codes when `withCodes` (counting the
// bits a block takes needs the lengths only).
void BuildTrees(const LzhFrequencies& freq, const LzhDistanceTree& geometry, BlockTrees& t, bool withCodes = true) {
  t.cRoot = BuildCodeLengths(freq.c, kNC, kMaxCodeBits, t.cLen);
  if (t.cRoot < 0) {
    if (withCodes) BuildCanonicalCodes(t.cLen, kNC, t.cCode);
    t.cCount = kNC;
    while (t.cCount > 0 && t.cLen[t.cCount - 1] == 0) --t.cCount;
    uint32_t tFreq[kNT] = {};
    WalkCLengths(t.cLen, t.cCount, [&](int sym, int, int) { ++tFreq[sym]; });
    t.tRoot = BuildCodeLengths(tFreq, kNT, kMaxCodeBits, t.tLen);
    if (t.tRoot < 0 && withCodes) BuildCanonicalCodes(t.tLen, kNT, t.tCode);
  }
  t.pRoot = BuildCodeLengths(freq.p, geometry.symbols, kMaxCodeBits, t.pLen);
  if (t.pRoot < 0 && withCodes) BuildCanonicalCodes(t.pLen, geometry.symbols, t.pCode);
}

template <typename Out>
void WritePtLengths(Out& out, const uint8_t* len, int n, int nBits, int special) {
  while (n > 0 && len[n - 1] == 0) --n;
  out.Put(nBits, n);
  int i = 0;
  while (i < n) {
    int k = len[i++];
    if (k <= 6) {
      out.Put(3, k);
    } else {
      out.Put(k - 3, (1u << (k - 3)) - 2);
    }
    if (i == special) {
      while (i < 6 && len[i] == 0) ++i;
      out.Put(2, (i - 3) & 3);
    }
  }
}

// The block's count and its trees.
template <typename Out>
void WriteHeader(Out& out, std::size_t count, const BlockTrees& t, const LzhDistanceTree& geometry) {
  out.Put(16, static_cast<uint32_t>(count));
  if (t.cRoot < 0) {
    if (t.tRoot < 0) {
      WritePtLengths(out, t.tLen, kNT, kTBits, 3);
    } else {
      out.Put(kTBits, 0);
      out.Put(kTBits, t.tRoot);
    }
    out.Put(kCBits, t.cCount);
    WalkCLengths(t.cLen, t.cCount, [&](int sym, int extraBits, int extra) {
      out.Put(t.tLen[sym], t.tCode[sym]);
      out.Put(extraBits, extra);
    });
  } else {
    out.Put(kTBits, 0);
    out.Put(kTBits, 0);
    out.Put(kCBits, 0);
    out.Put(kCBits, t.cRoot);
  }
  if (t.pRoot < 0) {
    WritePtLengths(out, t.pLen, geometry.symbols, geometry.countBits, -1);
  } else {
    out.Put(geometry.countBits, 0);
    out.Put(geometry.countBits, t.pRoot);
  }
}

}  // namespace

void WriteLzhBlock(BitWriter& out, const LzhCode* codes, std::size_t count, const LzhDistanceTree& geometry) {
  LzhFrequencies freq;
  for (std::size_t i = 0; i < count; ++i) freq.Add(codes[i]);
  BlockTrees t;
  BuildTrees(freq, geometry, t);
  WriteHeader(out, count, t, geometry);
  for (std::size_t i = 0; i < count; ++i) {
    const LzhCode& code = codes[i];
    out.Put(t.cLen[code.c], t.cCode[code.c]);
    if (code.c >= 256) {
      const int pc = DistanceSymbol(code.distanceCode);
      out.Put(t.pLen[pc], t.pCode[pc]);
      if (pc > 1) out.Put(pc - 1, code.distanceCode & ((1u << (pc - 1)) - 1));
    }
  }
}

uint64_t LzhBlockBits(const LzhFrequencies& freq, const LzhDistanceTree& geometry) {
  BlockTrees t;
  BuildTrees(freq, geometry, t, false);
  BitCounter counter;
  std::size_t count = 0;
  for (int c = 0; c < kNC; ++c) count += freq.c[c];
  WriteHeader(counter, count, t, geometry);
  uint64_t bits = counter.bits;
  for (int c = 0; c < kNC; ++c) bits += static_cast<uint64_t>(freq.c[c]) * t.cLen[c];
  for (int pc = 0; pc < geometry.symbols; ++pc) {
    bits += static_cast<uint64_t>(freq.p[pc]) * (t.pLen[pc] + (pc > 1 ? pc - 1 : 0));
  }
  return bits;
}

}  // namespace lha
