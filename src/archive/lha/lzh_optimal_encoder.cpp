// The optimal parse. Input is taken in chunks; for each chunk the match
// tree reports every match length at every position, then a forward pass
// of dynamic programming finds the cheapest sequence of literals and
// matches, where a choice costs the bits its Huffman codes took in the
// previous pass (the previous chunk's, or a greedy parse's for the
// first). The pass is repeated with the costs of its own result. The codes
// are then cut into blocks where a new set of trees pays for itself; the
// last block stays open so that the next chunk's codes can join it.
#include <algorithm>
#include <cmath>
#include <memory>

#include "archive/lha/lzh_block.h"
#include "archive/lha/lzh_encoders.h"
#include "archive/lha/lzh_input_window.h"
#include "archive/lha/lzh_match_tree.h"

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;
constexpr uint64_t kPriceMask = ~uint64_t{0} << 32;
constexpr uint64_t kUnreached = ~uint64_t{0};

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
      const uint32_t extra = kScale * (p > 1 ? p - 1 : 0);
      distance_[p] = (p < tree.symbols && freq.p[p] ? Share(freq.p[p], pTotal) : kScale * pUnused) + extra;
    }
    // Each length with its cost in the high half, as the parse adds them.
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len) {
      length_[len] = uint64_t{code_[256 + len - kLzhMinMatch]} << 32 | static_cast<uint64_t>(len) << 16;
    }
  }
  uint32_t Literal(uint8_t c) const { return code_[c]; }
  uint32_t Distance(int distance) const { return distance_[DistanceSymbol(static_cast<uint32_t>(distance - 1))]; }
  // Cost << 32 | length << 16.
  const uint64_t* PackedLengths() const { return length_; }

 private:
  static uint32_t Share(uint64_t count, uint64_t total) {
    return static_cast<uint32_t>(std::lround(kScale * std::log2(static_cast<double>(total) / static_cast<double>(count))));
  }

  uint32_t code_[kNC] = {};
  uint32_t distance_[kLzhMaxDistanceCodes] = {};
  uint64_t length_[kLzhMaxMatch + 1] = {};
};

// x * log2(x), looked up for the counts a block usually has.
class EntropyTable {
 public:
  EntropyTable() : t_(kSize) {
    for (std::size_t i = 1; i < kSize; ++i) t_[i] = static_cast<float>(i * std::log2(static_cast<double>(i)));
  }
  double operator()(uint64_t x) const {
    return x < kSize ? t_[x] : static_cast<double>(x) * std::log2(static_cast<double>(x));
  }

 private:
  static constexpr std::size_t kSize = std::size_t{1} << 16;
  std::vector<float> t_;
};

const EntropyTable& Entropy() {
  static const EntropyTable table;
  return table;
}

// The forward pass: step[j] becomes the cheapest way found to position j
// of the chunk, as cost << 32 | the last code's length << 16 | its
// distance (a literal has length 1), so that the smaller of two values is
// the cheaper way.
void PriceChunk(uint64_t* step, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                const LzhMatch* matches, const Prices& prices) {
  const uint64_t* lengths = prices.PackedLengths();
  step[0] = 0;
  std::fill(step + 1, step + count + 1, kUnreached);
  for (std::size_t i = 0; i < count; ++i) {
    const uint64_t here = step[i] & kPriceMask;
    step[i + 1] = std::min(step[i + 1], here + (uint64_t{prices.Literal(bytes[i])} << 32 | 1u << 16));
    std::size_t covered = kLzhMinMatch - 1;
    const std::size_t room = count - i;
    for (uint32_t k = matchStart[i]; k < matchStart[i + 1]; ++k) {
      const LzhMatch m = matches[k];
      const std::size_t len = std::min<std::size_t>(m.length, room);
      if (len <= covered) continue;
      const uint64_t base = here + (uint64_t{prices.Distance(m.distance)} << 32 | m.distance);
      uint64_t* to = step + i;
      for (std::size_t l = covered + 1; l <= len; ++l) to[l] = std::min(to[l], base + lengths[l]);
      covered = len;
    }
  }
}

