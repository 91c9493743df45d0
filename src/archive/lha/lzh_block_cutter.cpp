#include "archive/lha/lzh_block_cutter.h"

#include <algorithm>
#include <cmath>

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;

// A new block must save at least this much: each costs the decoder a
// fresh set of tables, which a few bytes do not pay for.
constexpr uint64_t kBlockPenaltyBits = 256;

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

}  // namespace

// Estimated bits of the codes between two cut points: their entropy plus
// what their trees take. Only the symbols of usedC_ and usedP_ are looked
// at: those that occur somewhere in the stretch being split.
double LzhBlockCutter::EstimatedBits(const LzhFrequencies& a, const LzhFrequencies& b) const {
  const EntropyTable& e = Entropy();
  uint64_t cTotal = 0, pTotal = 0;
  double sum = 0;
  int used = 0;
  for (const uint16_t c : usedC_) {
    const uint32_t f = b.c[c] - a.c[c];
    if (!f) continue;
    cTotal += f;
    sum -= e(f);
    ++used;
  }
  double extra = 0;
  for (const uint8_t p : usedP_) {
    const uint32_t f = b.p[p] - a.p[p];
    if (!f) continue;
    pTotal += f;
    sum -= e(f);
    extra += static_cast<double>(f) * (p > 1 ? p - 1 : 0);
  }
  return sum + e(cTotal) + e(pTotal) + extra + 40 + 4.0 * used + 3.0 * tree_.symbols;
}

uint64_t LzhBlockCutter::ExactBits(const LzhFrequencies& a, const LzhFrequencies& b) const {
  LzhFrequencies d;
  for (int c = 0; c < kNC; ++c) d.c[c] = b.c[c] - a.c[c];
  for (int p = 0; p < kLzhMaxDistanceCodes; ++p) d.p[p] = b.p[p] - a.p[p];
  return LzhBlockBits(d, tree_);
}

// Cuts the cells [a, b), which take `bits` as one block, into blocks,
// adding the cut points to cuts_. Each part's exact size is worked out
// once and handed down with it.
void LzhBlockCutter::Split(std::size_t a, std::size_t b, uint64_t bits) {
  if (b - a < 2) return;
  // Counts only grow from cell to cell: a symbol that does not occur
  // between a and b occurs in none of its parts.
  usedC_.clear();
  usedP_.clear();
  for (int c = 0; c < kNC; ++c) {
    if (cellFreq_[b].c[c] != cellFreq_[a].c[c]) usedC_.push_back(static_cast<uint16_t>(c));
  }
  for (int p = 0; p < tree_.symbols; ++p) {
    if (cellFreq_[b].p[p] != cellFreq_[a].p[p]) usedP_.push_back(static_cast<uint8_t>(p));
  }
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

void LzhBlockCutter::Cut(std::vector<LzhCode>& codes, bool done, BitWriter& out, const LzhDistanceTree& tree) {
  tree_ = tree;
  total_ = codes.size();
  if (total_ == 0) return;
  if (done && total_ <= kMinCell) {
    // One cell: one block, nothing to weigh.
    WriteLzhBlock(out, codes.data(), total_, tree);
    codes.clear();
    return;
  }
  cellSize_ = std::clamp<std::size_t>(total_ / 96, kMinCell, 16384);
  const std::size_t cells = (total_ + cellSize_ - 1) / cellSize_;
  cellFreq_.assign(cells + 1, LzhFrequencies());
  for (std::size_t cell = 0; cell < cells; ++cell) {
    cellFreq_[cell + 1] = cellFreq_[cell];
    for (std::size_t i = cell * cellSize_; i < CellCodes(cell + 1); ++i) cellFreq_[cell + 1].Add(codes[i]);
  }
  cuts_.clear();
  if (cells > 1) Split(0, cells, ExactBits(cellFreq_[0], cellFreq_[cells]));
  cuts_.push_back(cells);
  std::size_t from = 0;
  const std::size_t finished = done ? cuts_.size() : cuts_.size() - 1;
  for (std::size_t i = 0; i < finished; ++i) {
    const std::size_t to = CellCodes(cuts_[i]);
    WriteLzhBlock(out, codes.data() + from, to - from, tree);
    from = to;
  }
  codes.erase(codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(from));
}

}  // namespace lha
