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
// The cost of a position not reached yet: above every real cost (a chunk
// costs far less than 2^31 sixteenths of a bit), and a positive 32-bit
// signed number, as the vector compare of the length loop takes them.
constexpr int32_t kUnreached = 0x7FFFFFFF;

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
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len) length_[len] = code_[256 + len - kLzhMinMatch];
  }
  int32_t Literal(uint8_t c) const { return code_[c]; }
  int32_t Slot(int slot) const { return distance_[slot]; }
  // The cost of each match length, indexed by the length.
  const int32_t* Lengths() const { return length_; }

 private:
  static int32_t Share(uint64_t count, uint64_t total) {
    return static_cast<int32_t>(std::lround(kScale * std::log2(static_cast<double>(total) / static_cast<double>(count))));
  }

  int32_t code_[kNC] = {};
  int32_t distance_[kLzhMaxDistanceCodes] = {};
  int32_t length_[kLzhMaxMatch + 1] = {};
};

// The way a position is reached, below its cost: the last code's length
// << 16 | its distance (a literal has length 1, distance 0). Of two ways
// of one cost the smaller of these wins, so that the parse does not depend
// on the order in which the ways are tried.
inline int32_t Way(std::size_t length, uint32_t distance) {
  return static_cast<int32_t>(length << 16 | distance);
}

// Four lanes of the length loop.
typedef int32_t Lanes __attribute__((vector_size(16)));

inline Lanes LoadLanes(const int32_t* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreLanes(int32_t* p, Lanes v) { std::memcpy(p, &v, sizeof v); }

// Lengths << 16, for the lanes of the length loop.
struct LengthWays {
  int32_t v[kLzhMaxMatch + 1];
  LengthWays() {
    for (int l = 0; l <= kLzhMaxMatch; ++l) v[l] = l << 16;
  }
};
const LengthWays kLengthWays;

// The forward pass: cost[j] becomes the cheapest cost found to position j
// of the chunk and way[j] how it was reached.
void PriceChunk(int32_t* cost, int32_t* way, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                const StoredMatch* matches, const Prices& prices) {
  const int32_t* lengths = prices.Lengths();
  cost[0] = 0;
  way[0] = 0;
  std::fill(cost + 1, cost + count + 1, kUnreached);
  std::fill(way + 1, way + count + 1, kUnreached);
  const int32_t literalWay = Way(1, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t here = cost[i];
    const int32_t lit = here + prices.Literal(bytes[i]);
    if (lit < cost[i + 1] || (lit == cost[i + 1] && literalWay < way[i + 1])) {
      cost[i + 1] = lit;
      way[i + 1] = literalWay;
    }
    std::size_t covered = kLzhMinMatch - 1;
    const std::size_t room = count - i;
    for (uint32_t k = matchStart[i]; k < matchStart[i + 1]; ++k) {
      const StoredMatch m = matches[k];
      const std::size_t len = std::min<std::size_t>(m.Length(), room);
      if (len <= covered) continue;
      const int32_t base = here + prices.Slot(m.slot);
      int32_t* to = cost + i;
      int32_t* toWay = way + i;
      std::size_t l = covered + 1;
      const Lanes vBase = {base, base, base, base};
      const int32_t d = m.distance;
      const Lanes vDist = {d, d, d, d};
      for (; l + 3 <= len; l += 4) {
        const Lanes c = LoadLanes(to + l), w = LoadLanes(toWay + l);
        const Lanes nc = vBase + LoadLanes(lengths + l), nw = vDist | LoadLanes(kLengthWays.v + l);
        const Lanes better = (nc < c) | ((nc == c) & (nw < w));
        StoreLanes(to + l, (nc & better) | (c & ~better));
        StoreLanes(toWay + l, (nw & better) | (w & ~better));
      }
      for (; l <= len; ++l) {
        const int32_t nc = base + lengths[l], nw = Way(l, m.distance);
        if (nc < to[l] || (nc == to[l] && nw < toWay[l])) {
          to[l] = nc;
          toWay[l] = nw;
        }
      }
      covered = len;
    }
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
      cost_.resize(chunk + 1);
      way_.resize(chunk + 1);
    }
    return Run();
  }

 private:
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  // A chunk ends early when its matches fill this store (highly repetitive
  // input reports many lengths per position).
  static constexpr std::size_t kMatchStore = std::size_t{1} << 20;

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
    PriceChunk(cost_.data(), way_.data(), end - start, in_.At(start), matchStart_.data(), matches_.data(), prices_);
  }

  // Follows the cheapest path back from the chunk's end, counting its
  // codes; the last pass also keeps them.
  void Trace(std::size_t start, std::size_t end, bool keep, LzhFrequencies& freq) {
    path_.clear();
    std::size_t j = end - start;
    while (j > 0) {
      const uint32_t w = static_cast<uint32_t>(way_[j]);
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
  // The cheapest cost found to each position of the chunk, in sixteenths
  // of a bit, and the way it is reached (see Way).
  std::vector<int32_t> cost_;
  std::vector<int32_t> way_;
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