class OptimalEncoder {
 public:
  OptimalEncoder(const ByteSource& source, uint64_t size, int dictBits, const ByteSink& sink)
      : output_(sink),
        n_(static_cast<std::size_t>(size)),
        tree_(LzhDistanceTree::For(dictBits)),
        in_(source, n_, std::size_t{1} << dictBits, kSegment),
        matchTree_(in_, dictBits, kTreeDepth) {
    // Small inputs get small tables.
    const std::size_t chunk = std::min(kChunk, n_);
    matchStart_.resize(chunk + 1);
    step_.resize(chunk + 1);
  }

  // False when the source ended early or the sink refused.
  bool Run() {
    if (!in_.Load(0)) return false;
    bool seeded = false;
    std::size_t pos = 0;
    while (pos < n_) {
      if (!in_.Holds(pos, kChunk + LzhInputWindow::kLookahead) && !in_.Load(pos)) return false;
      const std::size_t end = FindMatches(pos);
      // The first chunk starts from rough costs and is parsed three times; later
      // ones start from the costs of the chunk before, which are close.
      const int passes = seeded ? kPasses : kFirstPasses;
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
      CutBlocks(pos == n_);
      if (!output_.DrainIfFull()) return false;
    }
    return output_.Finish();
  }

 private:
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  // A chunk ends early when its matches fill this store (highly repetitive
  // input reports many lengths per position).
  static constexpr std::size_t kMatchStore = std::size_t{1} << 20;
  // A match this long is taken as it is: the positions it covers are not
  // searched, which keeps long runs fast and costs almost nothing.
  static constexpr int kNiceLength = 128;
  // Nodes visited per position: deeper walks find little more.
  static constexpr int kTreeDepth = 32;
  static constexpr int kPasses = 1;
  static constexpr int kFirstPasses = 3;
  // A new block must save at least this much: each costs the decoder a
  // fresh set of tables, which a few bytes do not pay for.
  static constexpr uint64_t kBlockPenaltyBits = 256;

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
      matches_.insert(matches_.end(), found, found + k);
      if (k > 0 && found[k - 1].length >= kNiceLength) searchFrom = p + found[k - 1].length;
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
        const LzhMatch m = matches_[last - 1];
        const std::size_t len = std::min<std::size_t>(m.length, count - i);
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
    PriceChunk(step_.data(), end - start, in_.At(start), matchStart_.data(), matches_.data(), prices_);
  }

  // Follows the cheapest path back from the chunk's end, counting its
  // codes; the last pass also keeps them.
  void Trace(std::size_t start, std::size_t end, bool keep, LzhFrequencies& freq) {
    path_.clear();
    std::size_t j = end - start;
    while (j > 0) {
      const uint16_t len = static_cast<uint16_t>(step_[j] >> 16);
      if (len == 1) {
        path_.push_back({in_.Byte(start + j - 1), 0});
      } else {
        path_.push_back({static_cast<uint16_t>(256 + len - kLzhMinMatch), static_cast<uint16_t>((step_[j] & 0xFFFF) - 1)});
      }
      j -= len;
    }
    for (const LzhCode& c : path_) freq.Add(c);
    if (keep) codes_.insert(codes_.end(), path_.rbegin(), path_.rend());
  }

  // ---------------------------------------------------------------- blocks

  // Estimated bits of the codes between two cut points: their entropy
  // plus what their trees take.
  double EstimatedBits(const LzhFrequencies& a, const LzhFrequencies& b) const {
    const EntropyTable& e = Entropy();
    uint64_t cTotal = 0, pTotal = 0;
    double sum = 0;
    int used = 0;
    for (int c = 0; c < kNC; ++c) {
      const uint32_t f = b.c[c] - a.c[c];
      if (!f) continue;
      cTotal += f;
      sum -= e(f);
      ++used;
    }
    double extra = 0;
    for (int p = 0; p < tree_.symbols; ++p) {
      const uint32_t f = b.p[p] - a.p[p];
      if (!f) continue;
      pTotal += f;
      sum -= e(f);
      extra += static_cast<double>(f) * (p > 1 ? p - 1 : 0);
    }
    return sum + e(cTotal) + e(pTotal) + extra + 40 + 4.0 * used + 3.0 * tree_.symbols;
  }

  uint64_t ExactBits(const LzhFrequencies& a, const LzhFrequencies& b) const {
    LzhFrequencies d;
    for (int c = 0; c < kNC; ++c) d.c[c] = b.c[c] - a.c[c];
    for (int p = 0; p < kLzhMaxDistanceCodes; ++p) d.p[p] = b.p[p] - a.p[p];
    return LzhBlockBits(d, tree_);
  }

  // Cuts the cells [a, b), which take `bits` as one block, into blocks,
  // adding the cut points to cuts_. Each part's exact size is worked out
  // once and handed down with it.
  void Split(std::size_t a, std::size_t b, uint64_t bits) {
    if (b - a < 2) return;
    std::size_t bestCut = 0;
    double best = 0;
    for (std::size_t k = a + 1; k < b; ++k) {
      const double estimate = EstimatedBits(cellFreq_[a], cellFreq_[k]) + EstimatedBits(cellFreq_[k], cellFreq_[b]);
      if (bestCut == 0 || estimate < best) {
        best = estimate;
        bestCut = k;
      }
    }
    const uint64_t left = ExactBits(cellFreq_[a], cellFreq_[bestCut]);
    const uint64_t right = ExactBits(cellFreq_[bestCut], cellFreq_[b]);
    const bool tooMany = CellCodes(b) - CellCodes(a) > kLzhMaxBlockCodes;
    if (!tooMany && left + right + kBlockPenaltyBits >= bits) return;
    Split(a, bestCut, left);
    cuts_.push_back(bestCut);
    Split(bestCut, b, right);
  }

  std::size_t CellCodes(std::size_t cell) const { return std::min(cell * cellSize_, codes_.size()); }

  // Writes the finished blocks of the codes so far; the last block stays
  // open unless the input is done.
  void CutBlocks(bool done) {
    const std::size_t total = codes_.size();
    if (total == 0) return;
    cellSize_ = std::clamp<std::size_t>(total / 96, 1024, 16384);
    const std::size_t cells = (total + cellSize_ - 1) / cellSize_;
    cellFreq_.assign(cells + 1, LzhFrequencies());
    for (std::size_t cell = 0; cell < cells; ++cell) {
      cellFreq_[cell + 1] = cellFreq_[cell];
      for (std::size_t i = cell * cellSize_; i < CellCodes(cell + 1); ++i) cellFreq_[cell + 1].Add(codes_[i]);
    }
    cuts_.clear();
    if (cells > 1) Split(0, cells, ExactBits(cellFreq_[0], cellFreq_[cells]));
    cuts_.push_back(cells);
    std::size_t from = 0;
    const std::size_t finished = done ? cuts_.size() : cuts_.size() - 1;
    for (std::size_t i = 0; i < finished; ++i) {
      const std::size_t to = CellCodes(cuts_[i]);
      WriteLzhBlock(output_.bits(), codes_.data() + from, to - from, tree_);
      from = to;
    }
    codes_.erase(codes_.begin(), codes_.begin() + static_cast<std::ptrdiff_t>(from));
  }

  LzhBlockOutput output_;
  std::size_t n_;
  LzhDistanceTree tree_;
  LzhInputWindow in_;
  LzhMatchTree matchTree_;
  Prices prices_;
  std::vector<LzhMatch> matches_;
  std::vector<uint32_t> matchStart_;  // per position of the chunk: its first match in matches_
  // The cheapest way found to each position of the chunk: its bits in the
  // high half, the last code's length (1 for a literal) and distance in the
  // low half, so that the smaller of two values is the cheaper way.
  std::vector<uint64_t> step_;
  std::vector<LzhCode> path_;
  std::vector<LzhCode> codes_;  // the open block's codes and the chunk's
  std::size_t cellSize_ = 1024;
  std::vector<LzhFrequencies> cellFreq_;  // counts before each cell
  std::vector<std::size_t> cuts_;
};

}  // namespace

bool EncodeLzhOptimal(const ByteSource& source, uint64_t size, int dictionaryBits, const ByteSink& sink) {
  auto enc = std::make_unique<OptimalEncoder>(source, size, dictionaryBits, sink);
  return enc->Run();
}

}  // namespace lha
