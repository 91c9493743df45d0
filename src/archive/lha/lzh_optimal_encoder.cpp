// The optimal parse. Input is taken in chunks; for each chunk the match
// tree reports every match length at every position, then a forward pass
// of dynamic programming finds the cheapest sequence of literals and
// matches, where a choice costs the bits its Huffman codes took in the
// previous pass (the previous chunk's, or a greedy parse's for the
// first). The pass is repeated with the costs of its own result. The codes
// are then cut into blocks where a new set of trees pays for itself; the
// last block stays open so that the next chunk's codes can join it.
//
// One encoder packs member after member: its tables and buffers are
// allocated for the first and kept, and the match tree's tables need no
// clearing between members (see LzhMatchTree::Reset).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "archive/lha/lzh_block.h"
#include "archive/lha/lzh_block_cutter.h"
#include "archive/lha/lzh_encoders.h"
#include "archive/lha/lzh_input_window.h"
#include "archive/lha/lzh_match_tree.h"

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;
// A position of the chunk as the forward pass keeps it: the cheapest
// cost found to it (in sixteenths of a bit) in the upper 32 bits, the way
// it is reached in the lower (see Way). One unsigned compare then orders
// two ways by cost first and, of one cost, by the way, so that the parse
// does not depend on the order in which the ways are tried.
using Cell = uint64_t;
// A position not reached yet: above every real cost (a chunk costs far
// less than 2^31 sixteenths of a bit).
constexpr Cell kUnreached = 0x7FFFFFFF7FFFFFFFull;
inline int32_t CostOf(Cell c) { return static_cast<int32_t>(c >> 32); }
inline uint32_t WayOf(Cell c) { return static_cast<uint32_t>(c); }
// Cells past the end of the arrays of cells that the length loop may read
// and write back unchanged.
constexpr std::size_t kCellPadding = 4;

// A match as the parse keeps it: its distance with the distance code's
// symbol worked out once.
struct StoredMatch {
  uint16_t distance;
  uint8_t slot;    // DistanceSymbol(distance - 1)
  uint8_t length;  // length - kLzhMinMatch
  int Length() const { return length + kLzhMinMatch; }
};

// Costs of each choice in sixteenths of a bit: -log2 of each symbol's share
// in a parse (fractions order the choices better than whole code lengths).
class Prices {
 public:
  static constexpr int kScale = 16;

  void From(const LzhFrequencies& freq, const LzhDistanceTree& tree) {
    uint8_t cLen[kNC];
    uint8_t pLen[kLzhMaxDistanceCodes];
    BuildCodeLengths(freq.c, kNC, kMaxCodeBits, cLen);
    BuildCodeLengths(freq.p, tree.symbols, kMaxCodeBits, pLen);
    // A symbol the parse did not use costs a little more than the rarest
    // one that it did: using it adds it to the tree.
    const int cUnused = *std::max_element(cLen, cLen + kNC) + 1;
    const int pUnused = *std::max_element(pLen, pLen + tree.symbols) + 1;
    uint64_t cTotal = 0, pTotal = 0;
    for (int c = 0; c < kNC; ++c) cTotal += freq.c[c];
    for (int p = 0; p < tree.symbols; ++p) pTotal += freq.p[p];
    for (int c = 0; c < kNC; ++c) code_[c] = freq.c[c] ? Share(freq.c[c], cTotal) : kScale * cUnused;
    for (int p = 0; p < kLzhMaxDistanceCodes; ++p) {
      const int32_t extra = kScale * (p > 1 ? p - 1 : 0);
      distance_[p] = (p < tree.symbols && freq.p[p] ? Share(freq.p[p], pTotal) : kScale * pUnused) + extra;
    }
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len) {
      lengthCell_[len] = Cell{static_cast<uint32_t>(code_[256 + len - kLzhMinMatch])} << 32 | Cell(len) << 16;
    }
  }
  int32_t Literal(uint8_t c) const { return code_[c]; }
  int32_t Slot(int slot) const { return distance_[slot]; }
  // Per match length: its cost as a cell reached by a match of that
  // length at distance 0 (adding the distance and the cost before it
  // gives the cell the match reaches).
  const Cell* LengthCells() const { return lengthCell_; }

 private:
  static int32_t Share(uint64_t count, uint64_t total) {
    return static_cast<int32_t>(std::lround(kScale * std::log2(static_cast<double>(total) / static_cast<double>(count))));
  }

  int32_t code_[kNC] = {};
  int32_t distance_[kLzhMaxDistanceCodes] = {};
  Cell lengthCell_[kLzhMaxMatch + 1 + kCellPadding] = {};
};

// The way a position is reached: the last code's length << 16 | its
// distance (a literal has length 1, distance 0).
inline uint32_t Way(std::size_t length, uint32_t distance) { return static_cast<uint32_t>(length << 16 | distance); }

// Four cells of the length loop, as signed numbers (cells stay below
// 2^63, so signed and unsigned order agree).
typedef int64_t CellLanes __attribute__((vector_size(32)));

// The lengths covered+1 .. len of one match at one position: to[l] takes
// base + lengths[l] where that is cheaper. `kWide` does four lengths at a
// time; the lanes past `len` keep their cells (the arrays are padded).
template <bool kWide>
inline void OfferLengths(Cell* to, const Cell* lengths, Cell base, std::size_t covered, std::size_t len) {
  if (!kWide) {
    for (std::size_t l = covered + 1; l <= len; ++l) to[l] = std::min(to[l], base + lengths[l]);
    return;
  }
  const int64_t b = static_cast<int64_t>(base), last = static_cast<int64_t>(len);
  const CellLanes vBase = {b, b, b, b};
  const CellLanes vLast = {last, last, last, last};
  CellLanes index = {0, 1, 2, 3};
  index += static_cast<int64_t>(covered + 1);
  const CellLanes step = {4, 4, 4, 4};
  for (std::size_t l = covered + 1; l <= len; l += 4) {
    CellLanes old, add;
    std::memcpy(&old, to + l, sizeof old);
    std::memcpy(&add, lengths + l, sizeof add);
    const CellLanes offer = vBase + add;
    const CellLanes take = (offer < old) & (index <= vLast);
    const CellLanes now = (offer & take) | (old & ~take);
    std::memcpy(to + l, &now, sizeof now);
    index += step;
  }
}

// The forward pass: cell[j] becomes the cheapest way found to position j
// of the chunk. `cell` has room for kCellPadding cells past `count`.
template <bool kWide>
void PriceChunkWith(Cell* cell, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                    const StoredMatch* matches, const Prices& prices) {
  const Cell* lengths = prices.LengthCells();
  cell[0] = 0;
  std::fill(cell + 1, cell + count + 1 + kCellPadding, kUnreached);
  const uint32_t literalWay = Way(1, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t here = static_cast<uint32_t>(CostOf(cell[i]));
    const Cell lit = Cell{here + static_cast<uint32_t>(prices.Literal(bytes[i]))} << 32 | literalWay;
    cell[i + 1] = std::min(cell[i + 1], lit);
    std::size_t covered = kLzhMinMatch - 1;
    const std::size_t room = count - i;
    for (uint32_t k = matchStart[i]; k < matchStart[i + 1]; ++k) {
      const StoredMatch m = matches[k];
      const std::size_t len = std::min<std::size_t>(m.Length(), room);
      if (len <= covered) continue;
      // Lengths past `covered` only: a shorter length is reached as
      // cheaply by the nearer match before.
      const Cell base = Cell{here + static_cast<uint32_t>(prices.Slot(m.slot))} << 32 | m.distance;
      OfferLengths<kWide>(cell + i, lengths, base, covered, len);
      covered = len;
    }
  }
}

// The same pass built for processors with 256-bit vectors, where four
// lengths take one compare.
__attribute__((target("avx2"))) void PriceChunkWide(Cell* cell, std::size_t count, const uint8_t* bytes,
                                                    const uint32_t* matchStart, const StoredMatch* matches,
                                                    const Prices& prices) {
  PriceChunkWith<true>(cell, count, bytes, matchStart, matches, prices);
}

void PriceChunk(Cell* cell, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                const StoredMatch* matches, const Prices& prices, bool allowWide) {
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide && allowWide) {
    PriceChunkWide(cell, count, bytes, matchStart, matches, prices);
  } else {
    PriceChunkWith<false>(cell, count, bytes, matchStart, matches, prices);
  }
}

}  // namespace

class OptimalParse::Impl {
 public:
  Impl() : matchTree_(in_) {}

  // False when the source ended early or the sink refused.
  bool Encode(const ByteSource& source, uint64_t size, int dictBits, const OptimalTuning& tuning,
              const ByteSink& sink) {
    output_.Reset(sink);
    n_ = static_cast<std::size_t>(size);
    tuning_ = tuning;
    niceLength_ = dictBits > 13 ? tuning.niceLengthWide : tuning.niceLength;
    tree_ = LzhDistanceTree::For(dictBits);
    in_.Reset(source, n_, std::size_t{1} << dictBits, kSegment);
    matchTree_.Reset(dictBits, tuning_.treeDepth);
    codes_.clear();
    // Small inputs get small tables; the tables of a larger input before
    // are kept.
    const std::size_t chunk = std::min(kChunk, n_);
    if (matchStart_.size() < chunk + 1) {
      matchStart_.resize(chunk + 1);
      cells_.resize(chunk + 1 + kCellPadding);
    }
    return Run();
  }

 private:
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  // A chunk ends early when its matches fill this store (highly repetitive
  // input reports many lengths per position).
  static constexpr std::size_t kMatchStore = std::size_t{1} << 20;
  // How far ahead of the walk the match tree's table entries are fetched.
  static constexpr std::size_t kPrefetchAhead = 16;

  bool Run() {
    if (!in_.Load(0)) return false;
    bool seeded = false;
    std::size_t pos = 0;
    while (pos < n_) {
      if (!in_.Holds(pos, kChunk + LzhInputWindow::kLookahead) && !in_.Load(pos)) return false;
      const std::size_t end = FindMatches(pos);
      // The first chunk starts from rough costs and is parsed more often;
      // later ones start from the costs of the chunk before, which are close.
      const int passes = seeded ? tuning_.passes : tuning_.firstPasses;
      if (!seeded) {
        SeedPrices(pos, end);
        seeded = true;
      }
      for (int pass = 0; pass < passes; ++pass) {
        Price(pos, end);
        LzhFrequencies freq;
        Trace(pos, end, pass + 1 == passes, freq);
        prices_.From(freq, tree_);
      }
      pos = end;
      cutter_.Cut(codes_, pos == n_, output_.bits(), tree_);
      if (!output_.DrainIfFull()) return false;
    }
    return output_.Finish();
  }

  // Every match at every position of the chunk from `start`; returns the
  // chunk's end.
  std::size_t FindMatches(std::size_t start) {
    matches_.clear();
    const std::size_t stop = std::min(n_, start + kChunk);
    LzhMatch found[LzhMatchTree::kMaxMatchesPerPosition];
    std::size_t p = start;
    std::size_t searchFrom = start;
    while (p < stop) {
      matchStart_[p - start] = static_cast<uint32_t>(matches_.size());
      if (p + kPrefetchAhead < stop) matchTree_.Prefetch(p + kPrefetchAhead);
      if (p < searchFrom) {
        matchTree_.Insert(p++);
        continue;
      }
      const int k = matchTree_.FindAndInsert(p, found);
      for (int j = 0; j < k; ++j) {
        const LzhMatch m = found[j];
        matches_.push_back({m.distance, static_cast<uint8_t>(DistanceSymbol(m.distance - 1u)),
                            static_cast<uint8_t>(m.length - kLzhMinMatch)});
      }
      if (k > 0 && found[k - 1].length >= niceLength_) searchFrom = p + found[k - 1].length;
      ++p;
      if (matches_.size() + LzhMatchTree::kMaxMatchesPerPosition > kMatchStore) break;
    }
    matchStart_[p - start] = static_cast<uint32_t>(matches_.size());
    return p;
  }

  // Costs for the first chunk: the statistics of taking the longest match
  // wherever there is one.
  void SeedPrices(std::size_t start, std::size_t end) {
    LzhFrequencies freq;
    std::size_t i = 0;
    const std::size_t count = end - start;
    while (i < count) {
      const uint32_t first = matchStart_[i], last = matchStart_[i + 1];
      if (first < last) {
        const StoredMatch m = matches_[last - 1];
        const std::size_t len = std::min<std::size_t>(m.Length(), count - i);
        if (len >= kLzhMinMatch) {
          freq.Add({static_cast<uint16_t>(256 + len - kLzhMinMatch), static_cast<uint16_t>(m.distance - 1)});
          i += len;
          continue;
        }
      }
      freq.Add({in_.Byte(start + i), 0});
      ++i;
    }
    prices_.From(freq, tree_);
  }

  // The cheapest way to reach each position of the chunk.
  void Price(std::size_t start, std::size_t end) {
    PriceChunk(cells_.data(), end - start, in_.At(start), matchStart_.data(), matches_.data(), prices_,
               tuning_.wideLengthLoop);
  }

  // Follows the cheapest path back from the chunk's end, counting its
  // codes; the last pass also keeps them.
  void Trace(std::size_t start, std::size_t end, bool keep, LzhFrequencies& freq) {
    path_.clear();
    std::size_t j = end - start;
    while (j > 0) {
      const uint32_t w = WayOf(cells_[j]);
      const uint16_t len = static_cast<uint16_t>(w >> 16);
      if (len == 1) {
        path_.push_back({in_.Byte(start + j - 1), 0});
      } else {
        path_.push_back({static_cast<uint16_t>(256 + len - kLzhMinMatch), static_cast<uint16_t>((w & 0xFFFF) - 1)});
      }
      j -= len;
    }
    for (const LzhCode& c : path_) freq.Add(c);
    if (keep) codes_.insert(codes_.end(), path_.rbegin(), path_.rend());
  }

  LzhBlockOutput output_;
  std::size_t n_ = 0;
  OptimalTuning tuning_;
  int niceLength_ = 128;
  LzhDistanceTree tree_{};
  LzhInputWindow in_;
  LzhMatchTree matchTree_;
  Prices prices_;
  std::vector<StoredMatch> matches_;
  std::vector<uint32_t> matchStart_;  // per position of the chunk: its first match in matches_
  // The cheapest way found to each position of the chunk (see Cell).
  std::vector<Cell> cells_;
  std::vector<LzhCode> path_;
  std::vector<LzhCode> codes_;  // the open block's codes and the chunk's
  LzhBlockCutter cutter_;
};

OptimalParse::OptimalParse() : impl_(std::make_unique<Impl>()) {}
OptimalParse::~OptimalParse() = default;

bool OptimalParse::Encode(const ByteSource& source, uint64_t size, int dictionaryBits, const OptimalTuning& tuning,
                          const ByteSink& sink) {
  return impl_->Encode(source, size, dictionaryBits, tuning, sink);
}

}  // namespace lha
